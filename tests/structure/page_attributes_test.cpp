#include "structure/page_attributes.h"

#include <gtest/gtest.h>

#include <string>

#include "structure/object_table.h"

namespace verava {
namespace {

using testing::TObjectTable;

// A page (object 4) under node 3 under root 2, each with the entries given; what the page
// inherits for `key` is read by the shared rule and shown as written (a reference stays
// "n 0 R"), or "none".
struct Case {
    const char* what;
    const char* key;
    const char* page;
    const char* node;
    const char* root;
    const char* inherited;
    bool own;  // the page holds a value of its own, of the right kind
};

TEST(PageAttributes, NearestValueOfTheRightKindIsInherited) {
    const Case cases[] = {
        {"own value first", "MediaBox", "/MediaBox [0 0 10 10]", "/MediaBox [0 0 20 20]", "",
         "[ 0 0 10 10 ]", true},
        {"from the parent", "Rotate", "", "/Rotate 90", "/Rotate 180", "90", false},
        {"from the root", "CropBox", "", "", "/CropBox [1 1 2 2]", "[ 1 1 2 2 ]", false},
        {"a reference stays a reference", "Resources", "", "/Resources 9 0 R", "", "9 0 R", false},
        {"a reference to the wrong kind is passed over", "Resources", "/Resources 8 0 R",
         "/Resources 9 0 R", "", "9 0 R", false},
        {"own value of the wrong kind counts as none", "MediaBox", "/MediaBox 612",
         "/MediaBox [0 0 5 5]", "", "[ 0 0 5 5 ]", false},
        {"a node's wrong kind is passed over", "Rotate", "", "/Rotate /Ninety", "/Rotate 270",
         "270", false},
        {"a dictionary is no box", "CropBox", "", "/CropBox << >>", "", "none", false},
        {"a reference to nothing is none", "Resources", "/Resources 77 0 R", "", "", "none", false},
        {"nowhere", "Rotate", "", "", "", "none", false},
    };
    for (const Case& c : cases) {
        TObjectTable table;
        table.AddDict(2, std::string("<< /Type /Pages /Kids [3 0 R] /Count 1 ") + c.root + " >>");
        table.AddDict(3, std::string("<< /Type /Pages /Parent 2 0 R /Kids [4 0 R] /Count 1 ") +
                             c.node + " >>");
        TPDFDictionary* page =
            table.AddDict(4, std::string("<< /Type /Page /Parent 3 0 R ") + c.page + " >>");
        table.Add(8, "[ /NotADictionary ]");
        table.Add(9, "<< /Font << >> >>");
        TPDFObject* value = NearestInherited(page, c.key);
        EXPECT_EQ(value != nullptr ? value->ToText() : "none", c.inherited) << c.what;
        EXPECT_EQ(HasOwnAttribute(page, c.key), c.own) << c.what;
    }
}

TEST(PageAttributes, LoopedOrEndlessParentChainsEndTheWalk) {
    {
        TObjectTable table;  // 3 -> 2 -> 3, no value anywhere
        table.AddDict(2, "<< /Type /Pages /Parent 3 0 R >>");
        table.AddDict(3, "<< /Type /Pages /Parent 2 0 R >>");
        TPDFDictionary* page = table.AddDict(4, "<< /Type /Page /Parent 3 0 R >>");
        EXPECT_EQ(NearestInherited(page, "MediaBox"), nullptr);
    }
    {
        // A chain deeper than any walk goes: the value at its top is not reached.
        TObjectTable table;
        const int depth = TPDFObject::kMaxWalkDepth + 10;
        table.AddDict(depth + 1, "<< /Type /Pages /Rotate 90 >>");
        for (int n = depth; n >= 2; --n) {
            table.AddDict(n, "<< /Type /Pages /Parent " + std::to_string(n + 1) + " 0 R >>");
        }
        TPDFDictionary* page = table.AddDict(1, "<< /Type /Page /Parent 2 0 R >>");
        EXPECT_EQ(NearestInherited(page, "Rotate"), nullptr);
        table.AddDict(1, "<< /Type /Page /Parent 2000 0 R >>");
        EXPECT_NE(NearestInherited(As<TPDFDictionary>(table.Get(1)), "Rotate"), nullptr);
    }
}

// A page's rotation turned further, from its Rotate as a file may write it.
TEST(PageAttributes, TurnedRotationWrapsAndIgnoresWhatIsNoQuarterTurn) {
    TPDFStructure store;
    const struct {
        const char* rotate;  // "" for none
        int32_t degrees;
        int32_t turned;
    } cases[] = {
        {"", 0, 0},         {"", 90, 90},        {"90", 180, 270},   {"270", 180, 90},
        {"-90", 0, 270},    {"-90", 90, 0},      {"450", 0, 90},     {"720", 270, 270},
        {"90.0", 90, 180},  {"45", 90, 90},      {"89.5", 0, 0},     {"9000000000", 90, 90},
        {"(90)", 180, 180}, {"/R90", 90, 90},    {"-360", 180, 180}, {"0", -90, 270},
    };
    for (const auto& c : cases) {
        TPDFObject* rotate = *c.rotate != '\0' ? store.ParseText(c.rotate) : nullptr;
        EXPECT_EQ(TurnedRotation(rotate, c.degrees), c.turned) << c.rotate << " + " << c.degrees;
    }
}

}  // namespace
}  // namespace verava
