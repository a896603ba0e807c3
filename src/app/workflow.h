// The two jobs of VERava as the window and the command line run them, without any user
// interface of their own: each run creates an engine, drives it through a fixed sequence of
// calls, reports progress through the given sink, and returns what happened. The caller
// turns the outcome into its own message (a message box, a line on standard error).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "objects/byte_slice.h"
#include "objects/file_error.h"
#include "content/blank_page_detector.h"
#include "content/luminance_grid.h"

namespace verava {

enum class WorkflowOutcome {
    Done,
    InputMissing,       // the path is empty or names no existing file
    OpenFailed,         // not a PDF, or damaged beyond repair
    PasswordRequired,   // encrypted, and no password (or a wrong one) was given
    SaveFailed,         // the output could not be written
    PageCountMismatch,  // merge: odd pages must equal even pages or exceed them by one
    MergeEncrypted,     // merge: an input is encrypted
    MergeUnreadable,    // merge: an input cannot be read
    OutputLocked,       // merge: an existing output file cannot be replaced
    MergeFailed,        // merge: anything else
    Cancelled,          // the user stopped the work; nothing was written
    // merge: a page or sheet named by a misfeed mend, or the page where the backs start in
    // a collated file, is not in the file
    ArrangementInvalid,
};

// Which pass a page of a merged file comes from: the fronts (odd pages), the backs (even
// pages), or neither: a blank back put in for a sheet whose back was not scanned.
enum class PageSource { Odd, Even, Blank };

// One page of a merged file: its source and its number there (1-based; for a blank back,
// the odd page of its sheet, whose size it takes), how far it is turned clockwise on top
// of its own rotation (0, 90, 180, 270), and the sheet it lies on (1-based; 0 when not
// known).
struct PlannedPage {
    PageSource source = PageSource::Odd;
    int32_t page = 0;
    int32_t rotate = 0;
    int32_t sheet = 0;
    // The same page of the same pass (a plan places each once), however placed or turned.
    bool operator==(const PlannedPage& other) const {
        return source == other.source && page == other.page;
    }
};

// A page kept because it could not be looked at in full, and why.
struct KeptPage {
    PlannedPage page;
    TPageDoubt doubt = TPageDoubt::None;
    std::string encoding;  // doubt Image: the image's last filter ("" for plain samples)
    bool operator==(const KeptPage&) const = default;
};

// The sheet a page of a merge lies on (1-based): the one the plan gave it; without one, odd
// page n is the front of sheet n, and even page n its back, or, when the evens were scanned
// last to first, the back of sheet evenPages - n + 1.
int32_t SheetOf(PlannedPage page, int32_t evenPages, bool evenReversed);

struct WorkflowResult {
    WorkflowOutcome outcome = WorkflowOutcome::Done;
    std::u16string failedPath;  // the file the failure concerns
    std::u16string outputPath;  // where the result was (or would have been) written
    int32_t errorCode = 0;      // the engine's code, when it gave one
    // Why the output could not be written, when the system said (a full disk, no
    // permission) or the output is no regular file.
    TFileError fileError;
    // Merge: an encrypted input was merged with its password, so the merged file is not
    // encrypted.
    bool decrypted = false;
    // Merge: the page counts of the odd and the even file, once both have opened.
    int32_t oddPages = 0;
    int32_t evenPages = 0;
    // Merge with blank pages removed: the pages left out, and the pages kept because they
    // could not be looked at in full (both in the order of the merged file).
    std::vector<PlannedPage> dropped;
    std::vector<KeptPage> unreadable;
    bool blankPagesLookedFor = false;  // the merge was asked to leave blank pages out
    bool evenReversed = false;         // merge: the even file was taken as last to first
    bool collated = false;             // merge: one file held both passes
    // Merge: every sheet's pages as arranged (turned, mended), dropped ones included.
    std::vector<PlannedPage> order;
    // Merge preview: for the odd and the even file, the bytes another reader is to draw its
    // pages from, so that its page n is the page the merge takes as page n. That is the file
    // as the plan loaded it, or, when the loader mended it, the clean copy the merge reads
    // (decrypted); empty when that copy cannot be written.
    SharedBytes pagesToDraw[2];
};

// Progress follows the work as it is done: the bar reaches 100 only once the output is
// complete on disk.
struct WorkflowProgress {
    // The progress bar position, 0..100, never going back within one run.
    std::function<void(int32_t percent)> setPosition;
    // Lets the user interface handle pending events during long work.
    std::function<void()> processEvents;
    // Asked at every step; true stops the work: the run ends as Cancelled and whatever it
    // had begun to write is removed (an earlier output stays as it was).
    std::function<bool()> stopRequested;
};

// Rounds quotient x factor to the nearest integer, halves to the even neighbour
// (12.5 -> 12, 37.5 -> 38).
int32_t ProgressPercent(int64_t numerator, int64_t denominator, int32_t factor);

// The output name of a reversed file: every ".pdf" replaced by "_重排后.pdf"; a path
// without a lower-case ".pdf" loses a final ".pdf" of any case and gets "_重排后.pdf", so
// the output never overwrites the input.
std::u16string ReverseOutputPath(const std::u16string& input);

// Writes a copy of `path` with its pages in reverse order beside it.
WorkflowResult ReverseFilePages(const std::u16string& path, const WorkflowProgress& progress,
                                const std::u16string& password = u"",
                                const std::u16string& outputOverride = u"");

// The output name of a merge: the odd file's folder, then its name and the even file's name
// each without any ".pdf", joined by "_", then "_合并后.pdf" ("D:/scan/a.pdf" and "b.pdf" give
// "D:/scan/a_b_合并后.pdf").
std::u16string MergeOutputPath(const std::u16string& oddPath, const std::u16string& evenPath);

// The merged order of an odd file of `oddPages` pages and an even file of `evenPages`:
// odd 1, even 1, odd 2, even 2, ... and the odd file's last page when it has one more. With
// `evenReversed` the even file was scanned last to first, so its last page comes first.
std::vector<PlannedPage> InterleavedOrder(int32_t oddPages, int32_t evenPages, bool evenReversed);

// How the two passes of a stack become sheets, beyond taking them as they are: which way
// each pass is turned, and the mends of a misfeed (a sheet whose back was not scanned, a
// page scanned twice or not wanted). The page-count rule applies to the passes as mended.
struct StackArrangement {
    bool evenReversed = false;  // the backs were scanned last to first
    int32_t rotateOdd = 0;      // degrees clockwise added to every front: 0, 90, 180, 270
    int32_t rotateEven = 0;     // the same for every back (180: turned on the short edge)
    // Sheets (1-based, counted after the skips) that get a blank back put in; the backs
    // from there on move one sheet on.
    std::vector<int32_t> blankBacks;
    // Pages left out of their pass (source Odd or Even, page by its number in its pass);
    // the pages after them move up one sheet.
    std::vector<PlannedPage> skipped;
};

// The sheets of a stack: front 1, back 1, front 2, ... as `arrangement` says, and the
// mended counts. Empty when a mend names a page or sheet that is not there (`valid` false).
// When the mended passes break the page-count rule (fronts must equal backs or exceed them
// by one) the sheets are still given, for a preview to show where it breaks, but `paired`
// is false and nothing may be merged so.
struct ArrangedStack {
    std::vector<PlannedPage> order;
    int32_t fronts = 0;
    int32_t backs = 0;
    bool valid = true;
    bool paired = true;
};
ArrangedStack ArrangeStack(int32_t oddPages, int32_t evenPages,
                           const StackArrangement& arrangement);

// The output name of a collated file: its folder and name without any ".pdf", then
// "_合并后.pdf" ("D:/scan/both.pdf" gives "D:/scan/both_合并后.pdf").
std::u16string CollateOutputPath(const std::u16string& path);

// Leaving blank pages out of a merge: pages that paint nothing visible, and scanned pages
// whose images show almost uniformly white or grey paper (content/blank_page_detector.h).
// An image is blank paper when less than `threshold` percent of its reduced-size pixels are
// clearly darker than the paper; the default keeps a page holding only a page number.
struct BlankPageRemoval {
    bool enabled = false;
    double threshold = kDefaultBlankThreshold;
};

// Everything a merge is asked to do. The window and the command line fill it in; the
// overloads below with single arguments make one of these.
struct MergeRequest {
    std::u16string oddPath;
    std::u16string evenPath;
    bool evenReversed = false;      // the even file was scanned last to first
    std::u16string outputOverride;  // empty: MergeOutputPath
    std::u16string oddPassword;
    std::u16string evenPassword;
    BlankPageRemoval blankPages;  // off: nothing is ever dropped
    // One file holds both passes, the fronts and then the backs (as scan apps that append
    // the second pass write it): `oddPath` names it (with `oddPassword`), `evenPath` is not
    // used. The backs start at page `backsFrom` (0: after the first ceil(n / 2) pages).
    bool collated = false;
    int32_t backsFrom = 0;
    // Turns and misfeed mends; its evenReversed is the one above.
    int32_t rotateOdd = 0;
    int32_t rotateEven = 0;
    std::vector<int32_t> blankBacks;
    std::vector<PlannedPage> skipped;
};

// What a merge of two files will write, decided before anything is written: the window's
// preview and the merge itself use it. `outcome` is Done when both files open (with their
// passwords when encrypted) and their page counts fit; otherwise it says why not, as
// MergeFiles would, and `pages` is empty.
struct MergePlan {
    WorkflowOutcome outcome = WorkflowOutcome::Done;
    std::u16string failedPath;
    int32_t errorCode = 0;
    int32_t oddPages = 0;   // fronts: the odd file's pages, or a collated file's first pass
    int32_t evenPages = 0;  // backs: the even file's pages, or the collated file's rest
    bool decrypted = false;  // an input is encrypted and its password was given
    // Every sheet's pages in order, as arranged, before blank pages are left out.
    std::vector<PlannedPage> order;
    // The pages written, in order: `order` without the dropped pages.
    std::vector<PlannedPage> pages;
    // With blank removal: the pages left out, and the pages kept because they could not be
    // looked at in full (so they may have content), both in interleaved order. A merge
    // keeps at least one page: when every page is blank, the first stays.
    std::vector<PlannedPage> dropped;
    std::vector<KeptPage> unreadable;
};
// With blank removal on, every page of both files is looked at (the two files on two
// threads) and `progress` receives 0..100 as pages are done, from the calling thread only.
MergePlan PlanMerge(const MergeRequest& request, const WorkflowProgress& progress = {});
// A plan's outcome, failure and page counts as a workflow result (nothing written).
WorkflowResult ResultOfPlan(const MergePlan& plan);
// The plan of the window's preview, with the bytes each input's pages are drawn from: the
// files are loaded once, here, for both. Passes whose counts break the rule are previewed
// too (outcome PageCountMismatch, with `order` and the bytes), so that a misfeed can be
// seen and mended there. With blank removal the pages are judged as the
// merge judges them (progress 0..100 as they are done), and the result names those left
// out and those kept unlooked-at.
WorkflowResult PreviewMerge(const MergeRequest& request, const WorkflowProgress& progress = {});
MergePlan PlanMerge(const std::u16string& oddPath, const std::u16string& evenPath,
                    bool evenReversed, const std::u16string& oddPassword = u"",
                    const std::u16string& evenPassword = u"");

// Joins the odd-page file and the even-page file into one file whose pages alternate odd,
// even, odd, even, in the odd file's folder. With `evenReversed` the even file is taken as
// scanned last to first. The odd file must have as many pages as the even file or one more.
// An encrypted input is merged only with its password (`oddPassword`, `evenPassword`), then
// through a decrypted copy; without one it is refused (MergeEncrypted, or PasswordRequired
// when it opens for nobody without a password) and a wrong one gives PasswordRequired.
// With blank removal the progress bar runs to 50 while pages are looked at.
WorkflowResult MergeFiles(const MergeRequest& request, const WorkflowProgress& progress);
WorkflowResult MergeFiles(const std::u16string& oddPath, const std::u16string& evenPath,
                          const WorkflowProgress& progress, bool evenReversed = false,
                          const std::u16string& outputOverride = u"",
                          const std::u16string& oddPassword = u"",
                          const std::u16string& evenPassword = u"");

}  // namespace verava
