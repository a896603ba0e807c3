#include "app/gui/main_window.h"
#include "app/gui/window_layout.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QKeySequence>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iterator>
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

TEST(MainWindow, GrowsSidewaysNeverNarrowerThanTheClassicForm) {
    ShownWindow w;
    TForm1& window = w.window;
    EXPECT_EQ(window.windowTitle(), U("扫描PDF文件奇偶合并器            Orvane_harrow88"));
    // 113 pixels high before the check boxes' rows and the preview button's; at least the
    // classic 395 wide, more where the captions need it; it opens at its narrowest.
    const int narrow = window.width();
    EXPECT_GE(narrow, 395);
    EXPECT_EQ(window.minimumSize(), QSize(narrow, kWindowHeight));
    EXPECT_EQ(window.height(), kWindowHeight);
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowContextHelpButtonHint));

    // Pulled wider, the path boxes take the extra width and the buttons keep to the right
    // edge (window_layout_test has the rest); pushed narrower or taller, nothing gives.
    const QRect edit = window.Edit2.geometry();
    const QRect reverse = window.Button5.geometry();
    for (const auto& [asked, width] : std::vector<std::pair<QSize, int>>{
             {QSize(900, 400), 900}, {QSize(200, 100), narrow}}) {
        window.resize(asked);
        EXPECT_TRUE(QTest::qWaitFor([&, width = width] { return window.width() == width; }))
            << asked.width() << " gives " << window.width();
        EXPECT_EQ(window.height(), kWindowHeight);
        EXPECT_EQ(window.Edit2.geometry(), edit.adjusted(0, 0, width - narrow, 0));
        EXPECT_EQ(window.Button5.geometry(), reverse.translated(width - narrow, 0));
    }
}

