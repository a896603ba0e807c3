// Blank or not, page by page: pages built as objects of a small table (contents, images,
// forms, annotations), and scanned pages made by tests/support/scanned_pages.h.
#include "content/blank_page_detector.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "content/pages.h"
#include "objects/stream_filters.h"
#include "support/coded_images.h"
#include "support/scanned_pages.h"

namespace verava {
namespace {

using testing::InkName;
using testing::Pages;
using testing::ScanKind;

// Pixels of a grey image: paper of one level, and ink where `ink(x, y)` says.
std::string Pixels(int w, int h, uint8_t paper, const std::function<bool(int, int)>& ink = {},
                   uint8_t inkLevel = 30) {
    std::string pixels(static_cast<size_t>(w) * h, static_cast<char>(paper));
    if (ink) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                if (ink(x, y)) pixels[static_cast<size_t>(y) * w + x] = static_cast<char>(inkLevel);
            }
        }
    }
    return pixels;
}

// A block of text lines in the middle of the page.
bool TextBlock(int x, int y) { return y > 300 && y < 500 && y % 20 < 4 && x > 100 && x < 500; }

TPageInk Ink(TPDFDictionary* page) { return TBlankPageDetector().Judge(page).Ink; }

TEST(BlankPageDetector, PaintingOperatorsMakeContent) {
    struct Case {
        const char* content;
        TPageInk ink;
    };
    const Case cases[] = {
        {"", TPageInk::Blank},
        {"q 1 0 0 1 0 0 cm 0 0 612 792 re W n Q", TPageInk::Blank},  // a clip paints nothing
        {"BT /F1 12 Tf 72 720 Td (Hello) Tj ET", TPageInk::Content},
        {"BT /F1 12 Tf [(He) 20 (llo)] TJ ET", TPageInk::Content},
        {"BT /F1 12 Tf (a) ' ET", TPageInk::Content},
        {"BT /F1 12 Tf 1 2 (a) \" ET", TPageInk::Content},
        {"0 0 m 100 100 l S", TPageInk::Content},
        {"0 0 100 100 re f*", TPageInk::Content},
        {"0 0 100 100 re B", TPageInk::Content},
        {"/Sh0 sh", TPageInk::Content},
        {"BI /W 1 /H 1 /CS /G /BPC 8 ID \xFF EI", TPageInk::Content},
        // The text layer of an OCRed scan is invisible (rendering mode 3, or 7: clip only).
        {"BT 3 Tr /F1 12 Tf (scanned words) Tj ET", TPageInk::Blank},
        {"BT 7 Tr (clip) Tj ET 0 0 m 1 1 l n", TPageInk::Blank},
        // Q restores the mode that q saved.
        {"q BT 3 Tr ET Q BT (seen) Tj ET", TPageInk::Content},
        {"BT 3 Tr ET q BT 0 Tr ET Q BT (unseen) Tj ET", TPageInk::Blank},
        // Operators inside strings, comments and dictionaries are no operators.
        {"/Span << /ActualText (f S Tj) >> BDC EMC % 0 0 m 1 1 l S\n", TPageInk::Blank},
        {"(unbalanced \\) Tj f) pop <0A0B> pop", TPageInk::Blank},
        {"<< /A << /B (f) >> >> pop", TPageInk::Blank},
    };
    for (const Case& c : cases) {
        Pages pages;
        EXPECT_EQ(InkName(Ink(pages.Page("<< >>", c.content))), InkName(c.ink)) << c.content;
    }
}

TEST(BlankPageDetector, ContentThatCannotBeDecodedKeepsThePage) {
    // Content that cannot be decoded in full may paint anything: the page is kept (unless
    // what could be read paints already). A form's content counts the same way.
    const std::string nothing = FlateEncode("q 1 0 0 1 0 0 cm Q " + std::string(400, ' '));
    const std::string text = FlateEncode("BT (Hello) Tj ET " + std::string(400, ' '));
    const struct {
        const char* what;
        std::string dictionary;
        std::string data;
        TPageInk ink;
    } cases[] = {
        {"Flate, whole, painting nothing", "<< /Filter /FlateDecode >>", nothing,
         TPageInk::Blank},
        {"Flate cut short", "<< /Filter /FlateDecode >>", nothing.substr(0, nothing.size() / 2),
         TPageInk::Unreadable},
        {"Flate damaged", "<< /Filter /FlateDecode >>", nothing.substr(0, 12) + "garbage",
         TPageInk::Unreadable},
        {"Flate cut short after text", "<< /Filter /FlateDecode >>",
         text.substr(0, text.size() - 8), TPageInk::Content},
        {"a filter not known here", "<< /Filter /Sparkle >>", "x\x9C\x01\x02",
         TPageInk::Unreadable},
        {"a known filter, then one not known", "<< /Filter [/FlateDecode /Sparkle] >>", nothing,
         TPageInk::Unreadable},
        {"a Filter that is no name", "<< /Filter 5 >>", "q Q", TPageInk::Unreadable},
    };
    for (const auto& c : cases) {
        Pages pages;
        pages.Table().AddStream(900, c.dictionary, c.data);
        const TPageJudgement judged = TBlankPageDetector().Judge(pages.PageWith("/Contents 900 0 R"));
        EXPECT_EQ(InkName(judged.Ink), InkName(c.ink)) << c.what;
        EXPECT_EQ(judged.Doubt,
                  c.ink == TPageInk::Unreadable ? TPageDoubt::Content : TPageDoubt::None)
            << c.what;
        // The same stream as a form the page draws.
        pages.Table().AddStream(901, "<< /Type /XObject /Subtype /Form /BBox [0 0 9 9] " +
                                         c.dictionary.substr(2), c.data);
        EXPECT_EQ(InkName(Ink(pages.Page("<< /XObject << /Fm0 901 0 R >> >>", "/Fm0 Do"))),
                  InkName(c.ink))
            << c.what << ", in a form";
    }
}

