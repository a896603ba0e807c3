#include "objects/string_list.h"

#include <optional>

#include "objects/stream.h"

namespace verava {

int32_t TBrannockStringList::Add(std::string text) {
    return AddWithObject(std::move(text), nullptr);
}

int32_t TBrannockStringList::AddWithObject(std::string text, void* object) {
    Insert(RowCount, std::move(text), object);
    return RowCount - 1;
}

void TBrannockStringList::Grow() {
    int32_t delta;
    if (RowCapacity > 64) {
        delta = RowCapacity / 4;
    } else if (RowCapacity > 8) {
        delta = 16;
    } else {
        delta = 4;
    }
    RowCapacity += delta;
    Rows.resize(RowCapacity);
}

void TBrannockStringList::Insert(int32_t index, std::string text, void* object) {
    if (index < 0 || index > RowCount) return;
    if (RowCount == RowCapacity) Grow();
    for (int32_t i = RowCount; i > index; --i) Rows[i] = std::move(Rows[i - 1]);
    Rows[index] = Row{std::move(text), object};
    ++RowCount;
}

std::string TBrannockStringList::StringAt(int32_t index) const {
    if (index < 0 || index >= RowCount) return {};
    return Rows[index].text;
}

void* TBrannockStringList::ObjectAt(int32_t index) const {
    if (index < 0 || index >= RowCount) return nullptr;
    return Rows[index].object;
}

void TBrannockStringList::SetObject(int32_t index, void* object) {
    if (index < 0 || index >= RowCount) return;
    Rows[index].object = object;
}

void TBrannockStringList::Clear() {
    Rows.clear();
    Rows.shrink_to_fit();
    RowCount = 0;
    RowCapacity = 0;
}

int TBrannockStringList::Compare(std::string_view a, std::string_view b) const {
    if (const std::optional<int> r = CompareInUserLocale(a, b, MatchCase)) return *r;
    // Text the locale cannot represent is compared byte by byte.
    auto lower = [this](unsigned char c) -> unsigned char {
        return (!MatchCase && c >= 'A' && c <= 'Z') ? c + 32 : c;
    };
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char ca = lower(a[i]);
        const unsigned char cb = lower(b[i]);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

void TBrannockStringList::QuickSort(int32_t lo, int32_t hi) {
    // Iterate on the larger half so deep recursion cannot happen on hostile orderings.
    while (lo < hi) {
        int32_t i = lo;
        int32_t j = hi;
        const std::string pivot = Rows[lo + (hi - lo) / 2].text;
        while (i <= j) {
            while (Compare(Rows[i].text, pivot) < 0) ++i;
            while (Compare(Rows[j].text, pivot) > 0) --j;
            if (i <= j) {
                if (i != j) std::swap(Rows[i], Rows[j]);
                ++i;
                --j;
            }
        }
        if (j - lo < hi - i) {
            QuickSort(lo, j);
            lo = i;
        } else {
            QuickSort(i, hi);
            hi = j;
        }
    }
}

void TBrannockStringList::Sort() {
    if (RowCount > 1) QuickSort(0, RowCount - 1);
}

std::string TBrannockStringList::JoinedText() const {
    std::string out;
    for (int32_t i = 0; i < RowCount; ++i) {
        out += Rows[i].text;
        out += "\r\n";
    }
    return out;
}

void TBrannockStringList::SaveToStream(TStream& stream) const {
    const std::string text = JoinedText();
    stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void TBrannockStringList::SetText(std::string_view text) {
    Clear();
    if (text.empty()) {
        Add(std::string());
        return;
    }
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\0' || text[i] == '\r' || text[i] == '\n') {
            if (i > start) Add(std::string(text.substr(start, i - start)));
            start = i + 1;
        }
    }
}

}  // namespace verava
