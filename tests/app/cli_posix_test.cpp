// verava-cli as a user runs it: exit status, what goes to standard output, and one clear
// line on standard error naming the file and the reason. POSIX only for now: the cases are
// set up through the shell (ulimit, FIFOs, quoting); the Windows build runs the other tests
// that drive the program (testing::Cli).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "app/cli_run.h"
#include "security/rc4.h"
#include "support/bytes.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"
#include "support/requirements.h"
#include "support/standard_encryption.h"

#ifdef VERAVA_CLI

namespace verava {
namespace {

using testing::Cli;
using testing::CliRun;
using testing::Q;

TEST(Cli, HelpNamesEachCommandAndItsOptions) {
    const struct {
        const char* command;
        const char* shows;
    } cases[] = {
        {"--help", "reverse INPUT.pdf"},
        {"reverse --help", "usage: verava-cli reverse"},
        {"info --help", "usage: verava-cli info"},
        {"show --help", "usage: verava-cli show"},
        {"merge --help", "[--odd-password PW] [--even-password PW]"},
        {"merge --help", "The merged file is then NOT\nencrypted"},
        {"merge --help", "[--drop-blank [--blank-threshold N]] [--dry-run]"},
        {"merge --help", "default 0.002"},
    };
    for (const auto& c : cases) {
        const CliRun r = Cli(c.command);
        EXPECT_EQ(r.status, 0) << c.command;
        EXPECT_NE(r.out.find(c.shows), std::string::npos) << c.command << ": " << c.shows;
    }
    EXPECT_EQ(Cli("--version").out, std::string("verava-cli ") + VERAVA_VERSION + "\n");
}

// Usage errors end with status 2 and a word on standard error, before any file is read.
TEST(Cli, UsageErrorsAreRefusedBeforeAnythingIsRead) {
    for (const char* command :
         {"", "frobnicate", "reverse", "reverse a.pdf --bogus", "show a.pdf x",
          "show a.pdf 1 --stream sideways", "reverse a.pdf --output",
          // Options of one command are refused by the others.
          "reverse a.pdf --odd-password x", "merge a.pdf b.pdf --password x",
          "merge a.pdf b.pdf --json", "info a.pdf --even-password x",
          "merge a.pdf b.pdf --odd-password", "reverse a.pdf --drop-blank",
          "reverse a.pdf --dry-run", "info a.pdf --drop-blank", "show a.pdf 1 --dry-run",
          // A threshold only with --drop-blank, and a plain percentage.
          "merge a.pdf b.pdf --blank-threshold 1",
          "merge a.pdf b.pdf --drop-blank --blank-threshold",
          "merge a.pdf b.pdf --drop-blank --blank-threshold x",
          "merge a.pdf b.pdf --drop-blank --blank-threshold 101",
          "merge a.pdf b.pdf --drop-blank --blank-threshold -1",
          "merge a.pdf b.pdf --drop-blank --blank-threshold 1.2.3",
          "merge a.pdf b.pdf --drop-blank --blank-threshold 1e2"}) {
        const CliRun r = Cli(command);
        EXPECT_EQ(r.status, 2) << command;
        EXPECT_FALSE(r.err.empty()) << command;
    }
}

TEST(Cli, ReverseWritesBesideTheInputOrWhereTold) {
    const std::string input =
        testing::WriteTempFile("cli-in.pdf", testing::SimpleDocument(3).Build());
    const CliRun r = Cli("reverse " + Q(input));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string expected =
        input.substr(0, input.size() - 4) + "_\xE9\x87\x8D\xE6\x8E\x92\xE5\x90\x8E.pdf";
    EXPECT_EQ(r.out, expected + "\n");
    EXPECT_TRUE(r.err.empty()) << r.err;  // no progress bar when stderr is no terminal

    const std::string chosen = testing::WriteTempFile("cli-chosen.pdf", "");
    const CliRun to = Cli("reverse " + Q(input) + " --output " + Q(chosen));
    EXPECT_EQ(to.status, 0);
    const CliRun info = Cli("info " + Q(chosen));
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("pages: 3\n"), std::string::npos);

    // Never over the input.
    EXPECT_EQ(Cli("reverse " + Q(input) + " --output " + Q(input)).status, 2);
}

TEST(Cli, FailuresNameTheFileAndTheReason) {
    const CliRun missing = Cli("reverse /no/such/file.pdf");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "verava-cli: /no/such/file.pdf: not found\n");
    const std::string junk = testing::WriteTempFile("cli-junk.pdf", "hello");
    const CliRun bad = Cli("info " + Q(junk));
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "verava-cli: " + junk + ": not a PDF, or damaged beyond repair\n");
}

