// CCITTFaxDecode (ISO 32000-1, 7.4.6): Modified Huffman rows (ITU-T T.4, 4.1), Modified READ
// rows (T.4, 4.2) and MMR rows (T.6), decoded one row at a time. A row is kept as its changing
// elements, the pixel positions where its colour changes; each two-dimensional row is read
// against the row above it, so two such lists are the decoder's whole memory.
#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <vector>

#include "content/fax_codes.h"
#include "content/image_codecs.h"
#include "objects/pdf_structure.h"

namespace verava {
namespace {

using fax::kEndOfLineZeros;
using fax::kLongestModeCode;
using fax::kLongestRunCode;
using fax::TMode;

constexpr int CodeLength(const char* bits) {
    int length = 0;
    while (bits[length] != '\0') ++length;
    return length;
}

constexpr uint32_t CodeValue(const char* bits) {
    uint32_t value = 0;
    for (int i = 0; bits[i] != '\0'; ++i) value = value << 1 | (bits[i] == '1' ? 1 : 0);
    return value;
}

// One entry per value of the next kLongestRunCode bits: the run its leading code stands for
// and that code's length, 0 where no code starts.
struct TRunEntry {
    int16_t run = 0;
    uint8_t length = 0;
};
using TRunTable = std::array<TRunEntry, size_t{1} << kLongestRunCode>;

template <size_t N>
constexpr void AddRunCodes(TRunTable& table, const fax::TRunCode (&codes)[N]) {
    for (const fax::TRunCode& code : codes) {
        const int length = CodeLength(code.bits);
        const int spare = kLongestRunCode - length;
        const uint32_t first = CodeValue(code.bits) << spare;
        for (uint32_t tail = 0; tail < (uint32_t{1} << spare); ++tail) {
            // A code that is the prefix of another would make the table ambiguous; this
            // stops the build instead.
            if (table[first | tail].length != 0) throw "fax run codes overlap";
            table[first | tail] = {code.run, static_cast<uint8_t>(length)};
        }
    }
}

constexpr TRunTable MakeRunTable(bool black) {
    TRunTable table{};
    if (black) {
        AddRunCodes(table, fax::kBlackCodes);
    } else {
        AddRunCodes(table, fax::kWhiteCodes);
    }
    AddRunCodes(table, fax::kExtendedMakeUpCodes);
    return table;
}

constexpr TRunTable kWhiteRuns = MakeRunTable(false);
constexpr TRunTable kBlackRuns = MakeRunTable(true);

struct TModeEntry {
    TMode mode = TMode::Extension;
    int8_t offset = 0;
    uint8_t length = 0;  // 0: no mode code starts here
};
using TModeTable = std::array<TModeEntry, size_t{1} << kLongestModeCode>;

constexpr TModeTable MakeModeTable() {
    TModeTable table{};
    for (const fax::TModeCode& code : fax::kModeCodes) {
        const int length = CodeLength(code.bits);
        const int spare = kLongestModeCode - length;
        const uint32_t first = CodeValue(code.bits) << spare;
        for (uint32_t tail = 0; tail < (uint32_t{1} << spare); ++tail) {
            if (table[first | tail].length != 0) throw "fax mode codes overlap";
            table[first | tail] = {code.mode, code.offset, static_cast<uint8_t>(length)};
        }
    }
    return table;
}

constexpr TModeTable kModes = MakeModeTable();

// Reads the data first bit first. Past its end it reads 0 bits, which no code consists of,
// and Overrun() says whether a code was taken from there.
class TBitReader {
  public:
    explicit TBitReader(std::string_view data)
        : data_(reinterpret_cast<const uint8_t*>(data.data())),
          size_(data.size()),
          bits_(static_cast<uint64_t>(data.size()) * 8) {}

