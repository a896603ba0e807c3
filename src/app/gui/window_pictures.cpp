#include "app/gui/window_pictures.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/gui/main_window.h"
#include "app/gui/message_sink.h"
#include "app/gui/order_preview.h"
#include "app/gui/password_prompt.h"

namespace verava {
namespace {

// Sample files in a folder that reads naturally in both languages, deep enough that the
// narrowest window shortens them.
const char kOddSample[] = "/home/ming/Documents/Scans/2024-03 lease/contract-odd.pdf";
const char kEvenSample[] = "/home/ming/Documents/Scans/2024-03 lease/contract-even.pdf";
// How wide the "wide" picture pulls the window.
constexpr int kWideWidth = 640;

// A silent stand-in: nothing runs while a picture is taken.
class QuietSink : public IMessageSink {
  public:
    void Show(const QString&) override {}
    AfterDone ShowDone(const QString&) override { return AfterDone::Close; }
    bool Ask(const QString&) override { return false; }
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

// A scanned-looking A4 file whose pages carry the printed page numbers `numbers`: a heading
// bar, lines of "text" and the number at the foot, enough to tell pages apart as thumbnails.
// Number 0 is a blank back: paper only. `upsideDown` scans every page turned over, as the
// backs of a stack turned on its short edge come out.
QByteArray SampleScan(const std::vector<int>& numbers, bool upsideDown = false) {
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    auto object = [&](const std::string& body) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    std::string kids;
    for (size_t i = 0; i < numbers.size(); ++i) kids += std::to_string(4 + 2 * i) + " 0 R ";
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(numbers.size()) + " >>");
    object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    const std::string turned = upsideDown ? " /Rotate 180" : "";
    for (size_t i = 0; i < numbers.size(); ++i) {
        std::string content = "0.97 0.96 0.93 rg 0 0 595 842 re f ";
        if (numbers[i] == 0) {
            object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842]" + turned +
                   " /Contents " + std::to_string(5 + 2 * i) + " 0 R >>");
            object("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                   "\nendstream");
            continue;
        }
        content += "0.25 g 70 740 300 22 re f ";
        // A paragraph break after every fifth line; shorter last lines, as text has.
        for (int line = 0; line < 20; ++line) {
            const int y = 690 - line * 20 - (line / 5) * 14;
            const int width = line % 5 == 4 ? 180 + 40 * (numbers[i] % 4) : 455;
            content += "0.45 g 70 " + std::to_string(y) + " " + std::to_string(width) + " 7 re f ";
        }
        // The page number, large enough to read on a thumbnail.
        content += "BT 0.1 g /F1 150 Tf " + std::to_string(numbers[i] < 10 ? 255 : 215) +
                   " 60 Td (" + std::to_string(numbers[i]) + ") Tj ET";
        object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842]" + turned +
               " /Resources << /Font << /F1 3 0 R >> >> /Contents " + std::to_string(5 + 2 * i) +
               " 0 R >>");
        object("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
               "\nendstream");
    }
    const size_t table = pdf.size();
    pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (const size_t at : offsets) {
        const std::string digits = std::to_string(at);
        pdf += std::string(10 - digits.size(), '0') + digits + " 00000 n \n";
    }
    pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(table) + "\n%%EOF\n";
    return QByteArray(pdf.data(), static_cast<qsizetype>(pdf.size()));
}

// The order preview of a ten-sheet contract whose even pages were scanned last to first.
enum class PreviewSample {
    Plain,
    BlankBacks,  // the backs of sheets 2 and 7 are blank and to be left out
    Turned,      // the backs came out upside down (turned on the short edge), turned back
    BlankBack,   // the back of sheet 2 was not scanned: a blank back is put in there
};

// The preview, once every picture in view is in (or after ten seconds, with placeholders).
QImage PreviewPicture(TForm1& window, PreviewSample sample) {
    std::vector<int> odd;
    std::vector<int> even;
    for (int sheet = 1; sheet <= 10; ++sheet) {
        odd.push_back(2 * sheet - 1);
        even.push_back(2 * (11 - sheet));
    }
    PreviewInputs inputs;
    StackArrangement arrangement;
    arrangement.evenReversed = true;
    if (sample == PreviewSample::BlankBacks) {
        for (const int sheet : {2, 7}) {
            even[static_cast<size_t>(10 - sheet)] = 0;
            inputs.dropped.push_back({PageSource::Even, 11 - sheet});
        }
    } else if (sample == PreviewSample::Turned) {
        arrangement.rotateEven = 180;
    } else if (sample == PreviewSample::BlankBack) {
        // Sheet 2's back ("4") was never scanned; scanned last to first, it is missing
        // second from the end.
        even.erase(even.end() - 2);
        arrangement.blankBacks = {2};
    }
    inputs.odd.bytes = SharedBytes::FromString(SampleScan(odd).toStdString());
    inputs.even.bytes = SharedBytes::FromString(
        SampleScan(even, sample == PreviewSample::Turned).toStdString());
    inputs.oddPages = static_cast<int32_t>(odd.size());
    inputs.evenPages = static_cast<int32_t>(even.size());
    TOrderPreview preview(inputs, arrangement, &window);
    QEventLoop wait;
    QObject::connect(&preview, &TOrderPreview::PicturesIn, &wait, &QEventLoop::quit);
    QTimer::singleShot(10000, &wait, &QEventLoop::quit);
    preview.show();
    QApplication::processEvents();
    if (!preview.AllPicturesIn()) wait.exec();
    QApplication::processEvents();
    return WithDialog(Framed(window), Framed(preview));
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
    return {QStringLiteral("empty"),   QStringLiteral("chosen"),       QStringLiteral("wide"),
            QStringLiteral("running"), QStringLiteral("replace"),      QStringLiteral("done"),
            QStringLiteral("password"), QStringLiteral("preview"),     QStringLiteral("preview-blank"),
            QStringLiteral("preview-turned"), QStringLiteral("preview-blank-back")};
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
    if (state == QLatin1String("wide")) window.resize(kWideWidth, window.height());
    window.show();
    QApplication::processEvents();

    const std::u16string output = MergeOutputPath(QString::fromUtf8(kOddSample).toStdU16String(),
                                                  QString::fromUtf8(kEvenSample).toStdU16String());
    QImage image;
    if (state == QLatin1String("replace")) {
        const std::unique_ptr<QMessageBox> box =
            TMessageBoxSink::MakeQuestionBox(&window, ReplaceQuestion(QString::fromStdU16String(output)));
        image = Picture(window, *box);
    } else if (state == QLatin1String("done")) {
        window.ProgressBar1.setValue(100);
        WorkflowResult merged;
        merged.outputPath = output;
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
    } else if (state == QLatin1String("preview")) {
        image = PreviewPicture(window, PreviewSample::Plain);
    } else if (state == QLatin1String("preview-blank")) {
        image = PreviewPicture(window, PreviewSample::BlankBacks);
    } else if (state == QLatin1String("preview-turned")) {
        image = PreviewPicture(window, PreviewSample::Turned);
    } else if (state == QLatin1String("preview-blank-back")) {
        image = PreviewPicture(window, PreviewSample::BlankBack);
    } else {
        image = Framed(window);
    }
    if (image.isNull() || !image.save(outPath, "PNG")) {
        *error = QStringLiteral("cannot write %1").arg(outPath);
        return false;
    }
    return true;
}

}  // namespace verava
