// The texts that end a run of the window, in the window's language: how a reverse, a merge
// or a preview ended, what the system said about a file it could not write, and the labels
// of pages ("奇 1", "偶 3") that the messages and the order preview show. A message says
// what happened first, in the window's long-standing words, then names on a line of its own
// the file written or the file the failure is about.
#pragma once

#include <QString>

#include "app/workflow.h"
#include "objects/file_error.h"

namespace verava {

// A page's label: "奇 1" for the odd file's page 1, "偶 3" for the even file's page 3.
QString PageLabel(PlannedPage page);
// A file that does not open as a PDF, named on a line of its own.
QString OpenFailedMessage(const QString& path);
// The message that ends a reverse run: the copy written, or why there is none.
QString ReverseMessage(const WorkflowResult& result);
// What the system said about a file that could not be written; empty when it said nothing.
QString FileErrorText(const TFileError& error);
// The message that ends a merge run, naming the merged file or the file that stopped it;
// after a merge that left blank pages out, it names them, and the pages kept because they
// could not be looked at in full, with why (with the evens scanned last to first, even
// pages also by their sheet).
QString MergeMessage(const WorkflowResult& result);
// The message of a preview that cannot be shown: as for a merge, but a file that does not
// open is named as such.
QString PreviewMessage(const WorkflowResult& result);

}  // namespace verava
