// The order preview on Qt's offscreen platform: the sheets it shows and how it labels them
// for both states of the box, the mends (a blank back put in and removed, pages left out and
// brought back) and what they hand back, turned pictures, drawing only the rows in view, that
// each picture is of the page its label names (damaged inputs included), and the preview
// button end to end: the dialog, its merge, its close and the messages of files it cannot
// show.
#include "app/gui/order_preview.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QLabel>
#include <QScrollBar>
#include <QStringList>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/gui/main_window.h"
#include "app/gui/page_thumbnails.h"
#include "app/gui/shown_window.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"
#include "support/requirements.h"

namespace verava {
namespace {

using testing::FileExists;
using testing::MergedName;
using testing::PdfBuilder;
using testing::PdfToTextPages;
using testing::Q;
using testing::ShownWindow;
using testing::SimpleDocument;
using testing::U;
using testing::WriteTempFile;

// Each page is filled with a grey of its own, so a picture's centre tells which page it is:
// odd pages 30, 40, ... 120, even pages 140, 150, ... 230 (up to ten pages each).
int Shade(PageSource source, int page) {
    return (source == PageSource::Odd ? 20 : 130) + 10 * page;
}

std::string Fill(int shade) {
    char grey[16];
    std::snprintf(grey, sizeof grey, "%.4f", shade / 255.0);
    return std::string(grey) + " g 0 0 612 792 re f";
}

// SimpleDocument's pages (page k is object 3 + 2k, its content 4 + 2k), each a grey.
PdfBuilder ShadedDocument(PageSource source, int pages) {
    PdfBuilder b = SimpleDocument(pages);
    for (int k = 1; k <= pages; ++k) {
        b.Set(4 + 2 * k, PdfBuilder::StreamBody("", Fill(Shade(source, k))));
    }
    return b;
}

// An input of the preview: the file's bytes, no password.
ThumbnailInput Shaded(PageSource source, int pages) {
    return {SharedBytes::FromString(ShadedDocument(source, pages).Build()), {}};
}

std::string WriteShaded(const std::string& name, PageSource source, int pages) {
    return WriteTempFile(name, ShadedDocument(source, pages).Build());
}

// What a tile's picture shows: "odd 3", "even 1", "blank" (a white page), "none" (no
// picture) or "?".
std::string Shown(const QImage& picture) {
    if (picture.isNull()) return "none";
    const QColor centre = picture.pixelColor(picture.width() / 2, picture.height() / 2);
    const int grey = centre.red();
    if (centre.green() != grey || centre.blue() != grey) return "?";
    if (grey >= 250) return "blank";
    for (PageSource source : {PageSource::Odd, PageSource::Even}) {
        for (int page = 1; page <= 10; ++page) {
            if (std::abs(grey - Shade(source, page)) <= 2) {
                return (source == PageSource::Odd ? "odd " : "even ") + std::to_string(page);
            }
        }
    }
    return "?";
}

std::string Shown(PlannedPage page) {
    return (page.source == PageSource::Odd ? "odd " : "even ") + std::to_string(page.page);
}

std::string Shown(const TPageTile& tile) {
    return tile.Page().source == PageSource::Blank ? "blank" : Shown(tile.Page());
}

PreviewInputs ShadedInputs(int odd, int even) {
    PreviewInputs inputs;
    inputs.odd = Shaded(PageSource::Odd, odd);
    inputs.even = Shaded(PageSource::Even, even);
    inputs.oddPages = odd;
    inputs.evenPages = even;
    return inputs;
}

StackArrangement Reversed(bool evenReversed) {
    StackArrangement arrangement;
    arrangement.evenReversed = evenReversed;
    return arrangement;
}

// Each sheet as "front|back" ("奇 2|偶 2", "奇 3|" for a sheet without a back), comma-joined.
QString Sheets(const TOrderPreview& preview) {
    QStringList rows;
    for (const TSheetRow* row : preview.Rows())
        rows.append(row->Front.Label() + "|" + row->Back.Label());
    return rows.join(QLatin1Char(','));
}

QStringList Labels(const TOrderPreview& preview) {
    QStringList labels;
    for (const TPageTile* tile : preview.Tiles()) labels.append(tile->Label());
    return labels;
}

// The tiles of the rows in view that show a page.
std::vector<const TPageTile*> InView(const TOrderPreview& preview) {
    std::vector<const TPageTile*> tiles;
    for (const TSheetRow* row : preview.RowsInView()) {
        for (const TPageTile* tile : {&row->Front, &row->Back}) {
            if (tile->HasPage()) tiles.push_back(tile);
        }
    }
    return tiles;
}

// Waits for every picture in view, then gives what each one shows.
std::vector<std::string> Pictures(const TOrderPreview& preview) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return preview.AllPicturesIn(); }, 20000));
    std::vector<std::string> shown;
    for (const TPageTile* tile : InView(preview)) shown.push_back(Shown(tile->Picture()));
    return shown;
}

