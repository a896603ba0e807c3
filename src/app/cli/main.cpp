// verava-cli: the command-line front end of VERava. Reverses the page order of a scanned
// PDF, interleaves odd-page and even-page scans, and shows what is inside a PDF file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/cli_platform.h"
#include "app/inspect.h"
#include "app/watch_command.h"
#include "app/workflow.h"
#include "objects/charset_text.h"
#include "objects/number_text.h"
#include "objects/pdf_text.h"
#include "objects/replacing_file.h"
#include "objects/wide_file_stream.h"

namespace {

using verava::WorkflowOutcome;

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char kMainHelp[] =
    "usage: verava-cli COMMAND [ARGS]\n"
    "       verava-cli --version\n"
    "\n"
    "VERava puts the pages of single-sided scans of double-sided paper in order.\n"
    "\n"
    "commands:\n"
    "  reverse INPUT.pdf [--output OUT.pdf] [--password PW]\n"
    "        write a copy of INPUT.pdf with its pages in reverse order\n"
    "  merge ODD.pdf EVEN.pdf [--output OUT.pdf] [--reverse-even]\n"
    "        [--odd-password PW] [--even-password PW]\n"
    "        [--drop-blank [--blank-threshold N]] [--dry-run] [STACK OPTIONS]\n"
    "        interleave an odd-page scan and an even-page scan into one file\n"
    "  collate FILE.pdf [--output OUT.pdf] [--password PW] [--backs-in-order]\n"
    "        [--backs-from N] [--drop-blank [--blank-threshold N]] [--dry-run]\n"
    "        [STACK OPTIONS]\n"
    "        interleave the two passes of a scan held in one file (fronts, then backs)\n"
    "  info FILE.pdf [--password PW] [--json]\n"
    "        print version, pages, encryption, object count and repair state\n"
    "  show FILE.pdf OBJ [--password PW] [--stream raw|decoded]\n"
    "        print object OBJ, or only its stream bytes\n"
    "  watch IN_DIR [--out DIR] [--pair-within 30m] [--settle SECONDS] [--reverse-even]\n"
    "        [--drop-blank] [--turned short-edge] [--collated] [--poll SECONDS] [--once]\n"
    "        merge each pair of scans dropped into IN_DIR, as they arrive\n"
    "\n"
    "STACK OPTIONS: [--turned long-edge|short-edge] [--rotate-odd 90|180|270]\n"
    "        [--rotate-even 90|180|270] [--insert-blank-back SHEET]... [--skip odd:N|even:N]...\n"
    "\n"
    "Run 'verava-cli COMMAND --help' for details. Exit status: 0 success, 1 failure,\n"
    "2 usage error.\n"
    "\n"
    "Outputs are written durably: the new file is complete on disk before it takes the\n"
    "output's name, so an earlier file of that name stays as it was if the run fails or is\n"
    "interrupted. An output that is a symbolic link replaces the file the link leads to (as\n"
    "cp does); an output that is a folder, a pipe or a device is refused.\n";

const char kReverseHelp[] =
    "usage: verava-cli reverse INPUT.pdf [--output OUT.pdf] [--password PW]\n"
    "\n"
    "Writes a copy of INPUT.pdf whose pages run last to first, for scanners that deliver\n"
    "the even pages of a double-sided document in reverse order. Without --output the copy\n"
    "is written beside the input: every \".pdf\" in the path becomes "
    "\"_\xE9\x87\x8D\xE6\x8E\x92\xE5\x90\x8E.pdf\"\n"
    "(a name without a lower-case \".pdf\" gets the suffix appended). The input is never\n"
    "overwritten. An encrypted input opens with the empty password or the one given, and\n"
    "the copy is saved encrypted the same way.\n"
    "\n"
    "The copy is complete on disk before it takes its name: an earlier file of that name\n"
    "stays as it was if the run fails or is interrupted. An OUT.pdf that is a symbolic link\n"
    "replaces the file the link leads to; one that is a folder, a pipe or a device is\n"
    "refused.\n";

// The default threshold as --help shows it ("0.002").
std::string DefaultThresholdText() {
    char text[32];
    std::snprintf(text, sizeof text, "%g", verava::kDefaultBlankThreshold);
    return text;
}

const std::string kMergeHelpText =
    "usage: verava-cli merge ODD.pdf EVEN.pdf [--output OUT.pdf] [--reverse-even]\n"
    "                        [--odd-password PW] [--even-password PW]\n"
    "                        [--drop-blank [--blank-threshold N]] [--dry-run]\n"
    "\n"
    "Joins the odd pages (1, 3, 5, ...) and the even pages (2, 4, 6, ...) of a double-sided\n"
    "document scanned one side at a time into one file whose pages alternate odd, even.\n"
    "ODD.pdf must have as many pages as EVEN.pdf or one more. With --reverse-even the even\n"
    "pages are taken as scanned last to first (the stack turned over), so no separate\n"
    "reverse step is needed. Without --output the result is written into ODD.pdf's folder as\n"
    "ODD_EVEN_\xE5\x90\x88\xE5\xB9\xB6\xE5\x90\x8E.pdf (each name without \".pdf\"); an existing "
    "file\n"
    "of that name is replaced, only once the merged file is complete on disk (an\n"
    "interrupted run leaves it as it was). An OUT.pdf that is a symbolic link replaces the\n"
    "file the link leads to; one that is a folder, a pipe or a device is refused.\n"
    "\n"
    "An encrypted input is merged only with its password (--odd-password for ODD.pdf,\n"
    "--even-password for EVEN.pdf); without one it is refused. The merged file is then NOT\n"
    "encrypted: it is made from decrypted copies, and a note on standard error says so.\n"
    "\n"
    "With --drop-blank, blank pages are left out: pages that show nothing, and scanned\n"
    "pages whose image is almost uniformly white or grey paper (the blank backs of\n"
    "single-sided sheets). An image is blank paper when less than N percent of its pixels,\n"
    "taken from the image decoded at reduced size, lie in marks clearly darker than the\n"
    "paper (--blank-threshold N, default " +
    DefaultThresholdText() +
    "; with 0 no scanned page is blank).\n"
    "Specks of dust, a shadow along an edge and punched holes are paper; the default keeps\n"
    "a page that holds only a page number or a short line. Dark paper is never blank. A\n"
    "page that cannot be looked at in full (an image that cannot be read, content that\n"
    "cannot be decoded) is kept. Standard error names the pages dropped and those kept\n"
    "so, with why; with --reverse-even an even page is also named by its sheet (\"even 13\n"
    "(back of sheet 4)\"). Standard output still holds only the output's path. At least\n"
    "one page is always kept.\n"
    "\n"
    "With --dry-run nothing is written: standard output lists the pages the merge would\n"
    "write, one line each as POSITION SOURCE PAGE (\"1 odd 1\", \"2 even 1\", ...), and a\n"
    "page --drop-blank leaves out as \"dropped SOURCE PAGE\" (with its sheet, as above) in\n"
    "the place it would have had.\n"
    "\n"
    "How the stack was turned, and mends for a misfed sheet (each also in --dry-run):\n"
    "  --turned short-edge    the stack was turned over on its short edge, so the backs\n"
    "                         come out upside down: they are turned 180 degrees\n"
    "                         (long-edge, the default, turns nothing)\n"
    "  --rotate-odd DEG, --rotate-even DEG\n"
    "                         turn every odd (front) or even (back) page clockwise by 90,\n"
    "                         180 or 270 degrees, as landscape stacks need; added to the\n"
    "                         page's own rotation (inherited ones too), never re-encoded\n"
    "  --insert-blank-back SHEET\n"
    "                         the back of that sheet was not scanned (a double feed):\n"
    "                         put a blank page of the front's size in its place; later\n"
    "                         backs move one sheet on (repeatable)\n"
    "  --skip odd:N, --skip even:N\n"
    "                         leave out page N of that pass (a sheet fed twice); later\n"
    "                         pages of the pass move up one sheet (repeatable)\n"
    "Sheets count after the skips. The page-count rule applies to the passes as mended.\n"
    "The dry run shows a turned page with \"turned DEG\", a page put in as\n"
    "\"blank (back of sheet N)\" and a left-out page as \"skipped SOURCE PAGE\".\n";
const char* const kMergeHelp = kMergeHelpText.c_str();

const std::string kCollateHelpText =
    "usage: verava-cli collate FILE.pdf [--output OUT.pdf] [--password PW]\n"
    "                          [--backs-in-order] [--backs-from N]\n"
    "                          [--drop-blank [--blank-threshold N]] [--dry-run]\n"
    "                          [--turned long-edge|short-edge] [--rotate-odd DEG]\n"
    "                          [--rotate-even DEG] [--insert-blank-back SHEET]...\n"
    "                          [--skip odd:N|even:N]...\n"
    "\n"
    "For scan apps that append the second pass to the same file: FILE.pdf holds the\n"
    "fronts (odd pages) and then the backs (even pages). The backs are taken as scanned\n"
    "last to first (the stack turned over), so 1, 3, 5, 6, 4, 2 gives 1 to 6; with\n"
    "--backs-in-order as scanned first to last. The backs start after the first half\n"
    "(rounded up), or at page N with --backs-from N. The result is what merge gives for\n"
    "the two passes as two files: written beside FILE.pdf as\n"
    "FILE_\xE5\x90\x88\xE5\xB9\xB6\xE5\x90\x8E.pdf (without \".pdf\") unless --output says where; the\n"
    "same page-count rule (fronts equal backs or one more), --drop-blank, --dry-run and\n"
    "stack options as merge --help tells. In their listings \"odd N\" is the Nth front and\n"
    "\"even N\" the Nth back as scanned, followed by the page in FILE.pdf. An encrypted\n"
    "file needs its password (--password), and the result is not encrypted.\n";
const char* const kCollateHelp = kCollateHelpText.c_str();

const char kInfoHelp[] =
    "usage: verava-cli info FILE.pdf [--password PW] [--json]\n"
    "\n"
    "Prints one 'key: value' line each for: version, pages, encrypted (no, rc4-40,\n"
    "rc4-128, aes-128, aes-256), objects, repaired (yes when the file's cross-reference\n"
    "data were damaged and rebuilt by scanning the file). With --json, prints one JSON\n"
    "object with the same keys instead: pages and objects as numbers, repaired as true or\n"
    "false, the others as strings.\n";

const char kShowHelp[] =
    "usage: verava-cli show FILE.pdf OBJ [--password PW] [--stream raw|decoded]\n"
    "\n"
    "Prints object number OBJ as PDF syntax. With --stream, prints only the object's\n"
    "stream bytes to standard output: raw (as stored, decrypted) or decoded (through its\n"
    "filters).\n";

struct Arguments {
    std::vector<std::string> positional;
    std::string output;
    std::string password;
    std::string oddPassword;
    std::string evenPassword;
    std::string stream;
    bool help = false;
    bool reverseEven = false;
    bool json = false;
    bool dropBlank = false;
    bool dryRun = false;
    std::string blankThreshold;  // as given; empty when not
    // How the stack was turned and misfeed mends, as given.
    bool backsInOrder = false;
    std::string backsFrom;
    std::string turned;
    std::string rotateOdd;
    std::string rotateEven;
    std::vector<std::string> blankBacks;
    std::vector<std::string> skips;
    std::string error;
};

Arguments ParseArguments(int argc, char** argv, int first) {
    Arguments a;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                a.error = arg + " needs a value";
                return;
            }
            into = argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            a.help = true;
        } else if (arg == "--output" || arg == "-o") {
            value(a.output);
        } else if (arg == "--password") {
            value(a.password);
        } else if (arg == "--odd-password") {
            value(a.oddPassword);
        } else if (arg == "--even-password") {
            value(a.evenPassword);
        } else if (arg == "--json") {
            a.json = true;
        } else if (arg == "--stream") {
            value(a.stream);
        } else if (arg == "--reverse-even") {
            a.reverseEven = true;
        } else if (arg == "--drop-blank") {
            a.dropBlank = true;
        } else if (arg == "--blank-threshold") {
            value(a.blankThreshold);
        } else if (arg == "--dry-run") {
            a.dryRun = true;
        } else if (arg == "--backs-in-order") {
            a.backsInOrder = true;
        } else if (arg == "--backs-from") {
            value(a.backsFrom);
        } else if (arg == "--turned") {
            value(a.turned);
        } else if (arg == "--rotate-odd") {
            value(a.rotateOdd);
        } else if (arg == "--rotate-even") {
            value(a.rotateEven);
        } else if (arg == "--insert-blank-back") {
            value(a.blankBacks.emplace_back());
        } else if (arg == "--skip") {
            value(a.skips.emplace_back());
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            a.error = "unknown option " + arg;
        } else {
            a.positional.push_back(arg);
        }
    }
    return a;
}

