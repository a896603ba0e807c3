// Integer containers used by the loaders: a plain 32-bit list, a sorted 64-bit list with
// "next offset above" lookup (where does the object at this offset end?), key/value pair
// lists with binary search, and the paged seen-set of object numbers.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <unordered_set>
#include <vector>

namespace verava {

// Shell sort with gaps n/2, then round(gap / 2.2): keys and values move together.
template <typename K, typename V>
void ShellSortPairs(K* keys, V* values, int32_t count) {
    int32_t gap = count / 2;
    while (gap > 0) {
        if (gap < count) {
            for (int32_t i = gap; i < count; ++i) {
                K key = keys[i];
                V value{};
                if (values != nullptr) value = values[i];
                int32_t j = i;
                while (j >= gap && keys[j - gap] > key) {
                    keys[j] = keys[j - gap];
                    if (values != nullptr) values[j] = values[j - gap];
                    j -= gap;
                }
                keys[j] = key;
                if (values != nullptr) values[j] = value;
            }
        }
        // Round to nearest with ties to even; gap / 2.2 is never exactly a half for
        // integer gaps, so plain rounding is the same.
        gap = static_cast<int32_t>(gap / 2.2 + 0.5);
    }
}

// Parallel key and value arrays (1000 slots at first, doubled when full), sorted by key
// on request and then searched by key.
template <typename T>
class TVMXPairList {
  public:
    TVMXPairList() : Keys(1000), Values(1000) {}
    void Add(T key, T value) {
        if (PairCount == static_cast<int32_t>(Keys.size())) {
            Keys.resize(Keys.size() * 2);
            Values.resize(Values.size() * 2);
        }
        Keys[PairCount] = key;
        Values[PairCount] = value;
        ++PairCount;
    }
    T KeyAt(int32_t index, T defaultValue) const {
        return index >= 0 && index < PairCount ? Keys[index] : defaultValue;
    }
    T ValueAt(int32_t index, T defaultValue) const {
        return index >= 0 && index < PairCount ? Values[index] : defaultValue;
    }
    void Sort() { ShellSortPairs(Keys.data(), Values.data(), PairCount); }
    // After Sort: the value stored with `key`, or the default.
    T Find(T key, T defaultValue = 0) const {
        const auto end = Keys.begin() + PairCount;
        auto it = std::lower_bound(Keys.begin(), end, key);
        if (it == end || *it != key) return defaultValue;
        return Values[it - Keys.begin()];
    }
    int32_t Count() const { return PairCount; }

  private:
    std::vector<T> Keys;
    std::vector<T> Values;
    int32_t PairCount = 0;
};

using TVMXIntegerPairList = TVMXPairList<int32_t>;
using TVMXInt64PairList = TVMXPairList<int64_t>;

class TBrannockIntegerList {
  public:
    int32_t Add(int32_t value);
    int32_t Get(int32_t index) const;      // 0 when out of range
    int32_t IndexOf(int32_t value) const;  // -1 when absent
    void Sort();
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    void Clear() { items_.clear(); }

  private:
    std::vector<int32_t> items_;
};

class TVMXSortedInt64List {
  public:
    TVMXSortedInt64List();
    void Add(int64_t value);
    void Sort();
    // After Sort: the first value greater than `value`; the last value when none is greater;
    // 0 for an empty list.
    int64_t NextAbove(int64_t value) const;
    int32_t Count() const { return ValueCount; }
    int64_t ValueAt(int32_t index) const;
    int32_t Capacity() const { return static_cast<int32_t>(Values.size()); }

  private:
    std::vector<int64_t> Values;
    int32_t ValueCount = 0;
};

// Marks 32-bit values as seen, in 64 KiB pages allocated on first touch, so each mark and
// test is constant time however sparse the numbers are. Beyond kMaxPages pages (numbers
// spread on purpose over the whole range) further values go to a hash set, so hostile
// input cannot make it allocate gigabytes.
class TVMXSortedUniqueIntegerList {
  public:
    static constexpr size_t kMaxPages = 256;

    // True when the value had not been seen; marks it seen.
    bool Add(uint32_t value);
    bool Contains(uint32_t value);
    void Clear() {
        Pages.clear();
        pageCount_ = 0;
        overflow_.clear();
    }

  private:
    using Page = std::array<uint8_t, 65536>;
    Page* PageFor(uint32_t value);
    std::vector<std::unique_ptr<Page>> Pages;
    size_t pageCount_ = 0;
    std::unordered_set<uint32_t> overflow_;
};

}  // namespace verava
