// The paper rule on grids drawn cell by cell: what counts as a dark cell, the paper level,
// dark paper, the border, and how rows of pixels are averaged into cells.
#include "content/luminance_grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace verava {
namespace {

TLuminanceGrid Uniform(int32_t w, int32_t h, uint8_t level) {
    TLuminanceGrid grid;
    grid.Width = w;
    grid.Height = h;
    grid.Cells.assign(static_cast<size_t>(w) * h, level);
    return grid;
}

void Paint(TLuminanceGrid& grid, int32_t x, int32_t y, uint8_t level) {
    grid.Cells[static_cast<size_t>(y) * grid.Width + x] = level;
}

TEST(JudgePaper, LoneSpecksAreDustButNeighbouringDarkCellsAreInk) {
    // 300 x 400 cells: 120000 minus the border; the default threshold then allows two
    // neighbouring dark cells but not three.
    struct Case {
        const char* what;
        std::vector<std::pair<int, int>> dark;
        bool blank;
    };
    const Case cases[] = {
        {"clean paper", {}, true},
        {"scattered specks", {{50, 50}, {52, 50}, {100, 200}, {250, 390 - 20}, {10, 10}}, true},
        {"two specks touching", {{150, 150}, {151, 151}}, true},
        {"a short stroke of three cells", {{150, 150}, {150, 151}, {150, 152}}, false},
        {"a digit of six cells",
         {{150, 350}, {150, 351}, {150, 352}, {151, 350}, {151, 352}, {151, 351}},
         false},
    };
    for (const Case& c : cases) {
        TLuminanceGrid grid = Uniform(300, 400, 244);
        for (auto [x, y] : c.dark) Paint(grid, x, y, 120);
        const TPaperVerdict verdict = JudgePaper(grid, kDefaultBlankThreshold);
        EXPECT_EQ(verdict.Blank, c.blank) << c.what << " share " << verdict.DarkShare;
        EXPECT_EQ(verdict.PaperLevel, 244) << c.what;
        EXPECT_FALSE(verdict.DarkPaper) << c.what;
    }
}

// Marks drawn on 310 x 439 cells of paper (an A4 scan), each judged at the default
// threshold: what a person takes for paper and what for ink.
TEST(JudgePaper, MarksAreJudgedAsAPersonSeesThem) {
    const auto disc = [](TLuminanceGrid& g, int cx, int cy, int r) {
        for (int y = cy - r; y <= cy + r; ++y) {
            for (int x = cx - r; x <= cx + r; ++x) {
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) Paint(g, x, y, 40);
            }
        }
    };
    // A hole's rim on a white lid: a ring, dark on the side away from the lamp and faint on
    // the other.
    const auto rim = [](TLuminanceGrid& g, int cx, int cy, double r) {
        for (int y = cy - 8; y <= cy + 8; ++y) {
            for (int x = cx - 8; x <= cx + 8; ++x) {
                const double d = std::hypot(x - cx, y - cy);
                if (std::abs(d - r) > 0.5) continue;
                const bool shaded = x - cx + y - cy > 0;  // below and to the right
                Paint(g, x, y, shaded ? 150 : 222);
            }
        }
    };
    // The lid beside a sheet turned a little: a wedge widening from nothing along the right
    // edge of the image, `in` cells left of it.
    const auto wedge = [](TLuminanceGrid& g, int in) {
        for (int y = 300; y < 439; ++y) {
            for (int x = 309 - in - (y - 300) / 8; x < 310 - in; ++x) Paint(g, x, y, 40);
        }
    };
    const auto dust = [](TLuminanceGrid& g, int specks, uint32_t seed) {
        std::mt19937 random(seed);
        for (int i = 0; i < specks; ++i) {
            const int x = 10 + static_cast<int>(random() % 290);
            const int y = 10 + static_cast<int>(random() % 419);
            Paint(g, x, y, 90);
            if (i % 4 == 0) Paint(g, x + 1, y, 90);  // a quarter of them two cells
        }
    };
    const struct {
        const char* what;
        std::function<void(TLuminanceGrid&)> draw;
        bool blank;
    } cases[] = {
        {"heavy dust: 200 specks of one or two cells", [&](auto& g) { dust(g, 200, 7); }, true},
        {"heavy dust and a page number",
         [&](auto& g) {
             dust(g, 200, 7);
             for (int y = 420; y < 424; ++y) Paint(g, 155, y, 60);
         },
         false},
        {"a dotted line of six specks",
         [](auto& g) {
             for (int x = 100; x < 112; x += 2) Paint(g, x, 200, 80);
         },
         false},
        {"three specks close together",
         [](auto& g) {
             for (int x = 100; x < 106; x += 2) Paint(g, x, 200, 80);
         },
         true},
        {"a soft shadow along the left edge",
         [](auto& g) {
             for (int y = 0; y < 439; ++y) {
                 for (int x = 0; x < 14; ++x) Paint(g, x, y, static_cast<uint8_t>(120 + 6 * x));
             }
         },
         true},
        {"the same band away from the edge",
         [](auto& g) {
             for (int y = 0; y < 439; ++y) {
                 for (int x = 40; x < 50; ++x) Paint(g, x, y, 120);
             }
         },
         false},
        {"two punched holes in a line near the left edge",
         [&](auto& g) {
             disc(g, 20, 150, 4);
             disc(g, 20, 290, 4);
         },
         true},
        {"four holes along the top",
         [&](auto& g) {
             for (int x : {60, 120, 190, 250}) disc(g, x, 18, 4);
         },
         true},
        {"one round blob near the edge", [&](auto& g) { disc(g, 20, 150, 4); }, false},
        {"two round blobs in a line mid-page",
         [&](auto& g) {
             disc(g, 155, 150, 4);
             disc(g, 155, 290, 4);
         },
         false},
        {"holes and a line of text",
         [&](auto& g) {
             disc(g, 20, 150, 4);
             disc(g, 20, 290, 4);
             for (int x = 100; x < 200; ++x) Paint(g, x, 220, 50);
         },
         false},
        {"the lid's wedge beside a sheet scanned askew", [&](auto& g) { wedge(g, 0); }, true},
        {"the same wedge away from the edge", [&](auto& g) { wedge(g, 30); }, false},
        {"a shadow reaching in along a sixth of the bottom edge",
         [](auto& g) {
             for (int x = 0; x < 310; ++x) {
                 for (int y = 431; y < 439; ++y) Paint(g, x, y, 100);
             }
             for (int x = 30; x < 81; ++x) Paint(g, x, 430, 100);
         },
         true},
        {"two holes of 8 mm (13 cells) near the left edge",
         [&](auto& g) {
             disc(g, 20, 150, 6);
             disc(g, 20, 290, 6);
         },
         true},
        {"two holes off the line by 2 degrees, on a sheet scanned askew",
         [&](auto& g) {
             disc(g, 18, 150, 4);
             disc(g, 23, 290, 4);
         },
         true},
        {"two round blobs in a column near the top and the bottom edge",
         [&](auto& g) {
             disc(g, 155, 20, 4);
             disc(g, 155, 420, 4);
         },
         false},
        {"two round blobs side by side near the edge",
         [&](auto& g) {
             disc(g, 20, 150, 4);
             disc(g, 20, 162, 4);
         },
         false},
        {"two round blobs of different sizes in a line near the edge",
         [&](auto& g) {
             disc(g, 20, 150, 3);
             disc(g, 20, 290, 5);
         },
         false},
        {"two hole rims near the right edge, as on a white lid",
         [&](auto& g) {
             rim(g, 292, 150, 4.5);
             rim(g, 292, 290, 4.5);
         },
         true},
        {"one hole rim near the edge", [&](auto& g) { rim(g, 292, 150, 4.5); }, false},
        {"two rings of a hole's size mid-page",
         [&](auto& g) {
             rim(g, 155, 150, 4.5);
             rim(g, 155, 290, 4.5);
         },
         false},
        {"writing near the edge, letter by letter",
         [](auto& g) {
             for (int y = 40; y < 400; y += 5) {
                 for (int k = 0; k < 3; ++k) Paint(g, 7, y + k, 60);
             }
         },
         false},
    };
    for (const auto& c : cases) {
        TLuminanceGrid grid = Uniform(310, 439, 240);
        c.draw(grid);
        const TPaperVerdict verdict = JudgePaper(grid, kDefaultBlankThreshold);
        EXPECT_EQ(verdict.Blank, c.blank) << c.what << ", share " << verdict.DarkShare;
    }
}

