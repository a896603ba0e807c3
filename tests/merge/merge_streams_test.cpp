#include "merge/merge_streams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "document/pdf_document.h"
#include "merge/smart_pdf_reader.h"
#include "merge_test_files.h"
#include "objects/platform.h"
#include "objects/stream.h"
#include "objects/stream_filters.h"
#include "structure/pdf_page_tree.h"
#include "support/object_values.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"

namespace verava {
namespace {

using testing::Join;
using testing::Number;
using testing::Numbers;
using testing::PdfBuilder;
using testing::RefNumber;
using testing::RefNumbers;
using testing::SimpleDocument;
using testing::Texts;
using testing::XRefKind;

// One merge over bytes in memory, and ways to look at its output.
struct Merged {
    int32_t result = -1;
    int32_t code = 7;  // untouched by a merge that succeeds
    std::string output;
    std::vector<std::pair<double, int32_t>> ranges;
    std::vector<double> reports;

    Merged(std::string first, std::string second) {
        TMemoryStream a(std::move(first));
        TMemoryStream b(std::move(second));
        TMemoryStream out;
        MergeProgressSink progress;
        progress.setRange = [this](double scale, int32_t offset) {
            ranges.emplace_back(scale, offset);
            reports.push_back(-1);  // marks where a range began
        };
        progress.report = [this](double raw) { reports.push_back(raw); };
        result = MergeStreams(a, b, out, code, progress);
        output = out.Data();
    }
};

// The output read back at file level: objects by number, exactly as written.
struct OutputReader {
    explicit OutputReader(const std::string& bytes) : stream(bytes), reader(stream) {}
    TMemoryStream stream;
    TSmartPDFReader reader;
    TPDFDictionary* Dict(int32_t n) { return As<TPDFDictionary>(reader.GetObject(n)); }
};

// The output loaded as a document.
struct OutputDocument {
    explicit OutputDocument(const std::string& bytes) : stream(bytes) {
        loaded = document.LoadFromStream(stream, u"") == TPDFDocument::kLoaded;
    }
    TMemoryStream stream;
    TPDFDocument document;
    bool loaded = false;

