// An ordered list of byte-string rows, each carrying an opaque pointer the list never owns.
// Sorting compares in the user's locale, case-insensitively unless MatchCase is set.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace verava {

class TStream;

// -1, 0 or 1 as `a` sorts before, with or after `b` in the user's locale (its multibyte text
// and collation), case-insensitively unless `matchCase`; nullopt when either is not valid
// text there or holds a NUL. Given once per system (string_list_posix.cpp, _windows.cpp).
std::optional<int> CompareInUserLocale(std::string_view a, std::string_view b, bool matchCase);

class TBrannockStringList {
  public:
    TBrannockStringList() = default;
    virtual ~TBrannockStringList() = default;

    int32_t Add(std::string text);
    int32_t AddWithObject(std::string text, void* object);
    void Insert(int32_t index, std::string text, void* object);

    std::string StringAt(int32_t index) const;
    void* ObjectAt(int32_t index) const;
    void SetObject(int32_t index, void* object);
    int32_t Count() const { return RowCount; }

    void Clear();
    int Compare(std::string_view a, std::string_view b) const;
    void Sort();

    void SaveToStream(TStream& stream) const;
    std::string JoinedText() const;
    void SetText(std::string_view text);

    int32_t Capacity() const { return RowCapacity; }

    bool MatchCase = false;

  private:
    struct Row {
        std::string text;
        void* object = nullptr;
    };
    void Grow();
    void QuickSort(int32_t lo, int32_t hi);

    std::vector<Row> Rows;
    int32_t RowCount = 0;
    int32_t RowCapacity = 0;
};

class TBrannockCaseSensitiveStringList : public TBrannockStringList {
  public:
    TBrannockCaseSensitiveStringList() { MatchCase = true; }
};

}  // namespace verava