// What each tile in view should show: the page its label names.
std::vector<std::string> Expected(const TOrderPreview& preview) {
    std::vector<std::string> shown;
    for (const TPageTile* tile : InView(preview)) shown.push_back(Shown(*tile));
    return shown;
}

QStringList Split(const char* labels) {
    return U(labels).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

// Every sheet's row, its slots and the button state, for both states of the box; the passes
// that break the count rule still show every sheet, with an empty slot where a page is missing.
TEST(OrderPreview, ShowsEverySheetAsAFrontAndBackRowForBothStatesOfTheBox) {
    const struct {
        int odd, even;
        const char* inOrder;   // sheets with the box clear
        const char* reversed;  // and ticked
        bool paired;
    } cases[] = {
        {1, 0, "奇 1|", "奇 1|", true},
        {3, 3, "奇 1|偶 1,奇 2|偶 2,奇 3|偶 3", "奇 1|偶 3,奇 2|偶 2,奇 3|偶 1", true},
        // One more front ends the file, whichever way the backs were scanned.
        {4, 3, "奇 1|偶 1,奇 2|偶 2,奇 3|偶 3,奇 4|", "奇 1|偶 3,奇 2|偶 2,奇 3|偶 1,奇 4|", true},
        // A back not scanned, or one scanned twice: shown, not mergeable.
        {3, 1, "奇 1|偶 1,奇 2|,奇 3|", "奇 1|偶 1,奇 2|,奇 3|", false},
        {2, 3, "奇 1|偶 1,奇 2|偶 2,|偶 3", "奇 1|偶 3,奇 2|偶 2,|偶 1", false},
        {10, 10,
         "奇 1|偶 1,奇 2|偶 2,奇 3|偶 3,奇 4|偶 4,奇 5|偶 5,奇 6|偶 6,奇 7|偶 7,奇 8|偶 8,奇 9|偶 "
         "9,"
         "奇 10|偶 10",
         "奇 1|偶 10,奇 2|偶 9,奇 3|偶 8,奇 4|偶 7,奇 5|偶 6,奇 6|偶 5,奇 7|偶 4,奇 8|偶 3,奇 9|偶 "
         "2,"
         "奇 10|偶 1",
         true},
    };
    for (const auto& c : cases) {
        const std::string tag = std::to_string(c.odd) + "+" + std::to_string(c.even);
        for (const bool startTicked : {false, true}) {
            TOrderPreview preview(ShadedInputs(c.odd, c.even), Reversed(startTicked));
            EXPECT_EQ(preview.EvenReversedBox.isChecked(), startTicked) << tag;
            EXPECT_EQ(Sheets(preview), U(startTicked ? c.reversed : c.inOrder)) << tag;
            const int sheets = std::max(c.odd, c.even);
            ASSERT_EQ(preview.Rows().size(), static_cast<size_t>(sheets)) << tag;
            EXPECT_EQ(preview.Rows().back()->Title.text(), U("第 %1 张").arg(sheets)) << tag;
            EXPECT_EQ(preview.Paired(), c.paired) << tag;
            EXPECT_EQ(preview.MergeButton.isEnabled(), c.paired) << tag;
            if (c.paired) {
                EXPECT_EQ(preview.Summary.text(), U("合并后共%1页").arg(c.odd + c.even)) << tag;
            } else {
                // Both counts and what to do.
                const QString summary = preview.Summary.text();
                EXPECT_TRUE(summary.contains(U("正面%1页").arg(c.odd))) << summary.toStdString();
                EXPECT_TRUE(summary.contains(U("背面%1页").arg(c.even))) << summary.toStdString();
                EXPECT_TRUE(summary.contains(U("插入空白背面"))) << summary.toStdString();
                // Merge is refused however it is asked for.
                preview.MergeButton.click();
                EXPECT_EQ(preview.result(), QDialog::Rejected) << tag;
            }
            EXPECT_EQ(Pictures(preview), Expected(preview)) << tag << " " << startTicked;
            // Flipped in the dialog, and back: the sheets follow the box every time, and
            // every picture lands on the tile of the page it shows.
            for (const bool ticked : {!startTicked, startTicked}) {
                preview.EvenReversedBox.click();
                ASSERT_EQ(preview.EvenReversedBox.isChecked(), ticked) << tag;
                EXPECT_EQ(Sheets(preview), U(ticked ? c.reversed : c.inOrder)) << tag;
                EXPECT_EQ(preview.Arrangement().evenReversed, ticked) << tag;
                EXPECT_EQ(Pictures(preview), Expected(preview)) << tag << " " << ticked;
            }
        }
    }
}

TEST(OrderPreview, ABlankBackPutInMovesTheLaterBacksAndRemoveTakesItOut) {
    const struct {
        const char* what;
        int odd, even;
        bool reversed;
        int row;  // 1-based: whose back slot gets the blank back
        const char* with;
        std::vector<int32_t> blankBacks;
    } cases[] = {
        {"in the middle", 4, 3, false, 2, "奇 1|偶 1,奇 2|空白背面,奇 3|偶 2,奇 4|偶 3", {2}},
        {"scanned last to first",
         4,
         3,
         true,
         1,
         "奇 1|空白背面,奇 2|偶 3,奇 3|偶 2,奇 4|偶 1",
         {1}},
        // A sheet whose back is missing at the end: the empty slot takes it.
        {"in an empty slot", 3, 1, false, 2, "奇 1|偶 1,奇 2|空白背面,奇 3|", {2}},
    };
    for (const auto& c : cases) {
        TOrderPreview preview(ShadedInputs(c.odd, c.even), Reversed(c.reversed));
        const QString before = Sheets(preview);
        TPageTile& slot = preview.Rows()[static_cast<size_t>(c.row - 1)]->Back;
        ASSERT_TRUE(slot.BlankHereButton.isVisibleTo(&preview)) << c.what;
        slot.BlankHereButton.click();
        EXPECT_EQ(Sheets(preview), U(c.with)) << c.what;
        EXPECT_EQ(preview.Arrangement().blankBacks, c.blankBacks) << c.what;
        // The same sheets as the workflow arranges them: what the merge will write.
        EXPECT_EQ(preview.Order(), ArrangeStack(c.odd, c.even, preview.Arrangement()).order)
            << c.what;
        EXPECT_TRUE(preview.Paired()) << c.what;
        EXPECT_TRUE(preview.MergeButton.isEnabled()) << c.what;
        // A blank back is paper and offers Remove, not Leave out.
        TPageTile& blank = preview.Rows()[static_cast<size_t>(c.row - 1)]->Back;
        EXPECT_EQ(Shown(blank.Picture()), "blank") << c.what;
        EXPECT_FALSE(blank.LeaveOutBox.isVisibleTo(&preview)) << c.what;
        ASSERT_TRUE(blank.RemoveButton.isVisibleTo(&preview)) << c.what;
        blank.RemoveButton.click();
        EXPECT_EQ(Sheets(preview), before) << c.what;
        EXPECT_TRUE(preview.Arrangement().blankBacks.empty()) << c.what;
    }
    {
        // Two put in: removing the first leaves the second before the same back.
        TOrderPreview preview(ShadedInputs(5, 3), Reversed(false));
        preview.Rows()[3]->Back.BlankHereButton.click();  // sheet 4 has no back: after the last
        preview.Rows()[1]->Back.BlankHereButton.click();  // before 偶 2
        EXPECT_EQ(Sheets(preview), U("奇 1|偶 1,奇 2|空白背面,奇 3|偶 2,奇 4|偶 3,奇 5|空白背面"));
        EXPECT_EQ(preview.Arrangement().blankBacks, (std::vector<int32_t>{2, 5}));
        preview.Rows()[1]->Back.RemoveButton.click();
        EXPECT_EQ(Sheets(preview), U("奇 1|偶 1,奇 2|偶 2,奇 3|偶 3,奇 4|空白背面,奇 5|"));
        EXPECT_EQ(preview.Arrangement().blankBacks, (std::vector<int32_t>{4}));
    }
}

TEST(OrderPreview, LeftOutPagesLeaveTheSheetsUntilRestored) {
    // The back of sheet 2 scanned twice: 3 fronts, 4 backs.
    TOrderPreview preview(ShadedInputs(3, 4), Reversed(false));
    EXPECT_FALSE(preview.MergeButton.isEnabled());
    EXPECT_FALSE(preview.RestoreButton.isVisibleTo(&preview));
    preview.Rows()[2]->Back.LeaveOutBox.click();  // 偶 3
    EXPECT_EQ(Sheets(preview), U("奇 1|偶 1,奇 2|偶 2,奇 3|偶 4"));
    EXPECT_TRUE(preview.MergeButton.isEnabled());
    EXPECT_EQ(preview.Summary.text(), U("合并后共6页"));
    EXPECT_EQ(preview.LeftOutLine.text(), U("已跳过：偶 3"));
    EXPECT_TRUE(preview.RestoreButton.isVisibleTo(&preview));
    // A front too: the fronts after it move up one sheet.
    preview.Rows()[0]->Front.LeaveOutBox.click();
    EXPECT_EQ(Sheets(preview), U("奇 2|偶 1,奇 3|偶 2,|偶 4"));
    EXPECT_EQ(preview.LeftOutLine.text(), U("已跳过：偶 3、奇 1"));
    EXPECT_FALSE(preview.MergeButton.isEnabled());
    const StackArrangement left = preview.Arrangement();
    EXPECT_EQ(left.skipped,
              (std::vector<PlannedPage>{{PageSource::Even, 3}, {PageSource::Odd, 1}}));
    EXPECT_EQ(preview.Order(), ArrangeStack(3, 4, left).order);
    preview.RestoreButton.click();
    EXPECT_EQ(Sheets(preview), U("奇 1|偶 1,奇 2|偶 2,奇 3|偶 3,|偶 4"));
    EXPECT_TRUE(preview.Arrangement().skipped.empty());
    EXPECT_FALSE(preview.RestoreButton.isVisibleTo(&preview));
    {
        // A blank back keeps its place among the backs while a back before it is left out
        // and brought back.
        TOrderPreview mended(ShadedInputs(4, 3), Reversed(false));
        mended.Rows()[2]->Back.BlankHereButton.click();  // before 偶 3
        mended.Rows()[0]->Back.LeaveOutBox.click();      // 偶 1
        EXPECT_EQ(Sheets(mended), U("奇 1|偶 2,奇 2|空白背面,奇 3|偶 3,奇 4|"));
        EXPECT_EQ(mended.Arrangement().blankBacks, (std::vector<int32_t>{2}));
        mended.RestoreButton.click();
        EXPECT_EQ(Sheets(mended), U("奇 1|偶 1,奇 2|偶 2,奇 3|空白背面,奇 4|偶 3"));
    }
}

TEST(OrderPreview, AnArrangementGivenIsShownAndHandedBackAsItWas) {
    StackArrangement given;
    given.evenReversed = true;
    given.rotateEven = 180;
    given.blankBacks = {1};
    given.skipped = {{PageSource::Odd, 4}};
    TOrderPreview preview(ShadedInputs(4, 2), given);
    EXPECT_TRUE(preview.ShortEdgeBox.isChecked());
    EXPECT_EQ(Sheets(preview), U("奇 1|空白背面,奇 2|偶 2,奇 3|偶 1"));
    const StackArrangement back = preview.Arrangement();
    EXPECT_TRUE(back.evenReversed);
    EXPECT_EQ(back.rotateEven, 180);
    EXPECT_EQ(back.blankBacks, given.blankBacks);
    EXPECT_EQ(back.skipped, given.skipped);
    preview.ShortEdgeBox.click();
    EXPECT_EQ(preview.Arrangement().rotateEven, 0);
    {
        // Mends that name nothing in these passes are let go, not shown as an empty stack.
        StackArrangement wrong;
        wrong.blankBacks = {9};
        wrong.skipped = {{PageSource::Even, 7}};
        TOrderPreview shown(ShadedInputs(2, 2), wrong);
        EXPECT_EQ(Sheets(shown), U("奇 1|偶 1,奇 2|偶 2"));
        EXPECT_TRUE(shown.Arrangement().blankBacks.empty());
        EXPECT_TRUE(shown.Arrangement().skipped.empty());
    }
}

// A page of `width` x `height` points whose upper half is dark, the lower half light.
ThumbnailInput HalfDark(int pages, int width, int height) {
    PdfBuilder b = SimpleDocument(pages);
    for (int k = 1; k <= pages; ++k) {
        b.Set(3 + 2 * k, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(width) +
                             " " + std::to_string(height) + "] /Contents " +
                             std::to_string(4 + 2 * k) + " 0 R >>");
        b.Set(4 + 2 * k, PdfBuilder::StreamBody("", "0.1 g 0 " + std::to_string(height / 2) + " " +
                                                        std::to_string(width) + " " +
                                                        std::to_string(height) + " re f"));
    }
    return {SharedBytes::FromString(b.Build()), {}};
}

// "up" when the picture's top is dark and its bottom light, "down" the other way.
std::string DarkSide(const QImage& picture) {
    if (picture.isNull()) return "none";
    const int top = qGray(picture.pixel(picture.width() / 2, picture.height() / 5));
    const int bottom = qGray(picture.pixel(picture.width() / 2, picture.height() * 4 / 5));
    return top < 100 && bottom > 200 ? "up" : top > 200 && bottom < 100 ? "down" : "?";
}

TEST(OrderPreview, PicturesAreShownTurnedAsTheMergeTurnsThem) {
    PreviewInputs inputs;
    inputs.odd = HalfDark(2, 792, 612);  // landscape fronts
    inputs.even = HalfDark(2, 612, 792);
    inputs.oddPages = 2;
    inputs.evenPages = 2;
    for (const int32_t rotateOdd : {0, 90}) {
        StackArrangement arrangement;
        arrangement.rotateOdd = rotateOdd;
        TOrderPreview preview(inputs, arrangement);
        ASSERT_TRUE(QTest::qWaitFor([&] { return preview.AllPicturesIn(); }, 20000));
        const QImage front = preview.Rows()[0]->Front.Picture();
        ASSERT_FALSE(front.isNull());
        // A landscape page a quarter turned stands upright.
        EXPECT_EQ(front.width() > front.height(), rotateOdd == 0) << rotateOdd;
        EXPECT_EQ(DarkSide(preview.Rows()[0]->Back.Picture()), "up");
        const size_t asked = preview.PagesAsked();
        // The short-edge box turns every back over, and back, from the pictures it has.
        preview.ShortEdgeBox.click();
        EXPECT_EQ(preview.Arrangement().rotateEven, 180);
        for (const TSheetRow* row : preview.Rows()) {
            EXPECT_EQ(row->Back.Page().rotate, 180);
            EXPECT_EQ(DarkSide(row->Back.Picture()), "down");
            EXPECT_EQ(row->Front.Page().rotate, rotateOdd);
        }
        preview.ShortEdgeBox.click();
        EXPECT_EQ(DarkSide(preview.Rows()[1]->Back.Picture()), "up");
        EXPECT_EQ(preview.PagesAsked(), asked);
    }
}

TEST(OrderPreview, OnlyTheRowsInViewAreDrawn) {
    PreviewInputs inputs = ShadedInputs(200, 200);
    TOrderPreview preview(inputs, Reversed(true));
    preview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
    ASSERT_EQ(preview.Rows().size(), 200u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return preview.AllPicturesIn(); }, 20000));
    const size_t inView = preview.RowsInView().size();
    EXPECT_GE(inView, 1u);
    EXPECT_LT(inView, 10u);
    EXPECT_EQ(preview.PagesAsked(), 2 * inView);
    EXPECT_EQ(preview.Rows()[0]->Front.PictureState(), TPageTile::State::Drawn);
    EXPECT_EQ(preview.Rows()[100]->Front.PictureState(), TPageTile::State::Waiting);
    // Scrolled to the end: the last sheets are drawn, nothing between.
    QScrollBar* bar = preview.Sheets.verticalScrollBar();
    bar->setValue(bar->maximum());
    ASSERT_TRUE(QTest::qWaitFor([&] { return preview.AllPicturesIn(); }, 20000));
    EXPECT_EQ(preview.RowsInView().back(), preview.Rows().back());
    EXPECT_EQ(preview.Rows().back()->Back.PictureState(), TPageTile::State::Drawn);
    EXPECT_EQ(preview.Rows()[100]->Front.PictureState(), TPageTile::State::Waiting);
    const size_t asked = preview.PagesAsked();
    EXPECT_LT(asked, 4 * inView + 2);
    // Back at the top, the pictures are there already: none is asked for twice.
    bar->setValue(0);
    EXPECT_TRUE(preview.AllPicturesIn());
    EXPECT_EQ(preview.PagesAsked(), asked);
}