TEST(BlankPageDetector, PagesWithoutContentsAreBlank) {
    Pages pages;
    EXPECT_EQ(Ink(pages.PageWith("/MediaBox [0 0 612 792]")), TPageInk::Blank);
    // Contents naming nothing, or an empty array.
    EXPECT_EQ(Ink(pages.PageWith("/Contents 999 0 R")), TPageInk::Blank);
    EXPECT_EQ(Ink(pages.PageWith("/Contents []")), TPageInk::Blank);
    // Content split over streams of an array is read as one.
    pages.Table().AddStream(500, "<< >>", "BT (a");
    pages.Table().AddStream(501, "<< >>", ") Tj ET");
    EXPECT_EQ(Ink(pages.PageWith("/Contents [500 0 R 501 0 R]")), TPageInk::Content);
    EXPECT_EQ(Ink(nullptr), TPageInk::Unreadable);
}

TEST(BlankPageDetector, ImagesAreJudgedByTheirPaper) {
    struct Case {
        const char* what;
        uint8_t paper;
        std::function<bool(int, int)> ink;
        TPageInk expected;
    };
    const Case cases[] = {
        {"white paper", 246, {}, TPageInk::Blank},
        {"grey paper", 190, {}, TPageInk::Blank},
        {"white paper with text", 246, TextBlock, TPageInk::Content},
        {"grey paper with text", 190, TextBlock, TPageInk::Content},
        {"a short mark", 246, [](int x, int y) { return x >= 300 && x < 306 && y > 700 && y < 730; },
         TPageInk::Content},
        {"dark paper", 40, {}, TPageInk::Content},
    };
    for (const Case& c : cases) {
        Pages pages;
        const int image = pages.GreyImage(600, 800, Pixels(600, 800, c.paper, c.ink));
        const TPageJudgement judgement = TBlankPageDetector().Judge(pages.Drawing(image));
        EXPECT_EQ(InkName(judgement.Ink), InkName(c.expected)) << c.what;
        if (c.expected == TPageInk::Blank) {
            EXPECT_LT(judgement.DarkShare, kDefaultBlankThreshold) << c.what;
        }
    }
}

