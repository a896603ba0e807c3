#include "app/gui/window_pictures.h"

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QSettings>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "app/gui/main_window.h"
#include "app/gui/message_sink.h"
#include "app/gui/password_prompt.h"

namespace verava {
namespace {

// Sample files in a folder that reads naturally in both languages.
const char kOddSample[] = "/home/ming/scans/contract-odd.pdf";
const char kEvenSample[] = "/home/ming/scans/contract-even.pdf";

// A silent stand-in: nothing runs while a picture is taken.
class QuietSink : public IMessageSink {
  public:
    void Show(const QString&) override {}
    AfterDone ShowDone(const QString&) override { return AfterDone::Close; }
};

// The widget's pixels under a title bar with its caption, in device pixels.
QImage Framed(QWidget& widget) {
    const QPixmap body = widget.grab();
    const qreal ratio = body.devicePixelRatio();
    const int bar = 24;
    QImage out(QSize(body.width(), body.height() + qRound(bar * ratio)), QImage::Format_RGB32);
    out.setDevicePixelRatio(ratio);
    const QSize logical = body.deviceIndependentSize().toSize();
    QPainter painter(&out);
    painter.fillRect(QRect(0, 0, logical.width(), bar), QColor(0x3B, 0x4A, 0x5E));
    painter.setPen(Qt::white);
    QFont font = widget.font();
    font.setPixelSize(12);
    painter.setFont(font);
    painter.drawText(QRect(8, 0, logical.width() - 30, bar), Qt::AlignVCenter | Qt::AlignLeft,
                     widget.windowTitle());
    painter.drawText(QRect(logical.width() - 22, 0, 16, bar), Qt::AlignCenter,
                     QStringLiteral("\u2715"));
    painter.drawPixmap(0, bar, body);
    return out;
}

// The window, and a dialog over its lower right part as a desktop would place it.
QImage WithDialog(const QImage& window, const QImage& dialog) {
    const qreal ratio = window.devicePixelRatio();
    const QSize w = (QSizeF(window.size()) / ratio).toSize();
    const QSize d = (QSizeF(dialog.size()) / ratio).toSize();
    // Low enough that the window's first row stays in sight.
    const QPoint at(std::max(12, (w.width() - d.width()) / 2 + 30), 72);
    const QSize all(std::max(w.width(), at.x() + d.width() + 12),
                    std::max(w.height(), at.y() + d.height() + 12));
    QImage out((QSizeF(all) * ratio).toSize(), QImage::Format_RGB32);
    out.setDevicePixelRatio(ratio);
    out.fill(QColor(0x6B, 0x75, 0x80));  // the desktop
    QPainter painter(&out);
    painter.drawImage(QPoint(0, 0), window);
    painter.fillRect(QRect(at + QPoint(3, 3), d), QColor(0, 0, 0, 90));  // a shadow
    painter.drawImage(at, dialog);
    return out;
}

// `settle` runs once the dialog is up, before its picture is taken.
QImage Picture(TForm1& window, QDialog& dialog, const std::function<void()>& settle = {}) {
    dialog.show();
    QApplication::processEvents();
    if (settle) settle();
    return WithDialog(Framed(window), Framed(dialog));
}

}  // namespace

QStringList PictureStates() {
    return {QStringLiteral("empty"), QStringLiteral("chosen"), QStringLiteral("running"),
            QStringLiteral("done"), QStringLiteral("password")};
}

bool RenderWindowPicture(const QString& state, const QString& outPath, QString* error) {
    if (!PictureStates().contains(state)) {
        *error = QStringLiteral("unknown state '%1' (one of: %2)")
                     .arg(state, PictureStates().join(QStringLiteral(", ")));
        return false;
    }
    // The user's own settings stay untouched.
    QTemporaryDir scratch;
    QSettings settings(scratch.filePath(QStringLiteral("pictures.ini")), QSettings::IniFormat);
    QuietSink quiet;
    TWindowHooks hooks;
    hooks.messages = &quiet;
    hooks.settings = &settings;
    TForm1 window(hooks);
    if (state != QLatin1String("empty")) {
        window.Edit1.setText(QString::fromUtf8(kOddSample));
        window.Edit2.setText(QString::fromUtf8(kEvenSample));
        window.CheckBox1.setChecked(true);
        window.CheckBox2.setChecked(true);
    }
    if (state == QLatin1String("running")) {
        window.SetBusy(true);
        window.ProgressBar1.setValue(45);
    }
    window.show();
    QApplication::processEvents();

    QImage image;
    if (state == QLatin1String("done")) {
        window.ProgressBar1.setValue(100);
        WorkflowResult merged;
        merged.blankPagesLookedFor = true;
        merged.dropped = {{PageSource::Even, 2}, {PageSource::Even, 5}};
        const std::unique_ptr<QMessageBox> box =
            TMessageBoxSink::MakeDoneBox(&window, MergeMessage(merged));
        image = Picture(window, *box);
    } else if (state == QLatin1String("password")) {
        const std::unique_ptr<QInputDialog> prompt =
            TPasswordDialogPrompt::MakeDialog(&window, QString::fromUtf8(kEvenSample), false);
        prompt->setTextValue(QStringLiteral("secret"));
        image = Picture(window, *prompt, [&] {
            // As typed, not selected (showing the dialog selects it).
            for (auto* field : prompt->findChildren<QLineEdit*>()) {
                field->deselect();
                field->end(false);
            }
        });
    } else {
        image = Framed(window);
    }
    if (!image.save(outPath, "PNG")) {
        *error = QStringLiteral("cannot write %1").arg(outPath);
        return false;
    }
    return true;
}

}  // namespace verava
