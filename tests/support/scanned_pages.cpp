#include "support/scanned_pages.h"

// jpeglib.h needs size_t and FILE declared first.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
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

constexpr double kPi = 3.14159265358979;

struct Point {
    double x = 0;
    double y = 0;
};
using Polyline = std::vector<Point>;

// A stream of its own for each part of a sheet, so that adding an artefact does not move
// the content, and the other way round.
Random Stream(uint32_t seed, uint32_t part) { return Random(seed * 7919u + part * 104729u); }

double Uniform(Random& random, double low, double high) {
    return low + (high - low) * static_cast<double>(random.Next() % 1000001u) / 1000000.0;
}

// How much a mark covers each pixel, 0 .. 255, before it is laid on the paper. Keeps the
// bounds of what was drawn, so laying it down looks at those pixels only.
class Layer {
  public:
    Layer(int width, int height)
        : width_(width), height_(height), cover_(static_cast<size_t>(width) * height, 0) {}
    int Width() const { return width_; }
    int Height() const { return height_; }
    uint8_t At(int x, int y) const { return cover_[static_cast<size_t>(y) * width_ + x]; }
    void Cover(int x, int y, double amount) {
        if (x < 0 || y < 0 || x >= width_ || y >= height_ || amount <= 0) return;
        const int value = static_cast<int>(std::lround(std::min(amount, 1.0) * 255));
        uint8_t& cell = cover_[static_cast<size_t>(y) * width_ + x];
        if (value > cell) cell = static_cast<uint8_t>(value);
        left_ = std::min(left_, x);
        right_ = std::max(right_, x);
        top_ = std::min(top_, y);
        bottom_ = std::max(bottom_, y);
    }
    bool Empty() const { return left_ > right_; }
    int Left() const { return left_; }
    int Right() const { return right_; }
    int Top() const { return top_; }
    int Bottom() const { return bottom_; }
    // Two passes of a box blur of `radius` pixels each way: the light scattered in paper.
    void Blur(int radius) {
        if (radius <= 0 || Empty()) return;
        left_ = std::max(0, left_ - 2 * radius);
        right_ = std::min(width_ - 1, right_ + 2 * radius);
        top_ = std::max(0, top_ - 2 * radius);
        bottom_ = std::min(height_ - 1, bottom_ + 2 * radius);
        std::vector<int> line;
        for (int pass = 0; pass < 2; ++pass) {
            for (int y = top_; y <= bottom_; ++y) {
                line.assign(cover_.begin() + static_cast<long>(y) * width_ + left_,
                            cover_.begin() + static_cast<long>(y) * width_ + right_ + 1);
                BoxLine(line, radius, [&](int i, int v) { Put(left_ + i, y, v); });
            }
            for (int x = left_; x <= right_; ++x) {
                line.clear();
                for (int y = top_; y <= bottom_; ++y) line.push_back(At(x, y));
                BoxLine(line, radius, [&](int i, int v) { Put(x, top_ + i, v); });
            }
        }
    }

  private:
    void Put(int x, int y, int value) {
        cover_[static_cast<size_t>(y) * width_ + x] = static_cast<uint8_t>(value);
    }
    template <typename Out>
    static void BoxLine(const std::vector<int>& line, int radius, Out out) {
        const int n = static_cast<int>(line.size());
        const int span = 2 * radius + 1;
        int sum = 0;
        for (int i = -radius; i <= radius; ++i) sum += i >= 0 && i < n ? line[i] : 0;
        for (int i = 0; i < n; ++i) {
            out(i, (sum + span / 2) / span);
            const int leaving = i - radius;
            const int entering = i + radius + 1;
            if (leaving >= 0) sum -= line[leaving];
            if (entering < n) sum += line[entering];
        }
    }

    int width_;
    int height_;
    std::vector<uint8_t> cover_;
    int left_ = 1 << 30;
    int right_ = -1;
    int top_ = 1 << 30;
    int bottom_ = -1;
};

double SegmentDistance(double px, double py, const Point& a, const Point& b) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((px - a.x) * dx + (py - a.y) * dy) / length2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = a.x + t * dx - px;
    const double ey = a.y + t * dy - py;
    return std::sqrt(ex * ex + ey * ey);
}

// An anti-aliased stroke `width` pixels wide along `line` (pixels).
void Stroke(Layer& layer, const Polyline& line, double width) {
    const double half = width / 2;
    for (size_t i = 0; i + 1 < line.size() || (line.size() == 1 && i == 0); ++i) {
        const Point& a = line[i];
        const Point& b = line.size() == 1 ? line[0] : line[i + 1];
        const int x0 = static_cast<int>(std::floor(std::min(a.x, b.x) - half - 1));
        const int x1 = static_cast<int>(std::ceil(std::max(a.x, b.x) + half + 1));
        const int y0 = static_cast<int>(std::floor(std::min(a.y, b.y) - half - 1));
        const int y1 = static_cast<int>(std::ceil(std::max(a.y, b.y) + half + 1));
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                const double d = SegmentDistance(x + 0.5, y + 0.5, a, b);
                // A stroke thinner than a pixel covers it by its width.
                layer.Cover(x, y, std::min(half + 0.5 - d, std::min(width, 1.0)));
            }
        }
    }
}

