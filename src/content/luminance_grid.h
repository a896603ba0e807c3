// A page image reduced to a grid of luminance cells, and the rule that calls it blank paper:
// the paper's level is a high percentile of the cells; paper darker than kMinPaperLevel is
// content in itself (a black or dark page); otherwise the page is blank when the share of
// cells in marks clearly darker than the paper stays below a threshold. A cell is dark by its
// mean, or by its darkest quarter when that is sharply darker (a light pencil line). Marks are
// judged as a person sees them, by connected dark cells: a speck of dust (at most two cells either
// way) is paper unless it stands in a group of specks; so are a solid band along an edge
// (a scanner's shadow), dark cells joined straight to the image's edge (the lid beside a sheet
// scanned askew, a shadow of any outline) and punched holes (alike round blobs of a hole's
// size, or on a white lid their grey rims, in a line along an edge and far apart). The
// thinnest page number is a stroke of three cells or more.
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
    std::vector<uint8_t> Cells;  // each cell's mean
    // Each cell's darkest quarter (the mean of the darkest of its 2 x 2 parts), where known:
    // a thin sharp stroke (a light pencil line) darkens a quarter of a cell far more than the
    // whole, while the paper's noise averages out in either. Empty: as Cells.
    std::vector<uint8_t> Darkest;
    uint8_t At(int32_t x, int32_t y) const {
        return Cells[static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)];
    }
};

// Averages rows of luminance pixels into cells of factor x factor pixels (the last row and
// column of cells take what is left), and each cell's halves either way into its darkest
// quarter. Holds one row of sums, never the whole image.
class TGridReducer {
  public:
    // The cell size that brings a width x height image to about kReducedLongSide cells
    // along its long side (1 for images that are already that small).
    static int32_t FactorFor(int32_t width, int32_t height);

    // `quarters` false leaves Darkest empty: for bilevel images, where every mark is solid
    // black and a quarter's few pixels of thresholded noise would pass for a stroke.
    TGridReducer(int32_t width, int32_t height, int32_t factor, bool quarters = true);
    // One row of `width` luminance values; rows beyond `height` are ignored.
    void AddRow(const uint8_t* luminance);
    // The same for a row of runs: `first` up to changes[0], `second` up to changes[1], and so
    // on in turn (TSampleSink::RunRow); its work is the runs and the cells, not the pixels.
    void AddRuns(const int32_t* changes, size_t count, uint8_t first, uint8_t second);
    // The grid; valid once `height` rows were added.
    const TLuminanceGrid& Grid() const { return grid_; }

  private:
    void AddSpan(int32_t x, int32_t end, uint32_t level);
    void EndRow();
    void FlushQuarterRow();
    void FlushCellRow();

    int32_t width_;
    int32_t height_;
    int32_t factor_;
    bool quarters_;
    int32_t half_;  // rows and columns in a cell's first half (the second takes the rest)
    int32_t rowsAdded_ = 0;
    int32_t rowsInCell_ = 0;
    int32_t rowsInQuarter_ = 0;
    std::vector<uint32_t> sums_;  // one per cell column of the cell row being filled
    std::vector<uint32_t> quarterSums_;  // two per cell column: its halves in the half row
    std::vector<uint8_t> darkest_;       // one per cell column of the cell row being filled
    std::vector<uint8_t> spelt_;         // AddRuns' row where cells are pixels
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
