#include "document/vmx_raw_analyser.h"

#include <cstring>

#include "objects/number_text.h"
#include "objects/pdf_chars.h"
#include "objects/stream.h"

namespace verava {
int32_t TVMXRawAnalyser::Number(int32_t index) const {
    return index >= 0 && index < FoundCount ? FoundNumbers[index] : 0;
}

int32_t TVMXRawAnalyser::Generation(int32_t index) const {
    return index >= 0 && index < FoundCount ? FoundGenerations[index] : 0;
}

int64_t TVMXRawAnalyser::Location(int32_t index) const {
    return index >= 0 && index < FoundCount ? FoundLocations[index] : 0;
}

void TVMXRawAnalyser::Scan(TStream& stream) { Scan(stream.ReadAll()); }

void TVMXRawAnalyser::Scan(std::string_view data) {
    FoundCount = 0;
    FoundNumbers.clear();
    FoundGenerations.clear();
    FoundLocations.clear();
    TrailerText.clear();
    ScanReport.clear();

    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    const int64_t size = static_cast<int64_t>(data.size());
    int64_t candidates = 0;
    std::string found;

    // Every "o" is a candidate for the "o" of "obj": look at the 50 bytes that end two
    // bytes after it ("bj") and walk back over generation and number.
    for (const void* hit = std::memchr(bytes, 'o', data.size()); hit != nullptr;) {
        const int64_t p = static_cast<const unsigned char*>(hit) - bytes;
        ++candidates;
        hit = p + 1 < size ? std::memchr(bytes + p + 1, 'o', static_cast<size_t>(size - p - 1))
                           : nullptr;
        const int64_t windowStart = p < 47 ? 0 : p - 47;
        const int64_t windowLength = p < 47 ? p + 3 : 50;
        if (windowStart + windowLength > size) continue;
        const unsigned char* w = bytes + windowStart;
        if (w[windowLength - 2] != 'b' || w[windowLength - 1] != 'j') continue;
        int64_t k = p - windowStart - 1;  // the byte before the "o"
        if (k < 0 || !IsPdfWhitespace(w[k])) continue;
        while (k >= 0 && IsPdfWhitespace(w[k])) --k;
        if (k <= 0 || !IsPdfDigit(w[k])) continue;
        const int64_t generationEnd = k;
        while (k >= 0 && IsPdfDigit(w[k])) --k;
        if (k < 0 || !IsPdfWhitespace(w[k])) continue;
        const int64_t generationStart = k + 1;
        while (k >= 0 && IsPdfWhitespace(w[k])) --k;
        if (k <= 0 || !IsPdfDigit(w[k])) continue;
        const int64_t numberEnd = k;
        while (k >= 0 && IsPdfDigit(w[k])) --k;
        if (k < 0 || !IsPdfWhitespace(w[k])) continue;
        const int64_t numberStart = k + 1;

        const std::string_view numberText(reinterpret_cast<const char*>(w + numberStart),
                                          static_cast<size_t>(numberEnd - numberStart + 1));
        const std::string_view generationText(
            reinterpret_cast<const char*>(w + generationStart),
            static_cast<size_t>(generationEnd - generationStart + 1));
        const int32_t number = ParseInt(numberText, -1);
        const int32_t generation = ParseInt(generationText, -1);
        // Object 0 heads the free list and is never an object; a number that does not fit
        // is no object number either.
        if (number <= 0 || generation < 0) continue;
        const int64_t location = windowStart + numberStart;
        FoundNumbers.push_back(number);
        FoundGenerations.push_back(generation);
        FoundLocations.push_back(location);
        ++FoundCount;
        found += "Object (" + std::to_string(number) + " " + std::to_string(generation) +
                 " obj) found at " + std::to_string(location) + "\r\n";
    }
    ScanReport = std::to_string(candidates) + " \"o\" characters in the file\r\n" + found;

    // The last trailer, cut at the first ">>" after its "<<".
    const size_t trailer = data.rfind("trailer");
    if (trailer != std::string_view::npos) {
        const size_t limit = size >= 2 ? static_cast<size_t>(size - 2) : 0;
        size_t open = data.find("<<", trailer + 1);
        if (open != std::string_view::npos && open < limit) {
            const std::string_view block = data.substr(open, 2048);
            const size_t close = block.find(">>");
            if (close != std::string_view::npos)
                TrailerText = std::string(block.substr(0, close + 2));
        }
    }
    ScanReport += std::to_string(FoundCount) + " \"obj\" tokens in the file\r\n";
}

}  // namespace verava
