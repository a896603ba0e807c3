#include "merge/merge_destinations.h"

#include <algorithm>
#include <optional>
#include <set>
#include <unordered_set>
#include <utility>

#include "merge/smart_pdf_document.h"
#include "merge/tree_entries.h"
#include "objects/number_text.h"
#include "objects/pdf_structure.h"

namespace verava {
namespace {

// The bytes a destination name has: a name's text or a string's bytes.
std::optional<std::string> NameBytes(const TPDFObject* value) {
    if (const auto* name = As<TPDFName>(value)) return name->Text;
    if (const auto* text = As<TPDFString>(value)) return text->Bytes;
    return std::nullopt;
}

// One input's named destinations: the catalog's Dests dictionary (PDF 1.1, names as keys)
// and the entries of the Names dictionary's Dests tree (PDF 1.2, strings as keys).
struct Destinations {
    TPDFDictionary* dictionary = nullptr;
    std::vector<TTreeEntry> tree;

    bool HasDictionary() const { return dictionary != nullptr && dictionary->EntryCount() > 0; }
    bool Empty() const { return !HasDictionary() && tree.empty(); }

    // (name, destination) of both forms, the tree's first or the dictionary's first.
    std::vector<std::pair<std::string, TPDFObject*>> Entries(bool treeFirst) const {
        std::vector<std::pair<std::string, TPDFObject*>> entries;
        auto fromDictionary = [&] {
            if (dictionary == nullptr) return;
            for (const auto& [key, value] : dictionary->Entries()) {
                if (key != nullptr) entries.emplace_back(key->Text, value);
            }
        };
        auto fromTree = [&] {
            for (const auto& [key, value] : tree) {
                if (std::optional<std::string> bytes = NameBytes(key))
                    entries.emplace_back(std::move(*bytes), value);
            }
        };
        if (treeFirst) {
            fromTree();
            fromDictionary();
        } else {
            fromDictionary();
            fromTree();
        }
        return entries;
    }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (auto& [name, value] : Entries(true)) names.push_back(std::move(name));
        return names;
    }
};

Destinations ReadDestinations(TSmartPDFDocument& document) {
    Destinations found;
    if (document.RootDict == nullptr) return found;
    found.dictionary = As<TPDFDictionary>(FollowIn(document, document.RootDict->GetValue("Dests")));
    auto* names = As<TPDFDictionary>(FollowIn(document, document.RootDict->GetValue("Names")));
    if (names != nullptr && names->GetValue("Dests") != nullptr)
        found.tree = TreeEntries(document, names->GetValue("Dests"), "Names");
    return found;
}

// `name` with "-n" appended; UTF-16 text (ISO 32000-1, 7.9.2.2) gets UTF-16 characters so
// that it stays text.
std::string WithSuffix(const std::string& name, int n) {
    const std::string suffix = "-" + std::to_string(n);
    if (name.size() < 2 || name[0] != '\xFE' || name[1] != '\xFF') return name + suffix;
    std::string out = name;
    for (char c : suffix) {
        out.push_back('\0');
        out.push_back(c);
    }
    return out;
}

// A copy of `value` in `store` with its references raised by `shift`; none when the value
// cannot be written (a number beyond any range).
TPDFObject* CopyInto(TPDFStructure& store, TPDFObject* value, int32_t shift) {
    if (value == nullptr) return nullptr;
    try {
        TPDFObject* copy = store.ParseText(value->ToText());
        if (shift != 0) copy->ShiftReferences(shift);
        return copy;
    } catch (const EInvalidOp&) {
        return nullptr;
    }
}

// The catalog is written from its record.
void RecordCatalog(TSmartPDFDocument& document) {
    if (document.RootRef != nullptr)
        document.RegisterObject(document.RootRef->TargetNumber, document.RootDict);
}

// Puts `merged` where the catalog's Dests names it, or under a new number (the entry must
// be an indirect reference, ISO 32000-1 Table 28).
void PlaceDictionary(TSmartPDFDocument& first, TPDFDictionary* merged, int32_t floor) {
    auto* ref = As<TPDFIndRef>(first.RootDict->GetValue("Dests"));
    if (ref != nullptr && As<TPDFDictionary>(first.GetObject(ref->TargetNumber)) != nullptr) {
        first.RegisterObject(ref->TargetNumber, merged);
        return;
    }
    first.RootDict->SetValue("Dests", first.AddObjectAbove(floor, merged));
    RecordCatalog(first);
}

// Puts `root` where the Names dictionary's Dests names a tree, or into that dictionary
// (made when the catalog has none).
void PlaceTree(TSmartPDFDocument& first, TPDFDictionary* root) {
    auto* namesRef = As<TPDFIndRef>(first.RootDict->GetValue("Names"));
    auto* names = As<TPDFDictionary>(FollowIn(first, first.RootDict->GetValue("Names")));
    if (names == nullptr) {
        names = first.LocalStructure->NewDictionary();
        first.RootDict->SetValue("Names", names);
        namesRef = nullptr;
    }
    auto* treeRef = As<TPDFIndRef>(names->GetValue("Dests"));
    if (treeRef != nullptr && As<TPDFDictionary>(first.GetObject(treeRef->TargetNumber))) {
        first.RegisterObject(treeRef->TargetNumber, root);
        return;
    }
    names->SetValue("Dests", root);
    if (namesRef != nullptr) {
        first.RegisterObject(namesRef->TargetNumber, names);
    } else {
        RecordCatalog(first);
    }
}

// Gives the uses of renamed destinations in one input their new names. Objects are changed
// where they are held and their holders recorded at the end.
class UseRenamer {
  public:
    UseRenamer(TSmartPDFDocument& document, const TDestinationRenames& renames)
        : document_(document), renames_(renames) {}

