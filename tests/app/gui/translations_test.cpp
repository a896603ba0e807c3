// The window in each language: which language a locale or --lang picks, and what a Chinese
// and an English run show, Qt's own dialogs included.
#include "app/gui/translations.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>

#include "app/gui/file_chooser.h"
#include "app/gui/main_window.h"
#include "app/gui/window_layout.h"
#include "app/gui/message_sink.h"
#include "app/gui/order_preview.h"
#include "app/gui/password_prompt.h"
#include "app/gui/shown_window.h"

namespace verava {
namespace {

using testing::ShownWindow;
using testing::U;

// The buttons of Qt's file dialog (not the native one: VERava never uses that).
QString FileDialogButton(const QFileDialog& dialog, QDialogButtonBox::StandardButton which) {
    const auto* box = dialog.findChild<QDialogButtonBox*>();
    if (box == nullptr || box->button(which) == nullptr) return QStringLiteral("(none)");
    return box->button(which)->text();
}

QString OkButtonOfAMessageBox() {
    QMessageBox box(QMessageBox::NoIcon, QString(), QString(), QMessageBox::Ok);
    return box.button(QMessageBox::Ok)->text();
}

TEST(ChooseLanguage, TheOptionWinsThenTheSystemLocaleDecides) {
    const struct {
        const char* option;
        QLocale system;
        std::optional<UiLanguage> expected;
    } cases[] = {
        {"", QLocale(QLocale::Chinese, QLocale::China), UiLanguage::Chinese},
        {"", QLocale(QLocale::Chinese, QLocale::Taiwan), UiLanguage::Chinese},
        {"", QLocale(QLocale::English, QLocale::UnitedStates), UiLanguage::English},
        // Any other language gets English, not the source texts.
        {"", QLocale(QLocale::German, QLocale::Germany), UiLanguage::English},
        {"", QLocale::c(), UiLanguage::English},
        {"en", QLocale(QLocale::Chinese, QLocale::China), UiLanguage::English},
        {"zh", QLocale(QLocale::German, QLocale::Germany), UiLanguage::Chinese},
        {"fr", QLocale(QLocale::Chinese, QLocale::China), std::nullopt},
        {"EN", QLocale(QLocale::Chinese, QLocale::China), std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ChooseLanguage(U(c.option), c.system), c.expected)
            << c.option << " " << c.system.name().toStdString();
    }
}

TEST(Translations, AChineseRunShowsTheSourceTextsAndQtsDialogsInChinese) {
    const TTranslations translations(UiLanguage::Chinese, {U(VERAVA_QM_DIR)});
    ASSERT_TRUE(translations.QtTextsLoaded()) << "qtbase_zh_CN.qm (qt6-translations-l10n)";
    ShownWindow w;
    EXPECT_EQ(w.window.windowTitle(), U("扫描PDF文件奇偶合并器            Orvane_harrow88"));
    EXPECT_EQ(w.window.Label1.text(), U("奇数页文件："));
    EXPECT_EQ(w.window.Button3.text(), U("开始合并(&M)"));
    EXPECT_EQ(w.window.CheckBox1.text(), U("偶数页为倒序扫描(&L)"));

    const auto dialog = TOpenDialogChooser::MakeDialog(&w.window, QString());
    EXPECT_EQ(FileDialogButton(*dialog, QDialogButtonBox::Open), U("打开(&O)"));
    EXPECT_EQ(FileDialogButton(*dialog, QDialogButtonBox::Cancel), U("取消"));
    EXPECT_EQ(dialog->nameFilters(), QStringList{U("PDF文件 (*.pdf)")});
    EXPECT_EQ(OkButtonOfAMessageBox(), U("确定"));
    EXPECT_EQ(QLocale().language(), QLocale::Chinese);
}

TEST(Translations, AnEnglishRunShowsEveryTextInEnglish) {
    // Looked for in order; the first folder has none.
    const TTranslations translations(UiLanguage::English, {U("/no/such/folder"), U(VERAVA_QM_DIR)});
    ASSERT_TRUE(translations.WindowTextsLoaded()) << "verava_en.qm in " << VERAVA_QM_DIR;
    ShownWindow w;
    const QStringList shown = {
        w.window.windowTitle(),    w.window.Label1.text(),    w.window.Label2.text(),
        w.window.Button1.text(),   w.window.Button2.text(),   w.window.Button3.text(),
        w.window.Button4.text(),   w.window.Button5.text(),   w.window.CheckBox1.text(),
        w.window.CheckBox2.text(), w.window.Button6.text(),   w.window.Button7.text()};
    EXPECT_EQ(shown,
              (QStringList{U("Scanned PDF odd/even page merger            Orvane_harrow88"),
                           U("Odd pages:"), U("Even pages:"), U("&Open"), U("Op&en"), U("&Merge"),
                           U("&Reverse"), U("Re&verse"), U("Even pages scanned &last to first"),
                           U("Remove &blank pages"), U("&Preview order"), U("&Stop")}));
    const auto dialog = TOpenDialogChooser::MakeDialog(&w.window, QString());
    EXPECT_EQ(FileDialogButton(*dialog, QDialogButtonBox::Open), U("&Open"));
    EXPECT_EQ(dialog->nameFilters(), QStringList{U("PDF files (*.pdf)")});
    EXPECT_EQ(OkButtonOfAMessageBox(), U("OK"));
    EXPECT_EQ(TPasswordDialogPrompt::MakeDialog(nullptr, U("/scans/a.pdf"), true)->labelText(),
              U("Wrong password. Enter it again:\na.pdf"));
    WorkflowResult counts;
    counts.outcome = WorkflowOutcome::PageCountMismatch;
    counts.oddPages = 3;
    counts.evenPages = 5;
    EXPECT_EQ(MergeMessage(counts).section(QLatin1Char('\n'), 0, 0),
              U("The odd-page file has 3 pages, the even-page file 5 pages."));
    WorkflowResult blank;
    blank.blankPagesLookedFor = true;
    blank.evenPages = 3;
    blank.evenReversed = true;
    blank.dropped = {{PageSource::Even, 1}, {PageSource::Odd, 2}};
    blank.unreadable = {{{PageSource::Odd, 1}, TPageDoubt::Image, "JBIG2Decode"},
                        {{PageSource::Odd, 3}, TPageDoubt::Image, ""},
                        {{PageSource::Even, 3}, TPageDoubt::Content, ""},
                        {{PageSource::Odd, 4}, TPageDoubt::Drawing, ""}};
    blank.outputPath = u"/scans/a_b_\u5408\u5E76\u540E.pdf";
    EXPECT_EQ(MergeMessage(blank),
              U("The files have been merged; the result is in the odd-page file's folder\n"
                "/scans/a_b_合并后.pdf\n"
                "Removed 2 blank pages: even 1 (back of sheet 3), odd 2\n"
                "Kept 4 pages that could not be looked at in full: odd 1 (a JBIG2Decode "
                "image cannot be read), odd 3 (an image cannot be read), even 3 (back of sheet "
                "1) (its content cannot be decoded), odd 4 (it draws something missing)"));
    EXPECT_EQ(ReplaceQuestion(U("/scans/a_b_合并后.pdf")),
              U("The output file already exists. Replace it?\n/scans/a_b_合并后.pdf"));
}

// Counts read as English does: one page, two pages, in every message that counts.
TEST(Translations, EnglishCountsTakeTheSingularForOne) {
    const TTranslations translations(UiLanguage::English, {U(VERAVA_QM_DIR)});
    ASSERT_TRUE(translations.WindowTextsLoaded()) << "verava_en.qm in " << VERAVA_QM_DIR;
    const struct {
        int32_t odd, even;
        const char* counts;
    } mismatches[] = {
        {1, 3, "The odd-page file has 1 page, the even-page file 3 pages."},
        {3, 1, "The odd-page file has 3 pages, the even-page file 1 page."},
        {0, 2, "The odd-page file has 0 pages, the even-page file 2 pages."},
    };
    for (const auto& c : mismatches) {
        WorkflowResult result{.outcome = WorkflowOutcome::PageCountMismatch};
        result.oddPages = c.odd;
        result.evenPages = c.even;
        EXPECT_EQ(MergeMessage(result).section(QLatin1Char('\n'), 0, 0), U(c.counts));
    }
    const struct {
        size_t dropped, kept;
        const char* lines;
    } blanks[] = {
        {1, 1,
         "Removed 1 blank page: even 1\nKept 1 page that could not be looked at in full: odd 1 "
         "(its content cannot be decoded)"},
        {2, 0, "Removed 2 blank pages: even 1, even 2"},
    };
    for (const auto& c : blanks) {
        WorkflowResult result{.outcome = WorkflowOutcome::Done, .blankPagesLookedFor = true};
        for (size_t k = 1; k <= c.dropped; ++k) {
            result.dropped.push_back({PageSource::Even, static_cast<int32_t>(k)});
        }
        for (size_t k = 1; k <= c.kept; ++k) {
            result.unreadable.push_back(
                {{PageSource::Odd, static_cast<int32_t>(k)}, TPageDoubt::Content, ""});
        }
        EXPECT_EQ(MergeMessage(result).section(QLatin1Char('\n'), 1), U(c.lines));
    }
}

// In each language every button and check box of each window has an Alt key of its own,
// and its caption fits the control; in English the window at its narrowest is the classic
// 395-pixel form.
TEST(Translations, EveryButtonHasItsOwnKeyAndItsCaptionFits) {
    for (const UiLanguage language : {UiLanguage::Chinese, UiLanguage::English}) {
        const TTranslations translations(language, {U(VERAVA_QM_DIR)});
        const char* name = language == UiLanguage::English ? "English" : "Chinese";
        ShownWindow w;
        w.window.SetBusy(true);  // the stop button shows
        PreviewInputs inputs;
        inputs.oddPages = 2;
        inputs.evenPages = 2;
        TOrderPreview preview(inputs, StackArrangement{}, &w.window);
        preview.show();
        const auto done = TMessageBoxSink::MakeDoneBox(&w.window, U("done"));
        done->show();
        for (QWidget* window : {static_cast<QWidget*>(&w.window), static_cast<QWidget*>(&preview),
                                static_cast<QWidget*>(done.get())}) {
            QStringList keys;
            QStringList captions;
            for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
                if (button->isVisible() && button->window() == window) captions.append(button->text());
            }
            for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
                if (!button->isVisible() || button->window() != window) continue;
                const QString key = QKeySequence::mnemonic(button->text()).toString();
                if (captions.count(button->text()) > 1) {
                    // One on every row of the preview: a key could not say which.
                    EXPECT_TRUE(key.isEmpty()) << name << ": " << button->text().toStdString();
                    continue;
                }
                // Qt's own OK button carries none in some languages.
                if (key.isEmpty() && done->buttonRole(const_cast<QAbstractButton*>(button)) ==
                                         QMessageBox::AcceptRole) {
                    continue;
                }
                EXPECT_FALSE(key.isEmpty()) << name << ": " << button->text().toStdString();
                keys.append(key);
                // A check box's box and text; a button's text with 2 pixels a side.
                const int needs =
                    qobject_cast<const QCheckBox*>(button) != nullptr
                        ? button->sizeHint().width()
                        : button->fontMetrics().size(Qt::TextShowMnemonic, button->text()).width() +
                              4;
                EXPECT_LE(needs, button->width()) << name << ": " << button->text().toStdString();
            }
            EXPECT_EQ(keys.size(), QSet<QString>(keys.begin(), keys.end()).size())
                << name << ": " << keys.join(U(" ")).toStdString();
        }
        if (language == UiLanguage::English) {
            EXPECT_EQ(w.window.size(), QSize(395, kWindowHeight));
            EXPECT_EQ(w.window.Button1.geometry(), QRect(293, 22, 38, 19));
            EXPECT_EQ(w.window.Button4.geometry(), QRect(335, 22, 56, 19));
            EXPECT_EQ(w.window.Button3.geometry(), QRect(293, 156, 79, 25));
        }
    }
}

