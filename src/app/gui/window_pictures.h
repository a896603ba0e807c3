// Pictures of the window in the states a user meets, for the README and for checking a
// translation or a scaling factor by eye: the window under a drawn title bar (the offscreen
// platform draws none), with the dialog of the state on top of it.
#pragma once

#include <QString>
#include <QStringList>

namespace verava {

// empty, chosen (both files and the check boxes), wide (chosen, the window pulled wider),
// running, replace (the question before a merge writes over its earlier output), done (the
// success box), password (the prompt of an encrypted file), preview, preview-blank,
// preview-turned and preview-blank-back (the order preview of sample scans: as scanned, with
// blank backs left out, with backs upside down turned back, with a blank back put in).
QStringList PictureStates();

// Renders `state` in the language already installed into a PNG at `outPath`. False with a
// reason in `error` for an unknown state or a file that cannot be written.
bool RenderWindowPicture(const QString& state, const QString& outPath, QString* error);

}  // namespace verava
