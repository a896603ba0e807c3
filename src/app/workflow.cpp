#include "app/workflow.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/brannock.h"
#include "merge/merge_input.h"
#include "objects/number_text.h"
#include "objects/wide_file_stream.h"
#include "content/blank_page_detector.h"

namespace verava {
namespace {

const std::u16string kReversedSuffix = u"_\u91CD\u6392\u540E.pdf";  // "_重排后.pdf"
const std::u16string kMergedSuffix = u"_\u5408\u5E76\u540E.pdf";    // "_合并后.pdf"

void ReplaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to) {
    std::u16string out;
    size_t start = 0;
    for (size_t at = text.find(from); at != std::u16string::npos; at = text.find(from, start)) {
        out.append(text, start, at - start);
        out.append(to);
        start = at + from.size();
    }
    out.append(text, start, std::u16string::npos);
    text = std::move(out);
}

bool EndsWithPdfAnyCase(const std::u16string& path) {
    if (path.size() < 4) return false;
    std::u16string tail = path.substr(path.size() - 4);
    for (char16_t& c : tail) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return tail == u".pdf";
}

WorkflowOutcome OpenOutcome(int32_t errorCode) {
    return errorCode == kErrorPassword ? WorkflowOutcome::PasswordRequired
                                       : WorkflowOutcome::OpenFailed;
}

void Report(const WorkflowProgress& progress, int32_t percent, bool processEvents) {
    if (progress.setPosition) progress.setPosition(percent);
    if (processEvents && progress.processEvents) progress.processEvents();
}

// The engine's 0..100 of its next operation shown as `from`..`to` of the bar, and the
// user's stop handed to it.
void FollowEngine(TBrannock& engine, const WorkflowProgress& progress, int32_t from, int32_t to) {
    engine.LastReported = -1;
    engine.OnProgress = [&progress, from, to](int32_t percent) {
        Report(progress, from + ProgressPercent(percent, 100, to - from), true);
    };
    engine.StopRequested = progress.stopRequested;
}

}  // namespace

int32_t ProgressPercent(int64_t numerator, int64_t denominator, int32_t factor) {
    if (denominator == 0) return 0;
    const long double quotient = static_cast<long double>(numerator) / denominator;
    return RoundToInt32(static_cast<double>(quotient * factor));
}

std::u16string ReverseOutputPath(const std::u16string& input) {
    std::u16string output = input;
    ReplaceAll(output, u".pdf", kReversedSuffix);
    if (output != input) return output;
    if (EndsWithPdfAnyCase(output)) output.resize(output.size() - 4);
    return output + kReversedSuffix;
}

WorkflowResult ReverseFilePages(const std::u16string& path, const WorkflowProgress& progress,
                                const std::u16string& password,
                                const std::u16string& outputOverride) {
    WorkflowResult result;
    if (path.empty() || !FileExistsWide(path)) {
        result.outcome = WorkflowOutcome::InputMissing;
        result.failedPath = path;
        return result;
    }
    TVelmorPDFLibrary engine;
    if (engine.OpenFile(path, password) != 1) {
        // Going on would reverse and save the engine's blank page under the output name.
        result.outcome = OpenOutcome(engine.ErrorCode);
        result.failedPath = path;
        result.errorCode = engine.ErrorCode;
        return result;
    }
    const int32_t n = engine.CountPages();
    std::vector<int32_t> order(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) order[static_cast<size_t>(i)] = n - i;
    if (n > 1 && engine.ReorderPages(order) != 1) {
        result.outcome = WorkflowOutcome::OpenFailed;
        result.failedPath = path;
        return result;
    }
    result.outputPath = outputOverride.empty() ? ReverseOutputPath(path) : outputOverride;
    // The pages move in one step; the save is the work, and the bar follows its objects.
    // It stops at 99 until the file is on disk and in place.
    FollowEngine(engine, progress, 0, 99);
    if (engine.WriteToFile(result.outputPath) != 1) {
        result.fileError = engine.LastFileError;
        result.outcome = result.fileError.Problem == TFileProblem::Cancelled
                             ? WorkflowOutcome::Cancelled
                             : WorkflowOutcome::SaveFailed;
        result.failedPath = result.outputPath;
        return result;
    }
    Report(progress, 100, false);
    return result;
}

