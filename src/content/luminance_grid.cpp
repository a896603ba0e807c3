#include "content/luminance_grid.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <utility>

namespace verava {
namespace {

// The paper's level: this share of the judged cells is at most as light.
constexpr int32_t kPaperPercentile = 90;
// A cell is clearly darker than paper of level p below p * kDarkPercent / 100: bleed-through
// and the paper's own mottling stay above it, ink (even a thin stroke filling a quarter of
// a cell) falls below.
constexpr int32_t kDarkPercent = 85;
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
// A punched hole: a round, filled blob 5 to 12 cells across (4 to 8 mm) whose middle lies
// within kHoleReachPercent of an edge.
constexpr int32_t kHoleMinCells = 5;
constexpr int32_t kHoleMaxCells = 12;
constexpr int32_t kHoleReachPercent = 12;
// More hole-shaped marks than this are no punching: a pattern of dots is ink.
constexpr size_t kMaxHoles = 8;

// A connected set of dark cells (8-neighbours), by its bounds and size.
struct Mark {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;  // inclusive
    int32_t bottom = 0;
    uint64_t cells = 0;
    int32_t Width() const { return right - left + 1; }
    int32_t Height() const { return bottom - top + 1; }
};

// The marks of the dark cells within [x0, x1) x [y0, y1).
std::vector<Mark> FindMarks(const TLuminanceGrid& grid, int32_t x0, int32_t y0, int32_t x1,
                            int32_t y1, int32_t darkBelow) {
    const int32_t w = x1 - x0;
    const int32_t h = y1 - y0;
    std::vector<uint8_t> seen(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    auto index = [&](int32_t x, int32_t y) {
        return static_cast<size_t>(y - y0) * static_cast<size_t>(w) + static_cast<size_t>(x - x0);
    };
    std::vector<Mark> marks;
    std::vector<std::pair<int32_t, int32_t>> stack;
    for (int32_t y = y0; y < y1; ++y) {
        for (int32_t x = x0; x < x1; ++x) {
            if (seen[index(x, y)] != 0 || grid.At(x, y) >= darkBelow) continue;
            Mark mark{x, y, x, y, 0};
            seen[index(x, y)] = 1;
            stack.push_back({x, y});
            while (!stack.empty()) {
                const auto [cx, cy] = stack.back();
                stack.pop_back();
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

// A punched hole near an edge: round (about as wide as high), filling most of its bounds
// (a disc fills 79 %, a small one drawn in cells less), of a hole's size.
bool IsHoleShaped(const Mark& m, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    const int32_t across = std::max(m.Width(), m.Height());
    if (across < kHoleMinCells || across > kHoleMaxCells) return false;
    if (std::abs(m.Width() - m.Height()) * 4 > across) return false;
    const uint64_t box = static_cast<uint64_t>(m.Width()) * static_cast<uint64_t>(m.Height());
    if (m.cells * 100 < box * 55) return false;
    const int32_t cx = (m.left + m.right) / 2;
    const int32_t cy = (m.top + m.bottom) / 2;
    const int32_t w = x1 - x0;
    const int32_t h = y1 - y0;
    return (cx - x0) * 100 <= w * kHoleReachPercent ||
           (x1 - 1 - cx) * 100 <= w * kHoleReachPercent ||
           (cy - y0) * 100 <= h * kHoleReachPercent || (y1 - 1 - cy) * 100 <= h * kHoleReachPercent;
}

// Holes come two or more to a sheet, in a line along its edge: a hole-shaped mark counts
// as a hole only beside another whose middle lies on the same line (within a quarter of
// its size). A lone round blob is ink.
std::vector<bool> PunchedHoles(const std::vector<Mark>& marks, int32_t x0, int32_t y0, int32_t x1,
                               int32_t y1) {
    std::vector<size_t> shaped;
    for (size_t i = 0; i < marks.size(); ++i) {
        if (IsHoleShaped(marks[i], x0, y0, x1, y1)) shaped.push_back(i);
    }
    // Few marks are hole-shaped on any page; looking at each pair is cheap.
    std::vector<bool> hole(marks.size(), false);
    if (shaped.size() > kMaxHoles) return hole;
    for (const size_t i : shaped) {
        for (const size_t j : shaped) {
            if (i == j) continue;
            const Mark& a = marks[i];
            const Mark& b = marks[j];
            const int32_t slack = std::max(1, std::max(a.Width(), a.Height()) / 4);
            const bool column = std::abs((a.left + a.right) - (b.left + b.right)) <= 2 * slack;
            const bool row = std::abs((a.top + a.bottom) - (b.top + b.bottom)) <= 2 * slack;
            if (column || row) hole[i] = true;
        }
    }
    return hole;
}

}  // namespace

int32_t TGridReducer::FactorFor(int32_t width, int32_t height) {
    const int32_t longSide = std::max(width, height);
    return std::max(1, longSide / kReducedLongSide);
}

TGridReducer::TGridReducer(int32_t width, int32_t height, int32_t factor)
    : width_(std::max(width, 0)), height_(std::max(height, 0)), factor_(std::max(factor, 1)) {
    grid_.Width = (width_ + factor_ - 1) / factor_;
    grid_.Height = (height_ + factor_ - 1) / factor_;
    grid_.Cells.reserve(static_cast<size_t>(grid_.Width) * static_cast<size_t>(grid_.Height));
    sums_.assign(static_cast<size_t>(grid_.Width), 0);
}

void TGridReducer::AddRow(const uint8_t* luminance) {
    if (rowsAdded_ >= height_) return;
    ++rowsAdded_;
    if (factor_ == 1) {
        // Cells are pixels (images already small, or decoded small): no sums to keep.
        grid_.Cells.insert(grid_.Cells.end(), luminance, luminance + width_);
        return;
    }
    for (int32_t cx = 0, x = 0; cx < grid_.Width; ++cx) {
        const int32_t end = std::min(x + factor_, width_);
        uint32_t sum = 0;
        for (; x < end; ++x) sum += luminance[x];
        sums_[static_cast<size_t>(cx)] += sum;
    }
    if (++rowsInCell_ == factor_ || rowsAdded_ == height_) FlushCellRow();
}

void TGridReducer::FlushCellRow() {
    for (int32_t cx = 0; cx < grid_.Width; ++cx) {
        const int32_t columns = std::min(factor_, width_ - cx * factor_);
        const uint32_t pixels = static_cast<uint32_t>(columns) * static_cast<uint32_t>(rowsInCell_);
        const uint32_t sum = sums_[static_cast<size_t>(cx)];
        grid_.Cells.push_back(static_cast<uint8_t>((sum + pixels / 2) / pixels));
    }
    std::fill(sums_.begin(), sums_.end(), 0);
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
    const std::vector<Mark> marks = FindMarks(grid, x0, y0, x1, y1, darkBelow);
    const std::vector<bool> grouped = GroupedSpecks(marks);
    const std::vector<bool> holes = PunchedHoles(marks, x0, y0, x1, y1);
    uint64_t counted = 0;
    for (size_t i = 0; i < marks.size(); ++i) {
        const Mark& m = marks[i];
        if (IsSpeck(m) && !grouped[i]) continue;
        if (holes[i] || IsEdgeBand(m, x0, y0, x1, y1)) continue;
        counted += m.cells;
    }
    verdict.DarkShare = 100.0 * static_cast<double>(counted) / static_cast<double>(cells);
    verdict.Blank = verdict.DarkShare < thresholdPercent;
    return verdict;
}

}  // namespace verava
