// Where the main window's controls go, as a function of the window's width and of the room
// their captions need. At the narrowest the window is the classic 395-pixel form with its
// controls at their classic pixel rectangles (all below the check boxes two rows lower), as
// long as every caption fits there; a caption
// that does not (a mnemonic's "(&O)" after a Chinese caption) widens its column and the
// window with it. A wider window gives the room to the path boxes and the progress bar, and
// the buttons stay at the right edge.
#pragma once

#include <QRect>

namespace verava {

// The widths the captions need, in logical pixels; 0 or anything narrower than the classic
// width keeps the classic one.
struct TCaptionWidths {
    int label = 0;    // the row labels "奇数页文件："
    int choose = 0;   // the choose buttons
    int reverse = 0;  // the reverse buttons
    int merge = 0;
    int preview = 0;
    int stop = 0;
    int check = 0;  // the widest of the check boxes under the path boxes
};

struct TWindowGeometry {
    QRect label[2];
    QRect edit[2];
    QRect choose[2];
    QRect reverse[2];
    // Under the path boxes: evens scanned last to first, backs upside down, both passes in
    // one file, blank pages removed.
    QRect check[4];
    QRect merge;
    QRect progress;
    QRect preview;
    QRect stop;
};

// The window's height: the classic 180 and two more rows of check boxes; nothing in it
// would use more.
inline constexpr int kWindowHeight = 216;

// The narrowest the window may be with these captions: 395 when they fit the classic form.
int MinimumWindowWidth(const TCaptionWidths& needs);

// The controls of a window `width` wide (never narrower than MinimumWindowWidth(needs)).
TWindowGeometry LayOutWindow(int width, const TCaptionWidths& needs);

}  // namespace verava