TEST(OrderPreview, PagesTheMergeLeavesOutAreMarkedNotHidden) {
    const struct {
        int32_t odd, even;
        std::vector<PlannedPage> dropped;
        const char* summary;
        const char* marked;  // the labels of the tiles marked, for either state of the box
    } cases[] = {
        {3, 3, {}, "合并后共6页", ""},
        {3,
         3,
         {{PageSource::Even, 1}, {PageSource::Odd, 2}},
         "合并后共4页（删除2页空白页）",
         "偶 1 删除,奇 2 删除"},
        {10,
         10,
         {{PageSource::Even, 5}, {PageSource::Odd, 10}},
         "合并后共18页（删除2页空白页）",
         "偶 5 删除,奇 10 删除"},
    };
    for (const auto& c : cases) {
        PreviewInputs inputs = ShadedInputs(c.odd, c.even);
        inputs.dropped = c.dropped;
        TOrderPreview preview(inputs, Reversed(false));
        for (int flip = 0; flip < 2; ++flip) {
            EXPECT_EQ(preview.Summary.text(), U(c.summary));
            QStringList marked;
            for (const TPageTile* tile : preview.Tiles()) {
                if (tile->Dropped()) marked.append(tile->Label());
            }
            marked.sort();
            QStringList expected = Split(c.marked);
            expected.sort();
            EXPECT_EQ(marked, expected) << c.summary << " flipped " << flip;
            preview.EvenReversedBox.click();
        }
    }
    {
        // A dropped page left out by hand no longer counts as dropped.
        PreviewInputs inputs = ShadedInputs(3, 3);
        inputs.dropped = {{PageSource::Even, 1}};
        TOrderPreview preview(inputs, Reversed(false));
        preview.Rows()[0]->Back.LeaveOutBox.click();
        preview.Rows()[2]->Front.LeaveOutBox.click();
        EXPECT_EQ(preview.Summary.text(), U("合并后共4页"));
    }
}

