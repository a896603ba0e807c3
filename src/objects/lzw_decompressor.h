// The LZW decoder behind /LZWDecode (ISO 32000-1, 7.4.4): variable-width codes of 9 to 12
// bits read most-significant bit first, 256 clears the table, 257 ends the data, and with
// early change the code width grows one code before the table would need it.
// One decompressor serves one decoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace verava {

class TPDFLZWDecompressor {
  public:
    static constexpr int32_t kTableSize = 4096;

    explicit TPDFLZWDecompressor(bool earlyChange);

    // Decodes up to the end code or the end of the data, whichever comes first; the output
    // stops at `limit` bytes.
    std::string Decode(std::string_view data, size_t limit);

  private:
    int32_t ReadCode();
    void ResetWidth();
    void GrowAndAdvance();
    // Appends to Target; false once the limit is reached.
    bool Emit(const std::string& bytes);

    bool EarlyChange;
    int32_t StartWidth = 9;
    int32_t Width = 9;
    std::string_view Source;
    size_t SourceIndex = 0;  // byte holding the next code's first bit
    int32_t BitOffset = 0;   // 0-7 within that byte
    uint32_t WidthMask = 511;
    int32_t EndCode = 257;
    int32_t ResetCode = 256;
    int32_t FreeSlot = 258;
    int32_t WidenAt = 510;
    std::string Target;
    size_t Limit = 0;
    // Each entry holds its whole string, so overwriting a slot never changes an entry made
    // from it earlier; strings are reused in place, so the table stops allocating once warm.
    std::vector<std::string> Table;
    std::string Scratch;
};

}  // namespace verava
