#include "content/image_reducer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "content/image_codecs.h"
#include "content/jpeg_reducer.h"
#include "objects/pdf_structure.h"
#include "objects/stream_filters.h"

namespace verava {
namespace {

// Named colour spaces may name others; a chain longer than this is nonsense.
constexpr int kMaxColourSpaceDepth = 4;
// Width and height beyond this (a 2 m sheet at 600 dpi is 47000 pixels) are nonsense.
constexpr int32_t kMaxSide = 1 << 17;

// Tint: Separation and DeviceN colourants, read by how much ink they lay (their alternate
// space and tint transform are not run: a tint of 0 is paper, anything more is ink).
enum class Model { Gray, Rgb, Cmyk, Tint };

int ComponentsOf(Model model) {
    switch (model) {
        case Model::Gray:
            return 1;
        case Model::Rgb:
            return 3;
        case Model::Cmyk:
            return 4;
        case Model::Tint:
            return 1;
    }
    return 1;
}

// How samples become colours: a device model, or a palette over one (then one sample per
// pixel indexes `palette`, which holds each entry's luminance).
struct ColourSpace {
    Model model = Model::Gray;
    int tints = 1;  // Tint: the number of colourants
    bool indexed = false;
    int32_t highest = 0;           // Indexed: the highest index
    std::vector<uint8_t> palette;  // Indexed: luminance of entries 0..highest
    int Components() const {
        if (indexed) return 1;
        return model == Model::Tint ? tints : ComponentsOf(model);
    }
};

// The most colourants a DeviceN space may have (ISO 32000-1, C.2: 32).
constexpr int kMaxTints = 32;

TPDFObject* Resolve(TPDFObject* object) { return ResolveIfReference(object); }

uint8_t Luminance(int r, int g, int b) {
    return static_cast<uint8_t>((77 * r + 150 * g + 29 * b + 128) >> 8);
}

uint8_t CmykLuminance(int c, int m, int y, int k) {
    return Luminance(255 - std::min(255, c + k), 255 - std::min(255, m + k),
                     255 - std::min(255, y + k));
}

bool ReadDeviceName(std::string_view name, Model& model) {
    if (name == "DeviceGray" || name == "G" || name == "CalGray") {
        model = Model::Gray;
    } else if (name == "DeviceRGB" || name == "RGB" || name == "CalRGB") {
        model = Model::Rgb;
    } else if (name == "DeviceCMYK" || name == "CMYK") {
        model = Model::Cmyk;
    } else {
        return false;
    }
    return true;
}

bool ReadColourSpace(TPDFObject* value, const TPDFDictionary* named, int depth, ColourSpace& space);

// The palette of [/Indexed base hival lookup] as luminance per entry.
bool ReadIndexed(const TPDFArray& array, const TPDFDictionary* named, int depth,
                 ColourSpace& space) {
    ColourSpace base;
    if (array.Count() < 4 || !ReadColourSpace(array.Get(1), named, depth + 1, base) ||
        base.indexed) {
        return false;
    }
    const auto* high = As<TPDFNumeric>(Resolve(array.Get(2)));
    if (high == nullptr || high->AsInteger() < 0 || high->AsInteger() > 255) return false;
    std::string lookup;
    TPDFObject* table = Resolve(array.Get(3));
    if (const auto* text = As<TPDFString>(table)) {
        lookup = text->Bytes;
    } else if (const auto* stream = As<TPDFStream>(table)) {
        lookup = stream->GetDecodedData();
    } else {
        return false;
    }
    const int components = base.Components();
    const int32_t entries = high->AsInteger() + 1;
    if (lookup.size() < static_cast<size_t>(entries) * static_cast<size_t>(components)) {
        return false;
    }
    space.model = base.model;
    space.indexed = true;
    space.highest = high->AsInteger();
    space.palette.resize(static_cast<size_t>(entries));
    for (int32_t i = 0; i < entries; ++i) {
        const auto* p = reinterpret_cast<const uint8_t*>(lookup.data()) +
                        static_cast<size_t>(i) * static_cast<size_t>(components);
        uint8_t lum = p[0];
        if (base.model == Model::Rgb) lum = Luminance(p[0], p[1], p[2]);
        if (base.model == Model::Cmyk) lum = CmykLuminance(p[0], p[1], p[2], p[3]);
        if (base.model == Model::Tint) {
            lum = static_cast<uint8_t>(255 - *std::max_element(p, p + components));
        }
        space.palette[static_cast<size_t>(i)] = lum;
    }
    return true;
}

bool ReadColourSpace(TPDFObject* value, const TPDFDictionary* named, int depth,
                     ColourSpace& space) {
    if (depth > kMaxColourSpaceDepth) return false;
    value = Resolve(value);
    if (const auto* name = As<TPDFName>(value)) {
        if (ReadDeviceName(name->Text, space.model)) return true;
        // A name of the page's resources.
        if (named == nullptr) return false;
        return ReadColourSpace(named->GetValue(name->Text), named, depth + 1, space);
    }
    const auto* array = As<TPDFArray>(value);
    if (array == nullptr || array->Count() == 0) return false;
    const auto* family = As<TPDFName>(Resolve(array->Get(0)));
    if (family == nullptr) return false;
    if (family->Text == "Indexed" || family->Text == "I") {
        return ReadIndexed(*array, named, depth, space);
    }
    if (family->Text == "Separation" || family->Text == "DeviceN") {
        // [/Separation /Name alt tint] or [/DeviceN [/A /B ...] alt tint ...]. (A colourant
        // named None lays no ink; reading its tint as ink can only keep a page.)
        space.model = Model::Tint;
        space.tints = 1;
        if (family->Text == "DeviceN") {
            const auto* names = As<TPDFArray>(Resolve(array->Get(1)));
            if (names == nullptr || names->Count() < 1 || names->Count() > kMaxTints) {
                return false;
            }
            space.tints = names->Count();
        }
        return array->Count() >= 4;
    }
    if (family->Text == "ICCBased") {
        // The profile's component count decides how its samples read as grey, RGB or CMYK.
        const auto* profile = As<TPDFStream>(Resolve(array->Get(1)));
        const int32_t n = profile != nullptr && profile->StreamDict() != nullptr
                              ? profile->StreamDict()->GetInteger("N", 0)
                              : 0;
        if (n == 1) space.model = Model::Gray;
        if (n == 3) space.model = Model::Rgb;
        if (n == 4) space.model = Model::Cmyk;
        return n == 1 || n == 3 || n == 4;
    }
    // [/CalGray << >>], [/CalRGB << >>] and arrays holding a device name.
    return ReadDeviceName(family->Text, space.model);
}

// Decode ranges of the image, two per component, or nothing when not given or malformed.
std::vector<double> ReadDecode(const TPDFDictionary& dict, int components) {
    std::vector<double> ranges;
    const auto* array = As<TPDFArray>(dict.GetValue("Decode", true));
    if (array == nullptr || array->Count() < 2 * components) return ranges;
    for (int i = 0; i < 2 * components; ++i) {
        const auto* number = As<TPDFNumeric>(Resolve(array->Get(i)));
        if (number == nullptr || !std::isfinite(number->NumValue)) return {};
        ranges.push_back(number->NumValue);
    }
    return ranges;
}

// Turns rows of 8-bit samples (one byte per component) into luminance through one table
// per component: each table maps a sample to the component's 0..255 value after the Decode
// ranges (or, for an indexed image, straight to the palette entry's luminance).
class SampleConverter {
  public:
    // `bits` is the sample depth of the image before it was widened to bytes.
    SampleConverter(const ColourSpace& space, const std::vector<double>& decode, int bits,
                    bool invert)
        : space_(space) {
        const int components = space.Components();
        const double maxSample = bits >= 8 ? 255.0 : static_cast<double>((1 << bits) - 1);
        for (int c = 0; c < components; ++c) {
            double low = 0;
            double high = space.indexed ? maxSample : 1;
            if (!decode.empty()) {
                low = decode[static_cast<size_t>(2 * c)];
                high = decode[static_cast<size_t>(2 * c + 1)];
            }
            if (invert) std::swap(low, high);
            auto& table = tables_[static_cast<size_t>(c)];
            for (int s = 0; s < 256; ++s) {
                const double v = low + std::min<double>(s, maxSample) * (high - low) / maxSample;
                if (space.indexed) {
                    const double index = std::clamp(std::round(v), 0.0, double(space.highest));
                    table[static_cast<size_t>(s)] = space.palette[static_cast<size_t>(index)];
                } else {
                    table[static_cast<size_t>(s)] =
                        static_cast<uint8_t>(std::clamp(std::round(v * 255), 0.0, 255.0));
                }
            }
        }
    }