TEST(OrderPreview, FlippingTheBoxBeforeThePicturesComePlacesThemByPage) {
    // Flipped at once, again and again, while the first pictures are still being drawn:
    // a picture asked for one tile must not land on another.
    TOrderPreview preview(ShadedInputs(10, 10), Reversed(false));
    for (int i = 0; i < 7; ++i) {
        preview.EvenReversedBox.click();
        QTest::qWait(i);
    }
    ASSERT_TRUE(preview.EvenReversedBox.isChecked());
    EXPECT_EQ(Labels(preview).mid(0, 6), Split("奇 1,偶 10,奇 2,偶 9,奇 3,偶 8"));
    EXPECT_EQ(Pictures(preview), Expected(preview));
}

TEST(OrderPreview, TheBacksOfACollatedFileAreDrawnFromItsPagesAfterTheFronts) {
    // One file: three fronts, then three backs.
    PdfBuilder both = SimpleDocument(6);
    for (int k = 1; k <= 6; ++k) {
        const int shade = k <= 3 ? Shade(PageSource::Odd, k) : Shade(PageSource::Even, k - 3);
        both.Set(4 + 2 * k, PdfBuilder::StreamBody("", Fill(shade)));
    }
    const SharedBytes bytes = SharedBytes::FromString(both.Build());
    PreviewInputs inputs;
    inputs.odd = {bytes, {}};
    inputs.even = {bytes, {}, 4};
    inputs.oddPages = 3;
    inputs.evenPages = 3;
    inputs.collated = true;
    TOrderPreview preview(inputs, Reversed(true));
    EXPECT_EQ(Sheets(preview), U("奇 1|偶 3,奇 2|偶 2,奇 3|偶 1"));
    EXPECT_EQ(Pictures(preview), Expected(preview));
}

