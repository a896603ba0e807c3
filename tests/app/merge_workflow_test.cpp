// The merge job as the window and the command line run it: the output name, the page order
// odd, even, odd, even, the progress it reports, and what it says and leaves behind when it
// cannot merge.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/workflow.h"
#include "engine/brannock.h"
#include "objects/pdf_text.h"
#include "objects/wide_file_stream.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"
#include "support/requirements.h"

namespace verava {
namespace {

// The page order of a file as the labels on its pages.
std::string PageOrder(const std::u16string& path) {
    return testing::FilePageOrder(UnicodeToUtf8(path));
}

using testing::PdfBuilder;
using testing::ReadFileBytes;
using testing::RunCommand;
using testing::SimpleDocument;
using testing::WriteTempFile;

const std::u16string kMerged = u"_\u5408\u5E76\u540E.pdf";  // "_合并后.pdf"

std::u16string U(const std::string& path) { return Utf8ToUnicode(path); }
// The name as the C++ library takes it on every system (UTF-8 bytes on Linux, UTF-16 on
// Windows).
std::filesystem::path FsPath(const std::u16string& name) {
    const std::u8string utf8 = reinterpret_cast<const char8_t*>(UnicodeToUtf8(name).c_str());
    return std::filesystem::path(utf8);
}

struct Recorded {
    std::vector<int32_t> positions;
    int events = 0;
    WorkflowProgress Sink() {
        WorkflowProgress p;
        p.setPosition = [this](int32_t v) { positions.push_back(v); };
        p.processEvents = [this] { ++events; };
        return p;
    }
};

// `pages` pages showing "<prefix> 1", "<prefix> 2", ..., or, scanned last to first, the
// last of them first.
std::string Scanned(const std::string& prefix, int pages, bool reversed = false) {
    PdfBuilder b = SimpleDocument(pages, prefix);  // page k's content is object 4 + 2k
    for (int k = 1; reversed && k <= pages; ++k) {
        b.Set(4 + 2 * k, PdfBuilder::StreamBody("", "BT /F1 24 Tf 72 700 Td (" + prefix + " " +
                                                        std::to_string(pages + 1 - k) + ") Tj ET"));
    }
    return b.Build();
}

// O1,E1,O2,E2,... for the given counts.
std::string Interleaved(int odd, int even) {
    std::string out;
    for (int k = 1; k <= odd; ++k) {
        out += (out.empty() ? "" : ",") + std::string("Odd ") + std::to_string(k);
        if (k <= even) out += ",Even " + std::to_string(k);
    }
    return out;
}

// Odd and even files of the given counts in a folder of their own (names must not collide).
struct Pair {
    std::string odd, even;
    Pair(const std::string& tag, int oddPages, int evenPages, bool evenReversed = false) {
        odd = WriteTempFile(tag + "-odd.pdf", Scanned("Odd", oddPages));
        even = WriteTempFile(tag + "-even.pdf", Scanned("Even", evenPages, evenReversed));
    }
    std::u16string Output() const { return MergeOutputPath(U(odd), U(even)); }
};

TEST(MergeOutputPath, JoinsTheOddFolderAndBothNamesWithoutPdf) {
    EXPECT_EQ(MergeOutputPath(u"/scan/a.pdf", u"/elsewhere/b.pdf"), u"/scan/a_b" + kMerged);
    // Every lower-case ".pdf" goes, other spellings stay.
    EXPECT_EQ(MergeOutputPath(u"/scan/a.pdf.pdf", u"/b.pdf"), u"/scan/a_b" + kMerged);
    EXPECT_EQ(MergeOutputPath(u"/scan/A.PDF", u"/e/B.Pdf"), u"/scan/A.PDF_B.Pdf" + kMerged);
    EXPECT_EQ(MergeOutputPath(u"/scan/x.pdfy.pdf", u"b"), u"/scan/xy_b" + kMerged);
    // Folder names are not touched, the even file's folder is dropped.
    EXPECT_EQ(MergeOutputPath(u"/in.pdf/odd.pdf", u"/other.pdf/even.pdf"),
              u"/in.pdf/odd_even" + kMerged);
    EXPECT_EQ(MergeOutputPath(u"odd.pdf", u"even.pdf"), u"odd_even" + kMerged);
}

// "o1,e3,..." for a planned order.
std::string Labels(const std::vector<PlannedPage>& pages) {
    std::string out;
    for (const PlannedPage& p : pages) {
        out += (out.empty() ? "" : ",") + std::string(p.source == PageSource::Odd ? "o" : "e") +
               std::to_string(p.page);
    }
    return out;
}

TEST(MergePlan, InterleavedOrderTakesTheEvenFileEitherWay) {
    const struct {
        int odd, even;
        bool reversed;
        const char* order;
    } cases[] = {
        {3, 3, false, "o1,e1,o2,e2,o3,e3"},
        {3, 3, true, "o1,e3,o2,e2,o3,e1"},
        {3, 2, false, "o1,e1,o2,e2,o3"},
        {3, 2, true, "o1,e2,o2,e1,o3"},
        {1, 0, true, "o1"},
        {0, 0, false, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Labels(InterleavedOrder(c.odd, c.even, c.reversed)), c.order)
            << c.odd << "+" << c.even << (c.reversed ? " reversed" : "");
    }
}

// The plan and the merge agree, and the output alternates odd, even, ... for equal counts,
// one odd page more, and an even file scanned either way.
TEST(MergeWorkflow, PagesAlternateWhicheverWayTheEvenFileWasScanned) {
    const struct {
        int odd, even;
        bool reversed;
    } cases[] = {
        {3, 3, false}, {4, 3, false}, {1, 1, false}, {16, 16, false},
        {3, 3, true},  {4, 3, true},  {2, 1, true},  {3, 2, true},
    };
    for (const auto& c : cases) {
        const std::string tag =
            "mw" + std::to_string(c.odd) + "-" + std::to_string(c.even) + (c.reversed ? "r" : "");
        const Pair files(tag, c.odd, c.even, c.reversed);
        const MergePlan plan = PlanMerge(U(files.odd), U(files.even), c.reversed);
        ASSERT_EQ(plan.outcome, WorkflowOutcome::Done) << tag;
        EXPECT_EQ(plan.oddPages, c.odd) << tag;
        EXPECT_EQ(plan.evenPages, c.even) << tag;
        EXPECT_EQ(Labels(plan.pages), Labels(InterleavedOrder(c.odd, c.even, c.reversed))) << tag;
        EXPECT_FALSE(FileExistsWide(files.Output())) << tag;  // planning writes nothing
        Recorded r;
        const WorkflowResult result = MergeFiles(U(files.odd), U(files.even), r.Sink(), c.reversed);
        ASSERT_EQ(result.outcome, WorkflowOutcome::Done) << tag;
        EXPECT_EQ(result.outputPath, files.Output()) << tag;
        EXPECT_EQ(PageOrder(result.outputPath), Interleaved(c.odd, c.even)) << tag;
        ASSERT_FALSE(r.positions.empty()) << tag;
        EXPECT_EQ(r.positions.back(), 100) << tag;
        EXPECT_EQ(r.events, static_cast<int>(r.positions.size())) << tag;  // after every update
    }
}

TEST(MergeWorkflow, CountsOutsideTheOddEvenRuleWriteNothing) {
    for (const auto& [odd, even] : std::vector<std::pair<int, int>>{{3, 4}, {5, 3}, {1, 3}}) {
        const Pair files("mwbad" + std::to_string(odd) + std::to_string(even), odd, even);
        EXPECT_TRUE(PlanMerge(U(files.odd), U(files.even), false).pages.empty());
        Recorded r;
        const WorkflowResult result = MergeFiles(U(files.odd), U(files.even), r.Sink());
        EXPECT_EQ(result.outcome, WorkflowOutcome::PageCountMismatch) << odd << "+" << even;
        // Both counts, so the message can name them.
        EXPECT_EQ(result.oddPages, odd);
        EXPECT_EQ(result.evenPages, even);
        EXPECT_TRUE(r.positions.empty()) << odd << "+" << even;
        EXPECT_FALSE(FileExistsWide(files.Output())) << odd << "+" << even;
    }
}

TEST(MergeWorkflow, OutputOverrideAndAnExistingOutputAreWrittenOver) {
    const Pair files("mwover", 2, 2);
    const std::string target = WriteTempFile("mw-chosen-output.pdf", "an older file");
    WorkflowProgress none;
    const WorkflowResult result = MergeFiles(U(files.odd), U(files.even), none, false, U(target));
    ASSERT_EQ(result.outcome, WorkflowOutcome::Done);
    EXPECT_EQ(result.outputPath, U(target));
    EXPECT_EQ(PageOrder(U(target)), Interleaved(2, 2));
    EXPECT_FALSE(FileExistsWide(files.Output()));
}

TEST(MergeWorkflow, InputsThatCannotBeMergedAreNamedAndNothingIsWritten) {
    const Pair files("mwfail", 2, 2);
    const std::string folder = files.odd.substr(0, files.odd.rfind('/'));
    Recorded r;
    {
        // Missing or empty paths: nothing runs.
        for (const auto& [odd, even] :
             std::vector<std::pair<std::string, std::string>>{{"", files.even},
                                                              {files.odd, ""},
                                                              {folder + "/none.pdf", files.even},
                                                              {files.odd, folder}}) {
            const WorkflowResult result = MergeFiles(U(odd), U(even), r.Sink());
            EXPECT_EQ(result.outcome, WorkflowOutcome::InputMissing) << odd << " " << even;
        }
    }
    {
        // A file that is no PDF at all, either side.
        const std::string junk = WriteTempFile("mwfail-junk.pdf", std::string(3000, 'x'));
        for (bool second : {false, true}) {
            const WorkflowResult result =
                MergeFiles(U(second ? files.odd : junk), U(second ? junk : files.even), r.Sink());
            EXPECT_EQ(result.outcome, WorkflowOutcome::MergeUnreadable);
            EXPECT_EQ(result.failedPath, U(junk));
            EXPECT_EQ(result.errorCode, kErrorNotLoadable);
            EXPECT_FALSE(FileExistsWide(
                MergeOutputPath(U(second ? files.odd : junk), U(second ? junk : files.even))));
        }
    }
    {
        // The output cannot be created: a folder stands where it would go.
        const Pair blocked("mwblock", 2, 2);
        ASSERT_TRUE(std::filesystem::create_directory(FsPath(blocked.Output())));
        const WorkflowResult result = MergeFiles(U(blocked.odd), U(blocked.even), r.Sink());
        EXPECT_EQ(result.outcome, WorkflowOutcome::MergeFailed);
        EXPECT_EQ(result.errorCode, kErrorMergeFailed);
        std::filesystem::remove(FsPath(blocked.Output()));
    }
    // Refused merges never got past the start of the bar.
    for (int32_t position : r.positions) EXPECT_EQ(position, 0);
}

TEST(MergeWorkflow, FilesTheDocumentRepairsAreMergedWithEveryPageInPlace) {
    // Even files the merge reader alone would read wrongly (offsets that miss, a page tree
    // root it takes for a number) or not at all: the document loader is the arbiter, and
    // the merge takes each as the loader reads it.
    using Damage = std::function<std::string(const std::string&)>;
    const struct {
        const char* what;
        Damage damage;
    } cases[] = {
        {"CR LF line ends",
         [](const std::string& good) {
             std::string crlf;
             for (char c : good) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
             return crlf;
         }},
        {"offsets shifted by 200",
         [](const std::string& good) {
             return testing::InsertAt(good, good.find("1 0 obj"), std::string(200, '\n'));
         }},
        {"startxref leading nowhere",
         [](const std::string& good) {
             return good.substr(0, good.rfind("startxref\n") + 10) + "99999999\n%%EOF\n";
         }},
        {"junk before the header",
         [](const std::string& good) { return std::string(2000, 'j') + good; }},
    };
    int i = 0;
    for (const auto& c : cases) {
        for (bool reversed : {false, true}) {
            const std::string tag = "mwrep" + std::to_string(i++);
            const std::string odd = WriteTempFile(tag + "-odd.pdf", Scanned("Odd", 4));
            const std::string even =
                WriteTempFile(tag + "-even.pdf", c.damage(Scanned("Even", 4, reversed)));
            WorkflowProgress none;
            const WorkflowResult result = MergeFiles(U(odd), U(even), none, reversed);
            ASSERT_EQ(result.outcome, WorkflowOutcome::Done) << c.what << " " << reversed;
            EXPECT_EQ(PageOrder(result.outputPath), Interleaved(4, 4)) << c.what << " " << reversed;
        }
    }
}

TEST(MergeWorkflow, AnOutputThatIsAnInputIsRefusedAndNothingIsTouched) {
    const Pair files("mwsame", 2, 2);
    const std::string oddBytes = ReadFileBytes(files.odd);
    const std::string evenBytes = ReadFileBytes(files.even);
    const std::string link = files.even + ".link.pdf";
    const std::string folder = files.odd.substr(0, files.odd.rfind('/'));
    const std::string dotted = folder + "/./" + files.odd.substr(files.odd.rfind('/') + 1);
    std::vector<std::string> outputs = {files.odd, files.even, dotted};
    // MinGW's C++ library makes no symbolic links on Windows; everywhere else one is made.
    std::error_code linkError;
    std::filesystem::create_symlink(FsPath(U(files.even)), FsPath(U(link)), linkError);
    if (linkError) {
        EXPECT_EQ(linkError, std::make_error_code(std::errc::function_not_supported));
    } else {
        outputs.push_back(link);
    }
    for (const std::string& output : outputs) {
        WorkflowProgress none;
        const WorkflowResult result =
            MergeFiles(U(files.odd), U(files.even), none, false, U(output));
        EXPECT_EQ(result.outcome, WorkflowOutcome::OutputLocked) << output;
        EXPECT_EQ(result.errorCode, kErrorOutputLocked) << output;
        EXPECT_EQ(result.failedPath, U(output)) << output;
        EXPECT_EQ(ReadFileBytes(files.odd), oddBytes) << output;
        EXPECT_EQ(ReadFileBytes(files.even), evenBytes) << output;
    }
    std::filesystem::remove(FsPath(U(link)), linkError);
}

TEST(MergeWorkflow, EncryptedInputsWithTheirPasswordsAreMergedThroughDecryptedCopies) {
    VERAVA_REQUIRE_TOOLS("qpdf");
    // (user password, the password given, what comes of it) for the odd or the even file.
    const struct {
        const char* user;
        const char* given;
        WorkflowOutcome outcome;
        int32_t code;  // the engine's code behind a refusal
    } cases[] = {
        {"usr", "usr", WorkflowOutcome::Done, 0},  // the user password
        {"usr", "own", WorkflowOutcome::Done, 0},  // the owner password
        {"''", "own", WorkflowOutcome::Done, 0},   // opens for everyone, merged with a password
        {"usr", "nope", WorkflowOutcome::PasswordRequired, kErrorPassword},
        // Without a password: one that does not even open, one the merge refuses once open.
        {"usr", "", WorkflowOutcome::MergeEncrypted, kErrorPassword},
        {"''", "", WorkflowOutcome::MergeEncrypted, kErrorMergeEncrypted},
    };
    int i = 0;
    for (const auto& c : cases) {
        for (bool evenLocked : {false, true}) {
            const Pair files("mwpw" + std::to_string(i++), 3, 3);
            const std::string& target = evenLocked ? files.even : files.odd;
            const std::string plain = target + ".plain";
            ASSERT_EQ(rename(target.c_str(), plain.c_str()), 0);
            int status = -1;
            RunCommand("qpdf --object-streams=generate --encrypt " + std::string(c.user) +
                           " own 256 -- '" + plain + "' '" + target + "' 2>&1",
                       &status);
            ASSERT_EQ(status, 0);
            const std::u16string password = Utf8ToUnicode(c.given);
            WorkflowProgress none;
            const WorkflowResult result =
                MergeFiles(U(files.odd), U(files.even), none, false, u"",
                           evenLocked ? u"" : password, evenLocked ? password : u"");
            const std::string what =
                std::string(c.user) + "/" + c.given + (evenLocked ? " even" : " odd");
            ASSERT_EQ(result.outcome, c.outcome) << what;
            EXPECT_EQ(result.errorCode, c.code) << what;
            if (c.outcome != WorkflowOutcome::Done) {
                EXPECT_EQ(result.failedPath, U(target)) << what;
                EXPECT_FALSE(FileExistsWide(files.Output())) << what;
                continue;
            }
            EXPECT_TRUE(result.decrypted) << what;
            EXPECT_EQ(PageOrder(result.outputPath), Interleaved(3, 3)) << what;
            const std::string shown = RunCommand("qpdf --show-encryption '" +
                                                 UnicodeToUtf8(result.outputPath) + "' 2>&1");
            EXPECT_NE(shown.find("File is not encrypted"), std::string::npos) << what;
        }
    }
}

}  // namespace
}  // namespace verava
