#include "support/scanned_pages.h"

// jpeglib.h needs size_t and FILE declared first.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace verava::testing {
namespace {

struct Random {
    uint32_t state;
    explicit Random(uint32_t seed) : state(seed * 2654435761u + 0x9E3779B9u) {
        if (state == 0) state = 1;
    }
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    // Uniform in [low, high].
    int Between(int low, int high) {
        return low + static_cast<int>(Next() % static_cast<uint32_t>(high - low + 1));
    }
    // Roughly normal noise of standard deviation `sigma` (a sum of two uniform bytes).
    int Noise(int sigma) {
        const uint32_t r = Next();
        return (static_cast<int>((r & 0xFF) + ((r >> 8) & 0xFF)) - 255) * sigma / 104;
    }
};

class Canvas {
  public:
    Canvas(int width, int height) : scan_{width, height, std::string()} {
        scan_.pixels.assign(static_cast<size_t>(width) * height, '\xFF');
    }
    GreyScan& Scan() { return scan_; }
    int Width() const { return scan_.width; }
    int Height() const { return scan_.height; }
    uint8_t Get(int x, int y) const {
        return static_cast<uint8_t>(scan_.pixels[static_cast<size_t>(y) * scan_.width + x]);
    }
    void Set(int x, int y, int value) {
        if (x < 0 || y < 0 || x >= scan_.width || y >= scan_.height) return;
        scan_.pixels[static_cast<size_t>(y) * scan_.width + x] =
            static_cast<char>(value < 0 ? 0 : value > 255 ? 255 : value);
    }
    // Ink over what is there: the darker of both.
    void Ink(int x, int y, int value) {
        if (x < 0 || y < 0 || x >= scan_.width || y >= scan_.height) return;
        if (value < Get(x, y)) Set(x, y, value);
    }
    void Rect(int x0, int y0, int x1, int y1, int value) {
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) Ink(x, y, value);
        }
    }
    // Darkens by `amount` instead of painting a level (faint marks on any paper).
    void Darken(int x0, int y0, int x1, int y1, int amount) {
        for (int y = std::max(y0, 0); y < std::min(y1, scan_.height); ++y) {
            for (int x = std::max(x0, 0); x < std::min(x1, scan_.width); ++x) {
                Set(x, y, Get(x, y) - amount);
            }
        }
    }
    void Disk(double cx, double cy, double radius, int value) {
        for (int y = static_cast<int>(cy - radius); y <= static_cast<int>(cy + radius); ++y) {
            for (int x = static_cast<int>(cx - radius); x <= static_cast<int>(cx + radius); ++x) {
                const double dx = x + 0.5 - cx;
                const double dy = y + 0.5 - cy;
                if (dx * dx + dy * dy <= radius * radius) Ink(x, y, value);
            }
        }
    }

  private:
    GreyScan scan_;
};

// Segments a..g of a 7-segment digit: top, upper right, lower right, bottom, lower left,
// upper left, middle.
constexpr int kDigitSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

// Draws segments `mask` in a cell of `w` x `h` at (x, y) (top left), strokes `s` thick.
void DrawSegments(Canvas& canvas, int mask, int x, int y, int w, int h, int s, int ink) {
    const int mid = y + h / 2;
    if (mask & 0x01) canvas.Rect(x, y, x + w, y + s, ink);                   // a
    if (mask & 0x02) canvas.Rect(x + w - s, y, x + w, mid + s / 2, ink);     // b
    if (mask & 0x04) canvas.Rect(x + w - s, mid - s / 2, x + w, y + h, ink); // c
    if (mask & 0x08) canvas.Rect(x, y + h - s, x + w, y + h, ink);           // d
    if (mask & 0x10) canvas.Rect(x, mid - s / 2, x + s, y + h, ink);         // e
    if (mask & 0x20) canvas.Rect(x, y, x + s, mid + s / 2, ink);             // f
    if (mask & 0x40) canvas.Rect(x, mid - s / 2, x + w, mid + s / 2 + s % 2, ink);  // g
}

// Text of `points` size: cap height, glyph width, stroke and advance in pixels.
struct TextSize {
    int cap, width, stroke, advance;
};
TextSize SizeFor(double points, int dpi) {
    TextSize t;
    t.cap = static_cast<int>(std::lround(points / 72.0 * 0.7 * dpi));
    t.width = std::max(2, t.cap * 11 / 20);
    t.stroke = std::max(1, static_cast<int>(std::lround(points / 72.0 * dpi * 0.085)));
    t.advance = t.width + std::max(2, t.cap / 4);
    return t;
}