TEST(OrderPreview, PicturesOfADamagedInputAreOfThePagesTheMergeTakes) {
    // Our loader keeps a lost page as a blank one in its place; poppler, left to itself,
    // mends the file its own way. Each picture must still be of the page the label names.
    PdfBuilder lostKid = ShadedDocument(PageSource::Odd, 4);
    // Pages 1-4 are objects 5, 7, 9, 11; object 99 is not in the file.
    lostKid.Set(2, "<< /Type /Pages /Kids [5 0 R 99 0 R 7 0 R 9 0 R 11 0 R] /Count 5 >>");
    PdfBuilder cut = ShadedDocument(PageSource::Odd, 5);
    const std::string whole = cut.Build();
    const struct {
        const char* what;
        std::string bytes;
        int pages;                       // as our loader counts them
        std::vector<std::string> shown;  // what its pages 1 to 5 show there
    } cases[] = {
        {"a kid that is gone", lostKid.Build(), 5, {"odd 1", "blank", "odd 2", "odd 3", "odd 4"}},
        // Cut before page 3: pages 3 to 5 stay as blank ones.
        {"a file cut short",
         whole.substr(0, static_cast<size_t>(cut.OffsetOf(9))),
         5,
         {"odd 1", "odd 2", "blank", "blank", "blank"}},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string odd = WriteTempFile("damaged-odd-" + std::to_string(n) + ".pdf", c.bytes);
        const std::string even =
            WriteShaded("damaged-even-" + std::to_string(n++) + ".pdf", PageSource::Even, 4);
        MergeRequest request;
        request.oddPath = Q(odd).toStdU16String();
        request.evenPath = Q(even).toStdU16String();
        const WorkflowResult plan = PreviewMerge(request);
        ASSERT_EQ(plan.outcome, WorkflowOutcome::Done) << c.what;
        ASSERT_EQ(plan.oddPages, c.pages) << c.what;
        PreviewInputs inputs;
        inputs.odd = {plan.pagesToDraw[0], {}};
        inputs.even = {plan.pagesToDraw[1], {}};
        inputs.oddPages = plan.oddPages;
        inputs.evenPages = plan.evenPages;
        TOrderPreview preview(inputs, Reversed(false));
        // Sheets 4 and 5 are scrolled to for the pages past the first rows.
        preview.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
        std::vector<std::string> expected;
        std::vector<std::string> shown;
        for (const int top : {0, preview.Sheets.verticalScrollBar()->maximum()}) {
            preview.Sheets.verticalScrollBar()->setValue(top);
            const std::vector<std::string> pictures = Pictures(preview);
            shown.insert(shown.end(), pictures.begin(), pictures.end());
            for (const TPageTile* tile : InView(preview)) {
                const PlannedPage page = tile->Page();
                expected.push_back(page.source == PageSource::Odd
                                       ? c.shown[static_cast<size_t>(page.page - 1)]
                                       : Shown(page));
            }
        }
        ASSERT_GE(expected.size(), 9u) << c.what;
        EXPECT_EQ(shown, expected) << c.what;
        // The input itself is left as it was.
        EXPECT_EQ(testing::ReadFileBytes(odd), c.bytes) << c.what;
    }
}

