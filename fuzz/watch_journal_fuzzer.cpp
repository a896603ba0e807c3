// Arbitrary bytes as the scan folder's journal, which lies in a folder others may write to:
// every job replayed must name only plain scans of the folder (no path, not hidden, a .pdf),
// move only into done, failed or unpaired with one name per input, and its own lines, written
// again, must replay to the same job.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/watch_journal.h"

namespace {

using verava::WatchJob;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::abort();
}

void CheckName(const std::string& name, const char* what) {
    if (name.empty() || name[0] == '.' || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos || name.size() < 4)
        Fail(std::string("replayed a ") + what + " that is not a plain name: " + name);
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(c | 0x20);
    if (tail != ".pdf") Fail(std::string("replayed a ") + what + " that is not a .pdf: " + name);
}

std::string Lines(const WatchJob& job) {
    std::string lines = job.kind == WatchJob::Kind::Lone ? verava::JournalLoneLine(job)
                                                         : verava::JournalPairLine(job);
    if (job.merged) lines += verava::JournalMergedLine(job.id);
    if (job.failed) lines += verava::JournalFailedLine(job.id, job.reason);
    if (job.moving) lines += verava::JournalMovingLine(job);
    if (job.moved) lines += verava::JournalMovedLine(job.id);
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    const std::string content(reinterpret_cast<const char*>(data), size);
    for (const WatchJob& job : verava::ReplayJournal(content)) {
        CheckName(job.odd, "scan");
        if (!job.even.empty()) CheckName(job.even, "scan");
        if (job.kind == WatchJob::Kind::Pair) CheckName(job.output, "merged file");
        if (job.moving) {
            if (job.folder != "done" && job.folder != "failed" && job.folder != "unpaired")
                Fail("replayed a move into " + job.folder);
            if (job.targets.size() != (job.even.empty() ? 1u : 2u))
                Fail("replayed a move with another count of names than inputs");
            for (const std::string& target : job.targets) CheckName(target, "target");
        }
        const std::vector<WatchJob> again = verava::ReplayJournal(Lines(job));
        if (again.size() != 1) Fail("a replayed job's own lines do not replay to one job");
        const WatchJob& b = again[0];
        // A lone job's reason is the failure's when it failed; the pair line keeps no reason.
        if (b.kind != job.kind || b.id != job.id || b.odd != job.odd || b.even != job.even ||
            (job.kind == WatchJob::Kind::Pair && b.output != job.output) ||
            b.merged != job.merged || b.failed != job.failed || b.moving != job.moving ||
            b.folder != job.folder || b.targets != job.targets || b.moved != job.moved ||
            ((job.failed || job.kind == WatchJob::Kind::Lone) && b.reason != job.reason))
            Fail("a replayed job's own lines replay to another job");
    }
    return 0;
}