    void Page(int32_t number) {
        auto* page = As<TPDFDictionary>(document_.GetObject(number));
        if (page == nullptr) return;
        AdditionalActions(page->GetValue("AA"), number);
        int32_t holder = number;
        auto* annots = As<TPDFArray>(Enter(page->GetValue("Annots"), holder));
        if (annots == nullptr) return;
        for (TPDFObject* item : annots->Items()) {
            int32_t annotHolder = holder;
            auto* annot = As<TPDFDictionary>(Enter(item, annotHolder));
            if (annot == nullptr) continue;
            Entry(annot, "Dest", annotHolder);
            Action(annot->GetValue("A"), annotHolder, 0);
            AdditionalActions(annot->GetValue("AA"), annotHolder);
        }
    }

    // Every item of the outline tree under `outlines`, children included.
    void Outlines(TPDFDictionary* outlines) {
        if (outlines == nullptr) return;
        std::vector<TPDFObject*> pending{outlines->GetValue("First")};
        for (int steps = 0; !pending.empty() && steps < TSmartPDFDocument::kMaxWalk; ++steps) {
            TPDFObject* value = pending.back();
            pending.pop_back();
            int32_t holder = 0;
            auto* item = As<TPDFDictionary>(Enter(value, holder));
            if (item == nullptr || holder == 0) continue;  // items are indirect (12.3.3)
            Entry(item, "Dest", holder);
            Action(item->GetValue("A"), holder, 0);
            pending.push_back(item->GetValue("Next"));
            pending.push_back(item->GetValue("First"));
        }
    }

    void RecordChanges() {
        for (int32_t number : touched_) {
            if (TPDFObject* holder = document_.GetObject(number))
                document_.RegisterObject(number, holder);
        }
    }

  private:
    // The object `value` names, once per number (none the second time), with `holder` set
    // to that number; a direct value is returned as it is.
    TPDFObject* Enter(TPDFObject* value, int32_t& holder) {
        auto* ref = As<TPDFIndRef>(value);
        if (ref == nullptr) return value;
        if (!entered_.insert(ref->TargetNumber).second) return nullptr;
        holder = ref->TargetNumber;
        return document_.GetObject(ref->TargetNumber);
    }

    // The renamed form of a destination name, or none when it keeps its name.
    TPDFObject* Renamed(TPDFObject* value) {
        const std::optional<std::string> bytes = NameBytes(value);
        if (!bytes) return nullptr;
        auto it = renames_.find(*bytes);
        if (it == renames_.end()) return nullptr;
        TPDFStructure& store = *document_.LocalStructure;
        if (auto* text = As<TPDFString>(value)) return store.NewString(it->second, text->HexForm);
        // A new name object: names may be shared between dictionaries, so none is edited.
        return store.NewName(it->second);
    }

    // dictionary[key] renamed; `holder` holds the dictionary.
    void Entry(TPDFDictionary* dictionary, std::string_view key, int32_t holder) {
        TPDFObject* value = dictionary->GetValue(key);
        if (auto* ref = As<TPDFIndRef>(value)) {
            if (TPDFObject* fresh = Renamed(document_.GetObject(ref->TargetNumber)))
                document_.RegisterObject(ref->TargetNumber, fresh);
            return;
        }
        if (TPDFObject* fresh = Renamed(value)) {
            dictionary->SetValue(key, fresh);
            touched_.insert(holder);
        }
    }

