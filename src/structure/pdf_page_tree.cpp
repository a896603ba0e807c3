#include "structure/pdf_page_tree.h"

#include <algorithm>

#include "structure/page_attributes.h"

namespace verava {
namespace {

// The Count of a page node as the walks read it: a number (resolved) or 0. Kept 64-bit so
// hostile counts cannot overflow the walk's running total.
int64_t NodeCount(const TPDFDictionary* node) {
    const auto* count = As<TPDFNumeric>(node->GetValue("Count", true));
    return count != nullptr ? count->AsInteger() : 0;
}

bool IsMarkedStream(const TPDFStream* stream) {
    if (stream == nullptr || stream->StreamDict() == nullptr) return false;
    const auto* marker = As<TPDFName>(stream->StreamDict()->GetValue("LC", false));
    return marker != nullptr && marker->Text == "Tolm";
}

}  // namespace

std::vector<TPDFPageTree::Slot> TPDFPageTree::Slots() const {
    std::vector<Slot> slots;
    if (root_ == nullptr) return slots;
    std::unordered_set<const TPDFDictionary*> nodes{root_};
    // Kids arrays being walked, with the next index in each and their node.
    struct Frame {
        TPDFArray* kids;
        int32_t next;
        TPDFDictionary* node;
    };
    std::vector<Frame> stack;
    if (auto* kids = As<TPDFArray>(root_->GetValue("Kids", true)))
        stack.push_back({kids, 0, root_});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next >= frame.kids->Count()) {
            stack.pop_back();
            continue;
        }
        const int32_t index = frame.next++;
        auto* ref = As<TPDFIndRef>(frame.kids->Get(index));
        auto* dict = ref != nullptr ? As<TPDFDictionary>(ref->Resolve()) : nullptr;
        if (dict == nullptr) continue;
        if (dict->GetType() == "Pages") {
            auto* sub = As<TPDFArray>(dict->GetValue("Kids", true));
            if (sub != nullptr && nodes.insert(dict).second) stack.push_back({sub, 0, dict});
        } else if (dict->GetType() == "Page") {
            slots.push_back({frame.kids, index, frame.node, dict});
        }
    }
    return slots;
}

std::vector<TPDFDictionary*> TPDFPageTree::Pages() const {
    std::vector<TPDFDictionary*> pages;
    for (const Slot& slot : Slots()) pages.push_back(slot.page);
    return pages;
}

bool TPDFPageTree::Reorder(const std::vector<int32_t>& order) {
    if (root_ == nullptr || owner_ == nullptr) return false;
    const std::vector<Slot> slots = Slots();
    const auto n = static_cast<int32_t>(slots.size());
    if (static_cast<int32_t>(order.size()) != n || TotalPages() != n) return false;
    std::vector<bool> taken(static_cast<size_t>(n), false);
    for (int32_t page : order) {
        if (page < 1 || page > n || taken[static_cast<size_t>(page - 1)]) return false;
        taken[static_cast<size_t>(page - 1)] = true;
    }

    // What each page sees before anything moves: its own entry or the nearest ancestor's.
    struct Seen {
        TPDFObject* values[4] = {nullptr, nullptr, nullptr, nullptr};
    };
    std::vector<Seen> seen(slots.size());
    std::vector<TPDFObject*> elements(slots.size());
    for (size_t i = 0; i < slots.size(); ++i) {
        elements[i] = slots[i].kids->Get(slots[i].index);
        for (size_t k = 0; k < std::size(kInheritedAttributes); ++k) {
            seen[i].values[k] = NearestInherited(slots[i].page, kInheritedAttributes[k]);
        }
    }
    // A node that holds an attribute changes what a page arriving under it would inherit.
    auto nodeProvides = [](TPDFDictionary* node, std::string_view key) {
        return NearestInherited(node, key) != nullptr;
    };

    for (int32_t i = 0; i < n; ++i) {
        const Slot& slot = slots[static_cast<size_t>(i)];
        const auto from = static_cast<size_t>(order[static_cast<size_t>(i)] - 1);
        TPDFDictionary* page = slots[from].page;
        slot.kids->Replace(slot.index, elements[from]);
        if (slots[from].holder == slot.holder) continue;
        // Under another node: what the page inherited becomes its own, and what the new
        // node would add that the page did not see is set to the value it had.
        for (size_t k = 0; k < std::size(kInheritedAttributes); ++k) {
            const std::string_view key = kInheritedAttributes[k];
            if (HasOwnAttribute(page, key)) continue;
            TPDFObject* before = seen[from].values[k];
            if (before != nullptr) {
                if (TPDFObject* copy = CopyForHolder(*owner_, before)) page->SetValue(key, copy);
            } else if (nodeProvides(slot.holder, key)) {
                if (key == "Rotate") {
                    page->SetValue(key, owner_->NewNumeric(0));
                } else if (key == "Resources") {
                    page->SetValue(key, owner_->NewDictionary());
                } else if (key == "CropBox" && seen[from].values[1] != nullptr) {
                    // Without a crop box of its own the page was cut at its media box.
                    if (TPDFObject* copy = CopyForHolder(*owner_, seen[from].values[1])) {
                        page->SetValue(key, copy);
                    }
                }
            }
        }
        page->SetValue("Parent",
                       owner_->NewIndRef(slot.holder->ObjectNumber, slot.holder->GenerationNumber));
    }
    ClearPageCache();
    if (currentPageDict_ != nullptr) {
        for (int32_t i = 0; i < n; ++i) {
            if (slots[static_cast<size_t>(order[static_cast<size_t>(i)] - 1)].page ==
                currentPageDict_) {
                currentPageNumber_ = i + 1;
            }
        }
    }
    return true;
}