std::u16string Wide(const std::string& utf8) { return verava::Utf8ToUnicode(utf8); }
std::string Narrow(const std::u16string& text) { return verava::UnicodeToUtf8(text); }

// The password as typed. A GBK terminal (Chinese Windows, zh_CN.GBK) hands over GBK bytes,
// which are no UTF-8: read as GBK, the handler's GBK form gives exactly those bytes back.
std::u16string PasswordText(const std::string& bytes) {
    if (!verava::CharsetToUnicode(bytes, "UTF-8")) {
        if (std::optional<std::u16string> text = verava::CharsetToUnicode(bytes, "GBK")) {
            return *text;
        }
    }
    return Wide(bytes);
}

int Fail(const std::string& file, const std::string& reason) {
    std::fprintf(stderr, "verava-cli: %s: %s\n", file.c_str(), reason.c_str());
    return kExitFailure;
}

int Usage(const std::string& message, const char* help) {
    std::fprintf(stderr, "verava-cli: %s\n\n%s", message.c_str(), help);
    return kExitUsage;
}

std::string Reason(WorkflowOutcome outcome, bool passwordGiven) {
    switch (outcome) {
        case WorkflowOutcome::InputMissing:
            return "not found";
        case WorkflowOutcome::OpenFailed:
            return "not a PDF, or damaged beyond repair";
        case WorkflowOutcome::PasswordRequired:
            return passwordGiven ? "wrong password"
                                 : "encrypted: a password is needed (--password)";
        case WorkflowOutcome::SaveFailed:
            return "cannot write";
        case WorkflowOutcome::PageCountMismatch:
            return "the odd file must have as many pages as the even file or one more";
        case WorkflowOutcome::MergeEncrypted:
            return "encrypted: remove the password before merging";
        case WorkflowOutcome::MergeUnreadable:
            return "cannot be read, or damaged: cannot merge";
        case WorkflowOutcome::OutputLocked:
            return "an existing file of that name cannot be replaced";
        case WorkflowOutcome::MergeFailed:
            return "merging failed";
        case WorkflowOutcome::Cancelled:
            return "stopped";
        case WorkflowOutcome::ArrangementInvalid:
            return "a page or sheet named by --backs-from, --skip or --insert-blank-back is "
                   "not there";
        default:
            return "failed";
    }
}