    int Components() const { return space_.Components(); }

    // `samples` holds `width` pixels of Components() bytes each.
    void Convert(const uint8_t* samples, int32_t width, uint8_t* luminance) const {
        const auto& t0 = tables_[0];
        if (space_.indexed || space_.model == Model::Gray) {
            for (int32_t x = 0; x < width; ++x) luminance[x] = t0[samples[x]];
            return;
        }
        if (space_.model == Model::Tint) {
            // The tables give tint, 255 the most ink; the most of any colourant decides.
            const int tints = space_.tints;
            for (int32_t x = 0; x < width; ++x, samples += tints) {
                uint8_t most = 0;
                for (int c = 0; c < tints; ++c) {
                    most = std::max(most, tables_[static_cast<size_t>(c)][samples[c]]);
                }
                luminance[x] = static_cast<uint8_t>(255 - most);
            }
            return;
        }
        const auto& t1 = tables_[1];
        const auto& t2 = tables_[2];
        if (space_.model == Model::Rgb) {
            for (int32_t x = 0; x < width; ++x, samples += 3) {
                luminance[x] = Luminance(t0[samples[0]], t1[samples[1]], t2[samples[2]]);
            }
            return;
        }
        // The CMYK tables give ink, 255 the most.
        const auto& t3 = tables_[3];
        for (int32_t x = 0; x < width; ++x, samples += 4) {
            luminance[x] =
                CmykLuminance(t0[samples[0]], t1[samples[1]], t2[samples[2]], t3[samples[3]]);
        }
    }