TPDFPageTree::TPDFPageTree(TPDFDictionary* root, TPDFPageTreeCallbacks callbacks)
    : callbacks_(std::move(callbacks)) {
    if (root == nullptr) return;
    owner_ = root->Store();
    root_ = root;
    LoadPage(1);
}

int32_t TPDFPageTree::TotalPages() {
    const int32_t total = root_ != nullptr ? std::max(root_->GetInteger("Count", 0), 0) : 0;
    if (total < cacheSize_) {
        std::erase_if(pageCache_, [total](const auto& entry) { return entry.first > total; });
    }
    cacheSize_ = total;
    return total;
}

TPDFDictionary* TPDFPageTree::CachedPage(int32_t n) const {
    if (n < 1 || n > cacheSize_) return nullptr;
    const auto it = pageCache_.find(n);
    return it != pageCache_.end() ? it->second : nullptr;
}

void TPDFPageTree::ClearPageCache() {
    pageCache_.clear();
    cacheSize_ = 0;
    pageIndexValid_ = false;
}

void TPDFPageTree::RecordLastElement(TPDFArray* kids, TPDFObject* element) {
    lastKids_ = kids;
    lastElement_ = element;
    const auto* ref = As<TPDFIndRef>(element);
    lastTargetNumber_ = ref != nullptr ? ref->TargetNumber : 0;
    lastTargetGeneration_ = ref != nullptr ? ref->TargetGeneration : 0;
}

TPDFDictionary* TPDFPageTree::FindPage(int32_t n) {
    const int32_t total = TotalPages();
    if (n < 1 || n > total) return nullptr;
    if (usePageIndex_) {
        if (!pageIndexValid_) {
            pageIndex_ = Pages();
            pageIndexValid_ = true;
        }
        if (static_cast<size_t>(n) <= pageIndex_.size()) {
            TPDFDictionary* page = pageIndex_[static_cast<size_t>(n) - 1];
            pageCache_[n] = page;
            return page;
        }
    }
    parentPages_ = root_;
    TPDFDictionary* result = nullptr;
    if (auto* kids = As<TPDFArray>(root_->GetValue("Kids", true))) {
        bool walk = true;
        // A root whose Kids hold as many elements as there are pages holds the pages
        // themselves: element n - 1 is page n.
        if (kids->Count() == total) {
            TPDFObject* element = kids->Get(n - 1);
            RecordLastElement(kids, element);
            auto* dict = As<TPDFDictionary>(ResolveIfReference(element));
            if (dict == nullptr) {
                walk = false;
            } else if (dict->GetType() == "Page" || dict->IndexOf("Contents") >= 0) {
                result = dict;
                walk = false;
            }
        }
        if (walk) result = Descend(kids, root_, n, DescentPolicy::Lookup).page;
    }
    if (result != nullptr) {
        pageCache_[n] = result;
    } else {
        pageCache_.erase(n);
    }
    return result;
}