std::u16string MergeOutputPath(const std::u16string& oddPath, const std::u16string& evenPath) {
    auto split = [](const std::u16string& path, std::u16string& folder, std::u16string& name) {
        const size_t slash = path.rfind(u'/');
        folder = slash == std::u16string::npos ? u"" : path.substr(0, slash + 1);
        name = slash == std::u16string::npos ? path : path.substr(slash + 1);
    };
    std::u16string oddFolder, oddName, evenFolder, evenName;
    split(oddPath, oddFolder, oddName);
    split(evenPath, evenFolder, evenName);
    ReplaceAll(oddName, u".pdf", u"");
    ReplaceAll(evenName, u".pdf", u"");
    return oddFolder + oddName + u"_" + evenName + kMergedSuffix;
}

std::u16string CollateOutputPath(const std::u16string& path) {
    const size_t slash = path.rfind(u'/');
    const size_t nameStart = slash == std::u16string::npos ? 0 : slash + 1;
    std::u16string name = path.substr(nameStart);
    ReplaceAll(name, u".pdf", u"");
    return path.substr(0, nameStart) + name + kMergedSuffix;
}

int32_t SheetOf(PlannedPage page, int32_t evenPages, bool evenReversed) {
    if (page.sheet > 0) return page.sheet;
    if (page.source != PageSource::Even || !evenReversed) return page.page;
    return evenPages - page.page + 1;
}

ArrangedStack ArrangeStack(int32_t oddPages, int32_t evenPages,
                           const StackArrangement& arrangement) {
    ArrangedStack stack;
    oddPages = std::max(oddPages, 0);
    evenPages = std::max(evenPages, 0);
    std::vector<bool> skip[2] = {std::vector<bool>(static_cast<size_t>(oddPages), false),
                                 std::vector<bool>(static_cast<size_t>(evenPages), false)};
    for (const PlannedPage& page : arrangement.skipped) {
        const int pass = page.source == PageSource::Odd ? 0 : 1;
        const int32_t count = pass == 0 ? oddPages : evenPages;
        if (page.source == PageSource::Blank || page.page < 1 || page.page > count) {
            stack.valid = false;
            continue;
        }
        skip[pass][static_cast<size_t>(page.page - 1)] = true;
    }
    std::vector<PlannedPage> fronts;
    std::vector<PlannedPage> backs;
    for (int32_t k = 1; k <= oddPages; ++k) {
        if (!skip[0][static_cast<size_t>(k - 1)])
            fronts.push_back({PageSource::Odd, k, arrangement.rotateOdd});
    }
    // Backs in sheet order: the last page first when the stack was turned over.
    for (int32_t k = 1; k <= evenPages; ++k) {
        const int32_t page = arrangement.evenReversed ? evenPages + 1 - k : k;
        if (!skip[1][static_cast<size_t>(page - 1)])
            backs.push_back({PageSource::Even, page, arrangement.rotateEven});
    }
    std::vector<int32_t> blanks = arrangement.blankBacks;
    std::sort(blanks.begin(), blanks.end());
    blanks.erase(std::unique(blanks.begin(), blanks.end()), blanks.end());
    // In rising order, so that each sheet number counts the blank backs put in before it.
    for (const int32_t sheet : blanks) {
        if (sheet < 1 || static_cast<size_t>(sheet) > fronts.size() ||
            static_cast<size_t>(sheet - 1) > backs.size()) {
            stack.valid = false;
            continue;
        }
        const PlannedPage& front = fronts[static_cast<size_t>(sheet - 1)];
        backs.insert(backs.begin() + (sheet - 1),
                     PlannedPage{PageSource::Blank, front.page, arrangement.rotateEven});
    }
    stack.fronts = static_cast<int32_t>(fronts.size());
    stack.backs = static_cast<int32_t>(backs.size());
    stack.paired = stack.fronts == stack.backs || stack.fronts == stack.backs + 1;
    if (!stack.valid) return stack;
    stack.order.reserve(fronts.size() + backs.size());
    for (size_t k = 0; k < std::max(fronts.size(), backs.size()); ++k) {
        const int32_t sheet = static_cast<int32_t>(k) + 1;
        if (k < fronts.size()) {
            stack.order.push_back(fronts[k]);
            stack.order.back().sheet = sheet;
        }
        if (k < backs.size()) {
            stack.order.push_back(backs[k]);
            stack.order.back().sheet = sheet;
        }
    }
    return stack;
}