TEST(BlankPageDetector, SampleFormsAndColourSpaces) {
    struct Case {
        const char* what;
        std::string entries;
        std::string data;
        TPageInk expected;
    };
    // 64 x 64 pixels, 1 bit each: 8 bytes a row.
    const std::string zeros(64 * 8, '\0');
    const std::string ones(64 * 8, '\xFF');
    const std::string oneBit = "/Width 64 /Height 64 /BitsPerComponent 1 /ColorSpace /DeviceGray ";
    std::string cmykInk(64 * 64 * 4, '\0');
    for (size_t i = 3; i < cmykInk.size() / 2; i += 4) cmykInk[i] = '\xFF';  // K on the top half
    std::string rgb16(32 * 32 * 6, '\xFF');
    std::string indexed(32 * 32, '\0');
    for (size_t i = 0; i < 32 * 8; ++i) indexed[i] = '\x01';
    // 8-bit grey rows behind PNG tags (None), as lossless scans store them: 64 rows of 16, so
    // the tag bytes come to rows more; the first 16 rows are black in `pngInk`.
    std::string pngPaper;
    std::string pngInk;
    for (int y = 0; y < 64; ++y) {
        pngPaper += '\0' + std::string(16, '\xF4');
        pngInk += '\0' + std::string(16, y < 16 ? '\x10' : '\xF4');
    }
    const std::string separation =
        "/Width 64 /Height 64 /BitsPerComponent 8 /ColorSpace [/Separation /Gold /DeviceCMYK "
        "0 0 R]";
    const std::string deviceN = "/Width 64 /Height 64 /BitsPerComponent 8 /ColorSpace "
                                "[/DeviceN [/Gold /Silver] /DeviceCMYK 0 0 R]";
    std::string twoTints(64 * 64 * 2, '\0');
    for (size_t i = 1; i < twoTints.size() / 2; i += 2) twoTints[i] = '\xC0';  // top half
    const std::string png = "/Width 16 /Height 64 /BitsPerComponent 8 /ColorSpace /DeviceGray "
                            "/Filter /FlateDecode /DecodeParms << /Predictor 15 /Columns 16 >>";
    const Case cases[] = {
        {"PNG-predicted grey paper", png, FlateEncode(pngPaper), TPageInk::Blank},
        {"PNG-predicted grey with ink", png, FlateEncode(pngInk), TPageInk::Content},
        {"1-bit, 1 is white", oneBit, ones, TPageInk::Blank},
        {"1-bit, 0 is black", oneBit, zeros, TPageInk::Content},
        {"1-bit with Decode [1 0]: 0 is white", oneBit + "/Decode [1 0]", zeros, TPageInk::Blank},
        {"1-bit with Decode [1 0]: 1 is black", oneBit + "/Decode [1 0]", ones,
         TPageInk::Content},
        {"CMYK without ink", "/Width 64 /Height 64 /BitsPerComponent 8 /ColorSpace /DeviceCMYK",
         std::string(64 * 64 * 4, '\0'), TPageInk::Blank},
        {"CMYK with black ink", "/Width 64 /Height 64 /BitsPerComponent 8 /ColorSpace /DeviceCMYK",
         cmykInk, TPageInk::Content},
        {"16-bit RGB white", "/Width 32 /Height 32 /BitsPerComponent 16 /ColorSpace /DeviceRGB",
         rgb16, TPageInk::Blank},
        {"indexed, all entry 0 (white)",
         "/Width 32 /Height 32 /BitsPerComponent 8 /ColorSpace [/Indexed /DeviceRGB 1 <FFFFFF000000>]",
         std::string(32 * 32, '\0'), TPageInk::Blank},
        {"indexed, a quarter entry 1 (black)",
         "/Width 32 /Height 32 /BitsPerComponent 8 /ColorSpace [/Indexed /DeviceRGB 1 <FFFFFF000000>]",
         indexed, TPageInk::Content},
        {"ICC-based grey (N 1)", "/Width 64 /Height 64 /BitsPerComponent 1 /ColorSpace [/ICCBased 900 0 R]",
         ones, TPageInk::Blank},
        {"named colour space of the resources",
         "/Width 64 /Height 64 /BitsPerComponent 1 /ColorSpace /CS0", zeros, TPageInk::Content},
        {"4-bit grey, white", "/Width 64 /Height 64 /BitsPerComponent 4 /ColorSpace /G",
         std::string(64 * 32, '\xFF'), TPageInk::Blank},
        // A stencil mask paints its 0 samples (1 with Decode [1 0]), taken as black.
        {"stencil mask painting nothing", "/Width 64 /Height 64 /ImageMask true", ones,
         TPageInk::Blank},
        {"stencil mask painting everywhere", "/Width 64 /Height 64 /ImageMask true", zeros,
         TPageInk::Content},
        {"stencil mask with Decode [1 0]", "/Width 64 /Height 64 /IM true /Decode [1 0]", zeros,
         TPageInk::Blank},
        // Separation and DeviceN by their tints: 0 is paper.
        {"separation without ink", separation, std::string(64 * 64, '\0'), TPageInk::Blank},
        {"separation with full ink", separation, std::string(64 * 64, '\xFF'),
         TPageInk::Content},
        {"DeviceN, ink in the second colourant", deviceN, twoTints, TPageInk::Content},
        {"DeviceN without ink", deviceN, std::string(64 * 64 * 2, '\0'), TPageInk::Blank},
        {"indexed over a separation",
         "/Width 64 /Height 64 /BitsPerComponent 8 /ColorSpace [/Indexed [/Separation /Gold "
         "/DeviceGray 0 0 R] 1 <00FF>]",
         std::string(64 * 64, '\x01'), TPageInk::Content},
    };
    for (const Case& c : cases) {
        Pages pages;
        pages.Table().AddStream(900, "<< /N 1 >>", "profile");
        const int image = pages.Image(c.entries, c.data);
        TPDFDictionary* page =
            pages.Page("<< /XObject << /Im0 " + Pages::Ref(image) +
                           " >> /ColorSpace << /CS0 /DeviceGray >> >>",
                       "/Im0 Do");
        EXPECT_EQ(InkName(Ink(page)), InkName(c.expected)) << c.what;
    }
}

