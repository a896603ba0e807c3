#include "app/watch_folder.h"

#include <algorithm>

#include "app/workflow.h"
#include "objects/pdf_text.h"

namespace verava {
namespace {

constexpr int64_t kRetryMs = 30 * 1000;  // a full disk or a locked output: look again then

const char kJournalName[] = ".verava-watch.journal";

std::string NameOf(const std::u16string& path) {
    const std::string text = UnicodeToUtf8(path);
    const size_t slash = text.rfind('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

bool EndsWithPdf(const std::string& name) {
    if (name.size() <= 4) return false;
    std::string tail = name.substr(name.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == ".pdf";
}

std::string Pages(int32_t n) { return std::to_string(n) + (n == 1 ? " page" : " pages"); }

// Why a pair cannot be merged, in plain words; "" when the fault is in writing the output
// (a full disk, a locked file), which is worth another try later.
std::string InputFault(const WorkflowResult& r, const WatchJob& job) {
    const std::string file = r.failedPath.empty() ? job.odd : NameOf(r.failedPath);
    switch (r.outcome) {
        case WorkflowOutcome::PageCountMismatch:
            return job.even.empty()
                       ? "the fronts are " + Pages(r.oddPages) + " and the backs " +
                             std::to_string(r.evenPages) +
                             ": there must be as many fronts as backs or one more"
                       : "the odd file has " + Pages(r.oddPages) + " and the even file " +
                             std::to_string(r.evenPages) +
                             ": the odd file must have as many pages as the even file or one "
                             "more";
        case WorkflowOutcome::MergeEncrypted:
        case WorkflowOutcome::PasswordRequired:
            return file + " is encrypted: remove its password before scanning into this folder";
        case WorkflowOutcome::OpenFailed:
        case WorkflowOutcome::MergeUnreadable:
            return file + " cannot be read, or is damaged beyond repair";
        case WorkflowOutcome::InputMissing:
            return file + " was removed before it could be merged";
        case WorkflowOutcome::ArrangementInvalid:
            return "the pages cannot be arranged as asked";
        case WorkflowOutcome::MergeFailed:
            if (r.fileError) return "";
            return "merging failed";
        default:
            return "";
    }
}

}  // namespace

int64_t ParseWatchDuration(const std::string& text) {
    if (text.empty() || text.size() > 12) return -1;
    int64_t unit = 1;
    std::string digits = text;
    switch (text.back()) {
        case 's':
            digits.pop_back();
            break;
        case 'm':
            unit = 60;
            digits.pop_back();
            break;
        case 'h':
            unit = 3600;
            digits.pop_back();
            break;
        default:
            break;
    }
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoll(digits) * unit;
}

std::string WatchDurationText(int64_t seconds) {
    if (seconds > 0 && seconds % 3600 == 0) return std::to_string(seconds / 3600) + "h";
    if (seconds > 0 && seconds % 60 == 0) return std::to_string(seconds / 60) + "m";
    return std::to_string(seconds) + "s";
}

int WatchLinePriority(const std::string& line) {
    auto starts = [&](const char* word) { return line.rfind(word, 0) == 0; };
    if (starts("failed ") || starts("cannot ")) return 3;
    if (starts("unpaired ") || starts("left ") || starts("waiting ")) return 4;
    return 6;
}

WatchFolder::WatchFolder(WatchOptions options, std::function<void(const std::string&)> log)
    : options_(std::move(options)), log_(std::move(log)) {
    while (options_.folder.size() > 1 && options_.folder.back() == '/') options_.folder.pop_back();
}

std::string WatchFolder::OutFolder() const {
    return options_.outFolder.empty() ? Path("merged") : options_.outFolder;
}

std::string WatchFolder::Record(const std::string& line) { return journal_.Append(line); }

std::string WatchFolder::Start() {
    std::string content;
    if (std::string error = journal_.Open(Path(kJournalName), content); !error.empty())
        return error;
    if (std::string error = EnsureWatchFolder(OutFolder()); !error.empty()) return error;
    // A line cut short by a crash is ended, so the next record starts a line of its own.
    if (!content.empty() && content.back() != '\n') {
        if (std::string error = Record("\n"); !error.empty()) return error;
    }
    for (WatchJob& job : ReplayJournal(content)) {
        nextId_ = std::max(nextId_, job.id + 1);
        if (!job.moved) open_.push_back(std::move(job));
    }
    while (!open_.empty()) {
        if (WatchStopRequested()) return "";
        if (RunJob(open_.front()) == JobEnd::RetryLater) break;
        open_.erase(open_.begin());
    }
    if (open_.empty() && !content.empty()) {
        // Everything it recorded is finished: it starts over, so it never grows without end.
        if (std::string error = journal_.Replace(""); !error.empty()) return error;
        nextId_ = 1;
    }
    return "";
}

bool WatchFolder::IsCandidate(const WatchEntry& entry) const {
    if (!entry.regular || entry.name.empty() || entry.name[0] == '.' || !EndsWithPdf(entry.name))
        return false;
    for (const WatchJob& job : open_) {
        if (entry.name == job.odd || entry.name == job.even) return false;
    }
    return std::none_of(queue_.begin(), queue_.end(),
                        [&](const Taken& t) { return t.name == entry.name; });
}

bool WatchFolder::IsComplete(const std::string& name) const {
    // Settled and ended by its %%EOF line, the writer is done with it. Whether it loads is
    // the merge's to find: a file damaged beyond repair (or encrypted) then fails with its
    // partner and goes to failed/ saying why, in its place in the order, instead of being
    // left here while the files around it pair up wrongly.
    return EndsWithEofLine(Path(name));
}

void WatchFolder::LookAtFolder(int64_t now) {
    const int64_t settleMs = options_.settleSeconds * 1000;
    const int64_t pairMs = options_.pairWithinSeconds * 1000;
    std::map<std::string, Seen> still;
    std::vector<Taken> completed;
    std::vector<WatchEntry> entries = ListWatchFolder(options_.folder);
    // A taken file that was removed is no longer waiting for a partner.
    queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                                [&](const Taken& t) {
                                    return std::none_of(
                                        entries.begin(), entries.end(),
                                        [&](const WatchEntry& e) { return e.name == t.name; });
                                }),
                 queue_.end());
    for (const WatchEntry& entry : entries) {
        if (!IsCandidate(entry)) continue;
        Seen seen = seen_.count(entry.name) != 0 ? seen_[entry.name] : Seen{};
        if (seen.size != entry.size || seen.mtimeMs != entry.mtimeMs) {
            // Changed (or new): settled once unchanged for the settle time, counted from its
            // last modification but never from a time in the future.
            seen.size = entry.size;
            seen.mtimeMs = entry.mtimeMs;
            seen.settledAtMs = std::min(now + settleMs, std::max(now, entry.mtimeMs + settleMs));
            seen.checked = false;
        }
        if (!seen.checked && now >= seen.settledAtMs) {
            seen.checked = true;
            if (IsComplete(entry.name)) {
                completed.push_back({entry.name, std::min(entry.mtimeMs, now)});
                continue;
            }
            if (!seen.reportedWaiting) {
                log_("waiting for " + entry.name + ": not complete");
                seen.reportedWaiting = true;
            }
        }
        if (seen.checked && !seen.reportedStale && now - seen.mtimeMs >= pairMs) {
            log_("left " + entry.name + ": not complete within " +
                 WatchDurationText(options_.pairWithinSeconds));
            seen.reportedStale = true;
        }
        still[entry.name] = seen;
    }
    seen_ = std::move(still);
    // Files completing in the same second are taken in the order of their names.
    std::sort(completed.begin(), completed.end(), [](const Taken& a, const Taken& b) {
        if (a.atMs / 1000 != b.atMs / 1000) return a.atMs < b.atMs;
        return a.name < b.name;
    });
    for (Taken& t : completed) {
        log_("taken " + t.name);
        queue_.push_back(std::move(t));
    }
}

bool WatchFolder::NextJob(int64_t now, WatchJob& job) {
    if (queue_.empty()) return false;
    const int64_t pairMs = options_.pairWithinSeconds * 1000;
    job = WatchJob{};
    job.id = nextId_;
    const Taken first = queue_.front();
    if (options_.collated) {
        job.odd = first.name;
        job.output = FreeName(OutFolder(), NameOf(CollateOutputPath(Utf8ToUnicode(first.name))));
        log_("collating " + first.name);
        queue_.erase(queue_.begin());
    } else if (queue_.size() >= 2 && queue_[1].atMs - first.atMs <= pairMs) {
        job.odd = first.name;
        job.even = queue_[1].name;
        job.output = FreeName(
            OutFolder(), NameOf(MergeOutputPath(Utf8ToUnicode(job.odd), Utf8ToUnicode(job.even))));
        log_("paired " + job.odd + " + " + job.even);
        queue_.erase(queue_.begin(), queue_.begin() + 2);
    } else if (queue_.size() >= 2 || now - first.atMs >= pairMs) {
        job.kind = WatchJob::Kind::Lone;
        job.odd = first.name;
        job.reason = "no second file within " + WatchDurationText(options_.pairWithinSeconds);
        log_("unpaired " + first.name + ": " + job.reason);
        queue_.erase(queue_.begin());
    } else {
        return false;
    }
    return true;
}

int64_t WatchFolder::Step() {
    int64_t now = WatchNowMs();
    if (now >= retryAtMs_) {
        // Jobs a failed write held back come first, in their order.
        while (!open_.empty() && !WatchStopRequested()) {
            if (RunJob(open_.front()) == JobEnd::RetryLater) break;
            open_.erase(open_.begin());
        }
    }
    LookAtFolder(now);
    WatchJob job;
    bool recorded = false;
    while (open_.empty() && !WatchStopRequested() && NextJob(WatchNowMs(), job)) {
        const std::string line =
            job.kind == WatchJob::Kind::Pair ? JournalPairLine(job) : JournalLoneLine(job);
        if (std::string error = Record(line); !error.empty()) {
            // Without its journal line nothing may happen to the files: they wait.
            log_("cannot record: " + error);
            retryAtMs_ = WatchNowMs() + kRetryMs;
            writeFailed_ = true;
            queue_.clear();
            seen_.clear();
            break;
        }
        ++nextId_;
        recorded = true;
        open_.push_back(job);
        if (RunJob(open_.back()) == JobEnd::RetryLater) break;
        open_.pop_back();
    }
    if (recorded && open_.empty()) {
        // Every job it recorded is finished: a watcher that runs for months keeps a journal
        // of what is open, not of everything it ever did.
        if (std::string error = journal_.Replace(""); !error.empty()) {
            log_("cannot record: " + error);
        } else {
            nextId_ = 1;
        }
    }
    // When something becomes due without a change in the folder.
    now = WatchNowMs();
    int64_t next = -1;
    auto due = [&](int64_t at) {
        const int64_t wait = std::max<int64_t>(at - now, 0);
        if (next < 0 || wait < next) next = wait;
    };
    if (!open_.empty()) due(retryAtMs_);
    for (const auto& [name, seen] : seen_) {
        if (!seen.checked) due(seen.settledAtMs);
        if (!seen.reportedStale) due(seen.mtimeMs + options_.pairWithinSeconds * 1000);
    }
    if (!queue_.empty()) due(queue_.front().atMs + options_.pairWithinSeconds * 1000);
    return next;
}

WatchFolder::JobEnd WatchFolder::Hold(const std::string& why) {
    log_(why + "; trying again in " + WatchDurationText(kRetryMs / 1000));
    retryAtMs_ = WatchNowMs() + kRetryMs;
    writeFailed_ = true;
    return JobEnd::RetryLater;
}

WatchFolder::JobEnd WatchFolder::RunJob(WatchJob& job) {
    if (job.moving) return MoveInputs(job, job.folder);
    if (job.kind == WatchJob::Kind::Lone) return MoveInputs(job, "unpaired");
    if (job.failed) return MoveInputs(job, "failed");
    if (!job.merged && WatchPathExists(OutFolder() + "/" + job.output)) {
        // Written before a crash that came before its record: a merged file is complete
        // before it takes its name.
        if (std::string error = Record(JournalMergedLine(job.id)); !error.empty()) {
            return Hold("cannot record: " + error);
        }
        job.merged = true;
    }
    if (!job.merged) return Merge(job);
    return MoveInputs(job, "done");
}

WatchFolder::JobEnd WatchFolder::Merge(WatchJob& job) {
    MergeRequest request;
    request.oddPath = Utf8ToUnicode(Path(job.odd));
    request.collated = job.even.empty();
    request.evenPath = request.collated ? u"" : Utf8ToUnicode(Path(job.even));
    // A collated file's backs come last to first, as collate takes them.
    request.evenReversed = request.collated || options_.evenReversed;
    request.rotateEven = options_.shortEdge ? 180 : 0;
    request.blankPages.enabled = options_.dropBlank;
    const std::string output = OutFolder() + "/" + job.output;
    request.outputOverride = Utf8ToUnicode(output);
    WorkflowProgress progress;
    progress.stopRequested = [] { return WatchStopRequested(); };
    const WorkflowResult r = MergeFiles(request, progress);
    const std::string inputs = job.even.empty() ? job.odd : job.odd + " + " + job.even;
    if (r.outcome == WorkflowOutcome::Done) {
        log_("merged \xE2\x86\x92 " + output);
        if (std::string error = Record(JournalMergedLine(job.id)); !error.empty()) {
            return Hold("cannot record: " + error);
        }
        job.merged = true;
        return MoveInputs(job, "done");
    }
    if (r.outcome == WorkflowOutcome::Cancelled) return JobEnd::RetryLater;
    const std::string fault = InputFault(r, job);
    if (fault.empty()) {
        std::string why = "cannot write " + output;
        if (r.fileError) why += ": " + r.fileError.Text();
        return Hold("waiting with " + inputs + ": " + why);
    }
    log_("failed " + inputs + ": " + fault);
    if (std::string error = Record(JournalFailedLine(job.id, fault)); !error.empty()) {
        return Hold("cannot record: " + error);
    }
    job.failed = true;
    job.reason = fault;
    return MoveInputs(job, "failed");
}

std::string WatchFolder::FreeName(const std::string& folder, const std::string& name,
                                  const std::vector<std::string>& alsoTaken) const {
    const size_t dot = EndsWithPdf(name) ? name.size() - 4 : name.size();
    std::string candidate = name;
    for (int n = 2;; ++n) {
        if (!WatchPathExists(folder + "/" + candidate) &&
            std::find(alsoTaken.begin(), alsoTaken.end(), candidate) == alsoTaken.end())
            return candidate;
        candidate = name.substr(0, dot) + " (" + std::to_string(n) + ")" + name.substr(dot);
    }
}

WatchFolder::JobEnd WatchFolder::MoveInputs(WatchJob& job, const std::string& folderName) {
    const std::string folder = Path(folderName);
    if (std::string error = EnsureWatchFolder(folder); !error.empty()) {
        return Hold("cannot move " + job.odd + ": " + error);
    }
    std::vector<std::string> sources = {job.odd};
    if (!job.even.empty()) sources.push_back(job.even);
    if (!job.moving) {
        // The names in the target are fixed before anything moves, so a restart finishes the
        // same moves instead of making second copies.
        job.folder = folderName;
        job.targets.clear();
        for (const std::string& source : sources) {
            job.targets.push_back(FreeName(folder, source, job.targets));
        }
        if (std::string error = Record(JournalMovingLine(job)); !error.empty()) {
            return Hold("cannot record: " + error);
        }
        job.moving = true;
    }
    if (folderName != "done" && !job.targets.empty()) {
        const std::string note = folder + "/" + job.targets[0] + ".txt";
        if (!WatchPathExists(note)) {
            const std::string inputs = job.even.empty() ? job.odd : job.odd + " + " + job.even;
            const std::string text =
                folderName == "unpaired"
                    ? job.odd + " was not merged: " + job.reason +
                          ".\nPut it back into the folder together with its other pass.\n"
                    : inputs + " could not be merged: " + job.reason + ".\n";
            if (std::string error = WriteFileDurably(note, text); !error.empty()) {
                log_("cannot write " + note + ": " + error);
            }
        }
    }
    for (size_t i = 0; i < sources.size() && i < job.targets.size(); ++i) {
        const std::string from = Path(sources[i]);
        std::string to = folder + "/" + job.targets[i];
        if (!WatchPathExists(from)) continue;  // moved before a restart (or removed)
        if (WatchPathExists(to)) {
            // A copy across file systems that was complete before its source was removed.
            if (SameFileContent(from, to)) {
                if (std::remove(from.c_str()) != 0) return Hold("cannot remove " + from);
                continue;
            }
            to = folder + "/" + FreeName(folder, sources[i], job.targets);
        }
        if (std::string error = MoveFileDurably(from, to); !error.empty()) {
            return Hold(error);
        }
    }
    if (std::string error = Record(JournalMovedLine(job.id)); !error.empty()) {
        return Hold("cannot record: " + error);
    }
    job.moved = true;
    return JobEnd::Finished;
}

int WatchFolder::Run() {
    InstallWatchStopHandlers();
    WatchEvents events;
    if (!options_.once) {
        if (std::string error = events.Open(options_.folder, options_.pollSeconds);
            !error.empty()) {
            log_("cannot watch " + options_.folder + ": " + error);
            return 1;
        }
        log_("watching " + options_.folder + " " + events.Description());
    } else {
        log_("looking at " + options_.folder + " once");
    }
    if (std::string error = Start(); !error.empty()) {
        log_("cannot watch " + options_.folder + ": " + error);
        return 1;
    }
    while (!WatchStopRequested()) {
        const int64_t next = Step();
        if (options_.once) break;
        events.Wait(next);
    }
    if (WatchStopRequested()) log_("stopped");
    return options_.once && writeFailed_ ? 1 : 0;
}

}  // namespace verava
