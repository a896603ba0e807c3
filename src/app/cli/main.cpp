// verava-cli: the command-line front end of VERava. Reverses the page order of a scanned
// PDF, interleaves odd-page and even-page scans, and shows what is inside a PDF file.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/inspect.h"
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
    "        [--drop-blank [--blank-threshold N]] [--dry-run]\n"
    "        interleave an odd-page scan and an even-page scan into one file\n"
    "  info FILE.pdf [--password PW] [--json]\n"
    "        print version, pages, encryption, object count and repair state\n"
    "  show FILE.pdf OBJ [--password PW] [--stream raw|decoded]\n"
    "        print object OBJ, or only its stream bytes\n"
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
    "the place it would have had.\n";
const char* const kMergeHelp = kMergeHelpText.c_str();

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

// SIGINT, SIGTERM and SIGHUP end the program as they would, but first remove a new output
// that has a name already (one written where the file system gives none leaves nothing).
void OnInterrupt(int signal) {
    verava::RemovePendingTemporaries();
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void RemoveTemporariesOnInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    // Past a file-size limit a write fails (EFBIG) and is reported like a full disk, instead
    // of the signal ending the program with a half-written file.
    ::signal(SIGXFSZ, SIG_IGN);
}

// A progress bar on standard error, drawn only when it is a terminal.
class ProgressBar {
  public:
    ProgressBar() : enabled_(isatty(2) != 0) {}
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

// Options only merge takes.
bool MergeOptionGiven(const Arguments& a) {
    return a.reverseEven || MergePasswordGiven(a) || a.dropBlank || a.dryRun ||
           !a.blankThreshold.empty();
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

// How pages of a merge are named: "odd 5", "even 2"; with the evens scanned last to first,
// an even page also by its sheet, "even 13 (back of sheet 4)", which the user need not work
// out.
struct PageNames {
    int32_t evenPages = 0;
    bool evenReversed = false;

    std::string Name(verava::PlannedPage page) const {
        std::string name = SourceName(page.source) + " " + std::to_string(page.page);
        if (evenReversed && page.source == verava::PageSource::Even) {
            name += " (back of sheet " +
                    std::to_string(verava::SheetOf(page, evenPages, evenReversed)) + ")";
        }
        return name;
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

// The dry run's listing: every page of the interleaved order, a position for each page
// written and "dropped" for each page left out, where it would have stood.
void PrintPlan(const verava::MergePlan& plan, bool evenReversed) {
    const PageNames names{plan.evenPages, evenReversed};
    size_t nextDropped = 0;
    int position = 0;
    for (const verava::PlannedPage& page :
         verava::InterleavedOrder(plan.oddPages, plan.evenPages, evenReversed)) {
        const std::string where = SourceName(page.source) + " " + std::to_string(page.page);
        if (nextDropped < plan.dropped.size() && plan.dropped[nextDropped] == page) {
            ++nextDropped;
            std::printf("dropped %s\n", names.Name(page).c_str());
        } else {
            std::printf("%d %s\n", ++position, where.c_str());
        }
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

int Merge(const Arguments& a) {
    if (a.help) return std::printf("%s", kMergeHelp), kExitOk;
    if (a.positional.size() != 2)
        return Usage("merge takes an odd-page file and an even-page file", kMergeHelp);
    if (!a.stream.empty() || !a.password.empty() || a.json) {
        return Usage(
            "merge takes only --output, --reverse-even, --odd-password, --even-password,\n"
            "--drop-blank, --blank-threshold and --dry-run",
            kMergeHelp);
    }
    const std::string& odd = a.positional[0];
    const std::string& even = a.positional[1];
    verava::MergeRequest request;
    request.oddPath = Wide(odd);
    request.evenPath = Wide(even);
    request.evenReversed = a.reverseEven;
    request.outputOverride = Wide(a.output);
    request.oddPassword = PasswordText(a.oddPassword);
    request.evenPassword = PasswordText(a.evenPassword);
    request.blankPages.enabled = a.dropBlank;
    if (!a.blankThreshold.empty()) {
        if (!a.dropBlank) return Usage("--blank-threshold goes with --drop-blank", kMergeHelp);
        const std::optional<double> threshold = ParsePercent(a.blankThreshold);
        if (!threshold) {
            return Usage("--blank-threshold takes a percentage from 0 to 100", kMergeHelp);
        }
        request.blankPages.threshold = *threshold;
    }
    // Why a merge (or its dry run) did not happen, as one line on standard error.
    auto failure = [&](WorkflowOutcome outcome, const std::u16string& failedPath, int32_t oddPages,
                       int32_t evenPages, const verava::TFileError& fileError = {}) {
        if (outcome == WorkflowOutcome::PageCountMismatch) {
            return Fail(odd + " and " + even, "the odd file has " + std::to_string(oddPages) +
                                                  " pages and the even file " +
                                                  std::to_string(evenPages) + ": " +
                                                  Reason(outcome, false));
        }
        if (outcome == WorkflowOutcome::MergeEncrypted && !failedPath.empty()) {
            // Name the option that would have let it through.
            const bool isOdd = failedPath == Wide(odd);
            return Fail(Narrow(failedPath), std::string("encrypted: give its password (") +
                                                (isOdd ? "--odd-password" : "--even-password") +
                                                ") or remove the password before merging");
        }
        const std::string file = failedPath.empty() ? odd + " and " + even : Narrow(failedPath);
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
        PrintPlan(plan, a.reverseEven);
        // The listing shows what is dropped; only the unreadable pages need a word.
        ReportBlankPages("dry run", false, {plan.evenPages, request.evenReversed}, plan.dropped,
                         plan.unreadable);
        return kExitOk;
    }
    const verava::WorkflowResult r = verava::MergeFiles(request, progress);
    bar.Finish();
    if (r.outcome != WorkflowOutcome::Done) {
        return failure(r.outcome, r.failedPath, r.oddPages, r.evenPages, r.fileError);
    }
    std::printf("%s\n", Narrow(r.outputPath).c_str());
    if (a.dropBlank) {
        ReportBlankPages(Narrow(r.outputPath), true, {r.evenPages, r.evenReversed}, r.dropped,
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

int main(int argc, char** argv) {
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
    const Arguments a = ParseArguments(argc, argv, 2);
    const char* help = command == "reverse" ? kReverseHelp
                       : command == "merge" ? kMergeHelp
                       : command == "info"  ? kInfoHelp
                       : command == "show"  ? kShowHelp
                                            : kMainHelp;
    if (!a.error.empty()) return Usage(a.error, help);
    RemoveTemporariesOnInterrupt();
    if (command == "reverse") return Reverse(a);
    if (command == "merge") return Merge(a);
    if (command == "info") return Info(a);
    if (command == "show") return Show(a);
    return Usage("unknown command '" + command + "'", kMainHelp);
}