// The reason, followed by what the system said about the file when it said something.
std::string Reason(const verava::WorkflowResult& r, bool passwordGiven) {
    // A merge that could not write its output says so as a reverse does.
    const bool outputUnwritten = r.outcome == WorkflowOutcome::MergeFailed && r.fileError &&
                                 r.fileError.Step != verava::TFileStep::Scratch;
    std::string reason = outputUnwritten ? Reason(WorkflowOutcome::SaveFailed, false)
                                         : Reason(r.outcome, passwordGiven);
    if (r.fileError && r.fileError.Problem != verava::TFileProblem::Cancelled) {
        reason += ": " + r.fileError.Text();
    }
    return reason;
}

// A progress bar on standard error, drawn only when it is a terminal.
class ProgressBar {
  public:
    ProgressBar() : enabled_(verava::StderrIsTerminal()) {}
    ~ProgressBar() { Finish(); }
    void Set(int percent) {
        if (!enabled_ || percent == last_) return;
        last_ = percent;
        const int filled = percent * 40 / 100;
        std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                     std::string(40 - filled, '.').c_str(), percent);
        std::fflush(stderr);
        drawn_ = true;
    }
    void Finish() {
        if (drawn_) std::fputc('\n', stderr);
        drawn_ = false;
    }

  private:
    bool enabled_;
    bool drawn_ = false;
    int last_ = -1;
};

