#include "document/file_syntax.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "objects/number_text.h"
#include "objects/pdf_chars.h"
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

// The elements of an object stream's header, one at a time: a number rounded to a whole one
// (at most 2^40 either way), or 0 for a word that is no number. None at the end of the
// header, or at a delimiter other than "/": the header holds no more pairs from there.
struct IndexReader {
    static constexpr int64_t kLimit = int64_t{1} << 40;
    static constexpr uint8_t kRegular = 0, kBlank = 1, kDelimiter = 2;

    std::string_view header;
    size_t at = 0;

    std::optional<int64_t> Next() {
        // Headers of millions of pairs are read whole: one look-up per byte.
        static const std::array<uint8_t, 256> kClass = [] {
            std::array<uint8_t, 256> t{};
            for (int c = 0; c < 256; ++c) {
                t[c] = IsPdfWhitespace(c) ? kBlank : IsPdfDelimiter(c) ? kDelimiter : kRegular;
            }
            return t;
        }();
        auto is = [&](size_t i, uint8_t kind) {
            return kClass[static_cast<unsigned char>(header[i])] == kind;
        };
        for (;;) {
            while (at < header.size() && is(at, kBlank)) ++at;
            if (at >= header.size() || header[at] != '%') break;
            while (at < header.size() && header[at] != '\r' && header[at] != '\n') ++at;
        }
        if (at >= header.size()) return std::nullopt;
        const size_t start = at;
        // Plain digits, the usual case, are read on the way.
        bool plain = header[at] != '/';
        if (!plain) {
            ++at;
        } else if (is(at, kDelimiter)) {
            return std::nullopt;
        }
        int64_t digits = 0;
        for (; at < header.size() && is(at, kRegular); ++at) {
            const unsigned char c = static_cast<unsigned char>(header[at]);
            if (plain && IsPdfDigit(c) && digits < kLimit) {
                digits = digits * 10 + (c - '0');
            } else {
                plain = false;
            }
        }
        if (plain && at > start) return std::min(digits, kLimit);
        return Value(header.substr(start, at - start));
    }

    static int64_t Value(std::string_view word) {
        size_t i = 0;
        bool negative = false;
        if (i < word.size() && (word[i] == '+' || word[i] == '-')) negative = word[i++] == '-';
        int64_t whole = 0;
        size_t digits = 0;
        for (; i < word.size() && IsPdfDigit(static_cast<unsigned char>(word[i])); ++i, ++digits)
            whole = std::min(whole * 10 + (word[i] - '0'), kLimit);
        int firstFraction = 0;
        bool restNonZero = false;
        if (i < word.size() && word[i] == '.') {
            for (size_t f = 0; ++i < word.size() && IsPdfDigit(static_cast<unsigned char>(word[i]));
                 ++f, ++digits) {
                if (f == 0) {
                    firstFraction = word[i] - '0';
                } else if (word[i] != '0') {
                    restNonZero = true;
                }
            }
        }
        if (digits == 0 || i != word.size()) return 0;
        // Half to even, as numbers of the file are rounded everywhere else.
        if (firstFraction > 5 || (firstFraction == 5 && (restNonZero || whole % 2 == 1)))
            whole = std::min(whole + 1, kLimit);
        return negative ? -whole : whole;
    }
};

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

TObjectStreamIndex::TObjectStreamIndex(const TPDFDictionary& dictionary, std::string_view decoded) {
    const auto* n = As<TPDFNumeric>(dictionary.GetValue("N", true));
    const auto* first = As<TPDFNumeric>(dictionary.GetValue("First", true));
    if (n == nullptr || first == nullptr) return;
    const auto size = static_cast<int64_t>(decoded.size());
    first_ = ClampedInteger(*first, 0, std::min<int64_t>(size, UINT32_MAX));
    const int64_t count = ClampedInteger(*n, 0, size);
    if (2 * count > first_) return;
    count_ = count;
    // One pass over the N pairs to know they are there; nothing of them is kept.
    IndexReader reader{decoded.substr(0, static_cast<size_t>(first_))};
    int64_t previous = INT64_MIN;
    for (int64_t k = 0; k < count; ++k) {
        const std::optional<int64_t> number = reader.Next();
        const std::optional<int64_t> offset = reader.Next();
        if (!number || !offset) return;
        if (*offset < previous) ordered_ = false;
        previous = *offset;
    }
    valid_ = true;
}

