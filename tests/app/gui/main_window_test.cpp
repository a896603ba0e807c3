#include "app/gui/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/gui/file_chooser.h"
#include "app/gui/message_sink.h"
#include "app/gui/shown_window.h"
#include "app/gui/window_fakes.h"
#include "support/pdf_builder.h"

namespace verava {
namespace {

using testing::RecordingSink;
using testing::ScratchSettings;
using testing::ScriptedChooser;
using testing::ShownWindow;
using testing::U;
using testing::WhenModalShows;

TEST(MainWindow, IsAFixedSizeDialogWithItsCaption) {
    ShownWindow w;
    TForm1& window = w.window;
    EXPECT_EQ(window.windowTitle(), U("扫描PDF文件奇偶合并器            Orvane_harrow88"));
    // 113 pixels high before the check boxes' rows and the preview button's.
    EXPECT_EQ(window.size(), QSize(395, 180));
    EXPECT_EQ(window.minimumSize(), QSize(395, 180));
    EXPECT_EQ(window.maximumSize(), QSize(395, 180));
    // Asking for another size changes nothing.
    window.resize(600, 300);
    EXPECT_EQ(window.size(), QSize(395, 180));

    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowContextHelpButtonHint));
}

TEST(MainWindow, PlacesEachControlAtItsPixelRectangleWithItsCaption) {
    ShownWindow w;
    TForm1& window = w.window;
    const struct {
        const char* name;
        QWidget* control;
        QRect rect;
        const char* caption;  // nullptr: none
    } table[] = {
        {"Label1", &window.Label1, QRect(6, 24, 72, 12), "奇数页文件："},
        {"Label2", &window.Label2, QRect(6, 60, 72, 12), "偶数页文件："},
        // The edit boxes start empty.
        {"Edit1", &window.Edit1, QRect(78, 22, 205, 20), ""},
        {"Edit2", &window.Edit2, QRect(78, 58, 205, 20), ""},
        {"Button1", &window.Button1, QRect(293, 22, 38, 19), "选择"},
        {"Button2", &window.Button2, QRect(293, 59, 38, 18), "选择"},
        // The check boxes under the even file push the last row down by 38 pixels.
        {"CheckBox1", &window.CheckBox1, QRect(78, 82, 205, 16), "偶数页为倒序扫描"},
        {"CheckBox2", &window.CheckBox2, QRect(78, 100, 205, 16), "删除空白页"},
        {"Button3", &window.Button3, QRect(293, 120, 79, 25), "开始合并"},
        {"ProgressBar1", &window.ProgressBar1, QRect(6, 124, 277, 15), nullptr},
        {"Button4", &window.Button4, QRect(335, 22, 56, 19), "逆序重排"},
        {"Button5", &window.Button5, QRect(335, 59, 56, 18), "逆序重排"},
        // The preview under the merge button, as wide as the choose and reverse buttons.
        {"Button6", &window.Button6, QRect(293, 149, 98, 25), "预览顺序"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(row.control->geometry(), row.rect) << row.name;
        EXPECT_EQ(row.control->parentWidget(), &window) << row.name;
        EXPECT_TRUE(row.control->isVisible()) << row.name;
        if (row.caption) {
            EXPECT_EQ(row.control->property("text").toString(), U(row.caption)) << row.name;
        }
    }
    // Both boxes start clear, the bar at 0 of 0..100.
    EXPECT_FALSE(window.CheckBox1.isChecked());
    EXPECT_FALSE(window.CheckBox2.isChecked());
    EXPECT_EQ(window.ProgressBar1.minimum(), 0);
    EXPECT_EQ(window.ProgressBar1.maximum(), 100);
    EXPECT_EQ(window.ProgressBar1.value(), 0);
    // The edit boxes take their text only from the file-open dialog.
    EXPECT_TRUE(window.Edit1.isReadOnly());
    EXPECT_TRUE(window.Edit2.isReadOnly());
    QTest::keyClicks(&window.Edit1, "typed.pdf");
    EXPECT_TRUE(window.Edit1.text().isEmpty());
}

TEST(MainWindow, TabsThroughTheControlsInTableOrder) {
    ShownWindow w;
    TForm1& window = w.window;
    const std::vector<QWidget*> expected = {
        &window.Edit1,     &window.Edit2,     &window.Button1, &window.Button2,
        &window.CheckBox1, &window.CheckBox2, &window.Button3, &window.Button6,
        &window.ProgressBar1, &window.Button4, &window.Button5,
    };
    std::vector<QWidget*> chain;
    QWidget* at = &window.Edit1;
    for (int step = 0; step < 100; ++step) {
        if (std::find(expected.begin(), expected.end(), at) != expected.end()) chain.push_back(at);
        at = at->nextInFocusChain();
        if (at == &window.Edit1) break;
    }
    EXPECT_EQ(chain, expected);

    // Tab itself moves from control to control (the progress bar takes no focus).
    window.activateWindow();
    window.Edit1.setFocus();
    ASSERT_TRUE(window.Edit1.hasFocus());
    for (QWidget* next : expected) {
        if (next == &window.Edit1 || next == &window.ProgressBar1) continue;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next);
    }
}