TEST(BlankPageDetector, WhatCannotBeReadKeepsThePageAndSaysSo) {
    const std::string grey = "/Width 8 /Height 8 /BitsPerComponent 8 /ColorSpace /DeviceGray ";
    const std::string white(64, '\xFF');
    struct Case {
        const char* what;
        std::string entries;
        std::string data;
    };
    const Case cases[] = {
        {"JPX", grey + "/Filter /JPXDecode", "jp2"},
        {"JBIG2", grey + "/Filter /JBIG2Decode", "jbig2"},
        {"CCITT fax", grey + "/Filter /CCITTFaxDecode", "fax"},
        {"an unknown filter", grey + "/Filter [/FlateDecode /Sparkle]", FlateEncode(white)},
        {"data shorter than the image", grey, white.substr(0, 60)},
        {"Flate data cut short", grey + "/Filter /FlateDecode", FlateEncode(white).substr(0, 6)},
        {"a DeviceN space without colourants",
         "/Width 8 /Height 8 /BitsPerComponent 8 /ColorSpace [/DeviceN [] /DeviceCMYK 0 0 R]",
         white},
        {"a colour space the resources do not name",
         "/Width 8 /Height 8 /BitsPerComponent 8 /ColorSpace /Nowhere", white},
        {"no width", "/Height 8 /BitsPerComponent 8 /ColorSpace /DeviceGray", white},
        {"absurd dimensions",
         "/Width 2000000000 /Height 2000000000 /BitsPerComponent 8 /ColorSpace /DeviceGray",
         white},
        {"3 bits per sample", "/Width 8 /Height 8 /BitsPerComponent 3 /ColorSpace /DeviceGray",
         white},
        {"a damaged JPEG", grey + "/Filter /DCTDecode", "\xFF\xD8\xFF\xE0 broken"},
    };
    for (const Case& c : cases) {
        Pages pages;
        const int image = pages.Image(c.entries, c.data);
        const TPageJudgement judged = TBlankPageDetector().Judge(pages.Drawing(image));
        EXPECT_EQ(InkName(judged.Ink), "unreadable") << c.what;
        // Named by the image's last filter, so that the summary can say which encoding.
        const std::vector<std::string_view> filters =
            StreamFilterNames(As<TPDFStream>(pages.Table().Get(image))->StreamDict());
        EXPECT_EQ(judged.Doubt, TPageDoubt::Image) << c.what;
        EXPECT_EQ(judged.Encoding, filters.empty() ? "" : std::string(filters.back())) << c.what;
        // Text beside it decides without the image.
        EXPECT_EQ(InkName(Ink(pages.Drawing(image, "BT (x) Tj ET"))), "content") << c.what;
    }
    {
        // An unreadable image and one with content: content. With one of blank paper:
        // still unreadable.
        Pages pages;
        const int jpx = pages.Image(grey + "/Filter /JPXDecode", "jp2");
        const int ink = pages.GreyImage(600, 800, Pixels(600, 800, 246, TextBlock));
        const int paper = pages.GreyImage(600, 800, Pixels(600, 800, 246));
        const std::string resources = "<< /XObject << /A " + Pages::Ref(jpx) + " /B " +
                                      Pages::Ref(ink) + " /C " + Pages::Ref(paper) + " >> >>";
        EXPECT_EQ(Ink(pages.Page(resources, "/A Do /B Do")), TPageInk::Content);
        EXPECT_EQ(Ink(pages.Page(resources, "/A Do /C Do")), TPageInk::Unreadable);
        EXPECT_EQ(Ink(pages.Page(resources, "/C Do /C Do")), TPageInk::Blank);
        // Drawing a name the resources do not hold.
        const TPageJudgement missing =
            TBlankPageDetector().Judge(pages.Page(resources, "/C Do /Missing Do"));
        EXPECT_EQ(missing.Ink, TPageInk::Unreadable);
        EXPECT_EQ(missing.Doubt, TPageDoubt::Drawing);
    }
}

