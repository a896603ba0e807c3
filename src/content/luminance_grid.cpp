#include "content/luminance_grid.h"

#include <algorithm>
#include <array>

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
    if (w <= 0 || h <= 0 ||
        grid.Cells.size() != static_cast<size_t>(w) * static_cast<size_t>(h)) {
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
    auto dark = [&](int32_t x, int32_t y) {
        return x >= 0 && y >= 0 && x < w && y < h && grid.At(x, y) < darkBelow;
    };
    uint64_t counted = 0;
    for (int32_t y = y0; y < y1; ++y) {
        for (int32_t x = x0; x < x1; ++x) {
            if (!dark(x, y)) continue;
            bool neighbour = false;
            for (int32_t dy = -1; dy <= 1 && !neighbour; ++dy) {
                for (int32_t dx = -1; dx <= 1 && !neighbour; ++dx) {
                    neighbour = (dx != 0 || dy != 0) && dark(x + dx, y + dy);
                }
            }
            if (neighbour) ++counted;
        }
    }
    verdict.DarkShare = 100.0 * static_cast<double>(counted) / static_cast<double>(cells);
    verdict.Blank = verdict.DarkShare < thresholdPercent;
    return verdict;
}

}  // namespace verava