  private:
    ColourSpace space_;
    std::array<std::array<uint8_t, 256>, kMaxTints> tables_{};
};

// Samples of `bits` bits (1, 2, 4, 8 or 16) packed most significant first, widened to one
// byte each (16-bit samples keep their high byte; the tables are built for that).
void WidenRow(const uint8_t* packed, int64_t samples, int bits, uint8_t* out) {
    switch (bits) {
        case 8:
            std::copy(packed, packed + samples, out);
            return;
        case 16:
            for (int64_t i = 0; i < samples; ++i) out[i] = packed[2 * i];
            return;
        default: {
            const int perByte = 8 / bits;
            const int mask = (1 << bits) - 1;
            for (int64_t i = 0; i < samples; ++i) {
                const int shift = 8 - bits * (1 + static_cast<int>(i % perByte));
                out[i] = static_cast<uint8_t>((packed[i / perByte] >> shift) & mask);
            }
        }
    }
}

bool IsDct(std::string_view name) { return name == "DCTDecode" || name == "DCT"; }
bool IsFax(std::string_view name) { return name == "CCITTFaxDecode" || name == "CCF"; }
bool IsJbig2(std::string_view name) { return name == "JBIG2Decode"; }
bool IsJpx(std::string_view name) { return name == "JPXDecode"; }

size_t ImageLimit(const TPDFStream& image) {
    return std::min(kMaxImageBytes, image.Store()->DecodeLimit);
}

// The data of the last filter: filters in front of it (ASCII85, say) are undone first;
// DecodeStreamData passes the image filters over and so yields the coded image itself. False
// when a filter in front is not one of ours. `undone` holds the bytes `coded` may view.
bool CodedData(const TPDFStream& image, const std::vector<std::string_view>& filters,
               std::string& undone, std::string_view& coded) {
    coded = image.Data();
    if (filters.size() < 2) return true;
    for (size_t i = 0; i + 1 < filters.size(); ++i) {
        if (!DecodesFilter(filters[i])) return false;
    }
    undone = DecodeStreamData(image, ImageLimit(image));
    coded = undone;
    return true;
}

bool ReduceJpeg(const TPDFStream& image, const std::vector<std::string_view>& filters,
                const TPDFDictionary& dict, TLuminanceGrid& grid) {
    std::string undone;
    std::string_view jpeg;
    if (!CodedData(image, filters, undone, jpeg)) return false;
    // Decode ranges change the picture only when they differ from [0 1 ...]; for three
    // components they must then apply to R, G and B rather than to the luminance.
    std::vector<double> decode = ReadDecode(dict, 4);
    if (decode.empty()) decode = ReadDecode(dict, 3);
    if (decode.empty()) decode = ReadDecode(dict, 1);
    const bool decodeGiven = !decode.empty();
    bool plainDecode = true;
    for (size_t i = 0; i < decode.size(); ++i) {
        if (decode[i] != (i % 2 == 0 ? 0.0 : 1.0)) plainDecode = false;
    }
    if (plainDecode) decode.clear();
    const bool colourDecode = decode.size() == 6;
    TReducedJpeg reduced;
    // Twice the grid's size, so that each cell's quarters are decoded pixels.
    if (!DecodeJpegReduced(jpeg, 2 * kReducedLongSide, colourDecode, reduced)) return false;
    ColourSpace space;
    space.model = reduced.Components == 1   ? Model::Gray
                  : reduced.Components == 3 ? Model::Rgb
                                            : Model::Cmyk;
    if (!decode.empty() && decode.size() != static_cast<size_t>(2 * reduced.Components)) {
        return false;  // ranges for another number of components: no reading is sure
    }
    // Photoshop's inverted CMYK, unless the file's own Decode array says how to read it.
    // (Guessing wrong cannot drop a page: inverted paper is dark, and dark paper is content.)
    const bool invert = reduced.AdobeCmyk && !decodeGiven;
    const SampleConverter converter(space, decode, 8, invert);
    TGridReducer reducer(reduced.Width, reduced.Height,
                         TGridReducer::FactorFor(reduced.Width, reduced.Height));
    std::vector<uint8_t> row(static_cast<size_t>(reduced.Width));
    const size_t stride = static_cast<size_t>(reduced.Width) * reduced.Components;
    for (int32_t y = 0; y < reduced.Height; ++y) {
        converter.Convert(reduced.Samples.data() + stride * static_cast<size_t>(y), reduced.Width,
                          row.data());
        reducer.AddRow(row.data());
    }
    grid = reducer.Grid();
    return true;
}

// A stencil mask (ImageMask true) paints its 0 samples (its 1 samples with Decode [1 0]) in
// the current fill colour. That colour is not followed here: painted is taken as black, so
// marks count as ink whatever their colour, as for a 1-bit grey image.
bool IsStencilMask(const TPDFDictionary& dict) {
    for (const char* key : {"ImageMask", "IM"}) {
        if (const auto* mask = As<TPDFBoolean>(dict.GetValue(key, true))) return mask->Truth;
    }
    return false;
}

// Rows from an image codec, through the colour space and Decode ranges, into the grid.
class TReducingSink : public TSampleSink {
  public:
    // `space` null: the space follows the samples per pixel (1 grey, 3 RGB, 4 CMYK). `width`
    // and `height` 0: any size is taken (a JPX decoded at reduced resolution). `bits` as for
    // SampleConverter: 1 for bilevel samples delivered as 0 and 255.
    TReducingSink(std::optional<ColourSpace> space, std::vector<double> decode, int bits,
                  int32_t width, int32_t height)
        : space_(std::move(space)),
          decode_(std::move(decode)),
          bits_(bits),
          width_(width),
          height_(height) {}

