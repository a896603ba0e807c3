// The order preview on Qt's offscreen platform: which pages it shows and how it labels them
// for both states of the box, that each picture is of the page its label names (damaged
// inputs included), and the preview button end to end: the dialog, its merge, its close and
// the messages of files it cannot show.
#include "app/gui/order_preview.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QLabel>
#include <QStringList>
#include <QTest>
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

QStringList Labels(const TOrderPreview& preview) {
    QStringList labels;
    for (const TPageTile* tile : preview.Tiles()) labels.append(tile->Label());
    return labels;
}

// Waits for every tile's picture, then gives what each one shows.
std::vector<std::string> Pictures(const TOrderPreview& preview) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return preview.AllPicturesIn(); }, 20000));
    std::vector<std::string> shown;
    for (const TPageTile* tile : preview.Tiles()) shown.push_back(Shown(tile->Picture()));
    return shown;
}

// What each tile should show: the page its label names.
std::vector<std::string> Expected(const TOrderPreview& preview) {
    std::vector<std::string> shown;
    for (const TPageTile* tile : preview.Tiles()) shown.push_back(Shown(tile->Page()));
    return shown;
}

// The texts of the dialog's labels, the tiles' included.
QStringList Texts(const QWidget& widget) {
    QStringList texts;
    for (const QLabel* label : widget.findChildren<QLabel*>()) texts.append(label->text());
    return texts;
}

QStringList Split(const char* labels) {
    return U(labels).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

TEST(OrderPreview, ShowsTheFirstSixAndTheLastTwoPositions) {
    const struct {
        size_t pages;
        std::vector<size_t> shown;
    } cases[] = {
        {0, {}},
        {1, {0}},
        {8, {0, 1, 2, 3, 4, 5, 6, 7}},
        {9, {0, 1, 2, 3, 4, 5, 7, 8}},
        {2000, {0, 1, 2, 3, 4, 5, 1998, 1999}},
    };
    for (const auto& c : cases) EXPECT_EQ(ShownPositions(c.pages), c.shown) << c.pages;
}

TEST(OrderPreview, LabelsThePagesInTheMergedOrderForBothStatesOfTheBox) {
    const struct {
        int odd, even;
        const char* inOrder;   // labels with the box clear
        const char* reversed;  // and ticked
        int leftOut;
    } cases[] = {
        {1, 0, "奇 1", "奇 1", 0},
        {3, 3, "奇 1,偶 1,奇 2,偶 2,奇 3,偶 3", "奇 1,偶 3,奇 2,偶 2,奇 3,偶 1", 0},
        // One more odd page ends the file, whichever way the evens were scanned.
        {4, 3, "奇 1,偶 1,奇 2,偶 2,奇 3,偶 3,奇 4", "奇 1,偶 3,奇 2,偶 2,奇 3,偶 1,奇 4", 0},
        {4, 4, "奇 1,偶 1,奇 2,偶 2,奇 3,偶 3,奇 4,偶 4", "奇 1,偶 4,奇 2,偶 3,奇 3,偶 2,奇 4,偶 1",
         0},
        {5, 4, "奇 1,偶 1,奇 2,偶 2,奇 3,偶 3,偶 4,奇 5", "奇 1,偶 4,奇 2,偶 3,奇 3,偶 2,偶 1,奇 5",
         1},
        {10, 10, "奇 1,偶 1,奇 2,偶 2,奇 3,偶 3,奇 10,偶 10",
         "奇 1,偶 10,奇 2,偶 9,奇 3,偶 8,奇 10,偶 1", 12},
        {10, 9, "奇 1,偶 1,奇 2,偶 2,奇 3,偶 3,偶 9,奇 10",
         "奇 1,偶 9,奇 2,偶 8,奇 3,偶 7,偶 1,奇 10", 11},
    };
    for (const auto& c : cases) {
        const std::string tag = std::to_string(c.odd) + "+" + std::to_string(c.even);
        PreviewInputs inputs;
        inputs.odd = Shaded(PageSource::Odd, c.odd);
        inputs.even = Shaded(PageSource::Even, c.even);
        inputs.oddPages = c.odd;
        inputs.evenPages = c.even;
        for (const bool startTicked : {false, true}) {
            TOrderPreview preview(inputs, startTicked);
            EXPECT_EQ(preview.EvenReversedBox.isChecked(), startTicked) << tag;
            EXPECT_EQ(Labels(preview), Split(startTicked ? c.reversed : c.inOrder)) << tag;
            EXPECT_EQ(preview.LeftOut(), c.leftOut) << tag;
            EXPECT_EQ(preview.Summary.text(), U("合并后共%1页").arg(c.odd + c.even)) << tag;
            // The marker says how many pages it stands for; without one no such text.
            EXPECT_EQ(Texts(preview).filter(U("页未显示")),
                      c.leftOut == 0 ? QStringList() : QStringList{U("%1页未显示").arg(c.leftOut)})
                << tag;
            EXPECT_EQ(preview.Order().size(), static_cast<size_t>(c.odd + c.even)) << tag;
            EXPECT_EQ(Pictures(preview), Expected(preview)) << tag << " " << startTicked;
            // Flipped in the dialog, and back: the order follows the box every time, and
            // every picture lands on the tile of the page it shows.
            for (const bool ticked : {!startTicked, startTicked}) {
                preview.EvenReversedBox.click();
                ASSERT_EQ(preview.EvenReversedBox.isChecked(), ticked) << tag;
                EXPECT_EQ(Labels(preview), Split(ticked ? c.reversed : c.inOrder)) << tag;
                EXPECT_EQ(preview.LeftOut(), c.leftOut) << tag;
                EXPECT_EQ(Pictures(preview), Expected(preview)) << tag << " " << ticked;
            }
        }
    }
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
        // Past the eight shown: the count still takes every page left out.
        {10,
         10,
         {{PageSource::Even, 5}, {PageSource::Odd, 10}},
         "合并后共18页（删除2页空白页）",
         "奇 10 删除"},
    };
    for (const auto& c : cases) {
        PreviewInputs inputs;
        inputs.odd = Shaded(PageSource::Odd, c.odd);
        inputs.even = Shaded(PageSource::Even, c.even);
        inputs.oddPages = c.odd;
        inputs.evenPages = c.even;
        inputs.dropped = c.dropped;
        TOrderPreview preview(inputs, false);
        for (int flip = 0; flip < 2; ++flip) {
            EXPECT_EQ(preview.Summary.text(), U(c.summary));
            QStringList marked;
            for (const TPageTile* tile : preview.Tiles()) {
                if (tile->Dropped()) marked.append(tile->Label());
            }
            marked.sort();
            QStringList expected = Split(c.marked);
            expected.removeAll(QString());
            expected.sort();
            EXPECT_EQ(marked, expected) << c.summary << " flipped " << flip;
            preview.EvenReversedBox.click();
        }
    }
}

