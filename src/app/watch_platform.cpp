#include "app/watch_platform.h"

#include <cstring>

namespace verava {

bool TailEndsWithEofLine(std::string_view text) {
    while (!text.empty() && std::strchr(" \t\r\n\f", text.back()) != nullptr && text.back() != 0)
        text.remove_suffix(1);
    constexpr std::string_view kEof = "%%EOF";
    if (text.size() < kEof.size() || text.substr(text.size() - kEof.size()) != kEof) return false;
    text.remove_suffix(kEof.size());
    // The marker on a line of its own: not the tail of some other token.
    return text.empty() || text.back() == '\n' || text.back() == '\r';
}

}  // namespace verava