// Lays the layer's marks on the paper in an ink that shows as `ink` on paper of 240 (inks
// darken what is under them by a factor). `grain` (pencil on paper) covers each pixel only
// by a random share of at least `grainLow` percent. Pixels the marks darken by a fifth of
// the way or more are noted in `content` when given.
void Lay(Canvas& canvas, const Layer& layer, int ink, Random* grain, int grainLow,
         std::string* content) {
    if (layer.Empty()) return;
    for (int y = layer.Top(); y <= layer.Bottom(); ++y) {
        for (int x = layer.Left(); x <= layer.Right(); ++x) {
            const int cover = layer.At(x, y);
            if (cover == 0) continue;
            double amount = cover / 255.0;
            if (grain != nullptr) amount *= grain->Between(grainLow, 100) / 100.0;
            const int paper = canvas.Get(x, y);
            const double inked = paper * ink / 240.0;
            canvas.Set(x, y, static_cast<int>(std::lround(paper + (inked - paper) * amount)));
            if (content != nullptr && amount >= 0.2) {
                (*content)[static_cast<size_t>(y) * canvas.Width() + x] = 1;
            }
        }
    }
}

// Arc of the ellipse at (cx, cy) with radii rx, ry from angle a0 to a1 (degrees, 0 pointing
// right, 90 down), in points every 12 degrees.
Polyline Arc(double cx, double cy, double rx, double ry, double a0, double a1) {
    Polyline line;
    const int steps = std::max(2, static_cast<int>(std::ceil(std::abs(a1 - a0) / 12)));
    for (int i = 0; i <= steps; ++i) {
        const double a = (a0 + (a1 - a0) * i / steps) * kPi / 180;
        line.push_back({cx + rx * std::cos(a), cy + ry * std::sin(a)});
    }
    return line;
}

