// JBIG2Decode through jbig2dec, with an allocator that holds the decoder to a budget and an
// error callback that turns every complaint into failure.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <vector>

#include "content/image_codecs.h"

// Last: jbig2.h needs the fixed-width integer types declared, and defines `inline` away when
// it is not a macro, which it never is in C++.
#include <jbig2.h>
#undef inline

namespace verava {
namespace {

// Symbol dictionaries and decoding contexts of a small image may need more than its pixel
// budget in bytes; this much is always allowed.
constexpr size_t kMinJbig2Memory = size_t{16} << 20;

// T.88 segment types read here: symbol dictionaries (7.4.2) and text regions (7.4.3), whose
// counts are checked, and the end of a file (7.4.11), which ends the walk.
constexpr uint8_t kSymbolDictionary = 0;
constexpr uint8_t kEndOfFile = 51;

// jbig2dec decodes as many symbols or glyph instances as a segment announces, from data
// long exhausted if need be: a count of four billion is hours of work. A real one costs
// bits: even a dense page of 5000 glyphs codes each in several. Counts beyond this many per
// byte of the segment, past a floor, are refused.
constexpr uint64_t kMaxCountPerByte = 16;
constexpr uint64_t kMinCountAllowed = 4096;

// The immediate region segments (T.88, 7.3): text, halftone, generic and refinement, each
// lossy and lossless. Only they paint the page.
bool PaintsThePage(uint8_t type) {
    switch (type) {
        case 6:
        case 7:
        case 22:
        case 23:
        case 38:
        case 39:
        case 42:
        case 43:
            return true;
        default:
            return false;
    }
}

// jbig2dec's allocator with a running total: a block's size is kept in front of it, and an
// allocation past the budget fails, which jbig2dec reports as a fatal error.
struct TBudgetAllocator {
    Jbig2Allocator base;  // first, so jbig2dec's pointer is ours
    size_t limit;
    size_t used = 0;

    static constexpr size_t kHeader = alignof(std::max_align_t);

