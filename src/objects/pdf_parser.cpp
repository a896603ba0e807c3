// The object parser: one recursive routine over the in-memory text, by index, without a
// token list. It never reports errors: what cannot be read yields nothing at that point (a
// container simply ends there; at the top level Parse returns a new null).
#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <string>

#include "objects/number_text.h"
#include "objects/pdf_chars.h"
#include "objects/pdf_structure.h"

namespace verava {
namespace {

// Whitespace and the delimiters, except "}" which a name or keyword may run into.
bool IsNameTerminator(unsigned char c) {
    return IsPdfWhitespace(c) || (IsPdfDelimiter(c) && c != '}');
}

// Leading blanks, any number of leading "-", digits, then an optional "." and fraction; no
// "+" and no exponent. Stops at the first other character. The digits are converted in one
// correctly rounded step, so a number written with all its digits reads back exactly.
double DecimalReader(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool negative = false;
    while (i < s.size() && s[i] == '-') {
        negative = true;
        ++i;
    }
    const size_t start = i;
    while (i < s.size() && IsPdfDigit(s[i])) ++i;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsPdfDigit(s[i])) ++i;
    }
    double value = 0;
    if (i > start && !(i == start + 1 && s[start] == '.')) {
        const auto result =
            std::from_chars(s.data() + start, s.data() + i, value, std::chars_format::fixed);
        // Beyond a double: the largest one when the whole part has digits, else 0.
        if (result.ec == std::errc::result_out_of_range) {
            size_t lead = start;
            while (lead < i && s[lead] == '0') ++lead;
            value = lead < i && s[lead] != '.' ? DBL_MAX : 0;
        }
    }
    return negative ? -value : value;
}

// The value of a number token as the parser reads it (prefix/suffix "0" already applied).
double TokenValue(std::string token) {
    if (!token.empty() && token.front() == '.') token.insert(0, 1, '0');
    if (!token.empty() && token.back() == '.') token.push_back('0');
    const size_t e = token.find('E');
    if (e != std::string::npos) {
        const double mantissa = DecimalReader(std::string_view(token).substr(0, e));
        const int64_t exponent = ParseInt64(std::string_view(token).substr(e + 1), 0);
        if (exponent == 0) return mantissa;
        // Out-of-range exponents saturate to 0 or infinity like the multiplication would.
        const double clamped = exponent > 400 ? 400.0 : (exponent < -400 ? -400.0 : exponent);
        return mantissa * std::pow(10.0, clamped);
    }
    if (token.find('.') == std::string::npos && token.size() < 9) {
        return ParseInt(token, 0);
    }
    return DecimalReader(token);
}

// How far the parser looks for the end of a stream written inside a nested dictionary.
constexpr size_t kInlineStreamScan = 1 << 16;

// How far ahead a reference array counts its "R"s (about 9000 references).
constexpr size_t kReserveScan = 1 << 16;

class Parser {
  public:
    Parser(TPDFStructure& store, std::string_view text) : store_(store), text_(text) {}

    size_t pos = 0;  // 0-based

    void SkipWhiteAndComments() {
        const size_t n = text_.size();
        while (pos < n) {
            while (pos < n && IsPdfWhitespace(At(pos))) ++pos;
            if (pos < n && At(pos) == '%') {
                while (pos < n && At(pos) != '\n' && At(pos) != '\r') ++pos;
                continue;
            }
            break;
        }
    }

    TPDFObject* ReadObject(int depth) {
        const size_t n = text_.size();
        if (pos >= n) return nullptr;
        const unsigned char c = At(pos);
        if (pos + 3 < n && c == '<' && At(pos + 1) == '<') {
            if (depth >= TPDFStructure::kMaxNesting) return nullptr;
            return ReadDictionary(depth + 1);
        }
        if (pos + 1 < n && c == '[') {
            if (depth >= TPDFStructure::kMaxNesting) return nullptr;
            return ReadArray(depth + 1);
        }
        if (TPDFObject* keyword = ReadKeyword()) return keyword;
        if (c == '-' || c == '.' || IsPdfDigit(c)) return ReadNumberOrReference();
        if (pos + 1 < n && c == '(') return ReadLiteralString();
        if (pos + 1 < n && c == '<') return ReadHexString();
        if (pos + 1 < n && c == '/') return ReadName();
        return nullptr;
    }

  private:
    unsigned char At(size_t i) const { return static_cast<unsigned char>(text_[i]); }

    TPDFObject* Finish(TPDFObject* object) {
        object->Modified = false;
        return object;
    }

