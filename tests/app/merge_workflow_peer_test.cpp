// The merge job end to end on files that qpdf wrote or rewrote (object streams, linearized),
// incremental updates, forms, outlines and differing page sizes. Every output must pass
// `qpdf --check` and show O1, E1, O2, E2, ... page by page in pdftotext; fields and outline
// items of both files must survive, as qpdf reads them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/workflow.h"
#include "objects/pdf_text.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"
#include "support/requirements.h"

namespace verava {
namespace {

using testing::DocumentShapes;
using testing::PdfBuilder;
using testing::PdfInfoValue;
using testing::QpdfRewrite;
using testing::Quote;
using testing::RunCommand;
using testing::SimpleDocument;
using testing::WriteTempFile;
using testing::XRefKind;

// "Odd 1", "Even 1", "Odd 2", ... for the given counts.
std::vector<std::string> Interleaved(int odd, int even, const std::string& oddPrefix = "Odd",
                                     const std::string& evenPrefix = "Even") {
    std::vector<std::string> out;
    for (int k = 1; k <= odd; ++k) {
        out.push_back(oddPrefix + " " + std::to_string(k));
        if (k <= even) out.push_back(evenPrefix + " " + std::to_string(k));
    }
    return out;
}

class MergeWorkflowPeer : public ::testing::Test {
  public:
    void SetUp() override { VERAVA_REQUIRE_TOOLS("qpdf", "pdftotext", "pdfinfo"); }
    // Runs the merge job; the output path ("" when it failed).
    static std::string Merge(const std::string& odd, const std::string& even,
                             const std::string& what) {
        WorkflowProgress none;
        const WorkflowResult r = MergeFiles(Utf8ToUnicode(odd), Utf8ToUnicode(even), none);
        EXPECT_EQ(r.outcome, WorkflowOutcome::Done) << what;
        return r.outcome == WorkflowOutcome::Done ? UnicodeToUtf8(r.outputPath) : "";
    }