TEST(MainWindow, ShowsEachControlInItsClassicRowWithItsCaption) {
    ShownWindow w;
    TForm1& window = w.window;
    // The rows as the classic form has them: top and height of each control, the labels at
    // the left edge, the path boxes 205 wide after them. The captions carry their Alt keys.
    const struct {
        const char* name;
        QWidget* control;
        int top, height;
        const char* caption;  // nullptr: none
    } table[] = {
        {"Label1", &window.Label1, 24, 12, "奇数页文件："},
        {"Label2", &window.Label2, 60, 12, "偶数页文件："},
        // The edit boxes start empty.
        {"Edit1", &window.Edit1, 22, 20, ""},
        {"Edit2", &window.Edit2, 58, 20, ""},
        {"Button1", &window.Button1, 22, 19, "选择(&O)"},
        {"Button2", &window.Button2, 59, 18, "选择(&E)"},
        // The check boxes under the even file push the last row down by 74 pixels.
        {"CheckBox1", &window.CheckBox1, 82, 16, "偶数页为倒序扫描(&L)"},
        {"CheckBox4", &window.CheckBox4, 100, 16, "背面上下颠倒(&U)"},
        {"CheckBox3", &window.CheckBox3, 118, 16, "正反两面在一个文件中(&T)"},
        {"CheckBox2", &window.CheckBox2, 136, 16, "删除空白页(&B)"},
        {"Button3", &window.Button3, 156, 25, "开始合并(&M)"},
        {"ProgressBar1", &window.ProgressBar1, 160, 15, nullptr},
        {"Button4", &window.Button4, 22, 19, "逆序重排(&R)"},
        {"Button5", &window.Button5, 59, 18, "逆序重排(&V)"},
        // The preview under the merge button, as wide as the choose and reverse buttons.
        {"Button6", &window.Button6, 185, 25, "预览顺序(&P)"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(row.control->y(), row.top) << row.name;
        EXPECT_EQ(row.control->height(), row.height) << row.name;
        EXPECT_EQ(row.control->parentWidget(), &window) << row.name;
        EXPECT_TRUE(row.control->isVisible()) << row.name;
        if (row.caption) {
            EXPECT_EQ(row.control->property("text").toString(), U(row.caption)) << row.name;
        }
    }
    EXPECT_EQ(window.Label1.x(), 6);
    EXPECT_EQ(window.Edit1.geometry(), QRect(78, 22, 205, 20));
    EXPECT_EQ(window.ProgressBar1.geometry().right(), window.Edit1.geometry().right());
    EXPECT_EQ(window.Button6.x(), window.Button1.x());
    EXPECT_EQ(window.Button6.geometry().right(), window.Button4.geometry().right());
    // The boxes start clear, the bar at 0 of 0..100.
    for (const QCheckBox* box :
         {&window.CheckBox1, &window.CheckBox2, &window.CheckBox3, &window.CheckBox4}) {
        EXPECT_FALSE(box->isChecked()) << box->text().toStdString();
    }
    EXPECT_EQ(window.ProgressBar1.minimum(), 0);
    EXPECT_EQ(window.ProgressBar1.maximum(), 100);
    EXPECT_EQ(window.ProgressBar1.value(), 0);
    // The edit boxes take their text only from the file-open dialog.
    EXPECT_TRUE(window.Edit1.isReadOnly());
    EXPECT_TRUE(window.Edit2.isReadOnly());
    QTest::keyClicks(&window.Edit1, "typed.pdf");
    EXPECT_TRUE(window.Edit1.text().isEmpty());
}

// A path too long for its box shows its start and its end around "…"; the box keeps the
// full path for the run and shows it as a tooltip; pulled wide enough, it shows it whole.
TEST(MainWindow, ShowsALongPathShortenedInTheMiddleUntilThereIsRoom) {
    const QString deep = U("/home/ming/Documents/Scans/2024-03 lease/双面合同-odd.pdf");
    const QString shallow = U("/scans/a.pdf");
    const struct {
        QString path;
        int width;  // 0: the narrowest
        bool whole;
    } cases[] = {
        {shallow, 0, true},
        {deep, 0, false},
        {deep, 900, true},
    };
    for (const auto& c : cases) {
        ShownWindow w;
        TForm1& window = w.window;
        if (c.width > 0) window.resize(c.width, kWindowHeight);
        EXPECT_TRUE(QTest::qWaitFor([&] { return c.width == 0 || window.width() == c.width; }));
        window.Edit1.setText(c.path);
        const QString shown = window.Edit1.ShownText();
        EXPECT_EQ(window.Edit1.text(), c.path);
        EXPECT_EQ(window.Edit1.toolTip(), c.path);
        if (c.whole) {
            EXPECT_EQ(shown, c.path) << c.width;
            continue;
        }
        EXPECT_NE(shown, c.path);
        EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
        EXPECT_TRUE(shown.startsWith(c.path.left(5))) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(c.path.right(5))) << shown.toStdString();
        EXPECT_LT(window.Edit1.fontMetrics().horizontalAdvance(shown), window.Edit1.width());
        // A selection shows the text itself, which can then be scrolled through.
        window.Edit1.selectAll();
        EXPECT_EQ(window.Edit1.ShownText(), c.path);
    }
}

// Alt and the underlined letter of each button and box: the two rows' choose and reverse
// buttons each have their own. Missing files make each run say at once which it was.
TEST(MainWindow, AltAndTheUnderlinedLetterPressesEachButtonAndBox) {
    const QString odd = U("/none/odd.pdf");
    const QString even = U("/none/even.pdf");
    const QString mergeMissing = U("奇数页文件或偶数页文件不存在\n") + odd;
    const struct {
        Qt::Key key;
        QString oddRow, evenRow;  // afterwards
        bool box1, box2;
        QStringList messages;
    } cases[] = {
        {Qt::Key_O, U("/picked/one.pdf"), even, false, false, {}},
        {Qt::Key_E, odd, U("/picked/one.pdf"), false, false, {}},
        {Qt::Key_L, odd, even, true, false, {}},
        {Qt::Key_B, odd, even, false, true, {}},
        {Qt::Key_R, odd, even, false, false, {U("请先选择文件，或者选择的文件不存在！\n") + odd}},
        {Qt::Key_V, odd, even, false, false, {U("请先选择文件，或者选择的文件不存在！\n") + even}},
        {Qt::Key_M, odd, even, false, false, {mergeMissing}},
        {Qt::Key_P, odd, even, false, false, {mergeMissing}},
    };
    for (const auto& c : cases) {
        ShownWindow w;
        TForm1& window = w.window;
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        window.Edit1.setText(odd);
        window.Edit2.setText(even);
        w.chooser.answers = {U("/picked/one.pdf")};
        QTest::keyClick(&window, c.key, Qt::AltModifier);
        // A shortcut presses its button for 100 ms, as a click would, then releases it.
        QTest::qWait(250);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window.Running(); }, 10000));
        const std::string key = QKeySequence(c.key).toString().toStdString();
        EXPECT_EQ(window.Edit1.text(), c.oddRow) << key;
        EXPECT_EQ(window.Edit2.text(), c.evenRow) << key;
        EXPECT_EQ(window.CheckBox1.isChecked(), c.box1) << key;
        EXPECT_EQ(window.CheckBox2.isChecked(), c.box2) << key;
        EXPECT_EQ(w.sink.messages, c.messages) << key;
    }
}

