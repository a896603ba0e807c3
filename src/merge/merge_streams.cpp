#include "merge/merge_streams.h"

#include <algorithm>
#include <memory>
#include <tuple>
#include <vector>

#include "document/pdf_document.h"
#include "merge/merge_destinations.h"
#include "merge/merge_input.h"
#include "merge/merge_metadata.h"
#include "merge/merge_page_labels.h"
#include "merge/smart_pdf_document.h"
#include "merge/smart_pdf_info.h"
#include "merge/smart_pdf_reader.h"
#include "merge/smart_pdf_writer.h"
#include "objects/buffered_output_stream.h"
#include "objects/file_error.h"
#include "objects/file_mapping.h"
#include "objects/number_text.h"
#include "objects/stream.h"
#include "objects/wide_file_stream.h"
#include "structure/page_attributes.h"

namespace verava {
namespace {

// Everything one merge holds for an input.
struct Input {
    explicit Input(TStream& stream) : reader(stream), document(reader), info(reader, false, u"") {}
    TSmartPDFReader reader;
    TSmartPDFDocument document;
    TSmartPDFInfo info;
};

// The body of an object as the output gets it; "null" for one that is missing or whose
// text cannot be written (a number beyond any range).
std::string BodyOf(TPDFObject* object) {
    if (object == nullptr) return "null";
    try {
        return object->ToText();
    } catch (const EInvalidOp&) {
        return "null";
    }
}

// A stream's text up to its data: the dictionary and the "stream" line. (A dictionary's
// text costs an unwritable number only its entry, so nothing is raised here.)
std::string StreamHeadOf(const TPDFStream& stream) {
    std::string head = stream.StreamDict() != nullptr ? stream.StreamDict()->ToText() : "<<\n>>\n";
    head += "stream\n";
    return head;
}

// What becomes of an output object number when pages are dropped.
enum WritePlan : uint8_t {
    kSkip,       // nothing the output keeps refers to it
    kWrite,      // written as the input has it (or as the merge changed it)
    kWriteNull,  // a dropped page that something kept still names
};

// Runs of numbers without an object up to this long are written as null objects, so that
// the few numbers an ordinary file freed keep the table one subsection; a longer run is left
// out of the table, so that numbering far apart (or a forged row numbered 900000) costs the
// output nothing: the output follows the objects, never the highest number.
constexpr int32_t kMaxNullRun = 32;

// Writes object k of `document` under k + `shift`, parsed into `scratch`.
void WriteOne(TSmartPDFDocument& document, int32_t k, int32_t shift, TSmartPDFWriter& writer,
              TPDFStructure& scratch) {
    TPDFObject* object = document.GetObject(k, &scratch);
    if (object != nullptr && shift != 0) object->ShiftReferences(shift);
    const int32_t generation = document.Reader->GetGeneration(k);
    if (auto* stream = As<TPDFStream>(object)) {
        // The bytes ToText gives, without copying the data into them first: they go
        // from the input's buffer to the output.
        writer.WriteObject(k + shift, generation,
                           {StreamHeadOf(*stream), stream->Data(), "\nendstream"});
        // Copied out, the data of a mapped input need not stay in memory.
        TFileMapping::DropResident(stream->Data());
    } else {
        writer.WriteObject(k + shift, generation, BodyOf(object));
    }
}

// Writes numbers from..count of `document` with `shift` added, parsing each into a scratch
// store that is thrown away once it holds more than 100 objects. With a plan (indexed by
// output number) only what it keeps is written; without one, a run of numbers without an
// object longer than kMaxNullRun is skipped.
void WriteInput(TSmartPDFDocument& document, int32_t count, int32_t shift, TSmartPDFWriter& writer,
                const MergeProgressSink& progress, const std::vector<uint8_t>* plan,
                int32_t from = 1) {
    auto scratch = std::make_unique<TPDFStructure>();
    for (int32_t k = from; k <= count; ++k) {
        if (progress.report)
            progress.report(static_cast<double>(static_cast<int64_t>(k) * 100 / count));
        if (plan != nullptr) {
            const size_t number = static_cast<size_t>(k) + static_cast<size_t>(shift);
            const uint8_t what = number < plan->size() ? (*plan)[number] : uint8_t{kSkip};
            if (what == kSkip) continue;
            if (what == kWriteNull) {
                writer.WriteObject(k + shift, document.Reader->GetGeneration(k), "null");
                continue;
            }
        } else if (!document.HasObject(k)) {
            int32_t last = k;
            while (last < count && last - k < kMaxNullRun && !document.HasObject(last + 1)) ++last;
            if (last - k >= kMaxNullRun) {
                while (last < count && !document.HasObject(last + 1)) ++last;
                k = last;
                continue;
            }
        }
        WriteOne(document, k, shift, writer, *scratch);
        if (scratch->ObjectCount() > 100) scratch = std::make_unique<TPDFStructure>();
    }
    if (progress.report) progress.report(100);
}

}  // namespace

namespace {

// The merge reader finds the loader's page tree root and the same pages in the same order.
bool SamePages(Input& read, const TMergeInput& input) {
    return read.document.PagesRef != nullptr &&
           read.document.PagesRef->TargetNumber == input.Root() &&
           read.document.PageNumbers() == input.Pages();
}

// The merge reader may read the loader's file image as it is: a usable reader, a file the
// loader took as it is, and the same pages in the same order.
bool Agrees(Input& read, const TMergeInput& input) {
    return read.reader.Status() == TReaderStatus::Usable && !input.Mended() &&
           SamePages(read, input);
}

// The merge reader finds an encryption dictionary.
bool Encrypted(Input& read) {
    return read.info.SecurityStatus(TSmartPDFInfo::kQueryEncryption) != 0;
}

// Makes `read` (the merge reader over the input's file image) read what the loader read: the
// image itself when the two agree, else the loader's clean copy (decrypted when `encrypted`;
// always with `copyAlways`). 0, or the refusal code; `direct` tells that the image is read.
int32_t PrepareInput(TMergeInput& input, bool encrypted, bool copyAlways,
                     std::unique_ptr<Input>& read, bool& direct) {
    if (encrypted) {
        if (!input.Decrypt()) return kMergeEncrypted;
    } else if (!copyAlways && Agrees(*read, input)) {
        direct = true;
        return 0;
    }
    read.reset();
    TStream* copy = input.CleanCopy();
    if (copy == nullptr) return kMergeUnreadable;
    read = std::make_unique<Input>(*copy);
    const bool readable = read->reader.Status() == TReaderStatus::Usable && SamePages(*read, input);
    return readable ? 0 : kMergeUnreadable;
}

// The pages of the written output: its cross-reference table and page tree as a reader
// finds them (each page object once, in order), or nothing when they do not hold together.
std::vector<int32_t> OutputPages(TStream& output) {
    output.Seek(0, TStream::SeekOrigin::Beginning);
    TSmartPDFReader reader(output);
    if (reader.Status() != TReaderStatus::Usable) return {};
    TSmartPDFDocument written(reader);
    return written.PageNumbers();
}

}  // namespace

namespace {

// One page of the output: from the first or the second input, by its object number and
// its place (0-based) there, turned by `rotate` degrees more. A blank slot is a new page the
// size of that page (numbered `blankNumber` once made).
struct PageSlot {
    bool second = false;
    int32_t number = 0;
    int32_t index = 0;
    int32_t rotate = 0;
    bool blank = false;
    int32_t blankNumber = 0;
};

int32_t AssembleSequential(TSmartPDFDocument& first, TSmartPDFDocument& second);
int32_t AssembleFlat(TSmartPDFDocument& first, TSmartPDFDocument* second,
                     std::vector<PageSlot>& order, std::vector<int32_t>& expected);

// The output's pages as `listed` names them (entries that name no page, and repeats, passed
// over); every page of either input not listed goes to `dropped`.
std::vector<PageSlot> ListedOrder(const std::vector<int32_t>& pagesA,
                                  const std::vector<int32_t>& pagesB,
                                  const std::vector<TOutputPage>& listed,
                                  std::vector<PageSlot>& dropped) {
    std::vector<bool> takenA(pagesA.size(), false);
    std::vector<bool> takenB(pagesB.size(), false);
    std::vector<PageSlot> order;
    order.reserve(listed.size());
    for (const TOutputPage& page : listed) {
        const std::vector<int32_t>& pages = page.second ? pagesB : pagesA;
        std::vector<bool>& taken = page.second ? takenB : takenA;
        if (page.index < 0 || static_cast<size_t>(page.index) >= pages.size()) continue;
        const auto k = static_cast<size_t>(page.index);
        if (page.blank) {
            // Only sized by that page, which stays wherever it is listed.
            order.push_back({page.second, pages[k], page.index, page.rotate, true});
            continue;
        }
        if (taken[k]) continue;
        taken[k] = true;
        order.push_back({page.second, pages[k], page.index, page.rotate});
    }
    for (size_t k = 0; k < pagesA.size(); ++k) {
        if (!takenA[k]) dropped.push_back({false, pagesA[k], static_cast<int32_t>(k)});
    }
    for (size_t k = 0; k < pagesB.size(); ++k) {
        if (!takenB[k]) dropped.push_back({true, pagesB[k], static_cast<int32_t>(k)});
    }
    return order;
}

// Whether each input's pages stay together in `order` (no page of the first input after
// one of the second) and in their own order, with no new page among them: only then do the
// inputs' page labels fit the output.
bool InputsStayTogether(const std::vector<PageSlot>& order) {
    bool second = false;
    int32_t last = -1;
    for (const PageSlot& slot : order) {
        if (slot.blank || (second && !slot.second)) return false;
        if (slot.second != second) last = -1;
        if (slot.index <= last) return false;
        last = slot.index;
        second = second || slot.second;
    }
    return true;
}

// Every reference inside `object` (arrays, dictionaries, a stream's dictionary), to
// `into` with `shift` added; nesting beyond kMaxWalkDepth is not followed.
void CollectReferences(TPDFObject* object, int32_t shift, std::vector<int32_t>& into) {
    std::vector<std::pair<TPDFObject*, int>> stack{{object, 0}};
    while (!stack.empty()) {
        auto [value, depth] = stack.back();
        stack.pop_back();
        if (value == nullptr || depth > TPDFObject::kMaxWalkDepth) continue;
        if (const auto* ref = As<TPDFIndRef>(value)) {
            into.push_back(ref->TargetNumber + shift);
        } else if (const auto* array = As<TPDFArray>(value)) {
            for (TPDFObject* item : array->Items()) stack.emplace_back(item, depth + 1);
        } else if (const auto* dict = As<TPDFDictionary>(value)) {
            for (const auto& [key, item] : dict->Entries()) stack.emplace_back(item, depth + 1);
        } else if (const auto* stream = As<TPDFStream>(value)) {
            stack.emplace_back(stream->StreamDict(), depth + 1);
        }
    }
}

// The write plan of an output that drops pages, by output number: what the trailer reaches
// through references without passing through a dropped page is written; a dropped page that
// is reached is written as null; the rest (the dropped pages' contents and images, the old
// page tree, the second input's own catalog) is not written. Numbers above both inputs are
// objects the merge made in the first. Linear in the objects.
std::vector<uint8_t> PlanWrites(TSmartPDFDocument& a, int32_t countA, TSmartPDFDocument* b,
                                int32_t countB, int32_t shift, TPDFDictionary* trailer,
                                const std::vector<int32_t>& droppedNumbers) {
    const int64_t secondEnd = static_cast<int64_t>(shift) + countB;
    const int64_t total = std::max<int64_t>({countA, secondEnd, a.HighestObjectNumber()});
    std::vector<uint8_t> plan(static_cast<size_t>(total) + 1, kSkip);
    std::vector<bool> dropped(plan.size(), false);
    for (int32_t n : droppedNumbers) {
        if (n >= 1 && n <= total) dropped[static_cast<size_t>(n)] = true;
    }
    std::vector<int32_t> pending;
    CollectReferences(trailer, 0, pending);
    auto scratch = std::make_unique<TPDFStructure>();
    while (!pending.empty()) {
        const int32_t n = pending.back();
        pending.pop_back();
        if (n < 1 || n > total || plan[static_cast<size_t>(n)] != kSkip) continue;
        if (dropped[static_cast<size_t>(n)]) {
            plan[static_cast<size_t>(n)] = kWriteNull;
            continue;
        }
        plan[static_cast<size_t>(n)] = kWrite;
        // The writer writes the first input's number where both inputs have one.
        if (n <= countA || n > secondEnd) {
            CollectReferences(a.GetObject(n, scratch.get()), 0, pending);
        } else if (b != nullptr && n - shift >= 1 && n - shift <= countB) {
            CollectReferences(b->GetObject(n - shift, scratch.get()), shift, pending);
        }
        if (scratch->ObjectCount() > 100) scratch = std::make_unique<TPDFStructure>();
    }
    return plan;
}

}  // namespace

namespace {

// How one attempt at the merge ended: 1 or 0 with the refusal code, whether the output was
// written but did not hold the planned pages, and whether an input was read as it is rather
// than through a copy.
struct Attempt {
    int32_t result = 0;
    int32_t errorCode = 0;
    bool checkFailed = false;
    bool direct = false;
};

// One attempt at the merge; without a second input the first input's pages alone are put
// in the order listed. `copyAlways` takes the inputs through the loader's copies.
Attempt MergeOnce(TMergeInput& first, TMergeInput* second, TStream& output,
                  const MergeProgressSink& progress, const TMergeOptions& options,
                  bool copyAlways) {
    Attempt attempt;
    auto refuse = [&attempt](int32_t code) {
        attempt.errorCode = code;
        return attempt;
    };
    std::unique_ptr<Input> readA = std::make_unique<Input>(first.Image());
    std::unique_ptr<Input> readB =
        second != nullptr ? std::make_unique<Input>(second->Image()) : nullptr;
    // An encrypted input without its password is refused before anything else is done.
    const bool encryptedA = first.Encrypted() || Encrypted(*readA);
    const bool encryptedB = second != nullptr && (second->Encrypted() || Encrypted(*readB));
    if ((encryptedA && options.firstPassword.empty()) ||
        (encryptedB && options.secondPassword.empty())) {
        return refuse(kMergeEncrypted);
    }
    for (auto [input, encrypted, read] :
         {std::tuple{&first, encryptedA, &readA}, std::tuple{second, encryptedB, &readB}}) {
        if (input == nullptr) continue;
        const int32_t refusal = PrepareInput(*input, encrypted, copyAlways, *read, attempt.direct);
        if (refusal != 0) return refuse(refusal);
    }
    Input& a = *readA;
    Input* b = readB.get();
    a.reader.FinishTrailer();
    if (b != nullptr) b->reader.FinishTrailer();
    TPDFDictionary* trailer = a.reader.Trailer();

    TBufferedOutputStream buffered(output);
    TSmartPDFWriter writer(buffered);
    writer.WriteHeader("1.4");

    std::vector<int32_t> expected;
    int32_t shift = 0;
    std::vector<PageSlot> order;
    std::vector<PageSlot> dropped;
    static const std::vector<int32_t> kNoPages;
    const std::vector<int32_t>& pagesB = second != nullptr ? second->Pages() : kNoPages;
    if (options.pages || b == nullptr) {
        std::vector<TOutputPage> all;
        if (!options.pages) {
            for (size_t k = 0; k < first.Pages().size(); ++k)
                all.push_back({false, static_cast<int32_t>(k)});
        }
        order = ListedOrder(first.Pages(), pagesB, options.pages ? *options.pages : all, dropped);
        if (order.empty()) return refuse(kMergeUnreadable);
        shift = AssembleFlat(a.document, b != nullptr ? &b->document : nullptr, order, expected);
    } else {
        for (size_t k = 0; k < first.Pages().size(); ++k)
            order.push_back({false, first.Pages()[k], static_cast<int32_t>(k)});
        for (size_t k = 0; k < pagesB.size(); ++k)
            order.push_back({true, pagesB[k], static_cast<int32_t>(k)});
        shift = AssembleSequential(a.document, b->document);
        expected = first.Pages();
        for (int32_t page : pagesB) expected.push_back(page + shift);
    }
    if (b != nullptr && b->document.HasAcroForm()) {
        a.document.MergeFields(b->document.FieldsArray(), b->document.COArray(),
                               b->document.NeedAppearancesValue(), shift);
    }
    if (b != nullptr && b->document.HasOutlines()) {
        if (a.document.HasOutlines()) {
            a.document.AppendOutlines(b->document, shift);
        } else {
            a.document.AdoptOutlines(b->document.OutlinesRef(), shift);
        }
    }

    const int32_t countA = a.document.HighestObjectNumber();
    const int32_t countB = b != nullptr ? b->document.HighestObjectNumber() : 0;
    if (trailer == nullptr) trailer = a.reader.Structure()->NewDictionary();
    // What the merge makes beyond joining the trees is numbered above both inputs. (The
    // second input's edits below only change objects it has.)
    const int32_t floor = std::max(countA, shift + countB);
    if (b != nullptr) MergeNamedDestinations(a.document, b->document, shift, floor, pagesB);
    std::vector<TOutputPage> labelled;
    labelled.reserve(order.size());
    for (const PageSlot& slot : order) labelled.push_back({slot.second, slot.index});
    // A single input reads its labels as both: only its own pages are listed.
    MergePageLabels(a.document, b != nullptr ? b->document : a.document, labelled,
                    InputsStayTogether(order));
    StampModification(a.document, *trailer, floor);
    std::vector<uint8_t> plan;
    if (!dropped.empty()) {
        std::vector<int32_t> droppedNumbers;
        for (const PageSlot& slot : dropped)
            droppedNumbers.push_back(slot.number + (slot.second ? shift : 0));
        plan = PlanWrites(a.document, countA, b != nullptr ? &b->document : nullptr, countB, shift,
                          trailer, droppedNumbers);
    }
    const std::vector<uint8_t>* keep = dropped.empty() ? nullptr : &plan;
    if (progress.setRange) progress.setRange(b != nullptr ? 0.75 : 1.0, 0);
    WriteInput(a.document, countA, 0, writer, progress, keep);
    if (b != nullptr) {
        if (progress.setRange) progress.setRange(0.25, 75);
        WriteInput(b->document, countB, shift, writer, progress, keep);
    }
    WriteInput(a.document, a.document.HighestObjectNumber(), 0, writer, {}, keep, floor + 1);

    // Size is one above the highest number written: runs without objects and the objects a
    // merge that drops pages leaves out may include the highest numbers.
    int64_t highest = 0;
    for (int32_t number : writer.ObjectNumbers) highest = std::max<int64_t>(highest, number);
    trailer->SetValue("Size", a.reader.Structure()->NewNumeric(static_cast<double>(highest + 1)));
    writer.WriteXRefAndTrailer(*trailer);
    buffered.Flush();

    // Count before success: the written file must hold the pages asked for, each once, in
    // order. (What was read of the inputs is let go first.)
    readA.reset();
    readB.reset();
    if (OutputPages(output) != expected) {
        attempt.checkFailed = true;
        return refuse(kMergeUnreadable);
    }
    attempt.result = 1;
    return attempt;
}

// Merges, and once more from the loader's copies when the first attempt read an input as it
// is and the output missed pages.
int32_t MergeWithRetry(TMergeInput& first, TMergeInput* second, TStream& output,
                       int32_t& errorCode, const MergeProgressSink& progress,
                       const TMergeOptions& options) {
    const int64_t start = output.Position();
    Attempt attempt = MergeOnce(first, second, output, progress, options, false);
    if (attempt.result != 1 && attempt.checkFailed && attempt.direct) {
        // The merge reader agreed with the loader on the pages but read something under them
        // differently (an object the two readers take from different places): merge again
        // from the loader's copies of both inputs, which both readers read alike.
        output.Seek(start, TStream::SeekOrigin::Beginning);
        output.SetSize(start);
        attempt = MergeOnce(first, second, output, progress, options, true);
    }
    if (attempt.result != 1) errorCode = attempt.errorCode;
    return attempt.result;
}

}  // namespace

int32_t MergeInputs(TMergeInput& first, TMergeInput& second, TStream& output, int32_t& errorCode,
                    const MergeProgressSink& progress, const TMergeOptions& options) {
    return MergeWithRetry(first, &second, output, errorCode, progress, options);
}

int32_t ArrangeInput(TMergeInput& input, TStream& output, int32_t& errorCode,
                     const MergeProgressSink& progress, const TMergeOptions& options) {
    return MergeWithRetry(input, nullptr, output, errorCode, progress, options);
}

int32_t MergeStreams(TStream& first, TStream& second, TStream& output, int32_t& errorCode,
                     const MergeProgressSink& progress, const TMergeOptions& options) {
    TPDFDocument documentA;
    TPDFDocument documentB;
    for (auto [stream, password, document] :
         {std::tuple{&first, &options.firstPassword, &documentA},
          std::tuple{&second, &options.secondPassword, &documentB}}) {
        const uint8_t loaded = document->LoadFromStream(*stream, *password);
        if (loaded != TPDFDocument::kLoaded) {
            errorCode =
                loaded == TPDFDocument::kPasswordRejected ? kMergeEncrypted : kMergeUnreadable;
            return 0;
        }
    }
    TMergeInput inputA(documentA);
    TMergeInput inputB(documentB);
    return MergeInputs(inputA, inputB, output, errorCode, progress, options);
}

namespace {

int32_t AssembleSequential(TSmartPDFDocument& first, TSmartPDFDocument& second) {
    // The roots as they are now; the second tree may get a new root below.
    TPDFIndRef* rootA = first.PagesRef;
    TPDFIndRef* rootB = second.PagesRef;
    const int32_t rootANumber = rootA != nullptr ? rootA->TargetNumber : 0;
    const int32_t rootAGeneration = rootA != nullptr ? rootA->TargetGeneration : 0;
    const int32_t rootBNumber = rootB != nullptr ? rootB->TargetNumber : 0;
    const int32_t rootBGeneration = rootB != nullptr ? rootB->TargetGeneration : 0;

    first.EnsureAcroForm();
    const int32_t shift = first.HighestObjectNumber();
    second.CopyInheritedAttributes();
    if (rootA != nullptr && rootB != nullptr) {
        // Written lowered by the shift because every reference of the second input is
        // raised by it on the way out.
        second.SetParent(rootANumber - shift, rootAGeneration);
        if (second.PagesRef != nullptr && second.PagesRef->TargetNumber != rootBNumber) {
            // The second catalog named a page as its tree and that page got a root of its own
            // above it; the page itself is what hangs under the first root, so it needs that
            // root as its Parent (ISO 32000-1, 7.7.3.3: Parent is required).
            if (auto* page = As<TPDFDictionary>(second.GetObject(rootBNumber))) {
                page->SetValue("Parent", second.LocalStructure->NewIndRef(rootANumber - shift,
                                                                          rootAGeneration));
                second.RegisterObject(rootBNumber, page);
            }
        }
        const int32_t pages = second.PageCount();
        first.AppendKid(rootBNumber + shift, rootBGeneration, pages);
    }
    return shift;
}

// A new empty page the size and orientation of `page` of `source` (what it has or
// inherits), turned by `rotate` more, under the root numbered `rootNumber`, numbered in
// `first`. The box is copied as numbers: the source may be the other input.
int32_t AddBlankPage(TSmartPDFDocument& first, TSmartPDFDocument& source, int32_t page,
                     int32_t rotate, int32_t rootNumber) {
    TPDFStructure& store = *first.LocalStructure;
    TPDFArray* box = store.NewArray();
    TPDFObject* rotation = nullptr;
    if (auto* dict = As<TPDFDictionary>(source.GetObject(page))) {
        if (auto* found = As<TPDFArray>(source.Follow(source.GetInherited(dict, "MediaBox")))) {
            for (TPDFObject* item : found->Items()) {
                if (auto* number = As<TPDFNumeric>(source.Follow(item)))
                    box->Add(store.NewNumeric(number->NumValue));
            }
        }
        rotation = source.Follow(source.GetInherited(dict, "Rotate"));
    }
    if (box->Count() != 4) {
        // No usable size to copy: US Letter, the default of ISO 32000-1, 7.7.3.3, Table 30.
        box = store.NewArray();
        for (const double value : {0.0, 0.0, 612.0, 792.0}) box->Add(store.NewNumeric(value));
    }
    TPDFDictionary* blank = store.NewDictionary();
    blank->SetValue("Type", store.NewName("Page"));
    blank->SetValue("Parent", store.NewIndRef(rootNumber, 0));
    blank->SetValue("MediaBox", box);
    blank->SetValue("Resources", store.NewDictionary());
    const int32_t turned = TurnedRotation(rotation, rotate);
    if (turned != 0) blank->SetValue("Rotate", store.NewNumeric(turned));
    return first.AddObject(blank)->TargetNumber;
}

// Turns page `number` of `document` by `degrees` more. Its Rotate is its own by now.
void TurnPage(TSmartPDFDocument& document, int32_t number, int32_t degrees) {
    if (degrees % 360 == 0) return;
    auto* dict = As<TPDFDictionary>(document.GetObject(number));
    if (dict == nullptr) return;
    const int32_t turned = TurnedRotation(document.Follow(dict->GetValue("Rotate")), degrees);
    dict->SetValue("Rotate", document.LocalStructure->NewNumeric(turned));
    document.RegisterObject(number, dict);
}

// The output tree of an interleaved merge, or of any merge that lists its pages: one new
// root under the first catalog holding the pages of `order` (first 1, second 1, first 2, ...
// for an interleaved merge), each turned as listed, with the blank pages asked for made.
// Every page gets the new root as Parent and what it inherited as its own; the old nodes
// are written as null. Returns the shift of the second input's numbers and fills `expected`
// with the output's page numbers in order.
int32_t AssembleFlat(TSmartPDFDocument& first, TSmartPDFDocument* second,
                     std::vector<PageSlot>& order, std::vector<int32_t>& expected) {
    const std::vector<int32_t> nodesA = first.NodeNumbers();
    const std::vector<int32_t> nodesB =
        second != nullptr ? second->NodeNumbers() : std::vector<int32_t>{};
    TPDFStructure& store = *first.LocalStructure;
    TPDFDictionary* root = store.NewDictionary();
    TPDFIndRef* rootRef = first.AddObject(root);
    const int32_t rootNumber = rootRef->TargetNumber;
    // New pages are numbered in the first input, below the shift of the second.
    for (PageSlot& slot : order) {
        if (!slot.blank) continue;
        TSmartPDFDocument& source = slot.second && second != nullptr ? *second : first;
        slot.blankNumber = AddBlankPage(first, source, slot.number, slot.rotate, rootNumber);
    }
    first.EnsureAcroForm();
    const int32_t shift = first.HighestObjectNumber();

    TPDFArray* kids = store.NewArray();
    kids->Reserve(static_cast<int32_t>(order.size()));
    for (const PageSlot& slot : order) {
        const int32_t page = slot.number;
        if (slot.blank) {
            kids->Add(store.NewIndRef(slot.blankNumber, 0));
            expected.push_back(slot.blankNumber);
        } else if (!slot.second) {
            first.DetachPage(page, rootNumber, 0);
            TurnPage(first, page, slot.rotate);
            kids->Add(store.NewIndRef(page, first.Reader->GetGeneration(page)));
            expected.push_back(page);
        } else if (second != nullptr) {
            // Written raised by the shift, as every reference of the second input is.
            second->DetachPage(page, rootNumber - shift, 0);
            TurnPage(*second, page, slot.rotate);
            kids->Add(store.NewIndRef(page + shift, second->Reader->GetGeneration(page)));
            expected.push_back(page + shift);
        }
    }
    root->SetValue("Type", store.NewName("Pages"));
    root->SetValue("Kids", kids);
    root->SetValue("Count", store.NewNumeric(static_cast<double>(kids->Count())));
    // The old trees are gone: nothing refers to their nodes any more.
    for (int32_t node : nodesA) first.RegisterObject(node, nullptr);
    for (int32_t node : nodesB) second->RegisterObject(node, nullptr);
    if (first.RootDict != nullptr && first.RootRef != nullptr) {
        first.RootDict->SetValue("Pages", store.NewIndRef(rootNumber, 0));
        first.RegisterObject(first.RootRef->TargetNumber, first.RootDict);
    }
    return shift;
}

}  // namespace

}  // namespace verava