// Follows Count down the tree. Once it enters a subtree it never comes back to the siblings,
// so the descent is a loop rather than recursion and needs no depth limit; the visited set
// stops Kids arrays that lead back to one already walked. The two searches by number differ
// in what they take a kid for, by policy: a lookup (FindPage) takes a node without Type but
// with Kids for a node, puts a blank page where a kid leads nowhere and notes the node it
// descends into as ParentPages; locating a page for a move takes only what is typed and
// changes nothing.
TPDFPageTree::Descent TPDFPageTree::Descend(TPDFArray* kids, TPDFDictionary* holder, int32_t n,
                                            DescentPolicy policy) {
    const bool lookup = policy == DescentPolicy::Lookup;
    std::unordered_set<const TPDFArray*> visited;
    int64_t counter = 0;
    while (kids != nullptr) {
        if (!visited.insert(kids).second) return {};
        TPDFArray* next = nullptr;
        for (int32_t i = 0; i < kids->Count() && next == nullptr; ++i) {
            // Direct objects in Kids are never pages.
            auto* ref = As<TPDFIndRef>(kids->Get(i));
            if (ref == nullptr) continue;
            RecordLastElement(kids, ref);
            auto* dict = As<TPDFDictionary>(ref->Resolve());
            // A dangling kid becomes a blank page that is counted at once, so this pass
            // numbers the later pages as every later search will.
            if (dict == nullptr && lookup) dict = RepairDanglingKid(kids, i);
            if (dict == nullptr) continue;

            const std::string type = dict->GetType();
            const bool isPages = type == "Pages" || (lookup && dict->IndexOf("Type") < 0 &&
                                                     dict->IndexOf("Kids") >= 0);
            if (isPages) {
                const int64_t count = NodeCount(dict);
                if (n > counter + count) {
                    counter += count;
                    continue;
                }
                if (auto* sub = As<TPDFArray>(dict->GetValue("Kids", true))) {
                    if (lookup) parentPages_ = dict;
                    holder = dict;
                    next = sub;
                }
            } else if (type == "Page") {
                if (counter + 1 == n) return {dict, kids, i, holder};
                ++counter;
            }
        }
        kids = next;
    }
    return {};
}

TPDFDictionary* TPDFPageTree::RepairDanglingKid(TPDFArray* kids, int32_t index) {
    if (owner_ == nullptr || !owner_->OnRegisterIndirect || parentPages_ == nullptr) {
        return nullptr;
    }
    TPDFDictionary* page = owner_->NewDictionary();
    page->SetValue("Type", owner_->CommonName("Page"));
    page->SetValue("Parent",
                   owner_->NewIndRef(parentPages_->ObjectNumber, parentPages_->GenerationNumber));
    page->SetValue("Resources", owner_->NewDictionary());
    page->SetValue("MediaBox", owner_->NewIntegerArray({0, 0, 612, 792}, 3));
    page->SetValue("CropBox", owner_->NewIntegerArray({0, 0, 612, 792}, 3));
    page->SetValue("Rotate", owner_->NewNumeric(0));
    TPDFIndRef* ref = RegisterIndirect(page);
    kids->Replace(index, ref);
    RecordLastElement(kids, ref);
    return page;
}

TPDFIndRef* TPDFPageTree::RegisterIndirect(TPDFObject* object) {
    if (owner_ == nullptr || !owner_->OnRegisterIndirect) return nullptr;
    int32_t number = 0;
    int32_t generation = 0;
    owner_->OnRegisterIndirect(object, number, generation);
    return owner_->NewIndRef(number, generation);
}

TPDFPageTree::FreshStream TPDFPageTree::NewContentStream(bool marked) {
    if (owner_ == nullptr || !owner_->OnRegisterIndirect) return {};
    TPDFStream* stream = owner_->NewStream(std::string(), false);
    if (marked) stream->StreamDict()->SetValue("LC", owner_->CommonName("Tolm"));
    return {RegisterIndirect(stream), stream};
}