    bool KeywordAt(std::string_view keyword) const {
        if (text_.compare(pos, keyword.size(), keyword) != 0) return false;
        const size_t end = pos + keyword.size();
        return end == text_.size() || IsNameTerminator(At(end));
    }

    TPDFObject* ReadKeyword() {
        if (KeywordAt("true")) {
            pos += 4;
            return Finish(store_.NewBoolean(true));
        }
        if (KeywordAt("false")) {
            pos += 5;
            return Finish(store_.NewBoolean(false));
        }
        if (KeywordAt("null")) {
            pos += 4;
            return Finish(store_.NewNull());
        }
        return nullptr;
    }

    // Streams are indirect objects, yet some writers put one inside a dictionary nested in
    // another ("/AP << /N << /Length 0 >> stream endstream >>"). Inside a nested container
    // such a stream is stepped over, so the rest of its holder is still read.
    bool SkipInlineStream() {
        if (!KeywordAt("stream")) return false;
        // Such streams are small; a bounded look keeps hostile text from costing a search of
        // the rest of the file at every level.
        const size_t end = text_.substr(0, std::min(text_.size(), pos + kInlineStreamScan))
                               .find("endstream", pos + 6);
        if (end == std::string_view::npos) return false;
        pos = end + 9;
        return true;
    }

    TPDFObject* ReadDictionary(int depth) {
        pos += 2;
        TPDFDictionary* dict = store_.NewDictionary();
        for (;;) {
            SkipWhiteAndComments();
            // At depth 1 "stream" follows the object's own dictionary: that ends it.
            if (depth >= 2 && SkipInlineStream()) continue;
            TPDFObject* key = ReadObject(depth);
            SkipWhiteAndComments();
            TPDFObject* value = ReadObject(depth);
            auto* name = As<TPDFName>(key);
            if (name != nullptr && value != nullptr) dict->AddEntry(name, value);
            if (value == nullptr || name == nullptr) break;
        }
        dict->Modified = false;
        if (pos + 1 < text_.size() && At(pos) == '>' && At(pos + 1) == '>') pos += 2;
        return dict;
    }

    TPDFObject* ReadArray(int depth) {
        pos += 1;
        TPDFArray* array = store_.NewArray();
        for (;;) {
            SkipWhiteAndComments();
            if (SkipInlineStream()) continue;
            TPDFObject* item = ReadObject(depth);
            if (item == nullptr) break;
            array->Add(item);
            if (array->Count() == 1 && As<TPDFIndRef>(item) != nullptr) {
                // Size a reference array (Kids, Annots) in one step from its "R" count. The
                // count is only a hint, so it looks a bounded way ahead: an array that never
                // closes must not cost a scan of the rest of the file for every object.
                int32_t references = 0;
                const size_t end = std::min(text_.size(), pos + 1 + kReserveScan);
                for (size_t k = pos + 1; k < end && At(k) != ']'; ++k) {
                    if (At(k) == 'R') ++references;
                }
                array->Reserve(references);
            }
        }
        array->Modified = false;
        if (pos < text_.size() && At(pos) == ']') pos += 1;
        return array;
    }

    // Scans digits (and "E", and one "."), as the number reader and the reference check
    // share it; returns the end index.
    size_t ScanNumber(size_t start, bool firstIsDot, bool& exponent) const {
        size_t k = start + 1;
        int dots = firstIsDot ? 1 : 0;
        exponent = false;
        while (k < text_.size()) {
            const unsigned char c = At(k);
            if (IsPdfDigit(c)) {
            } else if (c == 'E') {
                exponent = true;
            } else if (c == '.' && dots == 0) {
                ++dots;
            } else {
                break;
            }
            ++k;
        }
        if (exponent) {
            // With an exponent the number may carry "-" and further "." after the "E".
            k = start + 1;
            while (k < text_.size()) {
                const unsigned char c = At(k);
                if (!(IsPdfDigit(c) || c == '.' || c == '-' || c == 'E')) break;
                ++k;
            }
        }
        return k;
    }

    TPDFObject* ReadNumberOrReference() {
        bool exponent = false;
        const size_t start = pos;
        const size_t k = ScanNumber(start, At(start) == '.', exponent);
        const std::string token(text_.substr(start, k - start));
        const double value = TokenValue(token);
        pos = k;
        if (token.find('.') != std::string::npos) return Finish(store_.NewNumeric(value));

        const size_t remembered = pos;
        SkipWhiteAndComments();
        if (pos < text_.size() && IsPdfDigit(At(pos))) {
            // The generation: digits and at most one ".".
            size_t g = pos + 1;
            int dots = 0;
            while (g < text_.size() && (IsPdfDigit(At(g)) || (At(g) == '.' && dots == 0))) {
                if (At(g) == '.') ++dots;
                ++g;
            }
            const double generation = TokenValue(std::string(text_.substr(pos, g - pos)));
            pos = g;
            SkipWhiteAndComments();
            if (pos < text_.size() && At(pos) == 'R') {
                ++pos;
                return Finish(store_.NewIndRef(RoundToInt32(value), RoundToInt32(generation)));
            }
        }
        pos = remembered;
        return Finish(store_.NewNumeric(value));
    }