    static void ExpectMerged(const std::string& path, const std::vector<std::string>& texts,
                             const std::string& what) {
        ASSERT_FALSE(path.empty()) << what;
        int status = -1;
        const std::string log = RunCommand("qpdf --check " + Quote(path) + " 2>&1", &status);
        EXPECT_EQ(status, 0) << what << "\n" << log;
        EXPECT_EQ(PdfInfoValue(path, "Pages"), std::to_string(texts.size())) << what;
        for (size_t k = 0; k < texts.size(); ++k) {
            const std::string n = std::to_string(k + 1);
            std::string text = RunCommand("pdftotext -q -f " + n + " -l " + n + " " + Quote(path) +
                                          " - 2>/dev/null");
            // The first line is the page's own text; form fields may show below it.
            EXPECT_EQ(text.substr(0, text.find_first_of("\n\f")), texts[k])
                << what << " page " << n;
        }
    }
};

TEST_F(MergeWorkflowPeer, EveryShapeOfOddAndEvenFile) {
    // Equal counts and one odd page more.
    for (const auto& [oddPages, evenPages] : std::vector<std::pair<int, int>>{{3, 3}, {4, 3}}) {
        const auto odd = DocumentShapes("mwp-", "Odd", oddPages);
        const auto even = DocumentShapes("mwp-", "Even", evenPages);
        for (const auto& [oddKind, oddPath] : odd) {
            for (const auto& [evenKind, evenPath] : even) {
                const std::string what = std::to_string(oddPages) + "+" +
                                         std::to_string(evenPages) + " " + oddKind + " + " +
                                         evenKind;
                ExpectMerged(Merge(oddPath, evenPath, what), Interleaved(oddPages, evenPages),
                             what);
            }
        }
    }
}

TEST_F(MergeWorkflowPeer, IncrementalUpdatesAndAnEvenFileOfAnotherSize) {
    // The odd file's page 1 was replaced by an update (written as a cross-reference stream).
    PdfBuilder odd = SimpleDocument(2, "Odd");
    const std::string oddBytes = odd.AppendUpdate(
        odd.Build(), {{6, PdfBuilder::StreamBody("", "BT /F1 24 Tf 72 700 Td (Odd 1u) Tj ET")}},
        XRefKind::Stream, "/Root 1 0 R /Info 4 0 R");
    // The even pages inherit A4 from their root; the odd ones are Letter.
    PdfBuilder even;
    even.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    even.Set(2,
             "<< /Type /Pages /MediaBox [0 0 595 842] /Resources << /Font << /F1 3 0 R >> >> "
             "/Kids [ 4 0 R 6 0 R ] /Count 2 >>");
    even.Set(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    for (int k = 0; k < 2; ++k) {
        even.Set(4 + 2 * k,
                 "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(5 + 2 * k) + " 0 R >>");
        even.Set(5 + 2 * k, PdfBuilder::StreamBody("", "BT /F1 24 Tf 72 700 Td (Even " +
                                                           std::to_string(k + 1) + ") Tj ET"));
    }
    even.TrailerEntries = "/Root 1 0 R";
    const std::string evenBase = even.Build();
    const std::string evenBytes = even.AppendUpdate(
        evenBase, {{7, PdfBuilder::StreamBody("", "BT /F1 24 Tf 72 700 Td (Even 2u) Tj ET")}},
        XRefKind::Table, "/Root 1 0 R");
    const std::string out = Merge(WriteTempFile("mwp-upd-odd.pdf", oddBytes),
                                  WriteTempFile("mwp-upd-even.pdf", evenBytes), "updates");
    ExpectMerged(out, {"Odd 1u", "Even 1", "Odd 2", "Even 2u"}, "updates");
    for (int page = 1; page <= 4; ++page) {
        const std::string key = "Page    " + std::to_string(page) + " size";
        EXPECT_EQ(PdfInfoValue(out, key, "-f 1 -l 4").substr(0, 13),
                  page % 2 == 1 ? "612 x 792 pts" : "595 x 842 pts")
            << key;
    }
}

// A document of `pages` pages with two text fields (listed by reference) on page 1 and one
// outline item per page.
std::string FormAndOutlineFile(const std::string& prefix, int pages) {
    PdfBuilder b = SimpleDocument(pages, prefix);  // 1..4, pages at 5, 7, ...
    const int form = 5 + 2 * pages;
    const int outlines = form + 3;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm " + std::to_string(form) +
                 " 0 R /Outlines " + std::to_string(outlines) + " 0 R >>");
    b.Set(form, "<< /Fields [ " + std::to_string(form + 1) + " 0 R " + std::to_string(form + 2) +
                    " 0 R ] /DA (/Helv 0 Tf 0 g) >>");
    for (int k = 0; k < 2; ++k) {
        const std::string name = prefix + (k == 0 ? "A" : "B");
        b.Set(form + 1 + k, "<< /FT /Tx /T (" + name + ") /V (" + name +
                                " value) /Type /Annot /Subtype /Widget /Rect [ 72 " +
                                std::to_string(500 + 40 * k) + " 272 " +
                                std::to_string(530 + 40 * k) + " ] /P 5 0 R >>");
    }
    b.Set(5,
          "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R "
          ">> >> /Contents 6 0 R /Annots [ " +
              std::to_string(form + 1) + " 0 R " + std::to_string(form + 2) + " 0 R ] >>");
    const std::string root = std::to_string(outlines) + " 0 R";
    b.Set(outlines, "<< /Type /Outlines /First " + std::to_string(outlines + 1) + " 0 R /Last " +
                        std::to_string(outlines + pages) + " 0 R /Count " + std::to_string(pages) +
                        " >>");
    for (int k = 1; k <= pages; ++k) {
        std::string item = "<< /Title (" + prefix + " item " + std::to_string(k) + ") /Parent " +
                           root + " /Dest [ " + std::to_string(3 + 2 * k) + " 0 R /Fit ]";
        if (k > 1) item += " /Prev " + std::to_string(outlines + k - 1) + " 0 R";
        if (k < pages) item += " /Next " + std::to_string(outlines + k + 1) + " 0 R";
        b.Set(outlines + k, item + " >>");
    }
    return b.Build();
}

TEST_F(MergeWorkflowPeer, FieldsAndOutlinesOfBothFilesSurvive) {
    const std::string odd = FormAndOutlineFile("Odd", 2);
    const std::string even = FormAndOutlineFile("Even", 2);
    const std::vector<std::pair<std::string, std::pair<std::string, std::string>>> pairs = {
        {"builder",
         {WriteTempFile("mwp-form-odd.pdf", odd), WriteTempFile("mwp-form-even.pdf", even)}},
        {"qpdf object streams",
         {QpdfRewrite("mwp-form-odd-objstm", odd, "--object-streams=generate"),
          QpdfRewrite("mwp-form-even-objstm", even, "--object-streams=generate")}},
    };
    for (const auto& [what, files] : pairs) {
        const std::string out = Merge(files.first, files.second, what);
        ExpectMerged(out, Interleaved(2, 2), what);
        const std::string fields =
            RunCommand("qpdf --json --json-key=acroform " + Quote(out) + " 2>&1");
        for (const char* name : {"OddA", "OddB", "EvenA", "EvenB"}) {
            EXPECT_NE(fields.find("\"fullname\": \"" + std::string(name) + "\""), std::string::npos)
                << what << ": field " << name << "\n"
                << fields;
        }
        // The outline holds the odd file's items, then the even file's, each leading to
        // its page in the interleaved output.
        const std::string outlines =
            RunCommand("qpdf --json --json-key=outlines " + Quote(out) + " 2>&1");
        size_t at = 0;
        const struct {
            const char* title;
            int page;
        } items[] = {{"Odd item 1", 1}, {"Odd item 2", 3}, {"Even item 1", 2}, {"Even item 2", 4}};
        for (const auto& item : items) {
            const size_t found =
                outlines.find("\"title\": \"" + std::string(item.title) + "\"", at);
            ASSERT_NE(found, std::string::npos) << what << ": " << item.title << "\n" << outlines;
            const size_t page = outlines.find("\"destpageposfrom1\": ", at);
            EXPECT_EQ(outlines.substr(page + 20, outlines.find_first_of(",\n", page) - page - 20),
                      std::to_string(item.page))
                << what << ": " << item.title;
            at = found;
        }
    }
}

}  // namespace
}  // namespace verava
