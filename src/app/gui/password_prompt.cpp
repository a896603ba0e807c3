#include "app/gui/password_prompt.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>

#include "app/gui/message_sink.h"

namespace verava {

std::unique_ptr<QInputDialog> TPasswordDialogPrompt::MakeDialog(QWidget* parent,
                                                                const QString& path,
                                                                bool wrongBefore) {
    auto dialog = std::make_unique<QInputDialog>(parent);
    dialog->setWindowTitle(QString::fromLatin1(kApplicationTitle));
    dialog->setInputMode(QInputDialog::TextInput);
    dialog->setTextEchoMode(QLineEdit::Password);
    const QString ask = wrongBefore
                            ? QCoreApplication::translate("VERava", "密码错误，请重新输入：")
                            : QCoreApplication::translate("VERava", "文件已加密，请输入密码：");
    // The name alone: a full path would stretch the dialog across the screen.
    dialog->setLabelText(ask + QLatin1Char('\n') + QFileInfo(path).fileName());
    return dialog;
}

std::optional<QString> TPasswordDialogPrompt::AskPassword(const QString& path, bool wrongBefore) {
    const std::unique_ptr<QInputDialog> dialog = MakeDialog(parent_, path, wrongBefore);
    if (dialog->exec() != QDialog::Accepted) return std::nullopt;
    return dialog->textValue();
}

}  // namespace verava