void TPDFPageTree::LoadPage(int32_t n) {
    pageLoaded_ = false;
    const int32_t total = TotalPages();
    const int32_t number = n >= 1 && n <= total ? n : currentPageNumber_;
    TPDFDictionary* page = CachedPage(number);
    if (page == nullptr) page = FindPage(number);
    currentPageDict_ = page;
    if (page == nullptr) return;
    currentPageNumber_ = number;
    contentStreams_.clear();

    if (callbacks_.DecryptTree && page->Indirect &&
        decryptedPages_.insert(page->ObjectNumber).second) {
        callbacks_.DecryptTree(page->ObjectNumber);
    }

    if (auto* annots = As<TPDFArray>(page->GetValue("Annots", true))) {
        annots_.Attach(annots);
    } else {
        annots_.Reset();
    }
    pageLoaded_ = PrepareContents(page);
}

bool TPDFPageTree::PrepareContents(TPDFDictionary* page) {
    // Contents becomes an array of stream references (ISO 32000-1, 7.7.3.3, Table 30).
    TPDFArray* contents = nullptr;
    TPDFObject* value = page->GetValue("Contents", false);
    if (page->IndexOf("Contents") < 0) {
        const FreshStream fresh = NewContentStream(true);
        if (fresh.Ref == nullptr) return false;
        contents = owner_->NewArray();
        contents->Add(fresh.Ref);
        page->SetValue("Contents", contents);
    } else if (auto* ref = As<TPDFIndRef>(value)) {
        contents = As<TPDFArray>(ref->Resolve());
        if (contents == nullptr) {
            contents = owner_->NewArray();
            contents->Add(ref);
            page->RemoveKey("Contents");
            page->SetValue("Contents", contents);
        }
    } else if (auto* array = As<TPDFArray>(value)) {
        contents = array;
    } else {
        return false;
    }

    // Additions go into the last stream when it is ours and still of moderate size.
    const auto* last = As<TPDFStream>(ResolveIfReference(contents->Get(contents->Count() - 1)));
    if (!IsMarkedStream(last) || last->Data().size() > kMaxMarkedStreamBytes) {
        const FreshStream fresh = NewContentStream(true);
        if (fresh.Ref == nullptr) return false;
        contents->Add(fresh.Ref);
    }

    contentStreams_.reserve(static_cast<size_t>(contents->Count()));
    for (int32_t i = 0; i < contents->Count(); ++i) {
        auto* stream = As<TPDFStream>(ResolveIfReference(contents->Get(i)));
        if (stream == nullptr) {
            const FreshStream fresh = NewContentStream(false);
            if (fresh.Ref == nullptr) {
                contentStreams_.clear();
                return false;
            }
            contents->Replace(i, fresh.Ref);
            stream = fresh.Stream;
        }
        contentStreams_.push_back(stream);
    }

    pageBuffer_.Reset();
    pageBuffer_.LoadText(contentStreams_.back()->GetDecodedData());
    currentContent_ = static_cast<int32_t>(contentStreams_.size());
    return true;
}

TPDFPageLocation TPDFPageTree::LocatePage(int32_t n) {
    TPDFPageLocation result;
    if (root_ == nullptr) return result;
    auto* kids = As<TPDFArray>(root_->GetValue("Kids", true));
    if (kids == nullptr || n < 1 || n > TotalPages()) return result;
    const Descent found = Descend(kids, root_, n, DescentPolicy::Locate);
    if (found.page == nullptr) return result;
    result.Kids = found.kids;
    result.Index = found.index + 1;
    // The page's own Parent when it has a usable one, else the node holding it.
    auto* parentRef = As<TPDFIndRef>(found.page->GetValue("Parent", false));
    auto* parent = parentRef != nullptr ? As<TPDFDictionary>(parentRef->Resolve()) : nullptr;
    result.Parent = parent != nullptr ? parent : found.holder;
    return result;
}

void TPDFPageTree::AdjustCounts(TPDFDictionary* node, int32_t delta) {
    AdjustCounts(node, delta, nullptr);
}