// An output that cannot be written is refused at once or given up cleanly: the message says
// what the system said, and whatever stood at the output path stays as it was.
TEST(Cli, OutputsThatCannotBeWrittenSayWhyAndKeepWhatWasThere) {
    const std::string input =
        testing::WriteTempFile("cli-ok.pdf", testing::SimpleDocument(40).Build());
    const std::string folder = input.substr(0, input.rfind('/') + 1);
    const std::string kept = testing::WriteTempFile("cli-kept.pdf", "an earlier output");
    const std::string fifo = folder + "cli-fifo.pdf";
    unlink(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string output;
        std::string limit;             // a shell prefix
        std::string said;              // after the output's name
        std::string job = "reverse ";  // and its input
    } cases[] = {
        {"/no/such/dir/out.pdf", "",
         "cannot write: no such file or directory while creating the new file"},
        {folder, "", "cannot write: is a folder, not a file"},
        {fifo, "", "cannot write: is not a regular file (a pipe, a device or a socket)"},
        // A file-size limit stands for a full disk: the write fails halfway.
        {kept, "ulimit -f 2; ", "cannot write: file too large while writing"},
        {kept, "ulimit -f 2; ", "cannot write: file too large while writing",
         "merge " + Q(input) + " "},
    };
    for (const auto& c : cases) {
        const std::string errFile = testing::WriteTempFile("cli-stderr.txt", "");
        int status = 0;
        testing::RunCommand("(" + c.limit + "exec timeout 20 " + std::string(VERAVA_CLI) + " " +
                                c.job + Q(input) + " --output " + Q(c.output) + ") 2>'" + errFile +
                                "'",
                            &status);
        EXPECT_EQ(status, 1) << c.output;
        EXPECT_EQ(testing::ReadFileBytes(errFile),
                  "verava-cli: " + c.output + ": " + c.said + "\n");
    }
    EXPECT_EQ(testing::ReadFileBytes(kept), "an earlier output");
    unlink(fifo.c_str());
}

TEST(Cli, InfoAndShow) {
    testing::PdfBuilder b = testing::SimpleDocument(2);
    b.Compress(3);
    const std::string input =
        testing::WriteTempFile("cli-show.pdf", b.Build(testing::XRefKind::StreamFlatePredicted));
    const CliRun info = Cli("info " + Q(input));
    ASSERT_EQ(info.status, 0);
    EXPECT_EQ(info.out.substr(0, 30), "version: 1.4\npages: 2\nencrypte");
    EXPECT_NE(info.out.find("encrypted: no\n"), std::string::npos);
    EXPECT_NE(info.out.find("repaired: no\n"), std::string::npos);

    const CliRun font = Cli("show " + Q(input) + " 3");
    EXPECT_EQ(font.status, 0);
    EXPECT_EQ(font.out, "<<\n/Type /Font\n/Subtype /Type1\n/BaseFont /Helvetica\n>>\n");
    const CliRun content = Cli("show " + Q(input) + " 6 --stream decoded");
    EXPECT_EQ(content.out, "BT /F1 24 Tf 72 700 Td (Page 1) Tj ET");
    EXPECT_EQ(Cli("show " + Q(input) + " 3 --stream raw").status, 1);
    EXPECT_EQ(Cli("show " + Q(input) + " 999").status, 1);
}

TEST(Cli, InfoJsonHoldsTheKeysOfTheLinesInOneObject) {
    // Cut before "startxref", the file is rebuilt by the scan: "repaired" turns true.
    const std::string bytes = testing::SimpleDocument(3).Build();
    const std::string cut =
        testing::WriteTempFile("cli-json-cut.pdf", bytes.substr(0, bytes.rfind("startxref")));
    for (const std::string& input : {testing::WriteTempFile("cli-json.pdf", bytes), cut}) {
        std::istringstream lines(Cli("info " + Q(input)).out);
        std::string key, value, expected;
        while (lines >> key >> value) {
            key.pop_back();  // the colon
            const bool number = key == "pages" || key == "objects";
            value = key == "repaired" ? (value == "yes" ? "true" : "false")
                    : number          ? value
                                      : "\"" + value + "\"";
            expected += (expected.empty() ? "{\"" : ", \"") + key + "\": " + value;
        }
        EXPECT_EQ(Cli("info " + Q(input) + " --json").out, expected + "}\n");
    }
    EXPECT_NE(Cli("info " + Q(cut) + " --json").out.find("\"repaired\": true}"), std::string::npos);
}