std::vector<PlannedPage> InterleavedOrder(int32_t oddPages, int32_t evenPages, bool evenReversed) {
    // The plain interleave of passes whose counts may break the rule (the preview shows
    // them anyway): what the passes have, sheet by sheet.
    std::vector<PlannedPage> order;
    oddPages = std::max(oddPages, 0);
    evenPages = std::max(evenPages, 0);
    order.reserve(static_cast<size_t>(oddPages) + static_cast<size_t>(evenPages));
    for (int32_t k = 1; k <= std::max(oddPages, evenPages); ++k) {
        if (k <= oddPages) order.push_back({PageSource::Odd, k, 0, k});
        if (k <= evenPages) {
            order.push_back({PageSource::Even, evenReversed ? evenPages + 1 - k : k, 0, k});
        }
    }
    return order;
}

namespace {

// Pages looked at so far by both threads, and whether the second thread is done.
struct JudgingProgress {
    std::atomic<int32_t> done{0};
    std::atomic<bool> stop{false};  // the user stopped the run
    bool finished = false;  // guarded by lock
    std::mutex lock;
    std::condition_variable changed;
};

// Judges every page of `document` in page order into `inks`. Never raises: whatever could
// not be judged is left out of `inks`, and pages without a verdict are kept.
void JudgePages(TPDFDocument& document, double threshold, JudgingProgress& progress,
                std::vector<TPageJudgement>& inks) {
    try {
        TBlankPageDetector detector(threshold);
        const std::vector<TPDFDictionary*> pages = document.PageTree().Pages();
        inks.reserve(pages.size());
        for (TPDFDictionary* page : pages) {
            if (progress.stop.load()) break;
            inks.push_back(detector.Judge(page));
            progress.done.fetch_add(1);
            progress.changed.notify_one();
        }
    } catch (const std::exception&) {
    }
}

// Looks at the pages of both documents, the even file on a thread of its own (none for a
// collated file, whose one document is `odd`), and reports done pages / all pages x `scale`
// from this thread. False when the user stopped it.
bool JudgeBoth(TPDFDocument& odd, TPDFDocument* even, int32_t total, double threshold,
               const WorkflowProgress& sink, int32_t scale,
               std::vector<TPageJudgement>& oddInks, std::vector<TPageJudgement>& evenInks) {
    JudgingProgress progress;
    int32_t reported = -1;
    auto report = [&] {
        if (sink.stopRequested && sink.stopRequested()) progress.stop.store(true);
        const int32_t percent = ProgressPercent(progress.done.load(), total, scale);
        if (percent == reported) return;
        reported = percent;
        Report(sink, percent, true);
    };
    // The bar starts at 0 before the first page is looked at, not where a run before left it.
    report();
    std::thread worker([&] {
        if (even != nullptr) JudgePages(*even, threshold, progress, evenInks);
        {
            const std::lock_guard<std::mutex> hold(progress.lock);
            progress.finished = true;
        }
        progress.changed.notify_one();
    });
    // Pages of the odd file report as they are done; then the even file's, while waiting.
    try {
        TBlankPageDetector detector(threshold);
        const std::vector<TPDFDictionary*> pages = odd.PageTree().Pages();
        for (TPDFDictionary* page : pages) {
            if (progress.stop.load()) break;
            oddInks.push_back(detector.Judge(page));
            progress.done.fetch_add(1);
            report();
        }
    } catch (const std::exception&) {
    }
    {
        std::unique_lock<std::mutex> hold(progress.lock);
        while (!progress.finished) {
            const int32_t before = progress.done.load();
            progress.changed.wait(
                hold, [&] { return progress.finished || progress.done.load() != before; });
            hold.unlock();
            report();
            hold.lock();
        }
    }
    worker.join();
    report();
    return !progress.stop.load();
}

// Where a planned page is in the loaded files: document 0 or 1 and its place there
// (0-based). A collated file is document 0 for both passes, its backs after its fronts.
struct FilePage {
    int document = 0;
    int32_t index = 0;
};
FilePage FilePageOf(const PlannedPage& page, const MergePlan& plan, bool collated) {
    if (page.source == PageSource::Even) {
        return collated ? FilePage{0, plan.oddPages + page.page - 1} : FilePage{1, page.page - 1};
    }
    return {0, page.page - 1};  // an odd page, or the front a blank back takes its size from
}

StackArrangement ArrangementOf(const MergeRequest& request) {
    return {request.evenReversed, request.rotateOdd, request.rotateEven, request.blankBacks,
            request.skipped};
}

// Opens the inputs of `request` in `engine` (one file when collated), with their passwords:
// Done and the documents, or why not.
WorkflowOutcome OpenInputs(const MergeRequest& request, TBrannock& engine, MergePlan& plan,
                           TPDFDocument* documents[2], int32_t counts[2]) {
    const int inputs = request.collated ? 1 : 2;
    const std::u16string* paths[2] = {&request.oddPath, &request.evenPath};
    const std::u16string* passwords[2] = {&request.oddPassword, &request.evenPassword};
    for (int i = 0; i < inputs; ++i) {
        if (paths[i]->empty() || !FileExistsWide(*paths[i])) {
            plan.failedPath = *paths[i];
            return WorkflowOutcome::InputMissing;
        }
    }
    for (int i = 0; i < inputs; ++i) {
        plan.failedPath = *paths[i];
        if (engine.OpenFile(*paths[i], *passwords[i]) != 1) {
            // An input that does not open cannot be merged; say why instead of counting
            // the engine's blank page. A password that was given and is wrong asks for
            // another.
            plan.errorCode = engine.ErrorCode;
            if (engine.ErrorCode == kErrorPassword) {
                return passwords[i]->empty() ? WorkflowOutcome::MergeEncrypted
                                             : WorkflowOutcome::PasswordRequired;
            }
            return WorkflowOutcome::MergeUnreadable;
        }
        if (engine.CurrentDocument->WasEncrypted()) {
            // Merged only with its password, and then as a decrypted copy.
            if (passwords[i]->empty()) {
                plan.errorCode = kErrorMergeEncrypted;
                return WorkflowOutcome::MergeEncrypted;
            }
            plan.decrypted = true;
        }
        counts[i] = engine.CountPages();
        documents[i] = engine.CurrentDocument;
    }
    plan.failedPath.clear();
    if (request.collated) {
        // The two passes of one file: the fronts, then the backs.
        const int32_t n = counts[0];
        const int32_t from = request.backsFrom > 0 ? request.backsFrom : (n + 1) / 2 + 1;
        if (from > n + 1) {
            plan.failedPath = request.oddPath;
            plan.oddPages = n;
            return WorkflowOutcome::ArrangementInvalid;
        }
        counts[0] = from - 1;
        counts[1] = n - counts[0];
        documents[1] = nullptr;
    }
    return WorkflowOutcome::Done;
}

// Plans the merge with the inputs opened in `engine`, where they stay for the merge;
// `documents` are the odd and the even file once they opened (the even one null for a
// collated file).
MergePlan PlanMergeScaled(const MergeRequest& request, const WorkflowProgress& progress,
                          int32_t scale, TBrannock& engine, TPDFDocument* documents[2]) {
    MergePlan plan;
    int32_t counts[2] = {0, 0};
    plan.outcome = OpenInputs(request, engine, plan, documents, counts);
    if (plan.outcome != WorkflowOutcome::Done) return plan;
    plan.oddPages = counts[0];
    plan.evenPages = counts[1];
    const ArrangedStack stack = ArrangeStack(plan.oddPages, plan.evenPages, ArrangementOf(request));
    if (!stack.valid) {
        plan.outcome = WorkflowOutcome::ArrangementInvalid;
        return plan;
    }
    plan.order = stack.order;
    if (!stack.paired) {
        plan.outcome = WorkflowOutcome::PageCountMismatch;
        return plan;
    }
    if (!request.blankPages.enabled) {
        plan.pages = plan.order;
        return plan;
    }
    std::vector<TPageJudgement> inks[2];
    if (!JudgeBoth(*documents[0], documents[1], plan.oddPages + plan.evenPages,
                   request.blankPages.threshold, progress, scale, inks[0], inks[1])) {
        plan.outcome = WorkflowOutcome::Cancelled;
        return plan;
    }
    for (const PlannedPage& page : plan.order) {
        if (page.source == PageSource::Blank) {
            // Put in on purpose: it is kept.
            plan.pages.push_back(page);
            continue;
        }
        const FilePage at = FilePageOf(page, plan, request.collated);
        const std::vector<TPageJudgement>& of = inks[at.document];
        const auto index = static_cast<size_t>(at.index);
        // A page without a verdict is kept.
        const TPageJudgement judged = index < of.size() ? of[index] : TPageJudgement{};
        if (judged.Ink == TPageInk::Blank) {
            plan.dropped.push_back(page);
            continue;
        }
        if (judged.Ink == TPageInk::Unreadable) {
            plan.unreadable.push_back({page, judged.Doubt, judged.Encoding});
        }
        plan.pages.push_back(page);
    }
    if (plan.pages.empty() && !plan.dropped.empty()) {
        // A file of no pages helps nobody: the first page stays.
        plan.pages.push_back(plan.dropped.front());
        plan.dropped.erase(plan.dropped.begin());
    }
    return plan;
}

}  // namespace