void TPDFPageTree::AdjustCounts(TPDFDictionary* node, int32_t delta, std::vector<CountUndo>* undo) {
    // Each node once: a Parent chain that loops back must not loop here.
    std::unordered_set<const TPDFDictionary*> visited;
    while (node != nullptr && visited.insert(node).second) {
        if (auto* count = As<TPDFNumeric>(node->GetValue("Count", true))) {
            if (undo != nullptr) undo->push_back({count, count->NumValue, count->Modified});
            count->SetValue(count->NumValue + delta);
        }
        node = As<TPDFDictionary>(node->GetValue("Parent", true));
    }
}

void TPDFPageTree::CopyInheritedAttributes(TPDFDictionary* page) { OwnInheritedAttributes(page); }

void TPDFPageTree::RelocatePage(int32_t from, int32_t to) {
    if (root_ == nullptr) return;
    pageIndexValid_ = false;
    const auto* rootCount = As<TPDFNumeric>(root_->GetValue("Count", true));
    if (rootCount == nullptr) return;
    const int32_t total = rootCount->AsInteger();
    if (from < 1 || from > total) return;

    // Everything the move needs is checked before anything changes: the page, its Kids
    // element and the node it leaves.
    TPDFDictionary* page = FindPage(from);
    if (page == nullptr) return;
    to = std::clamp(to, 1, total);
    const TPDFPageLocation source = LocatePage(from);
    if (!source.Found() || source.Parent == nullptr) return;
    auto* ref = As<TPDFIndRef>(source.Kids->Get(source.Index - 1));
    // The walk that locates and the lookup that found the page must agree on which page is
    // moved; they can differ only in damaged trees, and then nothing is moved.
    if (ref == nullptr || ref->Resolve() != page) return;

    const bool kidsModified = source.Kids->Modified;
    const int32_t removedAt = source.Kids->IndexOfText(ref);
    if (removedAt < 0) return;
    source.Kids->Delete(removedAt);
    std::vector<CountUndo> undo;
    AdjustCounts(source.Parent, -1, &undo);

    // The insertion point is found in the tree without the page. To the last position the
    // page goes behind the page now last; elsewhere in front of the page now at `to`.
    const auto* countNow = As<TPDFNumeric>(root_->GetValue("Count", true));
    TPDFPageLocation target;
    int32_t insertAt = 0;
    if (countNow != nullptr && static_cast<int64_t>(countNow->AsInteger()) + 1 == to) {
        target = LocatePage(to - 1);
        insertAt = target.Index;
    } else {
        target = LocatePage(to);
        insertAt = target.Index - 1;
    }
    if (!target.Found() || target.Parent == nullptr) {
        // No place to put it (a one-page tree, or Counts that promise pages that are not
        // there): put everything back as it was.
        for (auto it = undo.rbegin(); it != undo.rend(); ++it) {
            it->Number->NumValue = it->Value;
            it->Number->Modified = it->Modified;
        }
        source.Kids->Insert(removedAt, ref);
        source.Kids->Modified = kidsModified;
        return;
    }

    // The page leaves its ancestors, so what it inherited from them becomes its own. The
    // Parent chain is still the old one here: only Kids and Count have changed.
    CopyInheritedAttributes(page);
    target.Kids->Insert(insertAt, ref);
    AdjustCounts(target.Parent, +1);
    if (auto* parentRef = As<TPDFIndRef>(page->GetValue("Parent", false))) {
        parentRef->TargetNumber = target.Parent->ObjectNumber;
        parentRef->TargetGeneration = target.Parent->GenerationNumber;
        parentRef->SetModified(true);
    }
}

TPDFDictionary* NewOnePageRoot(TPDFStructure& store, int32_t number, int32_t generation) {
    TPDFDictionary* root = store.NewDictionary();
    root->SetValue("Type", store.NewName("Pages"));
    TPDFArray* kids = store.NewArray();
    kids->Add(store.NewIndRef(number, generation));
    root->SetValue("Kids", kids);
    root->SetValue("Count", store.NewNumeric(1));
    return root;
}

}  // namespace verava