// Enter presses the button that has the focus; elsewhere the merge once both rows are
// filled, the odd row's reverse while only it is, and nothing before. That button is drawn
// as the default.
TEST(MainWindow, EnterStartsWhatTheFilledRowsCallFor) {
    const QString odd = U("/none/odd.pdf");
    const QString even = U("/none/even.pdf");
    const QString reverseOdd = U("请先选择文件，或者选择的文件不存在！\n") + odd;
    const QString reverseEven = U("请先选择文件，或者选择的文件不存在！\n") + even;
    const QString merge = U("奇数页文件或偶数页文件不存在\n") + odd;
    // Where the focus is when Enter comes.
    enum Focus { OddBox, RemoveBlanksBox, EvenReverse };
    const struct {
        const char* what;
        QString oddRow, evenRow;
        Focus focus;
        Qt::Key key;
        QPushButton TForm1::*shownDefault;  // nullptr: none
        QStringList messages;
    } cases[] = {
        {"both rows empty", {}, {}, OddBox, Qt::Key_Return, nullptr, {}},
        {"only the even row", {}, even, OddBox, Qt::Key_Return, nullptr, {}},
        {"only the odd row", odd, {}, OddBox, Qt::Key_Return, &TForm1::Button4, {reverseOdd}},
        {"both rows", odd, even, OddBox, Qt::Key_Return, &TForm1::Button3, {merge}},
        {"both rows, keypad Enter", odd, even, OddBox, Qt::Key_Enter, &TForm1::Button3, {merge}},
        {"a check box focused", odd, even, RemoveBlanksBox, Qt::Key_Return, &TForm1::Button3,
         {merge}},
        {"the even reverse focused", odd, even, EvenReverse, Qt::Key_Return, &TForm1::Button3,
         {reverseEven}},
    };
    for (const auto& c : cases) {
        ShownWindow w;
        TForm1& window = w.window;
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        window.Edit1.setText(c.oddRow);
        window.Edit2.setText(c.evenRow);
        QWidget* focus = c.focus == OddBox            ? static_cast<QWidget*>(&window.Edit1)
                         : c.focus == RemoveBlanksBox ? static_cast<QWidget*>(&window.CheckBox2)
                                                      : static_cast<QWidget*>(&window.Button5);
        focus->setFocus();
        ASSERT_TRUE(focus->hasFocus()) << c.what;
        QPushButton* expectedDefault = c.shownDefault ? &(window.*c.shownDefault) : nullptr;
        EXPECT_EQ(window.DefaultAction(), expectedDefault) << c.what;
        for (QPushButton* button : window.findChildren<QPushButton*>()) {
            EXPECT_EQ(button->isDefault(), button == expectedDefault)
                << c.what << ": " << button->text().toStdString();
        }
        QTest::keyClick(focus, c.key,
                        c.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window.Running(); }, 10000));
        EXPECT_EQ(w.sink.messages, c.messages) << c.what;
        EXPECT_EQ(window.CheckBox2.isChecked(), false) << c.what;
    }
}