Polyline Join(Polyline a, const Polyline& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Glyphs of a small line font in units of the cap height: y 0 at the top of a capital, 1
// on the baseline; lower case reaches up to 0.3. Each glyph is strokes and an advance.
struct Glyph {
    std::vector<Polyline> strokes;
    double advance = 0.7;
};

Glyph GlyphFor(char c) {
    const Polyline bowl = Arc(0.25, 0.65, 0.24, 0.35, 0, 360);
    const Polyline arch = Arc(0.27, 0.56, 0.22, 0.26, 180, 360);
    switch (c) {
        case '0':
            return {{Arc(0.28, 0.5, 0.27, 0.5, 0, 360)}, 0.72};
        case '1':
            return {{{{0.06, 0.22}, {0.34, 0}, {0.34, 1}}}, 0.72};
        case '2':
            return {{Join(Arc(0.28, 0.28, 0.26, 0.27, 175, 385), {{0.02, 1}, {0.56, 1}})}, 0.72};
        case '3':
            return {{Arc(0.27, 0.25, 0.24, 0.25, 200, 450), Arc(0.27, 0.74, 0.28, 0.26, 270, 520)},
                    0.72};
        case '4':
            return {{{{0.42, 1}, {0.42, 0}, {0, 0.7}, {0.58, 0.7}}}, 0.72};
        case '5':
            return {
                {Join({{0.52, 0}, {0.1, 0}, {0.06, 0.45}}, Arc(0.27, 0.68, 0.28, 0.32, 215, 500))},
                0.72};
        case '6':
            return {
                {{{0.48, 0.02}, {0.2, 0.35}, {0.04, 0.68}}, Arc(0.29, 0.68, 0.25, 0.31, 0, 360)},
                0.72};
        case '7':
            return {{{{0, 0}, {0.56, 0}, {0.2, 1}}}, 0.72};
        case '8':
            return {{Arc(0.28, 0.25, 0.22, 0.25, 0, 360), Arc(0.28, 0.74, 0.27, 0.26, 0, 360)},
                    0.72};
        case '9':
            return {{Arc(0.27, 0.32, 0.25, 0.31, 0, 360), {{0.52, 0.32}, {0.45, 0.7}, {0.15, 1}}},
                    0.72};
        case 'a':
            return {{Arc(0.23, 0.7, 0.22, 0.3, 0, 360), {{0.46, 0.35}, {0.46, 1}}}, 0.62};
        case 'b':
            return {{{{0.04, 0}, {0.04, 1}}, Arc(0.26, 0.65, 0.22, 0.35, 0, 360)}, 0.62};
        case 'c':
            return {{Arc(0.25, 0.65, 0.24, 0.35, -40, -320)}, 0.56};
        case 'd':
            return {{Arc(0.23, 0.65, 0.22, 0.35, 0, 360), {{0.46, 0}, {0.46, 1}}}, 0.62};
        case 'e':
            return {{Join({{0.02, 0.65}, {0.48, 0.65}}, Arc(0.25, 0.65, 0.24, 0.35, 0, -320))},
                    0.6};
        case 'h':
            return {{{{0.05, 0}, {0.05, 1}}, Join(arch, {{0.49, 1}})}, 0.62};
        case 'i':
            return {{{{0.08, 0.3}, {0.08, 1}}, {{0.08, 0.12}}}, 0.3};
        case 'l':
            return {{{{0.08, 0}, {0.08, 1}}}, 0.3};
        case 'm':
            return {{{{0.05, 0.3}, {0.05, 1}},
                     Join(Arc(0.2, 0.56, 0.15, 0.26, 180, 360), {{0.35, 1}}),
                     Join(Arc(0.5, 0.56, 0.15, 0.26, 180, 360), {{0.65, 1}})},
                    0.82};
        case 'n':
            return {{{{0.05, 0.3}, {0.05, 1}}, Join(arch, {{0.49, 1}})}, 0.62};
        case 'o':
            return {{bowl}, 0.6};
        case 'r':
            return {{{{0.05, 0.3}, {0.05, 1}}, Arc(0.25, 0.56, 0.2, 0.26, 180, 290)}, 0.42};
        case 's':
            return {{Join(Arc(0.22, 0.475, 0.18, 0.175, -20, -270),
                          Arc(0.22, 0.825, 0.18, 0.175, -90, 160))},
                    0.5};
        case 't':
            return {{{{0.15, 0.1}, {0.15, 0.92}, {0.3, 1}}, {{0, 0.35}, {0.32, 0.35}}}, 0.4};
        case 'u':
            return {{Join({{0.05, 0.3}}, Arc(0.27, 0.74, 0.22, 0.26, 180, 0)),
                     {{0.49, 0.3}, {0.49, 1}}},
                    0.62};
        case 'A':
            return {{{{0, 1}, {0.32, 0}, {0.64, 1}}, {{0.1, 0.66}, {0.54, 0.66}}}, 0.72};
        case 'E':
            return {{{{0.52, 0}, {0.04, 0}, {0.04, 1}, {0.54, 1}}, {{0.04, 0.5}, {0.46, 0.5}}},
                    0.66};
        case 'H':
            return {{{{0.04, 0}, {0.04, 1}}, {{0.6, 0}, {0.6, 1}}, {{0.04, 0.5}, {0.6, 0.5}}},
                    0.76};
        case 'T':
            return {{{{0, 0}, {0.6, 0}}, {{0.3, 0}, {0.3, 1}}}, 0.66};
        case '.':
            return {{{{0.08, 0.97}}}, 0.3};
        default:
            return {{}, 0.36};  // a space
    }
}

// Where and how big text goes: top left of the first capital, cap height and stroke width
// (pixels), and a turn of the whole line about its start (radians).
struct TextPlacement {
    double x = 0;
    double y = 0;
    double cap = 10;
    double stroke = 1;
    double turn = 0;
    bool mirrored = false;
};

Point Place(const TextPlacement& at, double ux, double uy) {
    const double dx = ux * at.cap;
    const double dy = uy * at.cap;
    const double c = std::cos(at.turn);
    const double s = std::sin(at.turn);
    const double x = dx * c - dy * s;
    const double y = dx * s + dy * c;
    return {at.mirrored ? at.x - x : at.x + x, at.y + y};
}

// Draws `text`; returns its advance in pixels.
double Text(Layer& layer, const std::string& text, const TextPlacement& at) {
    double pen = 0;
    for (const char c : text) {
        const Glyph glyph = GlyphFor(c);
        for (const Polyline& stroke : glyph.strokes) {
            Polyline placed;
            for (const Point& p : stroke) placed.push_back(Place(at, pen + p.x, p.y));
            Stroke(layer, placed, at.stroke);
        }
        pen += glyph.advance + 0.08;
    }
    return pen * at.cap;
}

std::string Word(Random& random, int letters, bool capital) {
    static const char kLower[] = "aabcdeeehilmnoorsttu";
    static const char kCapital[] = "AEHT";
    std::string word;
    for (int i = 0; i < letters; ++i) {
        word += i == 0 && capital ? kCapital[random.Between(0, 3)]
                                  : kLower[random.Between(0, sizeof kLower - 2)];
    }
    return word;
}

// Handwriting: one continuous stroke of loops (a prolate cycloid), letters of `height`
// pixels; now and then a letter reaches up (an ascender) or down below the baseline.
Polyline Handwriting(Random& random, double x, double baseline, double height, int letters) {
    Polyline line;
    const double pitch = height * Uniform(random, 0.55, 0.75);
    for (int k = 0; k < letters; ++k) {
        const int shape = random.Between(0, 7);
        const double top = baseline - height * (shape == 0 ? 1.9 : 1);
        const double bottom = baseline + (shape == 1 ? height * 0.7 : 0);
        const double loop = Uniform(random, 0.25, 0.45) * pitch;
        for (int i = 0; i < 12; ++i) {
            const double t = (k + i / 12.0) * 2 * kPi;
            const double up = (1 - std::cos(t)) / 2;  // 0 at the bottom, 1 at the top
            line.push_back(
                {x + pitch * t / (2 * kPi) - loop * std::sin(t), bottom - up * (bottom - top)});
        }
    }
    return line;
}

// A sheet being made: its pixels, where its content is (GreyScan::content), and its scale.
struct Sheet {
    Canvas canvas;
    std::string content;
    double perMm;
    double Px(double mm) const { return mm * perMm; }
};

// ---- Paper -----------------------------------------------------------------------------

void CurvedFibres(Sheet& sheet, Random& random, int count, int lightest, int darkest) {
    Layer layer(sheet.canvas.Width(), sheet.canvas.Height());
    for (int i = 0; i < count; ++i) {
        double x = random.Between(0, sheet.canvas.Width() - 1);
        double y = random.Between(0, sheet.canvas.Height() - 1);
        double heading = Uniform(random, 0, 2 * kPi);
        const double length = sheet.Px(Uniform(random, 1, 5));
        Polyline fibre{{x, y}};
        for (double done = 0; done < length; done += sheet.Px(0.4)) {
            heading += Uniform(random, -0.5, 0.5);
            x += sheet.Px(0.4) * std::cos(heading);
            y += sheet.Px(0.4) * std::sin(heading);
            fibre.push_back({x, y});
        }
        Stroke(layer, fibre, std::max(0.5, sheet.Px(Uniform(random, 0.04, 0.1))));
    }
    // Fibres darken the paper by a few levels: laid as a light ink.
    Lay(sheet.canvas, layer, 240 - random.Between(lightest, darkest), nullptr, 0, nullptr);
}

// Isolated specks of `minMm`..`maxMm` across, of level `darkest`..`lightest`: none within
// 2 mm of another (a place taken is drawn again).
void Specks(Sheet& sheet, Random& random, int count, double minMm, double maxMm, int darkest,
            int lightest) {
    std::vector<Point> placed;
    const double apart = sheet.Px(2);
    for (int i = 0; i < count; ++i) {
        double cx = 0;
        double cy = 0;
        for (bool free = false; !free;) {
            cx = random.Between(0, sheet.canvas.Width() - 1);
            cy = random.Between(0, sheet.canvas.Height() - 1);
            free = true;
            for (const Point& p : placed) {
                if (std::abs(p.x - cx) < apart && std::abs(p.y - cy) < apart) free = false;
            }
        }
        placed.push_back({cx, cy});
        // Most specks are small: the square of a uniform number leans to the low end.
        const double u = Uniform(random, 0, 1);
        const double r = sheet.Px(minMm + (maxMm - minMm) * u * u) / 2;
        // A quarter of them are longer than wide (the size is their length).
        const double stretch = random.Between(0, 3) == 0 ? Uniform(random, 1.2, 2.2) : 1.0;
        const double turn = Uniform(random, 0, kPi);
        const int level = random.Between(darkest, lightest);
        const int reach = static_cast<int>(std::ceil(r)) + 1;
        for (int y = static_cast<int>(cy) - reach; y <= static_cast<int>(cy) + reach; ++y) {
            for (int x = static_cast<int>(cx) - reach; x <= static_cast<int>(cx) + reach; ++x) {
                const double dx = x + 0.5 - cx;
                const double dy = y + 0.5 - cy;
                const double along = dx * std::cos(turn) + dy * std::sin(turn);
                const double across = (-dx * std::sin(turn) + dy * std::cos(turn)) * stretch;
                const double cover =
                    std::clamp(r + 0.5 - std::sqrt(along * along + across * across), 0.0, 1.0);
                if (cover <= 0 || x < 0 || y < 0 || x >= sheet.canvas.Width() ||
                    y >= sheet.canvas.Height()) {
                    continue;
                }
                const int paper = sheet.canvas.Get(x, y);
                if (level < paper) {
                    sheet.canvas.Set(
                        x, y, static_cast<int>(std::lround(paper + (level - paper) * cover)));
                }
            }
        }
    }
}

void PaperOf(Sheet& sheet, int recycled, uint32_t seed) {
    Random random = Stream(seed, 1);
    switch (recycled) {
        case 0:
            Paper(sheet.canvas, random, random.Between(236, 250), random.Between(3, 4),
                  random.Between(2, 4));
            return;
        case 1:  // yellowed or off-white
            Paper(sheet.canvas, random, random.Between(222, 234), 4, random.Between(3, 5));
            CurvedFibres(sheet, random, random.Between(40, 100), 8, 20);
            return;
        case 2:  // recycled
            Paper(sheet.canvas, random, random.Between(200, 220), 5, random.Between(4, 7));
            CurvedFibres(sheet, random, random.Between(150, 300), 15, 35);
            Specks(sheet, random, random.Between(20, 60), 0.1, 0.35, 90, 170);
            return;
        default:  // grey recycled
            Paper(sheet.canvas, random, random.Between(175, 200), 6, random.Between(6, 9));
            CurvedFibres(sheet, random, random.Between(300, 500), 15, 40);
            Specks(sheet, random, random.Between(60, 150), 0.1, 0.4, 70, 150);
            return;
    }
}

// ---- What the back holds -----------------------------------------------------------------

void PageNumber(Sheet& sheet, Random& random) {
    const int digits = random.Between(1, 3);
    const int low = digits == 1 ? 1 : digits == 2 ? 10 : 100;
    const std::string number = std::to_string(random.Between(low, low * 10 - 1));
    const double em = sheet.Px(random.Between(9, 12) / 72.0 * 25.4);
    TextPlacement at;
    at.cap = em * 0.7;
    at.stroke = em * Uniform(random, 0.08, 0.1);
    double width = 0;
    for (const char c : number) width += (GlyphFor(c).advance + 0.08) * at.cap;
    const double fromBottom = sheet.Px(Uniform(random, 10, 15));
    const double fromSide = sheet.Px(Uniform(random, 15, 20));
    const int where = random.Between(0, 19);
    const double w = sheet.canvas.Width();
    const double h = sheet.canvas.Height();
    if (where < 12) {
        at.x = (w - width) / 2;
        at.y = h - fromBottom - at.cap;
    } else if (where < 17) {
        at.x = random.Between(0, 1) == 0 ? fromSide : w - fromSide - width;
        at.y = h - fromBottom - at.cap;
    } else {
        at.x = random.Between(0, 1) == 0 ? fromSide : w - fromSide - width;
        at.y = fromBottom;
    }
    Layer layer(sheet.canvas.Width(), sheet.canvas.Height());
    Text(layer, number, at);
    Lay(sheet.canvas, layer, random.Between(20, 60), nullptr, 0, &sheet.content);
}

void Signature(Sheet& sheet, Random& random) {
    const double length = sheet.Px(Uniform(random, 32, 48));
    const double height = sheet.Px(Uniform(random, 8, 12));
    const double x = sheet.canvas.Width() * Uniform(random, 0.4, 0.55);
    const double y = sheet.canvas.Height() * Uniform(random, 0.6, 0.85);
    // Loops of varying size along a slanted line, then a flourish back under them.
    Polyline line;
    const int loops = random.Between(6, 11);
    const double slant = Uniform(random, -0.12, 0.05);
    for (int i = 0; i <= loops * 14; ++i) {
        const double t = i / 14.0;
        const double size = 0.35 + 0.65 * std::abs(std::sin(t * 1.7 + 0.3));
        const double px = x + length * t / loops - 0.35 * height * size * std::sin(2 * kPi * t);
        const double py = y - height * 0.5 * size * (1 - std::cos(2 * kPi * t)) + slant * (px - x);
        line.push_back({px, py});
    }
    const Point end = line.back();
    for (int i = 1; i <= 10; ++i) {
        const double t = i / 10.0;
        line.push_back({end.x - length * 0.9 * t, end.y + height * 0.25 * std::sin(kPi * t)});
    }
    Layer layer(sheet.canvas.Width(), sheet.canvas.Height());
    Stroke(layer, line, sheet.Px(Uniform(random, 0.3, 0.5)));
    Lay(sheet.canvas, layer, random.Between(30, 110), nullptr, 0, &sheet.content);
}

void Stamp(Sheet& sheet, Random& random) {
    const double outer = sheet.Px(Uniform(random, 11.5, 13.5));
    const double cx = sheet.canvas.Width() * Uniform(random, 0.25, 0.75);
    const double cy = sheet.canvas.Height() * Uniform(random, 0.5, 0.85);
    Layer layer(sheet.canvas.Width(), sheet.canvas.Height());
    Stroke(layer, Arc(cx, cy, outer, outer, 0, 360), sheet.Px(Uniform(random, 0.6, 1.0)));
    const double inner = outer * 0.72;
    Stroke(layer, Arc(cx, cy, inner, inner, 0, 360), sheet.Px(0.35));
    // Words around the ring, upright to it, and a date across the middle.
    TextPlacement at;
    at.cap = (outer - inner) * 0.6;
    at.stroke = sheet.Px(0.3);
    const std::string around = Word(random, 14, true) + " " + Word(random, 6, true);
    const double start = Uniform(random, 0, 2 * kPi);
    const double step = 2 * kPi / static_cast<double>(around.size() + 2);
    for (size_t i = 0; i < around.size(); ++i) {
        const double a = start + step * static_cast<double>(i);
        const double middle = (outer + inner) / 2 + at.cap / 2;
        at.x = cx + middle * std::cos(a);
        at.y = cy + middle * std::sin(a);
        at.turn = a + kPi / 2;
        Text(layer, std::string(1, around[i]), at);
    }
    at.turn = Uniform(random, -0.2, 0.2);
    at.cap = inner * 0.28;
    const std::string date = std::to_string(random.Between(10, 28)) + "." +
                             std::to_string(random.Between(10, 12)) + "." +
                             std::to_string(random.Between(10, 29));
    at.x = cx - inner * 0.75;
    at.y = cy - at.cap / 2;
    Text(layer, date, at);
    // A stamp inks unevenly: take away coverage in slow patches.
    const double fx = Uniform(random, 0.5, 1.5) / outer;
    const double fy = Uniform(random, 0.5, 1.5) / outer;
    const double phase = Uniform(random, 0, 2 * kPi);
    Layer patchy(sheet.canvas.Width(), sheet.canvas.Height());
    for (int y = layer.Top(); y <= layer.Bottom(); ++y) {
        for (int x = layer.Left(); x <= layer.Right(); ++x) {
            const double keep = 0.75 + 0.25 * std::sin(x * fx + phase) * std::cos(y * fy);
            patchy.Cover(x, y, layer.At(x, y) / 255.0 * keep);
        }
    }
    Lay(sheet.canvas, patchy, random.Between(100, 150), nullptr, 0, &sheet.content);
}

void TextLine(Sheet& sheet, Random& random) {
    const double em = sheet.Px(random.Between(10, 12) / 72.0 * 25.4);
    TextPlacement at;
    at.cap = em * 0.7;
    at.stroke = em * Uniform(random, 0.08, 0.1);
    at.x = sheet.Px(Uniform(random, 20, 30));
    at.y = sheet.canvas.Height() * Uniform(random, 0.15, 0.8);
    const int words = random.Between(2, 6);
    Layer layer(sheet.canvas.Width(), sheet.canvas.Height());
    for (int i = 0; i < words; ++i) {
        at.x += Text(layer, Word(random, random.Between(2, 8), i == 0) + " ", at);
    }
    Lay(sheet.canvas, layer, random.Between(20, 60), nullptr, 0, &sheet.content);
}

void PencilNote(Sheet& sheet, Random& random) {
    const double height = sheet.Px(Uniform(random, 2, 3));
    double x = sheet.canvas.Width() * Uniform(random, 0.1, 0.5);
    const double baseline = sheet.canvas.Height() * Uniform(random, 0.1, 0.9);
    Layer layer(sheet.canvas.Width(), sheet.canvas.Height());
    const double width = sheet.Px(Uniform(random, 0.2, 0.35));
    for (int words = random.Between(2, 5); words > 0; --words) {
        const int letters = random.Between(2, 7);
        const Polyline line = Handwriting(random, x, baseline, height, letters);
        Stroke(layer, line, width);
        x = line.back().x + height * 1.2;
    }
    Lay(sheet.canvas, layer, random.Between(150, 190), &random, 70, &sheet.content);
}

void Figure(Sheet& sheet, Random& random) {
    const double size = sheet.Px(Uniform(random, 12, 18));
    const double x = sheet.canvas.Width() * Uniform(random, 0.2, 0.7);
    const double y = sheet.canvas.Height() * Uniform(random, 0.2, 0.7);
    const double width = sheet.Px(Uniform(random, 0.25, 0.45));
    Layer layer(sheet.canvas.Width(), sheet.canvas.Height());
    if (random.Between(0, 1) == 0) {
        Stroke(layer, {{x, y}, {x + size, y}, {x + size, y + size}, {x, y + size}, {x, y}}, width);
        if (random.Between(0, 1) == 0) Stroke(layer, {{x, y + size}, {x + size, y}}, width);
    } else {
        const double r = size / 2;
        Stroke(layer, Arc(x + r, y + r, r, r, 0, 360), width);
        if (random.Between(0, 1) == 0) {
            Stroke(layer, Arc(x + r, y + r, r * 0.4, r * 0.4, 0, 360), width);
        }
    }
    Lay(sheet.canvas, layer, random.Between(20, 70), nullptr, 0, &sheet.content);
}

// ---- What paper and scanner add ---------------------------------------------------------

void Shadow(Sheet& sheet, Random& random, int strength) {
    const double deep[] = {0, Uniform(random, 2, 4), Uniform(random, 4, 7), Uniform(random, 7, 12)};
    const int dark[] = {0, random.Between(30, 60), random.Between(60, 110),
                        random.Between(110, 170)};
    const double depth = sheet.Px(deep[strength]);
    const int edge = random.Between(0, 3);  // left, right, top, bottom
    const double waves = Uniform(random, 0.5, 1.5);
    const double phase = Uniform(random, 0, 2 * kPi);
    const int w = sheet.canvas.Width();
    const int h = sheet.canvas.Height();
    const int along = edge < 2 ? h : w;
    const int reach = static_cast<int>(depth * 1.3) + 1;
    for (int a = 0; a < along; ++a) {
        // Its depth changes slowly along the edge: the sheet does not lie flat.
        const double here = depth * (1 + 0.3 * std::sin(2 * kPi * waves * a / along + phase));
        for (int d = 0; d < reach; ++d) {
            if (d >= here) break;
            const double fall = 1 - d / here;
            const int amount = static_cast<int>(std::lround(dark[strength] * fall * fall));
            const int x = edge == 0 ? d : edge == 1 ? w - 1 - d : a;
            const int y = edge == 2 ? d : edge == 3 ? h - 1 - d : a;
            sheet.canvas.Set(x, y, sheet.canvas.Get(x, y) - amount);
        }
    }
}

// Punched holes: 2 holes 80 mm apart, or 4 at 80 mm spacing (ISO 838), their middles 10 to
// 15 mm from a side edge (from the top edge, 2 holes only).
void Holes(Sheet& sheet, Random& random, int strength, bool whiteLid) {
    const double diameters[] = {0, Uniform(random, 5, 5.8), Uniform(random, 5.8, 6.8),
                                Uniform(random, 6.8, 8)};
    const double r = sheet.Px(diameters[strength]) / 2;
    const double inset = sheet.Px(Uniform(random, 10, 15));
    const int edge = random.Between(0, 9) < 7 ? random.Between(0, 1) : 2;
    const bool four = edge < 2 && random.Between(0, 1) == 0;
    std::vector<double> offsets =
        four ? std::vector<double>{-120, -40, 40, 120} : std::vector<double>{-40, 40};
    const double w = sheet.canvas.Width();
    const double h = sheet.canvas.Height();
    const int lid = whiteLid ? random.Between(248, 255) : random.Between(15, 50);
    const int rim[] = {0, random.Between(40, 60), random.Between(70, 100),
                       random.Between(110, 150)};
    const double rimWidth = sheet.Px(Uniform(random, 0.3, 0.7));
    const double light = Uniform(random, 0, 2 * kPi);  // where the rim's shadow is darkest
    for (const double offset : offsets) {
        const double along = sheet.Px(offset + Uniform(random, -0.5, 0.5));
        const double cx = edge == 0 ? inset : edge == 1 ? w - inset : w / 2 + along;
        const double cy = edge == 2 ? inset : h / 2 + along;
        const int reach = static_cast<int>(r + rimWidth) + 2;
        for (int y = static_cast<int>(cy) - reach; y <= static_cast<int>(cy) + reach; ++y) {
            for (int x = static_cast<int>(cx) - reach; x <= static_cast<int>(cx) + reach; ++x) {
                if (x < 0 || y < 0 || x >= w || y >= h) continue;
                const double dx = x + 0.5 - cx;
                const double dy = y + 0.5 - cy;
                const double d = std::sqrt(dx * dx + dy * dy);
                const int paper = sheet.canvas.Get(x, y);
                const double inside = std::clamp(r + 0.5 - d, 0.0, 1.0);
                double value = paper + (lid + random.Noise(2) - paper) * inside;
                if (whiteLid && d > r - rimWidth && d < r + 0.5) {
                    // The hole's wall in the light of the lamp: a grey rim, darker on one side.
                    const double side =
                        0.35 + 0.65 * std::max(0.0, std::cos(std::atan2(dy, dx) - light));
                    value = std::min(value, paper - rim[strength] * side);
                }
                sheet.canvas.Set(x, y, static_cast<int>(std::lround(value)));
                if (inside > 0)
                    sheet.content[static_cast<size_t>(y) * sheet.canvas.Width() + x] = 0;
            }
        }
    }
}

void ShowThrough(Sheet& sheet, Random& random, int strength) {
    const int depths[] = {0, random.Between(5, 10), random.Between(10, 18), random.Between(18, 28)};
    const double em = sheet.Px(random.Between(10, 12) / 72.0 * 25.4);
    Layer layer(sheet.canvas.Width(), sheet.canvas.Height());
    TextPlacement at;
    at.mirrored = true;  // seen from the back
    at.cap = em * 0.7;
    at.stroke = em * 0.09;
    const double left = sheet.Px(Uniform(random, 20, 25));
    const double right = sheet.canvas.Width() - sheet.Px(Uniform(random, 20, 25));
    const double leading = em * Uniform(random, 1.2, 1.5);
    double y = sheet.Px(Uniform(random, 20, 30));
    if (strength == 3) {
        // A heading in bold, darker through the paper than the text.
        TextPlacement bold = at;
        bold.cap *= 1.5;
        bold.stroke *= 2.2;
        bold.x = right;
        Text(layer, Word(random, random.Between(5, 9), true), bold);
        y += bold.cap * 2;
    }
    while (y < sheet.canvas.Height() - sheet.Px(30)) {
        at.y = y;
        at.x = right - (random.Between(0, 6) == 0 ? em * 2 : 0);
        const double end = random.Between(0, 5) == 0 ? Uniform(random, left, right) : left;
        while (right - at.x + em * 3 < right - end) {
            at.x -= Text(layer, Word(random, random.Between(1, 9), false) + " ", at);
        }
        y += leading * (random.Between(0, 7) == 0 ? 2 : 1);
    }
    layer.Blur(std::max(1, static_cast<int>(std::lround(sheet.Px(Uniform(random, 0.25, 0.5))))));
    for (int yy = layer.Top(); yy <= layer.Bottom(); ++yy) {
        for (int x = layer.Left(); x <= layer.Right(); ++x) {
            const int cover = layer.At(x, yy);
            if (cover != 0)
                sheet.canvas.Set(x, yy, sheet.canvas.Get(x, yy) - depths[strength] * cover / 255);
        }
    }
}

// The sheet turned about its middle and shifted a little on a dark lid: what lies beyond
// the sheet's edges is the lid.
void Skew(Sheet& sheet, Random& random, int strength) {
    const double degrees = strength + Uniform(random, -0.2, 0.2) - (strength == 3 ? 0.2 : 0);
    const double angle = (random.Between(0, 1) == 0 ? 1 : -1) * degrees * kPi / 180;
    const double shiftX = sheet.Px(Uniform(random, -1.5, 1.5));
    const double shiftY = sheet.Px(Uniform(random, -1.5, 1.5));
    const int lid = random.Between(20, 60);
    const int w = sheet.canvas.Width();
    const int h = sheet.canvas.Height();
    const GreyScan flat = sheet.canvas.Scan();
    const std::string content = sheet.content;
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            // Where on the flat sheet this pixel's middle lies.
            const double dx = x + 0.5 - w / 2.0 - shiftX;
            const double dy = y + 0.5 - h / 2.0 - shiftY;
            const double sx = dx * c + dy * s + w / 2.0 - 0.5;
            const double sy = -dx * s + dy * c + h / 2.0 - 0.5;
            const int x0 = static_cast<int>(std::floor(sx));
            const int y0 = static_cast<int>(std::floor(sy));
            const double fx = sx - x0;
            const double fy = sy - y0;
            double sum = 0;
            for (int k = 0; k < 4; ++k) {
                const int px = x0 + (k & 1);
                const int py = y0 + (k >> 1);
                const double weight = ((k & 1) ? fx : 1 - fx) * ((k >> 1) ? fy : 1 - fy);
                const int value =
                    px < 0 || py < 0 || px >= w || py >= h
                        ? lid + random.Noise(3)
                        : static_cast<uint8_t>(flat.pixels[static_cast<size_t>(py) * w + px]);
                sum += weight * value;
            }
            sheet.canvas.Set(x, y, static_cast<int>(std::lround(sum)));
            const int nx = static_cast<int>(std::lround(sx));
            const int ny = static_cast<int>(std::lround(sy));
            sheet.content[static_cast<size_t>(y) * w + x] =
                nx < 0 || ny < 0 || nx >= w || ny >= h ? 0
                                                       : content[static_cast<size_t>(ny) * w + nx];
        }
    }
}