TEST(Translations, TheOrderPreviewInEnglishNamesPagesOddAndEven) {
    const TTranslations translations(UiLanguage::English, {U(VERAVA_QM_DIR)});
    ASSERT_TRUE(translations.WindowTextsLoaded()) << "verava_en.qm in " << VERAVA_QM_DIR;
    // Only the texts are looked at here: files that are not there draw no pictures.
    const struct {
        int32_t odd, even;
        QString summary;
        QStringList sheets;  // "Sheet n: front / back"
    } cases[] = {
        {1, 0, U("1 page after merging"), {U("Sheet 1: odd 1 / ")}},
        {3,
         3,
         U("6 pages after merging"),
         {U("Sheet 1: odd 1 / even 3"), U("Sheet 2: odd 2 / even 2"), U("Sheet 3: odd 3 / even 1")}},
        {3,
         1,
         U("3 fronts and 1 back: there must be as many fronts as backs, or one more. Put in a "
           "blank back on the sheet whose back is missing, or leave out a page too many, to "
           "merge."),
         {U("Sheet 1: odd 1 / even 1"), U("Sheet 2: odd 2 / "), U("Sheet 3: odd 3 / ")}},
    };
    for (const auto& c : cases) {
        PreviewInputs inputs;
        inputs.oddPages = c.odd;
        inputs.evenPages = c.even;
        StackArrangement arrangement;
        arrangement.evenReversed = true;
        TOrderPreview preview(inputs, arrangement);
        EXPECT_EQ(preview.windowTitle(), U("Preview order"));
        EXPECT_EQ(preview.Summary.text(), c.summary);
        QStringList sheets;
        for (const TSheetRow* row : preview.Rows()) {
            sheets.append(row->Title.text() + U(": ") + row->Front.Label() + U(" / ") +
                          row->Back.Label());
        }
        EXPECT_EQ(sheets, c.sheets) << c.summary.toStdString();
        EXPECT_EQ(preview.EvenReversedBox.text(), U("Even pages scanned &last to first"));
        EXPECT_EQ(preview.ShortEdgeBox.text(),
                  U("Backs &upside down (turned on the short edge)"));
        EXPECT_EQ(preview.MergeButton.text(), U("&Merge"));
        EXPECT_EQ(preview.CloseButton.text(), U("&Close"));
        EXPECT_EQ(preview.RestoreButton.text(), U("&Restore"));
        const TPageTile& back = preview.Rows()[0]->Back;
        EXPECT_EQ(back.LeaveOutBox.text(), U("Leave out"));
        EXPECT_EQ(back.BlankHereButton.text(), U("Blank back here"));
        EXPECT_EQ(back.RemoveButton.text(), U("Remove"));
    }
    // Pages the merge leaves out: counted apart, and marked where they stand; mends named.
    PreviewInputs blank;
    blank.oddPages = 2;
    blank.evenPages = 2;
    blank.dropped = {{PageSource::Even, 1}};
    TOrderPreview preview(blank, StackArrangement{});
    EXPECT_EQ(preview.Summary.text(), U("3 pages after merging (1 blank page left out)"));
    EXPECT_EQ(preview.Rows()[0]->Back.Label(), U("even 1 left out"));
    preview.Rows()[1]->Back.BlankHereButton.click();
    EXPECT_EQ(preview.Rows()[1]->Back.Label(), U("blank back"));
    // Both fronts: the second has moved up to sheet 1. A blank back without a front goes.
    preview.Rows()[0]->Front.LeaveOutBox.click();
    preview.Rows()[0]->Front.LeaveOutBox.click();
    EXPECT_EQ(preview.LeftOutLine.text(), U("Left out: odd 1, odd 2"));
    EXPECT_TRUE(preview.Summary.text().startsWith(U("0 fronts and 2 backs:")))
        << preview.Summary.text().toStdString();
}

}  // namespace
}  // namespace verava
