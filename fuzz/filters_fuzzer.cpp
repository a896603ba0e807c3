// Stream filters on arbitrary bytes: every decoder on the whole input, the predictors with
// parameters taken from its first bytes, and the chain of TPDFStream::GetDecodedData over a
// stream dictionary whose Filter list and DecodeParms come from a header:
//   byte 0     filter count (low 3 bits), single name instead of array (bit 3),
//              references for names (bit 4)
//   bytes 1-4  filter names, one per byte
//   byte 5     where the parameters go: none, a dictionary, an array, or "DP"
//   bytes 6-17 Predictor, Colors, BitsPerComponent, Columns, EarlyChange (small or 32-bit)
//   the rest   the stream's data
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include "objects/pdf_structure.h"
#include "objects/stream_filters.h"

namespace {

using namespace verava;

// Small enough to keep each run quick, large enough that zip bombs and huge rows hit it.
constexpr size_t kLimit = size_t{1} << 16;
constexpr size_t kHeader = 18;

const char* const kNames[] = {
    "FlateDecode",    "Fl",        "RunLengthDecode", "RL",  "ASCII85Decode", "A85",
    "ASCIIHexDecode", "LZWDecode", "DCTDecode",       "AHx", "LZW",           "flatedecode"};

// A parameter value: mostly plausible, sometimes any 32-bit integer (negative, zero, huge).
int32_t Param(const uint8_t* p) {
    static const int32_t kPlausible[] = {0, 1, 2, 3, 4, 5, 8, 10, 11, 12, 13, 14, 15, 16, 17, 32};
    if ((p[0] & 0x80) == 0) return kPlausible[p[0] & 15] + (p[0] & 0x70);
    int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

TPDFFlateParms ParmsFrom(const uint8_t* p) {
    TPDFFlateParms parms;
    parms.Predictor = Param(p);
    parms.Colors = Param(p + 2);
    parms.BitsPerComponent = Param(p + 4);
    parms.Columns = Param(p + 6);
    return parms;
}

void RunChain(const uint8_t* data, size_t size) {
    TPDFStructure store;
    std::map<int32_t, TPDFObject*> objects;
    store.OnResolveReference = [&objects](TPDFIndRef*, int32_t number, int32_t) -> TPDFObject* {
        const auto it = objects.find(number);
        return it == objects.end() ? nullptr : it->second;
    };
    auto maybeReference = [&](TPDFObject* object, bool useReference) -> TPDFObject* {
        if (!useReference) return object;
        const int32_t number = static_cast<int32_t>(objects.size()) + 1;
        objects[number] = object;
        return store.NewIndRef(number, 0);
    };

    const uint8_t flags = data[0];
    const bool references = (flags & 0x10) != 0;
    const int count = flags & 7;
    TPDFDictionary* dict = store.NewDictionary();
    if ((flags & 8) != 0 && count > 0) {
        dict->SetValue("Filter", maybeReference(store.NewName(kNames[data[1] % 12]), references));
    } else {
        TPDFArray* filters = store.NewArray();
        for (int i = 0; i < count; ++i) {
            const uint8_t pick = data[1 + i % 4];
            if (pick == 0xFF) {
                filters->Add(store.NewNumeric(1));  // not a name: skipped
            } else {
                filters->Add(maybeReference(store.NewName(kNames[pick % 12]), references));
            }
        }
        dict->SetValue("Filter", filters);
    }

    const TPDFFlateParms p = ParmsFrom(data + 6);
    auto parmsDict = [&] {
        TPDFDictionary* d = store.NewDictionary();
        d->SetValue("Predictor", store.NewNumeric(p.Predictor));
        d->SetValue("Colors", store.NewNumeric(p.Colors));
        d->SetValue("BitsPerComponent", store.NewNumeric(p.BitsPerComponent));
        d->SetValue("Columns", store.NewNumeric(p.Columns));
        d->SetValue("EarlyChange", store.NewNumeric(data[14] & 1));
        return d;
    };
    switch (data[5] % 4) {
        case 1:
            dict->SetValue("DecodeParms", maybeReference(parmsDict(), references));
            break;
        case 2: {
            TPDFArray* list = store.NewArray();
            for (int i = 0; i < (data[5] >> 2) % 6; ++i) {
                list->Add(((data[5] >> (2 + i)) & 1) != 0
                              ? store.NewNull()
                              : maybeReference(parmsDict(), references));
            }
            dict->SetValue("DecodeParms", list);
            break;
        }
        case 3:
            dict->SetValue("DP", parmsDict());
            break;
        default:
            break;
    }

    const std::string_view payload(reinterpret_cast<const char*>(data + kHeader), size - kHeader);
    TPDFStream* stream = store.NewStreamWith(dict, ByteSlice(std::string(payload)));
    const std::string decoded = DecodeStreamData(*stream, kLimit);
    // Only data left as stored may exceed the limit.
    if (decoded.size() > kLimit && decoded != payload) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);

    // Each decoder alone; none may produce more than the limit.
    const std::string outputs[] = {
        FlateDecode(in, kLimit),    RunLengthDecode(in, kLimit), ASCII85Decode(in, kLimit),
        ASCIIHexDecode(in, kLimit), LZWDecode(in, true, kLimit), LZWDecode(in, false, kLimit),
    };
    for (const std::string& out : outputs) {
        if (out.size() > kLimit) __builtin_trap();
    }

    if (size >= kHeader) {
        // The predictors with parameters from the header, on the rest.
        const TPDFFlateParms p = ParmsFrom(data + 6);
        const std::string rest(in.substr(kHeader));
        if (UnpredictFlate(rest, p, kLimit).size() > kLimit) __builtin_trap();
        std::string lzw = rest;
        UnpredictLZWTiff(lzw, p.Columns, p.Colors);
        if (lzw.size() != rest.size()) __builtin_trap();

        RunChain(data, size);
    }
    return 0;
}
