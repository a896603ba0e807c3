// How the window asks for a PDF file. The program uses one file-open dialog for both rows,
// so the second choice starts in the folder of the first; tests put a scripted chooser in
// its place.
#pragma once

#include <QFileDialog>
#include <QString>

class QWidget;

namespace verava {

class IFileChooser {
  public:
    virtual ~IFileChooser() = default;
    // The full path of the chosen file, or an empty string when the user cancelled.
    virtual QString ChooseFile() = 0;
};

// An "open" dialog offering the single filter "PDF文件 (*.pdf)". It accepts a typed name
// that does not exist (the workflow reports a missing file itself) and has no read-only
// box, no preset folder and no title of its own.
class TOpenDialogChooser : public IFileChooser {
  public:
    explicit TOpenDialogChooser(QWidget* parent);
    QString ChooseFile() override;

    const QFileDialog& Dialog() const { return dialog_; }

  private:
    QFileDialog dialog_;
};

}  // namespace verava