TEST(BlankPageDetector, FormsAreLookedInto) {
    Pages pages;
    const int paper = pages.GreyImage(600, 800, Pixels(600, 800, 246));
    const int ink = pages.GreyImage(600, 800, Pixels(600, 800, 246, TextBlock));
    const std::string own = "<< /XObject << /Scan " + Pages::Ref(paper) + " >> >>";
    {
        // The form's own resources, and the page's when it has none.
        const int form = pages.Form(own, "q 612 0 0 792 0 0 cm /Scan Do Q");
        EXPECT_EQ(Ink(pages.Drawing(form)), TPageInk::Blank);
        const int bare = pages.Form("", "/Im1 Do");
        EXPECT_EQ(Ink(pages.Page("<< /XObject << /Im0 " + Pages::Ref(bare) + " /Im1 " +
                                     Pages::Ref(ink) + " >> >>",
                                 "/Im0 Do")),
                  TPageInk::Content);
        EXPECT_EQ(Ink(pages.Drawing(pages.Form("", "BT (words) Tj ET"))), TPageInk::Content);
        EXPECT_EQ(Ink(pages.Drawing(pages.Form("", "0 0 m 5 5 l S"))), TPageInk::Content);
    }
    {
        // Text rendering mode inside a form ends with it.
        const int form = pages.Form("", "BT 3 Tr ET");
        EXPECT_EQ(Ink(pages.Drawing(form, "BT (after) Tj ET")), TPageInk::Content);
    }
    {
        // A form that draws itself ends; forms nested deeper than the bound are unreadable.
        const int self = 700;
        pages.Table().AddStream(self,
                                "<< /Subtype /Form /Resources << /XObject << /Me 700 0 R >> >> >>",
                                "/Me Do");
        EXPECT_EQ(Ink(pages.Drawing(self)), TPageInk::Blank);
        int inner = pages.Form(own, "/Scan Do");
        for (int level = 0; level < TBlankPageDetector::kMaxFormDepth; ++level) {
            inner = pages.Form("<< /XObject << /F " + Pages::Ref(inner) + " >> >>", "/F Do");
        }
        EXPECT_EQ(Ink(pages.Drawing(inner)), TPageInk::Unreadable);
    }
}

TEST(BlankPageDetector, WhatIsLearntOnOnePageHoldsOnlyWhereItApplies) {
    // One detector judges a document's pages in turn and looks at a shared form or image
    // once; each page must still get the verdict a fresh detector gives it.
    Pages pages;
    const int paper = pages.GreyImage(600, 800, Pixels(600, 800, 246));
    const int ink = pages.GreyImage(600, 800, Pixels(600, 800, 246, TextBlock));
    const int bare = pages.Form("", "/Im1 Do");  // takes /Im1 from whoever draws it
    const int words = pages.Form("<< >>", "BT (words) Tj ET");  // the same resources everywhere
    const int bits = pages.Image("/Width 64 /Height 64 /BitsPerComponent 1 /ColorSpace /CS0",
                                 std::string(64 * 8, '\0'));
    // Forms drawing each other one level deeper each, the last drawing paper.
    std::vector<int> chain = {
        pages.Form("<< /XObject << /Im1 " + Pages::Ref(paper) + " >> >>", "/Im1 Do")};
    for (int level = 0; level < TBlankPageDetector::kMaxFormDepth; ++level) {
        chain.push_back(pages.Form("<< /XObject << /F " + Pages::Ref(chain.back()) + " >> >>",
                                   "/F Do"));
    }
    pages.Table().AddStream(800, "<< /Subtype /Form /Resources << /XObject << /B 801 0 R >> >> >>",
                            "/B Do");
    pages.Table().AddStream(801, "<< /Subtype /Form /Resources << /XObject << /A 800 0 R >> >> >>",
                            "/A Do BT (loop) Tj ET");
    auto drawing = [&](int form, const std::string& im1, const std::string& before = "") {
        return pages.Page("<< /XObject << /F " + Pages::Ref(form) + " /Im1 " + im1 + " >> >>",
                          before + " /F Do");
    };
    const std::string indexedWhite = "[/Indexed /DeviceGray 1 <FFFF>]";
    const struct {
        const char* what;
        std::vector<TPDFDictionary*> pages;  // in the order judged
        std::vector<TPageInk> inks;
    } cases[] = {
        {"a form drawn with each page's resources",
         {drawing(bare, Pages::Ref(paper)), drawing(bare, Pages::Ref(ink))},
         {TPageInk::Blank, TPageInk::Content}},
        {"a form drawn in each page's text rendering mode",
         {drawing(words, Pages::Ref(paper), "BT 3 Tr ET"), drawing(words, Pages::Ref(paper))},
         {TPageInk::Blank, TPageInk::Content}},
        {"an image read through each page's colour spaces",
         {pages.Page("<< /XObject << /I " + Pages::Ref(bits) + " >> /ColorSpace << /CS0 " +
                         indexedWhite + " >> >>",
                     "/I Do"),
          pages.Page("<< /XObject << /I " + Pages::Ref(bits) +
                         " >> /ColorSpace << /CS0 /DeviceGray >> >>",
                     "/I Do")},
         {TPageInk::Blank, TPageInk::Content}},
        {"a form too deep from one page, within reach from another",
         {drawing(chain.back(), "null"), drawing(chain[1], "null")},
         {TPageInk::Unreadable, TPageInk::Blank}},
        {"forms drawing each other, entered at either",
         {drawing(800, "null"), drawing(801, "null")},
         {TPageInk::Content, TPageInk::Content}},
    };
    for (const auto& c : cases) {
        TBlankPageDetector detector;
        for (size_t i = 0; i < c.pages.size(); ++i) {
            EXPECT_EQ(InkName(detector.Judge(c.pages[i]).Ink), InkName(c.inks[i]))
                << c.what << ", page " << i + 1;
            EXPECT_EQ(InkName(Ink(c.pages[i])), InkName(c.inks[i])) << c.what << ", fresh";
        }
    }
    // Each image is looked at once per document: later pages get what the first saw.
    TBlankPageDetector detector;
    TPDFStream* scan = pages.Table().AddStream(
        900, "<< /Subtype /Image /Width 8 /Height 8 /BitsPerComponent 8 /ColorSpace /G >>",
        std::string(64, '\xF4'));
    EXPECT_EQ(detector.Judge(pages.Drawing(900)).Ink, TPageInk::Blank);
    scan->SetRawData(std::string(64, '\0'));  // now black
    EXPECT_EQ(detector.Judge(pages.Drawing(900)).Ink, TPageInk::Blank);
    EXPECT_EQ(Ink(pages.Drawing(900)), TPageInk::Content);
}

