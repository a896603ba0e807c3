#include "app/gui/file_chooser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace verava {

TOpenDialogChooser::TOpenDialogChooser(QWidget* parent) : dialog_(parent) {
    dialog_.setAcceptMode(QFileDialog::AcceptOpen);
    dialog_.setFileMode(QFileDialog::AnyFile);
    // Qt's own dialog behaves the same on every platform, and speaks the window's language
    // (native ones follow the desktop's); they also differ in whether they let a name that
    // does not exist through.
    dialog_.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog_.setOption(QFileDialog::ReadOnly, false);
    dialog_.setNameFilters(QStringList{QCoreApplication::translate("VERava", "PDF文件 (*.pdf)")});
}

QString TOpenDialogChooser::ChooseFile(const QString& startFolder) {
    if (!startFolder.isEmpty() && QFileInfo(startFolder).isDir()) {
        dialog_.setDirectory(startFolder);
    }
    if (dialog_.exec() != QDialog::Accepted) return QString();
    const QStringList files = dialog_.selectedFiles();
    if (files.isEmpty()) return QString();
    return QDir::toNativeSeparators(files.front());
}

}  // namespace verava
