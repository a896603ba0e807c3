// The merge button end to end on Qt's offscreen platform: the interleaved file beside the
// odd-page file, the progress bar's positions, and the message of every way a merge ends.
#include <gtest/gtest.h>

#include <cerrno>

#include <QApplication>
#include <QMetaObject>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <string>
#include <utility>
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
using testing::ScratchSettings;
using testing::ScriptedChooser;
using testing::ShownWindow;
using testing::SimpleDocument;
using testing::U;
using testing::MovesForwardToFull;
using testing::Values;
using testing::WriteTempFile;

const char kDone[] = "文件已经合并，保存在奇数页文件所在位置";
const char kMissing[] = "奇数页文件或偶数页文件不存在";
const char kCountRule[] = "奇数页应等于偶数页或多1页，请检查";
const char kUnreadable[] = "文件无法读取或已损坏，无法合并";

// The merge output's name worked out by hand: the odd file's folder, both names without
// ".pdf", "_合并后.pdf".
std::string MergedName(const std::string& odd, const std::string& even) {
    auto stem = [](const std::string& path) {
        std::string name = path.substr(path.rfind('/') + 1);
        return name.substr(0, name.size() - 4);
    };
    return odd.substr(0, odd.rfind('/') + 1) + stem(odd) + "_" + stem(even) +
           "_\xE5\x90\x88\xE5\xB9\xB6\xE5\x90\x8E.pdf";
}

TEST(MergeClick, InterleavesThreeAndThreePagesWithTheBarFromZero) {
    VERAVA_REQUIRE_TOOLS("pdftotext");
    const std::string odd = WriteTempFile("单面-odd.pdf", SimpleDocument(3, "Odd").Build());
    const std::string even = WriteTempFile("单面-even.pdf", SimpleDocument(3, "Even").Build());
    const std::string oddBytes = ReadFileBytes(odd);
    ShownWindow w;
    w.Choose(odd, even);
    // What an earlier run left on the bar; the merge starts it at 0.
    w.window.ProgressBar1.setValue(42);
    QSignalSpy progress(&w.window.ProgressBar1, &QProgressBar::valueChanged);

    w.Click(w.window.Button3);

    const std::vector<int> values = Values(progress);
    EXPECT_TRUE(MovesForwardToFull(values, 5));
    EXPECT_EQ(values.front(), 0);
    EXPECT_EQ(w.sink.messages, QStringList{U(kDone)});
    const std::string output = MergedName(odd, even);
    ASSERT_TRUE(FileExists(output)) << output;
    EXPECT_EQ(PdfToTextPages(output, 6),
              (std::vector<std::string>{"Odd 1", "Even 1", "Odd 2", "Even 2", "Odd 3", "Even 3"}));
    EXPECT_EQ(RunCommand("pdfinfo '" + output + "' 2>/dev/null | grep '^Pages:' | tr -s ' '"),
              "Pages: 6\n");
    EXPECT_EQ(ReadFileBytes(odd), oddBytes);
    EXPECT_FALSE(w.window.Running());
}

TEST(MergeClick, OneMoreOddPageEndsTheFile) {
    VERAVA_REQUIRE_TOOLS("pdftotext");
    const std::string odd = WriteTempFile("four-odd.pdf", SimpleDocument(4, "Odd").Build());
    const std::string even = WriteTempFile("three-even.pdf", SimpleDocument(3, "Even").Build());
    ShownWindow w;
    w.Choose(odd, even);
    QSignalSpy progress(&w.window.ProgressBar1, &QProgressBar::valueChanged);

    w.Click(w.window.Button3);

    EXPECT_TRUE(MovesForwardToFull(Values(progress)));
    EXPECT_EQ(w.sink.messages, QStringList{U(kDone)});
    EXPECT_EQ(PdfToTextPages(MergedName(odd, even), 7),
              (std::vector<std::string>{"Odd 1", "Even 1", "Odd 2", "Even 2", "Odd 3", "Even 3",
                                        "Odd 4"}));
}

