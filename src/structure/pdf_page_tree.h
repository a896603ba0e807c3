// The page tree of one document (ISO 32000-1, 7.7.3): numbers the pages 1..Count in tree
// order, keeps one page current with its content streams ready for additions, and moves a
// page to another position. It works on the document's own objects; lookups walk down from
// the root guided by Count, and a small cache remembers pages already found.
//   1 0 obj << /Type /Pages /Count 3 /Kids [2 0 R 3 0 R 4 0 R] >> endobj
//   2 0 obj << /Type /Page /Parent 1 0 R /Contents [5 0 R] >> endobj
#pragma once

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "objects/pdf_object.h"
#include "objects/pdf_structure.h"
#include "structure/pdf_annots.h"
#include "structure/pdf_painter.h"

namespace verava {

// Hooks of the owning document; every member may be empty.
struct TPDFPageTreeCallbacks {
    // Decrypts the object with this number and everything reachable from it. LoadPage calls
    // it once per page object (by number, for the tree's lifetime) as soon as the page
    // dictionary is found and before Annots or Contents are read, so that the content streams
    // whose bytes the page buffer takes are plain text. Because a page reaches its Parent
    // and through it the whole tree, the document should make calls over objects already
    // decrypted cheap.
    std::function<void(int32_t objectNumber)> DecryptTree;
    // Removes an indirect object from the document. Kept for the document; the tree itself
    // never drops objects.
    std::function<void(int32_t number, int32_t generation)> RemoveObject;
    // The document's own page index of a page dictionary. Kept for the document.
    std::function<int32_t(TPDFDictionary* page)> PageIndex;
};

// Where a page sits: the Kids array holding its reference, the 1-based index in it, and the
// page node counted as its parent. Kids is null when the page was not found.
struct TPDFPageLocation {
    TPDFArray* Kids = nullptr;
    TPDFDictionary* Parent = nullptr;
    int32_t Index = 0;
    bool Found() const { return Kids != nullptr; }
};

class TPDFPageTree {
  public:
    // A marked content stream larger than this is left alone and a new one is appended.
    static constexpr size_t kMaxMarkedStreamBytes = 500000;
    // Normalise makes at most this many new pages (copies and blanks).
    static constexpr int32_t kMaxPageCopies = 10000;

    // Rebuilds the tree under `root` from what is really there, before a loaded document
    // trusts it: the pages are the page dictionaries reached through Kids (references only,
    // each node walked once, so cycles are cut); Kids entries that lead to something other
    // than a page or page node are dropped; a reference to an object that is gone becomes a
    // blank page of the previous page's size, so later pages keep their numbers; a page
    // listed a second time becomes a page of its own, a copy of the first. New pages are
    // registered through the store's OnRegisterIndirect (and left out when it cannot
    // register, or beyond kMaxPageCopies). Every page and node gets its holder as Parent and
    // each node the Count of the pages below it. Objects are only changed where they differ.
    // Returns the number of pages; `changed` (when given) tells whether anything had to be
    // changed.
    static int32_t Normalise(TPDFDictionary* root, bool* changed = nullptr);
    // The page dictionaries in page order, in one walk over Kids (references only, each
    // node once). For a tree as Normalise leaves it these are exactly pages 1..Count.
    std::vector<TPDFDictionary*> Pages() const;
    // Puts all pages in a new order at once: `order[i]` is the number of the page that ends
    // at position i + 1. The tree keeps its shape (every node its number of pages); each
    // page that lands under another node keeps exactly the resources, boxes and rotation it
    // saw before. Linear in the number of pages. False, and nothing changed, when `order` is
    // not a permutation of 1..Count or the tree's Kids do not hold Count pages.
    bool Reorder(const std::vector<int32_t>& order);
    // From now on page lookups by number go through an index of the pages built in one walk
    // (kept until the tree changes) instead of walking down from the root for each page. For
    // trees that hold what their Counts say, as Normalise leaves them.
    void UsePageIndex() { usePageIndex_ = true; }

    // With a root the owner is the root's store and page 1 is selected at once; without one
    // the tree is empty (no owner, CurrentPageNumber 0).
    explicit TPDFPageTree(TPDFDictionary* root = nullptr, TPDFPageTreeCallbacks callbacks = {});
    TPDFPageTree(const TPDFPageTree&) = delete;
    TPDFPageTree& operator=(const TPDFPageTree&) = delete;

    // The root's Count (0 without a root or for a negative Count). Resizes the page cache
    // to that many pages; pages already cached at numbers within it stay.
    int32_t TotalPages();
    // Page n's dictionary, or null; the result is remembered in the page cache.
    TPDFDictionary* FindPage(int32_t n);
    // Makes page n current (an out-of-range n reselects the current page) and prepares its
    // Contents so that the last content stream carries the marker /LC /Tolm.
    void LoadPage(int32_t n);
    // Moves the page at position `from` to position `to` (clamped to 1..Count). Changes
    // nothing when the page, its Kids element or either parent node cannot be determined.
    void RelocatePage(int32_t from, int32_t to);
    // Where page n sits. The parent is the page's Parent when that resolves to a dictionary,
    // else the node whose Kids hold the page. Unlike FindPage it takes no shortcut, counts
    // only nodes typed /Pages and repairs nothing.
    TPDFPageLocation LocatePage(int32_t n);
    // Adds delta to Count of node and of each ancestor along Parent (each visited once).
    void AdjustCounts(TPDFDictionary* node, int32_t delta);
    // Gives the page its own Resources, MediaBox, CropBox and Rotate where it only
    // inherited them, each the first value found up the Parent chain, resolved.
    void CopyInheritedAttributes(TPDFDictionary* page);
    void ClearPageCache();

