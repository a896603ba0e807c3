#include "document/pdf_xref_reader.h"

#include <algorithm>
#include <cmath>

#include "objects/number_text.h"
#include "objects/stream.h"
#include "objects/stream_filters.h"

namespace verava {
namespace {

// A whole number from an object, or `fallback` when it is not a number that fits 64 bits.
int64_t NumberValue(TPDFObject* object, int64_t fallback) {
    auto* n = As<TPDFNumeric>(object);
    if (n == nullptr || !std::isfinite(n->NumValue)) return fallback;
    const double r = RoundHalfEven(n->NumValue);
    if (r < -9.2e18 || r > 9.2e18) return fallback;
    return static_cast<int64_t>(r);
}

// substr that yields "" instead of raising when `position` lies beyond the text.
std::string_view Sub(std::string_view text, size_t position,
                     size_t count = std::string_view::npos) {
    return position > text.size() ? std::string_view() : text.substr(position, count);
}

bool IsLineSplit(char c) { return c == '\r' || c == '\n' || c == '\0'; }

// A search for the first occurrence of a needle in a text that only grows at its end: each
// call resumes where the previous one stopped. A dependent search starts once activated at
// the position of the match it follows.
struct IncrementalFind {
    std::string_view needle;
    bool active = true;
    size_t at = std::string_view::npos;
    size_t next = 0;

