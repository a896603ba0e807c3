#include "app/gui/message_sink.h"

#include <QCoreApplication>
#include <QPushButton>

namespace verava {
namespace {

const char kChoiceProperty[] = "veravaAfterDone";

}  // namespace

void TMessageBoxSink::Show(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kApplicationTitle), text,
                    QMessageBox::Ok, parent_);
    box.exec();
}

std::unique_ptr<QMessageBox> TMessageBoxSink::MakeDoneBox(QWidget* parent, const QString& text) {
    auto box = std::make_unique<QMessageBox>(
        QMessageBox::NoIcon, QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok, parent);
    QPushButton* folder = box->addButton(QCoreApplication::translate("VERava", "打开文件夹(&F)"),
                                         QMessageBox::ActionRole);
    folder->setProperty(kChoiceProperty, static_cast<int>(AfterDone::OpenFolder));
    QPushButton* file =
        box->addButton(QCoreApplication::translate("VERava", "打开文件(&O)"), QMessageBox::ActionRole);
    file->setProperty(kChoiceProperty, static_cast<int>(AfterDone::OpenFile));
    box->setDefaultButton(QMessageBox::Ok);
    box->setEscapeButton(QMessageBox::Ok);
    return box;
}

AfterDone TMessageBoxSink::ShowDone(const QString& text) {
    const std::unique_ptr<QMessageBox> box = MakeDoneBox(parent_, text);
    box->exec();
    const QAbstractButton* clicked = box->clickedButton();
    if (clicked == nullptr || !clicked->property(kChoiceProperty).isValid()) {
        return AfterDone::Close;
    }
    return static_cast<AfterDone>(clicked->property(kChoiceProperty).toInt());
}

std::unique_ptr<QMessageBox> TMessageBoxSink::MakeQuestionBox(QWidget* parent,
                                                             const QString& question) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon,
                                             QString::fromLatin1(kApplicationTitle), question,
                                             QMessageBox::Yes | QMessageBox::No, parent);
    // Enter and Esc both keep things as they are; only a deliberate yes goes ahead.
    box->setDefaultButton(QMessageBox::No);
    box->setEscapeButton(QMessageBox::No);
    return box;
}

bool TMessageBoxSink::Ask(const QString& question) {
    return MakeQuestionBox(parent_, question)->exec() == QMessageBox::Yes;
}

}  // namespace verava