TEST(MergeClick, MissingFilesAreReportedAndNothingRuns) {
    const std::string present = WriteTempFile("present.pdf", SimpleDocument(1).Build());
    const std::string folder = present.substr(0, present.rfind('/'));
    const std::string absent = folder + "/absent.pdf";
    const struct {
        const char* what;
        std::string odd, even;
    } cases[] = {
        {"both empty", "", ""},           {"odd empty", "", present},
        {"even empty", present, ""},      {"odd absent", absent, present},
        {"even absent", present, absent}, {"odd a folder", folder, present},
    };
    for (const auto& c : cases) {
        ShownWindow w;
        w.Choose(c.odd, c.even);
        w.window.ProgressBar1.setValue(42);
        w.Click(w.window.Button3);
        EXPECT_EQ(w.sink.messages, QStringList{U(kMissing)}) << c.what;
        EXPECT_EQ(w.window.ProgressBar1.value(), 42) << c.what;
    }
    EXPECT_FALSE(FileExists(MergedName(absent, present)));
    EXPECT_FALSE(FileExists(MergedName(present, absent)));
}

TEST(MergeClick, PageCountsOutsideTheRuleAreReportedAndNothingIsWritten) {
    for (const auto& [oddPages, evenPages] : std::vector<std::pair<int, int>>{{3, 4}, {5, 3}}) {
        const std::string tag = std::to_string(oddPages) + "-" + std::to_string(evenPages);
        const std::string odd =
            WriteTempFile("rule-odd-" + tag + ".pdf", SimpleDocument(oddPages, "Odd").Build());
        const std::string even =
            WriteTempFile("rule-even-" + tag + ".pdf", SimpleDocument(evenPages, "Even").Build());
        ShownWindow w;
        w.Choose(odd, even);
        w.window.ProgressBar1.setValue(42);
        w.Click(w.window.Button3);
        // Both counts are named before the rule.
        EXPECT_EQ(w.sink.messages,
                  QStringList{U("奇数页文件%1页，偶数页文件%2页。\n").arg(oddPages).arg(evenPages) +
                              U(kCountRule)})
            << tag;
        // The bar is not touched on this path.
        EXPECT_EQ(w.window.ProgressBar1.value(), 42) << tag;
        EXPECT_FALSE(FileExists(MergedName(odd, even))) << tag;
    }
}

TEST(MergeClick, EncryptedFilesAskForTheirPasswordAndUnreadableOnesAreRefused) {
    VERAVA_REQUIRE_TOOLS("qpdf");
    const std::string plain = WriteTempFile("enc-plain.pdf", SimpleDocument(2, "Odd").Build());
    const std::string even = WriteTempFile("enc-even.pdf", SimpleDocument(2, "Even").Build());
    const std::string folder = plain.substr(0, plain.rfind('/'));
    // With a user password the file does not open; with an empty one it opens, and the merge
    // asks all the same: it takes an encrypted input only with its password.
    const struct {
        const char* name;
        const char* userPassword;
    } locks[] = {{"enc-user.pdf", "user"}, {"enc-empty.pdf", "''"}};
    for (const auto& lock : locks) {
        const std::string locked = folder + "/" + lock.name;
        int status = -1;
        RunCommand("qpdf --encrypt " + std::string(lock.userPassword) + " owner 256 -- '" + plain +
                       "' '" + locked + "' 2>&1",
                   &status);
        ASSERT_EQ(status, 0) << lock.name;
        for (bool second : {false, true}) {
            const std::string odd = second ? plain : locked;
            const std::string evenPath = second ? locked : even;
            ShownWindow w;
            w.Choose(odd, evenPath);
            w.Click(w.window.Button3);  // the prompt is cancelled
            ASSERT_EQ(w.prompt.asked.size(), 1u) << lock.name << second;
            EXPECT_EQ(w.prompt.asked[0].first, Q(locked));
            EXPECT_FALSE(w.prompt.asked[0].second);
            EXPECT_TRUE(w.sink.messages.isEmpty()) << lock.name << second;
            EXPECT_FALSE(FileExists(MergedName(odd, evenPath))) << lock.name << second;
        }
    }
    const std::string junk = WriteTempFile("enc-junk.pdf", std::string(4000, 'j'));
    ShownWindow w;
    w.Choose(plain, junk);
    w.Click(w.window.Button3);
    EXPECT_EQ(w.sink.messages, QStringList{U(kUnreadable)});
    EXPECT_FALSE(FileExists(MergedName(plain, junk)));
}