    bool Begin(int32_t width, int32_t height, int32_t components) override {
        if (width_ != 0 && (width != width_ || height != height_)) return false;
        ColourSpace space;
        if (space_) {
            space = *space_;
        } else {
            space.model = components == 1   ? Model::Gray
                          : components == 3 ? Model::Rgb
                                            : Model::Cmyk;
        }
        if (space.Components() != components) return false;
        if (!decode_.empty() && decode_.size() != static_cast<size_t>(2 * components)) {
            return false;
        }
        width_ = width;
        height_ = height;
        converter_.emplace(space, decode_, bits_, false);
        reducer_.emplace(width, height, TGridReducer::FactorFor(width, height), bits_ != 1);
        row_.resize(static_cast<size_t>(width));
        return true;
    }

    void Row(const uint8_t* samples) override {
        converter_->Convert(samples, width_, row_.data());
        reducer_->AddRow(row_.data());
        ++rows_;
    }

    // The two samples' luminance once, then the runs straight into the grid.
    void RunRow(const int32_t* changes, size_t count, int32_t width, uint8_t first,
                uint8_t second) override {
        if (width != width_ || converter_->Components() != 1) {
            TSampleSink::RunRow(changes, count, width, first, second);
            return;
        }
        if (!levels_ || levels_->samples[0] != first || levels_->samples[1] != second) {
            Levels levels{{first, second}, {0, 0}};
            converter_->Convert(levels.samples, 2, levels.luminance);
            levels_ = levels;
        }
        reducer_->AddRuns(changes, count, levels_->luminance[0], levels_->luminance[1]);
        ++rows_;
    }