TEST(MainWindow, UsesSongTiAtTwelvePixelsWithACjkStandIn) {
    ShownWindow w;
    const QFont font = w.window.font();
    EXPECT_EQ(font.pixelSize(), 12);
    EXPECT_FALSE(font.bold());
    EXPECT_FALSE(font.italic());
    const QStringList families = font.families();
    ASSERT_GE(families.size(), 3);
    EXPECT_EQ(families[0], U("SimSun"));
    EXPECT_EQ(families[1], U("宋体"));
    // Children inherit it, and the font that is used has the Chinese glyphs.
    EXPECT_EQ(w.window.Label1.font().pixelSize(), 12);
    EXPECT_EQ(w.window.Button4.font().families(), families);
    EXPECT_TRUE(QFontMetrics(w.window.Label1.font()).inFont(QChar(0x5947)))  // 奇
        << QFontInfo(w.window.Label1.font()).family().toStdString();
}

TEST(MainWindow, PaintsItsBackgroundInTheButtonFaceColour) {
    // Distinct colours, so that a window left in the plain window colour shows.
    const QPalette saved = QApplication::palette();
    QPalette palette = saved;
    palette.setColor(QPalette::Window, QColor(10, 20, 30));
    palette.setColor(QPalette::Button, QColor(200, 190, 180));
    QApplication::setPalette(palette);
    {
        ShownWindow w;
        EXPECT_EQ(w.window.palette().color(QPalette::Window), QColor(200, 190, 180));
        const QImage image = w.window.grab().toImage();
        EXPECT_EQ(image.pixelColor(2, 2), QColor(200, 190, 180));
    }
    QApplication::setPalette(saved);
}

TEST(MainWindow, StartsCentredOnTheDesktop) {
    ShownWindow w;
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QPoint offset = w.window.frameGeometry().center() - screen->geometry().center();
    EXPECT_LE(std::abs(offset.x()), 1);
    EXPECT_LE(std::abs(offset.y()), 1);
}

TEST(MessageBoxSink, ShowsOneOkButtonUnderTheApplicationTitle) {
    TMessageBoxSink sink(nullptr);
    QString title;
    QString text;
    int buttons = -1;
    WhenModalShows([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) return modal->close(), void();
        title = box->windowTitle();
        text = box->text();
        buttons = static_cast<int>(box->buttons().size());
        box->accept();
    });
    sink.Show(U("文件已经重排，请查看后重新选择"));
    EXPECT_EQ(title, U("VERava"));
    EXPECT_EQ(text, U("文件已经重排，请查看后重新选择"));
    EXPECT_EQ(buttons, 1);
}

TEST(MessageBoxSink, DoneMessageOffersTheFolderAndTheFile) {
    TMessageBoxSink sink(nullptr);
    const struct {
        const char* button;  // clicked, or nullptr for OK
        AfterDone expected;
    } cases[] = {
        {"打开文件夹", AfterDone::OpenFolder},
        {"打开文件", AfterDone::OpenFile},
        {nullptr, AfterDone::Close},
    };
    for (const auto& c : cases) {
        int buttons = -1;
        WhenModalShows([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr) return modal->close(), void();
            buttons = static_cast<int>(box->buttons().size());
            for (QAbstractButton* button : box->buttons()) {
                const bool wanted = c.button == nullptr
                                        ? box->buttonRole(button) == QMessageBox::AcceptRole
                                        : button->text() == U(c.button);
                if (wanted) return button->click();
            }
            box->reject();
        });
        EXPECT_EQ(sink.ShowDone(U("文件已经合并，保存在奇数页文件所在位置")), c.expected)
            << (c.button ? c.button : "OK");
        EXPECT_EQ(buttons, 3);
    }
}

