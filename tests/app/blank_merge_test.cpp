// Blank backs left out of a merge, and the dry run that lists the order: the workflow as the
// window runs it, and verava-cli's --drop-blank, --blank-threshold and --dry-run.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/cli_run.h"
#include "app/workflow.h"
#include "objects/pdf_text.h"
#include "objects/wide_file_stream.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"
#include "support/requirements.h"
#include "support/scanned_pages.h"

namespace verava {
namespace {

using testing::PdfBuilder;
using testing::ScanKind;
using testing::WriteTempFile;

std::u16string U(const std::string& path) { return Utf8ToUnicode(path); }

// One page of a test file. Every page carries its label ("Odd 2") in its first content
// stream, as text when it shows text and as a comment otherwise, so the output's order can
// be read back whatever the page holds.
enum class Kind {
    Text,         // shows its label
    NoContents,   // no Contents entry at all
    EmptyStream,  // a content stream that paints nothing
    ScanBlank,    // a JPEG scan of white paper with noise and dust
    ScanNumber,   // a JPEG scan holding only a page number
    ScanDark,     // a JPEG scan of a dark page
    BrokenImage,  // a DCTDecode image whose data is not JPEG
};

std::string Scan(ScanKind kind, uint32_t seed) {
    return testing::EncodeJpeg(testing::MakeScan(kind, 150, seed, 7), 75);
}

// A file of pages of the given kinds, labelled `prefix` 1, 2, ...
std::string FileOf(const std::string& prefix, const std::vector<Kind>& kinds) {
    PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Set(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    std::string kids;
    int next = 4;
    for (size_t k = 0; k < kinds.size(); ++k) {
        const std::string label = prefix + " " + std::to_string(k + 1);
        const int page = next++;
        const int contents = next++;
        kids += std::to_string(page) + " 0 R ";
        std::string resources = "<< /Font << /F1 3 0 R >> >>";
        std::string content = "% (" + label + ")\nq Q";
        std::string image;
        switch (kinds[k]) {
            case Kind::Text:
                content = "BT /F1 24 Tf 72 700 Td (" + label + ") Tj ET";
                break;
            case Kind::NoContents:
            case Kind::EmptyStream:
                break;
            case Kind::ScanBlank:
                image = Scan(ScanKind::WhiteNoise, 100 + static_cast<uint32_t>(k));
                break;
            case Kind::ScanNumber:
                image = Scan(ScanKind::PageNumber, 200 + static_cast<uint32_t>(k));
                break;
            case Kind::ScanDark:
                image = Scan(ScanKind::Dark, 300 + static_cast<uint32_t>(k));
                break;
            case Kind::BrokenImage:
                image = std::string(4000, 'x');
                break;
        }
        if (!image.empty()) {
            const int xobject = next++;
            b.Set(xobject, PdfBuilder::StreamBody("/Type /XObject /Subtype /Image /Width 1240 "
                                                  "/Height 1754 /ColorSpace /DeviceGray "
                                                  "/BitsPerComponent 8 /Filter /DCTDecode",
                                                  image));
            resources = "<< /XObject << /Im0 " + std::to_string(xobject) + " 0 R >> >>";
            content = "% (" + label + ")\nq 595 0 0 842 0 0 cm /Im0 Do Q";
        }
        const std::string contentsEntry =
            kinds[k] == Kind::NoContents ? "" : " /Contents " + std::to_string(contents) + " 0 R";
        b.Set(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources " + resources +
                        contentsEntry + " >>");
        b.Set(contents, PdfBuilder::StreamBody("", content));
    }
    b.Set(2,
          "<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(kinds.size()) + " >>");
    b.TrailerEntries = "/Root 1 0 R";
    return b.Build();
}

struct ScanPair {
    std::string odd, even;
    ScanPair(const std::string& tag, const std::vector<Kind>& oddKinds,
             const std::vector<Kind>& evenKinds) {
        odd = WriteTempFile(tag + "-odd.pdf", FileOf("Odd", oddKinds));
        even = WriteTempFile(tag + "-even.pdf", FileOf("Even", evenKinds));
    }
    MergeRequest Request(bool dropBlank) const {
        MergeRequest request;
        request.oddPath = U(odd);
        request.evenPath = U(even);
        request.blankPages.enabled = dropBlank;
        return request;
    }
    std::u16string Output() const { return MergeOutputPath(U(odd), U(even)); }
};

// "o2,e1" for a list of planned pages.
std::string Labels(const std::vector<PlannedPage>& pages) {
    std::string out;
    for (const PlannedPage& page : pages) {
        if (!out.empty()) out += ",";
        out += (page.source == PageSource::Odd ? "o" : "e") + std::to_string(page.page);
    }
    return out;
}

// "o1 image DCTDecode" for pages kept because they could not be looked at in full.
std::string Labels(const std::vector<KeptPage>& pages) {
    std::string out;
    for (const KeptPage& kept : pages) {
        if (!out.empty()) out += ",";
        out += Labels({kept.page});
        out += kept.doubt == TPageDoubt::Image     ? " image " + kept.encoding
               : kept.doubt == TPageDoubt::Content ? " content"
                                                   : " other";
    }
    return out;
}

std::string OrderOf(const std::u16string& path) {
    return testing::FilePageOrder(UnicodeToUtf8(path));
}

// Odd: text, blank scan, page-number scan. Even: no contents (its label reads "?"), text,
// empty stream.
const std::vector<Kind> kOddMixed = {Kind::Text, Kind::ScanBlank, Kind::ScanNumber};
const std::vector<Kind> kEvenMixed = {Kind::NoContents, Kind::Text, Kind::EmptyStream};

// The plan looks at every page and writes nothing; the merge then writes what it planned
// and reports the same pages dropped and kept.
TEST(BlankMerge, BlankPagesAreLeftOutWhileContentAndUnreadableImagesStay) {
    // The mixed even pages scanned last to first: its page 3 comes first.
    const std::vector<Kind> turnedEven = {Kind::EmptyStream, Kind::Text, Kind::NoContents};
    const std::vector<Kind> brokenOdd = {Kind::BrokenImage, Kind::ScanBlank};
    const std::vector<Kind> darkEven = {Kind::Text, Kind::ScanDark};
    const std::vector<Kind> blankOdd = {Kind::ScanBlank, Kind::EmptyStream};
    const std::vector<Kind> blankEven = {Kind::NoContents, Kind::ScanBlank};
    const std::vector<Kind> numberOdd = {Kind::Text, Kind::ScanNumber};
    const std::vector<Kind> numberEven = {Kind::ScanBlank, Kind::Text};
    const double byDefault = kDefaultBlankThreshold;
    const struct {
        const char* what;
        std::vector<Kind> odd, even;
        bool dropBlank;
        bool reversed;
        double threshold;
        const char* dropped;     // in the interleaved order
        const char* unreadable;  // kept, not looked at in full, and why
        const char* order;       // of the merged file
    } cases[] = {
        {"mixed", kOddMixed, kEvenMixed, true, false, byDefault, "e1,o2,e3", "",
         "Odd 1,Even 2,Odd 3"},
        {"without the option", kOddMixed, kEvenMixed, false, false, byDefault, "", "",
         "Odd 1,?,Odd 2,Even 2,Odd 3,Even 3"},
        {"reversed evens", kOddMixed, turnedEven, true, true, byDefault, "e3,o2,e1", "",
         "Odd 1,Even 2,Odd 3"},
        // A dark page is content, not blank.
        {"broken image", brokenOdd, darkEven, true, false, byDefault, "o2", "o1 image DCTDecode",
         "Odd 1,Even 1,Even 2"},
        {"all blank keeps the first", blankOdd, blankEven, true, false, byDefault, "e1,o2,e2", "",
         "Odd 1"},
        // The default keeps a page number alone; a generous threshold calls it paper; 0 calls
        // no scan blank (a page without any painting still goes).
        {"page number", numberOdd, numberEven, true, false, byDefault, "e1", "",
         "Odd 1,Odd 2,Even 2"},
        {"page number, 5", numberOdd, numberEven, true, false, 5, "e1,o2", "", "Odd 1,Even 2"},
        {"page number, 0", numberOdd, numberEven, true, false, 0, "", "",
         "Odd 1,Even 1,Odd 2,Even 2"},
    };
    std::vector<std::pair<std::string, size_t>> withDropped;  // and their page counts
    int n = 0;
    for (const auto& c : cases) {
        const ScanPair files("bm" + std::to_string(n++), c.odd, c.even);
        MergeRequest request = files.Request(c.dropBlank);
        request.evenReversed = c.reversed;
        request.blankPages.threshold = c.threshold;
        std::vector<int32_t> positions;
        WorkflowProgress progress;
        progress.setPosition = [&](int32_t v) { positions.push_back(v); };
        const MergePlan plan = PlanMerge(request, progress);
        ASSERT_EQ(plan.outcome, WorkflowOutcome::Done) << c.what;
        EXPECT_EQ(Labels(plan.dropped), c.dropped) << c.what;
        EXPECT_EQ(Labels(plan.unreadable), c.unreadable) << c.what;
        EXPECT_FALSE(FileExistsWide(files.Output())) << c.what;
        if (c.dropBlank) {
            EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end())) << c.what;
            EXPECT_EQ(positions.empty() ? -1 : positions.back(), 100) << c.what;
        }

        const WorkflowResult result = MergeFiles(request, {});
        ASSERT_EQ(result.outcome, WorkflowOutcome::Done) << c.what;
        EXPECT_EQ(result.blankPagesLookedFor, c.dropBlank) << c.what;
        EXPECT_EQ(Labels(result.dropped), c.dropped) << c.what;
        EXPECT_EQ(Labels(result.unreadable), c.unreadable) << c.what;
        EXPECT_EQ(OrderOf(result.outputPath), c.order) << c.what;
        // qpdf rightly warns about a broken image; those files are left out.
        if (!result.dropped.empty() && result.unreadable.empty()) {
            withDropped.emplace_back(UnicodeToUtf8(result.outputPath), plan.pages.size());
        }
    }
    // An independent reader agrees on the structure and the count of the files that lost
    // pages.
    VERAVA_REQUIRE_TOOLS("qpdf");
    for (const auto& [out, pages] : withDropped) {
        int status = -1;
        testing::RunCommand("qpdf --check '" + out + "' >/dev/null 2>&1", &status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_EQ(testing::RunCommand("qpdf --show-npages '" + out + "'"),
                  std::to_string(pages) + "\n");
    }
}

#ifdef VERAVA_CLI

using testing::Cli;
using testing::CliRun;
using testing::Q;

TEST(BlankMergeCli, DryRunListsTheOrderAndWritesNothing) {
    const ScanPair files("bmcli", kOddMixed, kEvenMixed);
    const std::string pair = Q(files.odd) + " " + Q(files.even);
    const std::string output = UnicodeToUtf8(files.Output());
    struct Case {
        std::string options;
        std::string listing;
    };
    const Case cases[] = {
        {"--dry-run", "1 odd 1\n2 even 1\n3 odd 2\n4 even 2\n5 odd 3\n6 even 3\n"},
        {"--drop-blank --dry-run --reverse-even",
         "1 odd 1\ndropped even 3 (back of sheet 1)\ndropped odd 2\n2 even 2\n3 odd 3\n"
         "dropped even 1 (back of sheet 3)\n"},
        {"--dry-run --drop-blank --blank-threshold 0",
         "1 odd 1\ndropped even 1\n2 odd 2\n3 even 2\n4 odd 3\ndropped even 3\n"},
    };
    for (const Case& c : cases) {
        const CliRun r = Cli("merge " + pair + " " + c.options);
        EXPECT_EQ(r.status, 0) << c.options << "\n" << r.err;
        EXPECT_EQ(r.out, c.listing) << c.options;
        EXPECT_FALSE(testing::FileExists(output)) << c.options;
    }
    // A dry run that cannot merge says why, as the merge would.
    const CliRun missing = Cli("merge --dry-run " + Q(files.odd) + " /no/such.pdf");
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_NE(missing.err.find("/no/such.pdf"), std::string::npos) << missing.err;
}

TEST(BlankMergeCli, DroppedAndUnreadablePagesAreNamedOnStandardError) {
    const ScanPair files("bmclirun", kOddMixed, kEvenMixed);
    const CliRun r = Cli("merge " + Q(files.odd) + " " + Q(files.even) + " --drop-blank");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, UnicodeToUtf8(files.Output()) + "\n");
    EXPECT_NE(r.err.find("dropped 3 pages (blank): even 1, odd 2, even 3"), std::string::npos)
        << r.err;

    const ScanPair broken("bmclibroken", {Kind::BrokenImage}, {Kind::Text});
    const CliRun kept = Cli("merge " + Q(broken.odd) + " " + Q(broken.even) + " --drop-blank");
    ASSERT_EQ(kept.status, 0) << kept.err;
    EXPECT_NE(kept.err.find("no blank pages found"), std::string::npos) << kept.err;
    EXPECT_NE(kept.err.find("kept 1 page that could not be looked at in full: odd 1 (an "
                            "image, DCTDecode)"),
              std::string::npos)
        << kept.err;

    // Without the option the merge says nothing about blank pages.
    const CliRun plain = Cli("merge " + Q(files.odd) + " " + Q(files.even));
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_TRUE(plain.err.empty()) << plain.err;
}

#endif  // VERAVA_CLI

}  // namespace
}  // namespace verava