bool MergePasswordGiven(const Arguments& a) {
    return !a.oddPassword.empty() || !a.evenPassword.empty();
}

// Options that say how the stack was turned or mend a misfeed (merge and collate).
bool StackOptionGiven(const Arguments& a) {
    return !a.turned.empty() || !a.rotateOdd.empty() || !a.rotateEven.empty() ||
           !a.blankBacks.empty() || !a.skips.empty();
}

// Options only merge and collate take.
bool MergeOptionGiven(const Arguments& a) {
    return a.reverseEven || MergePasswordGiven(a) || a.dropBlank || a.dryRun ||
           !a.blankThreshold.empty() || a.backsInOrder || !a.backsFrom.empty() ||
           StackOptionGiven(a);
}

// A whole number from 1 up, as typed.
std::optional<int32_t> ParseCount(const std::string& text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    const int32_t value = verava::ParseInt(text, 0);
    if (value < 1) return std::nullopt;
    return value;
}

std::optional<int32_t> ParseDegrees(const std::string& text) {
    for (int32_t degrees : {0, 90, 180, 270}) {
        if (text == std::to_string(degrees)) return degrees;
    }
    return std::nullopt;
}

// The stack options of `a` into `request`; a usage message when one cannot be read.
std::string ReadStackOptions(const Arguments& a, verava::MergeRequest& request) {
    if (!a.rotateOdd.empty()) {
        const std::optional<int32_t> degrees = ParseDegrees(a.rotateOdd);
        if (!degrees) return "--rotate-odd takes 90, 180 or 270";
        request.rotateOdd = *degrees;
    }
    if (!a.rotateEven.empty()) {
        const std::optional<int32_t> degrees = ParseDegrees(a.rotateEven);
        if (!degrees) return "--rotate-even takes 90, 180 or 270";
        request.rotateEven = *degrees;
    }
    if (a.turned == "short-edge") {
        // Turned over on the short edge, the backs come out upside down.
        request.rotateEven = (request.rotateEven + 180) % 360;
    } else if (!a.turned.empty() && a.turned != "long-edge") {
        return "--turned takes long-edge or short-edge";
    }
    for (const std::string& sheet : a.blankBacks) {
        const std::optional<int32_t> number = ParseCount(sheet);
        if (!number) return "--insert-blank-back takes a sheet number from 1 up";
        request.blankBacks.push_back(*number);
    }
    for (const std::string& skip : a.skips) {
        const size_t colon = skip.find(':');
        const std::string pass = skip.substr(0, colon);
        const std::optional<int32_t> number =
            colon == std::string::npos ? std::nullopt : ParseCount(skip.substr(colon + 1));
        if (!number || (pass != "odd" && pass != "even")) {
            return "--skip takes odd:N or even:N (N a page number of that pass)";
        }
        request.skipped.push_back(
            {pass == "odd" ? verava::PageSource::Odd : verava::PageSource::Even, *number});
    }
    return "";
}

