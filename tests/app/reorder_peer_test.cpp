// Reverse and merge of documents of a few hundred pages in deep trees whose nodes carry what
// pages inherit (media and crop boxes, rotation, fonts): every output passes qpdf --check, and
// each output page shows, for pdfinfo and pdftotext, exactly what its input page showed.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/workflow.h"
#include "objects/pdf_text.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"
#include "support/requirements.h"

namespace verava {
namespace {

using testing::PdfBuilder;
using testing::Quote;
using testing::RunCommand;

// `pages` pages under a tree of depth 3 (fanout 8): the root gives A4 and the font, every
// second node one level down turns its pages by 90 degrees and gives Letter, every third
// node below gives a crop box; every seventh page has its own media box.
std::string InheritingDocument(int pages, const std::string& prefix) {
    PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Set(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    int next = 4;
    std::vector<int> pageNumbers;
    std::map<int, std::string> nodes;  // number -> entries besides Kids, Count, Parent
    std::vector<std::pair<int, std::vector<int>>> kidsOf;
    // Leaves first: pages and their contents.
    for (int k = 1; k <= pages; ++k) {
        pageNumbers.push_back(next);
        next += 2;
    }
    std::vector<int> level = pageNumbers;
    std::map<int, int> parentOf;
    int depth = 0;
    while (level.size() > 1 || depth == 0) {
        std::vector<int> up;
        for (size_t i = 0; i < level.size(); i += 8) {
            const int node = level.size() <= 8 ? 2 : next++;
            std::vector<int> kids(level.begin() + i,
                                  level.begin() + std::min(level.size(), i + 8));
            for (int kid : kids) parentOf[kid] = node;
            kidsOf.emplace_back(node, kids);
            std::string extra;
            if (node != 2 && depth == 1 && up.size() % 2 == 1) {
                extra = " /Rotate 90 /MediaBox [0 0 612 792]";
            }
            if (node != 2 && depth == 0 && up.size() % 3 == 2) extra = " /CropBox [20 20 500 700]";
            nodes[node] = extra;
            up.push_back(node);
        }
        level = up;
        ++depth;
        if (up.size() == 1) break;
    }
    std::map<int, int> count;
    for (const auto& [node, kids] : kidsOf) {
        int c = 0;
        for (int kid : kids) c += count.count(kid) ? count[kid] : 1;
        count[node] = c;
    }
    for (const auto& [node, kids] : kidsOf) {
        std::string list;
        for (int kid : kids) list += std::to_string(kid) + " 0 R ";
        std::string body = "<< /Type /Pages /Kids [" + list + "] /Count " +
                           std::to_string(count[node]) + nodes[node];
        if (node == 2) {
            body += " /MediaBox [0 0 595 842] /Resources << /Font << /F1 3 0 R >> >>";
        } else {
            body += " /Parent " + std::to_string(parentOf[node]) + " 0 R";
        }
        b.Set(node, body + " >>");
    }
    for (int k = 1; k <= pages; ++k) {
        const int page = pageNumbers[static_cast<size_t>(k - 1)];
        std::string own = k % 7 == 0 ? " /MediaBox [0 0 400 600]" : "";
        b.Set(page, "<< /Type /Page /Parent " + std::to_string(parentOf[page]) + " 0 R" + own +
                        " /Contents " + std::to_string(page + 1) + " 0 R >>");
        b.Set(page + 1, PdfBuilder::StreamBody("", "BT /F1 12 Tf 30 30 Td (" + prefix + " " +
                                                       std::to_string(k) + ") Tj ET"));
    }
    b.TrailerEntries = "/Root 1 0 R";
    return b.Build();
}

// What each page shows: pdfinfo's size, rotation and crop box lines (the page number taken
// out) and pdftotext's text.
std::vector<std::string> Shown(const std::string& path) {
    int status = 0;
    const std::string info =
        RunCommand("pdfinfo -f 1 -l 100000 -box " + Quote(path) + " 2>/dev/null", &status);
    std::map<int, std::string> perPage;
    size_t at = 0;
    while ((at = info.find("Page ", at)) != std::string::npos) {
        const size_t end = info.find('\n', at);
        const std::string line = info.substr(at, end - at);
        at = end;
        // "Page    12 CropBox:   ..."
        size_t i = line.find_first_not_of(' ', 4);
        const int number = std::atoi(line.c_str() + i);
        i = line.find_first_not_of(' ', line.find(' ', i));
        const size_t colon = line.find(':', i);
        if (i == std::string::npos || colon == std::string::npos) continue;
        const std::string key = line.substr(i, colon - i);
        if (key == "size" || key == "rot" || key == "CropBox")
            perPage[number] += key + line.substr(colon) + ";";
    }
    const std::string text = RunCommand("pdftotext " + Quote(path) + " - 2>/dev/null");
    std::vector<std::string> shown;
    size_t start = 0;
    for (int n = 1; n <= static_cast<int>(perPage.size()); ++n) {
        const size_t feed = text.find('\f', start);
        shown.push_back(perPage[n] + " text:" + text.substr(start, feed - start));
        start = feed == std::string::npos ? text.size() : feed + 1;
    }
    return shown;
}

void ExpectClean(const std::string& path, const std::string& what) {
    int status = 0;
    const std::string check = RunCommand("qpdf --check " + Quote(path) + " 2>&1", &status);
    EXPECT_EQ(status, 0) << what << "\n" << check.substr(0, 2000);
}

class ReorderPeer : public ::testing::Test {
  protected:
    void SetUp() override { VERAVA_REQUIRE_TOOLS("qpdf", "pdfinfo", "pdftotext"); }
};

TEST_F(ReorderPeer, ReversedPagesShowWhatTheyShowedBefore) {
    const std::string input =
        testing::WriteTempFile("reorder-in.pdf", InheritingDocument(300, "Page"));
    const std::vector<std::string> before = Shown(input);
    ASSERT_EQ(before.size(), 300u);
    // The document shows what it is meant to: turned pages, own sizes, crop boxes.
    auto pagesShowing = [&](const std::string& what) {
        int n = 0;
        for (const std::string& shown : before) n += shown.find(what) != std::string::npos;
        return n;
    };
    EXPECT_GT(pagesShowing("rot:   90"), 20);
    EXPECT_GT(pagesShowing("400 x 600"), 20);
    EXPECT_GT(pagesShowing("20.00    20.00   500.00   700.00"), 20);
    WorkflowProgress none;
    const WorkflowResult r = ReverseFilePages(Utf8ToUnicode(input), none);
    ASSERT_EQ(r.outcome, WorkflowOutcome::Done);
    const std::string output = UnicodeToUtf8(r.outputPath);
    ExpectClean(output, "reversed");
    const std::vector<std::string> after = Shown(output);
    ASSERT_EQ(after.size(), 300u);
    for (size_t i = 0; i < 300; ++i) EXPECT_EQ(after[i], before[299 - i]) << "page " << i + 1;
}

TEST_F(ReorderPeer, MergedPagesShowWhatTheyShowedInTheirFiles) {
    for (int oddPages : {150, 151}) {
        for (bool evenReversed : {false, true}) {
            const std::string tag = std::to_string(oddPages) + (evenReversed ? "r" : "");
            const std::string odd = testing::WriteTempFile("reorder-odd-" + tag + ".pdf",
                                                           InheritingDocument(oddPages, "Odd"));
            const std::string even = testing::WriteTempFile("reorder-even-" + tag + ".pdf",
                                                            InheritingDocument(150, "Even"));
            const std::vector<std::string> odds = Shown(odd);
            const std::vector<std::string> evens = Shown(even);
            WorkflowProgress none;
            const WorkflowResult r =
                MergeFiles(Utf8ToUnicode(odd), Utf8ToUnicode(even), none, evenReversed);
            ASSERT_EQ(r.outcome, WorkflowOutcome::Done) << tag;
            const std::string output = UnicodeToUtf8(r.outputPath);
            ExpectClean(output, "merged " + tag);
            const std::vector<std::string> merged = Shown(output);
            ASSERT_EQ(merged.size(), static_cast<size_t>(oddPages + 150)) << tag;
            for (size_t k = 0; k < merged.size(); ++k) {
                const size_t pair = k / 2;
                const std::string& expected =
                    k % 2 == 0 || pair >= 150 ? odds[k < 300 ? pair : k - 150]
                                              : evens[evenReversed ? 149 - pair : pair];
                EXPECT_EQ(merged[k], expected) << tag << " page " << k + 1;
            }
        }
    }
}

}  // namespace
}  // namespace verava