    TPDFObject* ReadLiteralString() {
        const size_t n = text_.size();
        size_t i = pos + 1;
        int depth = 1;
        while (i < n) {
            const unsigned char c = At(i);
            if (c == '\\' && i + 2 < n) {
                const unsigned char next = At(i + 1);
                if (next == '(' || next == ')' || next == '\\') {
                    i += 2;
                    continue;
                }
            }
            if (c == '(') {
                ++depth;
            } else if (c == ')') {
                if (--depth == 0) break;
            }
            ++i;
        }
        if (depth > 0) return nullptr;  // unterminated
        const std::string_view raw = text_.substr(pos + 1, i - pos - 1);
        pos = i + 1;

        std::string out;
        out.reserve(raw.size());
        const size_t m = raw.size();
        for (size_t j = 0; j < m; ++j) {
            const unsigned char c = static_cast<unsigned char>(raw[j]);
            if (c == '\r') {
                out.push_back('\n');
                if (j + 1 < m && raw[j + 1] == '\n') ++j;
                continue;
            }
            if (c != '\\' || j + 1 >= m) {
                out.push_back(static_cast<char>(c));
                continue;
            }
            const unsigned char e = static_cast<unsigned char>(raw[j + 1]);
            if (IsPdfDigit(e)) {
                int value = 0;
                size_t d = j + 1;
                int digits = 0;
                while (d < m && digits < 3 && IsPdfDigit(static_cast<unsigned char>(raw[d]))) {
                    value = value * 8 + (raw[d] - '0');
                    ++d;
                    ++digits;
                }
                out.push_back(static_cast<char>(value & 0xFF));
                j = d - 1;
                continue;
            }
            ++j;
            switch (e) {
                case '\n':
                    break;
                case '\r':
                    if (j + 1 < m && raw[j + 1] == '\n') ++j;
                    break;
                case 'b':
                    out.push_back('\b');
                    break;
                case 'f':
                    out.push_back('\f');
                    break;
                case 'n':
                    out.push_back('\n');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                default:
                    out.push_back(static_cast<char>(e));
                    break;
            }
        }
        return Finish(store_.NewString(std::move(out), false));
    }

    TPDFObject* ReadHexString() {
        const size_t n = text_.size();
        const size_t close = text_.find('>', pos + 1);
        std::string_view content;
        if (close == std::string_view::npos) {
            content = text_.substr(pos + 1, n - 1 > pos + 1 ? n - 1 - (pos + 1) : 0);
            pos = n;
        } else {
            content = text_.substr(pos + 1, close - pos - 1);
            pos = close + 1;
        }
        std::string digits;
        digits.reserve(content.size());
        for (char ch : content) {
            if (HexDigitValue(static_cast<unsigned char>(ch)) >= 0) digits.push_back(ch);
        }
        if (digits.size() % 2 != 0) digits.push_back('0');
        std::string bytes(digits.size() / 2, '\0');
        for (size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>(HexDigitValue(digits[2 * i]) * 16 +
                                         HexDigitValue(digits[2 * i + 1]));
        }
        return Finish(store_.NewString(std::move(bytes), true));
    }

    TPDFObject* ReadName() {
        const size_t n = text_.size();
        size_t end = pos + 1;
        while (end < n && !IsNameTerminator(At(end))) ++end;
        const std::string_view raw = text_.substr(pos + 1, end - pos - 1);
        pos = end;
        return Finish(store_.NewName(UnescapeName(raw)));
    }

    TPDFStructure& store_;
    std::string_view text_;
};

}  // namespace

TPDFObject* TPDFStructure::Parse(std::string_view text, size_t start, size_t& consumed) {
    consumed = 0;
    TPDFObject* result = nullptr;
    if (!text.empty() && start < text.size()) {
        try {
            Parser parser(*this, text);
            parser.pos = start;
            parser.SkipWhiteAndComments();
            result = parser.ReadObject(0);
            consumed = parser.pos - start;
        } catch (...) {
            // Exhausted memory and the like: nothing was read.
            result = nullptr;
            consumed = 0;
        }
    }
    if (result == nullptr) result = NewNull();
    return result;
}

}  // namespace verava
