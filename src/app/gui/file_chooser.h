// How the window asks for a PDF file. The program opens a new file-open dialog for each
// choice, in the folder the window last took a file from; tests put a scripted chooser in
// its place.
#pragma once

#include <QFileDialog>
#include <QString>
#include <memory>

class QWidget;

namespace verava {

class IFileChooser {
  public:
    virtual ~IFileChooser() = default;
    // The full path of the chosen file, or an empty string when the user cancelled. The
    // dialog starts in `startFolder` when it names an existing folder.
    virtual QString ChooseFile(const QString& startFolder) = 0;
};

// An "open" dialog offering the single filter "PDF文件 (*.pdf)" (translated). It accepts a
// typed name that does not exist (the workflow reports a missing file itself) and has no
// read-only box and no title of its own. Each choice has a dialog of its own, gone when the
// choice is made: a dialog kept for the next one also kept its name completer's list, which
// stayed on screen after Enter and took the next clicks and keys.
class TOpenDialogChooser : public IFileChooser {
  public:
    explicit TOpenDialogChooser(QWidget* parent) : parent_(parent) {}
    QString ChooseFile(const QString& startFolder) override;

    // The dialog ChooseFile shows, not yet shown.
    static std::unique_ptr<QFileDialog> MakeDialog(QWidget* parent, const QString& startFolder);

  private:
    QWidget* parent_;
};

}  // namespace verava
