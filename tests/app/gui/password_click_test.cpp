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
#include "support/requirements.h"

namespace verava {
namespace {

using testing::FileExists;
using testing::PdfInfoValue;
using testing::Q;
using testing::QpdfRewrite;
using testing::ShownWindow;
using testing::SimpleDocument;
using testing::U;
using testing::WhenModalShows;

const std::optional<QString> kCancel;
const char kLocked[] = "文件已加密，需要密码才能打开\n";

// Two pages labelled `prefix`, locked by qpdf with the user password `user`.
std::string Locked(const std::string& name, const std::string& prefix, const std::string& user) {
    return QpdfRewrite(name, SimpleDocument(2, prefix).Build(),
                       "--encrypt " + user + " owner 256 --");
}

// The prompts shown, as "path:wrongBefore" with the path shortened to its tag.
QStringList Asked(const ShownWindow& w) {
    QStringList asked;
    for (const auto& [path, wrong] : w.prompt.asked) {
        asked.append(path.section(QLatin1Char('/'), -1).left(3) + (wrong ? ":wrong" : ":first"));
    }
    return asked;
}

TEST(PasswordClick, ReverseAsksUpToThreeTimesAndKeepsTheEncryption) {
    VERAVA_REQUIRE_TOOLS("qpdf", "pdfinfo");
    const struct {
        std::vector<std::optional<QString>> answers;
        QStringList asked;
        bool written;
        bool lockedMessage;  // the run ends with the encrypted message
    } cases[] = {
        {{U("user")}, {"rv0:first"}, true, false},
        {{U("nope"), U("user")}, {"rv1:first", "rv1:wrong"}, true, false},
        {{U("a"), U("b"), U("c"), U("user")}, {"rv2:first", "rv2:wrong", "rv2:wrong"}, false, true},
        {{kCancel}, {"rv3:first"}, false, false},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string locked = Locked("rv" + std::to_string(n++), "Page", "user");
        ShownWindow w;
        w.prompt.answers.assign(c.answers.begin(), c.answers.end());
        w.window.Edit1.setText(Q(locked));
        w.Click(w.window.Button4);

        EXPECT_EQ(Asked(w), c.asked);
        const std::string output = testing::Reversed(locked);
        EXPECT_EQ(FileExists(output), c.written);
        const QStringList expected = c.written ? QStringList{U("文件已经重排，请查看后重新选择\n") +
                                                             Q(output)}
                                     : c.lockedMessage ? QStringList{U(kLocked) + Q(locked)}
                                                       : QStringList();
        EXPECT_EQ(w.sink.messages, expected);
        // Encrypted as the input was: pdfinfo reads it with the password only.
        if (c.written) {
            EXPECT_EQ(PdfInfoValue(output, "Pages", "-upw user"), "2");
            EXPECT_EQ(PdfInfoValue(output, "Pages"), "");
        }
        EXPECT_TRUE(w.window.Button4.isEnabled());
    }
}

TEST(PasswordClick, MergeAsksForEachLockedInputAndWritesAPlainFile) {
    VERAVA_REQUIRE_TOOLS("qpdf", "pdfinfo");
    const std::string odd = Locked("odd-locked", "Odd", "oddpw");
    const std::string even = Locked("eve-locked", "Even", "evenpw");
    const std::string plain = QpdfRewrite("pla-even", SimpleDocument(2, "Even").Build(), "");
    const struct {
        std::string even;
        std::vector<std::optional<QString>> answers;
        QStringList asked;
        bool written;
        QString message;  // when nothing was written; empty: none
    } cases[] = {
        {plain, {U("oddpw")}, {"odd:first"}, true, {}},
        {even, {U("oddpw"), U("x"), U("evenpw")}, {"odd:first", "eve:first", "eve:wrong"}, true, {}},
        {even,
         {U("oddpw"), U("x"), U("y"), U("z")},
         {"odd:first", "eve:first", "eve:wrong", "eve:wrong"},
         false,
         U(kLocked) + Q(even)},
        {even, {kCancel}, {"odd:first"}, false, QString()},
        // A file merged with itself is asked for once.
        {odd, {U("oddpw")}, {"odd:first"}, true, {}},
    };
    for (const auto& c : cases) {
        const std::string output = testing::MergedName(odd, c.even);
        ShownWindow w;
        w.prompt.answers.assign(c.answers.begin(), c.answers.end());
        w.sink.answer = true;  // yes, merge the file with itself
        w.Choose(odd, c.even);
        w.Click(w.window.Button3);
        EXPECT_EQ(Asked(w), c.asked);
        const QString merged =
            U("文件已经合并，保存在奇数页文件所在位置\n") + Q(output) + U("\n合并后的文件没有加密。");
        EXPECT_EQ(w.sink.messages, c.written            ? QStringList{merged}
                                   : c.message.isEmpty() ? QStringList()
                                                         : QStringList{c.message});
        EXPECT_EQ(FileExists(output), c.written);
        // Opens for anyone: the merged file is not encrypted.
        if (c.written) {
            EXPECT_EQ(PdfInfoValue(output, "Pages"), "4");
        }
        std::remove(output.c_str());
    }
}

TEST(PasswordDialogPrompt, MasksTheInputAndNamesTheFile) {
    TPasswordDialogPrompt prompt(nullptr);
    const struct {
        bool wrongBefore;
        std::optional<QString> typed;
        const char* label;
    } cases[] = {
        {false, U("秘密"), "文件已加密，请输入密码：\nscan.pdf"},
        {true, U("again"), "密码错误，请重新输入：\nscan.pdf"},
        {false, kCancel, "文件已加密，请输入密码：\nscan.pdf"},
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