    // The next `count` (1 to 24) bits.
    uint32_t Peek(int count) const {
        const uint64_t byte = position_ >> 3;
        uint32_t window = 0;
        for (uint64_t i = 0; i < 4; ++i) {
            window = window << 8 | (byte + i < size_ ? data_[byte + i] : 0);
        }
        return (window << (position_ & 7)) >> (32 - count);
    }
    void Skip(int count) { position_ += static_cast<uint64_t>(count); }
    uint32_t Bit() {
        const uint32_t bit = Peek(1);
        Skip(1);
        return bit;
    }
    void Align() { position_ = (position_ + 7) & ~uint64_t{7}; }
    bool Overrun() const { return position_ > bits_; }
    uint64_t Position() const { return position_; }
    void SetPosition(uint64_t position) { position_ = position; }

    // An EOL here, after any number of fill bits: the 0 bits up to the first 1 bit, and
    // whether they are enough. `after` is where the EOL ends.
    bool AtEndOfLine(uint64_t* after = nullptr) const {
        uint64_t at = position_;
        while (at < bits_ && BitAt(at) == 0) {
            // Whole zero bytes at once: fill may be long.
            if ((at & 7) == 0 && at + 8 <= bits_ && data_[at >> 3] == 0) {
                at += 8;
            } else {
                ++at;
            }
        }
        if (at >= bits_ || at - position_ < kEndOfLineZeros) return false;
        if (after != nullptr) *after = at + 1;
        return true;
    }
    bool SkipEndOfLine() {
        uint64_t after = 0;
        if (!AtEndOfLine(&after)) return false;
        position_ = after;
        return true;
    }
    // Moves to the next EOL at or after the position, for decoding to resume there.
    bool SeekEndOfLine() {
        uint64_t zeros = 0;
        for (uint64_t at = position_; at < bits_; ++at) {
            if (BitAt(at) == 0) {
                ++zeros;
            } else if (zeros >= kEndOfLineZeros) {
                position_ = at - zeros;
                return true;
            } else {
                zeros = 0;
            }
        }
        return false;
    }

  private:
    uint32_t BitAt(uint64_t at) const { return (data_[at >> 3] >> (7 - (at & 7))) & 1; }

    const uint8_t* data_;
    uint64_t size_;
    uint64_t bits_;
    uint64_t position_ = 0;
};

// The changing elements of one row, ascending, followed by three copies of the row's width so
// that b1 and b2 (T.4, 4.2.1.3.1) always exist. Changes at even indices turn the row black,
// those at odd indices white again: every row starts white.
class TChanges {
  public:
    explicit TChanges(int32_t columns)
        : columns_(columns), at_(static_cast<size_t>(columns) + 3, columns) {}

    void Clear() { count_ = 0; }
    // A change at the row's end changes nothing; one where the last change was undoes it (a
    // run of no pixels).
    void Add(int32_t x) {
        if (x >= columns_) return;
        if (count_ > 0 && at_[count_ - 1] == x) {
            --count_;
        } else if (count_ < static_cast<size_t>(columns_)) {
            at_[count_++] = x;
        }
    }
    void Close() { std::fill(at_.begin() + count_, at_.begin() + count_ + 3, columns_); }
    int32_t operator[](size_t i) const { return at_[i]; }
    size_t Count() const { return count_; }

  private:
    int32_t columns_;
    std::vector<int32_t> at_;
    size_t count_ = 0;
};

class TFaxRows {
  public:
    TFaxRows(std::string_view data, int32_t columns)
        : reader_(data), columns_(columns), above_(columns), row_(columns) {
        above_.Close();  // the row above the first is white
    }

    TBitReader& Reader() { return reader_; }
    const TChanges& Row() const { return row_; }

    // One row coded in one dimension (T.4, 4.1.1): runs of white and black in turn.
    bool ReadOneDimensional() {
        row_.Clear();
        int32_t x = 0;
        bool black = false;
        while (x < columns_) {
            int32_t run = 0;
            if (!ReadRun(black, columns_ - x, run)) return false;
            x += run;
            row_.Add(x);
            black = !black;
        }
        return Finish();
    }