TEST(BlankPageDetector, VisibleAnnotationsAreContent) {
    struct Case {
        const char* annots;
        TPageInk expected;
    };
    for (const Case& c : {Case{"[<< /Subtype /Text /Rect [0 0 10 10] >>]", TPageInk::Content},
                          Case{"[<< /Subtype /Widget /FT /Tx >>]", TPageInk::Content},
                          Case{"[<< /Subtype /Link /Rect [0 0 10 10] >>]", TPageInk::Blank},
                          Case{"[<< /Subtype /Stamp /F 2 >>]", TPageInk::Blank},
                          Case{"[<< /Subtype /Stamp /F 32 >>]", TPageInk::Blank},
                          Case{"[null 5]", TPageInk::Blank}}) {
        Pages pages;
        EXPECT_EQ(InkName(Ink(pages.Page("<< >>", "", std::string("/Annots ") + c.annots))),
                  InkName(c.expected))
            << c.annots;
    }
}

TEST(BlankPageDetector, ResourcesAreInheritedAndNamesUnescaped) {
    Pages pages;
    const int ink = pages.GreyImage(600, 800, Pixels(600, 800, 246, TextBlock));
    pages.Table().AddDict(600, "<< /Type /Pages /Kids [] /Count 0 /Resources << /XObject << "
                               "/Im0 " + Pages::Ref(ink) + " >> >> >>");
    pages.Table().AddStream(601, "<< >>", "/Im#30 Do");
    EXPECT_EQ(Ink(pages.PageWith("/Parent 600 0 R /Contents 601 0 R")), TPageInk::Content);
    // A page whose Parent chain loops finds nothing to draw with.
    pages.Table().AddDict(602, "<< /Type /Pages /Parent 603 0 R >>");
    pages.Table().AddDict(603, "<< /Type /Pages /Parent 602 0 R >>");
    EXPECT_EQ(Ink(pages.PageWith("/Parent 602 0 R /Contents 601 0 R")), TPageInk::Unreadable);
}

// Scanned pages as JPEG at 300 dpi, of every kind the benchmark has.
TEST(BlankPageDetector, ScannedPagesOfEachKind) {
    struct Case {
        ScanKind kind;
        uint32_t seed;
        int number;
        bool colour;
    };
    const Case cases[] = {
        {ScanKind::WhiteNoise, 1, 0, false}, {ScanKind::WhiteNoise, 2, 0, true},
        {ScanKind::GreyPaper, 3, 0, false},  {ScanKind::PageNumber, 4, 1, false},
        {ScanKind::PageNumber, 5, 7, true},  {ScanKind::OneLine, 6, 0, false},
        {ScanKind::Dark, 7, 0, false},
    };
    for (const Case& c : cases) {
        Pages pages;
        const std::string jpeg =
            testing::EncodeJpeg(testing::MakeScan(c.kind, 300, c.seed, c.number), 75, c.colour);
        const TPageJudgement judgement =
            TBlankPageDetector().Judge(pages.Drawing(pages.JpegImage(jpeg)));
        EXPECT_EQ(InkName(judgement.Ink),
                  InkName(testing::IsBlankKind(c.kind) ? TPageInk::Blank : TPageInk::Content))
            << testing::KindName(c.kind) << " seed " << c.seed << " share "
            << judgement.DarkShare;
    }
}

