// The scan folder's rules that need no folder: durations as typed, each line's priority in
// the journal, and which journal lines are replayed. They hold on every platform.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/watch_folder.h"
#include "app/watch_journal.h"

namespace verava {
namespace {

TEST(WatchFolder, ReadsDurationsAsTyped) {
    const struct {
        const char* text;
        int64_t seconds;
        const char* shown;
    } cases[] = {{"90s", 90, "90s"}, {"30m", 1800, "30m"}, {"2h", 7200, "2h"}, {"45", 45, "45s"},
                 {"120", 120, "2m"}, {"0", 0, "0s"},       {"", -1, ""},       {"5x", -1, ""},
                 {"m", -1, ""},      {"-3", -1, ""},       {"1.5h", -1, ""}};
    for (const auto& c : cases) {
        EXPECT_EQ(ParseWatchDuration(c.text), c.seconds) << c.text;
        if (c.seconds >= 0) {
            EXPECT_EQ(WatchDurationText(c.seconds), c.shown) << c.text;
        }
    }
}

TEST(WatchFolder, GivesEachLineItsJournalPriority) {
    const struct {
        const char* line;
        int priority;
    } cases[] = {
        {"watching /s with inotify", 6},
        {"taken a.pdf", 6},
        {"paired a.pdf + b.pdf", 6},
        {"merged \xE2\x86\x92 /s/merged/a_b.pdf", 6},
        {"failed a.pdf + b.pdf: the odd file has 5 pages", 3},
        {"cannot record: disk full; trying again in 30s", 3},
        {"unpaired c.pdf: no second file within 30m", 4},
        {"left d.pdf: not complete within 30m", 4},
        {"waiting for d.pdf: not complete", 4},
        {"stopped", 6},
        {"taken failed .pdf", 6},
    };
    for (const auto& c : cases) EXPECT_EQ(WatchLinePriority(c.line), c.priority) << c.line;
}

// The journal lies in a folder others may write to: only plain scan names of the folder and
// moves into done/, failed/ or unpaired/ are replayed (that each job's own lines replay to
// it, whatever its names hold, is the journal fuzz target's check).
TEST(WatchJournal, ReplaysOnlyJobsOnTheFolderItself) {
    const std::string pair = "pair\t1\ta.pdf\tb.pdf\tout.pdf\n";
    const struct {
        std::string journal;
        size_t jobs;
        const char* movingTo;  // "" when no move is replayed
    } cases[] = {
        {pair, 1, ""},
        {"pair\t1\t../x.pdf\tb.pdf\tout.pdf\n", 0, ""},
        {"pair\t1\ta.pdf\t/home/u/b.pdf\tout.pdf\n", 0, ""},
        {"pair\t1\ta.pdf\tb.pdf\t../../.profile\n", 0, ""},
        {"pair\t1\ta.pdf\tb.pdf\tsub/out.pdf\n", 0, ""},
        {"pair\t1\ta.pdf\ta.pdf\tout.pdf\n", 0, ""},
        {"pair\t1\ta.txt\tb.pdf\tout.pdf\n", 0, ""},
        {"lone\t1\t.verava-watch.journal\twhy\n", 0, ""},
        {"lone\t1\tC.PDF\twhy\nmoving\t1\tunpaired\tC (2).PDF\n", 1, "unpaired"},
        {pair + "moving\t1\tdone\ta (2).pdf\tb.pdf\n", 1, "done"},
        {pair + "moving\t1\t/etc\ta.pdf\tb.pdf\n", 1, ""},
        {pair + "moving\t1\t..\ta.pdf\tb.pdf\n", 1, ""},
        {pair + "moving\t1\tdone\ta.pdf\n", 1, ""},
        {pair + "moving\t1\tdone\ta.pdf\t../b.pdf\n", 1, ""},
    };
    for (const auto& c : cases) {
        const std::vector<WatchJob> jobs = ReplayJournal(c.journal);
        ASSERT_EQ(jobs.size(), c.jobs) << c.journal;
        if (c.jobs != 0) {
            EXPECT_EQ(jobs[0].moving ? jobs[0].folder : "", c.movingTo) << c.journal;
        }
    }
}

}  // namespace
}  // namespace verava
