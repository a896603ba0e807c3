#include "structure/pdf_painter.h"

namespace verava {

void TPDFPainter::Reset() { buffer_.clear(); }

void TPDFPainter::LoadText(std::string_view text) {
    buffer_.assign(text);
    if (!buffer_.empty() && buffer_.back() != ' ') buffer_.push_back(' ');
}

}  // namespace verava