TEST(JudgePaper, ACellIsDarkByThePapersLevelAndBySharpStrokes) {
    // A 40-cell stroke, each cell by its mean and its darkest quarter (0: as the mean).
    // Darkness is measured against the paper, not against white; a light pencil line darkens
    // its cells' means too little to count, their quarters sharply; the paper's noise and a
    // blurred or mottled patch darken every quarter alike.
    struct Case {
        const char* what;
        uint8_t paper;
        uint8_t mean;
        uint8_t darkest;
        bool blank;
    };
    const Case cases[] = {
        {"faint show-through on white paper", 245, 215, 0, true},
        {"ink on white paper", 245, 200, 0, false},
        {"the same dip on grey paper", 200, 175, 0, true},
        {"ink on grey paper", 200, 160, 0, false},
        {"a dip on dark grey paper", 160, 140, 0, true},
        {"a light pencil line", 240, 225, 190, false},
        {"the lightest pencil line that counts", 240, 222, 205, false},
        {"noise in a quarter", 240, 232, 215, true},
        {"a mottled patch, darker all over", 240, 218, 210, true},
        {"ink, by both", 240, 150, 100, false},
    };
    for (const Case& c : cases) {
        TLuminanceGrid grid = Uniform(200, 300, c.paper);
        grid.Darkest = grid.Cells;
        for (int y = 100; y < 140; ++y) {
            Paint(grid, 100, y, c.mean);
            grid.Darkest[static_cast<size_t>(y) * grid.Width + 100] =
                c.darkest ? c.darkest : c.mean;
        }
        const TPaperVerdict verdict = JudgePaper(grid, kDefaultBlankThreshold);
        EXPECT_EQ(verdict.Blank, c.blank) << c.what;
        EXPECT_EQ(verdict.PaperLevel, c.paper) << c.what;
    }
}

