#include "merge/smart_pdf_document.h"

#include <algorithm>
#include <unordered_set>

#include "objects/number_text.h"
#include "structure/pdf_page_tree.h"

namespace verava {

TSmartPDFDocument::TSmartPDFDocument(TSmartPDFReader& reader)
    : LocalStructure(std::make_unique<TPDFStructure>()), Reader(&reader) {
    if (reader.Trailer() != nullptr) {
        RootRef = reader.TrailerRef("Root");
        RootDict = reader.TrailerValue("Root");
        InfoRef = reader.TrailerRef("Info");
        InfoDict = reader.TrailerValue("Info");
    }
    if (RootDict != nullptr) {
        if (auto* pages = As<TPDFIndRef>(RootDict->GetValue("Pages"))) {
            PagesRef = pages;
            PagesDict = As<TPDFDictionary>(GetObject(pages->TargetNumber));
        }
        TPDFObject* form = RootDict->GetValue("AcroForm");
        if (As<TPDFDictionary>(form) != nullptr) {
            AcroFormRef = RootRef;
        } else if (auto* ref = As<TPDFIndRef>(form)) {
            AcroFormRef = ref;
            form = GetObject(ref->TargetNumber);
        }
        AcroFormDict = As<TPDFDictionary>(form);
    }
    if (AcroFormDict != nullptr) {
        // The form loader completes the dictionary (Fields, CO, DR) the merge reads later.
        form_ = std::make_unique<TPDFForm>();
        form_->OnResolveObject = [this](TPDFIndRef* reference) -> TPDFObject* {
            return reference != nullptr ? GetObject(reference->TargetNumber) : nullptr;
        };
        form_->LoadAcroForm(AcroFormDict);
    }
}

TSmartPDFDocument::~TSmartPDFDocument() = default;

TPDFObject* TSmartPDFDocument::Follow(TPDFObject* value) {
    if (auto* ref = As<TPDFIndRef>(value)) return GetObject(ref->TargetNumber);
    return value;
}

TPDFObject* TSmartPDFDocument::GetObject(int32_t n, TPDFStructure* store) {
    auto it = changed_.find(n);
    if (it != changed_.end()) {
        TPDFObject* recorded = it->second;
        if (store == nullptr || recorded == nullptr || As<TPDFStream>(recorded) != nullptr) {
            return recorded;
        }
        try {
            return store->ParseText(recorded->ToText());
        } catch (const EInvalidOp&) {
            return recorded;  // the writer meets the same number and writes "null"
        }
    }
    return store != nullptr ? Reader->LoadObject(n, store) : Reader->GetObject(n);
}

int32_t TSmartPDFDocument::HighestObjectNumber() const {
    return std::max(Reader->LastObjectNumber(), highestRecorded_);
}

bool TSmartPDFDocument::HasObject(int32_t n) const {
    if (changed_.count(n) != 0) return true;
    const std::vector<SmartXRefEntry>& entries = Reader->Entries();
    if (n < 1 || static_cast<size_t>(n) >= entries.size()) return false;
    const char kind = entries[static_cast<size_t>(n)].Kind;
    return kind == 'n' || kind == 'c';
}

int32_t TSmartPDFDocument::PageCount() {
    if (PagesDict == nullptr) return 1;
    if (auto* count = As<TPDFNumeric>(Follow(PagesDict->GetValue("Count"))))
        return count->AsInteger();
    return 1;
}

std::vector<int32_t> TSmartPDFDocument::NodeNumbers() {
    std::vector<int32_t> nodes;
    WalkPageTree(&nodes);
    return nodes;
}

std::vector<int32_t> TSmartPDFDocument::WalkPageTree(std::vector<int32_t>* nodeList) {
    std::vector<int32_t> pages;
    if (PagesDict == nullptr || PagesRef == nullptr || PagesDict->GetType() != "Pages") return {};
    std::unordered_set<int32_t> nodes{PagesRef->TargetNumber};
    if (nodeList != nullptr) nodeList->push_back(PagesRef->TargetNumber);
    std::vector<std::pair<TPDFArray*, int32_t>> stack;
    auto open = [&](TPDFDictionary* node) {
        auto* kids = As<TPDFArray>(Follow(node->GetValue("Kids")));
        if (kids != nullptr) stack.emplace_back(kids, 0);
        return kids != nullptr;
    };
    if (!open(PagesDict)) return {};
    for (int steps = 0; !stack.empty(); ++steps) {
        if (steps > kMaxWalk) return {};
        auto& [kids, next] = stack.back();
        if (next >= kids->Count()) {
            stack.pop_back();
            continue;
        }
        auto* ref = As<TPDFIndRef>(kids->Get(next++));
        auto* dict = ref != nullptr ? As<TPDFDictionary>(GetObject(ref->TargetNumber)) : nullptr;
        if (dict == nullptr) return {};
        const std::string type = dict->GetType();
        if (type == "Page") {
            pages.push_back(ref->TargetNumber);
        } else if (type != "Pages" || !nodes.insert(ref->TargetNumber).second || !open(dict)) {
            return {};
        } else if (nodeList != nullptr) {
            nodeList->push_back(ref->TargetNumber);
        }
    }
    return pages;
}

void TSmartPDFDocument::DetachPage(int32_t page, int32_t parentNumber, int32_t parentGeneration) {
    auto* dict = As<TPDFDictionary>(GetObject(page));
    if (dict == nullptr) return;
    const TPageTreeReading reading = TreeReading();
    for (const std::string_view key : kInheritedAttributes) {
        if (HasOwnAttribute(dict, key, reading)) continue;
        if (TPDFObject* value = NearestInherited(dict, key, reading)) dict->SetValue(key, value);
    }
    dict->SetValue("Parent", LocalStructure->NewIndRef(parentNumber, parentGeneration));
    RegisterObject(page, dict);
}

bool TSmartPDFDocument::IsPage(const TPDFIndRef* reference) {
    if (reference == nullptr) return false;
    auto* d = As<TPDFDictionary>(GetObject(reference->TargetNumber));
    return d != nullptr && (d->GetType() == "Page" || d->IndexOf("Contents") >= 0);
}

TPageTreeReading TSmartPDFDocument::TreeReading() {
    return {[this](TPDFObject* value) { return Follow(value); },
            [this](const TPDFDictionary* node) -> TPDFDictionary* {
                auto* parent = As<TPDFIndRef>(node->GetValue("Parent"));
                if (parent == nullptr) return nullptr;
                auto* next = As<TPDFDictionary>(GetObject(parent->TargetNumber));
                // Only a dictionary is recorded: recording nothing under a Parent number
                // would write "null" over an object that is no dictionary, or make a huge
                // number the output's highest.
                if (next != nullptr) RegisterObject(parent->TargetNumber, next);
                return next;
            }};
}

TPDFObject* TSmartPDFDocument::GetInherited(TPDFDictionary* dictionary, std::string_view key) {
    return NearestInherited(dictionary, key, TreeReading());
}

TPDFArray* TSmartPDFDocument::FormArray(std::string_view key) {
    if (AcroFormDict == nullptr) return nullptr;
    if (AcroFormDict->IndexOf(key) < 0) AcroFormDict->SetValue(key, LocalStructure->NewArray());
    return As<TPDFArray>(Follow(AcroFormDict->GetValue(key)));
}

TPDFArray* TSmartPDFDocument::FieldsArray() { return FormArray("Fields"); }

TPDFArray* TSmartPDFDocument::COArray() { return FormArray("CO"); }

bool TSmartPDFDocument::NeedAppearancesValue() {
    if (AcroFormDict == nullptr) return false;
    auto* value = As<TPDFBoolean>(Follow(AcroFormDict->GetValue("NeedAppearances")));
    return value != nullptr && value->Truth;
}

TPDFIndRef* TSmartPDFDocument::OutlinesRef() {
    return RootDict != nullptr ? As<TPDFIndRef>(RootDict->GetValue("Outlines")) : nullptr;
}

TPDFDictionary* TSmartPDFDocument::OutlinesDict() {
    TPDFIndRef* ref = OutlinesRef();
    return ref != nullptr ? As<TPDFDictionary>(GetObject(ref->TargetNumber)) : nullptr;
}

bool TSmartPDFDocument::HasOutlines() {
    TPDFDictionary* outlines = OutlinesDict();
    return outlines != nullptr && As<TPDFIndRef>(outlines->GetValue("First")) != nullptr;
}

TPDFIndRef* TSmartPDFDocument::OutlineEntryRef(std::string_view key) {
    TPDFDictionary* outlines = OutlinesDict();
    return outlines != nullptr ? As<TPDFIndRef>(outlines->GetValue(key)) : nullptr;
}

TPDFDictionary* TSmartPDFDocument::OutlineEntryDict(std::string_view key) {
    TPDFIndRef* ref = OutlineEntryRef(key);
    return ref != nullptr ? As<TPDFDictionary>(GetObject(ref->TargetNumber)) : nullptr;
}

std::vector<TPDFIndRef*> TSmartPDFDocument::OutlineItems() {
    std::vector<TPDFIndRef*> items;
    std::unordered_set<int32_t> visited;
    TPDFDictionary* outlines = OutlinesDict();
    TPDFIndRef* item = outlines != nullptr ? As<TPDFIndRef>(outlines->GetValue("First")) : nullptr;
    while (item != nullptr && visited.insert(item->TargetNumber).second &&
           static_cast<int>(items.size()) < kMaxWalk) {
        items.push_back(item);
        auto* d = As<TPDFDictionary>(GetObject(item->TargetNumber));
        item = d != nullptr ? As<TPDFIndRef>(d->GetValue("Next")) : nullptr;
    }
    return items;
}

void TSmartPDFDocument::RegisterObject(int32_t n, TPDFObject* object) {
    changed_[n] = object;
    if (n > highestRecorded_) highestRecorded_ = n;
}

TPDFIndRef* TSmartPDFDocument::AddObject(TPDFObject* object) {
    const int32_t number = HighestObjectNumber() + 1;
    RegisterObject(number, object);
    return LocalStructure->NewIndRef(number, 0);
}

TPDFIndRef* TSmartPDFDocument::AddObjectAbove(int32_t floor, TPDFObject* object) {
    const int32_t number = std::max(HighestObjectNumber(), floor) + 1;
    RegisterObject(number, object);
    return LocalStructure->NewIndRef(number, 0);
}

TPDFArray* TSmartPDFDocument::KidsArray() {
    if (PagesDict == nullptr || PagesRef == nullptr) return nullptr;
    TPDFObject* holder = PagesDict;
    int32_t holderNumber = PagesRef->TargetNumber;
    TPDFObject* kids = PagesDict->GetValue("Kids");
    if (auto* ref = As<TPDFIndRef>(kids)) {
        holder = GetObject(ref->TargetNumber);
        holderNumber = ref->TargetNumber;
        kids = holder;
    }
    // Recorded only when there is an array to edit: a Kids reference to a missing object
    // must not put "null" under its number.
    auto* array = As<TPDFArray>(kids);
    if (array != nullptr) RegisterObject(holderNumber, holder);
    return array;
}

void TSmartPDFDocument::AppendKid(int32_t number, int32_t generation, int32_t count) {
    TPDFArray* kids = KidsArray();
    if (kids == nullptr) return;  // a root without Kids cannot take another tree
    kids->Add(LocalStructure->NewIndRef(number, generation));
    const int32_t before = PageCount();
    PagesDict->SetValue("Count", LocalStructure->NewNumeric(count + before));
    RegisterObject(PagesRef->TargetNumber, PagesDict);
}

void TSmartPDFDocument::SetParent(int32_t number, int32_t generation) {
    if (PagesDict == nullptr || PagesRef == nullptr) return;
    RegisterObject(PagesRef->TargetNumber, PagesDict);
    PagesDict->SetValue("Parent", LocalStructure->NewIndRef(number, generation));
    if (PagesDict->GetType() != "Pages")
        PagesDict->SetValue("Type", LocalStructure->NewName("Pages"));
}

void TSmartPDFDocument::CopyInheritedAttributes() {
    // Every page is an object of its own, so no honest file has more pages than objects; a
    // forged Count must not make this search the tree billions of times.
    const int32_t count = std::min(PageCount(), HighestObjectNumber());
    TPDFObject* fallback = LocalStructure->ParseText("[ 0 0 612 792 ]");
    TPDFIndRef* previous = nullptr;
    const TPageTreeReading reading = TreeReading();
    for (int32_t i = 1; i <= count; ++i) {
        try {
            TPDFIndRef* page = NextPage(i, previous);
            auto* d = page != nullptr ? As<TPDFDictionary>(GetObject(page->TargetNumber)) : nullptr;
            if (d == nullptr) continue;
            bool changed = false;
            TPDFObject* media = Follow(GetInherited(d, "MediaBox"));
            if (As<TPDFArray>(media) == nullptr) media = fallback;
            if (!HasOwnAttribute(d, "MediaBox", reading)) {
                d->SetValue("MediaBox", media);
                changed = true;
            }
            if (!HasOwnAttribute(d, "CropBox", reading)) {
                TPDFObject* crop = Follow(GetInherited(d, "CropBox"));
                d->SetValue("CropBox", As<TPDFArray>(crop) != nullptr ? crop : media);
                changed = true;
            }
            if (!HasOwnAttribute(d, "Rotate", reading)) {
                TPDFObject* rotate = Follow(GetInherited(d, "Rotate"));
                if (As<TPDFNumeric>(rotate) == nullptr) rotate = LocalStructure->NewNumeric(0);
                d->SetValue("Rotate", rotate);
                changed = true;
            }
            if (changed) RegisterObject(page->TargetNumber, d);
            previous = page;
        } catch (...) {
            // A page that cannot be handled keeps what it has; the others go on.
        }
    }
}

TPDFIndRef* TSmartPDFDocument::NextPage(int32_t i, TPDFIndRef* previous) {
    if (previous != nullptr) {
        auto* d = As<TPDFDictionary>(GetObject(previous->TargetNumber));
        auto* parentRef = d != nullptr ? As<TPDFIndRef>(d->GetValue("Parent")) : nullptr;
        auto* parent =
            parentRef != nullptr ? As<TPDFDictionary>(GetObject(parentRef->TargetNumber)) : nullptr;
        auto* kids = parent != nullptr ? As<TPDFArray>(Follow(parent->GetValue("Kids"))) : nullptr;
        if (kids != nullptr) {
            const int32_t j = kids->IndexOfText(previous);
            auto* next = As<TPDFIndRef>(kids->Get(j + 1));
            if (j + 1 < kids->Count() && next != nullptr && IsPage(next)) return next;
        }
    }
    return FindPage(i);
}

int32_t TSmartPDFDocument::Weight(TPDFIndRef* reference, TPDFStructure* store, bool& leaf) {
    leaf = false;
    auto* d = As<TPDFDictionary>(GetObject(reference->TargetNumber, store));
    if (d == nullptr) return 0;
    auto count = [&]() -> int32_t {
        TPDFObject* value = d->GetValue("Count");
        if (auto* ref = As<TPDFIndRef>(value)) value = GetObject(ref->TargetNumber, store);
        auto* n = As<TPDFNumeric>(value);
        return n != nullptr ? n->AsInteger() : 0;
    };
    const std::string type = d->GetType();
    if (type == "Pages") return count();
    if (type == "Page") {
        leaf = true;
        return 1;
    }
    if (d->IndexOf("Count") >= 0) return count();
    if (d->IndexOf("Contents") >= 0) {
        leaf = true;
        return 1;
    }
    return 0;
}

TPDFIndRef* TSmartPDFDocument::FindPage(int32_t n) {
    TPDFStructure scratch;
    auto follow = [&](TPDFObject* value) -> TPDFObject* {
        if (auto* ref = As<TPDFIndRef>(value)) return GetObject(ref->TargetNumber, &scratch);
        return value;
    };
    int64_t acc = 0;
    TPDFIndRef* result = nullptr;
    LastNode = PagesDict;
    LastNodeRef = PagesRef;
    TPDFDictionary* node = PagesDict;
    if (PagesDict != nullptr && PagesRef != nullptr && PagesDict->IndexOf("Kids") < 0 &&
        PagesDict->IndexOf("Contents") >= 0) {
        // The catalog names a page as its tree: put a real root above it.
        result = PagesRef;
        TPDFDictionary* root =
            NewOnePageRoot(*LocalStructure, PagesRef->TargetNumber, PagesRef->TargetGeneration);
        PagesDict = root;
        PagesRef = AddObject(root);
        if (RootDict != nullptr && RootRef != nullptr) {
            RootDict->SetValue("Pages", PagesRef);
            RegisterObject(RootRef->TargetNumber, RootDict);
        }
        node = nullptr;
    }
    TPDFArray* lastKids = nullptr;
    int32_t i = 0;
    // Nodes are parsed afresh for every look, so loops are caught by number.
    std::unordered_set<int32_t> visited;
    if (PagesRef != nullptr) visited.insert(PagesRef->TargetNumber);
    for (int steps = 0; node != nullptr && steps < kMaxWalk; ++steps) {
        auto* kids = As<TPDFArray>(follow(node->GetValue("Kids")));
        if (kids == nullptr) {
            // A node without Kids ends the search.
            lastKids = nullptr;
            break;
        }
        lastKids = kids;
        int64_t w = 0;
        bool leaf = false;
        i = 0;
        while (i < kids->Count() && acc < n) {
            auto* item = As<TPDFIndRef>(kids->Get(i));
            w = item != nullptr ? Weight(item, &scratch, leaf) : 0;
            if (item == nullptr) leaf = false;
            acc += w;
            ++i;
        }
        node = nullptr;
        if (acc >= n && i > 0 && !(w == 1 && leaf)) {
            acc -= w;
            auto* r = As<TPDFIndRef>(kids->Get(i - 1));
            if (r == nullptr ||
                (LastNodeRef != nullptr && r->TargetNumber == LastNodeRef->TargetNumber &&
                 r->TargetGeneration == LastNodeRef->TargetGeneration)) {
                break;
            }
            if (!visited.insert(r->TargetNumber).second) {
                lastKids = nullptr;  // the tree loops back on itself
                break;
            }
            LastNodeRef = r;
            if (auto* next = As<TPDFDictionary>(GetObject(r->TargetNumber, &scratch))) {
                LastNode = next;
                node = next;
            }
        }
    }
    if (lastKids != nullptr && acc == n && i > 0) {
        if (auto* item = As<TPDFIndRef>(lastKids->Get(i - 1))) {
            result = item;
            auto* d = As<TPDFDictionary>(GetObject(item->TargetNumber, &scratch));
            if (d != nullptr && (d->GetType() == "Pages" || d->IndexOf("Contents") >= 0)) {
                auto* kids = As<TPDFArray>(follow(d->GetValue("Kids")));
                if (kids != nullptr) {
                    if (auto* first = As<TPDFIndRef>(kids->Get(0))) result = first;
                }
            }
        }
    }
    // Nothing of the scratch store may escape: the answer is a fresh reference.
    if (result == nullptr) return nullptr;
    return LocalStructure->NewIndRef(result->TargetNumber, result->TargetGeneration);
}

void TSmartPDFDocument::EnsureAcroForm() {
    if (AcroFormDict != nullptr || RootDict == nullptr || RootRef == nullptr) return;
    TPDFDictionary* d = LocalStructure->NewDictionary();
    AcroFormDict = d;
    AcroFormRef = AddObject(d);
    RootDict->SetValue("AcroForm", AcroFormRef);
    RegisterObject(RootRef->TargetNumber, RootDict);
    d->SetValue("Fields", LocalStructure->NewArray());
    d->SetValue("CO", LocalStructure->NewArray());
    d->SetValue("NeedAppearances", LocalStructure->NewBoolean(false));
}

void TSmartPDFDocument::MergeFields(TPDFArray* fields, TPDFArray* co, bool needAppearances,
                                    int32_t shift) {
    TPDFArray* mine = FieldsArray();
    if (mine == nullptr || fields == nullptr) return;
    auto append = [&](TPDFArray* into, TPDFArray* from) {
        bool added = false;
        for (TPDFObject* item : from->Items()) {
            if (auto* ref = As<TPDFIndRef>(item)) {
                into->Add(
                    LocalStructure->NewIndRef(ref->TargetNumber + shift, ref->TargetGeneration));
                added = true;
            }
        }
        return added;
    };
    const bool fieldsAdded = append(mine, fields);
    TPDFArray* mineCO = COArray();
    bool coAdded = false;
    if (mineCO != nullptr && co != nullptr) coAdded = append(mineCO, co);
    if (needAppearances)
        AcroFormDict->SetValue("NeedAppearances", LocalStructure->NewBoolean(true));
    if (AcroFormRef == RootRef) {
        if (RootRef != nullptr) RegisterObject(RootRef->TargetNumber, RootDict);
    } else if (AcroFormRef != nullptr) {
        RegisterObject(AcroFormRef->TargetNumber, AcroFormDict);
    }
    // Arrays that are objects of their own are written from their record too.
    if (auto* ref = As<TPDFIndRef>(AcroFormDict->GetValue("Fields"));
        ref != nullptr && fieldsAdded) {
        RegisterObject(ref->TargetNumber, mine);
    }
    if (auto* ref = As<TPDFIndRef>(AcroFormDict->GetValue("CO")); ref != nullptr && coAdded) {
        RegisterObject(ref->TargetNumber, mineCO);
    }
}

void TSmartPDFDocument::SetOutlineParents(const std::vector<TPDFIndRef*>& items, int32_t number,
                                          int32_t generation) {
    for (TPDFIndRef* item : items) {
        auto* d = As<TPDFDictionary>(GetObject(item->TargetNumber));
        auto* parent = d != nullptr ? As<TPDFIndRef>(d->GetValue("Parent")) : nullptr;
        if (parent == nullptr) continue;
        parent->TargetNumber = number;
        parent->TargetGeneration = generation;
        parent->SetModified(true);
        RegisterObject(item->TargetNumber, d);
    }
}

void TSmartPDFDocument::AdoptOutlines(TPDFIndRef* reference, int32_t shift) {
    if (reference == nullptr || RootDict == nullptr || RootRef == nullptr) return;
    RootDict->SetValue("Outlines", LocalStructure->NewIndRef(reference->TargetNumber + shift,
                                                             reference->TargetGeneration));
    RegisterObject(RootRef->TargetNumber, RootDict);
}

void TSmartPDFDocument::AppendOutlines(TSmartPDFDocument& other, int32_t shift) {
    TPDFIndRef* mineRef = OutlinesRef();
    if (mineRef == nullptr) return;
    const std::vector<TPDFIndRef*> itemsB = other.OutlineItems();
    other.SetOutlineParents(itemsB, mineRef->TargetNumber - shift, mineRef->TargetGeneration);

    const std::vector<TPDFIndRef*> itemsA = OutlineItems();
    if (!itemsA.empty()) {
        TPDFIndRef* last = itemsA.back();
        TPDFDictionary* firstB = other.OutlineEntryDict("First");
        TPDFIndRef* firstBRef = other.OutlineEntryRef("First");
        // Without a first item of its own the chain of the second file cannot be joined.
        if (firstB != nullptr && firstBRef != nullptr) {
            firstB->SetValue("Prev", other.LocalStructure->NewIndRef(last->TargetNumber - shift,
                                                                     last->TargetGeneration));
            other.RegisterObject(firstBRef->TargetNumber, firstB);
            if (auto* lastA = As<TPDFDictionary>(GetObject(last->TargetNumber))) {
                lastA->SetValue("Next", LocalStructure->NewIndRef(firstBRef->TargetNumber + shift,
                                                                  firstBRef->TargetGeneration));
                RegisterObject(last->TargetNumber, lastA);
            }
        }
    }
    TPDFDictionary* rootB = other.OutlinesDict();
    int32_t countB = 0;
    if (rootB != nullptr) {
        if (auto* n = As<TPDFNumeric>(rootB->GetValue("Count"))) countB = n->AsInteger();
    }
    TPDFDictionary* rootA = OutlinesDict();
    if (rootA == nullptr) return;
    if (auto* n = As<TPDFNumeric>(rootA->GetValue("Count"))) {
        n->SetValue(countB + n->NumValue);
    } else {
        rootA->SetValue("Count", LocalStructure->NewNumeric(countB));
    }
    TPDFIndRef* lastBRef = other.OutlineEntryRef("Last");
    if (auto* lastA = As<TPDFIndRef>(rootA->GetValue("Last"));
        lastA != nullptr && lastBRef != nullptr) {
        lastA->TargetNumber = lastBRef->TargetNumber + shift;
        lastA->TargetGeneration = lastBRef->TargetGeneration;
        lastA->SetModified(true);
    }
    RegisterObject(mineRef->TargetNumber, rootA);
}

}  // namespace verava
