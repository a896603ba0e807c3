#include <gtest/gtest.h>

#include <QApplication>
#include <QMetaObject>
#include <QSignalSpy>
#include <QTest>
#include <random>
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
using testing::PdfToTextPages;
using testing::Q;
using testing::ReadFileBytes;
using testing::RecordingSink;
using testing::RunCommand;
using testing::ScriptedChooser;
using testing::ShownWindow;
using testing::SimpleDocument;
using testing::U;
using testing::MovesForwardToFull;
using testing::Values;
using testing::WriteTempFile;

int PageCount(const std::string& path) {
    const std::string pages = testing::PdfInfoValue(path, "Pages");
    return pages.empty() ? -1 : std::stoi(pages);
}

const char kDone[] = "文件已经重排，请查看后重新选择";
const char kMissing[] = "请先选择文件，或者选择的文件不存在！";
const char kStopQuestion[] =
    "正在处理文件。要停止吗？正在写入的文件会被丢弃，已有的同名文件保持不变。";

// The output name, worked out here by hand: ".pdf" becomes "_重排后.pdf".
std::string Reversed(std::string path) {
    const std::string from = ".pdf";
    const std::string to = "_\xE9\x87\x8D\xE6\x8E\x92\xE5\x90\x8E.pdf";
    for (size_t at = path.find(from); at != std::string::npos; at = path.find(from, at)) {
        path.replace(at, from.size(), to);
        at += to.size();
    }
    return path;
}

TEST(ReverseClick, WritesTheEightPagesLastToFirstWithTheBarFollowing) {
    VERAVA_REQUIRE_TOOLS("pdftotext");
    const std::string input = WriteTempFile("双面扫描.pdf", SimpleDocument(8).Build());
    const std::string inputBytes = ReadFileBytes(input);
    ShownWindow w;
    w.window.Edit1.setText(Q(input));
    QSignalSpy progress(&w.window.ProgressBar1, &QProgressBar::valueChanged);

    w.Click(w.window.Button4);

    EXPECT_TRUE(MovesForwardToFull(Values(progress), 5));
    EXPECT_EQ(w.sink.messages, QStringList{U(kDone)});
    const std::string output = Reversed(input);
    ASSERT_TRUE(FileExists(output)) << output;
    EXPECT_EQ(PdfToTextPages(output, 8),
              (std::vector<std::string>{"Page 8", "Page 7", "Page 6", "Page 5", "Page 4", "Page 3",
                                        "Page 2", "Page 1"}));
    EXPECT_EQ(PageCount(output), 8);
    EXPECT_EQ(ReadFileBytes(input), inputBytes);
    EXPECT_FALSE(w.window.Running());
}

TEST(ReverseClick, SecondRowReversesTheEvenPageFile) {
    VERAVA_REQUIRE_TOOLS("pdftotext");
    const std::string odd = WriteTempFile("row1.pdf", SimpleDocument(2, "Odd").Build());
    const std::string even = WriteTempFile("row2.pdf", SimpleDocument(3, "Even").Build());
    ShownWindow w;
    w.Choose(odd, even);
    QSignalSpy progress(&w.window.ProgressBar1, &QProgressBar::valueChanged);

    w.Click(w.window.Button5);

    EXPECT_TRUE(MovesForwardToFull(Values(progress)));
    EXPECT_EQ(w.sink.messages, QStringList{U(kDone)});
    EXPECT_EQ(PdfToTextPages(Reversed(even), 3),
              (std::vector<std::string>{"Even 3", "Even 2", "Even 1"}));
    EXPECT_FALSE(FileExists(Reversed(odd)));
}

TEST(ReverseClick, OnePageFileIsSavedUnderTheNewName) {
    VERAVA_REQUIRE_TOOLS("pdftotext");
    const std::string input = WriteTempFile("single.pdf", SimpleDocument(1).Build());
    ShownWindow w;
    w.window.Edit1.setText(Q(input));
    QSignalSpy progress(&w.window.ProgressBar1, &QProgressBar::valueChanged);

    w.Click(w.window.Button4);

    EXPECT_TRUE(MovesForwardToFull(Values(progress)));
    EXPECT_EQ(w.sink.messages, QStringList{U(kDone)});
    EXPECT_EQ(PdfToTextPages(Reversed(input), 1), std::vector<std::string>{"Page 1"});
}

