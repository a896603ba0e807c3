#include "objects/integer_lists.h"

#include <algorithm>

namespace verava {

int32_t TBrannockIntegerList::Add(int32_t value) {
    items_.push_back(value);
    return Count() - 1;
}

int32_t TBrannockIntegerList::Get(int32_t index) const {
    return index >= 0 && index < Count() ? items_[index] : 0;
}

int32_t TBrannockIntegerList::IndexOf(int32_t value) const {
    auto it = std::find(items_.begin(), items_.end(), value);
    return it == items_.end() ? -1 : static_cast<int32_t>(it - items_.begin());
}

void TBrannockIntegerList::Sort() { std::sort(items_.begin(), items_.end()); }

TVMXSortedInt64List::TVMXSortedInt64List() : Values(1000) {}

void TVMXSortedInt64List::Add(int64_t value) {
    if (ValueCount == static_cast<int32_t>(Values.size())) Values.resize(Values.size() * 2);
    Values[ValueCount++] = value;
}

int64_t TVMXSortedInt64List::ValueAt(int32_t index) const {
    return index >= 0 && index < ValueCount ? Values[index] : 0;
}

void TVMXSortedInt64List::Sort() {
    ShellSortPairs<int64_t, int64_t>(Values.data(), nullptr, ValueCount);
}

int64_t TVMXSortedInt64List::NextAbove(int64_t value) const {
    if (ValueCount == 0) return 0;
    const int32_t last = ValueCount - 1;
    int32_t lo = 0;
    int32_t hi = ValueCount;  // first index whose value is >= value
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        if (Values[mid] < value) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    int32_t i = lo;
    if (i < last && Values[i] == value) {
        while (i < last && Values[i] == value) ++i;
        return Values[i];
    }
    if (i <= last && Values[i] > value) return Values[i];
    return Values[last];
}

TVMXSortedUniqueIntegerList::Page* TVMXSortedUniqueIntegerList::PageFor(uint32_t value) {
    const uint32_t p = value >> 16;
    if (p < Pages.size() && Pages[p]) return Pages[p].get();
    if (pageCount_ >= kMaxPages) return nullptr;
    if (Pages.size() <= p) Pages.resize(p + 1);
    Pages[p] = std::make_unique<Page>();
    Pages[p]->fill(1);  // 1 = not yet seen
    ++pageCount_;
    return Pages[p].get();
}

bool TVMXSortedUniqueIntegerList::Add(uint32_t value) {
    Page* page = PageFor(value);
    if (page == nullptr) return overflow_.insert(value).second;
    uint8_t& slot = (*page)[value & 0xFFFF];
    const bool fresh = slot != 0;
    slot = 0;
    return fresh;
}

bool TVMXSortedUniqueIntegerList::Contains(uint32_t value) {
    Page* page = PageFor(value);
    if (page == nullptr) return overflow_.count(value) != 0;
    return (*page)[value & 0xFFFF] == 0;
}

}  // namespace verava
