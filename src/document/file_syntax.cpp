#include "document/file_syntax.h"

#include <algorithm>
#include <cmath>

#include "objects/number_text.h"
#include "objects/pdf_chars.h"
#include "objects/pdf_structure.h"
#include "objects/stream.h"

namespace verava {
namespace {

// A whole number from a numeric value, clamped to [low, high].
int64_t ClampedInteger(const TPDFNumeric& n, int64_t low, int64_t high) {
    const double r = RoundHalfEven(n.NumValue);
    if (std::isnan(r)) return low;
    if (r <= static_cast<double>(low)) return low;
    if (r >= static_cast<double>(high)) return high;
    return static_cast<int64_t>(r);
}

// The first of two keywords from `from` ("stream" or "endobj", say): which one and where
// (npos when neither). The stop word only matters before the first word, not through a
// stream's data.
size_t FirstOf(const TKeywordFind& find, size_t from, std::string_view first, std::string_view stop,
               bool& stopped) {
    const size_t a = find(first, from, std::string_view::npos);
    const size_t b = find(stop, from, a);
    stopped = b != std::string_view::npos && (a == std::string_view::npos || b < a);
    return stopped ? b : a;
}

// Past one line end (CR LF, CR or LF) at `p`, or npos when none stands there.
size_t PastLineEnd(std::string_view text, size_t p) {
    if (p + 1 < text.size() && text[p] == '\r' && text[p + 1] == '\n') return p + 2;
    if (p < text.size() && (text[p] == '\r' || text[p] == '\n')) return p + 1;
    return std::string_view::npos;
}

}  // namespace

std::optional<THeaderMark> FindHeaderMark(std::string_view head) {
    head = head.substr(0, kHeaderWindow);
    THeaderMark mark;
    const size_t pdf = head.find("%PDF-");
    if (pdf != std::string_view::npos &&
        ParseHeaderVersion(head.substr(pdf + 5, 10), true, mark.version)) {
        mark.at = pdf;
        return mark;
    }
    const size_t ps = head.find("%!PS-Adobe-");
    if (ps == std::string_view::npos) return std::nullopt;
    const std::string_view after = head.substr(ps + 11);
    const size_t marker = after.substr(0, 20).find("PDF-");
    if (marker == std::string_view::npos ||
        !ParseHeaderVersion(after.substr(marker + 4, 10), false, mark.version)) {
        return std::nullopt;
    }
    mark.at = ps;
    mark.postScript = true;
    return mark;
}

void RemoveSectionKeys(TPDFDictionary& trailer) {
    for (std::string_view key : kSectionTrailerKeys) trailer.RemoveKey(key);
}

std::optional<TStreamExtent> FindStreamExtent(std::string_view source, size_t afterDictionary,
                                              std::optional<double> declaredLength,
                                              const TKeywordFind& find) {
    if (afterDictionary > source.size() || source.size() - afterDictionary < 13) {
        return std::nullopt;
    }
    bool stopped = false;
    const size_t keyword = FirstOf(find, afterDictionary, "stream", "endobj", stopped);
    if (keyword == std::string_view::npos || stopped) return std::nullopt;
    size_t p = keyword + 6;
    while (p < source.size() && IsStreamPadding(static_cast<unsigned char>(source[p]))) ++p;
    p = PastLineEnd(source, p);
    if (p == std::string_view::npos) return std::nullopt;
    const size_t start = p;

    if (!declaredLength) {
        // Up to "endstream", or to the end of a file cut inside the data.
        const size_t end = find("endstream", start, std::string_view::npos);
        return TStreamExtent{start, (end == std::string_view::npos ? source.size() : end) - start};
    }
    const double declared = *declaredLength;
    if (declared >= 0 && declared <= static_cast<double>(source.size() - start)) {
        const size_t length = static_cast<size_t>(declared);
        size_t q = start + length;
        const size_t pastEnd = PastLineEnd(source, q);
        if (pastEnd != std::string_view::npos) q = pastEnd;
        for (int k = 0;
             k < 50 && q < source.size() && IsStreamPadding(static_cast<unsigned char>(source[q]));
             ++k) {
            ++q;
        }
        if (source.compare(q, 9, "endstream") == 0) return TStreamExtent{start, length};
    }
    // The declared length is wrong: the data run up to "endstream", less the padding and
    // the one line end in front of it.
    const size_t end = FirstOf(find, start, "endstream", "endobj", stopped);
    if (stopped) return std::nullopt;
    if (end == std::string_view::npos) {
        // No "endstream" at all: a file cut inside the data. What is left of them is what
        // there is.
        const size_t left = source.size() - start;
        return TStreamExtent{start, declared >= 0 && declared < static_cast<double>(left)
                                        ? static_cast<size_t>(declared)
                                        : left};
    }
    size_t e = end;
    while (e > start && IsStreamPadding(static_cast<unsigned char>(source[e - 1]))) --e;
    if (e >= start + 2 && source[e - 2] == '\r' && source[e - 1] == '\n') {
        e -= 2;
    } else if (e > start && (source[e - 1] == '\n' || source[e - 1] == '\r')) {
        e -= 1;
    }
    return TStreamExtent{start, e - start};
}

std::optional<TStreamExtent> FindStreamExtent(std::string_view source, size_t afterDictionary,
                                              std::optional<double> declaredLength) {
    return FindStreamExtent(source, afterDictionary, declaredLength,
                            [source](std::string_view keyword, size_t from, size_t limit) {
                                // Only matches that start before the limit: a search past
                                // it would read through a whole stream's data for nothing.
                                const size_t stop =
                                    limit >= source.size()
                                        ? source.size()
                                        : std::min(limit + keyword.size() - 1, source.size());
                                const size_t at = source.substr(0, stop).find(keyword, from);
                                return at < limit ? at : std::string_view::npos;
                            });
}

TObjectStreamIndex ReadObjectStreamIndex(const TPDFDictionary& dictionary,
                                         std::string_view decoded) {
    TObjectStreamIndex index;
    const auto* n = As<TPDFNumeric>(dictionary.GetValue("N", true));
    const auto* first = As<TPDFNumeric>(dictionary.GetValue("First", true));
    if (n == nullptr || first == nullptr) return index;
    const auto size = static_cast<int64_t>(decoded.size());
    // Every pair needs at least two bytes of header, so a larger N cannot be honest.
    const int64_t count = ClampedInteger(*n, 0, size);
    index.first = ClampedInteger(*first, 0, size);
    TPDFStructure scratch;
    std::string text = "[ ";
    text.append(decoded.substr(0, static_cast<size_t>(index.first)));
    text += " ]";
    const auto* array = As<TPDFArray>(scratch.ParseText(text));
    if (array == nullptr || array->Count() < 2 * count) return index;
    index.pairs.reserve(static_cast<size_t>(count));
    auto value = [&](int64_t at) -> int64_t {
        const auto* v = As<TPDFNumeric>(array->Get(static_cast<int32_t>(at)));
        return v != nullptr ? ClampedInteger(*v, -(int64_t{1} << 40), int64_t{1} << 40) : 0;
    };
    for (int64_t k = 0; k < count; ++k) index.pairs.emplace_back(value(2 * k), value(2 * k + 1));
    index.valid = true;
    return index;
}

std::optional<std::string_view> PackedObjectText(const TObjectStreamIndex& index,
                                                 std::string_view decoded, int32_t position,
                                                 int32_t number) {
    const auto count = static_cast<int64_t>(index.pairs.size());
    if (!index.valid || position < 0 || position >= count) return std::nullopt;
    const auto& [listed, offset] = index.pairs[static_cast<size_t>(position)];
    if (listed != number) return std::nullopt;
    const auto size = static_cast<int64_t>(decoded.size());
    const int64_t start = index.first + offset;
    const int64_t length = position < count - 1
                               ? index.pairs[static_cast<size_t>(position) + 1].second - offset
                               : size - start;
    if (start < 0 || start > size || length <= 0) return std::nullopt;
    return decoded.substr(static_cast<size_t>(start),
                          static_cast<size_t>(std::min(length, size - start)));
}

bool NumberedOneTooHigh(const TFirstRows& rows) {
    if (rows.textAtTwo.substr(0, 7) != "1 0 obj") return false;
    return rows.oneIsFreeHead ||
           (rows.oneAbsent && rows.trailerSize == static_cast<double>(rows.rowsInUse + 1));
}

std::string ClassicTable(const std::vector<TTableRow>& rows) {
    std::string table = "xref\n";
    table.reserve(table.size() + 20 * rows.size() + 64);
    // The free list: each free row (row 0 first) names the next free number, the last 0.
    std::vector<int64_t> nextFree(rows.size(), 0);
    size_t previous = rows.size();
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].inUse) continue;
        if (previous < rows.size()) nextFree[previous] = rows[i].number;
        previous = i;
    }
    for (size_t i = 0; i < rows.size();) {
        size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1].number == rows[j].number + 1) ++j;
        table += IntText(rows[i].number) + " " + IntText(static_cast<int64_t>(j - i + 1)) + "\n";
        for (size_t k = i; k <= j; ++k) {
            const TTableRow& row = rows[k];
            const int32_t generation =
                row.generation < 0 || row.generation > 65535 ? 0 : row.generation;
            if (row.inUse && (row.offset < 0 || row.offset > kMaxTableOffset)) {
                throw EStreamError("Object offset does not fit a cross-reference entry");
            }
            table += PadNumber(row.inUse ? row.offset : nextFree[k], 10);
            table += ' ';
            table += PadNumber(generation, 5);
            table += row.inUse ? " n \n" : " f \n";
        }
        i = j + 1;
    }
    return table;
}

}  // namespace verava