// A percentage 0..100 written as a plain decimal number ("0.5", "2", ".01").
std::optional<double> ParsePercent(const std::string& text) {
    if (text.empty() || text.size() > 32) return std::nullopt;
    int dots = 0;
    for (char c : text) {
        if (c == '.') {
            ++dots;
        } else if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    if (dots > 1 || text == ".") return std::nullopt;
    const double value = std::strtod(text.c_str(), nullptr);
    if (!(value >= 0 && value <= 100)) return std::nullopt;
    return value;
}

std::string SourceName(verava::PageSource source) {
    return source == verava::PageSource::Odd ? "odd" : "even";
}

// How pages of a merge are named: "odd 5", "even 2"; a page of a collated file also by its
// page there, "even 2 (page 7)"; an even page by its sheet when that is not its number
// (scanned last to first, or moved by a mend), "even 13 (back of sheet 4)", which the user
// need not work out; a page put in as "blank (back of sheet 3)".
struct PageNames {
    int32_t oddPages = 0;
    int32_t evenPages = 0;
    bool evenReversed = false;
    bool collated = false;

    std::string Name(verava::PlannedPage page) const {
        const int32_t sheet = verava::SheetOf(page, evenPages, evenReversed);
        if (page.source == verava::PageSource::Blank) {
            return "blank (back of sheet " + std::to_string(sheet) + ")";
        }
        std::string name = SourceName(page.source) + " " + std::to_string(page.page);
        std::string notes;
        if (collated) {
            const int32_t inFile =
                page.source == verava::PageSource::Odd ? page.page : oddPages + page.page;
            notes = "page " + std::to_string(inFile);
        }
        if (page.source == verava::PageSource::Even && (evenReversed || sheet != page.page)) {
            notes +=
                (notes.empty() ? "" : ", ") + std::string("back of sheet ") + std::to_string(sheet);
        }
        return notes.empty() ? name : name + " (" + notes + ")";
    }
};

// Why a page could not be looked at in full.
std::string DoubtText(const verava::KeptPage& kept) {
    switch (kept.doubt) {
        case verava::TPageDoubt::Image:
            return kept.encoding.empty() ? "an image" : "an image, " + kept.encoding;
        case verava::TPageDoubt::Content:
            return "content that cannot be decoded";
        case verava::TPageDoubt::Drawing:
            return "draws what is missing or unknown";
        case verava::TPageDoubt::None:
            break;
    }
    return "not looked at";
}

// "odd 5, even 2"
std::string PageList(const std::vector<verava::PlannedPage>& pages, const PageNames& names) {
    std::string text;
    for (const verava::PlannedPage& page : pages) {
        if (!text.empty()) text += ", ";
        text += names.Name(page);
    }
    return text;
}

// "odd 5 (an image, JPXDecode), even 2 (content that cannot be decoded)"
std::string PageList(const std::vector<verava::KeptPage>& pages, const PageNames& names) {
    std::string text;
    for (const verava::KeptPage& kept : pages) {
        if (!text.empty()) text += ", ";
        text += names.Name(kept.page) + " (" + DoubtText(kept) + ")";
    }
    return text;
}

std::string Pages(size_t n) { return std::to_string(n) + (n == 1 ? " page" : " pages"); }

// What blank-page removal did, on standard error after `prefix`.
void ReportBlankPages(const std::string& prefix, bool listDropped, const PageNames& names,
                      const std::vector<verava::PlannedPage>& dropped,
                      const std::vector<verava::KeptPage>& unreadable) {
    if (listDropped) {
        if (dropped.empty()) {
            std::fprintf(stderr, "verava-cli: %s: no blank pages found\n", prefix.c_str());
        } else {
            std::fprintf(stderr, "verava-cli: %s: dropped %s (blank): %s\n", prefix.c_str(),
                         Pages(dropped.size()).c_str(), PageList(dropped, names).c_str());
        }
    }
    if (!unreadable.empty()) {
        std::fprintf(stderr, "verava-cli: %s: kept %s that could not be looked at in full: %s\n",
                     prefix.c_str(), Pages(unreadable.size()).c_str(),
                     PageList(unreadable, names).c_str());
    }
}

// The dry run's listing: every page of the arranged order, a position for each page
// written and "dropped" for each page left out, where it would have stood; a turned page
// with "turned DEG"; then the pages a mend left out.
void PrintPlan(const verava::MergePlan& plan, const verava::MergeRequest& request) {
    const PageNames names{plan.oddPages, plan.evenPages, request.evenReversed, request.collated};
    // Plain merges keep their plain lines ("2 even 1"); what a line needs beyond that is
    // said only where the run asked for it.
    const bool plainNames =
        !request.collated && request.blankBacks.empty() && request.skipped.empty();
    size_t nextDropped = 0;
    int position = 0;
    for (const verava::PlannedPage& page : plan.order) {
        std::string name = plainNames && page.source != verava::PageSource::Blank
                               ? SourceName(page.source) + " " + std::to_string(page.page)
                               : names.Name(page);
        if (page.rotate != 0) name += " turned " + std::to_string(page.rotate);
        if (nextDropped < plan.dropped.size() && plan.dropped[nextDropped] == page) {
            ++nextDropped;
            std::printf("dropped %s\n", names.Name(page).c_str());
        } else {
            std::printf("%d %s\n", ++position, name.c_str());
        }
    }
    // A skipped page lies on no sheet.
    const PageNames skippedNames{plan.oddPages, plan.evenPages, false, request.collated};
    for (const verava::PlannedPage& page : request.skipped) {
        std::printf("skipped %s\n", skippedNames.Name(page).c_str());
    }
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

int Reverse(const Arguments& a) {
    if (a.help) return std::printf("%s", kReverseHelp), kExitOk;
    if (a.positional.size() != 1) return Usage("reverse takes one input file", kReverseHelp);
    if (!a.stream.empty() || a.json || MergeOptionGiven(a))
        return Usage("reverse takes only --output and --password", kReverseHelp);
    const std::string& input = a.positional[0];
    if (!a.output.empty() && SameFile(input, a.output)) {
        return Usage("the output must not be the input file", kReverseHelp);
    }
    ProgressBar bar;
    verava::WorkflowProgress progress;
    progress.setPosition = [&](int32_t percent) { bar.Set(percent); };
    const verava::WorkflowResult r =
        verava::ReverseFilePages(Wide(input), progress, PasswordText(a.password), Wide(a.output));
    bar.Finish();
    if (r.outcome != WorkflowOutcome::Done) {
        return Fail(Narrow(r.failedPath), Reason(r, !a.password.empty()));
    }
    std::printf("%s\n", Narrow(r.outputPath).c_str());
    return kExitOk;
}

// Runs a merge, or its dry run, of `request` as merge and collate share it; `inputs` names
// the input files in messages.
int RunMerge(const Arguments& a, verava::MergeRequest& request, const char* help,
             const std::string& inputs) {
    request.outputOverride = Wide(a.output);
    request.blankPages.enabled = a.dropBlank;
    if (!a.blankThreshold.empty()) {
        if (!a.dropBlank) return Usage("--blank-threshold goes with --drop-blank", help);
        const std::optional<double> threshold = ParsePercent(a.blankThreshold);
        if (!threshold) {
            return Usage("--blank-threshold takes a percentage from 0 to 100", help);
        }
        request.blankPages.threshold = *threshold;
    }
    if (const std::string problem = ReadStackOptions(a, request); !problem.empty()) {
        return Usage(problem, help);
    }
    const std::string odd = Narrow(request.oddPath);
    // Why a merge (or its dry run) did not happen, as one line on standard error.
    auto failure = [&](WorkflowOutcome outcome, const std::u16string& failedPath, int32_t oddPages,
                       int32_t evenPages, const verava::TFileError& fileError = {}) {
        if (outcome == WorkflowOutcome::PageCountMismatch) {
            const bool mended = !request.blankBacks.empty() || !request.skipped.empty();
            const std::string counted =
                request.collated ? "the fronts are " + Pages(static_cast<size_t>(oddPages)) +
                                       " and the backs " + std::to_string(evenPages)
                                 : "the odd file has " + Pages(static_cast<size_t>(oddPages)) +
                                       " and the even file " + std::to_string(evenPages);
            const std::string rule =
                request.collated
                    ? "there must be as many fronts as backs or one more (--backs-from sets "
                      "where the backs start)"
                    : Reason(outcome, false);
            return Fail(inputs, counted + (mended ? " (before the mends)" : "") + ": " + rule);
        }
        if (outcome == WorkflowOutcome::MergeEncrypted && !failedPath.empty()) {
            // Name the option that would have let it through.
            const bool isOdd = failedPath == request.oddPath;
            const char* option = request.collated ? "--password"
                                 : isOdd          ? "--odd-password"
                                                  : "--even-password";
            return Fail(Narrow(failedPath), std::string("encrypted: give its password (") + option +
                                                ") or remove the password before merging");
        }
        if (outcome == WorkflowOutcome::ArrangementInvalid) {
            const std::string counted =
                request.collated && evenPages == 0
                    ? "the file has " + Pages(static_cast<size_t>(oddPages))
                    : "the odd pass has " + Pages(static_cast<size_t>(oddPages)) +
                          ", the even pass " + Pages(static_cast<size_t>(evenPages));
            return Fail(inputs, Reason(outcome, false) + " (" + counted + ")");
        }
        const std::string file = failedPath.empty() ? inputs : Narrow(failedPath);
        verava::WorkflowResult shown;
        shown.outcome = outcome;
        shown.fileError = fileError;
        return Fail(file, Reason(shown, outcome == WorkflowOutcome::PasswordRequired));
    };
    ProgressBar bar;
    verava::WorkflowProgress progress;
    progress.setPosition = [&](int32_t percent) { bar.Set(percent); };
    if (a.dryRun) {
        const verava::MergePlan plan = verava::PlanMerge(request, progress);
        bar.Finish();
        if (plan.outcome != WorkflowOutcome::Done) {
            return failure(plan.outcome, plan.failedPath, plan.oddPages, plan.evenPages);
        }
        PrintPlan(plan, request);
        // The listing shows what is dropped; only the unreadable pages need a word.
        ReportBlankPages("dry run", false,
                         {plan.oddPages, plan.evenPages, request.evenReversed, request.collated},
                         plan.dropped, plan.unreadable);
        return kExitOk;
    }
    const verava::WorkflowResult r = verava::MergeFiles(request, progress);
    bar.Finish();
    if (r.outcome != WorkflowOutcome::Done) {
        return failure(r.outcome, r.failedPath, r.oddPages, r.evenPages, r.fileError);
    }
    std::printf("%s\n", Narrow(r.outputPath).c_str());
    if (a.dropBlank) {
        ReportBlankPages(Narrow(r.outputPath), true,
                         {r.oddPages, r.evenPages, r.evenReversed, r.collated}, r.dropped,
                         r.unreadable);
    }
    if (r.decrypted) {
        // Standard output keeps to the path, for scripts; the note is for the person.
        std::fprintf(stderr,
                     "verava-cli: %s: note: the merged file is not encrypted (an encrypted "
                     "input was merged with its password)\n",
                     Narrow(r.outputPath).c_str());
    }
    return kExitOk;
}

int Merge(const Arguments& a) {
    if (a.help) return std::printf("%s", kMergeHelp), kExitOk;
    if (a.positional.size() != 2)
        return Usage("merge takes an odd-page file and an even-page file", kMergeHelp);
    if (!a.stream.empty() || !a.password.empty() || a.json || a.backsInOrder ||
        !a.backsFrom.empty()) {
        return Usage(
            "merge takes only --output, --reverse-even, --odd-password, --even-password,\n"
            "--drop-blank, --blank-threshold, --dry-run and the stack options",
            kMergeHelp);
    }
    const std::string& odd = a.positional[0];
    const std::string& even = a.positional[1];
    verava::MergeRequest request;
    request.oddPath = Wide(odd);
    request.evenPath = Wide(even);
    request.evenReversed = a.reverseEven;
    request.oddPassword = PasswordText(a.oddPassword);
    request.evenPassword = PasswordText(a.evenPassword);
    return RunMerge(a, request, kMergeHelp, odd + " and " + even);
}

int Collate(const Arguments& a) {
    if (a.help) return std::printf("%s", kCollateHelp), kExitOk;
    if (a.positional.size() != 1) return Usage("collate takes one file", kCollateHelp);
    if (!a.stream.empty() || a.json || a.reverseEven || MergePasswordGiven(a)) {
        return Usage(
            "collate takes only --output, --password, --backs-in-order, --backs-from,\n"
            "--drop-blank, --blank-threshold, --dry-run and the stack options",
            kCollateHelp);
    }
    verava::MergeRequest request;
    request.collated = true;
    request.oddPath = Wide(a.positional[0]);
    request.oddPassword = PasswordText(a.password);
    request.evenReversed = !a.backsInOrder;
    if (!a.backsFrom.empty()) {
        const std::optional<int32_t> from = ParseCount(a.backsFrom);
        if (!from || *from < 2) {
            return Usage("--backs-from takes the page number where the backs start (2 or more)",
                         kCollateHelp);
        }
        request.backsFrom = *from;
    }
    if (!a.output.empty() && SameFile(a.positional[0], a.output)) {
        return Usage("the output must not be the input file", kCollateHelp);
    }
    return RunMerge(a, request, kCollateHelp, a.positional[0]);
}

int Info(const Arguments& a) {
    if (a.help) return std::printf("%s", kInfoHelp), kExitOk;
    if (a.positional.size() != 1) return Usage("info takes one file", kInfoHelp);
    if (!a.output.empty() || !a.stream.empty() || MergeOptionGiven(a))
        return Usage("info takes only --password and --json", kInfoHelp);
    const verava::InspectResult r =
        verava::DescribeFile(Wide(a.positional[0]), PasswordText(a.password),
                             a.json ? verava::SummaryFormat::Json : verava::SummaryFormat::Lines);
    if (r.outcome != WorkflowOutcome::Done) {
        return Fail(a.positional[0], Reason(r.outcome, !a.password.empty()));
    }
    std::fwrite(r.text.data(), 1, r.text.size(), stdout);
    return kExitOk;
}

int Show(const Arguments& a) {
    if (a.help) return std::printf("%s", kShowHelp), kExitOk;
    if (a.positional.size() != 2) return Usage("show takes a file and an object number", kShowHelp);
    if (!a.output.empty()) return Usage("show prints to standard output", kShowHelp);
    if (a.json || MergeOptionGiven(a))
        return Usage("show takes only --password and --stream", kShowHelp);
    const int32_t number = verava::ParseInt(a.positional[1], -1);
    if (number < 0 || !verava::IsNumber(a.positional[1])) {
        return Usage("OBJ must be an object number", kShowHelp);
    }
    verava::StreamPart part = verava::StreamPart::None;
    if (a.stream == "raw") {
        part = verava::StreamPart::Raw;
    } else if (a.stream == "decoded") {
        part = verava::StreamPart::Decoded;
    } else if (!a.stream.empty()) {
        return Usage("--stream takes raw or decoded", kShowHelp);
    }
    const verava::InspectResult r =
        verava::ShowObject(Wide(a.positional[0]), number, part, PasswordText(a.password));
    if (r.outcome == WorkflowOutcome::InputMissing && r.errorCode == 0 &&
        verava::FileExistsWide(Wide(a.positional[0]))) {
        return Fail(a.positional[0], "no object " + a.positional[1]);
    }
    if (r.outcome == WorkflowOutcome::OpenFailed && part != verava::StreamPart::None &&
        r.errorCode == 0) {
        return Fail(a.positional[0], "object " + a.positional[1] + " is not a stream");
    }
    if (r.outcome != WorkflowOutcome::Done) {
        return Fail(a.positional[0], Reason(r.outcome, !a.password.empty()));
    }
    std::fwrite(r.text.data(), 1, r.text.size(), stdout);
    return kExitOk;
}

}  // namespace

int verava::RunCli(int argc, char** argv) {
    if (argc < 2) return Usage("no command given", kMainHelp);
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::printf("%s", kMainHelp);
        return kExitOk;
    }
    if (command == "--version") {
        std::printf("verava-cli %s\n", VERAVA_VERSION);
        return kExitOk;
    }
    // The watcher reads its own options and handles its own signals.
    if (command == "watch") return verava::RunWatchCommand({argv + 2, argv + argc});
    const Arguments a = ParseArguments(argc, argv, 2);
    const char* help = command == "reverse"   ? kReverseHelp
                       : command == "merge"   ? kMergeHelp
                       : command == "collate" ? kCollateHelp
                       : command == "info"    ? kInfoHelp
                       : command == "show"    ? kShowHelp
                                              : kMainHelp;
    if (!a.error.empty()) return Usage(a.error, help);
    verava::RemoveTemporariesOnInterrupt();
    if (command == "reverse") return Reverse(a);
    if (command == "merge") return Merge(a);
    if (command == "collate") return Collate(a);
    if (command == "info") return Info(a);
    if (command == "show") return Show(a);
    return Usage("unknown command '" + command + "'", kMainHelp);
}
