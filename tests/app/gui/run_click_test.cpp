// The buttons that start a run, end to end on Qt's offscreen platform: reverse on either
// row and merge, with the window's two boxes. What each writes where, the progress bar's
// positions, the message of each way a run ends; a run that is busy or stopped, and the
// offer to open what a run wrote.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <cstdio>
#include <string>
#include <vector>

#include "app/gui/main_window.h"
#include "app/gui/shown_window.h"
#include "app/gui/window_fakes.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"
#include "support/requirements.h"

namespace verava {
namespace {

using testing::FileExists;
using testing::MergedName;
using testing::MovesForwardToFull;
using testing::PdfBuilder;
using testing::PdfInfoValue;
using testing::PdfToTextPages;
using testing::Q;
using testing::ReadFileBytes;
using testing::Reversed;
using testing::ShownWindow;
using testing::SimpleDocument;
using testing::U;
using testing::Values;
using testing::WriteTempFile;

const char kReversed[] = "文件已经重排，请查看后重新选择";
const char kMerged[] = "文件已经合并，保存在奇数页文件所在位置";
const char kStopQuestion[] =
    "正在处理文件。要停止吗？正在写入的文件会被丢弃，已有的同名文件保持不变。";
const char kReplaceQuestion[] = "输出文件已存在，要替换吗？\n";
const char kSameFileQuestion[] = "奇数页文件和偶数页文件是同一个文件，仍要合并吗？\n";

// A message's first line, then the file it names.
QString Naming(const char* first, const std::string& path) {
    return U(first) + QLatin1Char('\n') + Q(path);
}

// A file whose pages show the given texts; an empty text makes a page that paints nothing.
std::string TextOrBlankPages(const std::vector<std::string>& texts) {
    PdfBuilder b = SimpleDocument(static_cast<int>(texts.size()));
    for (size_t k = 0; k < texts.size(); ++k) {
        b.Set(
            6 + 2 * static_cast<int>(k),
            PdfBuilder::StreamBody(
                "", texts[k].empty() ? "q Q" : "BT /F1 24 Tf 72 700 Td (" + texts[k] + ") Tj ET"));
    }
    return b.Build();
}

// The output's page texts, and that no other output of the two rows was written.
TEST(RunClick, EachButtonWritesItsOutputWithTheBarFollowingFromZero) {
    VERAVA_REQUIRE_TOOLS("pdftotext", "pdfinfo");
    const std::string eight = WriteTempFile("双面扫描.pdf", SimpleDocument(8).Build());
    const std::string row1 = WriteTempFile("row1.pdf", SimpleDocument(2, "Odd").Build());
    const std::string row2 = WriteTempFile("row2.pdf", SimpleDocument(3, "Even").Build());
    const std::string single = WriteTempFile("single.pdf", SimpleDocument(1).Build());
    const std::string odd = WriteTempFile("单面-odd.pdf", SimpleDocument(3, "Odd").Build());
    const std::string even = WriteTempFile("单面-even.pdf", SimpleDocument(3, "Even").Build());
    // The even stack turned over: Even 3, Even 2, Even 1.
    const std::string turned = even.substr(0, even.rfind('/')) + "/turned-even.pdf";
    ASSERT_EQ(
        ReverseFilePages(Q(even).toStdU16String(), {}, u"", Q(turned).toStdU16String()).outcome,
        WorkflowOutcome::Done);
    const std::string blankOdd[] = {
        WriteTempFile("blank-odd.pdf", TextOrBlankPages({"Odd 1", "Odd 2", "Odd 3"})),
        WriteTempFile("blank2-odd.pdf", TextOrBlankPages({"Odd 1", "Odd 2", "Odd 3"}))};
    const std::string blankEven =
        WriteTempFile("blank-even.pdf", TextOrBlankPages({"", "Even 2", ""}));
    const char* const interleaved = "Odd 1,Even 1,Odd 2,Even 2,Odd 3,Even 3";
    const struct {
        const char* what;
        QPushButton TForm1::*button;
        std::string odd, even;  // the two rows
        bool reversedBox, blankBox;
        std::string output;
        const char* pages;  // the first line of each page of the output, joined by ","
        QString message;
        size_t steps;  // positions of the bar before 100, at least
    } cases[] = {
        {"reverse", &TForm1::Button4, eight, "", false, false, Reversed(eight),
         "Page 8,Page 7,Page 6,Page 5,Page 4,Page 3,Page 2,Page 1",
         Naming(kReversed, Reversed(eight)), 5},
        {"reverse the second row", &TForm1::Button5, row1, row2, false, false, Reversed(row2),
         "Even 3,Even 2,Even 1", Naming(kReversed, Reversed(row2)), 1},
        {"reverse one page", &TForm1::Button4, single, "", false, false, Reversed(single), "Page 1",
         Naming(kReversed, Reversed(single)), 1},
        {"merge", &TForm1::Button3, odd, even, false, false, MergedName(odd, even), interleaved,
         Naming(kMerged, MergedName(odd, even)), 5},
        {"merge evens scanned last to first", &TForm1::Button3, odd, turned, true, false,
         MergedName(odd, turned), interleaved, Naming(kMerged, MergedName(odd, turned)), 1},
        {"merge, blank pages kept", &TForm1::Button3, blankOdd[0], blankEven, false, false,
         MergedName(blankOdd[0], blankEven), "Odd 1,,Odd 2,Even 2,Odd 3,",
         Naming(kMerged, MergedName(blankOdd[0], blankEven)), 1},
        // Looking at the pages first moves the bar too.
        {"merge, blank pages left out", &TForm1::Button3, blankOdd[1], blankEven, false, true,
         MergedName(blankOdd[1], blankEven), "Odd 1,Odd 2,Even 2,Odd 3",
         Naming(kMerged, MergedName(blankOdd[1], blankEven)) + U("\n已删除2页空白页：偶 1、偶 3"),
         1},
    };
    for (const auto& c : cases) {
        const std::string oddBytes = ReadFileBytes(c.odd);
        const std::string evenBytes = ReadFileBytes(c.even);
        ShownWindow w;
        w.Choose(c.odd, c.even);
        if (c.reversedBox) w.window.CheckBox1.click();
        if (c.blankBox) w.window.CheckBox2.click();
        // What an earlier run left on the bar; a run starts it at 0.
        w.window.ProgressBar1.setValue(42);
        QSignalSpy progress(&w.window.ProgressBar1, &QProgressBar::valueChanged);

        w.Click(w.window.*c.button);

        EXPECT_EQ(w.sink.messages, QStringList{c.message}) << c.what;
        const std::vector<int> values = Values(progress);
        EXPECT_TRUE(MovesForwardToFull(values, c.steps)) << c.what;
        EXPECT_EQ(values.empty() ? -1 : values.front(), 0) << c.what;
        const QStringList pages = U(c.pages).split(QLatin1Char(','));
        QStringList shown;
        for (const std::string& text : PdfToTextPages(c.output, static_cast<int>(pages.size()))) {
            shown.append(Q(text));
        }
        EXPECT_EQ(shown, pages) << c.what;
        EXPECT_EQ(PdfInfoValue(c.output, "Pages"), std::to_string(pages.size())) << c.what;
        EXPECT_EQ(ReadFileBytes(c.odd), oddBytes) << c.what;
        EXPECT_EQ(ReadFileBytes(c.even), evenBytes) << c.what;
        for (const std::string& other :
             {Reversed(c.odd), Reversed(c.even), MergedName(c.odd, c.even)}) {
            if (other != c.output) {
                EXPECT_FALSE(FileExists(other)) << c.what << ": " << other;
            }
        }
        EXPECT_FALSE(w.window.Running()) << c.what;
    }
}

// A run that cannot be done says why in the window's words and writes nothing; one refused
// before any work leaves the bar where it was.
TEST(RunClick, EachWayARunFailsIsReportedAndNothingIsWritten) {
    const std::string good = WriteTempFile("fail-good.pdf", SimpleDocument(3, "Odd").Build());
    const std::string four = WriteTempFile("fail-four.pdf", SimpleDocument(4, "Even").Build());
    const std::string junk = WriteTempFile("fail-junk.pdf", std::string(4000, 'j'));
    const std::string absent = good.substr(0, good.rfind('/')) + "/fail-absent.pdf";
    // A folder where the output file would go: it cannot be created.
    const std::string blocked = WriteTempFile("fail-blocked.pdf", SimpleDocument(3).Build());
    ASSERT_EQ(mkdir(Reversed(blocked).c_str(), 0700), 0);
    ASSERT_EQ(mkdir(MergedName(good, blocked).c_str(), 0700), 0);
    const QString isFolder = U("\n这是一个文件夹，不是文件");
    const QString openFailed = U("文件无法打开，可能不是PDF文件或已损坏\n");
    const struct {
        const char* what;
        QPushButton TForm1::*button;
        std::string odd, even;
        QString message;
        bool barKept;
        std::string unwritten;
    } cases[] = {
        {"reverse, no such file", &TForm1::Button4, absent, good,
         Naming("请先选择文件，或者选择的文件不存在！", absent), true, Reversed(good)},
        {"reverse, no PDF", &TForm1::Button5, good, junk, openFailed + Q(junk), true,
         Reversed(junk)},
        {"reverse, output blocked", &TForm1::Button4, blocked, "",
         U("文件保存失败：") + Q(Reversed(blocked)) + isFolder, false, ""},
        {"merge, even file absent", &TForm1::Button3, good, absent,
         Naming("奇数页文件或偶数页文件不存在", absent), true, MergedName(good, absent)},
        // Both counts are named before the rule.
        {"merge, counts outside the rule", &TForm1::Button3, good, four,
         U("奇数页文件3页，偶数页文件4页。\n奇数页应等于偶数页或多1页，请检查"), true,
         MergedName(good, four)},
        {"merge, no PDF", &TForm1::Button3, good, junk,
         Naming("文件无法读取或已损坏，无法合并", junk), true, MergedName(good, junk)},
        {"merge, output blocked", &TForm1::Button3, good, blocked,
         U("文件保存失败：") + Q(MergedName(good, blocked)) + isFolder, false, ""},
    };
    for (const auto& c : cases) {
        ShownWindow w;
        w.Choose(c.odd, c.even);
        w.window.ProgressBar1.setValue(42);
        w.Click(w.window.*c.button);
        EXPECT_EQ(w.sink.messages, QStringList{c.message}) << c.what;
        if (c.barKept) {
            EXPECT_EQ(w.window.ProgressBar1.value(), 42) << c.what;
        }
        EXPECT_FALSE(FileExists(c.unwritten)) << c.what;
        EXPECT_FALSE(w.window.Running()) << c.what;
    }
    rmdir(Reversed(blocked).c_str());
    rmdir(MergedName(good, blocked).c_str());
}

TEST(ReverseClick, NoSecondRunStartsWhileOneIsWorking) {
    const std::string input = WriteTempFile("busy.pdf", SimpleDocument(8).Build());
    ShownWindow w;
    w.window.Edit1.setText(Q(input));
    w.chooser.answers = {Q("/elsewhere/other.pdf")};
    QSignalSpy progress(&w.window.ProgressBar1, &QProgressBar::valueChanged);
    QSignalSpy finished(&w.window, &TForm1::RunFinished);

    // The click returns at once; the run goes on in the background.
    QTest::mouseClick(&w.window.Button4, Qt::LeftButton);
    ASSERT_TRUE(w.window.Running());
    for (QWidget* control :
         {static_cast<QWidget*>(&w.window.Button1), static_cast<QWidget*>(&w.window.Button2),
          static_cast<QWidget*>(&w.window.Button3), static_cast<QWidget*>(&w.window.Button4),
          static_cast<QWidget*>(&w.window.Button5), static_cast<QWidget*>(&w.window.Button6),
          static_cast<QWidget*>(&w.window.CheckBox1), static_cast<QWidget*>(&w.window.CheckBox2)}) {
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    }
    // Clicks that reach the handlers all the same change nothing; a close asks whether to
    // stop, and answered no, changes nothing either.
    w.window.Button4Click();
    w.window.Button5Click();
    w.window.Button3Click();
    w.window.Button6Click();
    w.window.Button1Click();
    w.sink.answer = false;
    EXPECT_FALSE(w.window.close());
    EXPECT_TRUE(w.window.isVisible());
    EXPECT_EQ(w.sink.questions, QStringList{U(kStopQuestion)});
    EXPECT_TRUE(w.sink.messages.isEmpty());
    w.WaitForRun();

    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(w.sink.messages, QStringList{Naming(kReversed, Reversed(input))});
    EXPECT_EQ(w.sink.doneMessages, 1);
    EXPECT_TRUE(MovesForwardToFull(Values(progress)));
    EXPECT_EQ(w.chooser.calls, 0);
    EXPECT_EQ(w.window.Edit1.text(), Q(input));

    // Once the run has ended the buttons and the close box answer again.
    EXPECT_TRUE(w.window.Button1.isEnabled());
    w.Click(w.window.Button1);
    EXPECT_EQ(w.chooser.calls, 1);
    EXPECT_TRUE(w.window.close());
    EXPECT_FALSE(w.window.isVisible());
}

// Stopping a run, by closing the window or with Esc answered yes, or with the stop button
// that shows only while a run works and asks nothing more: the run ends without a word and
// an earlier output, which the user agreed to replace, stays byte for byte.
TEST(ReverseClick, StoppingARunKeepsTheEarlierOutput) {
    enum class Way { Close, Escape, StopButton };
    for (const Way way : {Way::Close, Way::Escape, Way::StopButton}) {
        const std::string tag = way == Way::Close    ? "stop-close"
                                : way == Way::Escape ? "stop-esc"
                                                     : "stop-button";
        const std::string input = WriteTempFile(tag + ".pdf", SimpleDocument(3000).Build());
        const std::string output = Reversed(input);
        WriteTempFile(output.substr(output.rfind('/') + 1), "an earlier output");
        ShownWindow w;
        w.window.Edit1.setText(Q(input));
        w.sink.answer = true;
        EXPECT_FALSE(w.window.Button7.isVisible()) << tag;
        QTest::mouseClick(&w.window.Button4, Qt::LeftButton);
        ASSERT_TRUE(w.window.Running()) << tag;
        EXPECT_TRUE(w.window.Button7.isVisible() && w.window.Button7.isEnabled()) << tag;
        switch (way) {
            case Way::Close:
                EXPECT_FALSE(w.window.close()) << tag;  // not yet: the run stops first
                break;
            case Way::Escape:
                QTest::keyClick(&w.window, Qt::Key_Escape);
                break;
            case Way::StopButton:
                QTest::mouseClick(&w.window.Button7, Qt::LeftButton);
                break;
        }
        w.WaitForRun();
        const QString replace = U(kReplaceQuestion) + Q(output);
        EXPECT_EQ(w.sink.questions, way == Way::StopButton
                                        ? QStringList{replace}
                                        : (QStringList{replace, U(kStopQuestion)}))
            << tag;
        EXPECT_TRUE(w.sink.messages.isEmpty()) << tag;
        EXPECT_EQ(ReadFileBytes(output), "an earlier output") << tag;
        EXPECT_EQ(w.window.isVisible(), way != Way::Close) << tag;
        EXPECT_FALSE(w.window.Running()) << tag;
        EXPECT_FALSE(w.window.Button7.isVisible()) << tag;
    }
}

TEST(ReverseClick, SuccessOffersToOpenTheFolderOrTheCopy) {
    const std::string input = WriteTempFile("offer.pdf", SimpleDocument(2).Build());
    const QString folder = Q(input.substr(0, input.rfind('/')));
    const struct {
        AfterDone choice;
        bool openWorks;
        std::vector<QUrl> opened;
        int messages;
    } cases[] = {
        {AfterDone::Close, true, {}, 1},
        {AfterDone::OpenFolder, true, {QUrl::fromLocalFile(folder)}, 1},
        // No program to open it with: the user is told.
        {AfterDone::OpenFile, false, {QUrl::fromLocalFile(Q(Reversed(input)))}, 2},
    };
    for (const auto& c : cases) {
        std::remove(Reversed(input).c_str());  // the last case's, not to be asked about
        ShownWindow w;
        w.sink.afterDone = c.choice;
        w.openSucceeds = c.openWorks;
        w.window.Edit1.setText(Q(input));
        w.Click(w.window.Button4);
        EXPECT_EQ(w.sink.doneMessages, 1);
        EXPECT_EQ(w.opened, c.opened);
        ASSERT_EQ(w.sink.messages.size(), c.messages);
        if (c.messages == 2) {
            EXPECT_EQ(w.sink.messages[1], U("没有程序可以打开：") + Q(Reversed(input)));
        }
    }
}

// Before a run writes over a file it asks, naming the file; before a merge of a file with
// itself (however the two rows spell it) too. No writes nothing and says nothing more; yes
// goes on. A preview writes nothing and asks nothing, and where there is no file to replace
// nothing is asked.
TEST(RunClick, AsksBeforeReplacingAFileOrMergingAFileWithItself) {
    const std::string odd = WriteTempFile("ask-odd.pdf", SimpleDocument(2, "Odd").Build());
    const std::string even = WriteTempFile("ask-even.pdf", SimpleDocument(2, "Even").Build());
    const std::string folder = odd.substr(0, odd.rfind('/'));
    // The odd file again, spelt through its folder's parent.
    const std::string respelt =
        folder + "/../" + folder.substr(folder.rfind('/') + 1) + "/ask-odd.pdf";
    const std::string earlier = "an earlier output";
    const QString replaceReversed = U(kReplaceQuestion) + Q(Reversed(odd));
    const QString replaceMerged = U(kReplaceQuestion) + Q(MergedName(odd, even));
    const QString replaceSelf = U(kReplaceQuestion) + Q(MergedName(odd, respelt));
    const QString same = U(kSameFileQuestion) + Q(odd);
    const struct {
        const char* what;
        QPushButton TForm1::*button;
        std::string even;      // the second row
        std::string existing;  // an output there before, or ""
        std::vector<bool> answers;
        QStringList questions;
        bool written;
    } cases[] = {
        {"reverse, nothing to replace", &TForm1::Button4, "", "", {}, {}, true},
        {"reverse, replace: no", &TForm1::Button4, "", Reversed(odd), {false}, {replaceReversed},
         false},
        {"reverse, replace: yes", &TForm1::Button4, "", Reversed(odd), {true}, {replaceReversed},
         true},
        {"merge, nothing to replace", &TForm1::Button3, even, "", {}, {}, true},
        {"merge, replace: no", &TForm1::Button3, even, MergedName(odd, even), {false},
         {replaceMerged}, false},
        {"merge, replace: yes", &TForm1::Button3, even, MergedName(odd, even), {true},
         {replaceMerged}, true},
        {"merge with itself: no", &TForm1::Button3, respelt, "", {false}, {same}, false},
        {"merge with itself: yes", &TForm1::Button3, respelt, "", {true}, {same}, true},
        {"merge with itself over an earlier merge: yes, no", &TForm1::Button3, respelt,
         MergedName(odd, respelt), {true, false}, {same, replaceSelf}, false},
        {"preview of a merge with itself", &TForm1::Button6, respelt, MergedName(odd, respelt), {},
         {}, false},
    };
    for (const auto& c : cases) {
        for (const std::string& output :
             {Reversed(odd), MergedName(odd, even), MergedName(odd, respelt)}) {
            std::remove(output.c_str());
        }
        const std::string output = c.button == &TForm1::Button4 ? Reversed(odd)
                                                                : MergedName(odd, c.even);
        if (!c.existing.empty()) WriteTempFile(c.existing.substr(c.existing.rfind('/') + 1), earlier);
        ShownWindow w;
        w.Choose(odd, c.even);
        w.sink.answers.assign(c.answers.begin(), c.answers.end());
        w.Click(w.window.*c.button);
        if (c.button == &TForm1::Button6) {
            ASSERT_NE(w.window.Preview(), nullptr) << c.what;
            w.window.Preview()->reject();
        }
        EXPECT_EQ(w.sink.questions, c.questions) << c.what;
        const std::string now = ReadFileBytes(output);
        EXPECT_EQ(now.rfind("%PDF-", 0) == 0, c.written) << c.what;
        if (!c.written) {
            EXPECT_EQ(now, c.existing.empty() ? "" : earlier) << c.what;
            if (c.button != &TForm1::Button6) {
                EXPECT_TRUE(w.sink.messages.isEmpty()) << c.what;
            }
        }
        EXPECT_FALSE(w.window.Running()) << c.what;
    }
}

}  // namespace
}  // namespace verava