TEST(OrderPreview, PagesThatCannotBeDrawnGetAnEmptyFrame) {
    // An input poppler cannot draw in full: fewer pages than the plan says, bytes that are
    // no PDF, or no bytes at all (its clean copy could not be written). Those tiles end
    // without a picture; the others have theirs.
    PreviewInputs inputs;
    inputs.odd = Shaded(PageSource::Odd, 2);
    inputs.even = Shaded(PageSource::Even, 3);
    inputs.oddPages = 3;
    inputs.evenPages = 3;
    {
        TOrderPreview preview(inputs, Reversed(false));
        EXPECT_EQ(Pictures(preview), (std::vector<std::string>{"odd 1", "even 1", "odd 2", "even 2",
                                                               "none", "even 3"}));
        EXPECT_EQ(preview.Rows()[2]->Front.PictureState(), TPageTile::State::Undrawable);
        EXPECT_EQ(preview.Rows()[2]->Front.Label(), U("奇 3"));
    }
    for (const SharedBytes& odd :
         {SharedBytes::FromString(std::string(3000, 'j')), SharedBytes()}) {
        inputs.odd = {odd, {}};
        TOrderPreview preview(inputs, Reversed(true));
        EXPECT_EQ(Pictures(preview),
                  (std::vector<std::string>{"none", "even 3", "none", "even 2", "none", "even 1"}));
    }
}

