// The first occurrence of one keyword at or after a position of one text, remembering what
// earlier searches learnt. Loading a damaged file asks this again and again for nearby
// positions ("stream", "endobj", "endstream" after each object); with the memory every
// stretch of the file is searched about once instead of once per object.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace verava {

class TKeywordSearch {
  public:
    TKeywordSearch(std::string_view text, std::string needle)
        : text_(text), needle_(std::move(needle)) {}

    // Where the keyword starts at or after `from`, or npos.
    size_t Find(size_t from) {
        constexpr size_t npos = std::string_view::npos;
        if (from > text_.size()) return npos;
        if (known_ && from >= clearFrom_ && (hit_ == npos || from <= hit_)) return hit_;
        if (known_ && from < clearFrom_) {
            // Only starts before clearFrom_ are new; beyond it the answer is known.
            const size_t limit = std::min(clearFrom_ + needle_.size() - 1, text_.size());
            const size_t found = text_.substr(0, limit).find(needle_, from);
            clearFrom_ = from;
            if (found != npos) hit_ = found;
            return hit_;
        }
        clearFrom_ = from;
        hit_ = text_.find(needle_, from);
        known_ = true;
        return hit_;
    }

  private:
    std::string_view text_;
    std::string needle_;
    bool known_ = false;
    size_t clearFrom_ = 0;  // no occurrence starts in [clearFrom_, hit_)
    size_t hit_ = std::string_view::npos;
};

}  // namespace verava