TEST(BlankPageDetector, CmykJpegsInvertedOrReadThroughDecode) {
    const testing::GreyScan paper = testing::MakeScan(ScanKind::WhiteNoise, 150, 21);
    const testing::GreyScan number = testing::MakeScan(ScanKind::PageNumber, 150, 22, 3);
    struct Case {
        const char* what;
        const testing::GreyScan* scan;
        bool inverted;
        const char* decode;
        TPageInk expected;
    };
    const std::string inverse = "/Decode [1 0 1 0 1 0 1 0]";
    const Case cases[] = {
        {"Adobe-inverted paper", &paper, true, "", TPageInk::Blank},
        {"Adobe-inverted page number", &number, true, "", TPageInk::Content},
        {"inverted, with a Decode array saying so", &paper, true, "/Decode [1 0 1 0 1 0 1 0]",
         TPageInk::Blank},
        {"plain ink values read through Decode [0 1 ...]", &paper, false,
         "/Decode [0 1 0 1 0 1 0 1]", TPageInk::Blank},
    };
    for (const Case& c : cases) {
        Pages pages;
        const int image =
            pages.Image("/Width 1240 /Height 1754 /ColorSpace /DeviceCMYK /BitsPerComponent 8 "
                        "/Filter /DCTDecode " + std::string(c.decode),
                        testing::EncodeCmykJpeg(*c.scan, 80, c.inverted));
        EXPECT_EQ(InkName(Ink(pages.Drawing(image))), InkName(c.expected)) << c.what;
    }
}

TEST(BlankPageDetector, JpegBehindAnotherFilterAndADecodeArray) {
    const std::string jpeg = testing::EncodeJpeg(testing::MakeScan(ScanKind::WhiteNoise, 100, 9), 80);
    std::string hex;
    for (char c : jpeg) {
        static const char digits[] = "0123456789ABCDEF";
        hex += digits[static_cast<uint8_t>(c) >> 4];
        hex += digits[static_cast<uint8_t>(c) & 15];
    }
    Pages pages;
    const std::string size = "/Width 827 /Height 1169 /ColorSpace /DeviceGray /BitsPerComponent 8 ";
    EXPECT_EQ(Ink(pages.Drawing(pages.Image(size + "/Filter [/AHx /DCTDecode]", hex))),
              TPageInk::Unreadable);  // "AHx" is for inline images only
    EXPECT_EQ(Ink(pages.Drawing(pages.Image(size + "/Filter [/ASCIIHexDecode /DCTDecode]", hex))),
              TPageInk::Blank);
    // White paper read through Decode [1 0] is black.
    EXPECT_EQ(Ink(pages.Drawing(pages.Image(size + "/Filter /DCTDecode /Decode [1 0]", jpeg))),
              TPageInk::Content);
}