    // One row coded in two dimensions against the row above (T.4, 4.2.1.3; T.6, 2.2).
    bool ReadTwoDimensional() {
        row_.Clear();
        int32_t a0 = -1;  // before the row's first pixel, white
        bool black = false;
        size_t i = 0;  // b1's index in the row above
        while (a0 < columns_) {
            // b1: the first change above right of a0 that turns to the colour a0 is not.
            // a0 never moves left, so i walks the row above once, stepping back at most
            // once for a change skipped as being of the wrong colour.
            if (i > 0 && above_[i - 1] > a0) --i;
            while (above_[i] <= a0) ++i;
            if ((i & 1) != static_cast<size_t>(black)) ++i;
            const int32_t b1 = above_[i];
            const int32_t b2 = above_[i + 1];

            const TModeEntry mode = kModes[reader_.Peek(kLongestModeCode)];
            if (mode.length == 0) return false;
            reader_.Skip(mode.length);
            switch (mode.mode) {
                case TMode::Pass:
                    a0 = b2;
                    break;
                case TMode::Horizontal: {
                    const int32_t start = std::max(a0, 0);
                    int32_t first = 0;
                    int32_t second = 0;
                    if (!ReadRun(black, columns_ - start, first) ||
                        !ReadRun(!black, columns_ - start - first, second)) {
                        return false;
                    }
                    row_.Add(start + first);
                    row_.Add(start + first + second);
                    a0 = start + first + second;
                    break;
                }
                case TMode::Vertical: {
                    const int32_t a1 = b1 + mode.offset;
                    if (a1 < std::max(a0, 0) || a1 > columns_) return false;
                    row_.Add(a1);
                    a0 = a1;
                    black = !black;
                    break;
                }
                case TMode::Extension:
                    return false;
            }
            if (reader_.Overrun()) return false;
        }
        return Finish();
    }

    // The row above stands in for a damaged row.
    void RepeatAbove() {
        row_.Clear();
        for (size_t i = 0; i < above_.Count(); ++i) row_.Add(above_[i]);
        row_.Close();
    }
    // The row just read becomes the row above the next.
    void Advance() { std::swap(above_, row_); }

  private:
    // One run of `black` or white of at most `room` pixels: make-up codes, then the
    // terminating code of 0 to 63 pixels.
    bool ReadRun(bool black, int32_t room, int32_t& run) {
        const TRunTable& table = black ? kBlackRuns : kWhiteRuns;
        run = 0;
        for (;;) {
            const TRunEntry entry = table[reader_.Peek(kLongestRunCode)];
            if (entry.length == 0) return false;
            reader_.Skip(entry.length);
            run += entry.run;
            if (run > room || reader_.Overrun()) return false;
            if (entry.run < 64) return true;
        }
    }
    bool Finish() {
        row_.Close();
        return !reader_.Overrun();
    }

