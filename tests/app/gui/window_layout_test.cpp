// Where the window's controls go for a width and for the room their captions need: the
// classic form when the captions fit it, a column grown for a caption that does not, and the
// extra width of a wider window given to the path boxes, never overlapping controls.
#include "app/gui/window_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace verava {
namespace {

// Every rectangle with its name, in one list.
std::vector<std::pair<std::string, QRect>> Named(const TWindowGeometry& g) {
    return {{"label 1", g.label[0]},     {"label 2", g.label[1]},
            {"edit 1", g.edit[0]},       {"edit 2", g.edit[1]},
            {"choose 1", g.choose[0]},   {"choose 2", g.choose[1]},
            {"reverse 1", g.reverse[0]}, {"reverse 2", g.reverse[1]},
            {"check 1", g.check[0]},     {"check 2", g.check[1]},
            {"check 3", g.check[2]},     {"check 4", g.check[3]},
            {"merge", g.merge},          {"progress", g.progress},
            {"preview", g.preview},      {"stop", g.stop}};
}

TEST(WindowLayout, CaptionsThatFitGiveTheClassicForm) {
    // The classic form's rectangles, in logical pixels.
    const TWindowGeometry classic = LayOutWindow(395, {});
    const std::vector<std::pair<std::string, QRect>> expected = {
        {"label 1", QRect(6, 24, 72, 12)},     {"label 2", QRect(6, 60, 72, 12)},
        {"edit 1", QRect(78, 22, 205, 20)},    {"edit 2", QRect(78, 58, 205, 20)},
        {"choose 1", QRect(293, 22, 38, 19)},  {"choose 2", QRect(293, 59, 38, 18)},
        {"reverse 1", QRect(335, 22, 56, 19)}, {"reverse 2", QRect(335, 59, 56, 18)},
        {"check 1", QRect(78, 82, 205, 16)},   {"check 2", QRect(78, 100, 205, 16)},
        {"check 3", QRect(78, 118, 205, 16)},  {"check 4", QRect(78, 136, 205, 16)},
        {"merge", QRect(293, 156, 79, 25)},    {"progress", QRect(6, 160, 277, 15)},
        {"preview", QRect(293, 185, 98, 25)},  {"stop", QRect(204, 185, 79, 25)},
    };
    EXPECT_EQ(Named(classic), expected);
    EXPECT_EQ(MinimumWindowWidth({}), 395);
    // Captions narrower than their controls change nothing.
    const TCaptionWidths fitting{.label = 60,
                                 .choose = 30,
                                 .reverse = 50,
                                 .merge = 70,
                                 .preview = 90,
                                 .stop = 40,
                                 .check = 180};
    EXPECT_EQ(MinimumWindowWidth(fitting), 395);
    EXPECT_EQ(Named(LayOutWindow(395, fitting)), expected);
}

TEST(WindowLayout, AWideCaptionWidensItsColumnAndTheWindow) {
    const struct {
        const char* what;
        TCaptionWidths needs;
        int minimum;
        // Checked at the minimum width.
        int labelWidth, pathWidth, chooseWidth, reverseWidth, previewWidth;
    } cases[] = {
        {"choose", {.choose = 48}, 405, 72, 205, 48, 56, 108},
        {"reverse", {.reverse = 72}, 411, 72, 205, 38, 72, 114},
        // The preview spans the choose and reverse column: the reverse buttons take the rest.
        {"preview", {.preview = 120}, 417, 72, 205, 38, 78, 120},
        {"check box", {.check = 240}, 430, 72, 240, 38, 56, 98},
        {"all at once",
         {.label = 80, .choose = 50, .reverse = 70, .check = 230},
         454,
         80,
         230,
         50,
         70,
         124},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MinimumWindowWidth(c.needs), c.minimum) << c.what;
        const TWindowGeometry g = LayOutWindow(c.minimum, c.needs);
        EXPECT_EQ(g.label[0].width(), c.labelWidth) << c.what;
        EXPECT_EQ(g.edit[0].width(), c.pathWidth) << c.what;
        EXPECT_EQ(g.check[1].width(), c.pathWidth) << c.what;
        EXPECT_EQ(g.choose[1].width(), c.chooseWidth) << c.what;
        EXPECT_EQ(g.reverse[0].width(), c.reverseWidth) << c.what;
        EXPECT_EQ(g.preview.width(), c.previewWidth) << c.what;
        // The column of buttons ends 4 pixels from the right edge.
        EXPECT_EQ(g.reverse[0].right(), c.minimum - 5) << c.what;
        EXPECT_EQ(g.preview.right(), c.minimum - 5) << c.what;
        EXPECT_EQ(g.progress.right(), g.edit[0].right()) << c.what;
        EXPECT_EQ(g.stop.right(), g.progress.right()) << c.what;
    }
}

// Whatever the width and the captions, the controls stay inside the window and apart, and
// a width under the minimum is laid out as the minimum.
TEST(WindowLayout, ControlsStayInsideTheWindowAndApart) {
    const TCaptionWidths captions[] = {
        {}, {.choose = 48, .reverse = 72}, {.label = 90, .merge = 110, .stop = 120, .check = 250}};
    for (const TCaptionWidths& needs : captions) {
        const int minimum = MinimumWindowWidth(needs);
        for (const int width : {0, minimum - 1, minimum, minimum + 1, minimum + 300, 4000}) {
            const int laidOut = std::max(width, minimum);
            const TWindowGeometry g = LayOutWindow(width, needs);
            EXPECT_EQ(g.reverse[0].right(), laidOut - 5) << width;
            const auto named = Named(g);
            for (size_t i = 0; i < named.size(); ++i) {
                const QRect& r = named[i].second;
                EXPECT_TRUE(QRect(0, 0, laidOut, kWindowHeight).contains(r))
                    << named[i].first << " at " << width;
                for (size_t j = i + 1; j < named.size(); ++j) {
                    EXPECT_FALSE(r.intersects(named[j].second))
                        << named[i].first << " and " << named[j].first << " at " << width;
                }
            }
        }
    }
}

}  // namespace
}  // namespace verava
