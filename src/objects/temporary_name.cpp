#include "objects/temporary_name.h"

#include <algorithm>
#include <cstring>

#include "objects/platform.h"

namespace verava {
namespace {

constexpr size_t kTagDigits = 12;
constexpr const char* kSuffix = ".part";

}  // namespace

std::string TemporaryPrefix(const std::string& name) {
    size_t keep = std::min<size_t>(name.size(), 200);
    while (keep > 0 && keep < name.size() &&
           (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
        --keep;
    return "." + name.substr(0, keep) + ".";
}

std::string TemporaryName(const std::string& prefix) {
    std::string name = prefix;
    for (unsigned char b : RandomBytes(kTagDigits)) name += "0123456789abcdef"[b & 15];
    return name + kSuffix;
}

bool IsTemporaryOf(const std::string& entry, const std::string& prefix) {
    const size_t suffix = std::strlen(kSuffix);
    if (entry.size() != prefix.size() + kTagDigits + suffix) return false;
    if (entry.compare(0, prefix.size(), prefix) != 0) return false;
    if (entry.compare(entry.size() - suffix, suffix, kSuffix) != 0) return false;
    for (size_t i = prefix.size(); i < prefix.size() + kTagDigits; ++i) {
        const char c = entry[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

}  // namespace verava