    TBitReader reader_;
    int32_t columns_;
    TChanges above_;
    TChanges row_;
};

// An EOL (eleven or more 0 bits, then a 1) before the first row. No row's own code starts
// with eleven 0 bits, so data that begins this way carries end-of-lines.
bool StartsWithEndOfLine(std::string_view data) { return TBitReader(data).AtEndOfLine(); }

bool ReadBoolean(const TPDFDictionary& parms, std::string_view name, bool fallback) {
    const auto* value = As<TPDFBoolean>(parms.GetValue(name, true));
    return value != nullptr ? value->Truth : fallback;
}

}  // namespace

TFaxOptions ReadFaxOptions(const TPDFDictionary* parms) {
    TFaxOptions options;
    if (parms == nullptr) return options;
    options.K = parms->GetInteger("K", options.K);
    options.EndOfLine = ReadBoolean(*parms, "EndOfLine", options.EndOfLine);
    options.EncodedByteAlign = ReadBoolean(*parms, "EncodedByteAlign", options.EncodedByteAlign);
    options.Columns = parms->GetInteger("Columns", options.Columns);
    options.Rows = parms->GetInteger("Rows", options.Rows);
    options.EndOfBlock = ReadBoolean(*parms, "EndOfBlock", options.EndOfBlock);
    options.BlackIs1 = ReadBoolean(*parms, "BlackIs1", options.BlackIs1);
    options.DamagedRowsBeforeError =
        parms->GetInteger("DamagedRowsBeforeError", options.DamagedRowsBeforeError);
    return options;
}

bool DecodeFax(std::string_view data, const TFaxOptions& options, int32_t width, int32_t height,
               size_t maxPixels, TSampleSink& sink) {
    try {
        if (width <= 0 || height <= 0 || width > kMaxCodecSide || height > kMaxCodecSide) {
            return false;
        }
        if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > maxPixels) return false;
        // The filter's rows are Columns bits padded to bytes; the image reads them as width
        // bits padded to bytes. Only the same byte count keeps rows where they belong.
        const int32_t columns = options.Columns;
        if (columns <= 0 || columns > kMaxCodecSide || (columns + 7) / 8 != (width + 7) / 8) {
            return false;
        }
        if (options.Rows > 0 && options.Rows < height) return false;
        if (data.empty()) return false;

        // Group 3 rows behind EOLs: the filter takes EOLs wherever they are, and needs them
        // when EndOfLine says so. Only there can a damaged row be told from the next one, so
        // only there are DamagedRowsBeforeError's rows mended.
        const bool endOfLines = options.K >= 0 && (options.EndOfLine || StartsWithEndOfLine(data));
        // Fill before an EOL is skipped as the EOL's own 0 bits, so EncodedByteAlign moves
        // only rows without one to the next byte.
        const bool alignRows = options.EncodedByteAlign && !endOfLines;
        const int32_t mendable = endOfLines ? std::max(options.DamagedRowsBeforeError, 0) : 0;

        TFaxRows rows(data, columns);
        TBitReader& reader = rows.Reader();
        if (!sink.Begin(width, height, 1)) return false;
        const uint8_t black = options.BlackIs1 ? 255 : 0;
        const uint8_t white = 255 - black;
        std::vector<int32_t> runs;
        runs.reserve(static_cast<size_t>(columns) + 1);
        int32_t damaged = 0;
        for (int32_t y = 0; y < height; ++y) {
            if (alignRows) reader.Align();
            // Once aligned, a row's codes start with at most seven 0 bits and the row before
            // ends with at most three, so eleven mark an EOL wherever one stands (Group 4
            // included, which has none of its own before its EOFB).
            reader.SkipEndOfLine();
            // Group 3 two-dimensional rows say after their EOL (or in its place) how they
            // are coded: 1 one-dimensional, 0 against the row above (T.4, 4.2.2).
            bool twoDimensional = options.K < 0;
            if (options.K > 0) twoDimensional = reader.Bit() == 0;
            const uint64_t rowStart = reader.Position();
            bool read = twoDimensional ? rows.ReadTwoDimensional() : rows.ReadOneDimensional();
            // A row read whole ends where the next EOL starts; one that ends elsewhere was
            // damaged even if its codes made sense.
            if (read && endOfLines && y + 1 < height && !reader.AtEndOfLine()) read = false;
            if (!read) {
                if (damaged >= mendable) return false;
                ++damaged;
                rows.RepeatAbove();
                reader.SetPosition(rowStart);
                if (y + 1 < height && !reader.SeekEndOfLine()) return false;
            }

            // The row's changes as the sink takes them, beginning white; pixels past Columns,
            // within the row's last byte, are white.
            const TChanges& changes = rows.Row();
            runs.clear();
            for (size_t i = 0; i < changes.Count() && changes[i] < width; ++i) {
                runs.push_back(changes[i]);
            }
            if (runs.size() % 2 == 1 && columns < width) runs.push_back(columns);
            sink.RunRow(runs.data(), runs.size(), width, white, black);
            rows.Advance();
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void TSampleSink::RunRow(const int32_t* changes, size_t count, int32_t width, uint8_t first,
                         uint8_t second) {
    spelt_.resize(static_cast<size_t>(std::max(width, 0)));
    int32_t x = 0;
    bool odd = false;
    for (size_t i = 0; i <= count && x < width; ++i) {
        const int32_t end = i < count ? std::clamp(changes[i], x, width) : width;
        std::fill(spelt_.begin() + x, spelt_.begin() + end, odd ? second : first);
        x = end;
        odd = !odd;
    }
    Row(spelt_.data());
}

}  // namespace verava
