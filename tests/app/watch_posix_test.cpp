// The scan folder as a user meets it: files dropped in, where each ends up (merged/, done/,
// failed/, unpaired/, or left waiting), journals left by a crash finished once, moves onto
// another file system, and the real program woken by inotify or a poll. POSIX only for now:
// the scenes are set with utimes, symbolic links, a shell and kill -TERM.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "app/inspect.h"
#include "app/watch_folder.h"
#include "objects/pdf_text.h"
#include "support/pdf_builder.h"

namespace verava {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::SimpleDocument;

const std::string kMerged = "_\xE5\x90\x88\xE5\xB9\xB6\xE5\x90\x8E.pdf";  // "_合并后.pdf"

std::string NewFolder(const std::string& under = "/tmp/verava-tests-" + std::to_string(getpid())) {
    static int count = 0;
    const std::string dir =
        under + "/verava-watch-" + std::to_string(getpid()) + "-" + std::to_string(++count);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// Writes `bytes` to `path`, last modified at `when` (0: now).
void Write(const std::string& path, const std::string& bytes, time_t when = 0) {
    std::ofstream(path, std::ios::binary) << bytes;
    if (when != 0) {
        const struct timeval then[2] = {{when, 0}, {when, 0}};
        utimes(path.c_str(), then);
    }
}

// Every file under `dir` but the journal, as relative paths.
std::set<std::string> Listing(const std::string& dir) {
    std::set<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const std::string rel = e.path().lexically_relative(dir).string();
        if (e.is_regular_file() && rel != ".verava-watch.journal") files.insert(rel);
    }
    return files;
}

std::string PagesOf(const std::string& path) {
    const std::string text = DescribeFile(Utf8ToUnicode(path), u"").text;
    const size_t at = text.find("pages: ");
    return at == std::string::npos ? "" : text.substr(at + 7, text.find('\n', at) - at - 7);
}

std::vector<std::string> RunOnce(const std::string& dir, WatchOptions options = {}) {
    options.folder = dir;
    options.settleSeconds = 0;
    options.once = true;
    std::vector<std::string> log;
    WatchFolder watcher(options, [&](const std::string& line) { log.push_back(line); });
    EXPECT_EQ(watcher.Run(), 0);
    return log;
}

bool Logged(const std::vector<std::string>& log, const std::string& line) {
    return std::find(log.begin(), log.end(), line) != log.end();
}

// Each case drops files (name, pages; 0 pages: a file cut short before its end, -1: one that
// ends well but holds nothing readable, -2: a link to a PDF outside; age in seconds) and says where everything is after one look.
TEST(WatchFolder, OneLookSortsEachDropIntoItsFolder) {
    struct Drop {
        const char* name;
        int pages;
        int age = 0;
    };
    const struct {
        const char* what;
        std::vector<Drop> drops;
        std::set<std::string> after;
        bool collated = false;
    } cases[] = {
        {"a pair",
         {{"a.pdf", 3}, {"b.pdf", 2}},
         {"merged/a_b" + kMerged, "done/a.pdf", "done/b.pdf"}},
        {"two pairs in the same second go by name",
         {{"q2.pdf", 2}, {"p1.pdf", 2}, {"q1.pdf", 2}, {"p2.pdf", 2}},
         {"merged/p1_p2" + kMerged, "merged/q1_q2" + kMerged, "done/p1.pdf", "done/p2.pdf",
          "done/q1.pdf", "done/q2.pdf"}},
        {"arrival before name",
         {{"z.pdf", 2, 20}, {"a.pdf", 2}},
         {"merged/z_a" + kMerged, "done/a.pdf", "done/z.pdf"}},
        {"page counts that do not fit",
         {{"c1.pdf", 3}, {"c2.pdf", 1}},
         {"failed/c1.pdf", "failed/c2.pdf", "failed/c1.pdf.txt"}},
        {"a lone file past its time, and one still within it",
         {{"old.pdf", 2, 3 * 3600}, {"new.pdf", 2}},
         {"unpaired/old.pdf", "unpaired/old.pdf.txt", "new.pdf"}},
        {"a finished file beyond repair fails with its partner, in its place",
         {{"bad.pdf", -1, 20}, {"y.pdf", 2, 10}, {"z.pdf", 2}},
         {"failed/bad.pdf", "failed/y.pdf", "failed/bad.pdf.txt", "z.pdf"}},
        {"a file still being written waits",
         {{"half.pdf", 0}, {"x.pdf", 2}},
         {"half.pdf", "x.pdf"}},
        {"hidden files, links and other names are not scans",
         {{".hidden.pdf", 2}, {"notes.txt", 2}, {"UP.PDF", 2}, {"low.pdf", 2}, {"link.pdf", -2}},
         {".hidden.pdf", "notes.txt", "link.pdf", "merged/UP.PDF_low" + kMerged, "done/UP.PDF",
          "done/low.pdf"}},
        {"one file holds both passes",
         {{"both.pdf", 4}},
         {"merged/both" + kMerged, "done/both.pdf"},
         true},
    };
    for (const auto& c : cases) {
        const std::string dir = NewFolder();
        // One clock for the case: files of the same age are in the same second.
        const time_t now = time(nullptr);
        for (const Drop& d : c.drops) {
            if (d.pages == -2) {
                fs::create_symlink(dir + "/../elsewhere.pdf", dir + "/" + d.name);
                Write(dir + "/../elsewhere.pdf", SimpleDocument(2).Build());
                continue;
            }
            const std::string bytes = SimpleDocument(d.pages <= 0 ? 2 : d.pages).Build();
            Write(dir + "/" + d.name,
                  d.pages == 0  ? bytes.substr(0, bytes.size() / 2)
                  : d.pages < 0 ? "%PDF-1.4\n" + std::string(300, 'x') + "\n%%EOF\n"
                                : bytes,
                  now - d.age);
        }
        WatchOptions options;
        options.collated = c.collated;
        const std::vector<std::string> log = RunOnce(dir, options);
        EXPECT_EQ(Listing(dir), c.after) << c.what;
        // What it did is finished: the journal keeps nothing of it.
        EXPECT_EQ(ReadFileBytes(dir + "/.verava-watch.journal"), "") << c.what;
        if (c.after.count("merged/a_b" + kMerged) != 0) {
            EXPECT_EQ(PagesOf(dir + "/merged/a_b" + kMerged), "5");
        }
        if (c.after.count("failed/c1.pdf.txt") != 0) {
            EXPECT_NE(ReadFileBytes(dir + "/failed/c1.pdf.txt").find("3 pages"), std::string::npos);
            EXPECT_TRUE(Logged(log,
                               "failed c1.pdf + c2.pdf: the odd file has 3 pages and the "
                               "even file 1: the odd file must have as many pages as the "
                               "even file or one more"));
        }
        if (c.after.count("failed/bad.pdf.txt") != 0) {
            EXPECT_TRUE(Logged(log,
                               "failed bad.pdf + y.pdf: bad.pdf cannot be read, or is damaged "
                               "beyond repair"));
        }
        if (c.after.count("half.pdf") != 0) {
            EXPECT_TRUE(Logged(log, "waiting for half.pdf: not complete")) << c.what;
        }
    }
}

// A name already in done/ is kept; the new one gets " (2)"; a second look finds nothing to do.
TEST(WatchFolder, NeverReplacesAFileAlreadyDone) {
    const std::string dir = NewFolder();
    fs::create_directories(dir + "/done");
    Write(dir + "/done/a.pdf", "earlier");
    Write(dir + "/a.pdf", SimpleDocument(2).Build());
    Write(dir + "/b.pdf", SimpleDocument(2).Build());
    RunOnce(dir);
    RunOnce(dir);
    EXPECT_EQ(Listing(dir), (std::set<std::string>{"done/a.pdf", "done/a (2).pdf", "done/b.pdf",
                                                   "merged/a_b" + kMerged}));
    EXPECT_EQ(ReadFileBytes(dir + "/done/a.pdf"), "earlier");
}

// Journals as a crash leaves them, built by hand: a restart finishes each job once.
TEST(WatchFolder, RestartFinishesWhatTheJournalLeftOpen) {
    const std::string out = "a_b" + kMerged;
    const struct {
        const char* what;
        std::string journal;
        bool outputWritten;
        bool copyInDone;  // a.pdf already copied into done/, its source not yet removed
        std::set<std::string> after;
        const char* merged;  // the log line saying a merge ran, or "" when none may
    } cases[] = {
        {"paired, merged file written, not recorded",
         "pair\t1\ta.pdf\tb.pdf\t" + out + "\n",
         true,
         false,
         {"merged/" + out, "done/a.pdf", "done/b.pdf"},
         ""},
        {"paired, nothing written",
         "pair\t1\ta.pdf\tb.pdf\t" + out + "\n",
         false,
         false,
         {"merged/" + out, "done/a.pdf", "done/b.pdf"},
         "merged"},
        {"failed, not yet moved",
         "pair\t1\ta.pdf\tb.pdf\t" + out + "\nfailed\t1\tbad pages\n",
         false,
         false,
         {"failed/a.pdf", "failed/b.pdf", "failed/a.pdf.txt"},
         ""},
        {"moving, a copy complete beside its source",
         "pair\t1\ta.pdf\tb.pdf\t" + out + "\nmerged\t1\nmoving\t1\tdone\ta.pdf\tb.pdf\n",
         true,
         true,
         {"merged/" + out, "done/a.pdf", "done/b.pdf"},
         ""},
        {"a line cut short is no job",
         "pair\t1\ta.pdf\tb.pd",
         false,
         false,
         {"merged/" + out, "done/a.pdf", "done/b.pdf"},
         "merged"},
    };
    for (const auto& c : cases) {
        const std::string dir = NewFolder();
        const std::string a = SimpleDocument(2, "Odd").Build();
        Write(dir + "/a.pdf", a);
        Write(dir + "/b.pdf", SimpleDocument(2, "Even").Build());
        Write(dir + "/.verava-watch.journal", c.journal);
        fs::create_directories(dir + "/merged");
        if (c.outputWritten) Write(dir + "/merged/" + out, "written before the crash");
        if (c.copyInDone) {
            fs::create_directories(dir + "/done");
            Write(dir + "/done/a.pdf", a);
        }
        const std::vector<std::string> log = RunOnce(dir);
        EXPECT_EQ(Listing(dir), c.after) << c.what;
        const bool mergedNow = std::any_of(log.begin(), log.end(), [](const std::string& l) {
            return l.rfind("merged ", 0) == 0;
        });
        EXPECT_EQ(mergedNow, *c.merged != '\0') << c.what;
        if (c.outputWritten) {
            EXPECT_EQ(ReadFileBytes(dir + "/merged/" + out), "written before the crash") << c.what;
        }
        if (c.after.count("failed/a.pdf.txt") != 0) {
            EXPECT_NE(ReadFileBytes(dir + "/failed/a.pdf.txt").find("bad pages"),
                      std::string::npos);
        }
        // Finished, the journal starts over on the next start.
        RunOnce(dir);
        EXPECT_EQ(ReadFileBytes(dir + "/.verava-watch.journal"), "") << c.what;
    }
}

// A journal that is no plain file of its own (a link to a file elsewhere, which the watcher
// would truncate, a pipe, one too large to be a journal) stops the watcher before anything
// moves, saying so.
TEST(WatchFolder, RefusesAJournalThatIsNoPlainFile) {
    for (const char* what : {"link", "pipe", "huge"}) {
        const std::string dir = NewFolder();
        const std::string journal = dir + "/.verava-watch.journal";
        const std::string elsewhere = dir + ".kept";
        Write(elsewhere, "the user's own file");
        if (std::string(what) == "link") {
            fs::create_symlink(elsewhere, journal);
        } else if (std::string(what) == "pipe") {
            ASSERT_EQ(mkfifo(journal.c_str(), 0644), 0);
        } else {
            Write(journal, "");
            fs::resize_file(journal, 17 << 20);
        }
        Write(dir + "/a.pdf", SimpleDocument(2).Build());
        Write(dir + "/b.pdf", SimpleDocument(2).Build());
        WatchOptions options;
        options.folder = dir;
        options.settleSeconds = 0;
        options.once = true;
        std::vector<std::string> log;
        WatchFolder watcher(options, [&](const std::string& line) { log.push_back(line); });
        EXPECT_EQ(watcher.Run(), 1) << what;
        EXPECT_EQ(log.back().rfind("cannot watch " + dir + ": cannot ", 0), 0u) << what;
        EXPECT_TRUE(fs::exists(dir + "/a.pdf") && fs::exists(dir + "/b.pdf")) << what;
        EXPECT_EQ(ReadFileBytes(elsewhere), "the user's own file") << what;
    }
}

// done/ a link into a folder on another file system: the inputs are copied there whole and
// only then removed here.
TEST(WatchFolder, MovesOntoAnotherFileSystem) {
    const std::string dir = NewFolder();
    const std::string elsewhere = NewFolder("/dev/shm");
    struct stat here {};
    struct stat there {};
    ASSERT_EQ(stat(dir.c_str(), &here), 0);
    ASSERT_EQ(stat(elsewhere.c_str(), &there), 0);
    ASSERT_NE(here.st_dev, there.st_dev) << "/dev/shm must be another file system";
    fs::create_directory_symlink(elsewhere, dir + "/done");
    const std::string a = SimpleDocument(3).Build();
    Write(dir + "/a.pdf", a);
    Write(dir + "/b.pdf", SimpleDocument(2).Build());
    RunOnce(dir);
    EXPECT_EQ(Listing(dir), (std::set<std::string>{"merged/a_b" + kMerged}));
    EXPECT_EQ(Listing(elsewhere), (std::set<std::string>{"a.pdf", "b.pdf"}));
    EXPECT_EQ(ReadFileBytes(elsewhere + "/a.pdf"), a);
    fs::remove_all(elsewhere);
}

#ifdef VERAVA_CLI

// The real program in the background: a file written slowly by another process is taken only
// once complete, its partner follows, a lone file leaves after --pair-within, and SIGTERM
// ends the watch cleanly. By inotify, and by polling.
TEST(WatchCommand, MergesFilesAsTheyArriveUntilStopped) {
    const struct {
        const char* options;
        const char* firstLine;
    } cases[] = {{"", "with inotify"}, {" --poll 1", "polling every 1 s"}};
    for (const auto& c : cases) {
        const std::string dir = NewFolder();
        const std::string err = dir + ".log";
        const std::string pid = dir + ".pid";
        testing::RunCommand("(" + std::string(VERAVA_CLI) + " watch '" + dir +
                            "' --settle 0 --pair-within 2s" + c.options + " 2>'" + err +
                            "' & echo $! >'" + pid + "'; wait $!; echo $? >'" + pid +
                            ".rc') >/dev/null 2>&1 &");
        const std::string a = SimpleDocument(3, "Odd").Build();
        const std::string source = testing::WriteTempFile("watch-slow.pdf", a);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        // Five pieces, 300 ms apart, by dd in another process.
        const size_t piece = a.size() / 5 + 1;
        testing::RunCommand("for i in 0 1 2 3 4; do dd if='" + source +
                            "' bs=" + std::to_string(piece) + " skip=$i count=1 status=none >>'" +
                            dir + "/a.pdf'; sleep 0.3; done");
        Write(dir + "/b.pdf", SimpleDocument(3, "Even").Build());
        const std::string merged = dir + "/merged/a_b" + kMerged;
        for (int i = 0; i < 100 && !fs::exists(dir + "/done/b.pdf"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(PagesOf(merged), "6") << c.options;
        Write(dir + "/lone.pdf", SimpleDocument(2).Build());
        for (int i = 0; i < 100 && !fs::exists(dir + "/unpaired/lone.pdf"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        testing::RunCommand("kill -TERM $(cat '" + pid + "')");
        for (int i = 0; i < 50 && !fs::exists(pid + ".rc"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(ReadFileBytes(pid + ".rc"), "0\n") << c.options;
        EXPECT_EQ(Listing(dir),
                  (std::set<std::string>{"merged/a_b" + kMerged, "done/a.pdf", "done/b.pdf",
                                         "unpaired/lone.pdf", "unpaired/lone.pdf.txt"}))
            << c.options;
        const std::string log = ReadFileBytes(err);
        EXPECT_EQ(log.substr(0, log.find('\n')), "watching " + dir + " " + c.firstLine);
        EXPECT_NE(log.find("taken a.pdf\n"), std::string::npos) << log;
        EXPECT_NE(
            log.find("taken b.pdf\npaired a.pdf + b.pdf\nmerged \xE2\x86\x92 " + merged + "\n"),
            std::string::npos)
            << log;
        EXPECT_NE(log.find("unpaired lone.pdf: no second file within 2s\n"), std::string::npos);
        EXPECT_EQ(ReadFileBytes(dir + "/done/a.pdf"), a);
    }
}

// Under systemd (JOURNAL_STREAM names standard error) each line begins with its priority;
// anywhere else, or when the variable names another stream, it does not.
TEST(WatchCommand, MarksPrioritiesOnlyForTheJournal) {
    for (const bool journal : {true, false}) {
        const std::string dir = NewFolder();
        Write(dir + "/old.pdf", SimpleDocument(2).Build(), time(nullptr) - 3 * 3600);
        const std::string err = dir + ".log";
        Write(err, "");
        struct stat st {};
        ASSERT_EQ(stat(err.c_str(), &st), 0);
        const std::string stream =
            journal ? std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) : "1:1";
        testing::RunCommand("JOURNAL_STREAM=" + stream + " " + std::string(VERAVA_CLI) +
                            " watch '" + dir + "' --once --settle 0 2>>'" + err + "'");
        const std::string mark = journal ? "<4>" : "";
        EXPECT_NE(ReadFileBytes(err).find("\n" + mark + "unpaired old.pdf: no second file"),
                  std::string::npos)
            << ReadFileBytes(err);
        EXPECT_EQ(ReadFileBytes(err).rfind(journal ? "<6>looking at " : "looking at ", 0), 0u);
    }
}

TEST(WatchCommand, RefusesUsageErrorsBeforeLookingAtTheFolder) {
    const std::string dir = NewFolder();
    for (const std::string args :
         {"", "a b", "D --pair-within 5x", "D --pair-within 0", "D --settle", "D --poll 0",
          "D --turned sideways", "D --bogus", "D --out D", "D --collated --reverse-even"}) {
        std::string line = args;
        for (size_t at; (at = line.find('D')) != std::string::npos;) line.replace(at, 1, dir);
        int status = 0;
        testing::RunCommand(std::string(VERAVA_CLI) + " watch " + line + " 2>/dev/null", &status);
        EXPECT_EQ(status, 2) << args;
    }
    EXPECT_TRUE(Listing(dir).empty());
    EXPECT_FALSE(fs::exists(dir + "/.verava-watch.journal"));
}

#endif

}  // namespace
}  // namespace verava