TEST(OpenDialogChooser, OffersOnlyPdfFilesAndAcceptsTypedNames) {
    TOpenDialogChooser chooser(nullptr);
    const QFileDialog& dialog = chooser.Dialog();
    EXPECT_EQ(dialog.nameFilters(), QStringList{U("PDF文件 (*.pdf)")});
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog.fileMode(), QFileDialog::AnyFile);
    EXPECT_FALSE(dialog.testOption(QFileDialog::ReadOnly));

    const std::string existing = verava::testing::WriteTempFile("chosen.pdf", "%PDF-1.4\n");
    const QString folder = QFileInfo(QString::fromStdString(existing)).absolutePath();
    const struct {
        QString typed;     // what the user enters, empty to cancel
        QString expected;  // what the chooser returns
    } cases[] = {
        {QString::fromStdString(existing), QString::fromStdString(existing)},
        // A name that does not exist is handed on; the workflow reports it.
        {folder + U("/未扫描.pdf"), folder + U("/未扫描.pdf")},
        {QString(), QString()},
    };
    for (const auto& c : cases) {
        WhenModalShows([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (dialog == nullptr) return modal->close(), void();
            if (c.typed.isEmpty()) return dialog->reject();
            // As a user would: go to the folder, then type the name.
            dialog->setDirectory(QFileInfo(c.typed).absolutePath());
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (name == nullptr) return dialog->reject();
            name->setText(QFileInfo(c.typed).fileName());
            static_cast<QDialog*>(dialog)->accept();    // QFileDialog's own check runs
            if (dialog->isVisible()) dialog->reject();  // refused: fail, do not hang
        });
        EXPECT_EQ(chooser.ChooseFile(QString()), QDir::toNativeSeparators(c.expected))
            << c.typed.toStdString();
    }
}

// Each choose button fills its own row; the dialog starts in the folder of the last file
// taken, in this window or an earlier one. Cancel keeps the row and the folder.
TEST(ChooseClick, FillsItsOwnRowAndStartsInTheFolderOfTheLastFileTaken) {
    auto settings = std::make_shared<ScratchSettings>();
    {
        ShownWindow w(settings);
        w.chooser.answers = {U("/scans/2024/odd.pdf"), QString(), U("/elsewhere/even.pdf"),
                             QString()};
        w.Click(w.window.Button1);
        EXPECT_TRUE(w.window.Edit2.text().isEmpty());
        w.Click(w.window.Button1);
        w.Click(w.window.Button2);
        w.Click(w.window.Button2);
        EXPECT_EQ(w.window.Edit1.text(), U("/scans/2024/odd.pdf"));
        EXPECT_EQ(w.window.Edit2.text(), U("/elsewhere/even.pdf"));
        EXPECT_EQ(w.chooser.startFolders,
                  (QStringList{QString(), U("/scans/2024"), U("/scans/2024"), U("/elsewhere")}));
        EXPECT_TRUE(w.sink.messages.isEmpty());
    }
    // A new window, as after a restart, remembers the last one.
    ShownWindow again(settings);
    again.Click(again.window.Button1);
    EXPECT_EQ(again.chooser.startFolders, QStringList{U("/elsewhere")});
}

TEST(MainWindow, TheCheckBoxesAreRememberedForTheNextWindow) {
    auto settings = std::make_shared<ScratchSettings>();
    // Each box on its own: ticking one leaves the other as it was.
    for (const auto& [reversed, blank] : std::vector<std::pair<bool, bool>>{
             {true, false}, {false, true}, {true, true}, {false, false}}) {
        {
            ShownWindow w(settings);
            if (w.window.CheckBox1.isChecked() != reversed) w.window.CheckBox1.click();
            if (w.window.CheckBox2.isChecked() != blank) w.window.CheckBox2.click();
        }
        ShownWindow again(settings);
        EXPECT_EQ(again.window.CheckBox1.isChecked(), reversed) << reversed << blank;
        EXPECT_EQ(again.window.CheckBox2.isChecked(), blank) << reversed << blank;
    }
}

}  // namespace
}  // namespace verava