    // The grid, once every row came.
    bool Finish(TLuminanceGrid& grid) const {
        if (!reducer_ || rows_ != height_) return false;
        grid = reducer_->Grid();
        return true;
    }

  private:
    std::optional<ColourSpace> space_;
    std::vector<double> decode_;
    int bits_;
    int32_t width_;
    int32_t height_;
    int32_t rows_ = 0;
    std::optional<SampleConverter> converter_;
    std::optional<TGridReducer> reducer_;
    std::vector<uint8_t> row_;
    struct Levels {
        uint8_t samples[2];
        uint8_t luminance[2];
    };
    std::optional<Levels> levels_;  // RunRow's two samples and what they become
};

// CCITT fax, JBIG2 and JPEG 2000 images through their codecs (image_codecs.h).
bool ReduceCoded(const TPDFStream& image, const std::vector<std::string_view>& filters,
                 const TPDFDictionary& dict, const TPDFDictionary* colourSpaces,
                 TLuminanceGrid& grid) {
    std::string undone;
    std::string_view coded;
    if (!CodedData(image, filters, undone, coded)) return false;
    const TPDFDictionary* parms = StreamFilterParms(&dict, filters.size()).back();
    const std::string_view last = filters.back();
    const size_t limit = ImageLimit(image);

    if (IsJpx(last)) {
        if (IsStencilMask(dict)) return false;  // a JPX stencil: no scanner writes one
        // The colour space of the dictionary wins over the file's; Decode is ignored
        // (ISO 32000-1, 8.9.5 and 7.4.9).
        std::optional<ColourSpace> space;
        if (TPDFObject* given = dict.GetValue("ColorSpace")) {
            space.emplace();
            if (!ReadColourSpace(given, colourSpaces, 0, *space)) return false;
        }
        TJpxInfo info;
        TReducingSink sink(space, {}, 8, 0, 0);
        if (!DecodeJpx(coded, 2 * kReducedLongSide, limit, sink, &info)) return false;
        // Palette indices must not be rescaled: only 8-bit ones are read.
        if (space && space->indexed && info.Precision != 8) return false;
        return sink.Finish(grid);
    }

    // Fax and JBIG2 deliver one bit per pixel, the filter's output bits widened; a stencil
    // mask of them reads as a 1-bit grey image, as IsStencilMask says.
    const int32_t width = dict.GetInteger("Width", 0);
    const int32_t height = dict.GetInteger("Height", 0);
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
    const bool stencil = IsStencilMask(dict);
    if (!stencil && dict.GetInteger("BitsPerComponent", 1) != 1) return false;
    ColourSpace space;
    if (!stencil && !ReadColourSpace(dict.GetValue("ColorSpace"), colourSpaces, 0, space)) {
        return false;
    }
    TReducingSink sink(space, ReadDecode(dict, space.Components()), 1, width, height);
    if (IsFax(last)) {
        if (!DecodeFax(coded, ReadFaxOptions(parms), width, height, limit, sink)) return false;
    } else {
        std::string globals;
        if (parms != nullptr) {
            if (const auto* stream = As<TPDFStream>(parms->GetValue("JBIG2Globals", true))) {
                globals = stream->GetDecodedData();
            }
        }
        if (!DecodeJbig2(coded, globals, limit, sink)) return false;
    }
    return sink.Finish(grid);
}

bool ReduceSampled(const TPDFStream& image, const std::vector<std::string_view>& filters,
                   const TPDFDictionary& dict, const TPDFDictionary* colourSpaces,
                   TLuminanceGrid& grid) {
    for (std::string_view filter : filters) {
        if (!DecodesFilter(filter)) return false;
    }
    const bool stencil = IsStencilMask(dict);
    const int32_t width = dict.GetInteger("Width", 0);
    const int32_t height = dict.GetInteger("Height", 0);
    const int32_t bits = stencil ? 1 : dict.GetInteger("BitsPerComponent", 0);
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16) return false;
    ColourSpace space;
    if (!stencil && !ReadColourSpace(dict.GetValue("ColorSpace"), colourSpaces, 0, space)) {
        return false;
    }
    if (space.indexed && bits == 16) return false;
    const int components = space.Components();
    const std::vector<double> decode = ReadDecode(dict, components);

