// Pages of a merge turned and put in, and one input's pages arranged alone: each page's
// rotation is what it had (its own or inherited) plus the turn asked for, a page put in is
// blank and of its front's size, and an input arranged alone keeps its forms and outlines
// once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/pdf_document.h"
#include "merge/merge_test_files.h"
#include "merge/merge_streams.h"
#include "objects/stream.h"
#include "structure/page_attributes.h"
#include "support/object_values.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"
#include "support/requirements.h"

namespace verava {
namespace {

using testing::Number;
using testing::PdfBuilder;
using testing::SimpleDocument;

// Each output page as "TEXT@ROTATION WxH" ("?" for a page without text), in page order.
std::vector<std::string> PageFacts(const std::string& bytes) {
    TMemoryStream stream(bytes);
    TPDFDocument document;
    if (document.LoadFromStream(stream, u"") != TPDFDocument::kLoaded) return {"(does not open)"};
    const std::vector<std::string> texts = testing::PageLabels(document);
    std::vector<std::string> facts;
    const std::vector<TPDFDictionary*> pages = document.PageTree().Pages();
    for (size_t k = 0; k < pages.size(); ++k) {
        const int32_t rotate =
            TurnedRotation(ResolveIfReference(NearestInherited(pages[k], "Rotate")), 0);
        auto* box = As<TPDFArray>(ResolveIfReference(NearestInherited(pages[k], "MediaBox")));
        std::string size = "?";
        if (box != nullptr && box->Count() == 4) {
            size = std::to_string(static_cast<int>(Number(box->Get(2)))) + "x" +
                   std::to_string(static_cast<int>(Number(box->Get(3))));
        }
        facts.push_back(texts[k] + "@" + std::to_string(rotate) + " " + size);
    }
    return facts;
}

// Two pages "<prefix> 1", "<prefix> 2": the node holds Rotate 90 and an A4 box for both,
// page 2 has its own landscape box and Rotate 270.
PdfBuilder TurnedFile(const std::string& prefix) {
    PdfBuilder b = SimpleDocument(2, prefix);  // pages 5 and 7
    b.Set(2, "<< /Type /Pages /Kids [ 5 0 R 7 0 R ] /Count 2 /Rotate 90 "
             "/MediaBox [0 0 595 842] >>");
    b.Set(5, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 3 0 R >> >> "
             "/Contents 6 0 R >>");
    b.Set(7, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 842 595] /Rotate 270 "
             "/Resources << /Font << /F1 3 0 R >> >> /Contents 8 0 R >>");
    return b;
}

std::string Merge(const std::string& first, const std::string* second, const std::string& listed,
                  int32_t* result) {
    TMemoryStream a(first);
    TMemoryStream b(second != nullptr ? *second : "");
    TMemoryStream out;
    TPDFDocument documentA;
    TPDFDocument documentB;
    int32_t code = 0;
    *result = -1;
    if (documentA.LoadFromStream(a, u"") != TPDFDocument::kLoaded) return "";
    TMergeInput inputA(documentA);
    TMergeOptions options;
    options.pages = testing::Listed(listed);
    if (second == nullptr) {
        *result = ArrangeInput(inputA, out, code, {}, options);
    } else {
        if (documentB.LoadFromStream(b, u"") != TPDFDocument::kLoaded) return "";
        TMergeInput inputB(documentB);
        *result = MergeInputs(inputA, inputB, out, code, {}, options);
    }
    return out.Data();
}

TEST(ArrangePages, TurnsAddToWhatEachPageHadAndBlankPagesTakeTheirPagesSize) {
    VERAVA_REQUIRE_TOOLS("qpdf");
    const std::string odd = TurnedFile("Odd").Build();
    const std::string even = SimpleDocument(2, "Even").Build();  // Letter, no Rotate
    const struct {
        const char* listed;
        std::vector<std::string> facts;
    } cases[] = {
        // Nothing asked: the inherited 90 becomes the page's own and stays.
        {"f1 s1 f2 s2",
         {"Odd 1@90 595x842", "Even 1@0 612x792", "Odd 2@270 842x595", "Even 2@0 612x792"}},
        // Turns wrap round a full turn; the backs upside down.
        {"f1@180 s1@180 f2@180 s2@270",
         {"Odd 1@270 595x842", "Even 1@180 612x792", "Odd 2@90 842x595", "Even 2@270 612x792"}},
        {"f2@90 f1@270", {"Odd 2@0 842x595", "Odd 1@0 595x842"}},
        // A blank back for each sheet: the front's box and rotation, and the turn asked.
        {"f1 bf1 f2 bf2@180 s1",
         {"Odd 1@90 595x842", "?@90 595x842", "Odd 2@270 842x595", "?@90 842x595",
          "Even 1@0 612x792"}},
        // A blank page of the second input's size; its page need not be listed itself.
        {"bs2 f1", {"?@0 612x792", "Odd 1@90 595x842"}},
    };
    for (const auto& c : cases) {
        int32_t result = 0;
        const std::string output = Merge(odd, &even, c.listed, &result);
        ASSERT_EQ(result, 1) << c.listed;
        EXPECT_EQ(PageFacts(output), c.facts) << c.listed;
        EXPECT_EQ(testing::QpdfCheck(output), "") << c.listed;
    }
}

TEST(ArrangePages, OneInputAloneIsCollatedWithItsFormAndOutlinesOnce) {
    VERAVA_REQUIRE_TOOLS("qpdf");
    // Four pages, two form fields, an outline item on page 1.
    PdfBuilder b = SimpleDocument(4, "Scan");  // 1..12
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm 13 0 R /Outlines 16 0 R >>");
    b.Set(13, "<< /Fields [ 14 0 R 15 0 R ] >>");
    b.Set(14, "<< /FT /Tx /T (a) >>");
    b.Set(15, "<< /FT /Tx /T (b) >>");
    b.Set(16, "<< /Type /Outlines /First 17 0 R /Last 17 0 R /Count 1 >>");
    b.Set(17, "<< /Title (start) /Parent 16 0 R /Dest [ 5 0 R /Fit ] >>");
    const std::string file = b.Build();
    const struct {
        const char* listed;
        std::vector<std::string> texts;
    } cases[] = {
        // Fronts 1, 2 and backs scanned last to first: 1, 4, 2, 3.
        {"f1 f4 f2 f3", {"Scan 1", "Scan 4", "Scan 2", "Scan 3"}},
        // A page left out, and a page of a second input that is not there.
        {"f1 f4 f2 s1", {"Scan 1", "Scan 4", "Scan 2"}},
        {"f1 bf1@180 f2 f3", {"Scan 1", "?", "Scan 2", "Scan 3"}},
    };
    for (const auto& c : cases) {
        int32_t result = 0;
        const std::string output = Merge(file, nullptr, c.listed, &result);
        ASSERT_EQ(result, 1) << c.listed;
        TMemoryStream stream(output);
        TPDFDocument out;
        ASSERT_EQ(out.LoadFromStream(stream, u""), TPDFDocument::kLoaded) << c.listed;
        EXPECT_EQ(testing::PageLabels(out), c.texts) << c.listed;
        auto* catalog = out.GetRoot();
        ASSERT_NE(catalog, nullptr);
        auto* form = As<TPDFDictionary>(catalog->GetValue("AcroForm", true));
        ASSERT_NE(form, nullptr) << c.listed;
        auto* fields = As<TPDFArray>(form->GetValue("Fields", true));
        ASSERT_NE(fields, nullptr);
        EXPECT_EQ(fields->Count(), 2) << c.listed;
        auto* outlines = As<TPDFDictionary>(catalog->GetValue("Outlines", true));
        ASSERT_NE(outlines, nullptr);
        EXPECT_EQ(Number(outlines->GetValue("Count", true)), 1) << c.listed;
        // Each page's content once: nothing of the input is written twice.
        for (const std::string& text : c.texts) {
            if (text == "?") continue;
            const std::string shown = "(" + text + ")";
            EXPECT_EQ(output.find(shown), output.rfind(shown)) << c.listed << " " << text;
        }
        EXPECT_EQ(testing::QpdfCheck(output), "") << c.listed;
    }
}

}  // namespace
}  // namespace verava