TEST(MergeClick, MessagesForTheOtherWaysAMergeEnds) {
    WorkflowResult r;
    r.outcome = WorkflowOutcome::OutputLocked;
    r.failedPath = u"/scan/a_b_\u5408\u5E76\u540E.pdf";
    EXPECT_EQ(MergeMessage(r), U("无法覆盖已存在的输出文件：/scan/a_b_合并后.pdf"));
    r.outcome = WorkflowOutcome::MergeFailed;
    r.failedPath.clear();
    EXPECT_EQ(MergeMessage(r), U("文件合并失败"));
    // What the system said, on a line of its own: about the output, or about the memory
    // an input's working copy needed.
    r.failedPath = u"/scan/a_b_\u5408\u5E76\u540E.pdf";
    r.fileError = TFileError::FromErrno(ENOSPC, TFileStep::Write);
    EXPECT_EQ(MergeMessage(r), U("文件保存失败：/scan/a_b_合并后.pdf\n磁盘空间不足"));
    r.failedPath.clear();
    r.fileError = TFileError::FromErrno(ENOMEM, TFileStep::Scratch);
    EXPECT_EQ(MergeMessage(r), U("文件合并失败\n内存不足"));
    r.fileError = {};
    // The merged file that does not open again or cannot be saved: the window's own words.
    r.outcome = WorkflowOutcome::OpenFailed;
    r.failedPath = u"/scan/out.pdf";
    EXPECT_EQ(MergeMessage(r), U("文件无法打开，可能不是PDF文件或已损坏\n/scan/out.pdf"));
    r.outcome = WorkflowOutcome::PasswordRequired;
    EXPECT_EQ(MergeMessage(r), U("文件已加密，需要密码才能打开\n/scan/out.pdf"));
    r.outcome = WorkflowOutcome::SaveFailed;
    r.outputPath = u"/scan/out2.pdf";
    EXPECT_EQ(MergeMessage(r), U("文件保存失败：/scan/out2.pdf"));
}

