// The window's boxes for stacks as people bring them: both passes in one file (the even row
// rests) and backs upside down (turned on the short edge), and the preview's mends of a
// misfeed: what the merge writes, and where.
#include <gtest/gtest.h>

#include <QTest>
#include <string>
#include <vector>

#include "app/gui/main_window.h"
#include "app/gui/order_preview.h"
#include "app/gui/shown_window.h"
#include "app/gui/window_fakes.h"
#include "objects/pdf_text.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"

namespace verava {
namespace {

using testing::Q;
using testing::ShownWindow;
using testing::U;
using testing::WriteTempFile;

using testing::TurnedPageTexts;
std::string FileOf(const std::vector<std::string>& texts, const std::string& name) {
    return testing::WriteTextPages(texts, name);
}

std::string Collated(const std::string& path) {
    return UnicodeToUtf8(CollateOutputPath(Utf8ToUnicode(path)));
}

TEST(StackClick, TheBoxesSayHowTheStackWasScannedAndTheMergeFollows) {
    const struct {
        const char* what;
        std::vector<std::string> odd, even;  // the rows' files; no even file: the row is empty
        bool reversed, collated, shortEdge;
        const char* written;
    } cases[] = {
        {"one file, backs in order, upside down", {"1", "3", "2", "4"}, {}, false, true, true,
         "1,2@180,3,4@180"},
        // The even row's file is not asked about while the odd row's holds both passes.
        {"one file, the even row ignored", {"1", "3", "4", "2"}, {"x", "y", "z"}, true, true,
         false, "1,2,3,4"},
        {"two files upside down", {"1", "3"}, {"4", "2"}, true, false, true, "1,2@180,3,4@180"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string tag = "stack-click-" + std::to_string(++n);
        const std::string odd = FileOf(c.odd, tag + "-odd.pdf");
        const std::string even = c.even.empty() ? "" : FileOf(c.even, tag + "-even.pdf");
        ShownWindow w;
        w.Choose(odd, even);
        w.window.CheckBox1.setChecked(c.reversed);
        w.window.CheckBox3.setChecked(c.collated);
        w.window.CheckBox4.setChecked(c.shortEdge);
        // Enter merges: the odd row alone is a whole stack when it holds both passes.
        EXPECT_EQ(w.window.DefaultAction(), c.collated || !even.empty() ? &w.window.Button3
                                                                        : &w.window.Button4)
            << c.what;
        w.Click(w.window.Button3);
        const std::string output =
            c.collated ? Collated(odd) : testing::MergedName(odd, even);
        ASSERT_EQ(w.sink.messages.size(), 1) << c.what;
        EXPECT_TRUE(w.sink.messages.front().endsWith(Q(output))) << c.what;
        EXPECT_EQ(TurnedPageTexts(output), c.written) << c.what;
    }
}

TEST(StackClick, TheEvenRowRestsWhileTheOddRowHoldsBothPasses) {
    ShownWindow w;
    auto even = [&] {
        return std::vector<bool>{w.window.Label2.isEnabled(), w.window.Edit2.isEnabled(),
                                 w.window.Button2.isEnabled(), w.window.Button5.isEnabled()};
    };
    w.window.CheckBox3.click();
    EXPECT_EQ(even(), std::vector<bool>(4, false));
    EXPECT_TRUE(w.window.Button1.isEnabled());
    // A run greys the buttons and gives back only what the box allows.
    w.window.SetBusy(true);
    w.window.SetBusy(false);
    EXPECT_EQ(even(), std::vector<bool>(4, false));
    w.window.CheckBox3.click();
    EXPECT_EQ(even(), std::vector<bool>(4, true));
}

TEST(StackClick, ACollatedMergeAsksBeforeReplacingWhatItWouldWrite) {
    const std::string both = FileOf({"1", "3", "4", "2"}, "stack-click-replace.pdf");
    const std::string output = Collated(both);
    testing::WriteTempFile(output.substr(output.rfind('/') + 1), "earlier");
    ShownWindow w;
    w.Choose(both, "");
    w.window.CheckBox3.setChecked(true);
    w.sink.answers = {false};
    w.Click(w.window.Button3);
    EXPECT_EQ(w.sink.questions, QStringList{U("输出文件已存在，要替换吗？\n") + Q(output)});
    EXPECT_EQ(testing::ReadFileBytes(output), "earlier");
}

// A sheet whose back was not scanned and a back fed twice: the preview opens although the
// passes do not pair, the user mends them there, and the merge writes what the preview
// showed.
TEST(StackClick, MisfeedsMendedInThePreviewAreWhatTheMergeWrites) {
    const struct {
        const char* what;
        std::vector<std::string> odd, even;
        bool reversed;
        // Mends in the preview: the sheet (1-based) that gets a blank back, and the backs
        // (by their place among the tiles of backs, 0-based) left out; -1 for none.
        int blankAt;
        int leaveOut;
        const char* written;
    } cases[] = {
        // Sheet 2's back missed: 3 fronts and 1 back pair, but the back of sheet 3 would
        // land on sheet 2. A blank back there puts it right.
        {"missed back", {"1", "3", "5"}, {"6", "2"}, true, 2, -1, "1,2,3,?,5,6"},
        // The back of sheet 1 fed twice: 2 fronts, 3 backs do not pair until one goes.
        {"back fed twice", {"1", "3"}, {"2", "2", "4"}, false, -1, 1, "1,2,3,4"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string tag = "stack-mend-" + std::to_string(++n);
        const std::string odd = FileOf(c.odd, tag + "-odd.pdf");
        const std::string even = FileOf(c.even, tag + "-even.pdf");
        ShownWindow w;
        w.Choose(odd, even);
        w.window.CheckBox1.setChecked(c.reversed);
        w.Click(w.window.Button6);
        TOrderPreview* preview = w.window.Preview();
        ASSERT_NE(preview, nullptr) << c.what;
        EXPECT_TRUE(w.sink.messages.isEmpty()) << c.what;
        if (c.blankAt > 0) {
            preview->Rows()[static_cast<size_t>(c.blankAt - 1)]->Back.BlankHereButton.click();
        }
        if (c.leaveOut >= 0) {
            std::vector<TPageTile*> backs;
            for (TSheetRow* row : preview->Rows()) {
                if (row->Back.HasPage()) backs.push_back(&row->Back);
            }
            backs[static_cast<size_t>(c.leaveOut)]->LeaveOutBox.click();
        }
        ASSERT_TRUE(preview->Paired()) << c.what;
        preview->MergeButton.click();
        w.WaitForRun();
        EXPECT_EQ(TurnedPageTexts(testing::MergedName(odd, even)), c.written) << c.what;
    }
}

}  // namespace
}  // namespace verava