    // An action, an array of actions, and the actions its Next names (ISO 32000-1, 12.6.2).
    void Action(TPDFObject* value, int32_t holder, int depth) {
        if (value == nullptr || depth > kMaxTreeDepth || ++steps_ > TSmartPDFDocument::kMaxWalk)
            return;
        TPDFObject* action = Enter(value, holder);
        if (auto* list = As<TPDFArray>(action)) {
            for (TPDFObject* item : list->Items()) Action(item, holder, depth + 1);
            return;
        }
        auto* dictionary = As<TPDFDictionary>(action);
        if (dictionary == nullptr) return;
        auto* kind = As<TPDFName>(dictionary->GetValue("S"));
        if (kind != nullptr && kind->Text == "GoTo") Entry(dictionary, "D", holder);
        Action(dictionary->GetValue("Next"), holder, depth + 1);
    }

    void AdditionalActions(TPDFObject* value, int32_t holder) {
        auto* actions = As<TPDFDictionary>(Enter(value, holder));
        if (actions == nullptr) return;
        for (const auto& [key, action] : actions->Entries()) Action(action, holder, 0);
    }

    TSmartPDFDocument& document_;
    const TDestinationRenames& renames_;
    std::unordered_set<int32_t> entered_;
    std::set<int32_t> touched_;
    int steps_ = 0;
};

}  // namespace

TDestinationRenames PlanDestinationRenames(const std::vector<std::string>& taken,
                                           const std::vector<std::string>& own) {
    const std::set<std::string> takenSet(taken.begin(), taken.end());
    const std::set<std::string> ownSet(own.begin(), own.end());
    std::set<std::string> used = takenSet;
    used.insert(ownSet.begin(), ownSet.end());
    TDestinationRenames renames;
    for (const std::string& name : ownSet) {
        if (takenSet.count(name) == 0) continue;
        // Ends: `used` is finite, and every try adds nothing to it until one is free.
        for (int n = 2;; ++n) {
            std::string candidate = WithSuffix(name, n);
            if (used.insert(candidate).second) {
                renames.emplace(name, std::move(candidate));
                break;
            }
        }
    }
    return renames;
}

void MergeNamedDestinations(TSmartPDFDocument& first, TSmartPDFDocument& second, int32_t shift,
                            int32_t floor, const std::vector<int32_t>& secondPages) {
    if (first.RootDict == nullptr) return;
    const Destinations mine = ReadDestinations(first);
    const Destinations theirs = ReadDestinations(second);
    if (theirs.Empty()) return;
    const TDestinationRenames renames = PlanDestinationRenames(mine.Names(), theirs.Names());
    auto newName = [&](const std::string& name) {
        auto it = renames.find(name);
        return it == renames.end() ? name : it->second;
    };
    TPDFStructure& store = *first.LocalStructure;
    // Every name of both inputs under its output name, for one form: the first input's
    // before the second's, and in an input the form's own entries before the other form's;
    // the first entry of a name wins, as in a lookup.
    auto collect = [&](bool tree) {
        std::vector<std::pair<std::string, TPDFObject*>> all;
        std::set<std::string> seen;
        for (const Destinations* source : {&mine, &theirs}) {
            const bool renaming = source == &theirs;
            for (const auto& [name, value] : source->Entries(tree)) {
                std::string key = renaming ? newName(name) : name;
                // A name object cannot hold a null byte (ISO 32000-1, 7.3.5).
                if (!tree && key.find('\0') != std::string::npos) continue;
                if (!seen.insert(key).second) continue;
                if (TPDFObject* copy = CopyInto(store, value, renaming ? shift : 0))
                    all.emplace_back(std::move(key), copy);
            }
        }
        return all;
    };
    // A viewer may look in one form only when a file has both, so each form the output has
    // holds every name.
    if (mine.HasDictionary() || theirs.HasDictionary()) {
        TPDFDictionary* merged = store.NewDictionary();
        for (const auto& [name, value] : collect(false)) merged->SetValue(name, value);
        PlaceDictionary(first, merged, floor);
    }
    if (!mine.tree.empty() || !theirs.tree.empty()) {
        // Leaves sorted by key bytes, as a name tree's are (ISO 32000-1, 7.9.6).
        std::vector<std::pair<std::string, TPDFObject*>> leaves = collect(true);
        std::sort(leaves.begin(), leaves.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        TPDFArray* names = store.NewArray();
        names->Reserve(static_cast<int32_t>(leaves.size() * 2));
        for (auto& [name, value] : leaves) {
            names->Add(store.NewString(std::move(name), false));
            names->Add(value);
        }
        TPDFDictionary* root = store.NewDictionary();
        root->SetValue("Names", names);
        PlaceTree(first, root);
    }

    if (renames.empty()) return;
    UseRenamer renamer(second, renames);
    for (int32_t page : secondPages) renamer.Page(page);
    renamer.Outlines(second.OutlinesDict());
    renamer.RecordChanges();
}

}  // namespace verava
