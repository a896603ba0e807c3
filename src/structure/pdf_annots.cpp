#include "structure/pdf_annots.h"

namespace verava {

void TPDFAnnots::Reset() {
    annots_ = nullptr;
    index_ = -1;
}

void TPDFAnnots::Attach(TPDFArray* annots) {
    Reset();
    annots_ = annots;
}

}  // namespace verava