void Dust(Sheet& sheet, Random& random, int strength) {
    const int counts[] = {0, random.Between(20, 60), random.Between(80, 160),
                          random.Between(200, 400)};
    Specks(sheet, random, counts[strength], 0.1, strength == 3 ? 0.8 : 0.5, 30, 170);
}

}  // namespace

const char* BackName(Back back) {
    switch (back) {
        case Back::Blank:
            return "blank";
        case Back::PageNumber:
            return "page-number";
        case Back::Signature:
            return "signature";
        case Back::Stamp:
            return "stamp";
        case Back::TextLine:
            return "text-line";
        case Back::PencilNote:
            return "pencil-note";
        case Back::Figure:
            return "figure";
    }
    return "?";
}

const char* ArtefactName(Artefact artefact) {
    switch (artefact) {
        case Artefact::Dust:
            return "dust";
        case Artefact::Shadow:
            return "shadow";
        case Artefact::Holes:
            return "holes";
        case Artefact::HoleRings:
            return "hole-rings";
        case Artefact::ShowThrough:
            return "show-through";
        case Artefact::Recycled:
            return "recycled";
        case Artefact::Skew:
            return "skew";
    }
    return "?";
}

GreyScan MakeSheet(const SheetRecipe& recipe) {
    const int width = static_cast<int>(std::lround(210 / 25.4 * recipe.dpi));
    const int height = static_cast<int>(std::lround(297 / 25.4 * recipe.dpi));
    Sheet sheet{Canvas(width, height), std::string(static_cast<size_t>(width) * height, '\0'),
                recipe.dpi / 25.4};
    auto strength = [&](Artefact kind) {
        int most = 0;
        for (const ArtefactLevel& a : recipe.artefacts) {
            if (a.kind == kind) most = std::max(most, std::clamp(a.strength, 1, 3));
        }
        return most;
    };
    // In the order things happen: the paper and what is printed or written on it, what
    // shines through it and what was punched out of it, the shadow of its edge, then the
    // sheet as laid on the glass, and the dust on the glass.
    PaperOf(sheet, strength(Artefact::Recycled), recipe.seed);
    Random content = Stream(recipe.seed, 2);
    switch (recipe.back) {
        case Back::Blank:
            break;
        case Back::PageNumber:
            PageNumber(sheet, content);
            break;
        case Back::Signature:
            Signature(sheet, content);
            break;
        case Back::Stamp:
            Stamp(sheet, content);
            break;
        case Back::TextLine:
            TextLine(sheet, content);
            break;
        case Back::PencilNote:
            PencilNote(sheet, content);
            break;
        case Back::Figure:
            Figure(sheet, content);
            break;
    }
    if (const int s = strength(Artefact::ShowThrough)) {
        Random random = Stream(recipe.seed, 3);
        ShowThrough(sheet, random, s);
    }
    if (const int s = strength(Artefact::Holes)) {
        Random random = Stream(recipe.seed, 4);
        Holes(sheet, random, s, false);
    }
    if (const int s = strength(Artefact::HoleRings)) {
        Random random = Stream(recipe.seed, 5);
        Holes(sheet, random, s, true);
    }
    if (const int s = strength(Artefact::Shadow)) {
        Random random = Stream(recipe.seed, 6);
        Shadow(sheet, random, s);
    }
    if (const int s = strength(Artefact::Skew)) {
        Random random = Stream(recipe.seed, 7);
        Skew(sheet, random, s);
    }
    if (const int s = strength(Artefact::Dust)) {
        Random random = Stream(recipe.seed, 8);
        Dust(sheet, random, s);
    }
    GreyScan scan = std::move(sheet.canvas.Scan());
    scan.content = std::move(sheet.content);
    return scan;
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
