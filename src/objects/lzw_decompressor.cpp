#include "objects/lzw_decompressor.h"

#include <algorithm>

namespace verava {

TPDFLZWDecompressor::TPDFLZWDecompressor(bool earlyChange)
    : EarlyChange(earlyChange), Table(kTableSize) {
    for (int32_t i = 0; i < 256; ++i) Table[i].assign(1, static_cast<char>(i));
}

void TPDFLZWDecompressor::ResetWidth() {
    Width = StartWidth;
    WidthMask = (1u << Width) - 1;
    WidenAt = (1 << Width) - (EarlyChange ? 2 : 1);
}

int32_t TPDFLZWDecompressor::ReadCode() {
    // A code needs all its bits inside the data: the zero bits an encoder pads the last byte
    // with are not a code, so a stream without an end code stops cleanly.
    const size_t position = SourceIndex * 8 + static_cast<size_t>(BitOffset);
    if (position + static_cast<size_t>(Width) > Source.size() * 8) return EndCode;
    const auto byteAt = [this](size_t i) -> uint32_t {
        return i < Source.size() ? static_cast<unsigned char>(Source[i]) : 0u;
    };
    const uint32_t window =
        byteAt(SourceIndex) << 16 | byteAt(SourceIndex + 1) << 8 | byteAt(SourceIndex + 2);
    const int32_t code = static_cast<int32_t>((window >> (24 - BitOffset - Width)) & WidthMask);
    BitOffset += Width;
    SourceIndex += static_cast<size_t>(BitOffset >> 3);
    BitOffset &= 7;
    return code;
}

void TPDFLZWDecompressor::GrowAndAdvance() {
    if (FreeSlot == WidenAt && Width < 12) {
        ++Width;
        WidthMask = (1u << Width) - 1;
        WidenAt = (1 << Width) - (EarlyChange ? 2 : 1);
    }
    // The last slot is overwritten again and again once the table is full.
    if (FreeSlot < kTableSize - 1) ++FreeSlot;
}

bool TPDFLZWDecompressor::Emit(const std::string& bytes) {
    const size_t room = Limit - Target.size();
    if (bytes.size() >= room) {
        Target.append(bytes, 0, room);
        return false;
    }
    Target.append(bytes);
    return true;
}

std::string TPDFLZWDecompressor::Decode(std::string_view data, size_t limit) {
    Source = data;
    SourceIndex = 0;
    BitOffset = 0;
    Limit = limit;
    Target.clear();
    if (Limit == 0) return {};
    Target.reserve(std::min(Limit, data.size() * 3 + 4096));
    ResetWidth();
    FreeSlot = ResetCode + 2;

    int32_t code = ReadCode();
    if (code == ResetCode) code = ReadCode();
    if (code == EndCode || !Emit(Table[code])) return std::move(Target);
    int32_t previous = code;

    while ((code = ReadCode()) != EndCode) {
        if (code == ResetCode) {
            // The code after a clear fills slot 257, which is never looked up (257 reads as
            // the end code); the previous code survives the clear.
            ResetWidth();
            FreeSlot = ResetCode + 1;
            continue;
        }
        if (code < FreeSlot) {
            const std::string& entry = Table[code];
            if (!Emit(entry)) break;
            if (!entry.empty()) {
                Scratch.assign(Table[previous]);
                Scratch.push_back(entry[0]);
                Table[FreeSlot].swap(Scratch);
            }
        } else {
            // A code not yet in the table: the previous string plus its own first byte.
            Scratch.assign(Table[previous]);
            if (!Scratch.empty()) Scratch.push_back(Scratch[0]);
            const bool more = Emit(Scratch);
            Table[FreeSlot].swap(Scratch);
            if (!more) break;
        }
        GrowAndAdvance();
        previous = code;
    }
    return std::move(Target);
}

}  // namespace verava