    int32_t CurrentPageNumber() const { return currentPageNumber_; }
    TPDFDictionary* CurrentPageDict() const { return currentPageDict_; }
    TPDFDictionary* ParentPages() const { return parentPages_; }
    const std::vector<TPDFStream*>& ContentStreams() const { return contentStreams_; }
    // 1-based index of the stream that receives additions: always the last one.
    int32_t CurrentContent() const { return currentContent_; }
    bool PageLoaded() const { return pageLoaded_; }
    const TPDFPainter& PageBuffer() const { return pageBuffer_; }
    const TPDFAnnots& Annots() const { return annots_; }
    TPDFDictionary* Root() const { return root_; }
    TPDFStructure* Owner() const { return owner_; }
    const TPDFPageTreeCallbacks& Callbacks() const { return callbacks_; }

    // The page cache: its size in pages and the dictionary cached for page n, or null.
    int32_t PageCacheSize() const { return cacheSize_; }
    TPDFDictionary* CachedPage(int32_t n) const;

    // The Kids element a search examined last, with the reference's target.
    TPDFArray* LastKids() const { return lastKids_; }
    TPDFObject* LastElement() const { return lastElement_; }
    int32_t LastTargetNumber() const { return lastTargetNumber_; }
    int32_t LastTargetGeneration() const { return lastTargetGeneration_; }

  private:
    void RecordLastElement(TPDFArray* kids, TPDFObject* element);
    // Page n below `kids` (held by `holder`), by Count; see the .cpp for the two policies.
    enum class DescentPolicy { Lookup, Locate };
    struct Descent {
        TPDFDictionary* page = nullptr;
        TPDFArray* kids = nullptr;  // the array holding the page, its index there, and the
        int32_t index = 0;          // node holding the array
        TPDFDictionary* holder = nullptr;
    };
    Descent Descend(TPDFArray* kids, TPDFDictionary* holder, int32_t n, DescentPolicy policy);
    TPDFDictionary* RepairDanglingKid(TPDFArray* kids, int32_t index);
    // Registers `object` as a new indirect object; null when the store cannot register.
    TPDFIndRef* RegisterIndirect(TPDFObject* object);
    // A new empty content stream (with the marker when asked), registered; both null when
    // the store cannot register objects.
    struct FreshStream {
        TPDFIndRef* Ref = nullptr;
        TPDFStream* Stream = nullptr;
    };
    FreshStream NewContentStream(bool marked);
    // Steps of LoadPage after the page is selected; false when its content stays unloaded.
    bool PrepareContents(TPDFDictionary* page);
    // A Count as it was before a move started, to put back when the move cannot finish.
    struct CountUndo {
        TPDFNumeric* Number;
        double Value;
        bool Modified;
    };
    void AdjustCounts(TPDFDictionary* node, int32_t delta, std::vector<CountUndo>* undo);

    TPDFStructure* owner_ = nullptr;
    TPDFDictionary* root_ = nullptr;
    TPDFPageTreeCallbacks callbacks_;

    int32_t currentPageNumber_ = 0;
    TPDFDictionary* currentPageDict_ = nullptr;
    TPDFDictionary* parentPages_ = nullptr;

    TPDFArray* lastKids_ = nullptr;
    TPDFObject* lastElement_ = nullptr;
    int32_t lastTargetNumber_ = 0;
    int32_t lastTargetGeneration_ = 0;

    std::vector<TPDFStream*> contentStreams_;
    int32_t currentContent_ = 0;
    bool pageLoaded_ = false;

    // Sparse on purpose: a hostile Count of 2^31 - 1 must not allocate a slot per page.
    std::unordered_map<int32_t, TPDFDictionary*> pageCache_;
    int32_t cacheSize_ = 0;

    // Slots of the pages in order, for Reorder and the page index: the Kids array holding
    // each page, its index there and the node that holds the array.
    struct Slot {
        TPDFArray* kids;
        int32_t index;
        TPDFDictionary* holder;
        TPDFDictionary* page;
    };
    std::vector<Slot> Slots() const;
    bool usePageIndex_ = false;
    bool pageIndexValid_ = false;
    std::vector<TPDFDictionary*> pageIndex_;

    TPDFPainter pageBuffer_;
    TPDFAnnots annots_;
    std::unordered_set<int32_t> decryptedPages_;
};

// A new "Pages" root in `store` whose only kid is the page (number, generation): for a
// catalog that names a page as its tree, as one-page files sometimes do.
TPDFDictionary* NewOnePageRoot(TPDFStructure& store, int32_t number, int32_t generation);

}  // namespace verava
