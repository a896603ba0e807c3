#include "document/vmx_raw_analyser.h"

#include <gtest/gtest.h>

#include "objects/stream.h"
#include "support/pdf_builder.h"

namespace verava {
namespace {

TEST(RawAnalyser, FindsHeadersSeparatedByAnyWhitespace) {
    const std::string file =
        "%PDF-1.4\n1 0 obj\n<< >>\nendobj\r2 0 obj<< >>endobj\r\n3  1   obj\n(x)\nendobj 4 0 obj "
        "null";
    TVMXRawAnalyser scan;
    scan.Scan(file);
    ASSERT_EQ(scan.FoundCount, 4);
    EXPECT_EQ(scan.Number(0), 1);
    EXPECT_EQ(scan.Location(0), 9);
    EXPECT_EQ(scan.Number(2), 3);
    EXPECT_EQ(scan.Generation(2), 1);
    EXPECT_EQ(scan.Location(3), static_cast<int64_t>(file.find("4 0 obj")));
    EXPECT_EQ(scan.Number(9), 0);
    EXPECT_EQ(scan.Location(-1), 0);
}

TEST(RawAnalyser, RejectsLookalikes) {
    struct Case {
        const char* text;
        int found;
    } cases[] = {
        {"x endobj object 12 objects", 0},
        {"\nA1 0 obj\n", 0},  // number glued to a letter
        {"\n1 0obj\n", 0},    // generation glued to obj
        {"1 0 obj\n", 0},     // at the very start: no whitespace before the number
        {" 1 0 obj\n", 1},    // found near the start of the window
        {"\n12 0 ob", 0},     // too close to the end for a full window
        {"\n7 0 obj", 1},
    };
    for (const Case& c : cases) {
        TVMXRawAnalyser scan;
        scan.Scan(std::string_view(c.text));
        EXPECT_EQ(scan.FoundCount, c.found) << c.text;
    }
}

TEST(RawAnalyser, ListsEveryVersionAndTakesTheLastTrailer) {
    testing::PdfBuilder b = testing::SimpleDocument(1);
    const std::string base = b.Build();
    const std::string updated = b.AppendUpdate(base, {{4, "<< /Title (v2) >>"}});
    TVMXRawAnalyser scan;
    scan.Scan(updated);
    int fours = 0;
    for (int i = 0; i < scan.FoundCount; ++i) fours += scan.Number(i) == 4;
    EXPECT_EQ(fours, 2);
    EXPECT_NE(scan.TrailerText.find("/Prev"), std::string::npos);
    EXPECT_EQ(scan.TrailerText.substr(0, 2), "<<");
    EXPECT_EQ(scan.TrailerText.substr(scan.TrailerText.size() - 2), ">>");
}

TEST(RawAnalyser, TrailerTextIsCutAtTheFirstClose) {
    {
        TVMXRawAnalyser scan;
        scan.Scan(
            std::string_view("trailer\n<< /Size 3 /ID [<00>] /X << /Y 1 >> /Root 1 0 R >>\n%%EOF"));
        EXPECT_EQ(scan.TrailerText, "<< /Size 3 /ID [<00>] /X << /Y 1 >>");
    }
    {
        TVMXRawAnalyser scan;
        scan.Scan("trailer\n<< /Big (" + std::string(3000, 'a') + ") >>");
        EXPECT_EQ(scan.TrailerText, "");
    }
    {
        TVMXRawAnalyser scan;
        scan.Scan(std::string_view("no trailer keyword here, only xref streams"));
        EXPECT_EQ(scan.TrailerText, "");
    }
}

TEST(RawAnalyser, ReportCountsCandidatesAndHeaders) {
    std::string text = "\n1 0 obj\n2 0 obj\n";
    // 2 "o" so far; pad with 118 more.
    text += std::string(118, 'o') + "  ";
    TVMXRawAnalyser scan;
    TMemoryStream stream(text);
    scan.Scan(stream);
    EXPECT_EQ(scan.ScanReport,
              "120 \"o\" characters in the file\r\n"
              "Object (1 0 obj) found at 1\r\n"
              "Object (2 0 obj) found at 9\r\n"
              "2 \"obj\" tokens in the file\r\n");
}

TEST(RawAnalyser, FindsEveryObjectOfAFileWithAGarbageTable) {
    testing::PdfBuilder b = testing::SimpleDocument(5);
    std::string file = b.Build();
    const size_t xref = static_cast<size_t>(b.StartXRef());
    file = testing::Overwrite(file, xref + 5, std::string(60, '#'));
    TVMXRawAnalyser scan;
    scan.Scan(file);
    ASSERT_EQ(scan.FoundCount, 14);
    for (int i = 0; i < scan.FoundCount; ++i) {
        EXPECT_EQ(scan.Location(i), b.OffsetOf(scan.Number(i))) << scan.Number(i);
    }
    EXPECT_NE(scan.TrailerText.find("/Root 1 0 R"), std::string::npos);
}

}  // namespace
}  // namespace verava