    static TBudgetAllocator* Of(Jbig2Allocator* allocator) {
        return reinterpret_cast<TBudgetAllocator*>(allocator);
    }
    static size_t& SizeOf(void* block) {
        return *reinterpret_cast<size_t*>(static_cast<char*>(block) - kHeader);
    }
    static void* Alloc(Jbig2Allocator* allocator, size_t size) {
        TBudgetAllocator* self = Of(allocator);
        if (size > self->limit - self->used) return nullptr;
        auto* raw = static_cast<char*>(std::malloc(size + kHeader));
        if (raw == nullptr) return nullptr;
        self->used += size;
        *reinterpret_cast<size_t*>(raw) = size;
        return raw + kHeader;
    }
    static void Free(Jbig2Allocator* allocator, void* block) {
        if (block == nullptr) return;
        Of(allocator)->used -= SizeOf(block);
        std::free(static_cast<char*>(block) - kHeader);
    }
    static void* Realloc(Jbig2Allocator* allocator, void* block, size_t size) {
        if (block == nullptr) return Alloc(allocator, size);
        TBudgetAllocator* self = Of(allocator);
        const size_t old = SizeOf(block);
        if (size > old && size - old > self->limit - self->used) return nullptr;
        auto* raw =
            static_cast<char*>(std::realloc(static_cast<char*>(block) - kHeader, size + kHeader));
        if (raw == nullptr) return nullptr;
        self->used = self->used - old + size;
        *reinterpret_cast<size_t*>(raw) = size;
        return raw + kHeader;
    }
};

// Warnings too: jbig2dec papers over damage (a region cut short is left white), and white is
// exactly what must not be invented here.
void NoteComplaint(void* failed, const char*, Jbig2Severity severity, uint32_t) {
    if (severity == JBIG2_SEVERITY_WARNING || severity == JBIG2_SEVERITY_FATAL) {
        *static_cast<bool*>(failed) = true;
    }
}

uint32_t Read32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

bool IsTextRegion(uint8_t type) { return type == 4 || type == 6 || type == 7; }

// Where a segment's count of new symbols (symbol dictionary, 7.4.2.1) or of glyph instances
// (text region, 7.4.3.1) sits in its data, after the flags and the adaptive template pixels
// they call for; 0 when `data` is too short to say.
size_t CountOffset(uint8_t type, const uint8_t* data, size_t size) {
    if (type == kSymbolDictionary) {
        if (size < 2) return 0;
        const unsigned flags = static_cast<unsigned>(data[0]) << 8 | data[1];
        const bool huffman = (flags & 1) != 0;
        const bool refinement = (flags & 2) != 0;
        const unsigned templateId = (flags >> 10) & 3;
        const bool refinementTemplate = (flags & 0x1000) != 0;
        size_t offset = 2;
        if (!huffman) offset += templateId == 0 ? 8 : 2;
        if (refinement && !refinementTemplate) offset += 4;
        return offset + 4;  // SDNUMNEWSYMS follows SDNUMEXSYMS
    }
    constexpr size_t kRegionInfo = 17;
    if (size < kRegionInfo + 2) return 0;
    const unsigned flags = static_cast<unsigned>(data[kRegionInfo]) << 8 | data[kRegionInfo + 1];
    const bool huffman = (flags & 1) != 0;
    const bool refinement = (flags & 2) != 0;
    const bool refinementTemplate = (flags & 0x8000) != 0;
    size_t offset = kRegionInfo + 2;
    if (huffman) offset += 2;
    if (refinement && !refinementTemplate) offset += 4;
    return offset;
}

// False for a symbol dictionary or text region announcing more than its length can code.
bool PlausibleCount(uint8_t type, const uint8_t* data, size_t size) {
    if (type != kSymbolDictionary && !IsTextRegion(type)) return true;
    const size_t offset = CountOffset(type, data, size);
    if (offset == 0 || offset + 4 > size) return true;  // jbig2dec finds it too short
    return Read32(data + offset) <= kMinCountAllowed + kMaxCountPerByte * size;
}

// True when `data` is whole segments (T.88, 7.2 headers and their data lengths), maybe
// followed by a few bytes of line end or padding. jbig2dec waits for the rest of a segment
// cut short and never says so: the regions it holds would simply be missing from the page.
// Segments of unknown length (allowed for immediate generic regions) are refused as well, and
// so are symbol and glyph counts a segment's length cannot hold (kMaxCountPerByte).
// `regions` counts the segments that paint the page.
bool WholeSegments(std::string_view data, int& regions) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    const size_t size = data.size();
    size_t pos = 0;
    while (pos < size) {
        const size_t left = size - pos;
        if (left < 11) {
            // Too short for any header: only line-end or padding bytes may remain.
            for (size_t i = pos; i < size; ++i) {
                if (bytes[i] != 0 && bytes[i] != '\r' && bytes[i] != '\n' && bytes[i] != ' ') {
                    return false;
                }
            }
            return true;
        }
        const uint32_t number = Read32(bytes + pos);
        const uint8_t flags = bytes[pos + 4];
        size_t header = 5;
        uint64_t referred = bytes[pos + header] >> 5;
        if (referred == 7) {
            // Long form: a 29-bit count, then one retention bit per segment and itself.
            referred = Read32(bytes + pos + header) & 0x1FFFFFFF;
            header += 4 + (referred + 8) / 8;
        } else {
            header += 1;
        }
        const uint64_t referenceSize = number <= 256 ? 1 : number <= 65536 ? 2 : 4;
        const uint64_t fullHeader =
            header + referred * referenceSize + ((flags & 0x40) != 0 ? 4 : 1) + 4;
        if (fullHeader > left) return false;
        const uint32_t length = Read32(bytes + pos + fullHeader - 4);
        if (length == 0xFFFFFFFF || length > left - fullHeader) return false;
        const uint8_t type = flags & 0x3F;
        if (!PlausibleCount(type, bytes + pos + fullHeader, length)) return false;
        pos += static_cast<size_t>(fullHeader) + length;
        if (PaintsThePage(type)) ++regions;
        if (type == kEndOfFile) return true;
    }
    return true;
}

struct TContexts {
    Jbig2Ctx* globalsReader = nullptr;  // until it becomes `globals`
    Jbig2GlobalCtx* globals = nullptr;
    Jbig2Ctx* page = nullptr;
    Jbig2Image* image = nullptr;
    ~TContexts() {
        if (image != nullptr) jbig2_release_page(page, image);
        if (page != nullptr) jbig2_ctx_free(page);
        if (globalsReader != nullptr) jbig2_ctx_free(globalsReader);
        if (globals != nullptr) jbig2_global_ctx_free(globals);
    }
};

bool Decode(std::string_view data, std::string_view globalData, size_t maxPixels,
            TSampleSink& sink) {
    // A page of no region at all would come out white; a stream cut behind its page
    // information looks just like that, and no scanner codes a page so.
    int regions = 0;
    if (data.empty() || !WholeSegments(data, regions) || regions == 0) return false;
    int globalRegions = 0;
    if (!globalData.empty() && !WholeSegments(globalData, globalRegions)) return false;
    TBudgetAllocator allocator{
        {TBudgetAllocator::Alloc, TBudgetAllocator::Free, TBudgetAllocator::Realloc},
        std::max(maxPixels, kMinJbig2Memory)};
    bool failed = false;
    {
        // Declared inside, so that everything is freed before `allocator` goes.
        TContexts contexts;
        if (!globalData.empty()) {
            contexts.globalsReader = jbig2_ctx_new(&allocator.base, JBIG2_OPTIONS_EMBEDDED, nullptr,
                                                   NoteComplaint, &failed);
            if (contexts.globalsReader == nullptr) return false;
            if (jbig2_data_in(contexts.globalsReader,
                              reinterpret_cast<const unsigned char*>(globalData.data()),
                              globalData.size()) < 0 ||
                failed) {
                return false;
            }
            contexts.globals = jbig2_make_global_ctx(contexts.globalsReader);
            contexts.globalsReader = nullptr;  // now owned through `globals`
            if (contexts.globals == nullptr) return false;
        }
        contexts.page = jbig2_ctx_new(&allocator.base, JBIG2_OPTIONS_EMBEDDED, contexts.globals,
                                      NoteComplaint, &failed);
        if (contexts.page == nullptr) return false;
        if (jbig2_data_in(contexts.page, reinterpret_cast<const unsigned char*>(data.data()),
                          data.size()) < 0 ||
            failed) {
            return false;
        }
        contexts.image = jbig2_page_out(contexts.page);
        if (contexts.image == nullptr) {
            // Embedded streams usually end without an end-of-page segment (ISO 32000-1, 7.4.7).
            if (jbig2_complete_page(contexts.page) < 0 || failed) return false;
            contexts.image = jbig2_page_out(contexts.page);
        }
        const Jbig2Image* image = contexts.image;
        if (image == nullptr || failed || image->data == nullptr) return false;
        if (image->width == 0 || image->height == 0 || image->width > kMaxCodecSide ||
            image->height > kMaxCodecSide ||
            static_cast<uint64_t>(image->width) * image->height > maxPixels ||
            image->stride < (image->width + 7) / 8) {
            return false;
        }
        const auto width = static_cast<int32_t>(image->width);
        const auto height = static_cast<int32_t>(image->height);
        if (!sink.Begin(width, height, 1)) return false;
        std::vector<uint8_t> samples(static_cast<size_t>(width));
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* row = image->data + static_cast<size_t>(y) * image->stride;
            // JBIG2 codes black as 1; the filter yields it as 0 (ISO 32000-1, 7.4.7).
            for (int32_t x = 0; x < width; ++x) {
                const bool ink = (row[x / 8] >> (7 - x % 8)) & 1;
                samples[static_cast<size_t>(x)] = ink ? 0 : 255;
            }
            sink.Row(samples.data());
        }
    }
    return true;
}

}  // namespace

bool DecodeJbig2(std::string_view data, std::string_view globals, size_t maxPixels,
                 TSampleSink& sink) {
    try {
        return Decode(data, globals, maxPixels, sink);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace verava
