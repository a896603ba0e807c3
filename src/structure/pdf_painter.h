// The drawing buffer of the current page: the text of the page's open content stream, which
// the engine would extend with further operators ("q 1 0 0 1 72 720 cm ... Q"). Only resetting
// and loading are needed here; nothing in this system draws.
#pragma once

#include <string>
#include <string_view>

namespace verava {

class TPDFPainter {
  public:
    // Empties the buffer; with no drawing state kept there is nothing else to restore.
    void Reset();
    // Replaces the buffer by `text`; a non-empty text not ending in a blank gets one, so
    // that operators appended later stay separate tokens.
    void LoadText(std::string_view text);
    const std::string& Buffer() const { return buffer_; }

  private:
    std::string buffer_;
};

}  // namespace verava
