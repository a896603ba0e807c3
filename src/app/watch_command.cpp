#include "app/watch_command.h"

#include <cstdio>

#include "app/watch_folder.h"
#include "app/watch_platform.h"

namespace verava {

const char kWatchHelp[] =
    "usage: verava-cli watch IN_DIR [--out DIR] [--pair-within 30m] [--settle SECONDS]\n"
    "                        [--reverse-even] [--drop-blank] [--turned short-edge]\n"
    "                        [--collated] [--poll SECONDS] [--once]\n"
    "\n"
    "Watches IN_DIR, where a scanner drops the odd-page pass and then the even-page pass of\n"
    "a document as two PDF files, and merges each pair as merge does. A *.pdf directly in\n"
    "IN_DIR (not hidden) is taken once its size and time have not changed for the settle\n"
    "time (--settle, default 5 s) and it ends with its %%EOF line. The first file taken\n"
    "is the odd pages, the next the even pages; files completing in the same second are\n"
    "taken in the order of their names. The merged file is written into\n"
    "--out (default IN_DIR/merged/) under merge's name for it, and only then are both\n"
    "inputs moved to IN_DIR/done/. A pair that cannot be merged (page counts that do not\n"
    "fit, a damaged or encrypted file) goes to IN_DIR/failed/, a file without a second one\n"
    "within --pair-within (90s, 30m, 2h or seconds; default 30m) to IN_DIR/unpaired/, each\n"
    "with NAME.txt saying why. Nothing is ever deleted; a name already taken there gets\n"
    "\" (2)\". With --collated each file holds both passes (as collate takes it) and is\n"
    "merged alone.\n"
    "\n"
    "Every step is recorded in IN_DIR/.verava-watch.journal before it is taken, so after\n"
    "a crash or a reboot a restart finishes each pair exactly once. Changes are seen\n"
    "through inotify, or by looking every --poll seconds (default 10) on network and FUSE\n"
    "file systems, or when --poll is given. Standard error gets one line per event. With\n"
    "--once the files already there are handled and the command ends; SIGTERM and SIGINT\n"
    "end it cleanly between steps. Exit status: 0, 1 when IN_DIR cannot be watched (or,\n"
    "with --once, a merged file could not be written), 2 usage error.\n";

namespace {

int Usage(const std::string& message) {
    std::fprintf(stderr, "verava-cli: %s\n\n%s", message.c_str(), kWatchHelp);
    return 2;
}

}  // namespace

int RunWatchCommand(const std::vector<std::string>& args) {
    WatchOptions options;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        auto seconds = [&](int64_t& into, int64_t least, const char* what) -> std::string {
            std::string text;
            if (!value(text)) return arg + " needs a value";
            into = ParseWatchDuration(text);
            if (into < least || into > 7 * 24 * 3600) return arg + " takes " + what;
            return "";
        };
        std::string problem;
        if (arg == "--help" || arg == "-h") {
            std::printf("%s", kWatchHelp);
            return 0;
        } else if (arg == "--out") {
            if (!value(options.outFolder)) problem = "--out needs a folder";
        } else if (arg == "--pair-within") {
            problem = seconds(options.pairWithinSeconds, 1, "a time such as 90s, 30m or 2h");
        } else if (arg == "--settle") {
            problem = seconds(options.settleSeconds, 0, "a number of seconds");
        } else if (arg == "--poll") {
            problem = seconds(options.pollSeconds, 1, "a number of seconds from 1 up");
        } else if (arg == "--reverse-even") {
            options.evenReversed = true;
        } else if (arg == "--drop-blank") {
            options.dropBlank = true;
        } else if (arg == "--collated") {
            options.collated = true;
        } else if (arg == "--once") {
            options.once = true;
        } else if (arg == "--turned") {
            std::string turned;
            if (!value(turned) || (turned != "short-edge" && turned != "long-edge")) {
                problem = "--turned takes long-edge or short-edge";
            }
            options.shortEdge = turned == "short-edge";
        } else if (arg.size() > 1 && arg[0] == '-') {
            problem = "unknown option " + arg;
        } else {
            positional.push_back(arg);
        }
        if (!problem.empty()) return Usage(problem);
    }
    if (positional.size() != 1) return Usage("watch takes one folder");
    if (options.collated && options.evenReversed) {
        return Usage(
            "--reverse-even is for pairs: a collated file's backs are taken last to "
            "first already");
    }
    options.folder = positional[0];
    if (!options.outFolder.empty() && SameWatchFolder(options.outFolder, options.folder)) {
        return Usage(
            "--out must not be the watched folder: the merged files would be taken "
            "as scans");
    }
    // Under systemd each line carries its priority, so `journalctl -p warning` shows only
    // the pairs that failed and the files set aside.
    const bool journal = StandardErrorIsJournal();
    WatchFolder watcher(options, [journal](const std::string& line) {
        if (journal) std::fprintf(stderr, "<%d>", WatchLinePriority(line));
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    });
    return watcher.Run();
}

}  // namespace verava
