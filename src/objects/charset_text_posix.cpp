#include "objects/charset_text.h"

#include <iconv.h>

#include <cerrno>

namespace verava {
namespace {

// UTF-16 in a fixed byte order: without one, iconv would write or expect a byte order mark.
constexpr const char* kUtf16 = "UTF-16LE";

class TIconv {
  public:
    TIconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~TIconv() {
        if (Valid()) iconv_close(cd_);
    }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;

    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // The whole input converted, or nullopt at the first invalid or unconvertible sequence.
    std::optional<std::string> Convert(std::string_view input) {
        std::string out(input.size() + 16, '\0');
        char* in = const_cast<char*>(input.data());  // iconv does not write to its input
        size_t inLeft = input.size();
        size_t done = 0;
        // The last call, without input, ends a stateful set's shift sequence.
        bool flushing = false;
        while (true) {
            char* at = out.data() + done;
            size_t outLeft = out.size() - done;
            const size_t r = flushing ? iconv(cd_, nullptr, nullptr, &at, &outLeft)
                                      : iconv(cd_, &in, &inLeft, &at, &outLeft);
            done = out.size() - outLeft;
            if (r != static_cast<size_t>(-1)) {
                if (flushing) break;
                flushing = true;
            } else if (errno == E2BIG) {
                out.resize(out.size() * 2);
            } else {
                // EILSEQ: no code, or invalid bytes; EINVAL: the input ends inside a sequence.
                return std::nullopt;
            }
        }
        out.resize(done);
        return out;
    }

  private:
    iconv_t cd_;
};

}  // namespace

std::optional<std::string> UnicodeToCharset(std::u16string_view text, const char* charset) {
    TIconv converter(charset, kUtf16);
    if (!converter.Valid()) return std::nullopt;
    std::string units;
    units.reserve(text.size() * 2);
    for (char16_t u : text) {
        units.push_back(static_cast<char>(u & 0xFF));
        units.push_back(static_cast<char>(u >> 8));
    }
    return converter.Convert(units);
}

std::optional<std::u16string> CharsetToUnicode(std::string_view bytes, const char* charset) {
    TIconv converter(kUtf16, charset);
    if (!converter.Valid()) return std::nullopt;
    const std::optional<std::string> units = converter.Convert(bytes);
    if (!units) return std::nullopt;
    std::u16string text;
    text.reserve(units->size() / 2);
    for (size_t i = 0; i + 1 < units->size(); i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>((*units)[i]) |
                                             static_cast<unsigned char>((*units)[i + 1]) << 8));
    }
    return text;
}

}  // namespace verava
