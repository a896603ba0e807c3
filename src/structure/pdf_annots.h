// The annotation holder of the current page: the page's Annots array
// ("/Annots [12 0 R 13 0 R]", ISO 32000-1, 12.5.2) as found when the page was selected.
// The array belongs to the document's object store; the holder only points at it.
#pragma once

#include <cstdint>

namespace verava {

class TPDFArray;

class TPDFAnnots {
  public:
    // Holds no array afterwards and the index is -1.
    void Reset();
    // Resets, then holds `annots`.
    void Attach(TPDFArray* annots);
    TPDFArray* Annots() const { return annots_; }
    int32_t Index() const { return index_; }

  private:
    TPDFArray* annots_ = nullptr;
    int32_t index_ = -1;
};

}  // namespace verava