TEST(Cli, MergeNamesBothPageCountsAndThePasswordOptionItNeeds) {
    VERAVA_REQUIRE_TOOLS("qpdf");
    const std::string odd =
        testing::WriteTempFile("cli-m-odd.pdf", testing::SimpleDocument(2, "Odd").Build());
    const std::string even =
        testing::QpdfRewrite("cli-m-even", testing::SimpleDocument(2, "Even").Build(),
                             "--encrypt evenpw owner 128 --use-aes=y --");
    const std::string out = odd + ".merged.pdf";
    const std::string merge = "merge " + Q(odd) + " " + Q(even) + " --output " + Q(out);
    const struct {
        std::string options, err;
    } refusals[] = {
        {"", even + ": encrypted: give its password (--even-password) or remove the password "
                    "before merging"},
        {" --even-password nope", even + ": wrong password"},
    };
    for (const auto& r : refusals) {
        const CliRun run = Cli(merge + r.options);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "verava-cli: " + r.err + "\n");
    }
    EXPECT_FALSE(testing::FileExists(out));

    const CliRun both = Cli(merge + " --even-password evenpw");
    ASSERT_EQ(both.status, 0) << both.err;
    EXPECT_EQ(both.out, out + "\n");
    EXPECT_EQ(both.err, "verava-cli: " + out +
                            ": note: the merged file is not encrypted (an "
                            "encrypted input was merged with its password)\n");

    const std::string three =
        testing::WriteTempFile("cli-m-three.pdf", testing::SimpleDocument(3).Build());
    EXPECT_EQ(Cli("merge " + Q(odd) + " " + Q(three)).err,
              "verava-cli: " + odd + " and " + three +
                  ": the odd file has 2 pages and the even file 3: the odd file must have as "
                  "many pages as the even file or one more\n");
}

TEST(Cli, PasswordsFromUtf8AndGbkTerminalsOpenTheSameFile) {
    // One page whose content stream is encrypted with the key of the GBK password 中文.
    testing::StandardEncryption e;
    e.UserPassword = "\xD6\xD0\xCE\xC4";
    e.OwnerPassword = "owner";
    const std::string plain = "BT /F1 24 Tf 72 700 Td (Secret) Tj ET";
    testing::PdfBuilder b = testing::SimpleDocument(1);
    b.Set(4, "<< >>");
    b.Set(6, testing::PdfBuilder::StreamBody(
                 "", Rc4(testing::Rc4ObjectKey(testing::FileKey(e), 6, 0), plain)));
    b.Set(9, testing::EncryptDictionary(e));
    const std::string id = "<" + testing::ToHex(e.Id0) + ">";
    b.TrailerEntries += " /Encrypt 9 0 R /ID [" + id + " " + id + "]";
    const std::string input = testing::WriteTempFile("cli-gbk-password.pdf", b.Build());
    const std::string show = "show " + Q(input) + " 6 --stream decoded --password ";

    const CliRun utf8 = Cli(show + Q("\xE4\xB8\xAD\xE6\x96\x87"));
    EXPECT_EQ(utf8.status, 0) << utf8.err;
    EXPECT_EQ(utf8.out, plain);
    // A GBK terminal passes the GBK bytes themselves.
    const CliRun gbk = Cli(show + Q(e.UserPassword));
    EXPECT_EQ(gbk.status, 0) << gbk.err;
    EXPECT_EQ(gbk.out, plain);

    const CliRun wrong = Cli(show + Q("\xE6\x96\x87\xE4\xB8\xAD"));  // 文中
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.err, "verava-cli: " + input + ": wrong password\n");
    const CliRun none = Cli("info " + Q(input));
    EXPECT_EQ(none.status, 1);
    // The merge's own options read the password the same way.
    const CliRun merged =
        Cli("merge " + Q(input) + " " + Q(input) + " --odd-password " + Q(e.UserPassword) +
            " --even-password " + Q("\xE4\xB8\xAD\xE6\x96\x87") + " --output " +
            Q(input + ".merged.pdf"));
    EXPECT_EQ(merged.status, 0) << merged.err;
    EXPECT_EQ(testing::FilePageOrder(input + ".merged.pdf"), "Secret,Secret");
    EXPECT_EQ(none.err,
              "verava-cli: " + input + ": encrypted: a password is needed (--password)\n");
}

}  // namespace
}  // namespace verava

#endif
