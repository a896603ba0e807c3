// The first occurrence of one keyword at or after a position of one text, remembering what
// earlier searches learnt. Loading a damaged file asks this again and again for nearby
// positions ("stream", "endobj", "endstream" after each object); with the memory every
// stretch of the file is searched about once instead of once per object.
#pragma once

#include <algorithm>
#include <iterator>
#include <map>
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
        // Loads jump about the file (a page, then the tree node at the end, then the next
        // page), so every stretch learnt is kept, not only the last one.
        auto next = known_.upper_bound(from);
        if (next != known_.begin()) {
            const auto previous = std::prev(next);
            if (from <= previous->second) return previous->second < limit ? previous->second : npos;
        }
        // Search only [from, limit), and no further than the next stretch already known.
        const size_t nextStart = next == known_.end() ? npos : next->first;
        const size_t end = std::min(limit, nextStart);
        const size_t stop =
            end >= text_.size() ? text_.size() : std::min(end + needle_.size() - 1, text_.size());
        const size_t found = text_.substr(0, stop).find(needle_, from);
        const size_t reached = found != npos ? found + needle_.size() : stop;
        scanned_ += reached > from ? reached - from : 0;
        if (found != npos) {
            known_.emplace_hint(next, from, found);  // none in [from, found), one at found
            return found < limit ? found : npos;
        }
        if (end == nextStart && nextStart != npos) {
            // The known stretch now starts earlier.
            const size_t hit = next->second;
            known_.erase(next);
            known_.emplace(from, hit);
            return hit < limit ? hit : npos;
        }
        if (end >= text_.size()) known_.emplace_hint(next, from, npos);  // none to the end
        return npos;
    }

    // Bytes of the text searched so far (each about once, however the questions jump).
    size_t Scanned() const { return scanned_; }

  private:
    std::string_view text_;
    std::string needle_;
    // Stretches learnt: from each key on no occurrence starts before the value, where one
    // does (npos: none to the end of the text).
    std::map<size_t, size_t> known_;
    size_t scanned_ = 0;
};

}  // namespace verava