TEST(JudgePaper, DarkPaperIsContentWhateverTheThreshold) {
    for (uint8_t level : {0, 40, 100, kMinPaperLevel - 1}) {
        const TPaperVerdict verdict = JudgePaper(Uniform(100, 100, level), 100);
        EXPECT_TRUE(verdict.DarkPaper) << int(level);
        EXPECT_FALSE(verdict.Blank) << int(level);
    }
    // A black page with a little white on it: the paper is what most of it is.
    TLuminanceGrid grid = Uniform(100, 100, 20);
    for (int x = 10; x < 90; ++x) Paint(grid, x, 50, 250);
    EXPECT_TRUE(JudgePaper(grid, kDefaultBlankThreshold).DarkPaper);
    EXPECT_FALSE(JudgePaper(Uniform(100, 100, kMinPaperLevel), 1).DarkPaper);
}

TEST(JudgePaper, TheThresholdIsAShareInPercent) {
    // 100 x 100 cells, border 2 each side: 96 x 96 = 9216 judged. A 10 x 10 block is
    // 100 / 9216 = 1.085 %.
    TLuminanceGrid grid = Uniform(100, 100, 240);
    for (int y = 40; y < 50; ++y) {
        for (int x = 40; x < 50; ++x) Paint(grid, x, y, 30);
    }
    const TPaperVerdict verdict = JudgePaper(grid, 1.0);
    EXPECT_NEAR(verdict.DarkShare, 100.0 * 100 / 9216, 1e-9);
    EXPECT_FALSE(verdict.Blank);
    EXPECT_TRUE(JudgePaper(grid, 1.1).Blank);
    // 0 calls nothing blank, not even clean paper.
    EXPECT_FALSE(JudgePaper(Uniform(50, 50, 250), 0).Blank);
}

TEST(JudgePaper, TheBorderIsLeftOut) {
    // A scanner's shadow along the right edge, two cells wide on a 200-cell row, and along
    // the bottom: outside what is judged.
    TLuminanceGrid grid = Uniform(200, 300, 242);
    for (int y = 0; y < 300; ++y) {
        Paint(grid, 198, y, 100);
        Paint(grid, 199, y, 100);
    }
    for (int x = 0; x < 200; ++x) Paint(grid, x, 299, 90);
    EXPECT_TRUE(JudgePaper(grid, kDefaultBlankThreshold).Blank);
    // The same stripe further in is content.
    for (int y = 0; y < 300; ++y) Paint(grid, 190, y, 100);
    EXPECT_FALSE(JudgePaper(grid, kDefaultBlankThreshold).Blank);
}

TEST(JudgePaper, NothingToJudgeIsNotBlank) {
    EXPECT_FALSE(JudgePaper(TLuminanceGrid{}, 50).Blank);
    TLuminanceGrid broken = Uniform(10, 10, 255);
    broken.Cells.pop_back();
    EXPECT_FALSE(JudgePaper(broken, 50).Blank);
    // A one-cell image of white paper (a spacer) is blank; of black, content.
    EXPECT_TRUE(JudgePaper(Uniform(1, 1, 255), kDefaultBlankThreshold).Blank);
    EXPECT_FALSE(JudgePaper(Uniform(1, 1, 0), kDefaultBlankThreshold).Blank);
}

