// The structural view of one input of a file merge: over a merge reader it finds the
// catalog, the page tree root, the interactive form and the outlines, and it makes the edits
// that join two inputs (one page tree hung under the other, inherited page attributes
// pushed down, form fields and outline items appended). It never rewrites the input: every
// object it changes or creates is recorded under its number, and the merge writes the
// recorded object in place of the one in the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "merge/smart_pdf_reader.h"
#include "objects/pdf_structure.h"
#include "structure/page_attributes.h"
#include "structure/pdf_form.h"

namespace verava {

class TSmartPDFDocument {
  public:
    // Links followed in one walk (Parent chains, outline Next chains, page tree descents)
    // at most; a file whose links loop ends the walk instead of hanging.
    static constexpr int kMaxWalk = 100000;

    explicit TSmartPDFDocument(TSmartPDFReader& reader);
    ~TSmartPDFDocument();
    TSmartPDFDocument(const TSmartPDFDocument&) = delete;
    TSmartPDFDocument& operator=(const TSmartPDFDocument&) = delete;

    // Object n: the recorded one when there is one (copied into `store` unless it is a
    // stream), else parsed from the input into `store`, or fetched through the reader's
    // cache when no store is given.
    TPDFObject* GetObject(int32_t n, TPDFStructure* store = nullptr);
    int32_t HighestObjectNumber() const;
    // Number n names an object: one recorded here, or a row of the input's cross-reference
    // data that is in use. Free rows and numbers no row mentions name none.
    bool HasObject(int32_t n) const;
    int32_t PageCount();
    // The object numbers of the pages in page order, as a walk over Kids finds them (each
    // node once, by number), or nothing when the tree holds anything but pages and page
    // nodes, or no tree.
    std::vector<int32_t> PageNumbers() { return WalkPageTree(nullptr); }
    // The object numbers of the page tree's nodes (the root first), as the same walk finds
    // them.
    std::vector<int32_t> NodeNumbers();
    // Makes the page its own: Resources, MediaBox, CropBox and Rotate it only inherited are
    // set on it (references stay references), its Parent becomes (number, generation) in
    // this input's numbering, and the page is recorded.
    void DetachPage(int32_t page, int32_t parentNumber, int32_t parentGeneration);
    bool IsPage(const TPDFIndRef* reference);
    // The value of the inheritable attribute `key` on the dictionary or its nearest ancestor
    // through Parent, of the kind it must be (page_attributes.h); every ancestor visited is
    // recorded.
    TPDFObject* GetInherited(TPDFDictionary* dictionary, std::string_view key);
    // The object a value names when it is a reference (through the recorded objects and
    // the reader's cache), else the value itself.
    TPDFObject* Follow(TPDFObject* value);
    bool HasAcroForm() const { return AcroFormDict != nullptr; }
    TPDFArray* FieldsArray();
    TPDFArray* COArray();
    bool NeedAppearancesValue();
    bool HasOutlines();
    TPDFIndRef* OutlinesRef();
    TPDFDictionary* OutlinesDict();
    TPDFIndRef* OutlineEntryRef(std::string_view key);
    TPDFDictionary* OutlineEntryDict(std::string_view key);
    std::vector<TPDFIndRef*> OutlineItems();

    void RegisterObject(int32_t n, TPDFObject* object);
    TPDFIndRef* AddObject(TPDFObject* object);
    // AddObject numbered above `floor` as well: objects the merge makes once the other
    // input's numbers are placed above this one's go above those too.
    TPDFIndRef* AddObjectAbove(int32_t floor, TPDFObject* object);
    bool IsRecorded(int32_t n) const { return changed_.count(n) != 0; }
    TPDFArray* KidsArray();
    void AppendKid(int32_t number, int32_t generation, int32_t count);
    void SetParent(int32_t number, int32_t generation);
    void CopyInheritedAttributes();
    TPDFIndRef* NextPage(int32_t i, TPDFIndRef* previous);
    TPDFIndRef* FindPage(int32_t n);
    void EnsureAcroForm();
    void MergeFields(TPDFArray* fields, TPDFArray* co, bool needAppearances, int32_t shift);
    void SetOutlineParents(const std::vector<TPDFIndRef*>& items, int32_t number,
                           int32_t generation);
    void AppendOutlines(TSmartPDFDocument& other, int32_t shift);
    void AdoptOutlines(TPDFIndRef* reference, int32_t shift);

    std::unique_ptr<TPDFStructure> LocalStructure;
    TPDFDictionary* RootDict = nullptr;
    TPDFIndRef* RootRef = nullptr;
    TPDFDictionary* InfoDict = nullptr;
    TPDFIndRef* InfoRef = nullptr;
    TPDFIndRef* PagesRef = nullptr;
    TPDFDictionary* PagesDict = nullptr;
    TPDFIndRef* AcroFormRef = nullptr;
    TPDFDictionary* AcroFormDict = nullptr;
    TSmartPDFReader* Reader;
    TPDFDictionary* LastNode = nullptr;
    TPDFIndRef* LastNodeRef = nullptr;

  private:
    // The walk behind PageNumbers and NodeNumbers: pages in order, and the nodes when asked.
    std::vector<int32_t> WalkPageTree(std::vector<int32_t>* nodes);
    // How the shared page-attribute rule reads this input: through Follow and GetObject.
    TPageTreeReading TreeReading();
    TPDFArray* FormArray(std::string_view key);
    // Weight of a Kids element for the page search: pages below it, and whether it is a
    // leaf page.
    int32_t Weight(TPDFIndRef* reference, TPDFStructure* store, bool& leaf);

    std::unordered_map<int32_t, TPDFObject*> changed_;
    int32_t highestRecorded_ = 0;
    std::unique_ptr<TPDFForm> form_;
};

}  // namespace verava
