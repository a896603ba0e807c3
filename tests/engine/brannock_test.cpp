#include "engine/brannock.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "objects/pdf_text.h"
#include "objects/platform.h"
#include "objects/stream.h"
#include "objects/wide_file_stream.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"

namespace verava {
namespace {

std::u16string TempFile(const std::string& name, const std::string& bytes) {
    return Utf8ToUnicode(testing::WriteTempFile(name, bytes));
}

// The page order of the current document as the numbers shown on its pages.
std::string PageOrder(TBrannock& engine) {
    std::string order;
    TPDFPageTree& tree = engine.CurrentDocument->PageTree();
    for (int32_t n = 1; n <= engine.CountPages(); ++n) {
        TPDFDictionary* page = tree.FindPage(n);
        auto* contents = As<TPDFArray>(page->GetValue("Contents", true));
        TPDFObject* first = contents != nullptr ? ResolveIfReference(contents->Get(0))
                                                : page->GetValue("Contents", true);
        const std::string data = As<TPDFStream>(first)->GetDecodedData();
        const size_t space = data.find(' ', data.find('('));
        order += data.substr(space + 1, data.find(')') - space - 1);
        if (n < engine.CountPages()) order += ",";
    }
    return order;
}

TEST(Engine, StartsWithABlankOnePageDocument) {
    TVelmorPDFLibrary engine;
    EXPECT_EQ(engine.CountPages(), 1);
    EXPECT_EQ(engine.CurrentPage(), 1);
    EXPECT_EQ(engine.Documents.size(), 1u);
    EXPECT_EQ(engine.ObjectID(engine.CurrentDocument), 0x58000000);
    TPDFDictionary* info = engine.CurrentDocument->GetInfo();
    for (const char* key : {"Producer", "Creator", "CreationDate", "ModDate"}) {
        EXPECT_NE(info->IndexOf(key), -1) << key;
    }
    EXPECT_NE(As<TPDFString>(info->GetValue("Producer"))->Bytes.find("18.11"), std::string::npos);
    EXPECT_EQ(As<TPDFString>(info->GetValue("CreationDate"))->Bytes.substr(0, 2), "D:");
}

TEST(Engine, OpenFileReportsMissingUnreadableAndEncryptedFiles) {
    TVelmorPDFLibrary engine;
    TPDFDocument* blank = engine.CurrentDocument;
    EXPECT_EQ(engine.OpenFile(u"/nonexistent/file.pdf"), 0);
    EXPECT_EQ(engine.ErrorCode, kErrorNotLoadable);
    EXPECT_EQ(engine.CurrentDocument, blank);
    EXPECT_EQ(engine.OpenFile(TempFile("junk.pdf", "this is no pdf")), 0);
    EXPECT_EQ(engine.ErrorCode, kErrorNotLoadable);
    EXPECT_EQ(engine.OpenFile(Utf8ToUnicode("/tmp")), 0);  // a directory is no file
    EXPECT_EQ(engine.Documents.size(), 1u);
    EXPECT_EQ(engine.CurrentDocument, blank);
}

TEST(Engine, OpeningTwoFilesKeepsThreeDocuments) {
    TVelmorPDFLibrary engine;
    const std::u16string a = TempFile("a.pdf", testing::SimpleDocument(2).Build());
    const std::u16string b = TempFile("b.pdf", testing::SimpleDocument(5).Build());
    ASSERT_EQ(engine.OpenFile(a), 1);
    EXPECT_EQ(engine.ObjectID(engine.CurrentDocument), 0x58000001);
    ASSERT_EQ(engine.OpenFile(b), 1);
    EXPECT_EQ(engine.Documents.size(), 3u);
    EXPECT_EQ(engine.CountPages(), 5);
    EXPECT_EQ(engine.CurrentDocument->FileName, b);
    // IDs are stable; the document made current by ID comes back.
    EXPECT_EQ(engine.ObjectID(engine.Documents[1].get()), 0x58000001);
    EXPECT_EQ(engine.MakeDocumentCurrent(0x58000001), 1);
    EXPECT_EQ(engine.CountPages(), 2);
    EXPECT_EQ(engine.ObjectForID(0x58000000 + static_cast<int32_t>(engine.HandleList.size())),
              nullptr);
    EXPECT_EQ(engine.ObjectForID(0x18000000), nullptr);
    EXPECT_EQ(engine.MakeDocumentCurrent(0x58000000 + 99), 0);
    int other = 0;
    const int32_t id = engine.ObjectID(&other);
    EXPECT_EQ(engine.DocumentForID(id), nullptr);
    EXPECT_EQ(engine.MakeDocumentCurrent(id), 0);
}

TEST(Engine, PageSelectionAndMovesRefuseBadPositions) {
    TVelmorPDFLibrary engine;
    ASSERT_EQ(engine.OpenFile(TempFile("five.pdf", testing::SimpleDocument(5).Build())), 1);
    EXPECT_EQ(engine.GoToPage(0), 0);
    EXPECT_EQ(engine.GoToPage(6), 0);
    EXPECT_EQ(engine.CurrentPage(), 1);
    EXPECT_EQ(engine.GoToPage(3), 1);
    EXPECT_EQ(engine.MovePageTo(3), 0);
    EXPECT_EQ(engine.MovePageTo(0), 0);
    EXPECT_EQ(engine.MovePageTo(6), 0);
    EXPECT_EQ(PageOrder(engine), "1,2,3,4,5");
    EXPECT_EQ(engine.MovePageTo(1), 1);
    EXPECT_EQ(PageOrder(engine), "3,1,2,4,5");
    // The current page number still names the old position.
    EXPECT_EQ(engine.CurrentPage(), 3);
}

TEST(Engine, ReverseSequenceGivesTheLastPageFirst) {
    TVelmorPDFLibrary engine;
    ASSERT_EQ(engine.OpenFile(TempFile("eight.pdf", testing::SimpleDocument(8).Build())), 1);
    const int32_t n = engine.CountPages();
    for (int32_t b = 1; b < n; ++b) {
        engine.GoToPage(n);
        engine.MovePageTo(b);
    }
    EXPECT_EQ(PageOrder(engine), "8,7,6,5,4,3,2,1");
}

TEST(Engine, WriteToFileStampsModDateAndReportsFailureByResultOnly) {
    LocalDateTime t;
    t.year = 2025;
    t.month = 6;
    t.day = 7;
    t.hour = 8;
    t.minute = 9;
    t.second = 10;
    t.utcOffsetMinutes = 480;
    ScopedClockOverride clock([&] { return t; });
    TVelmorPDFLibrary engine;
    ASSERT_EQ(engine.OpenFile(TempFile("one.pdf", testing::SimpleDocument(1).Build())), 1);
    const std::string out = testing::WriteTempFile("one-out.pdf", "");
    EXPECT_EQ(engine.WriteToFile(Utf8ToUnicode(out)), 1);
    const std::string bytes = testing::ReadFileBytes(out);
    EXPECT_NE(bytes.find("/ModDate (D:20250607080910+08'00')"), std::string::npos);
    EXPECT_NE(bytes.find("<xmp:ModifyDate>2025-06-07T08:09:10+08:00</xmp:ModifyDate>"),
              std::string::npos);
    EXPECT_EQ(engine.WriteToFile(u"/nonexistent/folder/x.pdf"), 0);
    EXPECT_EQ(engine.ErrorCode, 0);
}

TEST(Engine, SavingOverTheLoadedFileWorks) {
    const std::string path = testing::WriteTempFile("over.pdf", testing::SimpleDocument(4).Build());
    TVelmorPDFLibrary engine;
    ASSERT_EQ(engine.OpenFile(Utf8ToUnicode(path)), 1);
    engine.GoToPage(4);
    engine.MovePageTo(1);
    ASSERT_EQ(engine.WriteToFile(Utf8ToUnicode(path)), 1);
    // The document still reads its pages after its source file was rewritten.
    EXPECT_EQ(PageOrder(engine), "4,1,2,3");
    ASSERT_EQ(engine.WriteToFile(Utf8ToUnicode(path)), 1);
    TVelmorPDFLibrary reader;
    ASSERT_EQ(reader.OpenFile(Utf8ToUnicode(path)), 1);
    EXPECT_EQ(PageOrder(reader), "4,1,2,3");
}

TEST(Engine, ProgressReportsScaledDistinctValues) {
    TVelmorPDFLibrary engine;
    std::vector<int32_t> seen;
    engine.ReportProgress(50);  // no event: nothing happens
    engine.OnProgress = [&](int32_t p) { seen.push_back(p); };
    engine.ProgressScale = 0.75;
    engine.ProgressOffset = 0;
    for (double raw : {0.0, 1.0, 2.0, 50.0, 100.0}) engine.ReportProgress(raw);
    engine.ProgressScale = 0.25;
    engine.ProgressOffset = 75;
    engine.ReportProgress(2);  // 75.5 rounds to 76
    engine.ReportProgress(100);
    EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 38, 75, 76, 100}));
}

TEST(Engine, OpenStreamLoadsFromMemory) {
    TVelmorPDFLibrary engine;
    TMemoryStream stream(testing::SimpleDocument(3).Build(testing::XRefKind::StreamFlatePredicted));
    EXPECT_EQ(engine.OpenStream(stream), 1);
    EXPECT_EQ(engine.CountPages(), 3);
}

}  // namespace
}  // namespace verava
