// The file merge on inputs that qpdf rewrote (object streams, linearized), with forms,
// outlines, incremental updates and differing page sizes. Every output must pass
// `qpdf --check`, show the first input's pages and then the second's in pdftotext, and keep
// both inputs' fields and outline items as qpdf reads them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "merge/merge_streams.h"
#include "merge_test_files.h"
#include "objects/stream.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"
#include "support/requirements.h"

namespace verava {
namespace {

using testing::DocumentShapes;
using testing::Join;
using testing::PdfBuilder;
using testing::PdfInfoValue;
using testing::QpdfRewrite;
using testing::Quote;
using testing::ReadFileBytes;
using testing::RunCommand;
using testing::SimpleDocument;
using testing::Texts;
using testing::WriteTempFile;
using testing::XRefKind;

class MergePeer : public ::testing::Test {
  public:
    void SetUp() override { VERAVA_REQUIRE_TOOLS("qpdf", "pdftotext"); }
    // Merges two files into a third; the output's path.
    static std::string Merge(const std::string& first, const std::string& second,
                             const std::string& name) {
        TMemoryStream a(ReadFileBytes(first));
        TMemoryStream b(ReadFileBytes(second));
        TMemoryStream out;
        int32_t code = 0;
        EXPECT_EQ(MergeStreams(a, b, out, code), 1) << name;
        return WriteTempFile(name, out.Data());
    }

    static void ExpectChecked(const std::string& path, const std::string& what) {
        int status = -1;
        const std::string log = RunCommand("qpdf --check " + Quote(path) + " 2>&1", &status);
        EXPECT_EQ(status, 0) << what << "\n" << log;
    }