    // The text each page shows ("Odd 1", ...), in page order.
    std::vector<std::string> PageTexts() { return testing::PageLabels(document); }
};

// The lines of the output's cross-reference table, from "xref" up to "trailer".
std::vector<std::string> XRefLines(const std::string& output) {
    std::vector<std::string> lines;
    size_t at = output.rfind("\nxref\n");
    if (at == std::string::npos) return lines;
    at += 6;
    while (at < output.size()) {
        const size_t end = output.find('\n', at);
        std::string line = output.substr(at, end - at);
        if (line == "trailer") break;
        lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

TEST(MergeStreams, ThreePagesAndTwoPagesGiveFivePagesInOrder) {
    Merged m(SimpleDocument(3, "Odd").Build(), SimpleDocument(2, "Even").Build());
    ASSERT_EQ(m.result, 1);
    EXPECT_EQ(m.code, 7);
    OutputDocument out(m.output);
    ASSERT_TRUE(out.loaded);
    EXPECT_EQ(Number(out.document.GetPagesRoot()->GetValue("Count")), 5);
    EXPECT_EQ(out.PageTexts(), Join(Texts("Odd", 1, 3), Texts("Even", 1, 2)));
    // Always labelled 1.4, with the binary comment line.
    EXPECT_EQ(m.output.substr(0, 15), "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    EXPECT_EQ(m.output.substr(m.output.size() - 6), "%%EOF\n");
}

TEST(MergeStreams, NumbersBeyondTheUsualFormKeepTheirValues) {
    // A page's private data holding numbers a four-decimal scaling cannot hold, in a
    // top-level array and in a dictionary entry, in either input.
    PdfBuilder first = SimpleDocument(1, "Odd");
    first.Set(5,
              "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 6 0 R /Resources << "
              "/Font << /F1 3 0 R >> >> /Private 9 0 R /Big 123456789012345678901234 >>");
    first.Set(9, "[ 100000000000000000000 -950000000000000.5 ]");
    PdfBuilder second = SimpleDocument(1, "Even");
    second.Set(4, "<< /Producer (x) /Serial 999999999999999 >>");
    Merged m(first.Build(), second.Build());
    ASSERT_EQ(m.result, 1);
    OutputDocument out(m.output);
    ASSERT_TRUE(out.loaded);
    EXPECT_EQ(out.PageTexts(), (std::vector<std::string>{"Odd 1", "Even 1"}));
    auto* privateData = As<TPDFArray>(out.document.ResolveObject(9));
    ASSERT_NE(privateData, nullptr);
    EXPECT_EQ(Numbers(privateData), (std::vector<double>{1e20, -950000000000000.5}));
    auto* page = As<TPDFDictionary>(out.document.ResolveObject(5));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(As<TPDFNumeric>(page->GetValue("Big"))->NumValue, 123456789012345678901234.0);
    EXPECT_EQ(m.output.find("% bug"), std::string::npos);
    EXPECT_NE(m.output.find("/Serial 999999999999999\n"), std::string::npos);
}

// Numbering may leave gaps: a small file whose page content is object 50000 (far above its
// size in bytes) merges with that content, as either input.
TEST(MergeStreams, ObjectsNumberedFarAboveTheFileSizeAreKept) {
    PdfBuilder sparse = SimpleDocument(2, "Odd");
    sparse.Set(5,
               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << "
               "/F1 3 0 R >> >> /Contents 50000 0 R >>");
    sparse.Set(50000, PdfBuilder::StreamBody("", "BT /F1 24 Tf 72 700 Td (Odd 1) Tj ET"));
    const std::string full = sparse.Build();
    // The table in two subsections, as a writer that numbers with gaps writes it.
    std::string bytes = full.substr(0, static_cast<size_t>(sparse.StartXRef()));
    const int64_t table = static_cast<int64_t>(bytes.size());
    auto row = [&](int number) {
        char line[32];
        std::snprintf(line, sizeof line, "%010lld 00000 n \n",
                      static_cast<long long>(sparse.OffsetOf(number)));
        return std::string(line);
    };
    bytes += "xref\n0 9\n0000000000 65535 f \n";
    for (int n = 1; n <= 8; ++n) bytes += row(n);
    bytes += "50000 1\n" + row(50000);
    bytes +=
        "trailer\n<< /Size 50001 /Root 1 0 R >>\nstartxref\n" + std::to_string(table) + "\n%%EOF\n";
    ASSERT_LT(bytes.size(), 5000u);
    Merged first(bytes, SimpleDocument(2, "Even").Build());
    ASSERT_EQ(first.result, 1) << first.code;
    OutputDocument one(first.output);
    ASSERT_TRUE(one.loaded);
    EXPECT_EQ(one.PageTexts(), Join(Texts("Odd", 1, 2), Texts("Even", 1, 2)));
    Merged second(SimpleDocument(2, "Even").Build(), bytes);
    ASSERT_EQ(second.result, 1) << second.code;
    OutputDocument two(second.output);
    ASSERT_TRUE(two.loaded);
    EXPECT_EQ(two.PageTexts(), Join(Texts("Even", 1, 2), Texts("Odd", 1, 2)));
}

TEST(MergeStreams, SecondInputIsNumberedAboveTheFirstAndItsNewForm) {
    // First input: objects 1..8 of a two-page document and a filler as object 40, no form.
    PdfBuilder first = SimpleDocument(2, "Odd");
    first.Set(40, "<< /Filler true >>");
    PdfBuilder second = SimpleDocument(2, "Even");  // objects 1..8
    const int n2 = 8;
    Merged m(first.Build(), second.Build());
    ASSERT_EQ(m.result, 1);

    OutputReader out(m.output);
    ASSERT_EQ(out.reader.Status(), TReaderStatus::Usable);
    // The new form is 41 and the shift is 41: the second input's catalog is 42.
    TPDFDictionary* catalog = out.Dict(1);
    ASSERT_NE(catalog, nullptr);
    EXPECT_EQ(RefNumber(catalog->GetValue("AcroForm")), 41);
    TPDFDictionary* form = out.Dict(41);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(As<TPDFArray>(form->GetValue("Fields"))->Count(), 0);
    EXPECT_EQ(As<TPDFArray>(form->GetValue("CO"))->Count(), 0);
    EXPECT_FALSE(As<TPDFBoolean>(form->GetValue("NeedAppearances"))->Truth);
    TPDFDictionary* secondCatalog = out.Dict(42);
    ASSERT_NE(secondCatalog, nullptr);
    EXPECT_EQ(secondCatalog->GetType(), "Catalog");
    EXPECT_EQ(RefNumber(secondCatalog->GetValue("Pages")), 43);
    // The second root hangs under the first; its pages' references are raised too.
    EXPECT_EQ(RefNumbers(out.Dict(2)->GetValue("Kids")), (std::vector<int32_t>{5, 7, 43}));
    EXPECT_EQ(Number(out.Dict(2)->GetValue("Count")), 4);
    EXPECT_EQ(RefNumber(out.Dict(43)->GetValue("Parent")), 2);
    EXPECT_EQ(RefNumbers(out.Dict(43)->GetValue("Kids")), (std::vector<int32_t>{46, 48}));
    EXPECT_EQ(RefNumber(out.Dict(46)->GetValue("Contents")), 47);
    EXPECT_EQ(RefNumber(out.Dict(46)->GetValue("Parent")), 43);
    // Trailer: Size 41 + N2 + 2 (the Metadata stream the merge adds comes after both inputs),
    // the first input's catalog and information.
    TPDFDictionary* trailer = out.reader.Trailer();
    EXPECT_EQ(Number(trailer->GetValue("Size")), 41 + n2 + 2);
    EXPECT_EQ(RefNumber(catalog->GetValue("Metadata")), 41 + n2 + 1);
    EXPECT_EQ(RefNumber(trailer->GetValue("Root")), 1);
    EXPECT_EQ(RefNumber(trailer->GetValue("Info")), 4);
    // Numbers 9..39 were free in the first input: written as null objects.
    EXPECT_NE(m.output.find("\n9 0 obj\nnull\nendobj\n"), std::string::npos);
    EXPECT_NE(m.output.find("\n39 0 obj\nnull\nendobj\n"), std::string::npos);

    OutputDocument doc(m.output);
    ASSERT_TRUE(doc.loaded);
    EXPECT_EQ(doc.PageTexts(), Join(Texts("Odd", 1, 2), Texts("Even", 1, 2)));
}

TEST(MergeStreams, TableIsOneSubsectionWithoutFreeEntriesButTheHead) {
    // Numbers 7 and 8 are free in the first input, 5 in the second.
    PdfBuilder first = SimpleDocument(1, "Odd");  // 1..6
    first.Set(9, "<< /After (gap) >>");
    PdfBuilder second;
    second.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    second.Set(2, "<< /Type /Pages /Kids [ 3 0 R ] /Count 1 >>");
    second.Set(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>");
    second.Set(4, PdfBuilder::StreamBody("", "BT ET"));
    second.Set(6, "<< /Last true >>");
    second.TrailerEntries = "/Root 1 0 R";
    Merged m(first.Build(), second.Build());
    ASSERT_EQ(m.result, 1);

    // The first input gets a form as 10, so the second is shifted by 10; its Metadata stream
    // follows both.
    const int total = 10 + 6 + 1;
    const std::vector<std::string> lines = XRefLines(m.output);
    ASSERT_EQ(lines.size(), static_cast<size_t>(total + 2));
    EXPECT_EQ(lines[0], "0 " + std::to_string(total + 1));
    EXPECT_EQ(lines[1], "0000000000 65535 f ");
    for (size_t k = 2; k < lines.size(); ++k) {
        EXPECT_EQ(lines[k].size(), 19u) << k;
        EXPECT_EQ(lines[k].substr(16), " n ") << "entry " << k - 1;
    }
    for (int n : {7, 8, 15}) {
        EXPECT_NE(m.output.find("\n" + std::to_string(n) + " 0 obj\nnull\nendobj\n"),
                  std::string::npos)
            << n;
    }
    OutputReader out(m.output);
    EXPECT_EQ(out.reader.LastObjectNumber(), total);
    EXPECT_EQ(Number(out.reader.Trailer()->GetValue("Size")), total + 1);
}

TEST(MergeStreams, EncryptedInputsAreRefusedBeforeAnythingIsWritten) {
    const std::string plain = SimpleDocument(2).Build();
    PdfBuilder locked = SimpleDocument(2);
    // V 4 with an empty user password opens for everyone, and is refused all the same; so
    // are a V 0 dictionary and one without V.
    for (const char* encrypt :
         {"<< /Filter /Standard /V 4 /R 4 /Length 128 /P -4 /O <00> /U <00> >>",
          "<< /Filter /Standard /V 0 >>", "<< /Filter /Standard >>"}) {
        locked.TrailerEntries = std::string("/Root 1 0 R /Encrypt ") + encrypt +
                                " /ID [ <0123456789abcdef0123456789abcdef> <00> ]";
        const std::string bytes = locked.Build();
        {
            Merged m(bytes, plain);
            EXPECT_EQ(m.result, 0) << encrypt;
            EXPECT_EQ(m.code, kMergeEncrypted) << encrypt;
            EXPECT_TRUE(m.output.empty()) << encrypt;
            EXPECT_TRUE(m.reports.empty()) << encrypt;
        }
        {
            Merged m(plain, bytes);
            EXPECT_EQ(m.code, kMergeEncrypted) << encrypt;
            EXPECT_TRUE(m.output.empty()) << encrypt;
        }
    }
    // The inputs are taken in turn: an unreadable first input is refused as such, whatever
    // the second is.
    locked.TrailerEntries = "/Root 1 0 R /Encrypt << /Filter /Standard /V 1 >>";
    Merged m("no header here", locked.Build());
    EXPECT_EQ(m.code, kMergeUnreadable);
}

TEST(MergeStreams, UnreadableInputsAreRefusedBeforeAnythingIsWritten) {
    const std::string plain = SimpleDocument(2).Build();
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"no header", "1 0 obj\n<< >>\nendobj\nstartxref\n0\n%%EOF\n"},
        {"empty file", ""},
        {"no page tree", "%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\n"},
        {"startxref to nothing", "%PDF-1.4\n1 0 obj\n<< >>\nendobj\nstartxref\n9999\n%%EOF\n"},
    };
    for (const auto& c : cases) {
        for (bool second : {false, true}) {
            Merged m(second ? plain : c.bytes, second ? c.bytes : plain);
            EXPECT_EQ(m.result, 0) << c.what << (second ? " (second)" : " (first)");
            EXPECT_EQ(m.code, kMergeUnreadable) << c.what;
            EXPECT_TRUE(m.output.empty()) << c.what;
        }
    }
    // Junk in front of the header is fine, however much: the document loader opens such
    // files, and what the loader opens is merged.
    for (size_t junk : {300, 1100}) {
        PdfBuilder early = SimpleDocument(1, "Odd");
        early.Prefix = std::string(junk, 'j');
        Merged ok(early.Build(), SimpleDocument(1, "Even").Build());
        ASSERT_EQ(ok.result, 1) << junk;
        OutputDocument out(ok.output);
        EXPECT_EQ(out.PageTexts(), (std::vector<std::string>{"Odd 1", "Even 1"})) << junk;
    }
}

TEST(MergeStreams, TheSameInputTwiceGivesItsPagesTwice) {
    const std::string bytes = SimpleDocument(3).Build();
    Merged m(bytes, bytes);
    ASSERT_EQ(m.result, 1);
    OutputDocument out(m.output);
    ASSERT_TRUE(out.loaded);
    EXPECT_EQ(out.PageTexts(), Join(Texts("Page", 1, 3), Texts("Page", 1, 3)));
}

TEST(MergeStreams, SecondInputsPagesTakeTheirOwnBoxesWithThem) {
    // The first root says Letter and rotates; the second root says A4; no page has its own.
    auto file = [](const std::string& rootEntries, const std::string& prefix) {
        PdfBuilder b;
        b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.Set(2, "<< /Type /Pages " + rootEntries + " /Kids [ 3 0 R 5 0 R ] /Count 2 >>");
        for (int k = 0; k < 2; ++k) {
            b.Set(3 + 2 * k, "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(4 + 2 * k) +
                                 " 0 R >>");
            b.Set(4 + 2 * k, PdfBuilder::StreamBody(
                                 "", "BT (" + prefix + " " + std::to_string(k + 1) + ") Tj ET"));
        }
        b.TrailerEntries = "/Root 1 0 R";
        return b.Build();
    };
    Merged m(file("/MediaBox [0 0 612 792] /Rotate 90", "Odd"),
             file("/MediaBox [0 0 595 842]", "Even"));
    ASSERT_EQ(m.result, 1);
    OutputReader out(m.output);
    const int shift = 7;  // six objects and the new form
    for (int page : {3, 5}) {
        TPDFDictionary* d = out.Dict(page + shift);
        ASSERT_NE(d, nullptr) << page;
        EXPECT_EQ(Numbers(d->GetValue("MediaBox")), (std::vector<double>{0, 0, 595, 842}));
        EXPECT_EQ(Numbers(d->GetValue("CropBox")), (std::vector<double>{0, 0, 595, 842}));
        EXPECT_EQ(Number(d->GetValue("Rotate")), 0);
        // The first input's pages are written as they were.
        EXPECT_EQ(out.Dict(page)->GetValue("MediaBox"), nullptr);
    }
}

TEST(MergeStreams, SecondCatalogNamingAPageHangsThatPageUnderTheFirstRoot) {
    PdfBuilder second;
    second.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    second.Set(2, "<< /Type /Page /MediaBox [0 0 595 842] /Contents 3 0 R >>");
    second.Set(3, PdfBuilder::StreamBody("", "BT (Even 1) Tj ET"));
    second.TrailerEntries = "/Root 1 0 R";
    Merged m(SimpleDocument(2, "Odd").Build(), second.Build());
    ASSERT_EQ(m.result, 1);
    OutputReader out(m.output);
    // The second file gets a root of its own (its object 4) above the page, and that root
    // hangs under the first.
    const int shift = 9;  // eight objects and the new form
    EXPECT_EQ(RefNumbers(out.Dict(2)->GetValue("Kids")), (std::vector<int32_t>{5, 7, 4 + shift}));
    EXPECT_EQ(Number(out.Dict(2)->GetValue("Count")), 3);
    TPDFDictionary* root = out.Dict(4 + shift);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(RefNumbers(root->GetValue("Kids")), (std::vector<int32_t>{2 + shift}));
    EXPECT_EQ(RefNumber(root->GetValue("Parent")), 2);
    TPDFDictionary* page = out.Dict(2 + shift);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->GetType(), "Page");
    EXPECT_EQ(RefNumber(page->GetValue("Parent")), 4 + shift);
    OutputDocument doc(m.output);
    ASSERT_TRUE(doc.loaded);
    EXPECT_EQ(doc.PageTexts(), (std::vector<std::string>{"Odd 1", "Odd 2", "Even 1"}));
}

TEST(MergeStreams, CrossReferenceStreamsAndObjectStreamsBecomePlainObjects) {
    PdfBuilder first = SimpleDocument(2, "Odd");
    for (int n : {1, 2, 3, 4, 5, 7}) first.Compress(n);
    PdfBuilder second = SimpleDocument(2, "Even");
    for (int n : {1, 2, 5}) second.Compress(n);
    for (XRefKind kind : {XRefKind::Stream, XRefKind::StreamFlatePredicted, XRefKind::Hybrid}) {
        Merged m(first.Build(kind), second.Build(XRefKind::Hybrid));
        ASSERT_EQ(m.result, 1) << static_cast<int>(kind);
        OutputDocument out(m.output);
        ASSERT_TRUE(out.loaded);
        EXPECT_EQ(out.PageTexts(), Join(Texts("Odd", 1, 2), Texts("Even", 1, 2)));
        // The catalog came out of an object stream and is a plain object now.
        EXPECT_EQ(m.output.find("1 0 obj\n<<"), 15u);
        OutputReader reader(m.output);
        EXPECT_FALSE(reader.reader.HasXRefStream());
        for (const char* key : {"Type", "W", "Index", "Prev", "XRefStm", "Filter", "Length"}) {
            EXPECT_EQ(reader.reader.Trailer()->GetValue(key), nullptr) << key;
        }
        EXPECT_NE(reader.reader.Trailer()->GetValue("ID"), nullptr);
    }
}

TEST(MergeStreams, StreamDataAreCopiedByteForByte) {
    std::string binary;
    for (int k = 0; k < 512; ++k) binary.push_back(static_cast<char>((k * 37) & 0xFF));
    PdfBuilder second = SimpleDocument(1, "Even");
    second.Set(7, PdfBuilder::StreamBody("/Filter /FlateDecode /Custom 3 0 R", binary));
    Merged m(SimpleDocument(1, "Odd").Build(), second.Build());
    ASSERT_EQ(m.result, 1);
    // The second input is shifted by 7 (six objects and the form).
    OutputReader out(m.output);
    auto* stream = As<TPDFStream>(out.reader.GetObject(14));
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->Data(), binary);
    EXPECT_EQ(RefNumber(stream->StreamDict()->GetValue("Custom")), 10);
    ASSERT_NE(As<TPDFName>(stream->StreamDict()->GetValue("Filter")), nullptr);
    EXPECT_EQ(As<TPDFName>(stream->StreamDict()->GetValue("Filter"))->Text, "FlateDecode");

    // Framed exactly as the object's own text, and so are the first input's streams.
    TMemoryStream input(second.Build());
    TSmartPDFReader reader(input);
    TPDFStructure store;
    for (int32_t n : {6, 7}) {
        TPDFObject* original = reader.LoadObject(n, &store);
        ASSERT_NE(As<TPDFStream>(original), nullptr) << n;
        original->ShiftReferences(7);
        const std::string framed =
            "\n" + std::to_string(n + 7) + " 0 obj\n" + original->ToText() + "\nendobj\n";
        EXPECT_NE(m.output.find(framed), std::string::npos) << n;
    }
    EXPECT_NE(m.output.find("\n6 0 obj\n<<\n/Length 36\n>>\nstream\nBT /F1 24 Tf 72 700 Td (Odd 1) "
                            "Tj ET\nendstream\nendobj\n"),
              std::string::npos);
}

TEST(MergeStreams, IncrementalUpdatesAreMergedAtTheirNewestState) {
    PdfBuilder first = SimpleDocument(2, "Odd");
    const std::string base = first.Build();
    const std::string updated =
        first.AppendUpdate(base, {{6, PdfBuilder::StreamBody("", "BT (Odd 1 new) Tj ET")}},
                           XRefKind::Table, "/Root 1 0 R /Info 4 0 R");
    PdfBuilder second = SimpleDocument(1, "Even");
    const std::string secondBase = second.Build();
    const std::string secondUpdated =
        second.AppendUpdate(secondBase, {{6, PdfBuilder::StreamBody("", "BT (Even 1 new) Tj ET")}},
                            XRefKind::Stream, "/Root 1 0 R");
    Merged m(updated, secondUpdated);
    ASSERT_EQ(m.result, 1);
    OutputDocument out(m.output);
    ASSERT_TRUE(out.loaded);
    EXPECT_EQ(out.PageTexts(), (std::vector<std::string>{"Odd 1 new", "Odd 2", "Even 1 new"}));
}

// Two text fields per input, listed by reference.
PdfBuilder FormFile(const std::string& prefix, bool needAppearances) {
    PdfBuilder b = SimpleDocument(1, prefix);  // 1..6
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm 7 0 R >>");
    b.Set(7, std::string("<< /Fields [ 8 0 R 9 0 R ] /NeedAppearances ") +
                 (needAppearances ? "true" : "false") + " >>");
    b.Set(8, "<< /FT /Tx /T (" + prefix + "A) /V (1) >>");
    b.Set(9, "<< /FT /Tx /T (" + prefix + "B) /V (2) >>");
    return b;
}

TEST(MergeStreams, FieldTreesThatLoopOrShareKidsMergeInBoundedTimeAndMemory) {
    // A Parent cycle of 150 fields and fields that share kids, in both inputs: the walks
    // stop at numbers met before, so the merge ends at once with every field.
    auto formFile = [](const std::string& prefix) {
        PdfBuilder b = SimpleDocument(2, prefix);
        constexpr int kCycle = 150;
        std::string fields;
        for (int i = 0; i < kCycle; ++i) {
            const int number = 20 + i;
            const int next = 20 + (i + 1) % kCycle;
            b.Set(number, "<< /T (" + prefix + std::to_string(i) + ") /FT /Tx /Parent " +
                              std::to_string(next) + " 0 R /Kids [" + std::to_string(next) +
                              " 0 R 300 0 R] >>");
        }
        b.Set(300, "<< /T (shared) /Kids [301 0 R 302 0 R] >>");
        b.Set(301, "<< /T (a) /Parent 300 0 R /Kids [302 0 R] >>");
        b.Set(302, "<< /T (b) /Parent 301 0 R /Kids [301 0 R 300 0 R] >>");
        b.Set(10, "<< /Fields [20 0 R 300 0 R] >>");
        b.Set(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm 10 0 R >>");
        return b.Build();
    };
    Merged m(formFile("odd"), formFile("even"));
    ASSERT_EQ(m.result, 1);
    OutputDocument out(m.output);
    ASSERT_TRUE(out.loaded);
    EXPECT_EQ(out.PageTexts(), Join(Texts("odd", 1, 2), Texts("even", 1, 2)));
    auto* form = As<TPDFDictionary>(out.document.GetRoot()->GetValue("AcroForm", true));
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(RefNumbers(form->GetValue("Fields", true)).size(), 4u);
}

TEST(MergeStreams, BothInputsFieldsEndUpInTheFirstForm) {
    Merged m(FormFile("odd", false).Build(), FormFile("even", true).Build());
    ASSERT_EQ(m.result, 1);
    OutputReader out(m.output);
    TPDFDictionary* form = out.Dict(7);
    ASSERT_NE(form, nullptr);
    const int shift = 9;  // the first input has its own form: nothing new
    EXPECT_EQ(RefNumbers(form->GetValue("Fields")),
              (std::vector<int32_t>{8, 9, 8 + shift, 9 + shift}));
    EXPECT_TRUE(As<TPDFBoolean>(form->GetValue("NeedAppearances"))->Truth);
    auto title = [&](int32_t n) {
        auto* t = As<TPDFString>(out.Dict(n)->GetValue("T"));
        return t != nullptr ? t->Bytes : "";
    };
    EXPECT_EQ(title(8 + shift), "evenA");
    EXPECT_EQ(title(9 + shift), "evenB");
    EXPECT_EQ(Number(out.reader.Trailer()->GetValue("Size")), 9 + 9 + 1 + 1);  // and Metadata
}

// An outline root with `items` top-level items after the objects of a one-page document.
PdfBuilder OutlineFile(const std::string& prefix, int items) {
    PdfBuilder b = SimpleDocument(1, prefix);  // 1..6
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 7 0 R >>");
    b.Set(7, "<< /Type /Outlines /First 8 0 R /Last " + std::to_string(7 + items) + " 0 R /Count " +
                 std::to_string(items) + " >>");
    for (int k = 1; k <= items; ++k) {
        std::string item = "<< /Title (" + prefix + std::to_string(k) + ") /Parent 7 0 R";
        if (k > 1) item += " /Prev " + std::to_string(7 + k - 1) + " 0 R";
        if (k < items) item += " /Next " + std::to_string(7 + k + 1) + " 0 R";
        b.Set(7 + k, item + " /Dest [ 5 0 R /Fit ] >>");
    }
    return b;
}

// The titles of the top-level items in the output, walking First and Next.
std::vector<std::string> OutlineTitles(OutputReader& out, int32_t* lastNumber = nullptr) {
    std::vector<std::string> titles;
    TPDFDictionary* catalog = out.Dict(RefNumber(out.reader.Trailer()->GetValue("Root")));
    TPDFDictionary* root =
        catalog != nullptr ? out.Dict(RefNumber(catalog->GetValue("Outlines"))) : nullptr;
    if (root == nullptr) return titles;
    if (lastNumber != nullptr) *lastNumber = RefNumber(root->GetValue("Last"));
    int32_t item = RefNumber(root->GetValue("First"));
    for (int guard = 0; item > 0 && guard < 100; ++guard) {
        TPDFDictionary* d = out.Dict(item);
        if (d == nullptr) break;
        auto* t = As<TPDFString>(d->GetValue("Title"));
        titles.push_back(t != nullptr ? t->Bytes : "?");
        item = RefNumber(d->GetValue("Next"));
    }
    return titles;
}

TEST(MergeStreams, OutlinesOfBothInputsAreChainedOrAdopted) {
    {
        // Both have outlines: B's items follow A's under A's root.
        Merged m(OutlineFile("a", 2).Build(), OutlineFile("b", 2).Build());
        ASSERT_EQ(m.result, 1);
        OutputReader out(m.output);
        int32_t last = 0;
        EXPECT_EQ(OutlineTitles(out, &last), (std::vector<std::string>{"a1", "a2", "b1", "b2"}));
        const int shift = 10;  // nine objects and the new form
        EXPECT_EQ(last, 9 + shift);
        EXPECT_EQ(Number(out.Dict(7)->GetValue("Count")), 4);
        EXPECT_EQ(RefNumber(out.Dict(8 + shift)->GetValue("Prev")), 9);
        EXPECT_EQ(RefNumber(out.Dict(8 + shift)->GetValue("Parent")), 7);
        EXPECT_EQ(RefNumber(out.Dict(9 + shift)->GetValue("Parent")), 7);
        // Destinations of the second input point at its own (shifted) page.
        EXPECT_EQ(RefNumbers(out.Dict(8 + shift)->GetValue("Dest")).front(), 5 + shift);
    }
    {
        // Only B has outlines: A's catalog takes B's root.
        Merged m(SimpleDocument(1, "Odd").Build(), OutlineFile("b", 3).Build());
        ASSERT_EQ(m.result, 1);
        OutputReader out(m.output);
        EXPECT_EQ(OutlineTitles(out), (std::vector<std::string>{"b1", "b2", "b3"}));
        EXPECT_EQ(RefNumber(out.Dict(1)->GetValue("Outlines")), 7 + 7);
    }
    {
        // Only A has outlines: they stay as they are.
        Merged m(OutlineFile("a", 1).Build(), SimpleDocument(1, "Even").Build());
        ASSERT_EQ(m.result, 1);
        OutputReader out(m.output);
        EXPECT_EQ(OutlineTitles(out), std::vector<std::string>{"a1"});
    }
}

// A merge over bytes in memory with options, and its output.
std::string MergedWith(const std::string& first, const std::string& second,
                       const TMergeOptions& options, int32_t* result = nullptr) {
    TMemoryStream a(first);
    TMemoryStream b(second);
    TMemoryStream out;
    int32_t code = 0;
    const int32_t r = MergeStreams(a, b, out, code, {}, options);
    if (result != nullptr) *result = r;
    return out.Data();
}

// A file's numbers far apart cost the output nothing: only its objects are written, never
// every number up to the highest (a run without objects is left out of the table).
TEST(MergeStreams, OutputSizeFollowsTheObjectsNotTheHighestNumber) {
    // One free row numbered 900000 after the table's rows.
    auto freeRow = [](const std::string& prefix) {
        const std::string bytes = SimpleDocument(1, prefix).Build();
        return testing::InsertAt(bytes, bytes.rfind("trailer\n"),
                                 "900000 1\n0000000000 00001 f \n");
    };
    // The page's content numbered 700000, listed by a cross-reference stream.
    auto farContent = [](const std::string& prefix) {
        return testing::XRefStreamFile(
            {{1, "<< /Type /Catalog /Pages 2 0 R >>"},
             {2, "<< /Type /Pages /Kids [ 3 0 R ] /Count 1 >>"},
             {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 700000 0 R >>"},
             {700000,
              PdfBuilder::StreamBody("", "BT /F1 24 Tf 72 700 Td (" + prefix + " 1) Tj ET")}},
            {{1, 1, -1, 0}, {2, 1, -1, 0}, {3, 1, -1, 0}, {700000, 1, -1, 0}}, "/Root 1 0 R");
    };
    const std::pair<std::string, std::string> cases[] = {
        {freeRow("Odd"), SimpleDocument(1, "Even").Build()},
        {SimpleDocument(1, "Odd").Build(), freeRow("Even")},
        {farContent("Odd"), farContent("Even")},
    };
    for (const auto& [first, second] : cases) {
        for (const char* order : {"", "f1 s1"}) {
            TMergeOptions options;
            if (*order != '\0') options.pages = testing::Listed(order);
            int32_t result = 0;
            const std::string output = MergedWith(first, second, options, &result);
            ASSERT_EQ(result, 1);
            // The inputs, a new catalog, page tree root and form, and a Metadata packet of
            // about 3 KB.
            EXPECT_LT(output.size(), first.size() + second.size() + 6000);
            EXPECT_LT(XRefLines(output).size(), 40u);
            OutputDocument out(output);
            ASSERT_TRUE(out.loaded);
            EXPECT_EQ(out.PageTexts(), (std::vector<std::string>{"Odd 1", "Even 1"}));
        }
    }
}

TEST(MergeStreams, DroppedPagesLeaveTheTreeAndTheObjectsOnlyTheyUse) {
    const std::string odd = SimpleDocument(3, "Odd").Build();    // pages 5, 7, 9
    const std::string even = SimpleDocument(3, "Even").Build();  // pages 5, 7, 9
    struct Case {
        const char* listed;
        std::vector<std::string> pages;
    };
    const Case cases[] = {
        {"f1 s2 f3", {"Odd 1", "Even 2", "Odd 3"}},
        {"f2 s2 f3 s1", {"Odd 2", "Even 2", "Odd 3", "Even 1"}},
        {"f1 f2 s1 s3", {"Odd 1", "Odd 2", "Even 1", "Even 3"}},
        // Entries that name no page, and repeats, are passed over.
        {"f0 f1 s1 f4 f2 s2 s-1 f3 s3 f1 s3",
         {"Odd 1", "Even 1", "Odd 2", "Even 2", "Odd 3", "Even 3"}},
        {"f1", {"Odd 1"}},
        {"s3", {"Even 3"}},
    };
    for (const Case& c : cases) {
        TMergeOptions options;
        options.pages = testing::Listed(c.listed);
        int32_t result = -1;
        const std::string output = MergedWith(odd, even, options, &result);
        ASSERT_EQ(result, 1) << c.pages.size();
        OutputDocument out(output);
        ASSERT_TRUE(out.loaded);
        EXPECT_EQ(out.PageTexts(), c.pages);
        EXPECT_EQ(Number(out.document.GetPagesRoot()->GetValue("Count")),
                  static_cast<double>(c.pages.size()));
        // The content of a dropped page is not in the file at all.
        for (const std::string& text : Join(Texts("Odd", 1, 3), Texts("Even", 1, 3))) {
            const bool kept = std::find(c.pages.begin(), c.pages.end(), text) != c.pages.end();
            EXPECT_EQ(output.find("(" + text + ")") != std::string::npos, kept) << text;
        }
        // Size stays one above the highest number in the table.
        OutputReader reader(output);
        const int32_t size =
            static_cast<int32_t>(Number(reader.reader.Trailer()->GetValue("Size")));
        EXPECT_NE(output.find("\n" + std::to_string(size - 1) + " 0 obj"), std::string::npos);
        EXPECT_EQ(output.find("\n" + std::to_string(size) + " 0 obj"), std::string::npos);
    }
}

TEST(MergeStreams, ADroppedPageThatSomethingStillNamesIsWrittenAsNull) {
    // The outline item's destination names page 5 of the first input, which is dropped.
    TMergeOptions options;
    options.pages = testing::Listed("s1");
    const std::string output =
        MergedWith(OutlineFile("a", 1).Build(), SimpleDocument(1, "Even").Build(), options);
    OutputDocument out(output);
    ASSERT_TRUE(out.loaded);
    EXPECT_EQ(out.PageTexts(), std::vector<std::string>{"Even 1"});
    OutputReader reader(output);
    EXPECT_EQ(OutlineTitles(reader), std::vector<std::string>{"a1"});
    EXPECT_NE(As<TPDFNull>(reader.reader.GetObject(5)), nullptr);
    EXPECT_EQ(output.find("(a 1)"), std::string::npos);  // its content is gone all the same
}

TEST(MergeStreams, ProgressCoversEachInputInItsOwnRange) {
    PdfBuilder first = SimpleDocument(2);   // 8 objects and the new form: 9
    PdfBuilder second = SimpleDocument(5);  // 14 objects
    Merged m(first.Build(), second.Build());
    ASSERT_EQ(m.result, 1);
    EXPECT_EQ(m.ranges, (std::vector<std::pair<double, int32_t>>{{0.75, 0}, {0.25, 75}}));
    std::vector<double> expected;
    for (int count : {9, 14}) {
        expected.push_back(-1);
        for (int k = 1; k <= count; ++k) expected.push_back((k * 100) / count);
        expected.push_back(100);
    }
    EXPECT_EQ(m.reports, expected);
}

// A file written by the engine carries the time it was written: Info ModDate and the XMP
// packet's xmp:ModifyDate, in a Metadata stream a reader finds without decoding it.
TEST(MergeStreams, MergedFileGetsTheClocksModDateInInfoAndMetadata) {
    LocalDateTime t;
    t.year = 2024;
    t.month = 1;
    t.day = 2;
    t.hour = 3;
    t.utcOffsetMinutes = 480;
    ScopedClockOverride clock([&] { return t; });
    PdfBuilder withPacket = SimpleDocument(1, "Odd");
    withPacket.Set(1, "<< /Type /Catalog /Pages 2 0 R /Metadata 7 0 R >>");
    withPacket.Set(
        7, PdfBuilder::StreamBody(
               "/Type /Metadata /Subtype /XML /Filter /FlateDecode",
               FlateEncode("<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3."
                           "org/1999/02/22-rdf-syntax-ns#'><rdf:Description rdf:about='' "
                           "xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:title><rdf:Alt><rdf:"
                           "li xml:lang='x-default'>Kept title</rdf:li></rdf:Alt></dc:title></"
                           "rdf:Description></rdf:RDF></x:xmpmeta>")));
    PdfBuilder withoutInfo = SimpleDocument(1, "Odd");
    withoutInfo.TrailerEntries = "/Root 1 0 R";
    const struct {
        std::string first;
        const char* listed;     // "": every page, the second tree hung under the first
        const char16_t* title;  // the packet's dc:title: the first input's, if any
        const char* producer;
    } cases[] = {
        {SimpleDocument(1, "Odd").Build(), "", u"", "VERava tests"},
        {withoutInfo.Build(), "", u"", ""},
        {withPacket.Build(), "", u"Kept title", "VERava tests"},
        {withoutInfo.Build(), "f1", u"", ""},  // a page left out: Info and packet new objects
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.producer << c.listed);
        TMergeOptions options;
        if (*c.listed != '\0') options.pages = testing::Listed(c.listed);
        // The second input's packet is never the output's.
        OutputDocument out(MergedWith(c.first, withPacket.Build(), options));
        ASSERT_TRUE(out.loaded);
        auto* modDate = As<TPDFString>(out.document.GetInfo()->GetValue("ModDate", true));
        ASSERT_NE(modDate, nullptr);
        EXPECT_EQ(modDate->Bytes, "D:20240102030000+08'00'");
        auto* metadata = As<TPDFStream>(out.document.GetRoot()->GetValue("Metadata", true));
        ASSERT_NE(metadata, nullptr);
        EXPECT_EQ(metadata->StreamDict()->GetValue("Filter"), nullptr);
        // What a loaded document takes over from the packet (typed /Metadata /XML).
        EXPECT_EQ(out.document.Metadata().ModDate(), u"2024-01-02T03:00:00+08:00");
        EXPECT_EQ(out.document.Metadata().Title(), c.title);
        // The other information stays.
        auto* producer = As<TPDFString>(out.document.GetInfo()->GetValue("Producer", true));
        EXPECT_EQ(producer != nullptr ? producer->Bytes : "", c.producer);
    }
}

// A stream that refuses to be written to after a number of bytes.
class FullStream : public TMemoryStream {
  public:
    explicit FullStream(int64_t room) : room_(room) {}
    int64_t Write(const void* buffer, int64_t count) override {
        if (count > room_) throw EStreamError("disk full");
        room_ -= count;
        return TMemoryStream::Write(buffer, count);
    }

  private:
    int64_t room_;
};

TEST(MergeStreams, WriteErrorsOfTheOutputReachTheCaller) {
    TMemoryStream a(SimpleDocument(2).Build());
    TMemoryStream b(SimpleDocument(2).Build());
    for (int64_t room : {0, 100, 1000}) {
        FullStream out(room);
        int32_t code = 0;
        EXPECT_THROW(MergeStreams(a, b, out, code), EStreamError) << room;
    }
}

}  // namespace
}  // namespace verava
