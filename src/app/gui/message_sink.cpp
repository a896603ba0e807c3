#include "app/gui/message_sink.h"

#include <QMessageBox>

namespace verava {

void TMessageBoxSink::Show(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kApplicationTitle), text,
                    QMessageBox::Ok, parent_);
    box.exec();
}

}  // namespace verava