    static void ExpectPages(const std::string& path, const std::vector<std::string>& texts,
                            const std::string& what) {
        EXPECT_EQ(PdfInfoValue(path, "Pages"), std::to_string(texts.size())) << what;
        for (size_t k = 0; k < texts.size(); ++k) {
            const std::string n = std::to_string(k + 1);
            const std::string text = RunCommand("pdftotext -q -f " + n + " -l " + n + " " +
                                                Quote(path) + " - 2>/dev/null");
            EXPECT_NE(text.find(texts[k]), std::string::npos)
                << what << " page " << n << " reads '" << text << "', expected " << texts[k];
        }
    }
};

TEST_F(MergePeer, BuilderAndQpdfVariantsInEveryPairing) {
    const auto odd = DocumentShapes("", "Odd", 3);
    const auto even = DocumentShapes("", "Even", 2);
    const std::vector<std::string> expected = Join(Texts("Odd", 1, 3), Texts("Even", 1, 2));
    int index = 0;
    for (const auto& [oddKind, oddPath] : odd) {
        for (const auto& [evenKind, evenPath] : even) {
            const std::string what = oddKind + " + " + evenKind;
            const std::string out =
                Merge(oddPath, evenPath, "merged-" + std::to_string(index++) + ".pdf");
            ExpectChecked(out, what);
            ExpectPages(out, expected, what);
        }
    }
}

TEST_F(MergePeer, IncrementalUpdatesAndDifferentPageSizes) {
    // The first input's page 2 was replaced by an update.
    PdfBuilder first = SimpleDocument(2, "Odd");
    const std::string base = first.Build();
    const std::string updated = first.AppendUpdate(
        base, {{8, PdfBuilder::StreamBody("", "BT /F1 24 Tf 72 700 Td (Odd 2 updated) Tj ET")}},
        XRefKind::Table, "/Root 1 0 R /Info 4 0 R");
    // The second input's pages inherit A4 from its root.
    PdfBuilder second;
    second.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    second.Set(2,
               "<< /Type /Pages /MediaBox [0 0 595 842] /Kids [ 4 0 R 6 0 R ] /Count 2 "
               "/Resources << /Font << /F1 3 0 R >> >> >>");
    second.Set(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    for (int k = 0; k < 2; ++k) {
        second.Set(4 + 2 * k, "<< /Type /Page /Parent 2 0 R /Contents " +
                                  std::to_string(5 + 2 * k) + " 0 R >>");
        second.Set(5 + 2 * k, PdfBuilder::StreamBody("", "BT /F1 24 Tf 72 700 Td (Even " +
                                                             std::to_string(k + 1) + ") Tj ET"));
    }
    second.TrailerEntries = "/Root 1 0 R";
    const std::string out = Merge(WriteTempFile("upd-odd.pdf", updated),
                                  WriteTempFile("a4-even.pdf", second.Build()), "merged-sizes.pdf");
    ExpectChecked(out, "sizes");
    ExpectPages(out, {"Odd 1", "Odd 2 updated", "Even 1", "Even 2"}, "sizes");
    for (int page = 1; page <= 4; ++page) {
        const std::string key = "Page    " + std::to_string(page) + " size";
        const std::string size = PdfInfoValue(out, key, "-f 1 -l 4");
        EXPECT_EQ(size.substr(0, 13), page <= 2 ? "612 x 792 pts" : "595 x 842 pts") << key;
    }
}

// A one-page document with two text fields listed by reference, and outline items.
std::string FormAndOutlineFile(const std::string& prefix) {
    PdfBuilder b = SimpleDocument(1, prefix);  // 1..6
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm 7 0 R /Outlines 10 0 R >>");
    b.Set(7, "<< /Fields [ 8 0 R 9 0 R ] /DA (/Helv 0 Tf 0 g) >>");
    for (int k = 0; k < 2; ++k) {
        const std::string name = prefix + (k == 0 ? "A" : "B");
        b.Set(8 + k, "<< /FT /Tx /T (" + name + ") /V (" + name +
                         " value) /Type /Annot /Subtype /Widget /Rect [ 72 " +
                         std::to_string(500 + 40 * k) + " 272 " + std::to_string(530 + 40 * k) +
                         " ] /P 5 0 R >>");
    }
    b.Set(5,
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R "
          ">> >> /Contents 6 0 R /Annots [ 8 0 R 9 0 R ] >>");
    b.Set(10, "<< /Type /Outlines /First 11 0 R /Last 12 0 R /Count 2 >>");
    b.Set(11, "<< /Title (" + prefix + " one) /Parent 10 0 R /Next 12 0 R /Dest [ 5 0 R /Fit ] >>");
    b.Set(12, "<< /Title (" + prefix + " two) /Parent 10 0 R /Prev 11 0 R /Dest [ 5 0 R /Fit ] >>");
    return b.Build();
}

TEST_F(MergePeer, FieldsAndOutlinesOfBothInputsAreKept) {
    const std::string odd = FormAndOutlineFile("odd");
    const std::string even = FormAndOutlineFile("even");
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {WriteTempFile("form-odd.pdf", odd), WriteTempFile("form-even.pdf", even)},
        {QpdfRewrite("form-odd-objstm", odd, "--object-streams=generate"),
         QpdfRewrite("form-even-objstm", even, "--object-streams=generate")},
    };
    int index = 0;
    for (const auto& [a, b] : pairs) {
        const std::string what = "pair " + std::to_string(index);
        const std::string out = Merge(a, b, "merged-form-" + std::to_string(index++) + ".pdf");
        ExpectChecked(out, what);
        ExpectPages(out, {"odd 1", "even 1"}, what);
        const std::string fields =
            RunCommand("qpdf --json --json-key=acroform " + Quote(out) + " 2>&1");
        size_t at = 0;
        for (const char* name : {"oddA", "oddB", "evenA", "evenB"}) {
            const size_t found = fields.find("\"fullname\": \"" + std::string(name) + "\"", at);
            EXPECT_NE(found, std::string::npos) << what << ": field " << name << "\n" << fields;
            if (found != std::string::npos) at = found;
        }
        const std::string outlines =
            RunCommand("qpdf --json --json-key=outlines " + Quote(out) + " 2>&1");
        at = 0;
        for (const char* title : {"odd one", "odd two", "even one", "even two"}) {
            const size_t found = outlines.find("\"title\": \"" + std::string(title) + "\"", at);
            EXPECT_NE(found, std::string::npos) << what << ": outline " << title << "\n"
                                                << outlines;
            if (found != std::string::npos) at = found;
        }
        // The second input's items lead to its own page, page 2 of the output.
        EXPECT_NE(outlines.find("\"destpageposfrom1\": 2"), std::string::npos) << outlines;
    }
}

// What the jq program `filter` makes of qpdf's JSON for `file` (written with `options`), one
// value a line, compact, without the last line end.
std::string QpdfJson(const std::string& file, const std::string& options,
                     const std::string& filter) {
    std::string out = RunCommand("qpdf --json " + options + " " + Quote(file) + " | jq -r -c " +
                                 Quote(filter) + " 2>&1");
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// `path` (a jq path such as .["/Dest"]) in the value of object `reference` ("12 0 R").
std::string ObjectValue(const std::string& file, const std::string& reference,
                        const std::string& path) {
    return QpdfJson(file,
                    "--json-key=qpdf --json-object=" + reference.substr(0, reference.find(' ')),
                    ".qpdf[1][\"obj:" + reference + "\"].value" + path);
}

// Named destinations and page labels of merged files as qpdf and poppler read them: every
// link and outline item of the second input reaches its own page under its renamed name, the
// first input's names keep theirs.
TEST(MergePeerNames, LinksOutlinesAndLabelsAsIndependentReadersSeeThem) {
    VERAVA_REQUIRE_TOOLS("qpdf", "jq", "pdfinfo");
    const std::string odd = testing::NamedDestinationsFile("Odd", false).Build();
    const std::string even = testing::NamedDestinationsFile("Even", true).Build();
    struct Case {
        const char* order;  // "" for the whole first input, then the whole second
        std::vector<std::string> pages;
        const char* labels;  // qpdf's pagelabels (it writes St 1 where a range has none)
    };
    const Case cases[] = {
        {"",
         {"Odd 1", "Odd 2", "Even 1", "Even 2"},
         R"([{"index":0,"label":{"/S":"/r","/St":1}},{"index":2,"label":{"/P":"u:B-","/S":"/D","/St":5}}])"},
        {"f1 s1 f2 s2", {"Odd 1", "Even 1", "Odd 2", "Even 2"}, "[]"},
        {"f1 s2 f2 s1", {"Odd 1", "Even 2", "Odd 2", "Even 1"}, "[]"},
    };
    for (const Case& c : cases) {
        const std::string what = std::string("order ") + c.order;
        TMemoryStream a(odd);
        TMemoryStream b(even);
        TMemoryStream merged;
        int32_t code = 0;
        TMergeOptions options;
        if (*c.order != '\0') options.pages = testing::Listed(c.order);
        ASSERT_EQ(MergeStreams(a, b, merged, code, {}, options), 1) << what;
        const std::string out = WriteTempFile("merged-names.pdf", merged.Data());
        int status = -1;
        const std::string check = RunCommand("qpdf --check " + Quote(out) + " 2>&1", &status);
        EXPECT_EQ(status, 0) << what << "\n" << check;
        auto position = [&](const std::string& text) {
            const auto at = std::find(c.pages.begin(), c.pages.end(), text);
            return static_cast<int>(at - c.pages.begin()) + 1;
        };

        // poppler finds every name on its page.
        const std::string dests = RunCommand("pdfinfo -dests " + Quote(out) + " 2>&1");
        using Named = std::pair<const char*, const char*>;  // a name and its page's text
        for (const auto& [name, page] :
             {Named{"Intro", "Odd 1"}, Named{"Shared", "Odd 2"}, Named{"Chapter", "Odd 2"},
              Named{"Intro-2", "Even 2"}, Named{"Only", "Even 1"}, Named{"Chapter-2", "Even 1"}}) {
            const size_t at = dests.find("\"" + std::string(name) + "\"");
            ASSERT_NE(at, std::string::npos) << what << " " << name << "\n" << dests;
            EXPECT_EQ(std::atoi(dests.c_str() + dests.rfind('\n', at) + 1), position(page))
                << what << " " << name << "\n"
                << dests;
        }

        // The link on "Even 1" and the outline item's action name "Intro-2" (which poppler
        // finds on "Even 2" above).
        const std::string evenOne =
            QpdfJson(out, "--json-key=pages",
                     ".pages[" + std::to_string(position("Even 1") - 1) + "].object");
        const std::string link = ObjectValue(out, evenOne, R"(["/Annots"][0])");
        EXPECT_EQ(ObjectValue(out, link, R"(["/Dest"])"), "u:Intro-2") << what;
        EXPECT_EQ(ObjectValue(out, evenOne, R"(["/Annots"][1]["/A"]["/D"])"), "/Chapter-2") << what;
        const std::string action =
            ObjectValue(out,
                        QpdfJson(out, "--json-key=outlines",
                                 R"(.outlines[] | select(.title == "even intro") | .object)"),
                        R"(["/A"])");
        EXPECT_EQ(ObjectValue(out, action, R"(["/D"])"), "u:Intro-2") << what;

        EXPECT_EQ(QpdfJson(out, "--json-key=pagelabels", ".pagelabels"), c.labels) << what;
    }
}

}  // namespace
}  // namespace verava