TEST(OrderPreview, FitScaleKeepsThePageShapeInsideTheBox) {
    const struct {
        QSizeF points;
        QSize box;
        double scale;
    } cases[] = {
        {{612, 792}, {76, 108}, 76.0 / 612},     // letter: the width decides
        {{595, 1684}, {76, 108}, 108.0 / 1684},  // a long strip: the height decides
        {{792, 612}, {108, 76}, 76.0 / 612},     // landscape in landscape
        {{0, 792}, {76, 108}, 0},
        {{612, -1}, {76, 108}, 0},
        {{612, 792}, {0, 108}, 0},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(FitScale(c.points, c.box), c.scale)
            << c.points.width() << "x" << c.points.height();
    }
}

// The preview button end to end, through the window.

TEST(PreviewClick, OpensThePreviewWithTheWindowsBoxAndClosingChangesNothing) {
    const std::string odd = WriteShaded("click-odd.pdf", PageSource::Odd, 3);
    const std::string even = WriteShaded("click-even.pdf", PageSource::Even, 3);
    for (const bool ticked : {false, true}) {
        ShownWindow w;
        w.Choose(odd, even);
        w.window.CheckBox1.setChecked(ticked);
        w.Click(w.window.Button6);
        EXPECT_TRUE(w.sink.messages.isEmpty()) << ticked;
        TOrderPreview* preview = w.window.Preview();
        ASSERT_NE(preview, nullptr) << ticked;
        EXPECT_TRUE(QTest::qWaitForWindowExposed(preview));
        EXPECT_EQ(preview->windowTitle(), U("预览顺序"));
        EXPECT_EQ(preview->EvenReversedBox.isChecked(), ticked);
        EXPECT_EQ(Sheets(*preview),
                  U(ticked ? "奇 1|偶 3,奇 2|偶 2,奇 3|偶 1" : "奇 1|偶 1,奇 2|偶 2,奇 3|偶 3"));
        EXPECT_EQ(Pictures(*preview), Expected(*preview));
        // Flipped there, then closed: the window's box, the files and the messages stay.
        preview->EvenReversedBox.click();
        QTest::mouseClick(&preview->CloseButton, Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return w.window.Preview() == nullptr; }, 5000));
        EXPECT_EQ(w.window.CheckBox1.isChecked(), ticked);
        EXPECT_FALSE(w.window.Running());
        EXPECT_TRUE(w.sink.messages.isEmpty());
        EXPECT_FALSE(FileExists(MergedName(odd, even)));
        EXPECT_TRUE(w.window.Button6.isEnabled());
    }
}

TEST(PreviewClick, MergeInThePreviewMergesWithTheBoxAsSetThere) {
    VERAVA_REQUIRE_TOOLS("pdftotext");
    const std::string odd = WriteTempFile("pmerge-odd.pdf", SimpleDocument(3, "Odd").Build());
    const std::string even = WriteTempFile("pmerge-even.pdf", SimpleDocument(3, "Even").Build());
    std::remove(MergedName(odd, even).c_str());  // left by an earlier run of this test
    ShownWindow w;
    w.Choose(odd, even);
    ASSERT_FALSE(w.window.CheckBox1.isChecked());
    w.Click(w.window.Button6);
    TOrderPreview* preview = w.window.Preview();
    ASSERT_NE(preview, nullptr);
    EXPECT_FALSE(FileExists(MergedName(odd, even)));
    preview->EvenReversedBox.click();
    w.Click(preview->MergeButton);
    EXPECT_EQ(w.sink.messages, QStringList{U("文件已经合并，保存在奇数页文件所在位置\n") +
                                           Q(MergedName(odd, even))});
    EXPECT_EQ(PdfToTextPages(MergedName(odd, even), 6),
              (std::vector<std::string>{"Odd 1", "Even 3", "Odd 2", "Even 2", "Odd 3", "Even 1"}));
    // The window shows the box as the merge used it.
    EXPECT_TRUE(w.window.CheckBox1.isChecked());
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.window.Preview() == nullptr; }, 5000));
}

