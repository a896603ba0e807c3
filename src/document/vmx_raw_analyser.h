// The repair scan: rebuilds the object table of a file whose cross-reference data cannot be
// used, by finding every object header ("12 0 obj", whitespace around each part) in the raw
// bytes, and the last trailer dictionary. It knows nothing of objects beyond their headers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace verava {

class TStream;

class TVMXRawAnalyser {
  public:
    // Works on the bytes directly; linear in the file size.
    void Scan(std::string_view data);
    // The same over a stream read from position 0.
    void Scan(TStream& stream);

    int32_t Number(int32_t index) const;
    int32_t Generation(int32_t index) const;
    int64_t Location(int32_t index) const;

    int32_t FoundCount = 0;
    std::vector<int32_t> FoundNumbers;
    std::vector<int32_t> FoundGenerations;
    std::vector<int64_t> FoundLocations;
    std::string TrailerText;
    std::string ScanReport;
};

}  // namespace verava