TEST(OrderPreview, FlippingTheBoxBeforeThePicturesComePlacesThemByPage) {
    // Flipped at once, again and again, while the first pictures are still being drawn:
    // a picture asked for one tile must not land on another.
    PreviewInputs inputs;
    inputs.odd = Shaded(PageSource::Odd, 10);
    inputs.even = Shaded(PageSource::Even, 10);
    inputs.oddPages = 10;
    inputs.evenPages = 10;
    TOrderPreview preview(inputs, false);
    for (int i = 0; i < 7; ++i) {
        preview.EvenReversedBox.click();
        QTest::qWait(i);
    }
    ASSERT_TRUE(preview.EvenReversedBox.isChecked());
    EXPECT_EQ(Labels(preview), Split("奇 1,偶 10,奇 2,偶 9,奇 3,偶 8,奇 10,偶 1"));
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
        TOrderPreview preview(inputs, false);
        // Nine pages: odd 1, even 1, ... odd 3, even 3, then the last two, even 4 and odd 5.
        std::vector<std::string> expected;
        for (const TPageTile* tile : preview.Tiles()) {
            const PlannedPage page = tile->Page();
            expected.push_back(page.source == PageSource::Odd
                                   ? c.shown[static_cast<size_t>(page.page - 1)]
                                   : Shown(page));
        }
        ASSERT_EQ(expected.size(), 8u) << c.what;
        EXPECT_EQ(Pictures(preview), expected) << c.what;
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
        TOrderPreview preview(inputs, false);
        EXPECT_EQ(Pictures(preview), (std::vector<std::string>{"odd 1", "even 1", "odd 2", "even 2",
                                                               "none", "even 3"}));
        EXPECT_EQ(preview.Tiles()[4]->PictureState(), TPageTile::State::Undrawable);
        EXPECT_EQ(preview.Tiles()[4]->Label(), U("奇 3"));
    }
    for (const SharedBytes& odd :
         {SharedBytes::FromString(std::string(3000, 'j')), SharedBytes()}) {
        inputs.odd = {odd, {}};
        TOrderPreview preview(inputs, true);
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
        EXPECT_EQ(Labels(*preview), Split(ticked ? "奇 1,偶 3,奇 2,偶 2,奇 3,偶 1"
                                                 : "奇 1,偶 1,奇 2,偶 2,奇 3,偶 3"));
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
    EXPECT_EQ(w.sink.messages,
              QStringList{U("文件已经合并，保存在奇数页文件所在位置\n") + Q(MergedName(odd, even))});
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
    EXPECT_EQ(Labels(*preview), Split("奇 1,偶 1 删除,奇 2,偶 2,奇 3,偶 3 删除"));
    w.Click(preview->MergeButton);
    EXPECT_EQ(
        w.sink.messages,
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
