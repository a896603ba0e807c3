#include "app/gui/file_chooser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace verava {

std::unique_ptr<QFileDialog> TOpenDialogChooser::MakeDialog(QWidget* parent,
                                                            const QString& startFolder) {
    auto dialog = std::make_unique<QFileDialog>(parent);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::AnyFile);
    // Qt's own dialog behaves the same on every platform, and speaks the window's language
    // (native ones follow the desktop's); they also differ in whether they let a name that
    // does not exist through.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setOption(QFileDialog::ReadOnly, false);
    dialog->setNameFilters(QStringList{QCoreApplication::translate("VERava", "PDF文件 (*.pdf)")});
    if (!startFolder.isEmpty() && QFileInfo(startFolder).isDir()) {
        dialog->setDirectory(startFolder);
    }
    return dialog;
}

QString TOpenDialogChooser::ChooseFile(const QString& startFolder) {
    const std::unique_ptr<QFileDialog> dialog = MakeDialog(parent_, startFolder);
    if (dialog->exec() != QDialog::Accepted) return QString();
    const QStringList files = dialog->selectedFiles();
    if (files.isEmpty()) return QString();
    return QDir::toNativeSeparators(files.front());
}

}  // namespace verava