std::optional<std::pair<int64_t, int64_t>> TObjectStreamIndex::Pair(std::string_view decoded,
                                                                    int64_t position) {
    if (!valid_ || position < 0 || position >= count_ ||
        first_ > static_cast<int64_t>(decoded.size())) {
        return std::nullopt;
    }
    IndexReader reader{decoded.substr(0, static_cast<size_t>(first_))};
    auto skipPairs = [&](int64_t pairs) {
        for (int64_t k = 0; k < pairs; ++k) {
            if (!reader.Next() || !reader.Next()) return false;
        }
        return true;
    };
    if (position == nextPosition_) {
        // Walks over the pairs in order go on from the last one.
        reader.at = nextAt_;
    } else {
        const auto mark = static_cast<size_t>(position / kMarkStride);
        if (marks_.empty()) marks_.push_back(0);
        while (marks_.size() <= mark) {
            reader.at = marks_.back();
            if (!skipPairs(kMarkStride)) return std::nullopt;
            marks_.push_back(static_cast<uint32_t>(reader.at));
        }
        reader.at = marks_[mark];
        if (!skipPairs(position - static_cast<int64_t>(mark) * kMarkStride)) return std::nullopt;
    }
    const std::optional<int64_t> number = reader.Next();
    const std::optional<int64_t> offset = reader.Next();
    if (!number || !offset) return std::nullopt;
    nextPosition_ = position + 1;
    nextAt_ = reader.at;
    if (nextPosition_ % kMarkStride == 0 &&
        marks_.size() == static_cast<size_t>(nextPosition_ / kMarkStride)) {
        marks_.push_back(static_cast<uint32_t>(reader.at));
    }
    return std::make_pair(*number, *offset);
}

TObjectStreamIndex ReadObjectStreamIndex(const TPDFDictionary& dictionary,
                                         std::string_view decoded) {
    return TObjectStreamIndex(dictionary, decoded);
}

std::optional<std::string_view> PackedObjectText(TObjectStreamIndex& index,
                                                 std::string_view decoded, int32_t position,
                                                 int32_t number) {
    const std::optional<std::pair<int64_t, int64_t>> pair = index.Pair(decoded, position);
    if (!pair || pair->first != number) return std::nullopt;
    const auto size = static_cast<int64_t>(decoded.size());
    const int64_t start = index.First() + pair->second;
    int64_t end = size;
    if (position < index.Count() - 1) {
        const std::optional<std::pair<int64_t, int64_t>> next = index.Pair(decoded, position + 1);
        if (!next) return std::nullopt;
        end = index.First() + next->second;
    }
    if (index.contentEnd_ < 0) {
        // Once per stream: loading the last object must not copy and parse the padding.
        // Padding is mostly one character over and over: whole blocks of spaces are passed
        // by one comparison each.
        static const std::string kSpaces(256, ' ');
        int64_t end = size;
        while (end >= 256 && std::memcmp(decoded.data() + end - 256, kSpaces.data(), 256) == 0)
            end -= 256;
        while (end > 0 && IsPdfWhitespace(static_cast<unsigned char>(decoded[end - 1]))) --end;
        index.contentEnd_ = end;
    }
    end = std::min(end, index.contentEnd_);
    const int64_t length = end - start;
    if (start < 0 || start > size || length <= 0) return std::nullopt;
    const int64_t taken = std::min(length, size - start);
    if (!index.Ordered()) {
        if (index.served_ + taken > kOverlapAllowance * size + 65536) return std::nullopt;
        index.served_ += taken;
    }
    return decoded.substr(static_cast<size_t>(start), static_cast<size_t>(taken));
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