// Black-and-white and JPEG 2000 scans: each coding and parameter, on white paper and on a
// page with a block of text. Fax and JBIG2 images are 800 x 1000, one bit a pixel.
TEST(BlankPageDetector, FaxJbig2AndJpxScans) {
    using testing::Bilevel;
    using testing::FaxCoding;
    const Bilevel white{800, 1000, {}};
    const Bilevel text{800, 1000, TextBlock};
    const auto fax = [](const Bilevel& picture, FaxCoding coding) {
        return testing::EncodeFax(picture, coding);
    };
    const auto jpx = [](bool ink, int components) {
        return testing::EncodeJpx(
            600, 800, components,
            [ink](int x, int y, int c) -> uint8_t { return ink && TextBlock(x, y) ? 30 : 246; },
            true);
    };
    std::string hexWhiteG4;
    for (const char c : fax(white, FaxCoding::Group4)) {
        static const char digits[] = "0123456789ABCDEF";
        hexWhiteG4 += digits[static_cast<uint8_t>(c) >> 4];
        hexWhiteG4 += digits[static_cast<uint8_t>(c) & 15];
    }
    const std::string g4 = fax(text, FaxCoding::Group4);
    const std::string bilevel =
        "/Width 800 /Height 1000 /BitsPerComponent 1 /ColorSpace /DeviceGray ";
    const std::string ccitt = bilevel + "/Filter /CCITTFaxDecode /DecodeParms << /Columns 800 ";
    const std::string jbig2 = bilevel + "/Filter /JBIG2Decode ";
    struct Case {
        const char* what;
        std::string entries;
        std::string data;
        TPageInk expected;
    };
    const Case cases[] = {
        {"Group 4, white", ccitt + "/K -1 >>", fax(white, FaxCoding::Group4), TPageInk::Blank},
        {"Group 4, text", ccitt + "/K -1 >>", g4, TPageInk::Content},
        {"Group 4 cut short", ccitt + "/K -1 >>", g4.substr(0, g4.size() / 2),
         TPageInk::Unreadable},
        // White coded as white is output as 1 bits with BlackIs1, which DeviceGray reads as
        // white; Decode [1 0] turns it to black.
        {"BlackIs1, white", ccitt + "/K -1 /BlackIs1 true >> /Decode [1 0]",
         fax(white, FaxCoding::Group4), TPageInk::Blank},
        {"BlackIs1 without Decode: white is read as black", ccitt + "/K -1 /BlackIs1 true >>",
         fax(white, FaxCoding::Group4), TPageInk::Content},
        {"Decode [1 0]: white paper read as black", ccitt + "/K -1 >> /Decode [1 0]",
         fax(white, FaxCoding::Group4), TPageInk::Content},
        {"Group 3 1-D, white", ccitt + ">>", fax(white, FaxCoding::Group3OneD), TPageInk::Blank},
        {"Group 3 1-D, text", ccitt + "/EndOfLine true >>", fax(text, FaxCoding::Group3OneD),
         TPageInk::Content},
        {"Group 3 1-D byte-aligned, white", ccitt + "/EncodedByteAlign true >>",
         fax(white, FaxCoding::Group3OneDAligned), TPageInk::Blank},
        {"Group 3 2-D, white", ccitt + "/K 4 >>", fax(white, FaxCoding::Group3TwoD),
         TPageInk::Blank},
        {"Group 3 2-D, text", ccitt + "/K 4 >>", fax(text, FaxCoding::Group3TwoD),
         TPageInk::Content},
        // Codings once refused as unreadable.
        {"Group 4 byte-aligned, text", ccitt + "/K -1 /EncodedByteAlign true >>",
         fax(text, FaxCoding::Group4Aligned), TPageInk::Content},
        {"Group 3 2-D without end-of-lines, white", ccitt + "/K 4 >>",
         fax(white, FaxCoding::Group3TwoDNoEol), TPageInk::Blank},
        {"Group 4 under ASCIIHex, its parameters second",
         bilevel + "/Filter [/ASCIIHexDecode /CCF] /DecodeParms [null << /K -1 /Columns 800 >>]",
         hexWhiteG4, TPageInk::Blank},
        {"no parameters: Columns 1728 does not fit", bilevel + "/Filter /CCITTFaxDecode",
         fax(white, FaxCoding::Group3OneD), TPageInk::Unreadable},
        {"JBIG2, white", jbig2, testing::EncodeJbig2(white), TPageInk::Blank},
        {"JBIG2, text", jbig2, testing::EncodeJbig2(text), TPageInk::Content},
        {"JBIG2, white read through Decode [1 0]", jbig2 + "/Decode [1 0]",
         testing::EncodeJbig2(white), TPageInk::Content},
        {"JBIG2 stencil mask painting nothing",
         "/Width 800 /Height 1000 /ImageMask true /Filter /JBIG2Decode",
         testing::EncodeJbig2(white), TPageInk::Blank},
        {"JBIG2 stencil mask painting text",
         "/Width 800 /Height 1000 /ImageMask true /Filter /JBIG2Decode",
         testing::EncodeJbig2(text), TPageInk::Content},
        {"JBIG2 whose page is not the image's size",
         "/Width 800 /Height 999 /BitsPerComponent 1 /ColorSpace /DeviceGray /Filter /JBIG2Decode",
         testing::EncodeJbig2(white), TPageInk::Unreadable},
        {"JBIG2 with globals that are not JBIG2",
         jbig2 + "/DecodeParms << /JBIG2Globals 901 0 R >>", testing::EncodeJbig2(white),
         TPageInk::Unreadable},
        {"JPX grey, white", "/Width 600 /Height 800 /Filter /JPXDecode", jpx(false, 1),
         TPageInk::Blank},
        {"JPX grey, text", "/Width 600 /Height 800 /Filter /JPXDecode", jpx(true, 1),
         TPageInk::Content},
        {"JPX RGB, text", "/Width 600 /Height 800 /Filter /JPXDecode", jpx(true, 3),
         TPageInk::Content},
        {"JPX RGB with the dictionary's colour space",
         "/Width 600 /Height 800 /ColorSpace /DeviceRGB /Filter /JPXDecode", jpx(false, 3),
         TPageInk::Blank},
        {"JPX: Decode is ignored", "/Width 600 /Height 800 /Filter /JPXDecode /Decode [1 0]",
         jpx(false, 1), TPageInk::Blank},
        {"JPX grey under a colour space of three components",
         "/Width 600 /Height 800 /ColorSpace /DeviceRGB /Filter /JPXDecode", jpx(false, 1),
         TPageInk::Unreadable},
    };
    for (const Case& c : cases) {
        Pages pages;
        pages.Table().AddStream(901, "<< >>", "not jbig2 globals");
        EXPECT_EQ(InkName(Ink(pages.Drawing(pages.Image(c.entries, c.data)))), InkName(c.expected))
            << c.what;
    }
}

}  // namespace
}  // namespace verava