void Paper(Canvas& canvas, Random& random, int level, int sigma, int mottle) {
    const int w = canvas.Width();
    const int h = canvas.Height();
    // Mottling and uneven lighting vary slowly: a product of two waves of a few periods
    // across the sheet, and a slope.
    const double pi = 3.14159265358979;
    const double fx = 2 * pi * random.Between(2, 6) / w;
    const double fy = 2 * pi * random.Between(2, 6) / h;
    std::vector<double> wx(static_cast<size_t>(w));
    std::vector<double> wy(static_cast<size_t>(h));
    for (int x = 0; x < w; ++x) wx[static_cast<size_t>(x)] = std::sin(x * fx);
    for (int y = 0; y < h; ++y) wy[static_cast<size_t>(y)] = std::sin(y * fy + 1);
    const int slope = random.Between(-3, 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double slow =
                mottle * wx[static_cast<size_t>(x)] * wy[static_cast<size_t>(y)] +
                slope * (2.0 * x / w - 1);
            canvas.Set(x, y, level + static_cast<int>(slow) + random.Noise(sigma));
        }
    }
}

void Dust(Canvas& canvas, Random& random, int dpi) {
    const double pixel = dpi / 300.0;
    const int specks = random.Between(10, 60);
    for (int i = 0; i < specks; ++i) {
        canvas.Disk(random.Between(0, canvas.Width() - 1), random.Between(0, canvas.Height() - 1),
                    random.Between(5, 15) / 10.0 * pixel, random.Between(40, 150));
    }
    // Now and then a bigger one.
    for (int i = random.Between(0, 2); i > 0; --i) {
        canvas.Disk(random.Between(0, canvas.Width() - 1), random.Between(0, canvas.Height() - 1),
                    random.Between(20, 30) / 10.0 * pixel, random.Between(40, 120));
    }
}

// Text of the other side seen through thin paper: faint word shapes in lines.
void ShowThrough(Canvas& canvas, Random& random, int dpi) {
    const TextSize t = SizeFor(11, dpi);
    const int depth = random.Between(6, 16);
    for (int y = canvas.Height() / 10; y < canvas.Height() * 9 / 10; y += t.cap * 2) {
        int x = canvas.Width() / 8;
        while (x < canvas.Width() * 7 / 8) {
            const int word = t.advance * random.Between(2, 9);
            canvas.Darken(x, y, x + word, y + t.cap, depth);
            x += word + t.advance;
        }
    }
}

// A scanner lid seen past the edge of the sheet.
void EdgeShadow(Canvas& canvas, Random& random) {
    const int width = canvas.Width() * random.Between(5, 15) / 1000;
    const int level = random.Between(90, 140);
    if (random.Between(0, 1) == 0) {
        canvas.Rect(canvas.Width() - width, 0, canvas.Width(), canvas.Height(), level);
    } else {
        canvas.Rect(0, canvas.Height() - width, canvas.Width(), canvas.Height(), level);
    }
}

void Fibres(Canvas& canvas, Random& random, int dpi) {
    const int count = random.Between(100, 300);
    const double pixel = dpi / 300.0;
    for (int i = 0; i < count; ++i) {
        const int length = static_cast<int>(random.Between(8, 40) * pixel);
        const int amount = random.Between(20, 45);
        const int x = random.Between(0, canvas.Width() - 1);
        const int y = random.Between(0, canvas.Height() - 1);
        const int dx = random.Between(-1, 1);
        const int dy = dx == 0 ? 1 : random.Between(-1, 1);
        for (int k = 0; k < length; ++k) canvas.Darken(x + k * dx, y + k * dy, x + k * dx + 1,
                                                       y + k * dy + 1, amount);
    }
}

void Digits(Canvas& canvas, int number, int x, int y, const TextSize& t, int ink) {
    const std::string text = std::to_string(number);
    for (size_t i = 0; i < text.size(); ++i) {
        DrawSegments(canvas, kDigitSegments[text[i] - '0'], x + static_cast<int>(i) * t.advance,
                     y, t.width, t.cap, t.stroke, ink);
    }
}

}  // namespace

bool IsBlankKind(ScanKind kind) {
    return kind == ScanKind::WhiteNoise || kind == ScanKind::GreyPaper;
}

const char* KindName(ScanKind kind) {
    switch (kind) {
        case ScanKind::WhiteNoise:
            return "white-noise";
        case ScanKind::OneLine:
            return "one-line";
        case ScanKind::PageNumber:
            return "page-number";
        case ScanKind::GreyPaper:
            return "grey-paper";
        case ScanKind::Dark:
            return "dark";
    }
    return "?";
}

