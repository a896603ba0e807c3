// Encrypted files in the window: the masked prompt, three tries, a cancelled prompt; reverse
// keeps the encryption, merge writes a plain file and says so.
#include <gtest/gtest.h>

#include <QInputDialog>
#include <QLineEdit>
#include <optional>
#include <string>
#include <vector>

#include "app/gui/main_window.h"
#include "app/gui/password_prompt.h"
#include "app/gui/shown_window.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"

namespace verava {
namespace {

using testing::FileExists;
using testing::HaveTool;
using testing::PdfInfoValue;
using testing::Q;
using testing::RunCommand;
using testing::ShownWindow;
using testing::SimpleDocument;
using testing::U;
using testing::WhenModalShows;
using testing::WriteTempFile;

using Answers = std::vector<std::optional<QString>>;

// `pages` pages labelled `prefix`, locked by qpdf with the user password `user`.
std::string Locked(const std::string& name, int pages, const std::string& prefix,
                   const std::string& user) {
    const std::string plain = WriteTempFile("plain-" + name, SimpleDocument(pages, prefix).Build());
    const std::string locked = plain.substr(0, plain.rfind('/')) + "/" + name;
    int status = -1;
    RunCommand("qpdf --encrypt " + user + " owner 256 -- '" + plain + "' '" + locked + "' 2>&1",
               &status);
    EXPECT_EQ(status, 0) << name;
    return locked;
}

std::string ReversedName(const std::string& path) {
    return path.substr(0, path.size() - 4) + "_\xE9\x87\x8D\xE6\x8E\x92\xE5\x90\x8E.pdf";
}

std::string MergedName(const std::string& odd, const std::string& even) {
    const std::string evenName = even.substr(even.rfind('/') + 1);
    return odd.substr(0, odd.size() - 4) + "_" + evenName.substr(0, evenName.size() - 4) +
           "_\xE5\x90\x88\xE5\xB9\xB6\xE5\x90\x8E.pdf";
}

TEST(PasswordClick, ReverseAsksUpToThreeTimesAndKeepsTheEncryption) {
    if (!HaveTool("qpdf") || !HaveTool("pdfinfo")) GTEST_SKIP() << "qpdf or pdfinfo not found";
    const struct {
        const char* what;
        Answers answers;
        std::vector<bool> wrongBefore;  // one per prompt shown
        bool written;
        bool failureMessage;  // the encrypted message ends the run
    } cases[] = {
        {"right at once", {U("user")}, {false}, true, false},
        {"wrong, then right", {U("nope"), U("user")}, {false, true}, true, false},
        {"empty counts as a try", {U(""), U(""), U("user")}, {false, true, true}, true, false},
        {"three wrong", {U("a"), U("b"), U("c"), U("user")}, {false, true, true}, false, true},
        {"cancelled", {std::nullopt}, {false}, false, false},
        {"wrong, then cancelled", {U("a"), std::nullopt}, {false, true}, false, false},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string locked =
            Locked("rev-locked-" + std::to_string(n++) + ".pdf", 3, "Page", "user");
        ShownWindow w;
        w.prompt.answers.assign(c.answers.begin(), c.answers.end());
        w.window.Edit1.setText(Q(locked));
        w.Click(w.window.Button4);

        std::vector<bool> wrongBefore;
        for (const auto& [path, wrong] : w.prompt.asked) {
            EXPECT_EQ(path, Q(locked)) << c.what;
            wrongBefore.push_back(wrong);
        }
        EXPECT_EQ(wrongBefore, c.wrongBefore) << c.what;
        const std::string output = ReversedName(locked);
        EXPECT_EQ(FileExists(output), c.written) << c.what;
        if (c.written) {
            EXPECT_EQ(w.sink.messages, QStringList{U("文件已经重排，请查看后重新选择")}) << c.what;
            // Encrypted as the input was: nothing opens it without the password.
            EXPECT_EQ(PdfInfoValue(output, "Pages", "-upw user"), "3") << c.what;
            EXPECT_EQ(PdfInfoValue(output, "Encrypted", "-upw user").substr(0, 3), "yes") << c.what;
            EXPECT_EQ(PdfInfoValue(output, "Pages"), "") << c.what;
        } else if (c.failureMessage) {
            EXPECT_EQ(w.sink.messages,
                      QStringList{U("文件已加密，需要密码才能打开") + "\n" + Q(locked)})
                << c.what;
        } else {
            EXPECT_TRUE(w.sink.messages.isEmpty()) << c.what;
        }
        EXPECT_FALSE(w.window.Running());
        EXPECT_TRUE(w.window.Button4.isEnabled());
    }
}

TEST(PasswordClick, MergeAsksForEachLockedInputAndWritesAPlainFile) {
    if (!HaveTool("qpdf") || !HaveTool("pdfinfo")) GTEST_SKIP() << "qpdf or pdfinfo not found";
    const char kMergedPlain[] = "文件已经合并，保存在奇数页文件所在位置\n合并后的文件没有加密。";
    const struct {
        const char* what;
        bool oddLocked, evenLocked;
        Answers answers;
        std::vector<std::pair<char, bool>> asked;  // ('o' or 'e', wrongBefore)
        const char* message;                       // nullptr: none; "E": encrypted + even path
    } cases[] = {
        {"odd locked", true, false, {U("oddpw")}, {{'o', false}}, kMergedPlain},
        {"both locked",
         true,
         true,
         {U("oddpw"), U("evenpw")},
         {{'o', false}, {'e', false}},
         kMergedPlain},
        {"even wrong once",
         false,
         true,
         {U("x"), U("evenpw")},
         {{'e', false}, {'e', true}},
         kMergedPlain},
        {"even wrong three times",
         false,
         true,
         {U("x"), U("y"), U("z")},
         {{'e', false}, {'e', true}, {'e', true}},
         "E"},
        {"odd cancelled", true, true, {std::nullopt}, {{'o', false}}, nullptr},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string tag = "mrg-" + std::to_string(n++);
        const std::string odd =
            c.oddLocked ? Locked(tag + "-odd.pdf", 2, "Odd", "oddpw")
                        : WriteTempFile(tag + "-odd.pdf", SimpleDocument(2, "Odd").Build());
        const std::string even =
            c.evenLocked ? Locked(tag + "-even.pdf", 2, "Even", "evenpw")
                         : WriteTempFile(tag + "-even.pdf", SimpleDocument(2, "Even").Build());
        ShownWindow w;
        w.prompt.answers.assign(c.answers.begin(), c.answers.end());
        w.Choose(odd, even);
        w.Click(w.window.Button3);

        std::vector<std::pair<char, bool>> asked;
        for (const auto& [path, wrong] : w.prompt.asked) {
            asked.emplace_back(path == Q(odd) ? 'o' : path == Q(even) ? 'e' : '?', wrong);
        }
        EXPECT_EQ(asked, c.asked) << c.what;
        const std::string output = MergedName(odd, even);
        if (c.message == nullptr) {
            EXPECT_TRUE(w.sink.messages.isEmpty()) << c.what;
            EXPECT_FALSE(FileExists(output)) << c.what;
        } else if (std::string(c.message) == "E") {
            EXPECT_EQ(w.sink.messages,
                      QStringList{U("文件已加密，需要密码才能打开") + "\n" + Q(even)})
                << c.what;
            EXPECT_FALSE(FileExists(output)) << c.what;
        } else {
            EXPECT_EQ(w.sink.messages, QStringList{U(c.message)}) << c.what;
            // Opens for anyone: the merged file is not encrypted.
            EXPECT_EQ(PdfInfoValue(output, "Encrypted"), "no") << c.what;
            EXPECT_EQ(PdfInfoValue(output, "Pages"), "4") << c.what;
        }
    }
}

TEST(PasswordClick, AFileMergedWithItselfAsksOnce) {
    if (!HaveTool("qpdf")) GTEST_SKIP() << "qpdf not found";
    const std::string locked = Locked("self-locked.pdf", 2, "Page", "pw");
    ShownWindow w;
    w.prompt.answers = {U("pw")};
    w.Choose(locked, locked);
    w.Click(w.window.Button3);
    EXPECT_EQ(w.prompt.asked.size(), 1u);
    EXPECT_EQ(w.sink.doneMessages, 1);
    EXPECT_TRUE(FileExists(MergedName(locked, locked)));
}

TEST(PasswordDialogPrompt, MasksTheInputAndNamesTheFile) {
    TPasswordDialogPrompt prompt(nullptr);
    const struct {
        bool wrongBefore;
        std::optional<QString> typed;  // nullopt: cancel
        const char* label;
    } cases[] = {
        {false, U("秘密"), "文件已加密，请输入密码：\nscan.pdf"},
        {true, U("again"), "密码错误，请重新输入：\nscan.pdf"},
        {false, std::nullopt, "文件已加密，请输入密码：\nscan.pdf"},
    };
    for (const auto& c : cases) {
        QString label;
        QLineEdit::EchoMode echo = QLineEdit::Normal;
        WhenModalShows([&](QWidget* modal) {
            auto* dialog = qobject_cast<QInputDialog*>(modal);
            if (dialog == nullptr) return modal->close(), void();
            label = dialog->labelText();
            echo = dialog->textEchoMode();
            if (!c.typed) return dialog->reject();
            dialog->setTextValue(*c.typed);
            dialog->accept();
        });
        EXPECT_EQ(prompt.AskPassword(U("/scans/scan.pdf"), c.wrongBefore), c.typed);
        EXPECT_EQ(label, U(c.label));
        EXPECT_EQ(echo, QLineEdit::Password);
    }
}

}  // namespace
}  // namespace verava
