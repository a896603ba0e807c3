// How the window asks for a PDF file. The program uses one file-open dialog for both rows,
// opened in the folder the window last took a file from; tests put a scripted chooser in
// its place.
#pragma once

#include <QFileDialog>
#include <QString>

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
// read-only box and no title of its own.
class TOpenDialogChooser : public IFileChooser {
  public:
    explicit TOpenDialogChooser(QWidget* parent);
    QString ChooseFile(const QString& startFolder) override;

    const QFileDialog& Dialog() const { return dialog_; }

  private:
    QFileDialog dialog_;
};

}  // namespace verava