TEST(GridReducer, AveragesBlocksAndTheRaggedEdges) {
    // 5 x 3 pixels in cells of 2: cells of 2x2, 2x2, 1x2 over 2x1 at the bottom.
    const uint8_t rows[3][5] = {{0, 100, 10, 30, 200}, {100, 0, 50, 70, 100}, {8, 8, 9, 9, 255}};
    TGridReducer reducer(5, 3, 2);
    for (const auto& row : rows) reducer.AddRow(row);
    reducer.AddRow(rows[0]);  // beyond the height: ignored
    const TLuminanceGrid& grid = reducer.Grid();
    ASSERT_EQ(grid.Width, 3);
    ASSERT_EQ(grid.Height, 2);
    EXPECT_EQ(grid.Cells, (std::vector<uint8_t>{50, 40, 150, 8, 9, 255}));
    // Each cell's darkest quarter: here single pixels, one column wide in the last cell.
    EXPECT_EQ(grid.Darkest, (std::vector<uint8_t>{0, 10, 100, 8, 9, 255}));

    // Bilevel images keep no quarters.
    TGridReducer bilevel(5, 3, 2, false);
    for (const auto& row : rows) bilevel.AddRow(row);
    EXPECT_EQ(bilevel.Grid().Cells, grid.Cells);
    EXPECT_TRUE(bilevel.Grid().Darkest.empty());
}

TEST(GridReducer, RowsOfRunsReduceAsTheirPixelsWould) {
    // Each row as its changes (first level up to the first change, then the other, in turn)
    // and spelt out pixel by pixel: the grids must be the same at every cell size.
    const std::vector<std::vector<int32_t>> rows = {
        {},                     // a blank row
        {0},                    // all the second level
        {3, 4, 4, 9, 30, 31},   // a one-pixel run, an empty one, runs across cells
        {8, 16, 24},            // on cell borders for a factor of 8
        {1, 2, 3, 4, 5, 6, 7},  // a run to the row's end
        {12, 45, 46, 50, 80},   // the last change past the width is nothing
    };
    for (const int32_t cells : {1, 2, 5, 8, 9, -8}) {
        // Negative: without quarters, as for bilevel images.
        const int32_t factor = std::abs(cells);
        const int32_t width = 47;
        const int32_t height = static_cast<int32_t>(rows.size()) * 3;
        TGridReducer byRuns(width, height, factor, cells > 0);
        TGridReducer byPixels(width, height, factor, cells > 0);
        for (int32_t y = 0; y < height; ++y) {
            const std::vector<int32_t>& changes = rows[static_cast<size_t>(y) % rows.size()];
            const uint8_t first = y % 2 == 0 ? 250 : 0;
            const uint8_t second = static_cast<uint8_t>(255 - first - y);
            std::vector<uint8_t> pixels(static_cast<size_t>(width));
            for (int32_t x = 0; x < width; ++x) {
                const auto passed = std::upper_bound(changes.begin(), changes.end(), x);
                pixels[static_cast<size_t>(x)] =
                    (passed - changes.begin()) % 2 == 0 ? first : second;
            }
            byRuns.AddRuns(changes.data(), changes.size(), first, second);
            byPixels.AddRow(pixels.data());
        }
        EXPECT_EQ(byRuns.Grid().Cells, byPixels.Grid().Cells) << "cells " << cells;
        EXPECT_EQ(byRuns.Grid().Darkest, byPixels.Grid().Darkest) << "cells " << cells;
        EXPECT_EQ(byRuns.Grid().Cells.size(), static_cast<size_t>((width + factor - 1) / factor) *
                                                  ((height + factor - 1) / factor));
    }
}

TEST(GridReducer, QuartersOfLargerCells) {
    // Cells of 5 pixels, halved 2 and 3: a dark column in a cell's second half shows in its
    // darkest quarter as the mean of that quarter.
    std::vector<uint8_t> row(10, 240);
    row[3] = 0;  // cell 0, second half (columns 2..4)
    TGridReducer reducer(10, 5, 5);
    for (int y = 0; y < 5; ++y) reducer.AddRow(row.data());
    const TLuminanceGrid& grid = reducer.Grid();
    ASSERT_EQ(grid.Cells.size(), 2u);
    EXPECT_EQ(grid.Cells[0], 192);    // 4 of 5 columns at 240
    EXPECT_EQ(grid.Darkest[0], 160);  // 2 of 3 columns at 240
    EXPECT_EQ(grid.Darkest[1], 240);
}

TEST(GridReducer, FactorBringsTheLongSideNearTheJudgedSize) {
    struct Case {
        int32_t width, height;
    };
    for (const Case& c : {Case{2480, 3508}, Case{850, 1100}, Case{4960, 7016}, Case{310, 439},
                          Case{7016, 4960}, Case{100, 50}}) {
        const int32_t factor = TGridReducer::FactorFor(c.width, c.height);
        const int32_t longSide = (std::max(c.width, c.height) + factor - 1) / factor;
        if (std::max(c.width, c.height) >= kReducedLongSide) {
            EXPECT_GE(longSide, kReducedLongSide) << c.width << "x" << c.height;
            EXPECT_LT(longSide, 2 * kReducedLongSide) << c.width << "x" << c.height;
        } else {
            EXPECT_EQ(factor, 1);
        }
    }
}

}  // namespace
}  // namespace verava
