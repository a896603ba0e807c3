// The texts that end a run, as the window shows them: how a reverse or a merge ended, the
// file it wrote or the file it is about on a line of its own, the blank pages a merge left
// out or kept, and what the system said about a file it could not write. The buttons' own
// tests show these texts reach the window.
#include "app/gui/run_messages.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "app/gui/shown_window.h"

namespace verava {
namespace {

using testing::U;

const char kMerged[] = "文件已经合并，保存在奇数页文件所在位置";

TEST(ReverseMessage, NamesTheCopyWrittenOrTheFileItIsAbout) {
    using O = WorkflowOutcome;
    const struct {
        WorkflowResult result;
        QString message;
    } cases[] = {
        {{.outcome = O::Done, .outputPath = u"/scan/a_\u91CD\u6392\u540E.pdf"},
         U("文件已经重排，请查看后重新选择\n/scan/a_重排后.pdf")},
        {{.outcome = O::InputMissing, .failedPath = u"/scan/gone.pdf"},
         U("请先选择文件，或者选择的文件不存在！\n/scan/gone.pdf")},
        // An empty row names nothing.
        {{.outcome = O::InputMissing}, U("请先选择文件，或者选择的文件不存在！")},
        {{.outcome = O::PasswordRequired, .failedPath = u"/scan/locked.pdf"},
         U("文件已加密，需要密码才能打开\n/scan/locked.pdf")},
        {{.outcome = O::OpenFailed, .failedPath = u"/scan/junk.pdf"},
         U("文件无法打开，可能不是PDF文件或已损坏\n/scan/junk.pdf")},
        {{.outcome = O::SaveFailed,
          .failedPath = u"/ro/a_\u91CD\u6392\u540E.pdf",
          .outputPath = u"/ro/a_\u91CD\u6392\u540E.pdf",
          .fileError = TFileError::FromErrno(EROFS, TFileStep::Create)},
         U("文件保存失败：/ro/a_重排后.pdf\n磁盘是只读的")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReverseMessage(c.result), c.message) << c.message.toStdString();
    }
}

TEST(MergeMessage, SaysHowTheMergeEndedAndWhichPagesWereLeftOutOrKept) {
    const std::u16string output = u"/scan/a_b_\u5408\u5E76\u540E.pdf";  // "a_b_合并后.pdf"
    const QString done = U(kMerged) + U("\n/scan/a_b_合并后.pdf");
    using O = WorkflowOutcome;
    const struct {
        WorkflowResult result;
        QString message;
    } cases[] = {
        // Not asked to look for blank pages: nothing more is said.
        {{.outcome = O::Done, .outputPath = output}, done},
        {{.outcome = O::Done, .outputPath = output, .blankPagesLookedFor = true},
         done + U("\n没有发现空白页。")},
        // An encrypted input merged with its password.
        {{.outcome = O::Done, .outputPath = output, .decrypted = true},
         done + U("\n合并后的文件没有加密。")},
        {{.outcome = O::Done,
          .outputPath = output,
          .dropped = {{PageSource::Even, 1}, {PageSource::Odd, 2}},
          .unreadable = {{{PageSource::Odd, 4}, TPageDoubt::Image, "JPXDecode"},
                         {{PageSource::Even, 4}, TPageDoubt::Image, ""},
                         {{PageSource::Odd, 5}, TPageDoubt::Content, ""},
                         {{PageSource::Even, 5}, TPageDoubt::Drawing, ""}},
          .blankPagesLookedFor = true},
         done + U("\n已删除2页空白页：偶 1、奇 2\n以下4页无法完整查看，已保留：奇 4（JPXDecode"
                      "图像无法读取）、偶 4（图像无法读取）、奇 5（内容无法解码）、偶 5（引用的内容"
                      "缺失）")},
        // With the evens scanned last to first, an even page is named by its sheet too.
        {{.outcome = O::Done,
          .outputPath = output,
          .oddPages = 5,
          .evenPages = 5,
          .dropped = {{PageSource::Even, 2}, {PageSource::Odd, 3}},
          .unreadable = {{{PageSource::Even, 5}, TPageDoubt::Content, ""}},
          .blankPagesLookedFor = true,
          .evenReversed = true},
         done + U("\n已删除2页空白页：偶 2（背面 4）、奇 3\n以下1页无法完整查看，已保留：偶 5"
                   "（背面 1）（内容无法解码）")},
        // A failure names the file it is about; a file that is not there may be an empty row.
        {{.outcome = O::InputMissing, .failedPath = u"/scan/even.pdf"},
         U("奇数页文件或偶数页文件不存在\n/scan/even.pdf")},
        {{.outcome = O::InputMissing}, U("奇数页文件或偶数页文件不存在")},
        {{.outcome = O::MergeEncrypted, .failedPath = u"/scan/locked.pdf"},
         U("文件已加密，无法合并，请先去除密码\n/scan/locked.pdf")},
        {{.outcome = O::MergeUnreadable, .failedPath = u"/scan/junk.pdf"},
         U("文件无法读取或已损坏，无法合并\n/scan/junk.pdf")},
        // The counts in Chinese, as they always read.
        {{.outcome = O::PageCountMismatch, .oddPages = 1, .evenPages = 3},
         U("奇数页文件1页，偶数页文件3页。\n奇数页应等于偶数页或多1页，请检查")},
        {{.outcome = O::OutputLocked, .failedPath = output},
         U("无法覆盖已存在的输出文件：/scan/a_b_合并后.pdf")},
        {{.outcome = O::MergeFailed}, U("文件合并失败")},
        // What the system said, on a line of its own: about the output, or about the memory
        // an input's working copy needed.
        {{.outcome = O::MergeFailed,
          .failedPath = output,
          .fileError = TFileError::FromErrno(ENOSPC, TFileStep::Write)},
         U("文件保存失败：/scan/a_b_合并后.pdf\n磁盘空间不足")},
        {{.outcome = O::MergeFailed,
          .fileError = TFileError::FromErrno(ENOMEM, TFileStep::Scratch)},
         U("文件合并失败\n内存不足")},
        // The merged file that does not open again or cannot be saved: the window's own words.
        {{.outcome = O::OpenFailed, .failedPath = u"/scan/out.pdf"},
         U("文件无法打开，可能不是PDF文件或已损坏\n/scan/out.pdf")},
        {{.outcome = O::PasswordRequired, .failedPath = u"/scan/out.pdf"},
         U("文件已加密，需要密码才能打开\n/scan/out.pdf")},
        {{.outcome = O::SaveFailed, .outputPath = u"/scan/out2.pdf"},
         U("文件保存失败：/scan/out2.pdf")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MergeMessage(c.result), c.message) << c.message.toStdString();
    }

    // A long list stops after forty pages.
    WorkflowResult many{.outcome = O::Done, .outputPath = output, .blankPagesLookedFor = true};
    for (int32_t k = 1; k <= 45; ++k) many.dropped.push_back({PageSource::Even, k});
    const QString message = MergeMessage(many);
    EXPECT_TRUE(message.startsWith(done + U("\n已删除45页空白页：偶 1、偶 2、")));
    EXPECT_TRUE(message.endsWith(U("偶 40…"))) << message.toStdString();
    EXPECT_FALSE(message.contains(U("偶 41")));
}

// Each reason the system gives for a file that cannot be written, in the window's words;
// one it has no words for is passed on as the system says it.
TEST(FileErrorText, SaysEachReasonInTheWindowsWords) {
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

}  // namespace
}  // namespace verava
