// The page tree as loading leaves it: cycles cut, what is not a page dropped, a page listed
// twice copied, a blank page where a page is lost, every page's Contents naming streams.
#include <unordered_set>

#include "objects/number_text.h"
#include "structure/page_attributes.h"
#include "structure/pdf_page_tree.h"

namespace verava {
namespace {

// A stream a page can show: object streams and cross-reference streams are the file's own
// structure, never content, and are not written out as objects.
bool IsContentStream(TPDFObject* value) {
    auto* stream = As<TPDFStream>(value);
    if (stream == nullptr) return false;
    const std::string type = stream->StreamDict() != nullptr ? stream->StreamDict()->GetType() : "";
    return type != "ObjStm" && type != "XRef";
}

// Contents that name what is not a content stream (an object lost with a cut, a damaged one,
// a number an object stream took over) go: a page shows the streams that are there, and
// readers need not skip a reference to nothing. False when something was removed.
bool KeepStreamContents(TPDFDictionary& page) {
    TPDFObject* contents = page.GetValue("Contents", false);
    if (contents == nullptr) return true;
    auto isStream = [](TPDFObject* value) { return IsContentStream(ResolveIfReference(value)); };
    if (As<TPDFIndRef>(contents) != nullptr) {
        TPDFObject* target = ResolveIfReference(contents);
        if (IsContentStream(target)) return true;
        auto* array = As<TPDFArray>(target);
        if (array == nullptr) {
            page.RemoveKey("Contents");
            return false;
        }
        contents = array;
    }
    auto* array = As<TPDFArray>(contents);
    if (array == nullptr) {
        page.RemoveKey("Contents");
        return false;
    }
    bool kept = true;
    for (int32_t i = array->Count() - 1; i >= 0; --i) {
        if (!isStream(array->Get(i))) {
            array->Delete(i);
            kept = false;
        }
    }
    return kept;
}

// A new blank page under `parent`, not yet registered, as large as `model` (its own or
// inherited MediaBox) or US Letter.
TPDFDictionary* BlankPage(TPDFStructure& store, const TPDFDictionary& parent,
                          const TPDFDictionary* model) {
    TPDFDictionary* page = store.NewDictionary();
    page->SetValue("Type", store.CommonName("Page"));
    page->SetValue("Parent", store.NewIndRef(parent.ObjectNumber, parent.GenerationNumber));
    page->SetValue("Resources", store.NewDictionary());
    TPDFObject* size = nullptr;
    if (TPDFObject* media = model != nullptr ? NearestInherited(model, "MediaBox") : nullptr) {
        try {
            size = store.ParseText(ResolveIfReference(media)->ToText());
        } catch (const EInvalidOp&) {
            size = nullptr;
        }
    }
    page->SetValue("MediaBox", As<TPDFArray>(size) != nullptr
                                   ? size
                                   : store.NewIntegerArray({0, 0, 612, 792}, 3));
    return page;
}

}  // namespace

int32_t TPDFPageTree::Normalise(TPDFDictionary* root, bool* changed) {
    bool unchanged = true;
    if (changed != nullptr) *changed = false;
    if (root == nullptr) return 0;
    TPDFStructure* store = root->Store();
    auto setCount = [&](TPDFDictionary* dict, int64_t value) {
        const auto* present = As<TPDFNumeric>(dict->GetValue("Count", false));
        if (present != nullptr && present->NumValue == static_cast<double>(value)) return;
        unchanged = false;
        dict->SetValue("Count", store->NewNumeric(static_cast<double>(value)));
    };
    auto setParent = [&](TPDFDictionary* dict, const TPDFDictionary* parent) {
        const auto* present = As<TPDFIndRef>(dict->GetValue("Parent", false));
        if (present != nullptr && present->TargetNumber == parent->ObjectNumber &&
            present->TargetGeneration == parent->GenerationNumber) {
            return;
        }
        unchanged = false;
        dict->SetValue("Parent", store->NewIndRef(parent->ObjectNumber, parent->GenerationNumber));
    };
    auto setType = [&](TPDFDictionary* dict, std::string_view type) {
        if (dict->GetType() == type) return;
        unchanged = false;
        dict->SetValue("Type", store->CommonName(type));
    };

    // One frame per node being walked: its Kids and the elements kept so far. The walk is a
    // loop over an explicit stack: a tree thousands of levels deep costs no call depth.
    struct Frame {
        TPDFDictionary* node;
        TPDFArray* kids;
        int32_t next = 0;
        std::vector<TPDFObject*> kept;
        bool changed = false;
        int64_t count = 0;
    };
    auto open = [&](TPDFDictionary* node) {
        Frame frame{node, As<TPDFArray>(node->GetValue("Kids", true))};
        if (frame.kids == nullptr) {
            unchanged = false;
            frame.kids = store->NewArray();
            node->SetValue("Kids", frame.kids);
        }
        return frame;
    };
    std::unordered_set<const TPDFDictionary*> nodes{root};
    std::unordered_set<const TPDFDictionary*> pages;
    int32_t copies = 0;  // copies of pages listed again, and blank pages for lost ones
    // Pages the walk makes (copies, blanks) get their numbers only once every Kids array has
    // been read: a number taken earlier could be one a later Kids array names for a lost
    // page, which would then lead to the page made here, listing it twice.
    std::vector<std::pair<TPDFIndRef*, TPDFDictionary*>> made;
    auto placeholder = [&](TPDFDictionary* page) {
        TPDFIndRef* ref = store->NewIndRef(0, 0);
        made.emplace_back(ref, page);
        return ref;
    };
    TPDFDictionary* lastPage = nullptr;
    std::vector<Frame> stack;
    stack.push_back(open(root));
    setType(root, "Pages");
    if (root->IndexOf("Parent") >= 0) {
        unchanged = false;
        root->RemoveKey("Parent");
    }
    int64_t total = 0;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next >= frame.kids->Count()) {
            if (frame.changed) {
                unchanged = false;
                while (frame.kids->Count() > 0) frame.kids->Delete(frame.kids->Count() - 1);
                for (TPDFObject* kept : frame.kept) frame.kids->Add(kept);
            }
            setCount(frame.node, frame.count);
            const int64_t count = frame.count;
            TPDFDictionary* node = frame.node;
            stack.pop_back();
            if (stack.empty()) {
                total = count;
            } else {
                stack.back().count += count;
                setParent(node, stack.back().node);
            }
            continue;
        }
        TPDFObject* element = frame.kids->Get(frame.next++);
        auto* ref = As<TPDFIndRef>(element);
        TPDFObject* target = ref != nullptr ? ref->Resolve() : nullptr;
        if (ref != nullptr && (target == nullptr || As<TPDFNull>(target) != nullptr)) {
            // A page whose object is gone (a file cut short): a blank page keeps its place,
            // so the pages after it keep their numbers, and no reference dangles.
            frame.changed = true;
            if (!store->OnRegisterIndirect || copies++ >= kMaxPageCopies) continue;
            frame.kept.push_back(placeholder(BlankPage(*store, *frame.node, lastPage)));
            ++frame.count;
            continue;
        }
        auto* dict = As<TPDFDictionary>(target);
        const std::string type = dict != nullptr ? dict->GetType() : std::string();
        // Typeless entries count by their shape: with Kids a node, with contents or a media
        // box a page; any other dictionary (a font, an encryption dictionary) is none.
        const bool isNode =
            dict != nullptr && (type == "Pages" || (type.empty() && dict->IndexOf("Kids") >= 0));
        const bool isPage =
            dict != nullptr && !isNode &&
            (type == "Page" ||
             (type.empty() && (dict->IndexOf("Contents") >= 0 || dict->IndexOf("MediaBox") >= 0)));
        if (isNode && nodes.insert(dict).second) {
            frame.kept.push_back(element);
            setType(dict, "Pages");
            stack.push_back(open(dict));
            continue;
        }
        if (!isPage) {
            // A direct object, a reference to nothing or to something other than a page, or
            // a node met again (a cycle, or a node listed twice).
            frame.changed = true;
            continue;
        }
        TPDFDictionary* page = dict;
        if (!pages.insert(dict).second) {
            // Listed again: other readers show it twice, so it becomes a page of its own,
            // and the written tree never lists one object in two places. A file that lists
            // pages again and again gets a bounded number of copies.
            TPDFDictionary* copy = nullptr;
            try {
                if (store->OnRegisterIndirect && copies++ < kMaxPageCopies) {
                    copy = As<TPDFDictionary>(store->ParseText(dict->ToText()));
                }
            } catch (const EInvalidOp&) {
                copy = nullptr;
            }
            frame.changed = true;
            if (copy == nullptr) continue;
            element = placeholder(copy);
            page = copy;
        }
        // A page whose Parent was another node keeps what it inherited there.
        const auto* oldParent = As<TPDFDictionary>(page->GetValue("Parent", true));
        if (oldParent != nullptr && oldParent != frame.node) {
            unchanged = false;
            OwnInheritedAttributes(page);
        }
        setType(page, "Page");
        setParent(page, frame.node);
        if (!KeepStreamContents(*page)) unchanged = false;
        frame.kept.push_back(element);
        ++frame.count;
        lastPage = page;
    }
    for (auto& [ref, page] : made)
        store->OnRegisterIndirect(page, ref->TargetNumber, ref->TargetGeneration);
    if (changed != nullptr) *changed = !unchanged;
    return static_cast<int32_t>(std::min<int64_t>(total, INT32_MAX));
}

}  // namespace verava