// Each reason the system gives for a file that cannot be written, in the window's words;
// one it has no words for is passed on as the system says it.
TEST(MergeClick, FileErrorsAreSaidInTheWindowsWords) {
    const struct {
        TFileError error;
        const char* text;
    } cases[] = {
        {TFileError::FromErrno(ENOSPC, TFileStep::Sync), "磁盘空间不足"},
        {TFileError::FromErrno(EDQUOT, TFileStep::Write), "超出磁盘配额"},
        {TFileError::FromErrno(EACCES, TFileStep::Create), "没有写入权限"},
        {TFileError::FromErrno(EROFS, TFileStep::Create), "磁盘是只读的"},
        {TFileError::FromErrno(EFBIG, TFileStep::Write), "文件太大"},
        {TFileError::FromErrno(ENOENT, TFileStep::Create), "文件夹不存在"},
        {TFileError::FromErrno(EIO, TFileStep::Sync), "磁盘读写出错"},
        {TFileError::FromErrno(ENOMEM, TFileStep::Scratch), "内存不足"},
        {TFileError{TFileProblem::Folder}, "这是一个文件夹，不是文件"},
        {TFileError{TFileProblem::NotRegularFile}, "这不是普通文件（可能是管道或设备）"},
        {TFileError::FromErrno(ENAMETOOLONG, TFileStep::Create), "系统错误：file name too long"},
        {TFileError{TFileProblem::Cancelled}, ""},
        {TFileError{}, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(FileErrorText(c.error), U(c.text)) << c.text;
}

TEST(MergeClick, FailedMergeIntoABlockedOutputSaysSo) {
    const std::string odd = WriteTempFile("blocked-odd.pdf", SimpleDocument(2, "Odd").Build());
    const std::string even = WriteTempFile("blocked-even.pdf", SimpleDocument(2, "Even").Build());
    // A folder where the output file would go: it cannot be created.
    const std::string output = MergedName(odd, even);
    ASSERT_EQ(mkdir(output.c_str(), 0700), 0);
    ShownWindow w;
    w.Choose(odd, even);
    w.Click(w.window.Button3);
    EXPECT_EQ(w.sink.messages, QStringList{U("文件保存失败：") + Q(output) +
                                           U("\n这是一个文件夹，不是文件")});
    rmdir(output.c_str());
}

TEST(MergeClick, TheCheckBoxTakesTheEvenFileAsScannedLastToFirst) {
    VERAVA_REQUIRE_TOOLS("pdftotext");
    const std::string odd = WriteTempFile("box-odd.pdf", SimpleDocument(3, "Odd").Build());
    const std::string evenInOrder =
        WriteTempFile("box-even-in-order.pdf", SimpleDocument(3, "Even").Build());
    // The even stack turned over: Even 3, Even 2, Even 1.
    const std::string even = evenInOrder.substr(0, evenInOrder.rfind('/')) + "/box-even.pdf";
    ASSERT_EQ(ReverseFilePages(Q(evenInOrder).toStdU16String(), WorkflowProgress(), u"",
                               Q(even).toStdU16String())
                  .outcome,
              WorkflowOutcome::Done);
    const std::vector<std::string> interleaved = {"Odd 1",  "Even 1", "Odd 2",
                                                  "Even 2", "Odd 3",  "Even 3"};
    ShownWindow w;
    w.Choose(odd, even);
    w.window.CheckBox1.click();
    ASSERT_TRUE(w.window.CheckBox1.isChecked());
    w.Click(w.window.Button3);
    EXPECT_EQ(w.sink.messages, QStringList{U(kDone)});
    EXPECT_EQ(PdfToTextPages(MergedName(odd, even), 6), interleaved);
}

TEST(MergeClick, TheCheckBoxesAreRememberedForTheNextWindow) {
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

// A file whose pages show the given texts; an empty text makes a page that paints nothing.
std::string TextOrBlankPages(const std::vector<std::string>& texts) {
    testing::PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Set(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    std::string kids;
    for (size_t k = 0; k < texts.size(); ++k) {
        const int page = 4 + 2 * static_cast<int>(k);
        kids += std::to_string(page) + " 0 R ";
        b.Set(page,
              "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font "
              "<< /F1 3 0 R >> >> /Contents " +
                  std::to_string(page + 1) + " 0 R >>");
        b.Set(
            page + 1,
            testing::PdfBuilder::StreamBody(
                "", texts[k].empty() ? "q Q" : "BT /F1 24 Tf 72 700 Td (" + texts[k] + ") Tj ET"));
    }
    b.Set(2,
          "<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(texts.size()) + " >>");
    b.TrailerEntries = "/Root 1 0 R";
    return b.Build();
}

TEST(MergeClick, TheBlankBoxLeavesBlankBacksOutAndTheMessageNamesThem) {
    VERAVA_REQUIRE_TOOLS("pdftotext");
    const std::string odd =
        WriteTempFile("blank-odd.pdf", TextOrBlankPages({"Odd 1", "Odd 2", "Odd 3"}));
    const std::string even = WriteTempFile("blank-even.pdf", TextOrBlankPages({"", "Even 2", ""}));
    const std::string output = MergedName(odd, even);
    {
        // Unticked: every page stays.
        ShownWindow w;
        w.Choose(odd, even);
        w.Click(w.window.Button3);
        EXPECT_EQ(w.sink.messages, QStringList{U(kDone)});
        EXPECT_EQ(RunCommand("pdfinfo '" + output + "' 2>/dev/null | grep '^Pages:' | tr -s ' '"),
                  "Pages: 6\n");
    }
    ShownWindow w;
    w.Choose(odd, even);
    w.window.CheckBox2.click();
    QSignalSpy progress(&w.window.ProgressBar1, &QProgressBar::valueChanged);
    w.Click(w.window.Button3);
    EXPECT_EQ(w.sink.messages, QStringList{U(kDone) + U("\n已删除2页空白页：偶 1、偶 3")});
    EXPECT_EQ(PdfToTextPages(output, 4),
              (std::vector<std::string>{"Odd 1", "Odd 2", "Even 2", "Odd 3"}));
    EXPECT_EQ(RunCommand("pdfinfo '" + output + "' 2>/dev/null | grep '^Pages:' | tr -s ' '"),
              "Pages: 4\n");
    // The bar only moves forward, looking at the pages first, and ends full.
    EXPECT_TRUE(MovesForwardToFull(Values(progress)));
}

TEST(MergeClick, TheSuccessMessageAfterLookingForBlankPages) {
    const QString done = U(kDone);
    WorkflowResult r;
    r.outcome = WorkflowOutcome::Done;
    // Not asked to look: nothing more is said.
    EXPECT_EQ(MergeMessage(r), done);
    r.blankPagesLookedFor = true;
    EXPECT_EQ(MergeMessage(r), done + U("\n没有发现空白页。"));
    r.unreadable = {{PageSource::Odd, 4}};
    EXPECT_EQ(MergeMessage(r), done + U("\n没有发现空白页。\n以下1页的图像无法读取，已保留：奇 4"));
    r.unreadable.clear();
    // A long list stops after forty pages.
    for (int32_t k = 1; k <= 45; ++k) r.dropped.push_back({PageSource::Even, k});
    const QString message = MergeMessage(r);
    EXPECT_TRUE(message.startsWith(done + U("\n已删除45页空白页：偶 1、偶 2、")));
    EXPECT_TRUE(message.endsWith(U("偶 40…"))) << message.toStdString();
    EXPECT_FALSE(message.contains(U("偶 41")));
}

}  // namespace
}  // namespace verava