    void ActivateAt(size_t anchor) {
        if (active || anchor == std::string_view::npos) return;
        active = true;
        next = anchor;
    }
    size_t Update(std::string_view text) {
        if (!active || at != std::string_view::npos) return at;
        at = text.find(needle, next);
        if (at == std::string_view::npos && text.size() >= needle.size()) {
            const size_t resume = text.size() - needle.size() + 1;
            if (resume > next) next = resume;
        }
        return at;
    }
};

// The first occurrence of `needle` in `text` at or after `from`, or npos.
size_t FindFrom(std::string_view text, std::string_view needle, size_t from) {
    return from > text.size() ? std::string_view::npos : text.find(needle, from);
}

}  // namespace

TPDFXRefReader::TPDFXRefReader(TStream& stream) : Stream(&stream), InMemory(false) {
    Size = stream.Size();
    SetBudgets();
}

TPDFXRefReader::TPDFXRefReader(std::string_view buffer) : InMemory(true), Buffer(buffer) {
    Size = static_cast<int64_t>(buffer.size());
    SetBudgets();
}

void TPDFXRefReader::SetBudgets() {
    store_.DecodeLimit = DecodeLimitForInput(Size);
    decodeLeft_ = store_.DecodeLimit;
    growthLeft_ = kGrowthFactor * std::max<int64_t>(Size, 0) + (int64_t{1} << 20);
}

std::string_view TPDFXRefReader::View(int64_t count, int64_t position, std::string& storage) {
    position += BaseOffset;
    if (position < 0) position = 0;
    if (count > Size - position) count = Size - position;
    if (count < 1) return {};
    if (InMemory) return Buffer.substr(static_cast<size_t>(position), static_cast<size_t>(count));
    storage = Stream->ReadAt(position, count);
    return storage;
}

std::string TPDFXRefReader::ReadAt(int64_t count, int64_t position) {
    std::string storage;
    return std::string(View(count, position, storage));
}

int64_t TPDFXRefReader::FindBackwards(std::string_view needle, int64_t end, int64_t overlap) {
    std::string storage;
    int64_t s = end;
    for (;;) {
        s -= 1024;
        if (s < 0) s = 0;
        const std::string_view block = View(end - s < 1024 ? end - s : 1024, s, storage);
        const size_t at = block.rfind(needle);
        if (at != std::string_view::npos) return s + static_cast<int64_t>(at);
        if (s == 0) return -1;
        s += overlap;
    }
}

int64_t TPDFXRefReader::FindForwards(std::string_view needle, int64_t position) {
    if (InMemory) {
        // Every classic section searches onwards for its "trailer": remember what was found
        // so that a chain of sections does not search the same stretch again and again.
        if (!trailerSearch_ || trailerNeedle_ != needle) {
            trailerNeedle_ = std::string(needle);
            trailerSearch_.emplace(Buffer, trailerNeedle_);
        }
        const int64_t from = std::max<int64_t>(position + BaseOffset, 0);
        const size_t at = trailerSearch_->Find(static_cast<size_t>(from));
        return at == std::string_view::npos ? -1 : static_cast<int64_t>(at) - BaseOffset;
    }
    std::string storage;
    constexpr int64_t kChunk = 65536;
    const int64_t keep = static_cast<int64_t>(needle.size()) - 1;
    for (int64_t p = position; p < Size - BaseOffset;) {
        const std::string_view chunk = View(kChunk, p, storage);
        if (chunk.empty()) break;
        const size_t at = chunk.find(needle);
        if (at != std::string_view::npos) return p + static_cast<int64_t>(at);
        if (static_cast<int64_t>(chunk.size()) <= keep) break;
        p += static_cast<int64_t>(chunk.size()) - keep;
    }
    return -1;
}

int64_t TPDFXRefReader::FindStartXRef() {
    std::string storage;
    int64_t e = -1;
    // A truncated end marker ("%%EO") still marks the end.
    const std::string_view tail = View(10, Size - BaseOffset - 10, storage);
    const size_t partial = tail.find("%%E");
    if (partial != std::string_view::npos && Sub(tail, partial, 5) != "%%EOF") {
        for (int64_t p = Size - BaseOffset - 2; p >= 0; --p) {
            std::string small;
            if (View(3, p, small) == "%%E") {
                e = p - 1;
                break;
            }
        }
        if (e < 0) return 0;
    } else {
        e = FindBackwards("%%EOF", Size - BaseOffset, 4);
        if (e < 0) return 0;
    }
    const int64_t s = FindBackwards("startxref", e, 8);
    if (s < 0) return 0;
    const std::string_view between = View(e - (s + 9), s + 9, storage);
    int64_t result = 0;
    size_t start = 0;
    for (size_t i = 0; i <= between.size(); ++i) {
        if (i < between.size() && !IsLineSplit(between[i])) continue;
        if (i > start) {
            std::string_view line = TrimBlanks(Sub(between, start, i - start));
            const size_t comment = line.find('%');
            if (comment != std::string_view::npos) line = TrimBlanks(Sub(line, 0, comment));
            result = ParseInt64(line, 0);
        }
        start = i + 1;
    }
    return result;
}

bool TPDFXRefReader::WasVisited(int64_t position) { return !Visited.insert(position).second; }

bool TPDFXRefReader::ReadSection(int64_t offset) {
    // The chains still to read, the one on top first: the Prev chain asked for and, above it,
    // the chain of a hybrid table's XRefStm section, read before the table's older sections
    // so that entries come newest first. Sections entered on a chain are withdrawn, the
    // latest first, when the chain breaks.
    struct Chain {
        int64_t next;
        std::vector<int64_t> entered;
        bool asked;
    };
    std::vector<Chain> chains{{offset, {}, true}};
    bool result = false;
    // Every step reads a position not read before or ends a chain, and only a section read
    // starts a chain: at most twice as many steps as the file has bytes.
    while (!chains.empty()) {
        Chain& chain = chains.back();
        const int64_t at = chain.next;
        if (OnSection) OnSection(at);
        chain.entered.push_back(at);
        const TLinks links = ReadOneSection(at);
        if (links.ok && links.prev) {
            chain.next = *links.prev;
        } else {
            if (!links.ok && OnSection) {
                for (auto it = chain.entered.rbegin(); it != chain.entered.rend(); ++it)
                    OnSection(-*it);
            }
            if (chain.asked) result = links.ok;
            chains.pop_back();
        }
        if (links.xrefStm) chains.push_back({*links.xrefStm, {}, false});
    }
    return result;
}

TPDFXRefReader::TLinks TPDFXRefReader::ReadOneSection(int64_t offset) {
    // What the previous section parsed was handed on as text.
    store_.Clear();
    const int64_t delta = offset < 10 ? -offset : -10;
    std::string storage;
    int64_t windowStart = offset + delta;
    std::string_view window = View(40, windowStart, storage);
    size_t txref = window.find("txref");
    size_t xref = window.find("xref");
    size_t obj = window.find(" obj");
    auto none = [&] {
        return txref == std::string_view::npos && xref == std::string_view::npos &&
               obj == std::string_view::npos;
    };
    // Filler bytes (NUL, LF) between the stated offset and the section are skipped.
    for (int k = 1; k <= 10 && none(); ++k) {
        std::string fill;
        const std::string_view run = View(k * 2048, offset, fill);
        size_t n = 0;
        while (n + 1 < run.size() && (run[n] == '\0' || run[n] == '\n')) ++n;
        windowStart = offset + static_cast<int64_t>(n) + 1 + delta;
        window = View(40, windowStart, storage);
        txref = window.find("txref");
        xref = window.find("xref");
        obj = window.find(" obj");
        // A run that ended inside what was read ends there in any longer read too.
        if (n + 1 < run.size()) break;
    }
    // "xref" as the tail of "startxref" is no section.
    if (xref != std::string_view::npos && txref != std::string_view::npos && xref == txref + 1) {
        xref = std::string_view::npos;
    }
    if (xref != std::string_view::npos && (obj == std::string_view::npos || obj > xref)) {
        return ReadTableSection(windowStart + static_cast<int64_t>(xref) + 4);
    }
    if (xref == std::string_view::npos && obj != std::string_view::npos) {
        return ReadStreamSection(windowStart + static_cast<int64_t>(obj) + 4);
    }
    return {};
}

TPDFXRefReader::TLinks TPDFXRefReader::ReadTableSection(int64_t position) {
    TLinks links;
    if (WasVisited(position)) return links;
    int64_t cursor = position;
    std::string storage;
    for (;;) {
        const std::string_view head = View(30, cursor, storage);
        if (head.empty() || Sub(head, 0, 3).find('%') != std::string_view::npos ||
            head.find("trailer") != std::string_view::npos) {
            break;
        }
        // "first count" then the cursor rests on the first digit of the first entry.
        size_t i = 0;
        auto isDigit = [&](size_t k) { return head[k] >= '0' && head[k] <= '9'; };
        while (i < head.size() && !isDigit(i)) ++i;
        const size_t firstStart = i;
        while (i < head.size() && isDigit(i)) ++i;
        const std::string_view firstText = Sub(head, firstStart, i - firstStart);
        while (i < head.size() && !isDigit(i)) ++i;
        const size_t countStart = i;
        while (i < head.size() && isDigit(i)) ++i;
        const std::string_view countText = Sub(head, countStart, i - countStart);
        if (i < head.size()) ++i;
        while (i < head.size() && !isDigit(i)) ++i;
        cursor += static_cast<int64_t>(i);

        int64_t first = ParseInt64(firstText, -1);
        // No table holds more rows than the file has bytes; the clamp keeps the arithmetic
        // below in range for absurd headers.
        const int64_t count = std::min(ParseInt64(countText, 0), Size);
        if (first < 0 || count <= 0) break;
        ++SubsectionCount;

        // Rows are 18 significant bytes and a line end of one to three bytes ("\n", " \n",
        // "\r\n", " \r\n"): read enough for the widest, the rows end where `count` do.
        std::string dataStorage;
        std::string d(View(count * 21 + 2, cursor, dataStorage));
        d += "trailer";
        // A table numbered from 1 whose first row is the free-list head is numbered from 0.
        if (first == 1 && ParseInt64(Sub(d, 0, 10), 0) == 0 &&
            ParseInt64(Sub(d, 11, 5), 0) == 65535) {
            first = 0;
        }
        size_t c = 0;
        for (int64_t k = 0; k < count; ++k) {
            const int64_t j = first + k;  // first <= INT64_MAX - count is not guaranteed
            if (j < first) break;
            // A subsection that promises more rows than it holds lost some of them: the
            // objects of the missing rows are only found by scanning the file.
            if (Sub(d, c, 7) == "trailer" || c + 18 > d.size()) {
                Damaged = true;
                break;
            }
            const int64_t offset = ParseInt64(Sub(d, c, 10), -1);
            const int64_t generation = ParseInt64(Sub(d, c + 11, 5), -1);
            if (offset < 0 || generation < 0) Damaged = true;
            if (offset >= 0 && generation >= 0 && d.size() >= c + 18 && j <= INT32_MAX) {
                if (OnEntry) {
                    OnEntry(static_cast<int32_t>(j), static_cast<int32_t>(generation), d[c + 17],
                            offset);
                }
            }
            c += 18;
            while (c < d.size() && (d[c] == '\r' || d[c] == '\n' || d[c] == ' ')) ++c;
            if (c >= d.size()) break;
        }
        cursor += static_cast<int64_t>(c);
    }

    const int64_t keyword = FindForwards("trailer", cursor);
    if (keyword < 0) return links;
    cursor = keyword;
    for (int k = 1; k <= 5; ++k) {
        const std::string_view text = View(k * 2048, cursor, storage);
        const size_t at = text.find("trailer");
        if (at == std::string_view::npos) continue;
        const std::string_view rest = Sub(text, at + 7);
        if (rest.find("<<") == std::string_view::npos ||
            rest.find(">>") == std::string_view::npos) {
            continue;
        }
        auto* trailer = As<TPDFDictionary>(store_.ParseText(rest));
        if (trailer == nullptr) continue;
        if (OnTrailer) OnTrailer(trailer->ToText());
        const int64_t xrefStm = NumberValue(trailer->GetValue("XRefStm"), INT64_MIN);
        if (xrefStm != INT64_MIN) {
            HasXRefStm = true;
            links.xrefStm = xrefStm;
        }
        const int64_t prev = NumberValue(trailer->GetValue("Prev"), INT64_MIN);
        if (prev == INT64_MIN) {
            links.ok = true;
            return links;
        }
        if (prev == LastPrev) continue;
        LastPrev = prev;
        links.ok = true;
        if (prev > 0) {
            ++PrevCount;
            links.prev = prev;
        }
        return links;
    }
    return links;
}

TPDFXRefReader::TLinks TPDFXRefReader::ReadStreamSection(int64_t position) {
    TLinks links;
    if (WasVisited(position)) return links;
    HasXRefStream = true;

    // Grow the chunk in steps of 20480 bytes until it holds the dictionary and "stream"
    // (and, with an Index array, the whole array). A first occurrence found in a shorter
    // chunk stays the first one in a longer chunk, so each search resumes where the last
    // round stopped and growing stays linear even when the markers never come.
    constexpr int64_t kStep = 20480;
    std::string grown;  // stream mode: the chunk read so far
    std::string_view chunk;
    IncrementalFind open{"<<"}, streamWord{"stream"}, index{"/Index"};
    IncrementalFind bracket{"[", false}, close{"]", false}, indexStream{"stream", false};
    for (int64_t length = kStep;; length += kStep) {
        if (InMemory) {
            std::string unused;
            chunk = View(length, position, unused);
        } else {
            std::string more;
            grown.append(View(length - static_cast<int64_t>(grown.size()),
                              position + static_cast<int64_t>(grown.size()), more));
            chunk = grown;
        }
        const size_t o = open.Update(chunk);
        const size_t s = streamWord.Update(chunk);
        bool complete = o != std::string_view::npos && s != std::string_view::npos;
        if (complete && index.Update(chunk) != std::string_view::npos) {
            bracket.ActivateAt(index.at);
            close.ActivateAt(bracket.Update(chunk));
            indexStream.ActivateAt(close.Update(chunk));
            complete = o < index.at && indexStream.Update(chunk) != std::string_view::npos;
        }
        if (complete || position + length >= Size - BaseOffset) break;
        if (growthLeft_ < kStep) {
            Damaged = true;  // a dictionary that never ends, or too many of them
            break;
        }
        growthLeft_ -= kStep;
    }

    size_t consumed = 0;
    auto* dict = As<TPDFDictionary>(store_.Parse(chunk, 0, consumed));
    if (dict == nullptr) return links;
    auto* type = As<TPDFName>(dict->GetValue("Type"));
    if (type == nullptr || type->Text != "XRef") return links;

    // The stream's own number, from the "N G obj" in front of the position.
    std::string headStorage;
    std::string head(View(21, position - 20, headStorage));
    auto dropUntilEndsWith = [&](std::string_view suffix) {
        while (!head.empty() &&
               !(head.size() >= suffix.size() &&
                 head.compare(head.size() - suffix.size(), suffix.size(), suffix) == 0)) {
            head.pop_back();
        }
    };
    dropUntilEndsWith("obj");
    dropUntilEndsWith("0");
    dropUntilEndsWith(" ");
    while (!head.empty() && head.back() == ' ') head.pop_back();
    size_t digitsStart = head.size();
    while (digitsStart > 0 && head[digitsStart - 1] >= '0' && head[digitsStart - 1] <= '9') {
        --digitsStart;
    }
    const int64_t selfNumber = ParseInt64(Sub(head, digitsStart), 0);

    const int64_t size = NumberValue(dict->GetValue("Size"), INT64_MIN);
    if (size == INT64_MIN) return links;

    std::vector<std::pair<int64_t, int64_t>> ranges;
    if (auto* indexArray = As<TPDFArray>(dict->GetValue("Index"))) {
        for (int32_t i = 0; i + 1 < indexArray->Count(); i += 2) {
            ranges.emplace_back(NumberValue(indexArray->Get(i), 0),
                                NumberValue(indexArray->Get(i + 1), 0));
        }
    } else {
        ranges.emplace_back(0, size);
    }
    const int64_t prev = NumberValue(dict->GetValue("Prev"), 0);

    auto* widths = As<TPDFArray>(dict->GetValue("W"));
    if (widths != nullptr && widths->Count() >= 3) {
        int64_t w[3];
        for (int i = 0; i < 3; ++i) w[i] = NumberValue(widths->Get(i), 0);
        // Field widths beyond 8 bytes or below 0 cannot describe offsets; rows of no bytes
        // carry nothing. Either way there are no entries to read.
        const bool usable = w[0] >= 0 && w[1] >= 0 && w[2] >= 0 && w[0] <= 8 && w[1] <= 8 &&
                            w[2] <= 8 && w[0] + w[1] + w[2] > 0;

        // The data start after "stream" and its line end; dictionaries of nested values end
        // with ">>" before it.
        size_t from = consumed;
        size_t streamAt = FindFrom(chunk, "stream", from);
        for (size_t gt = FindFrom(chunk, ">>", from);
             gt != std::string_view::npos && streamAt != std::string_view::npos && gt < streamAt;
             gt = FindFrom(chunk, ">>", from)) {
            from = gt + 2;
            streamAt = FindFrom(chunk, "stream", from);
        }
        const int64_t length = NumberValue(dict->GetValue("Length"), INT64_MIN);
        if (usable && streamAt != std::string_view::npos && length != INT64_MIN) {
            size_t p = streamAt + 6;
            while (p < chunk.size() &&
                   (chunk[p] == '\0' || chunk[p] == '\t' || chunk[p] == '\f' || chunk[p] == ' ')) {
                ++p;
            }
            bool lineEnd = true;
            if (p + 1 < chunk.size() && chunk[p] == '\r' && chunk[p + 1] == '\n') {
                p += 2;
            } else if (p < chunk.size() && (chunk[p] == '\r' || chunk[p] == '\n')) {
                p += 1;
            } else {
                lineEnd = false;
            }
            if (lineEnd) {
                const int64_t dataPosition = position + static_cast<int64_t>(p);
                const auto left = static_cast<int64_t>(std::min<uint64_t>(decodeLeft_, INT64_MAX));
                std::string raw = ReadAt(std::min(length, left), dataPosition);
                decodeLeft_ -= raw.size();
                TPDFStream* stream = store_.NewStreamWith(dict, ByteSlice(std::move(raw)));
                const std::string data = DecodeStreamData(
                    *stream,
                    static_cast<size_t>(std::min<uint64_t>(decodeLeft_, store_.DecodeLimit)));
                // Data without filters come whole, whatever the limit.
                decodeLeft_ -= std::min<uint64_t>(decodeLeft_, data.size());
                // Spent: rows this stream held may be missing.
                if (decodeLeft_ == 0) Damaged = true;
                const size_t rowSize = static_cast<size_t>(w[0] + w[1] + w[2]);
                size_t at = 0;
                auto field = [&](int64_t width) -> uint64_t {
                    uint64_t v = 0;
                    for (int64_t k = 0; k < width; ++k) {
                        v = (v << 8) | static_cast<unsigned char>(data[at++]);
                    }
                    return v;
                };
                for (const auto& range : ranges) {
                    for (int64_t k = 0; k < range.second; ++k) {
                        const int64_t j = range.first + k;
                        if (at + rowSize > data.size() || range.first > INT32_MAX ||
                            j > INT32_MAX || j < 0)
                            break;
                        const uint64_t type = w[0] == 0 ? 1 : field(w[0]);
                        const uint64_t f2 = field(w[1]);
                        const uint64_t f3 = field(w[2]);
                        char kind = ' ';
                        int64_t value = 0;
                        int32_t second = 0;
                        if (type == 0) {
                            kind = 'f';
                            value = static_cast<int64_t>(f2);
                            second = static_cast<int32_t>(f3);
                        } else if (type == 1) {
                            kind = 'n';
                            value = static_cast<int64_t>(f2);
                            second = w[2] == 0 ? 0 : static_cast<int32_t>(f3);
                            if (selfNumber > 0 && j == selfNumber && value == selfNumber) {
                                // A stream that names its own offset wrongly: where its data
                                // were actually found is the better answer.
                                const std::string digits = std::to_string(selfNumber);
                                if (ReadAt(static_cast<int64_t>(digits.size()), value) != digits) {
                                    value = dataPosition;
                                }
                            }
                        } else if (type == 2) {
                            kind = 'c';
                            value = static_cast<int64_t>(f2);
                            second = static_cast<int32_t>(f3);
                        }
                        if (OnEntry) OnEntry(static_cast<int32_t>(j), second, kind, value);
                    }
                }
            }
        }
    }

    if (OnTrailer) OnTrailer(dict->ToText());
    links.ok = true;
    if (prev >= 1) {
        ++PrevCount;
        links.prev = prev;
    }
    return links;
}

}  // namespace verava