MergePlan PlanMerge(const MergeRequest& request, const WorkflowProgress& progress) {
    TVelmorPDFLibrary engine;
    TPDFDocument* documents[2] = {nullptr, nullptr};
    return PlanMergeScaled(request, progress, 100, engine, documents);
}

MergePlan PlanMerge(const std::u16string& oddPath, const std::u16string& evenPath,
                    bool evenReversed, const std::u16string& oddPassword,
                    const std::u16string& evenPassword) {
    return PlanMerge(MergeRequest{oddPath, evenPath, evenReversed, u"", oddPassword, evenPassword});
}

WorkflowResult ResultOfPlan(const MergePlan& plan) {
    WorkflowResult result;
    result.outcome = plan.outcome;
    result.failedPath = plan.failedPath;
    result.errorCode = plan.errorCode;
    result.decrypted = plan.decrypted;
    result.oddPages = plan.oddPages;
    result.evenPages = plan.evenPages;
    result.order = plan.order;
    return result;
}

WorkflowResult PreviewMerge(const MergeRequest& request, const WorkflowProgress& progress) {
    TVelmorPDFLibrary engine;
    TPDFDocument* documents[2] = {nullptr, nullptr};
    const MergePlan plan = PlanMergeScaled(request, progress, 100, engine, documents);
    WorkflowResult result = ResultOfPlan(plan);
    result.evenReversed = request.evenReversed;
    result.collated = request.collated;
    // Uneven passes are shown too: the preview is where a misfeed is mended.
    if (plan.outcome != WorkflowOutcome::Done && plan.outcome != WorkflowOutcome::PageCountMismatch)
        return result;
    result.dropped = plan.dropped;
    result.unreadable = plan.unreadable;
    result.blankPagesLookedFor = request.blankPages.enabled;
    for (int i = 0; i < 2; ++i) {
        if (documents[i] == nullptr) {
            // A collated file's backs are drawn from the same bytes as its fronts.
            result.pagesToDraw[i] = result.pagesToDraw[0];
            continue;
        }
        TMergeInput input(*documents[i]);
        if (!input.Mended()) {
            result.pagesToDraw[i] = input.Image().MapAll();
            continue;
        }
        try {
            if (TStream* copy = input.CleanCopy()) {
                SharedBytes bytes = copy->MapAll();
                result.pagesToDraw[i] = bytes ? bytes : SharedBytes::FromString(copy->ReadAll());
            }
        } catch (const std::exception&) {
            // No memory for the copy: that input's pictures stay empty frames.
        }
    }
    return result;
}

