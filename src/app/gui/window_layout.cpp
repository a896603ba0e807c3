#include "app/gui/window_layout.h"

#include <algorithm>

namespace verava {
namespace {

// The classic form, in logical pixels: a 6-pixel margin on the left and 4 on the right,
// 72 for the labels, 205 for the path boxes, then 10 pixels apart the column of buttons,
// 98 wide (choose 38, 4 apart, reverse 56), which the preview button spans and the merge
// button fills to 79.
constexpr int kLeft = 6;
constexpr int kRight = 4;
constexpr int kLabel = 72;
constexpr int kPath = 205;
constexpr int kColumnGap = 10;
constexpr int kChoose = 38;
constexpr int kButtonGap = 4;
constexpr int kReverse = 56;
constexpr int kMerge = 79;
constexpr int kStop = 79;

struct Columns {
    int label;
    int choose;
    int reverse;
    int buttons;  // choose, gap and reverse: the column the preview button spans
    int merge;
    int stop;
    int minPath;
};

Columns ColumnsFor(const TCaptionWidths& needs) {
    Columns c;
    c.label = std::max(kLabel, needs.label);
    c.choose = std::max(kChoose, needs.choose);
    c.merge = std::max(kMerge, needs.merge);
    c.buttons = std::max(
        {c.choose + kButtonGap + std::max(kReverse, needs.reverse), needs.preview, c.merge});
    // The reverse buttons take whatever the preview or the merge caption added to the column.
    c.reverse = c.buttons - kButtonGap - c.choose;
    c.stop = std::max(kStop, needs.stop);
    // The stop button sits under the bar, which starts under the labels.
    c.minPath = std::max({kPath, needs.check, c.stop - c.label});
    return c;
}

int Fixed(const Columns& c) { return kLeft + c.label + kColumnGap + c.buttons + kRight; }

}  // namespace

int MinimumWindowWidth(const TCaptionWidths& needs) {
    const Columns c = ColumnsFor(needs);
    return Fixed(c) + c.minPath;
}

TWindowGeometry LayOutWindow(int width, const TCaptionWidths& needs) {
    const Columns c = ColumnsFor(needs);
    const int path = std::max(c.minPath, width - Fixed(c));
    const int pathX = kLeft + c.label;
    const int buttonsX = pathX + path + kColumnGap;
    const int reverseX = buttonsX + c.choose + kButtonGap;

    TWindowGeometry g;
    // Each row: the label, the path box, then its choose and reverse buttons, a pixel shorter
    // than the box and, in the second row, a pixel lower, as the classic form has them.
    g.label[0] = QRect(kLeft, 24, c.label, 12);
    g.label[1] = QRect(kLeft, 60, c.label, 12);
    g.edit[0] = QRect(pathX, 22, path, 20);
    g.edit[1] = QRect(pathX, 58, path, 20);
    g.choose[0] = QRect(buttonsX, 22, c.choose, 19);
    g.choose[1] = QRect(buttonsX, 59, c.choose, 18);
    g.reverse[0] = QRect(reverseX, 22, c.reverse, 19);
    g.reverse[1] = QRect(reverseX, 59, c.reverse, 18);
    for (int row = 0; row < 4; ++row) g.check[row] = QRect(pathX, 82 + 18 * row, path, 16);
    // What the classic form has under its two check boxes comes two rows lower.
    constexpr int kBelow = 36;
    g.merge = QRect(buttonsX, 120 + kBelow, c.merge, 25);
    // The bar runs under the labels and the path boxes; the stop button ends where it does.
    g.progress = QRect(kLeft, 124 + kBelow, c.label + path, 15);
    g.preview = QRect(buttonsX, 149 + kBelow, c.buttons, 25);
    g.stop = QRect(pathX + path - c.stop, 149 + kBelow, c.stop, 25);
    return g;
}

}  // namespace verava