    const int64_t samplesPerRow = static_cast<int64_t>(width) * components;
    const int64_t rowBytes = (samplesPerRow * bits + 7) / 8;
    const uint64_t expected = static_cast<uint64_t>(rowBytes) * static_cast<uint64_t>(height);
    if (expected > ImageLimit(image)) return false;
    std::string decoded;
    std::string_view data = image.Data();
    if (!filters.empty()) {
        decoded = DecodeStreamData(image, expected);
        data = decoded;
    }
    // Short data would leave part of the picture unknown; missing rows are not paper.
    if (data.size() < expected) return false;

    const SampleConverter converter(space, decode, bits, false);
    TGridReducer reducer(width, height, TGridReducer::FactorFor(width, height), bits != 1);
    std::vector<uint8_t> widened(static_cast<size_t>(samplesPerRow));
    std::vector<uint8_t> row(static_cast<size_t>(width));
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    for (int32_t y = 0; y < height; ++y) {
        WidenRow(bytes + static_cast<size_t>(rowBytes) * static_cast<size_t>(y), samplesPerRow,
                 bits, widened.data());
        converter.Convert(widened.data(), width, row.data());
        reducer.AddRow(row.data());
    }
    grid = reducer.Grid();
    return true;
}

}  // namespace

bool ReduceImage(const TPDFStream& image, const TPDFDictionary* colourSpaces,
                 TLuminanceGrid& grid) {
    try {
        const TPDFDictionary* dict = image.StreamDict();
        if (dict == nullptr || image.Store() == nullptr) return false;
        const std::vector<std::string_view> filters = StreamFilterNames(dict);
        if (!filters.empty() && IsDct(filters.back())) {
            return ReduceJpeg(image, filters, *dict, grid);
        }
        if (!filters.empty() &&
            (IsFax(filters.back()) || IsJbig2(filters.back()) || IsJpx(filters.back()))) {
            return ReduceCoded(image, filters, *dict, colourSpaces, grid);
        }
        return ReduceSampled(image, filters, *dict, colourSpaces, grid);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace verava