GreyScan MakeScan(ScanKind kind, int dpi, uint32_t seed, int number) {
    Random random(seed);
    Canvas canvas(static_cast<int>(std::lround(210 / 25.4 * dpi)),
                  static_cast<int>(std::lround(297 / 25.4 * dpi)));
    switch (kind) {
        case ScanKind::GreyPaper:
            Paper(canvas, random, random.Between(180, 215), 5, 6);
            Fibres(canvas, random, dpi);
            Dust(canvas, random, dpi);
            if (random.Between(0, 2) == 0) EdgeShadow(canvas, random);
            break;
        case ScanKind::Dark: {
            Paper(canvas, random, random.Between(25, 70), 6, 4);
            if (random.Between(0, 1) == 0) {
                // Light lines on the dark page.
                const TextSize t = SizeFor(11, dpi);
                for (int y = canvas.Height() / 5; y < canvas.Height() / 2; y += t.cap * 3) {
                    for (int x = canvas.Width() / 6; x < canvas.Width() / 2; x += t.advance) {
                        for (int yy = y; yy < y + t.cap; ++yy) {
                            for (int xx = x; xx < x + t.stroke; ++xx) canvas.Set(xx, yy, 230);
                        }
                    }
                }
            }
            break;
        }
        default: {
            Paper(canvas, random, random.Between(236, 250), 4, 3);
            Dust(canvas, random, dpi);
            if (random.Between(0, 2) == 0) ShowThrough(canvas, random, dpi);
            if (random.Between(0, 2) == 0) EdgeShadow(canvas, random);
            const int ink = random.Between(20, 70);
            if (kind == ScanKind::OneLine) {
                const TextSize t = SizeFor(random.Between(10, 12), dpi);
                const int glyphs = random.Between(12, 30);
                int x = canvas.Width() * random.Between(12, 20) / 100;
                const int y = canvas.Height() * random.Between(20, 80) / 100;
                for (int g = 0; g < glyphs; ++g) {
                    if (random.Between(0, 5) == 0) {
                        x += t.advance;  // a space
                        continue;
                    }
                    // Lower-case glyphs are shorter than capitals.
                    const bool small = random.Between(0, 2) != 0;
                    const int height = small ? t.cap * 7 / 10 : t.cap;
                    DrawSegments(canvas, static_cast<int>(random.Next() % 0x7F) | 0x08, x,
                                 y + t.cap - height, t.width, height, t.stroke, ink);
                    x += t.advance;
                }
            } else if (kind == ScanKind::PageNumber) {
                const TextSize t = SizeFor(random.Between(10, 11), dpi);
                const int digits = static_cast<int>(std::to_string(number).size());
                const int fromEdge = dpi * random.Between(50, 70) / 100;
                if (random.Between(0, 3) == 0) {
                    Digits(canvas, number, canvas.Width() - fromEdge - digits * t.advance,
                           fromEdge - t.cap, t, ink);
                } else {
                    Digits(canvas, number, (canvas.Width() - digits * t.advance) / 2,
                           canvas.Height() - fromEdge, t, ink);
                }
            }
            break;
        }
    }
    return std::move(canvas.Scan());
}

namespace {

// Encoding pixels we made ourselves does not fail; if it does, say why and stop (no
// exception may pass through libjpeg's C frames).
[[noreturn]] void Stop(j_common_ptr info) {
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    std::fprintf(stderr, "EncodeJpeg: %s\n", text);
    std::abort();
}

std::string Compress(const GreyScan& scan, int quality, int components, J_COLOR_SPACE space,
                     const std::vector<uint8_t>& samples) {
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    error.error_exit = Stop;
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(scan.width);
    info.image_height = static_cast<JDIMENSION>(scan.height);
    info.input_components = components;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    const size_t stride = static_cast<size_t>(scan.width) * components;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(samples.data()) + stride * info.next_scanline;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

}  // namespace

std::string EncodeJpeg(const GreyScan& scan, int quality, bool colour) {
    if (!colour) {
        const std::vector<uint8_t> samples(scan.pixels.begin(), scan.pixels.end());
        return Compress(scan, quality, 1, JCS_GRAYSCALE, samples);
    }
    std::vector<uint8_t> samples;
    samples.reserve(scan.pixels.size() * 3);
    for (char c : scan.pixels) {
        const int v = static_cast<uint8_t>(c);
        samples.push_back(static_cast<uint8_t>(v));
        samples.push_back(static_cast<uint8_t>(std::max(0, v - 1)));
        samples.push_back(static_cast<uint8_t>(std::max(0, v - 5)));
    }
    return Compress(scan, quality, 3, JCS_RGB, samples);
}

std::string EncodeCmykJpeg(const GreyScan& scan, int quality, bool inverted) {
    std::vector<uint8_t> samples;
    samples.reserve(scan.pixels.size() * 4);
    for (char c : scan.pixels) {
        const int ink = 255 - static_cast<uint8_t>(c);
        for (int value : {0, 0, 0, ink}) {
            samples.push_back(static_cast<uint8_t>(inverted ? 255 - value : value));
        }
    }
    return Compress(scan, quality, 4, JCS_CMYK, samples);
}

}  // namespace verava::testing
