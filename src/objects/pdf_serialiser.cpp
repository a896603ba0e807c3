// PDF syntax out of objects. Deterministic: the same tree always gives the same bytes, every
// line ends with a single LF, numbers never carry an exponent.
#include "objects/number_text.h"
#include "objects/pdf_chars.h"
#include "objects/pdf_structure.h"

namespace verava {
namespace {

bool NameByteNeedsEscape(unsigned char c) {
    return c <= 32 || c >= 127 || c == '#' || IsPdfDelimiter(c);
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

void TPDFNull::AppendTextAt(std::string& out, int depth) const { out += "null"; }

void TPDFBoolean::AppendTextAt(std::string& out, int depth) const {
    out += Truth ? "true" : "false";
}

void TPDFNumeric::AppendTextAt(std::string& out, int depth) const {
    out += FormatDecimal(NumValue, Store()->NumberDecimals);
}

void TPDFIndRef::AppendTextAt(std::string& out, int depth) const {
    out += std::to_string(TargetNumber);
    out.push_back(' ');
    out += std::to_string(TargetGeneration);
    out += " R";
}

void TPDFName::AppendTextAt(std::string& out, int depth) const {
    out.push_back('/');
    for (char ch : Text) {
        const auto c = static_cast<unsigned char>(ch);
        if (NameByteNeedsEscape(c)) {
            out.push_back('#');
            out.push_back(kHexDigits[c >> 4]);
            out.push_back(kHexDigits[c & 15]);
        } else {
            out.push_back(ch);
        }
    }
}

void TPDFString::AppendTextAt(std::string& out, int depth) const {
    if (HexForm) {
        out.reserve(out.size() + Bytes.size() * 2 + 2);
        out.push_back('<');
        for (char ch : Bytes) {
            const auto c = static_cast<unsigned char>(ch);
            out.push_back(kHexDigits[c >> 4]);
            out.push_back(kHexDigits[c & 15]);
        }
        out.push_back('>');
        return;
    }
    // Size in one pass, then write.
    size_t extra = 0;
    for (char ch : Bytes) {
        switch (ch) {
            case '\b':
            case '\t':
            case '\n':
            case '\f':
            case '\r':
            case '(':
            case ')':
            case '\\':
                ++extra;
                break;
            default:
                break;
        }
    }
    out.reserve(out.size() + Bytes.size() + extra + 2);
    out.push_back('(');
    for (char ch : Bytes) {
        switch (ch) {
            case '\b':
                out += "\\b";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\r':
                out += "\\r";
                break;
            case '(':
                out += "\\(";
                break;
            case ')':
                out += "\\)";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out.push_back(ch);
                break;
        }
    }
    out.push_back(')');
}

void TPDFArray::AppendTextAt(std::string& out, int depth) const {
    if (depth >= kMaxWalkDepth) throw ENestingTooDeep();
    // Line lengths count from the array's own start, as if it were written on its own.
    const size_t origin = out.size();
    size_t breakMark = 0;
    out += "[ ";
    for (const TPDFObject* item : Elements) {
        if (item != nullptr) AppendTextOf(item, out, depth + 1);
        if (out.back() != '\n') out.push_back(' ');
        if (out.size() - origin - breakMark > 80) {
            out.push_back('\n');
            breakMark = out.size() - origin;
        }
    }
    out.push_back(']');
}

void TPDFDictionary::AppendTextAt(std::string& out, int depth) const {
    if (depth >= kMaxWalkDepth) throw ENestingTooDeep();
    out += "<<\n";
    for (const Entry& e : Pairs) {
        const size_t mark = out.size();
        try {
            if (e.first != nullptr) AppendTextOf(e.first, out, depth + 1);
            out.push_back(' ');
            if (e.second != nullptr) AppendTextOf(e.second, out, depth + 1);
            if (out.back() != '\n') out.push_back('\n');
        } catch (const EInvalidOp&) {
            // An unwritable number costs only its entry; the reader skips the comment line.
            out.resize(mark);
            out += "% bug \n";
        }
    }
    out += ">>\n";
}

void TPDFStream::AppendTextAt(std::string& out, int depth) const {
    if (StreamDict_ != nullptr) {
        AppendTextOf(StreamDict_, out, depth + 1);
    } else {
        out += "<<\n>>\n";
    }
    const std::string_view data = Data_.View();
    out.reserve(out.size() + data.size() + 17);
    out += "stream\n";
    out.append(data);
    out += "\nendstream";
}

}  // namespace verava