TEST(PreviewClick, WithBlankPagesRemovedThePreviewShowsWhatTheMergeWrites) {
    VERAVA_REQUIRE_TOOLS("pdftotext");
    // The even file's pages 1 and 3 paint nothing.
    PdfBuilder evens = SimpleDocument(3, "Even");
    for (const int contents : {6, 10}) evens.Set(contents, PdfBuilder::StreamBody("", "q Q"));
    const std::string odd = WriteTempFile("pblank-odd.pdf", SimpleDocument(3, "Odd").Build());
    const std::string even = WriteTempFile("pblank-even.pdf", evens.Build());
    std::remove(MergedName(odd, even).c_str());  // left by an earlier run of this test
    ShownWindow w;
    w.Choose(odd, even);
    w.window.CheckBox2.setChecked(true);
    w.Click(w.window.Button6);
    TOrderPreview* preview = w.window.Preview();
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->Summary.text(), U("合并后共4页（删除2页空白页）"));
    EXPECT_EQ(Sheets(*preview), U("奇 1|偶 1 删除,奇 2|偶 2,奇 3|偶 3 删除"));
    w.Click(preview->MergeButton);
    EXPECT_EQ(w.sink.messages,
              QStringList{U("文件已经合并，保存在奇数页文件所在位置\n") + Q(MergedName(odd, even)) +
                          U("\n已删除2页空白页：偶 1、偶 3")});
    EXPECT_EQ(PdfToTextPages(MergedName(odd, even), 4),
              (std::vector<std::string>{"Odd 1", "Odd 2", "Even 2", "Odd 3"}));
}

TEST(PreviewClick, AnEncryptedInputIsDrawnWithThePasswordTyped) {
    // The password is asked for once, as for a merge, and poppler is given the bytes our
    // engine opened the file with: GBK for the older revisions, UTF-8 for AES-256.
    using testing::Cipher;
    const struct {
        const char* what;
        Cipher cipher;
        std::string userBytes;
        QString typed;
    } cases[] = {
        {"RC4, ASCII", Cipher::Rc4_128, "user", U("user")},
        {"AES-128, GBK", Cipher::Aes128, "\xC3\xDC\xC2\xEB", U("密码")},
        {"AES-256, UTF-8", Cipher::Aes256, "\xE5\xAF\x86\xE7\xA0\x81", U("密码")},
    };
    int n = 0;
    for (const auto& c : cases) {
        PdfBuilder locked = ShadedDocument(PageSource::Even, 3);
        locked.Encrypt(c.cipher, c.userBytes, "owner");
        const std::string tag = std::to_string(n++);
        const std::string odd = WriteShaded("locked-odd-" + tag + ".pdf", PageSource::Odd, 3);
        const std::string even = WriteTempFile("locked-even-" + tag + ".pdf", locked.Build());
        ShownWindow w;
        w.prompt.answers.push_back(c.typed);
        w.Choose(odd, even);
        w.Click(w.window.Button6);
        ASSERT_EQ(w.prompt.asked.size(), 1u) << c.what;
        EXPECT_EQ(w.prompt.asked[0].first, Q(even)) << c.what;
        EXPECT_TRUE(w.sink.messages.isEmpty()) << c.what;
        TOrderPreview* preview = w.window.Preview();
        ASSERT_NE(preview, nullptr) << c.what;
        EXPECT_EQ(Pictures(*preview), (std::vector<std::string>{"odd 1", "even 1", "odd 2",
                                                                "even 2", "odd 3", "even 3"}))
            << c.what;
        preview->reject();
    }
}

TEST(PreviewClick, FilesItCannotShowAreReportedInsteadOfThePreview) {
    const std::string good = WriteShaded("bad-good.pdf", PageSource::Odd, 2);
    const std::string junk = WriteTempFile("bad-junk.pdf", "%PDF-1.4\n" + std::string(3000, 'j'));
    const struct {
        const char* what;
        std::string odd, even;
        QString message;
    } cases[] = {
        // A file that does not open is named as such, where a merge calls it unreadable;
        // the other refusals are said as for a merge.
        {"odd does not open", junk, good, U("文件无法打开，可能不是PDF文件或已损坏\n") + Q(junk)},
        {"even does not open", good, junk, U("文件无法打开，可能不是PDF文件或已损坏\n") + Q(junk)},
    };
    for (const auto& c : cases) {
        ShownWindow w;
        w.Choose(c.odd, c.even);
        w.Click(w.window.Button6);
        EXPECT_EQ(w.sink.messages, QStringList{c.message}) << c.what;
        EXPECT_EQ(w.window.Preview(), nullptr) << c.what;
        EXPECT_FALSE(FileExists(MergedName(c.odd, c.even))) << c.what;
    }
}

}  // namespace
}  // namespace verava
