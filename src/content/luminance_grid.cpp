#include "content/luminance_grid.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>
#include <utility>

namespace verava {
namespace {

// The paper's level: this share of the judged cells is at most as light.
constexpr int32_t kPaperPercentile = 90;
// A cell is clearly darker than paper of level p below p * kDarkPercent / 100: bleed-through
// and the paper's own mottling stay above it, ink (even a thin stroke filling a quarter of
// a cell) falls below.
constexpr int32_t kDarkPercent = 85;
// A cell whose darkest quarter lies below this share of the paper's level holds a sharp
// stroke, however thin (a light pencil line a fifth of a millimetre wide): the paper's noise,
// and the blurred show-through of the other side, stay above it.
constexpr int32_t kSharpPercent = 88;
// ... and below this share of the cell's own mean: a stroke, where a darker patch of mottled
// paper darkens the whole cell alike.
constexpr int32_t kSharpContrast = 94;
// Left out on each side, in percent of the width and of the height.
constexpr int32_t kBorderPercent = 2;

// A cell is about 0.7 mm of an A4 sheet (kReducedLongSide cells along 297 mm).
// A speck: a mark no longer than this many cells either way (dust, a fibre's end). The
// smallest page number is a stroke of three or more.
constexpr int32_t kSpeckCells = 2;
// Specks this close to each other (in cells), at least kGroupSpecks of them besides one,
// are a group a person reads as a mark: a dotted line, broken faint writing. Dust strewn
// at random seldom comes so close: with 300 specks on a sheet, one page in about sixty.
constexpr int32_t kGroupReach = 4;
constexpr size_t kGroupSpecks = 4;
// A band along an edge of the judged area (a scanner's shadow, the lid's dark edge): it
// touches that edge, reaches at most this share of the way in, and runs along at least
// kBandPercent of it.
constexpr int32_t kBandDepthPercent = 8;
constexpr int32_t kBandPercent = 20;
// A punched hole: a round, filled blob 5 to 13 cells across (4 to 8 mm: 8 mm is 11.8 cells,
// and a disc across cell borders darkens part of one more) whose middle lies within
// kHoleReachPercent of an edge.
constexpr int32_t kHoleMinCells = 5;
constexpr int32_t kHoleMaxCells = 13;
constexpr int32_t kHoleReachPercent = 12;
// More hole-shaped marks than this are no punching: a pattern of dots is ink.
constexpr size_t kMaxHoles = 8;
// Holes lie in a line along the edge, which on a sheet scanned askew (up to 3 degrees, and the
// punch's own play) leans off the grid: by up to this many cells in a hundred.
constexpr int32_t kHoleLeanPercent = 9;
// Punches set their holes 21 mm apart or more (80 mm in ISO 838): over three times their size.
constexpr int32_t kHoleSpacing = 3;
// A hole's rim: its cells lie this far from the circle through them, on average, or nearer.
constexpr double kRimOffCells = 0.75;
// Cells below this share of the paper's level, in percent, are faint: a grey hole rim is
// faint all round, where the paper's own mottling stays lighter.
constexpr int32_t kFaintPercent = 94;

// A connected set of dark cells (8-neighbours), by its bounds and size.
struct Mark {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;  // inclusive
    int32_t bottom = 0;
    uint64_t cells = 0;
    size_t first = 0;  // where its cells start in the list FindMarks fills
    int32_t Width() const { return right - left + 1; }
    int32_t Height() const { return bottom - top + 1; }
};

// Dark cells joined to the image's edge by dark cells all the way, straight in from that
// edge and at most kBandDepthPercent into the judged area [x0, x1) x [y0, y1): the lid beyond
// a sheet that lies skewed or shifted (a wedge), or the shadow of its edge, whatever their
// outline. A person sees them as outside the page. One byte per judged cell, 1 for those.
std::vector<uint8_t> BeyondTheSheet(const TLuminanceGrid& grid, int32_t x0, int32_t y0, int32_t x1,
                                    int32_t y1, int32_t darkBelow) {
    const int32_t w = x1 - x0;
    const int32_t h = y1 - y0;
    std::vector<uint8_t> beyond(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    const auto mark = [&](int32_t x, int32_t y) {
        const size_t row = static_cast<size_t>(y - y0) * static_cast<size_t>(w);
        beyond[row + static_cast<size_t>(x - x0)] = 1;
    };
    // How many cells from the image's edge are dark along a row or column, from either end.
    const auto run = [&](int32_t length, auto at) {
        int32_t n = 0;
        while (n < length && at(n) < darkBelow) ++n;
        return n;
    };
    const int32_t gw = grid.Width;
    const int32_t gh = grid.Height;
    for (int32_t y = y0; y < y1; ++y) {
        const int32_t left = run(gw, [&](int32_t n) { return grid.At(n, y); });
        const int32_t right = run(gw, [&](int32_t n) { return grid.At(gw - 1 - n, y); });
        if (left > x0 && (left - x0) * 100 <= w * kBandDepthPercent) {
            for (int32_t x = x0; x < left; ++x) mark(x, y);
        }
        if (right > gw - x1 && (right - (gw - x1)) * 100 <= w * kBandDepthPercent) {
            for (int32_t x = gw - right; x < x1; ++x) mark(x, y);
        }
    }
    for (int32_t x = x0; x < x1; ++x) {
        const int32_t top = run(gh, [&](int32_t n) { return grid.At(x, n); });
        const int32_t bottom = run(gh, [&](int32_t n) { return grid.At(x, gh - 1 - n); });
        if (top > y0 && (top - y0) * 100 <= h * kBandDepthPercent) {
            for (int32_t y = y0; y < top; ++y) mark(x, y);
        }
        if (bottom > gh - y1 && (bottom - (gh - y1)) * 100 <= h * kBandDepthPercent) {
            for (int32_t y = gh - bottom; y < y1; ++y) mark(x, y);
        }
    }
    return beyond;
}

// The marks of the dark cells within [x0, x1) x [y0, y1), leaving out those `seen` holds (one
// byte per judged cell). Each mark's cells go to `cellList` in a run of their own.
std::vector<Mark> FindMarks(const TLuminanceGrid& grid, int32_t x0, int32_t y0, int32_t x1,
                            int32_t y1, int32_t darkBelow, std::vector<uint8_t> seen,
                            std::vector<std::pair<int32_t, int32_t>>& cellList) {
    const int32_t w = x1 - x0;
    auto index = [&](int32_t x, int32_t y) {
        return static_cast<size_t>(y - y0) * static_cast<size_t>(w) + static_cast<size_t>(x - x0);
    };
    std::vector<Mark> marks;
    std::vector<std::pair<int32_t, int32_t>> stack;
    for (int32_t y = y0; y < y1; ++y) {
        for (int32_t x = x0; x < x1; ++x) {
            if (seen[index(x, y)] != 0 || grid.At(x, y) >= darkBelow) continue;
            Mark mark{x, y, x, y, 0, cellList.size()};
            seen[index(x, y)] = 1;
            stack.push_back({x, y});
            while (!stack.empty()) {
                const auto [cx, cy] = stack.back();
                stack.pop_back();
                cellList.push_back({cx, cy});
                ++mark.cells;
                mark.left = std::min(mark.left, cx);
                mark.right = std::max(mark.right, cx);
                mark.top = std::min(mark.top, cy);
                mark.bottom = std::max(mark.bottom, cy);
                for (int32_t ny = std::max(cy - 1, y0); ny <= std::min(cy + 1, y1 - 1); ++ny) {
                    for (int32_t nx = std::max(cx - 1, x0); nx <= std::min(cx + 1, x1 - 1); ++nx) {
                        if (seen[index(nx, ny)] != 0 || grid.At(nx, ny) >= darkBelow) continue;
                        seen[index(nx, ny)] = 1;
                        stack.push_back({nx, ny});
                    }
                }
            }
            marks.push_back(mark);
        }
    }
    return marks;
}

bool IsSpeck(const Mark& m) { return m.Width() <= kSpeckCells && m.Height() <= kSpeckCells; }

// For each mark, whether it is a speck of a group: one with at least kGroupSpecks other
// specks within kGroupReach cells, and those specks too. Specks are bucketed by blocks of
// kGroupReach cells, so each looks at its own block and the eight around it only.
std::vector<bool> GroupedSpecks(const std::vector<Mark>& marks) {
    std::vector<bool> grouped(marks.size(), false);
    std::map<std::pair<int32_t, int32_t>, std::vector<size_t>> blocks;
    for (size_t i = 0; i < marks.size(); ++i) {
        if (IsSpeck(marks[i])) {
            blocks[{marks[i].left / kGroupReach, marks[i].top / kGroupReach}].push_back(i);
        }
    }
    for (const auto& [block, members] : blocks) {
        for (const size_t i : members) {
            std::vector<size_t> near;
            for (int32_t by = block.second - 1; by <= block.second + 1; ++by) {
                for (int32_t bx = block.first - 1; bx <= block.first + 1; ++bx) {
                    const auto other = blocks.find({bx, by});
                    if (other == blocks.end()) continue;
                    for (const size_t j : other->second) {
                        if (j == i) continue;
                        if (std::abs(marks[j].left - marks[i].left) <= kGroupReach &&
                            std::abs(marks[j].top - marks[i].top) <= kGroupReach) {
                            near.push_back(j);
                        }
                    }
                }
            }
            if (near.size() < kGroupSpecks) continue;
            grouped[i] = true;
            for (const size_t j : near) grouped[j] = true;
        }
    }
    return grouped;
}

// A band along one edge of the judged area [x0, x1) x [y0, y1): a solid mark (half its
// bounds at least; writing near an edge is many small marks, not one).
bool IsEdgeBand(const Mark& m, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    const int32_t w = x1 - x0;
    const int32_t h = y1 - y0;
    const uint64_t box = static_cast<uint64_t>(m.Width()) * static_cast<uint64_t>(m.Height());
    if (m.cells * 2 < box) return false;
    const bool side = (m.left == x0 || m.right == x1 - 1) &&
                      m.Width() * 100 <= w * kBandDepthPercent &&
                      m.Height() * 100 >= h * kBandPercent;
    const bool end = (m.top == y0 || m.bottom == y1 - 1) &&
                     m.Height() * 100 <= h * kBandDepthPercent &&
                     m.Width() * 100 >= w * kBandPercent;
    return side || end;
}

// A hole-shaped mark: its middle, in half cells (twice the cell coordinates), and its size
// across in cells.
struct HoleShape {
    int32_t x2 = 0;
    int32_t y2 = 0;
    int32_t across = 0;
    uint64_t cells = 0;
    bool rim = false;  // the rim of a hole on a white lid, not a filled disc
};

// One punch makes its holes alike: of about the same size, and discs of cells within a third
// of each other (a rim shows more or less of its circle as noise lets it).
bool Alike(const HoleShape& a, const HoleShape& b) {
    if (a.rim != b.rim || std::abs(a.across - b.across) > std::max(1, a.across / 4)) return false;
    return a.rim || std::min(a.cells, b.cells) * 3 >= std::max(a.cells, b.cells) * 2;
}

// The circle nearest to the cells in the least-squares sense of I. Kasa ("A circle fitting
// procedure and its error analysis", 1976): minimises the sum of (x^2 + y^2 + Dx + Ey + F)^2,
// which is linear in D, E and F. False when the cells lie on a line.
bool FitCircle(const std::pair<int32_t, int32_t>* cells, size_t count, double& cx, double& cy,
               double& radius) {
    // Sums about the first cell keep the numbers small.
    const double ox = cells[0].first;
    const double oy = cells[0].second;
    double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0, sxz = 0, syz = 0, sz = 0;
    for (size_t i = 0; i < count; ++i) {
        const double x = cells[i].first - ox;
        const double y = cells[i].second - oy;
        const double z = x * x + y * y;
        sx += x;
        sy += y;
        sxx += x * x;
        syy += y * y;
        sxy += x * y;
        sxz += x * z;
        syz += y * z;
        sz += z;
    }
    const double n = static_cast<double>(count);
    // [sxx sxy sx; sxy syy sy; sx sy n] [D E F]' = -[sxz syz sz]', by Cramer's rule.
    const auto det = [](double a, double b, double c, double d, double e, double f, double g,
                        double h, double i) {
        return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    };
    const double m = det(sxx, sxy, sx, sxy, syy, sy, sx, sy, n);
    if (std::abs(m) < 1e-9) return false;
    const double d = det(-sxz, sxy, sx, -syz, syy, sy, -sz, sy, n) / m;
    const double e = det(sxx, -sxz, sx, sxy, -syz, sy, sx, -sz, n) / m;
    const double f = det(sxx, sxy, -sxz, sxy, syy, -syz, sx, sy, -sz) / m;
    const double r2 = d * d / 4 + e * e / 4 - f;
    if (!(r2 > 0)) return false;
    cx = ox - d / 2;
    cy = oy - e / 2;
    radius = std::sqrt(r2);
    return true;
}

// A punched hole of a hole's size: either round (about as wide as high) and filling most of
// its bounds (a disc fills 79 %, a small one drawn in cells less), as on a dark lid; or, as on
// a white lid, the rim of the hole's wall in shadow: cells near a circle, around at least a
// quarter of it (the lamp lights the scan from one side: the wall casts its shadow on the
// other, and a faint rim shows only as a crescent).
std::optional<HoleShape> AsHole(const Mark& m,
                                const std::vector<std::pair<int32_t, int32_t>>& cellList,
                                bool rimsOnly) {
    const int32_t across = std::max(m.Width(), m.Height());
    if (across < kHoleMinCells || across > kHoleMaxCells) return std::nullopt;
    const uint64_t box = static_cast<uint64_t>(m.Width()) * static_cast<uint64_t>(m.Height());
    if (std::abs(m.Width() - m.Height()) * 4 <= across && m.cells * 100 >= box * 55) {
        if (rimsOnly) return std::nullopt;
        return HoleShape{m.left + m.right, m.top + m.bottom, across, m.cells};
    }
    const std::pair<int32_t, int32_t>* cells = cellList.data() + m.first;
    const size_t count = static_cast<size_t>(m.cells);
    double cx = 0, cy = 0, radius = 0;
    if (count < static_cast<size_t>(kHoleMinCells) || !FitCircle(cells, count, cx, cy, radius)) {
        return std::nullopt;
    }
    const double diameter = 2 * radius;
    if (diameter < kHoleMinCells || diameter > kHoleMaxCells) return std::nullopt;
    double off = 0;
    std::vector<double> angles;
    angles.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const double dx = cells[i].first - cx;
        const double dy = cells[i].second - cy;
        off += std::abs(std::sqrt(dx * dx + dy * dy) - radius);
        angles.push_back(std::atan2(dy, dx));
    }
    if (off > static_cast<double>(count) * kRimOffCells) return std::nullopt;
    // The widest gap between the cells' directions from the middle: at most three quarters of
    // a turn.
    std::sort(angles.begin(), angles.end());
    const double pi = 3.14159265358979;
    double gap = angles.front() + 2 * pi - angles.back();
    for (size_t i = 1; i < angles.size(); ++i) gap = std::max(gap, angles[i] - angles[i - 1]);
    if (gap * 2 > 3 * pi) return std::nullopt;
    return HoleShape{static_cast<int32_t>(std::lround(2 * cx)),
                     static_cast<int32_t>(std::lround(2 * cy)),
                     static_cast<int32_t>(std::lround(diameter)), m.cells, true};
}

// Which edges of the judged area [x0, x1) x [y0, y1) the hole lies within kHoleReachPercent
// of: bits 1 left, 2 right, 4 top, 8 bottom.
int NearEdges(const HoleShape& hole, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    const int32_t cx = hole.x2 / 2;
    const int32_t cy = hole.y2 / 2;
    const int32_t w = x1 - x0;
    const int32_t h = y1 - y0;
    return ((cx - x0) * 100 <= w * kHoleReachPercent ? 1 : 0) |
           ((x1 - 1 - cx) * 100 <= w * kHoleReachPercent ? 2 : 0) |
           ((cy - y0) * 100 <= h * kHoleReachPercent ? 4 : 0) |
           ((y1 - 1 - cy) * 100 <= h * kHoleReachPercent ? 8 : 0);
}

// Holes come two or more to a sheet, alike, in a line along its edge and far apart: a
// hole-shaped mark counts as a hole only beside another like it whose middle lies on the same
// line (within a quarter of its size, and the lean of a skewed sheet) at least kHoleSpacing
// sizes away. A lone round blob is ink, and so are round letters side by side. With
// `rimsOnly`, filled discs are no holes.
std::vector<HoleShape> PunchedHoles(const std::vector<Mark>& marks,
                                    const std::vector<std::pair<int32_t, int32_t>>& cellList,
                                    bool rimsOnly, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    std::vector<HoleShape> shaped;
    std::vector<int> edges;
    for (const Mark& m : marks) {
        const std::optional<HoleShape> hole = AsHole(m, cellList, rimsOnly);
        const int near = hole ? NearEdges(*hole, x0, y0, x1, y1) : 0;
        if (near != 0) {
            shaped.push_back(*hole);
            edges.push_back(near);
        }
    }
    // Few marks are hole-shaped on any page; looking at each pair is cheap.
    std::vector<HoleShape> holes;
    if (shaped.size() > kMaxHoles) return holes;
    for (size_t i = 0; i < shaped.size(); ++i) {
        for (size_t j = 0; j < shaped.size(); ++j) {
            if (i == j) continue;
            const HoleShape& a = shaped[i];
            const HoleShape& b = shaped[j];
            // The line runs along an edge both lie near: a column by the left or the right
            // edge, a row by the top or the bottom.
            const int common = edges[i] & edges[j];
            const int32_t slack = std::max(1, a.across / 4);
            // Twice the middles' distances across and along each way.
            const int32_t dx = std::abs(a.x2 - b.x2);
            const int32_t dy = std::abs(a.y2 - b.y2);
            const bool column =
                (common & 3) != 0 && dx * 100 <= 2 * slack * 100 + dy * kHoleLeanPercent;
            const bool row =
                (common & 12) != 0 && dy * 100 <= 2 * slack * 100 + dx * kHoleLeanPercent;
            const bool apart = std::max(dx, dy) >= 2 * kHoleSpacing * a.across;
            if ((column || row) && apart && Alike(a, b)) {
                holes.push_back(a);
                break;
            }
        }
    }
    return holes;
}

// Whether the mark lies within a hole's circle and a cell: part of the hole (a rim may break
// into pieces).
bool InHole(const Mark& m, const std::vector<HoleShape>& holes) {
    for (const HoleShape& a : holes) {
        const int32_t reach = a.across + 2;  // the radius and a cell, twice over
        if (2 * m.left >= a.x2 - reach && 2 * m.right <= a.x2 + reach &&
            2 * m.top >= a.y2 - reach && 2 * m.bottom <= a.y2 + reach) {
            return true;
        }
    }
    return false;
}

}  // namespace

int32_t TGridReducer::FactorFor(int32_t width, int32_t height) {
    const int32_t longSide = std::max(width, height);
    return std::max(1, longSide / kReducedLongSide);
}

TGridReducer::TGridReducer(int32_t width, int32_t height, int32_t factor, bool quarters)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      factor_(std::max(factor, 1)),
      quarters_(quarters),
      half_(std::max(factor_ / 2, 1)) {
    grid_.Width = (width_ + factor_ - 1) / factor_;
    grid_.Height = (height_ + factor_ - 1) / factor_;
    const size_t cells = static_cast<size_t>(grid_.Width) * static_cast<size_t>(grid_.Height);
    grid_.Cells.reserve(cells);
    if (quarters_) grid_.Darkest.reserve(cells);
    sums_.assign(static_cast<size_t>(grid_.Width), 0);
    quarterSums_.assign(2 * static_cast<size_t>(grid_.Width), 0);
    darkest_.assign(static_cast<size_t>(grid_.Width), 255);
}

void TGridReducer::AddRow(const uint8_t* luminance) {
    if (rowsAdded_ >= height_) return;
    ++rowsAdded_;
    if (factor_ == 1) {
        // Cells are pixels (images already small, or decoded small): no sums to keep.
        grid_.Cells.insert(grid_.Cells.end(), luminance, luminance + width_);
        if (quarters_) grid_.Darkest.insert(grid_.Darkest.end(), luminance, luminance + width_);
        return;
    }
    for (int32_t cx = 0, x = 0; cx < grid_.Width; ++cx) {
        const int32_t middle = std::min(x + half_, width_);
        const int32_t end = std::min(x + factor_, width_);
        uint32_t first = 0;
        uint32_t second = 0;
        for (; x < middle; ++x) first += luminance[x];
        for (; x < end; ++x) second += luminance[x];
        sums_[static_cast<size_t>(cx)] += first + second;
        if (quarters_) {
            quarterSums_[2 * static_cast<size_t>(cx)] += first;
            quarterSums_[2 * static_cast<size_t>(cx) + 1] += second;
        }
    }
    EndRow();
}

void TGridReducer::AddRuns(const int32_t* changes, size_t count, uint8_t first, uint8_t second) {
    if (rowsAdded_ >= height_) return;
    if (factor_ == 1) {
        spelt_.resize(static_cast<size_t>(width_));
        int32_t x = 0;
        for (size_t i = 0; i <= count && x < width_; ++i) {
            const int32_t end = i < count ? std::clamp(changes[i], x, width_) : width_;
            std::fill(spelt_.begin() + x, spelt_.begin() + end, i % 2 == 0 ? first : second);
            x = end;
        }
        AddRow(spelt_.data());
        return;
    }
    ++rowsAdded_;
    int32_t x = 0;
    for (size_t i = 0; i <= count && x < width_; ++i) {
        const int32_t end = i < count ? std::clamp(changes[i], x, width_) : width_;
        AddSpan(x, end, i % 2 == 0 ? first : second);
        x = end;
    }
    EndRow();
}

// Pixels x to end (not included) of the row, all at `level`, into the sums of the cells and
// halves they cross: a part of a cell at either end, whole cells between.
void TGridReducer::AddSpan(int32_t x, int32_t end, uint32_t level) {
    end = std::min(end, width_);
    if (x >= end) return;
    size_t cx = static_cast<size_t>(x / factor_);
    int32_t start = static_cast<int32_t>(cx) * factor_;
    const auto part = [&](int32_t from, int32_t to) {
        const int32_t middle = std::min(start + half_, width_);
        const auto inFirst = static_cast<uint32_t>(std::max(0, std::min(to, middle) - from));
        const auto inSecond = static_cast<uint32_t>(std::max(0, to - std::max(from, middle)));
        sums_[cx] += level * (inFirst + inSecond);
        if (quarters_) {
            quarterSums_[2 * cx] += level * inFirst;
            quarterSums_[2 * cx + 1] += level * inSecond;
        }
    };
    if (x > start || end < start + factor_) {
        const int32_t stop = std::min(end, start + factor_);
        part(x, stop);
        x = stop;
        ++cx;
        start += factor_;
    }
    // Whole cells: the width of the row's last cell may fall short of factor_.
    const uint32_t whole = level * static_cast<uint32_t>(factor_);
    const uint32_t firstHalf = level * static_cast<uint32_t>(half_);
    while (start + factor_ <= end) {
        sums_[cx] += whole;
        if (quarters_) {
            quarterSums_[2 * cx] += firstHalf;
            quarterSums_[2 * cx + 1] += whole - firstHalf;
        }
        ++cx;
        start += factor_;
    }
    if (start < end) part(start, end);
}

void TGridReducer::EndRow() {
    ++rowsInCell_;
    if (++rowsInQuarter_ == half_ || rowsInCell_ == factor_ || rowsAdded_ == height_) {
        if (quarters_) FlushQuarterRow();
        rowsInQuarter_ = 0;
    }
    if (rowsInCell_ == factor_ || rowsAdded_ == height_) FlushCellRow();
}

void TGridReducer::FlushQuarterRow() {
    for (int32_t cx = 0; cx < grid_.Width; ++cx) {
        const int32_t start = cx * factor_;
        const int32_t middle = std::min(start + half_, width_);
        const int32_t end = std::min(start + factor_, width_);
        for (int part = 0; part < 2; ++part) {
            const int32_t columns = part == 0 ? middle - start : end - middle;
            if (columns <= 0) continue;
            const uint32_t pixels =
                static_cast<uint32_t>(columns) * static_cast<uint32_t>(rowsInQuarter_);
            uint32_t& sum = quarterSums_[2 * static_cast<size_t>(cx) + static_cast<size_t>(part)];
            uint8_t& darkest = darkest_[static_cast<size_t>(cx)];
            darkest = std::min(darkest, static_cast<uint8_t>((sum + pixels / 2) / pixels));
            sum = 0;
        }
    }
    rowsInQuarter_ = 0;
}

void TGridReducer::FlushCellRow() {
    for (int32_t cx = 0; cx < grid_.Width; ++cx) {
        const int32_t columns = std::min(factor_, width_ - cx * factor_);
        const uint32_t pixels = static_cast<uint32_t>(columns) * static_cast<uint32_t>(rowsInCell_);
        const uint32_t sum = sums_[static_cast<size_t>(cx)];
        grid_.Cells.push_back(static_cast<uint8_t>((sum + pixels / 2) / pixels));
    }
    if (quarters_) grid_.Darkest.insert(grid_.Darkest.end(), darkest_.begin(), darkest_.end());
    std::fill(sums_.begin(), sums_.end(), 0);
    std::fill(darkest_.begin(), darkest_.end(), 255);
    rowsInCell_ = 0;
}

TPaperVerdict JudgePaper(const TLuminanceGrid& grid, double thresholdPercent) {
    TPaperVerdict verdict;
    const int32_t w = grid.Width;
    const int32_t h = grid.Height;
    if (w <= 0 || h <= 0 || grid.Cells.size() != static_cast<size_t>(w) * static_cast<size_t>(h)) {
        return verdict;  // nothing to judge: not blank
    }
    int32_t x0 = w * kBorderPercent / 100;
    int32_t y0 = h * kBorderPercent / 100;
    if (w - 2 * x0 <= 0) x0 = 0;
    if (h - 2 * y0 <= 0) y0 = 0;
    const int32_t x1 = w - x0;
    const int32_t y1 = h - y0;

    std::array<uint64_t, 256> histogram{};
    for (int32_t y = y0; y < y1; ++y) {
        for (int32_t x = x0; x < x1; ++x) ++histogram[grid.At(x, y)];
    }
    const uint64_t cells = static_cast<uint64_t>(x1 - x0) * static_cast<uint64_t>(y1 - y0);
    const uint64_t rank = (cells * kPaperPercentile + 99) / 100;  // at least 1
    uint64_t seen = 0;
    int32_t paper = 255;
    for (int32_t v = 0; v < 256; ++v) {
        seen += histogram[static_cast<size_t>(v)];
        if (seen >= rank) {
            paper = v;
            break;
        }
    }
    verdict.PaperLevel = paper;
    if (paper < kMinPaperLevel) {
        verdict.DarkPaper = true;
        verdict.DarkShare = 100;
        return verdict;
    }

    const int32_t darkBelow = paper * kDarkPercent / 100;
    // A cell is dark when its mean is, or its darkest quarter is sharply darker: both in one
    // level, the quarter's scaled so that kSharpPercent of the paper meets darkBelow.
    TLuminanceGrid levels = grid;
    if (grid.Darkest.size() == grid.Cells.size()) {
        for (size_t i = 0; i < levels.Cells.size(); ++i) {
            if (grid.Darkest[i] * 100 >= grid.Cells[i] * kSharpContrast) continue;
            const int32_t sharp = grid.Darkest[i] * kDarkPercent / kSharpPercent;
            levels.Cells[i] = static_cast<uint8_t>(std::min<int32_t>(levels.Cells[i], sharp));
        }
    }
    const std::vector<uint8_t> beyond = BeyondTheSheet(levels, x0, y0, x1, y1, darkBelow);
    std::vector<std::pair<int32_t, int32_t>> cellList;
    const std::vector<Mark> marks =
        FindMarks(levels, x0, y0, x1, y1, darkBelow, beyond, cellList);
    const std::vector<bool> grouped = GroupedSpecks(marks);
    // Holes are looked for among the marks, and rims again among fainter marks: the rim of a
    // hole on a white lid is grey, and only its darkest side may pass for dark. (The paper's
    // own mottling makes faint blobs, never rings.)
    std::vector<HoleShape> holes = PunchedHoles(marks, cellList, false, x0, y0, x1, y1);
    std::vector<std::pair<int32_t, int32_t>> faintCells;
    const std::vector<HoleShape> rims = PunchedHoles(
        FindMarks(grid, x0, y0, x1, y1, paper * kFaintPercent / 100, beyond, faintCells),
        faintCells, true, x0, y0, x1, y1);
    holes.insert(holes.end(), rims.begin(), rims.end());
    uint64_t counted = 0;
    for (size_t i = 0; i < marks.size(); ++i) {
        const Mark& m = marks[i];
        if (IsSpeck(m) && !grouped[i]) continue;
        if (InHole(m, holes) || IsEdgeBand(m, x0, y0, x1, y1)) continue;
        counted += m.cells;
    }
    verdict.DarkShare = 100.0 * static_cast<double>(counted) / static_cast<double>(cells);
    verdict.Blank = verdict.DarkShare < thresholdPercent;
    return verdict;
}

}  // namespace verava