TEST(MainWindow, TabsThroughTheControlsInTableOrder) {
    ShownWindow w;
    TForm1& window = w.window;
    const std::vector<QWidget*> expected = {
        &window.Edit1,     &window.Edit2,     &window.Button1,   &window.Button2,
        &window.CheckBox1, &window.CheckBox4, &window.CheckBox3, &window.CheckBox2,
        &window.Button3,   &window.Button6,   &window.ProgressBar1, &window.Button4,
        &window.Button5,
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
        {"打开文件夹(&F)", AfterDone::OpenFolder},
        {"打开文件(&O)", AfterDone::OpenFile},
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
    const std::unique_ptr<QFileDialog> dialog = TOpenDialogChooser::MakeDialog(nullptr, QString());
    EXPECT_EQ(dialog->nameFilters(), QStringList{U("PDF文件 (*.pdf)")});
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::AnyFile);
    EXPECT_FALSE(dialog->testOption(QFileDialog::ReadOnly));

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

// Each choice has a dialog of its own, gone once the choice is made, with everything it
// opened: typing a name opens the completer's list, and a list left on screen after Enter
// would take the window's next clicks and keys. It starts in the folder asked for.
TEST(OpenDialogChooser, EachChoiceOpensAFreshDialogThatLeavesNothingBehind) {
    const std::string first = verava::testing::WriteTempFile("complete-one.pdf", "%PDF-1.4\n");
    verava::testing::WriteTempFile("complete-two.pdf", "%PDF-1.4\n");
    const QString folder = QFileInfo(QString::fromStdString(first)).absolutePath();
    QWidget owner;
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    TOpenDialogChooser chooser(&owner);
    for (int round = 0; round < 2; ++round) {
        QPointer<QFileDialog> shown;
        QString startedIn;
        bool listShown = false;
        WhenModalShows([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (dialog == nullptr) return modal->close(), void();
            shown = dialog;
            startedIn = dialog->directory().absolutePath();
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (name == nullptr) return dialog->reject();
            // The dialog lists the folder on a thread of its own; what is typed before the
            // list is there offers nothing to complete.
            if (auto* model = dialog->findChild<QFileSystemModel*>()) {
                // Not there in time: the completion check below says what is missing.
                (void)QTest::qWaitFor(
                    [&] { return model->rowCount(model->index(folder)) >= 2; }, 15000);
            }
            // Typed as a user types: the completer offers the two names in a list.
            QTest::keyClicks(name, QStringLiteral("complete-"));
            // The completer lists the folder on a thread of its own: a loaded machine is slow.
            listShown = QTest::qWaitFor(
                [&] { return name->completer() && name->completer()->popup()->isVisible(); },
                15000);
            QTest::keyClicks(name, QStringLiteral("one.pdf"));
            QTest::keyClick(name, Qt::Key_Return);
            if (dialog->isVisible()) QTest::keyClick(name, Qt::Key_Return);
            if (dialog->isVisible()) dialog->reject();  // refused: fail, do not hang
        });
        EXPECT_EQ(chooser.ChooseFile(folder), QDir::toNativeSeparators(QString::fromStdString(first)))
            << round;
        EXPECT_EQ(startedIn, folder) << round;
        EXPECT_TRUE(listShown) << round;
        // The dialog is deleted later, once the event loop gets to it.
        EXPECT_TRUE(QTest::qWaitFor([&] { return shown.isNull(); }, 5000)) << round;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            EXPECT_TRUE(top == &owner || !top->isVisible())
                << round << ": " << top->metaObject()->className() << " left on screen";
        }
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
    // Each box on its own: ticking one leaves the others as they were. The boxes: evens
    // reversed, blank pages removed, both passes in one file, backs upside down.
    const std::vector<std::vector<bool>> states = {
        {true, false, false, false}, {false, true, false, false}, {false, false, true, false},
        {false, false, false, true}, {true, true, true, true},    {false, false, false, false}};
    for (const std::vector<bool>& state : states) {
        {
            ShownWindow w(settings);
            QCheckBox* boxes[] = {&w.window.CheckBox1, &w.window.CheckBox2, &w.window.CheckBox3,
                                  &w.window.CheckBox4};
            for (size_t k = 0; k < 4; ++k) {
                if (boxes[k]->isChecked() != state[k]) boxes[k]->click();
            }
        }
        ShownWindow again(settings);
        const QCheckBox* boxes[] = {&again.window.CheckBox1, &again.window.CheckBox2,
                                    &again.window.CheckBox3, &again.window.CheckBox4};
        for (size_t k = 0; k < 4; ++k) EXPECT_EQ(boxes[k]->isChecked(), state[k]) << k;
    }
}

}  // namespace
}  // namespace verava