WorkflowResult MergeFiles(const std::u16string& oddPath, const std::u16string& evenPath,
                          const WorkflowProgress& progress, bool evenReversed,
                          const std::u16string& outputOverride, const std::u16string& oddPassword,
                          const std::u16string& evenPassword) {
    return MergeFiles(MergeRequest{oddPath, evenPath, evenReversed, outputOverride, oddPassword,
                                   evenPassword},
                      progress);
}

WorkflowResult MergeFiles(const MergeRequest& request, const WorkflowProgress& progress) {
    // Looking at the pages takes the bar's first half. The inputs the plan opened are what
    // the merge writes from.
    TVelmorPDFLibrary engine;
    TPDFDocument* documents[2] = {nullptr, nullptr};
    const MergePlan plan = PlanMergeScaled(request, progress, 50, engine, documents);
    WorkflowResult result = ResultOfPlan(plan);
    result.evenReversed = request.evenReversed;
    result.collated = request.collated;
    if (plan.outcome != WorkflowOutcome::Done) return result;
    const int32_t start = request.blankPages.enabled ? 50 : 0;
    if (!request.blankPages.enabled) Report(progress, 0, true);
    if (!request.outputOverride.empty()) {
        result.outputPath = request.outputOverride;
    } else {
        result.outputPath = request.collated ? CollateOutputPath(request.oddPath)
                                             : MergeOutputPath(request.oddPath, request.evenPath);
    }

    // One pass writes the pages already interleaved and turned (and checks every page is
    // there); the bar follows the objects written and stops at 99 until the file is on disk.
    TMergeOptions options;
    options.pages.emplace();
    options.pages->reserve(plan.pages.size());
    for (const PlannedPage& page : plan.pages) {
        const FilePage at = FilePageOf(page, plan, request.collated);
        options.pages->push_back(
            {at.document == 1, at.index, page.rotate, page.source == PageSource::Blank});
    }
    options.firstPassword = request.oddPassword;
    options.secondPassword = request.evenPassword;
    FollowEngine(engine, progress, start, 99);
    const int32_t written =
        request.collated
            ? engine.ArrangeDocument(*documents[0], result.outputPath, options)
            : engine.MergeDocuments(*documents[0], *documents[1], result.outputPath, options);
    if (written != 1) {
        result.errorCode = engine.ErrorCode;
        result.fileError = engine.LastFileError;
        switch (engine.ErrorCode) {
            case kErrorMergeEncrypted:
                result.outcome = WorkflowOutcome::MergeEncrypted;
                // A file of both passes is the one it concerns.
                if (request.collated) result.failedPath = request.oddPath;
                break;
            case kErrorMergeUnreadable:
                result.outcome = WorkflowOutcome::MergeUnreadable;
                if (request.collated) result.failedPath = request.oddPath;
                break;
            case kErrorOutputLocked:
                result.outcome = WorkflowOutcome::OutputLocked;
                result.failedPath = result.outputPath;
                break;
            default:
                result.outcome = WorkflowOutcome::MergeFailed;
                // A write the system refused concerns the output, or memory for an input's
                // working copy; the user stopping it concerns nothing.
                if (result.fileError.Problem == TFileProblem::Cancelled) {
                    result.outcome = WorkflowOutcome::Cancelled;
                } else if (result.fileError && result.fileError.Step != TFileStep::Scratch) {
                    result.failedPath = result.outputPath;
                }
                break;
        }
        return result;
    }
    Report(progress, 100, true);
    result.dropped = plan.dropped;
    result.unreadable = plan.unreadable;
    result.blankPagesLookedFor = request.blankPages.enabled;
    return result;
}

}  // namespace verava
