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

    // Where the keyword starts at or after `from` and before `limit`, or npos.
    size_t Find(size_t from, size_t limit = std::string_view::npos) {
        constexpr size_t npos = std::string_view::npos;
        if (from > text_.size()) return npos;
        if (known_ && from >= clearFrom_ && (hit_ == npos || from <= hit_)) {
            return hit_ < limit ? hit_ : npos;
        }
        // Search only [from, limit), and no further than where the answer is known.
        size_t end = limit;
        if (known_ && from < clearFrom_) end = std::min(end, clearFrom_);
        const size_t stop =
            end >= text_.size() ? text_.size() : std::min(end + needle_.size() - 1, text_.size());
        const size_t found = text_.substr(0, stop).find(needle_, from);
        if (found != npos) {
            clearFrom_ = from;  // none in [from, found), one at found
            hit_ = found;
            known_ = true;
            return found < limit ? found : npos;
        }
        if (known_ && end == clearFrom_) {
            clearFrom_ = from;  // the known stretch now starts earlier
            return hit_ < limit ? hit_ : npos;
        }
        if (end >= text_.size()) {
            clearFrom_ = from;  // none from here to the end
            hit_ = npos;
            known_ = true;
        }
        return npos;
    }

  private:
    std::string_view text_;
    std::string needle_;
    bool known_ = false;
    size_t clearFrom_ = 0;  // no occurrence starts in [clearFrom_, hit_)
    size_t hit_ = std::string_view::npos;
};

}  // namespace verava
