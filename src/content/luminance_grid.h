// A page image reduced to a grid of luminance cells, and the rule that calls it blank paper:
// the paper's level is a high percentile of the cells; paper darker than kMinPaperLevel is
// content in itself (a black or dark page); otherwise the page is blank when the share of
// cells in marks clearly darker than the paper stays below a threshold. Marks are judged
// as a person sees them, by connected dark cells: a speck of dust (at most two cells either
// way) is paper unless it stands in a group of specks; so are a solid band along an edge
// (a scanner's shadow) and punched holes (round blobs of a hole's size in a line near an
// edge). The thinnest page number is a stroke of three cells or more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace verava {

// Images are judged at about this many cells along their long side (a 300 dpi A4 scan at
// an eighth of its size: 310 x 439 cells of 8 x 8 pixels).
inline constexpr int32_t kReducedLongSide = 384;

// The default threshold, in percent of the cells judged: a 300 dpi A4 scan then counts as
// blank with at most 2 dark cells of its ~125000; a lone page number such as "1" darkens
// about 6, one short line of text hundreds.
inline constexpr double kDefaultBlankThreshold = 0.002;

// Paper whose percentile level is below this (out of 255) is dark: the page is content.
inline constexpr int32_t kMinPaperLevel = 128;

// Luminance 0 (black) .. 255 (white), row by row from the top.
struct TLuminanceGrid {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint8_t> Cells;
    uint8_t At(int32_t x, int32_t y) const {
        return Cells[static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)];
    }
};

// Averages rows of luminance pixels into cells of factor x factor pixels (the last row and
// column of cells take what is left). Holds one row of sums, never the whole image.
class TGridReducer {
  public:
    // The cell size that brings a width x height image to about kReducedLongSide cells
    // along its long side (1 for images that are already that small).
    static int32_t FactorFor(int32_t width, int32_t height);

    TGridReducer(int32_t width, int32_t height, int32_t factor);
    // One row of `width` luminance values; rows beyond `height` are ignored.
    void AddRow(const uint8_t* luminance);
    // The grid; valid once `height` rows were added.
    const TLuminanceGrid& Grid() const { return grid_; }

  private:
    void FlushCellRow();

    int32_t width_;
    int32_t height_;
    int32_t factor_;
    int32_t rowsAdded_ = 0;
    int32_t rowsInCell_ = 0;
    std::vector<uint32_t> sums_;  // one per cell column of the cell row being filled
    TLuminanceGrid grid_;
};

struct TPaperVerdict {
    bool Blank = false;
    bool DarkPaper = false;  // the paper itself is dark: content
    int32_t PaperLevel = 0;
    double DarkShare = 0;  // percent of the judged cells that count as dark
};

// Judges the grid by the rule above: blank when DarkShare is below `thresholdPercent`. A border of
// 2 % on each side is left out: scanners darken the edges of a sheet, and page numbers sit further
// in.
TPaperVerdict JudgePaper(const TLuminanceGrid& grid, double thresholdPercent);

}  // namespace verava