TEST(ReverseClick, MissingFileIsReportedAndNothingRuns) {
    const std::string folder = WriteTempFile("placeholder.txt", "");
    const std::string absent = folder.substr(0, folder.rfind('/')) + "/absent.pdf";
    const struct {
        const char* what;
        QString path;
    } cases[] = {
        {"empty edit box", QString()},
        {"no such file", Q(absent)},
        {"a folder", Q(folder.substr(0, folder.rfind('/')))},
    };
    for (const auto& c : cases) {
        ShownWindow w;
        w.window.Edit1.setText(c.path);
        // A run does not reset the bar; a refused one leaves it as it was.
        w.window.ProgressBar1.setValue(42);
        w.Click(w.window.Button4);
        EXPECT_EQ(w.sink.messages, QStringList{U(kMissing)}) << c.what;
        EXPECT_EQ(w.window.ProgressBar1.value(), 42) << c.what;
    }
    EXPECT_FALSE(FileExists(Reversed(absent)));
}

TEST(ReverseClick, FileThatIsNotAPdfIsReportedAsUnreadable) {
    std::mt19937 random(20240611);
    std::string noise(4096, '\0');
    for (char& c : noise) c = static_cast<char>(random() & 0xFF);
    const std::string input = WriteTempFile("noise.pdf", noise);
    ShownWindow w;
    w.window.Edit2.setText(Q(input));

    w.Click(w.window.Button5);

    EXPECT_EQ(w.sink.messages,
              QStringList{U("文件无法打开，可能不是PDF文件或已损坏") + "\n" + Q(input)});
    EXPECT_FALSE(FileExists(Reversed(input)));
}

TEST(ReverseClick, FailedSaveNamesTheOutputPath) {
    const std::string input = WriteTempFile("blocked.pdf", SimpleDocument(2).Build());
    // A folder where the output file would go.
    const std::string output = Reversed(input);
    ASSERT_EQ(mkdir(output.c_str(), 0700), 0);
    ShownWindow w;
    w.window.Edit1.setText(Q(input));

    w.Click(w.window.Button4);

    EXPECT_EQ(w.sink.messages,
              QStringList{U("文件保存失败：") + Q(output) + U("\n这是一个文件夹，不是文件")});
    rmdir(output.c_str());
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
    EXPECT_EQ(w.sink.messages, QStringList{U(kDone)});
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

// Stopping a run, by closing the window or with Esc, answered yes: the run ends without a
// word and an earlier output stays byte for byte.
TEST(ReverseClick, StoppingARunKeepsTheEarlierOutput) {
    for (const bool byClosing : {true, false}) {
        const std::string tag = byClosing ? "stop-close" : "stop-esc";
        const std::string input = WriteTempFile(tag + ".pdf", SimpleDocument(3000).Build());
        const std::string output = Reversed(input);
        WriteTempFile(output.substr(output.rfind('/') + 1), "an earlier output");
        ShownWindow w;
        w.window.Edit1.setText(Q(input));
        w.sink.answer = true;
        QTest::mouseClick(&w.window.Button4, Qt::LeftButton);
        ASSERT_TRUE(w.window.Running()) << tag;
        if (byClosing) {
            EXPECT_FALSE(w.window.close()) << tag;  // not yet: the run stops first
        } else {
            QTest::keyClick(&w.window, Qt::Key_Escape);
        }
        w.WaitForRun();
        EXPECT_EQ(w.sink.questions, QStringList{U(kStopQuestion)}) << tag;
        EXPECT_TRUE(w.sink.messages.isEmpty()) << tag;
        EXPECT_EQ(ReadFileBytes(output), "an earlier output") << tag;
        EXPECT_EQ(w.window.isVisible(), !byClosing) << tag;
        EXPECT_FALSE(w.window.Running()) << tag;
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

TEST(ChooseClick, FillsItsOwnRowAndCancelKeepsTheText) {
    ShownWindow w;
    w.chooser.answers = {Q("/scans/odd.pdf"), QString(), Q("/scans/even.pdf"), QString()};

    w.Click(w.window.Button1);
    EXPECT_EQ(w.window.Edit1.text(), Q("/scans/odd.pdf"));
    EXPECT_TRUE(w.window.Edit2.text().isEmpty());

    // Cancel leaves the row as it was.
    w.Click(w.window.Button1);
    EXPECT_EQ(w.window.Edit1.text(), Q("/scans/odd.pdf"));

    w.Click(w.window.Button2);
    EXPECT_EQ(w.window.Edit2.text(), Q("/scans/even.pdf"));
    EXPECT_EQ(w.window.Edit1.text(), Q("/scans/odd.pdf"));
    w.Click(w.window.Button2);
    EXPECT_EQ(w.window.Edit2.text(), Q("/scans/even.pdf"));

    EXPECT_EQ(w.chooser.calls, 4);
    EXPECT_TRUE(w.sink.messages.isEmpty());
}

}  // namespace
}  // namespace verava
