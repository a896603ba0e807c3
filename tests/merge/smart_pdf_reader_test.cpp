#include "merge/smart_pdf_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "document/pdf_document.h"
#include "merge_test_files.h"
#include "objects/number_text.h"
#include "objects/pdf_structure.h"
#include "objects/platform.h"
#include "objects/stream_filters.h"
#include "security/md5.h"
#include "support/bounded_run.h"
#include "support/pdf_builder.h"

namespace verava {
namespace {

using testing::HandRow;
using testing::PdfBuilder;
using testing::ReaderOver;
using testing::XRefKind;

// The serialised form of `text` parsed on its own: what an object read from a file must
// equal.
std::string Canonical(std::string_view text) {
    TPDFStructure store;
    return store.ParseText(text)->ToText();
}

std::string TextOf(TPDFObject* object) { return object != nullptr ? object->ToText() : "<none>"; }

// A small document with the objects of SimpleDocument under the given header version.
PdfBuilder Document(const std::string& version) {
    PdfBuilder b(version);
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Set(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Set(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>");
    b.Set(4, PdfBuilder::StreamBody("", "BT /F1 24 Tf 72 700 Td (Hello) Tj ET"));
    b.TrailerEntries = "/Root 1 0 R";
    return b;
}

// Offset of the table entry for `number` in a single-subsection table built by PdfBuilder.
size_t TableEntryOffset(const std::string& bytes, const PdfBuilder& b, int number) {
    const size_t table = static_cast<size_t>(b.StartXRef());
    const size_t firstEntry = bytes.find('\n', bytes.find('\n', table) + 1) + 1;
    return firstEntry + 20 * static_cast<size_t>(number);
}

TEST(SmartPDFReaderHeader, FindsHeaderVersionAndOffset) {
    {
        // 300 bytes of junk in front; the table counts offsets from the header.
        PdfBuilder b = Document("1.6");
        std::string junk;
        while (junk.size() < 300) junk += "junk line\n";
        junk.resize(300);
        b.Prefix = junk;
        ReaderOver r(b.Build());
        EXPECT_EQ(r.reader.Status(), TReaderStatus::Usable);
        EXPECT_EQ(r.reader.Version(), "1.6");
        EXPECT_EQ(r.reader.HeaderOffset(), 300);
        EXPECT_TRUE(r.reader.UseHeaderOffset());
        EXPECT_EQ(r.reader.LastObjectNumber(), 4);
        EXPECT_EQ(TextOf(r.reader.GetObject(1)), Canonical("<< /Type /Catalog /Pages 2 0 R >>"));
        auto* stream = As<TPDFStream>(r.reader.GetObject(4));
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(stream->Data(), "BT /F1 24 Tf 72 700 Td (Hello) Tj ET");
    }
    {
        // The same with a cross-reference stream.
        PdfBuilder b = Document("1.6");
        b.Prefix = std::string(300, '\n');
        b.Compress(3);
        ReaderOver r(b.Build(XRefKind::Stream));
        EXPECT_EQ(r.reader.Status(), TReaderStatus::Usable);
        EXPECT_EQ(r.reader.HeaderOffset(), 300);
        EXPECT_TRUE(r.reader.UseHeaderOffset());
        EXPECT_TRUE(r.reader.HasXRefStream());
        EXPECT_EQ(TextOf(r.reader.GetObject(3)),
                  Canonical("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                            ">>"));
    }
    {
        // A plain file needs no second pass.
        ReaderOver r(Document("1.4").Build());
        EXPECT_EQ(r.reader.HeaderOffset(), 0);
        EXPECT_FALSE(r.reader.UseHeaderOffset());
        EXPECT_EQ(r.reader.Version(), "1.4");
    }
}

TEST(SmartPDFReaderHeader, AcceptsPostScriptFormAndRefusesMissingHeader) {
    {
        // "%!PS-Adobe-3.0 PDF-1.3" in place of "%PDF-": same length header line.
        PdfBuilder b = Document("1.4 00000000000000000");
        std::string bytes = b.Build();
        const std::string ps = "%!PS-Adobe-3.0 PDF-1.3";
        const size_t lineEnd = bytes.find('\n');
        ASSERT_GE(lineEnd, ps.size());
        bytes = testing::Overwrite(bytes, 0, ps + std::string(lineEnd - ps.size(), ' '));
        ASSERT_EQ(bytes.find("%PDF-"), std::string::npos);
        ReaderOver r(bytes);
        EXPECT_EQ(r.reader.Status(), TReaderStatus::Usable);
        EXPECT_EQ(r.reader.Version(), "1.3");
        EXPECT_EQ(r.reader.HeaderOffset(), -1);
        EXPECT_EQ(TextOf(r.reader.GetObject(1)), Canonical("<< /Type /Catalog /Pages 2 0 R >>"));
    }
    {
        // No header mark (here beyond the first 1024 bytes; its forms: FindHeaderMark's table).
        PdfBuilder b = Document("1.4");
        b.Prefix = std::string(1100, ' ');
        ReaderOver r(b.Build());
        EXPECT_EQ(r.reader.Status(), TReaderStatus::NoHeader);
        EXPECT_EQ(r.reader.Trailer(), nullptr);
        EXPECT_EQ(r.reader.LastObjectNumber(), -1);
        EXPECT_EQ(r.reader.GetObject(1), nullptr);
    }
}

TEST(SmartPDFReaderXRef, UnreadableCrossReferenceGivesStatus2) {
    const std::string good = Document("1.4").Build();
    {
        // No startxref at all.
        const std::string bytes = good.substr(0, good.find("startxref"));
        ReaderOver r(bytes);
        EXPECT_EQ(r.reader.Status(), TReaderStatus::NoXRef);
        EXPECT_EQ(r.reader.StartXRef(), 0);
    }
    {
        // startxref pointing at nothing readable.
        PdfBuilder b = Document("1.4");
        std::string bytes = b.Build();
        const std::string value = std::to_string(b.StartXRef());
        bytes = testing::Overwrite(bytes, bytes.rfind(value), std::string(value.size(), '9'));
        ReaderOver r(bytes);
        EXPECT_EQ(r.reader.Status(), TReaderStatus::NoXRef);
        EXPECT_EQ(r.reader.Trailer(), nullptr);
    }
}

TEST(SmartPDFReaderXRef, NewerSectionWinsAndCountersAreCopied) {
    for (XRefKind kind : {XRefKind::Table, XRefKind::Stream}) {
        PdfBuilder b = testing::SimpleDocument(2);
        const std::string base = b.Build(kind);
        const std::string updated =
            b.AppendUpdate(base, {{7, "<< /Type /Page /Parent 2 0 R /Rotate 90 >>"}}, kind);
        ReaderOver r(updated);
        ASSERT_EQ(r.reader.Status(), TReaderStatus::Usable);
        EXPECT_EQ(r.reader.PrevCount(), 1);
        EXPECT_EQ(r.reader.HasXRefStream(), kind == XRefKind::Stream);
        EXPECT_EQ(r.reader.Entries()[7].Number, 7);
        EXPECT_EQ(r.reader.Entries()[7].Offset, b.OffsetOf(7));
        EXPECT_EQ(TextOf(r.reader.GetObject(7)),
                  Canonical("<< /Type /Page /Parent 2 0 R /Rotate 90 >>"));
        // Both versions' offsets bound object texts.
        EXPECT_GE(r.reader.Offsets().Count(), 9);
        // The newest trailer comes first.
        ASSERT_EQ(r.reader.Trailers().size(), 2u);
        EXPECT_EQ(r.reader.Trailer(), r.reader.Trailers()[0]);
        EXPECT_NE(r.reader.Trailer()->GetValue("Prev"), nullptr);
    }
    {
        // A hybrid file lists its compressed objects as free in the table of the same
        // section: the in-use entries of its XRefStm stream still serve them.
        PdfBuilder b = testing::SimpleDocument(1);
        b.Compress(3);
        b.Compress(4);
        ReaderOver r(b.Build(XRefKind::Hybrid));
        EXPECT_TRUE(r.reader.HasXRefStm());
        EXPECT_GE(r.reader.SubsectionCount(), 1);
        EXPECT_EQ(r.reader.Entries()[3].Kind, 'c');
        EXPECT_EQ(TextOf(r.reader.GetObject(3)),
                  Canonical("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"));
    }
    {
        // An update that frees object 6 hides the older in-use entry.
        PdfBuilder b = testing::SimpleDocument(1);
        const std::string base = b.Build();
        const std::string update =
            "xref\n6 1\n0000000000 00001 f \ntrailer\n<< /Size 7 /Root 1 0 R "
            "/Prev " +
            std::to_string(b.StartXRef()) + " >>\nstartxref\n" + std::to_string(base.size()) +
            "\n%%EOF\n";
        ReaderOver r(base + update);
        ASSERT_EQ(r.reader.Status(), TReaderStatus::Usable);
        EXPECT_EQ(r.reader.PrevCount(), 1);
        EXPECT_EQ(r.reader.Entries()[6].Kind, 'f');
        EXPECT_EQ(r.reader.GetObjectText(6), "");
        EXPECT_EQ(r.reader.Entries()[5].Kind, 'n');
    }
}

TEST(SmartPDFReaderXRef, EntriesFollowTheTableRules) {
    PdfBuilder b = testing::SimpleDocument(2);
    std::string bytes = b.Build();
    {
        // An offset beyond the end of the file reads as an in-use entry at offset 0.
        const std::string damaged =
            testing::Overwrite(bytes, TableEntryOffset(bytes, b, 5), "9999999999 00000 n");
        ReaderOver r(damaged);
        ASSERT_EQ(r.reader.Status(), TReaderStatus::Usable);
        EXPECT_EQ(r.reader.Entries()[5].Kind, 'n');
        EXPECT_EQ(r.reader.Entries()[5].Offset, 0);
        EXPECT_EQ(r.reader.GetObjectText(5), "");
        EXPECT_EQ(r.reader.GetObject(5), nullptr);
    }
    {
        // Slot 0 is never filled; free entries give no text; generations come from the table.
        std::string damaged =
            testing::Overwrite(bytes, TableEntryOffset(bytes, b, 3) + 11, "00007");
        ReaderOver r(damaged);
        EXPECT_EQ(r.reader.Entries()[0].Number, 0);
        EXPECT_EQ(r.reader.Entries()[0].Kind, 0);
        EXPECT_EQ(r.reader.GetGeneration(3), 7);
        EXPECT_EQ(r.reader.GetGeneration(0), 0);
        EXPECT_EQ(r.reader.GetGeneration(999), 0);
        damaged = testing::Overwrite(bytes, TableEntryOffset(bytes, b, 4) + 17, "f");
        ReaderOver f(damaged);
        EXPECT_EQ(f.reader.Entries()[4].Kind, 'f');
        EXPECT_EQ(f.reader.GetObjectText(4), "");
    }
}

TEST(SmartPDFReaderXRef, HostileNumbersDoNotGrowTheTable) {
    {
        // A subsection far beyond any real file.
        PdfBuilder b = Document("1.4");
        std::string bytes = b.Build();
        const size_t header = bytes.find("\n", static_cast<size_t>(b.StartXRef())) + 1;
        bytes =
            testing::InsertAt(bytes, header,
                              "2000000000 1\n0000000015 00000 n \n9000000 1\n0000000015 00000 n "
                              "\n");
        ReaderOver r(bytes);
        EXPECT_EQ(r.reader.LastObjectNumber(), 4);
        EXPECT_EQ(r.reader.MaxNumber(), 4);
    }
    {
        // A stream row numbered above the file size.
        const std::string bytes = testing::XRefStreamFile(
            {{1, "<< /Type /Catalog >>"}}, {{1, 1, -1, 0}, {5000000, 1, -1, 0}}, "/Root 1 0 R");
        ReaderOver r(bytes);
        EXPECT_EQ(r.reader.Status(), TReaderStatus::Usable);
        EXPECT_LT(r.reader.LastObjectNumber(), 10);
    }
}

TEST(SmartPDFReaderXRef, RepairsTableNumberedFromOne) {
    // An Index starting at 1 whose first row is the free-list head: every object one too high.
    const std::vector<std::pair<int, std::string>> objects = {
        {1, "<< /Type /Catalog /Pages 2 0 R >>"}, {2, "<< /Type /Pages >>"}, {3, "(three)"}};
    // Objects come before the rows, so their offsets do not depend on the rows.
    const std::string layout = testing::XRefStreamFile(objects, {});
    const int64_t off1 = static_cast<int64_t>(layout.find("1 0 obj"));
    const int64_t off2 = static_cast<int64_t>(layout.find("2 0 obj"));
    const int64_t off3 = static_cast<int64_t>(layout.find("3 0 obj"));
    ReaderOver r(testing::XRefStreamFile(
        objects, {{1, 0, 0, 65535}, {2, 1, off1, 0}, {3, 1, off2, 0}, {4, 1, off3, 0}},
        "/Root 1 0 R"));
    ASSERT_EQ(r.reader.Status(), TReaderStatus::Usable);
    EXPECT_EQ(r.reader.LastObjectNumber(), 4);
    EXPECT_EQ(r.reader.Entries()[1].Offset, off1);
    EXPECT_EQ(r.reader.Entries()[1].Number, 1);
    EXPECT_EQ(r.reader.Entries()[3].Number, 3);
    EXPECT_EQ(TextOf(r.reader.GetObject(1)), Canonical("<< /Type /Catalog /Pages 2 0 R >>"));
    EXPECT_EQ(TextOf(r.reader.GetObject(3)), Canonical("(three)"));
    // The free-list head moved to slot 0; the last slot, a copy of the one before, is
    // cleared.
    EXPECT_EQ(r.reader.Entries()[0].Generation, 65535);
    EXPECT_EQ(r.reader.Entries()[4].Kind, 0);
    EXPECT_EQ(r.reader.GetObject(4), nullptr);
}

// A file of more than 4 GiB without the memory: a header, a gap of blank lines, and a tail
// holding the objects and the table at positions beyond 32 bits.
class SparseStream : public TStream {
  public:
    SparseStream(std::string head, int64_t tailStart, std::string tail)
        : head_(std::move(head)), tailStart_(tailStart), tail_(std::move(tail)) {}
    int64_t Read(void* buffer, int64_t count) override {
        auto* out = static_cast<char*>(buffer);
        int64_t done = 0;
        while (done < count && position_ < Size()) {
            char c = '\n';
            if (position_ < static_cast<int64_t>(head_.size())) {
                c = head_[static_cast<size_t>(position_)];
            } else if (position_ >= tailStart_) {
                c = tail_[static_cast<size_t>(position_ - tailStart_)];
            }
            out[done++] = c;
            ++position_;
        }
        return done;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        const int64_t base =
            origin == SeekOrigin::Current ? position_ : (origin == SeekOrigin::End ? Size() : 0);
        position_ = std::max<int64_t>(0, base + offset);
        return position_;
    }
    void SetSize(int64_t) override {}
    int64_t Size() override { return tailStart_ + static_cast<int64_t>(tail_.size()); }

  private:
    std::string head_;
    int64_t tailStart_;
    std::string tail_;
    int64_t position_ = 0;
};

TEST(SmartPDFReaderText, ReadsObjectsBeyondFourGigabytes) {
    const int64_t tailStart = (int64_t{5} << 30) + 7;
    const std::string bodies[] = {"<< /Type /Catalog /Pages 2 0 R >>",
                                  "<< /Type /Pages /Kids [] /Count 0 >>",
                                  "<< /Length 5 >>\nstream\nhello\nendstream"};
    std::string tail;
    std::vector<int64_t> offsets;
    for (int n = 1; n <= 3; ++n) {
        offsets.push_back(tailStart + static_cast<int64_t>(tail.size()));
        tail += std::to_string(n) + " 0 obj\n" + bodies[n - 1] + "\nendobj\n";
    }
    const int64_t xref = tailStart + static_cast<int64_t>(tail.size());
    tail += "xref\n0 4\n0000000000 65535 f \n";
    for (int64_t offset : offsets) tail += PadNumber(offset, 10) + " 00000 n \n";
    tail += "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    SparseStream stream("%PDF-1.4\n", tailStart, tail);
    TSmartPDFReader reader(stream);
    ASSERT_EQ(reader.Status(), TReaderStatus::Usable);
    EXPECT_EQ(reader.StartXRef(), xref);
    EXPECT_EQ(reader.FileSize(), stream.Size());
    EXPECT_EQ(reader.Entries()[3].Offset, offsets[2]);
    EXPECT_EQ(TextOf(reader.GetObject(1)), Canonical(bodies[0]));
    EXPECT_EQ(TextOf(reader.GetObject(2)), Canonical(bodies[1]));
    auto* s = As<TPDFStream>(reader.GetObject(3));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Data(), "hello");
}

TEST(SmartPDFReaderText, CutsObjectTextBetweenOffsets) {
    PdfBuilder b = testing::SimpleDocument(1);
    const std::string bytes = b.Build();
    ReaderOver r(bytes);
    {
        // Text after "obj", bounded by the next object's offset.
        const std::string text = r.reader.GetObjectText(1);
        EXPECT_EQ(text, "\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
    }
    {
        // The object at the highest offset runs to the end of the file.
        const int last = r.reader.LastObjectNumber();
        const std::string text = r.reader.GetObjectText(last);
        EXPECT_EQ(text, bytes.substr(static_cast<size_t>(b.OffsetOf(last)) +
                                     std::to_string(last).size() + 6));
        EXPECT_NE(text.find("%%EOF"), std::string::npos);
        auto* stream = As<TPDFStream>(r.reader.GetObject(last));
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(stream->Data(), "BT /F1 24 Tf 72 700 Td (Page 1) Tj ET");
    }
    {
        // Numbers outside the table.
        EXPECT_EQ(r.reader.GetObjectText(0), "");
        EXPECT_EQ(r.reader.GetObjectText(-3), "");
        EXPECT_EQ(r.reader.GetObjectText(r.reader.LastObjectNumber() + 1), "");
    }
}

TEST(SmartPDFReaderText, SkipsTheTailOfThePreviousObject) {
    PdfBuilder b = testing::SimpleDocument(1);
    const std::string bytes = b.Build();
    {
        // The entry of object 2 points at the "endobj" of object 1.
        const std::string moved = PadNumber(b.OffsetOf(2) - 7, 10);
        ReaderOver r(testing::Overwrite(bytes, TableEntryOffset(bytes, b, 2), moved));
        EXPECT_EQ(TextOf(r.reader.GetObject(2)),
                  Canonical("<< /Type /Pages /Kids [ 5 0 R ] /Count 1 >>"));
    }
    {
        // An entry inside a body with no "obj" before the next object reads nothing.
        const std::string moved = PadNumber(b.OffsetOf(1) + 9, 10);
        ReaderOver r(testing::Overwrite(bytes, TableEntryOffset(bytes, b, 1), moved));
        EXPECT_EQ(r.reader.GetObjectText(1), "");
        EXPECT_EQ(r.reader.GetObject(1), nullptr);
    }
}

TEST(SmartPDFReaderText, ServesObjectsFromObjectStreams) {
    PdfBuilder b = testing::SimpleDocument(2);
    b.Compress(3);
    b.Compress(4);
    b.Compress(5);
    ReaderOver r(b.Build(XRefKind::StreamFlatePredicted));
    ASSERT_EQ(r.reader.Status(), TReaderStatus::Usable);
    EXPECT_EQ(r.reader.Entries()[4].Kind, 'c');
    EXPECT_EQ(r.reader.GetGeneration(4), 0);
    EXPECT_EQ(Canonical(r.reader.GetObjectText(3)),
              Canonical("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"));
    EXPECT_EQ(TextOf(r.reader.GetObject(4)),
              Canonical("<< /Producer (VERava tests) /Title (Test document) >>"));
    auto* page = As<TPDFDictionary>(r.reader.LoadObject(5, nullptr));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->GetType(), "Page");
    // One object stream, decoded once and kept.
    EXPECT_EQ(r.reader.ObjectStreams().size(), 1u);
    const uint64_t work = r.reader.ObjectStreams().Work();
    EXPECT_GT(work, 0u);
    r.reader.GetObjectText(3);
    EXPECT_EQ(r.reader.ObjectStreams().size(), 1u);
    EXPECT_EQ(r.reader.ObjectStreams().Work(), work);
    // Not encrypted: the hook stays silent.
    EXPECT_FALSE(r.reader.Encrypted());
}

TEST(SmartPDFReaderText, DecodesCompressedObjectStreamsAndChecksTheIndex) {
    const std::string header = "10 0 11 6 ";
    const std::string data = header + "(ten) (eleven)";
    const std::string encoded = FlateEncode(data);
    const std::string objStm = "<< /Type /ObjStm /N 2 /First " + std::to_string(header.size()) +
                               " /Filter /FlateDecode /Length " + std::to_string(encoded.size()) +
                               " >>\nstream\n" + encoded + "\nendstream";
    const std::string bytes = testing::XRefStreamFile(
        {{1, "<< /Type /Catalog >>"}, {2, objStm}},
        {{1, 1, -1, 0}, {2, 1, -1, 0}, {10, 2, 2, 0}, {11, 2, 2, 1}, {12, 2, 2, 5}, {13, 2, 2, 0}},
        "/Root 1 0 R");
    ReaderOver r(bytes);
    ASSERT_EQ(r.reader.Status(), TReaderStatus::Usable);
    EXPECT_EQ(TextOf(r.reader.GetObject(10)), "(ten)");
    EXPECT_EQ(TextOf(r.reader.GetObject(11)), "(eleven)");
    // An index beyond N, or a pair naming another object, gives nothing.
    EXPECT_EQ(r.reader.GetObjectText(12), "");
    EXPECT_EQ(r.reader.GetObjectText(13), "");
    EXPECT_EQ(r.reader.ObjectStreams().size(), 1u);
    EXPECT_EQ(r.reader.ObjectStreams().HeldBytes(), data.size());
}

// Small files that once cost a reader far more than their size (the fuzz seeds of the same
// names were made the same way): object streams whose index or data inflate out of all
// proportion, in files every reader must open (a catalog, a page tree, pages).
const char kPage[] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>";
const char kCatalog[] = "<< /Type /Catalog /Pages 2 0 R >>";

std::string ObjectStream(int64_t n, size_t first, const std::string& filter,
                         const std::string& data) {
    return PdfBuilder::StreamBody("/Type /ObjStm /N " + std::to_string(n) + " /First " +
                                      std::to_string(first) + " /Filter " + filter,
                                  data);
}

// A one-page file whose catalog lies at index 0 of object stream 3 of `n` members, whose
// data are "1 0 ", `repeated` over and over for `bytes` more, and the catalog, Flate compressed.
std::string CatalogInStream(int64_t n, const std::string& repeated, size_t bytes) {
    std::string header = "1 0 ";
    while (header.size() + repeated.size() <= bytes + 4) header += repeated;
    return testing::XRefStreamFile(
        {{2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>"},
         {3, ObjectStream(n, header.size(), "/FlateDecode", FlateEncode(header + kCatalog))},
         {4, kPage}},
        {{1, 2, 3, 0}, {2, 1, -1, 0}, {3, 1, -1, 0}, {4, 1, -1, 0}}, "/Root 1 0 R");
}

// A file of `pages` pages, page k packed in object stream k mod `streams`; each stream's data
// run on with `paddingBytes` bytes of spaces (after the last member's value) under two Flate
// filters, so each stream is tiny in the file and large once decoded. Loading the pages in
// order takes the streams round-robin.
std::string StreamsInflatingLarge(int streams, size_t paddingBytes, int pages) {
    const int firstPage = 3 + streams;
    std::string kids;
    for (int k = 0; k < pages; ++k) kids += std::to_string(firstPage + k) + " 0 R ";
    std::vector<std::pair<int, std::string>> objects{
        {1, kCatalog},
        {2, "<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(pages) + " >>"}};
    std::vector<HandRow> rows{{1, 1, -1, 0}, {2, 1, -1, 0}};
    for (int s = 0; s < streams; ++s) {
        std::string header;
        std::string members;
        int index = 0;
        for (int k = s; k < pages; k += streams) {
            header += std::to_string(firstPage + k) + " " + std::to_string(members.size()) + " ";
            members += std::string(kPage) + "\n";
            rows.push_back({firstPage + k, 2, 3 + s, index++});
        }
        objects.emplace_back(
            3 + s, ObjectStream(index, header.size(), "[ /FlateDecode /FlateDecode ]",
                                FlateEncode(FlateEncode(header + members +
                                                        std::string(paddingBytes, ' ')))));
        rows.push_back({3 + s, 1, -1, 0});
    }
    return testing::XRefStreamFile(objects, rows, "/Root 1 0 R");
}

// Small files that once took gigabytes or minutes to read, through the document loader and the
// merge reader (every object fetched, as a merge does): each within memory and work bounded by
// its size. (Long chains of updates are the cross-reference reader's tests.)
TEST(SmartPDFReaderText, CostlyFilesAreReadWithinMemoryAndWorkTheirSizeBounds) {
    constexpr int64_t kMB = 1 << 20;
    const struct {
        const char* name;
        std::function<std::string()> file;
        int32_t pages;
        uint64_t work;      // the most the loader's cache may decode, within its own bound
        int64_t maxGrowth;  // of memory
    } cases[] = {
        // The catalog in an object stream of about 32 MB decoded whose header is all numbers:
        // reading them as objects once took about 50 times that. The bound: the decoded
        // stream, a copy of it on the way, and room for the sanitizers.
        {"a header run far past N", [] { return CatalogInStream(1, "1 ", 32 << 20); }, 1,
         UINT64_MAX, 200 * kMB},
        {"an index of six million pairs",
         [] {
             // The catalog's text ends where the next pair's starts; the pairs after it list
             // object 0 and end there too, holding nothing.
             const std::string pair = "0 " + std::to_string(sizeof(kCatalog) - 1) + " ";
             return CatalogInStream(6000000, pair, 5999999 * pair.size());
         },
         1, UINT64_MAX, 200 * kMB},
        // Three object streams of 50 MB decoded each, one page after another from each: a cache
        // holding two decodes once decoded one on every page, 3 GB in all. A stream the loader
        // decoded a second time gives up every member at once, so each is decoded twice at most
        // and every page is read.
        {"streams taken in turn", [] { return StreamsInflatingLarge(3, 50 << 20, 60); }, 60,
         6 * (51 << 20), INT64_MAX},
        {"streams of 1 MB, each decoded once", [] { return StreamsInflatingLarge(3, 1 << 20, 60); },
         60, 4 << 20, INT64_MAX},
    };
    for (const auto& c : cases) {
        const std::string file = c.file();
        const size_t held = DecodeLimitForInput(static_cast<int64_t>(file.size()));
        const uint64_t work = std::min(c.work, TObjectStreamCache::kWorkFactor * held);
        auto load = [&] {
            TMemoryStream input(file);
            TPDFDocument document;
            if (document.LoadFromStream(input, u"") != TPDFDocument::kLoaded) return 1;
            if (document.Repaired() || document.PageTreeRebuilt()) return 2;
            if (document.PageTree().TotalPages() != c.pages) return 3;
            return document.ObjectStreamCache().Work() <= work ? 0 : 4;
        };
        auto fetchAll = [&] {
            ReaderOver r(file);
            if (r.reader.Status() != TReaderStatus::Usable) return 1;
            for (int32_t n = 1; n <= r.reader.LastObjectNumber(); ++n) {
                r.reader.GetObject(n);
                if (r.reader.ObjectStreams().HeldBytes() > held) return 2;
            }
            const TPDFDictionary* catalog = r.reader.TrailerValue("Root");
            if (catalog == nullptr || catalog->GetType() != "Catalog") return 3;
            return r.reader.ObjectStreams().Work() <= TObjectStreamCache::kWorkFactor * held ? 0
                                                                                             : 4;
        };
        EXPECT_EQ(testing::RunWithinMemory(load, c.maxGrowth), 0) << c.name;
        EXPECT_EQ(testing::RunWithinMemory(fetchAll, c.maxGrowth), 0) << c.name;
    }
}

TEST(SmartPDFReaderText, RaisesObjectStreamHookOnlyWhenEncrypted) {
    for (bool encrypted : {false, true}) {
        PdfBuilder b = testing::SimpleDocument(1);
        b.Compress(3);
        b.Compress(4);
        b.Set(20, "<< /Filter /Standard /V 0 >>");
        if (encrypted) b.TrailerEntries += " /Encrypt 20 0 R";
        ReaderOver r(b.Build(XRefKind::Stream));
        EXPECT_EQ(r.reader.Encrypted(), encrypted);
        int raised = 0;
        std::string seenData;
        r.reader.SetOnObjectStream([&](int32_t number, TPDFStream* stream) {
            ++raised;
            EXPECT_EQ(number, r.reader.Entries()[3].Offset);
            seenData = std::string(stream->Data());
        });
        r.reader.GetObject(3);
        r.reader.GetObject(4);
        EXPECT_EQ(raised, encrypted ? 1 : 0);
        if (encrypted) {
            EXPECT_NE(seenData.find("/Helvetica"), std::string::npos);
        }
    }
}

// Where the data of a stream lie is FindStreamExtent's rule, with its own table; here what the
// reader adds: the Length it hands on, the value it follows, what it keeps of a broken stream.
TEST(SmartPDFReaderStreams, SettlesStreamLength) {
    const std::string data = "0123456789abcdefghij";
    auto load = [](const std::string& body, const std::map<int, std::string>& extra = {}) {
        PdfBuilder b = Document("1.4");
        b.Set(4, body);
        b.Set(5, "(after)");  // so that object 4 ends at the next object's offset
        for (const auto& [n, text] : extra) b.Set(n, text);
        auto r = std::make_unique<ReaderOver>(b.Build());
        return r;
    };
    {
        // 4 bytes short, LF or CR LF before "endstream": the missing bytes are added, and the
        // dictionary says so too (a merged file would otherwise carry a wrong Length).
        for (const char* eol : {"\n", "\r\n"}) {
            auto r = load("<< /Length 16 >>\nstream\n" + data + eol + "endstream");
            auto* s = As<TPDFStream>(r->reader.LoadObject(4, nullptr));
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(s->Data(), data) << "eol size " << std::string(eol).size();
            EXPECT_EQ(s->StreamDict()->GetInteger("Length", -1), 20);
        }
    }
    {
        // No numeric Length: the data run up to "endstream", as the document reads them.
        auto r = load("<< /Length /Twenty >>\nstream\n" + data + "\nendstream");
        auto* s = As<TPDFStream>(r->reader.LoadObject(4, nullptr));
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->Data(), data + "\n");
    }
    {
        // An indirect Length is followed.
        auto r = load("<< /Length 9 0 R >>\nstream\n" + data + "\nendstream", {{9, "20"}});
        auto* s = As<TPDFStream>(r->reader.LoadObject(4, nullptr));
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->Data(), data);
    }
    {
        // No "endstream" anywhere: the dictionary alone.
        auto r = load("<< /Length 20 >>\nstream\n" + data + "\nendobj\n% padding line here");
        EXPECT_NE(As<TPDFDictionary>(r->reader.LoadObject(4, nullptr)), nullptr);
    }
}

TEST(SmartPDFReaderStreams, SelfReferencesTerminate) {
    {
        // A Length that refers to its own stream: the data run up to "endstream".
        PdfBuilder b = Document("1.4");
        b.Set(4, "<< /Length 4 0 R >>\nstream\nabcdef\nendstream");
        ReaderOver r(b.Build());
        auto* cached = As<TPDFStream>(r.reader.GetObject(4));
        ASSERT_NE(cached, nullptr);
        EXPECT_EQ(cached->Data(), "abcdef\n");
        TPDFStructure scratch;
        EXPECT_NE(As<TPDFStream>(r.reader.LoadObject(4, &scratch)), nullptr);
    }
    {
        // Two streams whose Lengths refer to each other: both keep their data.
        PdfBuilder b = Document("1.4");
        b.Set(4, "<< /Length 5 0 R >>\nstream\nabcdef\nendstream");
        b.Set(5, "<< /Length 4 0 R >>\nstream\nabcdef\nendstream");
        ReaderOver r(b.Build());
        EXPECT_NE(As<TPDFStream>(r.reader.GetObject(4)), nullptr);
        EXPECT_NE(As<TPDFStream>(r.reader.GetObject(5)), nullptr);
    }
    {
        // An object stream stored in itself, and two stored in each other.
        const std::string bytes = testing::XRefStreamFile(
            {{1, "<< /Type /Catalog >>"}},
            {{1, 1, -1, 0}, {5, 2, 5, 0}, {6, 2, 7, 0}, {7, 2, 6, 0}}, "/Root 1 0 R");
        ReaderOver r(bytes);
        ASSERT_EQ(r.reader.Status(), TReaderStatus::Usable);
        EXPECT_EQ(r.reader.GetObject(5), nullptr);
        EXPECT_EQ(r.reader.GetObject(6), nullptr);
        EXPECT_EQ(r.reader.GetObjectText(7), "");
    }
    {
        // An object stream whose N is stored inside that same stream.
        const std::string data = "10 0 11 6 (ten) 2";
        const std::string objStm = "<< /Type /ObjStm /N 11 0 R /First 10 /Length " +
                                   std::to_string(data.size()) + " >>\nstream\n" + data +
                                   "\nendstream";
        ReaderOver r(testing::XRefStreamFile(
            {{1, "<< /Type /Catalog >>"}, {2, objStm}},
            {{1, 1, -1, 0}, {2, 1, -1, 0}, {10, 2, 2, 0}, {11, 2, 2, 1}}, "/Root 1 0 R"));
        ASSERT_EQ(r.reader.Status(), TReaderStatus::Usable);
        EXPECT_EQ(r.reader.GetObject(10), nullptr);
        EXPECT_EQ(r.reader.GetObjectText(11), "");
    }
    {
        // A long chain of object streams each stored in the next stops at the depth limit.
        std::vector<HandRow> rows = {{1, 1, -1, 0}};
        for (int n = 2; n < 400; ++n) rows.push_back({n, 2, n + 1, 0});
        std::vector<std::pair<int, std::string>> objects = {{1, "<< /Type /Catalog >>"}};
        for (int n = 0; n < 40; ++n)
            objects.emplace_back(500 + n, "(filler to make the file larger)");
        ReaderOver r(testing::XRefStreamFile(objects, rows, "/Root 1 0 R"));
        ASSERT_EQ(r.reader.Status(), TReaderStatus::Usable);
        EXPECT_EQ(r.reader.GetObject(2), nullptr);
    }
}

TEST(SmartPDFReaderCache, EachObjectIsParsedOnceAndStaysTheSame) {
    PdfBuilder b;
    for (int n = 1; n <= 302; ++n) b.Add("<< /K " + std::to_string(n) + " >>");
    b.TrailerEntries = "/Root 1 0 R";
    ReaderOver r(b.Build());
    ASSERT_EQ(r.reader.Status(), TReaderStatus::Usable);
    std::vector<TPDFObject*> first(302);
    for (int n = 1; n <= 301; ++n) first[n] = r.reader.GetObject(n);
    const int32_t parsed = r.reader.Structure()->ObjectCount();
    // Asked again, in any order and any number of times: the same objects, nothing parsed.
    for (int round = 0; round < 3; ++round) {
        for (int n = 301; n >= 1; --n) ASSERT_EQ(r.reader.GetObject(n), first[n]) << n;
    }
    EXPECT_EQ(r.reader.Structure()->ObjectCount(), parsed);
    EXPECT_EQ(TextOf(first[7]), "<<\n/K 7\n>>\n");

    // A missing object is answered once as none.
    EXPECT_EQ(r.reader.GetObject(5000), nullptr);
    const size_t before = r.reader.CachedObjectCount();
    EXPECT_EQ(r.reader.GetObject(5000), nullptr);
    EXPECT_EQ(r.reader.CachedObjectCount(), before);

    // LoadObject never caches and parses into the store it is given.
    TPDFStructure scratch;
    const size_t cached = r.reader.CachedObjectCount();
    TPDFObject* loaded = r.reader.LoadObject(302, &scratch);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->Store(), &scratch);
    EXPECT_EQ(r.reader.CachedObjectCount(), cached);
    EXPECT_EQ(r.reader.FetchObject(302, &scratch)->Store(), &scratch);
    EXPECT_EQ(r.reader.FetchObject(302, nullptr)->Store(), r.reader.Structure());
}

TEST(SmartPDFReaderTrailer, LooksUpValuesAcrossTrailers) {
    PdfBuilder b = testing::SimpleDocument(1);
    const std::string base = b.Build();
    const std::string updated =
        b.AppendUpdate(base, {{3, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>"}},
                       XRefKind::Table, "/Root 1 0 R");
    ReaderOver r(updated);
    ASSERT_EQ(r.reader.Status(), TReaderStatus::Usable);
    ASSERT_EQ(r.reader.Trailer()->GetValue("Info"), nullptr);
    TPDFDictionary* root = r.reader.TrailerValue("Root");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetType(), "Catalog");
    TPDFDictionary* info = r.reader.TrailerValue("Info");  // from the older trailer
    ASSERT_NE(info, nullptr);
    EXPECT_NE(info->GetValue("Producer"), nullptr);
    EXPECT_EQ(r.reader.TrailerValue("Size"), nullptr);  // not a dictionary
    EXPECT_EQ(r.reader.TrailerValue("Missing"), nullptr);
    ASSERT_NE(r.reader.TrailerRef("Info"), nullptr);
    EXPECT_EQ(r.reader.TrailerRef("Info")->TargetNumber, 4);
    EXPECT_EQ(r.reader.TrailerRef("Size"), nullptr);
    // References of objects in the reader's store resolve through it.
    EXPECT_NE(As<TPDFDictionary>(root->GetValue("Pages", true)), nullptr);
}

// Fixed random bytes and clock, and the identifier they must give: MD5 of the first eight
// hex digits of MD5(random bytes + the day count).
struct FixedIdentity {
    std::string random = std::string("0123456789ABCDEF", 16);
    ScopedRandomOverride randomOverride{[this](void* out, size_t count) {
        for (size_t i = 0; i < count; ++i) static_cast<char*>(out)[i] = random[i % 16];
    }};
    ScopedClockOverride clockOverride{[] {
        LocalDateTime t;
        t.year = 2024;
        t.month = 1;
        t.day = 2;
        t.hour = 12;
        return t;
    }};
    std::string Expected() const {
        // 2 January 2024, noon, as a day count since 30 December 1899.
        return Md5(Md5Hex(Md5(random + "45293.5")).substr(0, 8));
    }
};

TEST(SmartPDFReaderTrailer, FinishTrailerSettlesSizeInfoRootAndKeys) {
    FixedIdentity identity;
    {
        // Root and Info from the older trailer; Size from the table; stream keys removed.
        PdfBuilder b = testing::SimpleDocument(1);
        const std::string base = b.Build(XRefKind::Stream);
        const std::string updated =
            b.AppendUpdate(base, {{3, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>"}},
                           XRefKind::Stream, "/Foo /Bar");
        ReaderOver r(updated);
        ASSERT_EQ(r.reader.Status(), TReaderStatus::Usable);
        ASSERT_EQ(r.reader.Trailer()->GetValue("Root"), nullptr);
        r.reader.FinishTrailer();
        TPDFDictionary* t = r.reader.Trailer();
        EXPECT_EQ(t->GetInteger("Size", -1), r.reader.LastObjectNumber() + 1);
        ASSERT_NE(As<TPDFIndRef>(t->GetValue("Root")), nullptr);
        EXPECT_EQ(As<TPDFIndRef>(t->GetValue("Root"))->TargetNumber, 1);
        ASSERT_NE(As<TPDFIndRef>(t->GetValue("Info")), nullptr);
        EXPECT_EQ(As<TPDFIndRef>(t->GetValue("Info"))->TargetNumber, 4);
        for (const char* key : {"Prev", "DecodeParms", "Filter", "Length", "Type", "W", "Index"}) {
            EXPECT_EQ(t->GetValue(key), nullptr) << key;
        }
        EXPECT_NE(t->GetValue("Foo"), nullptr);
        // The old Size was removed first, so the new one follows the other entries.
        EXPECT_GT(t->IndexOf("Size"), t->IndexOf("Foo"));
    }
    {
        // Encrypt stays; XRefStm would point into the output's other bytes and goes.
        PdfBuilder b = testing::SimpleDocument(1);
        b.Compress(3);
        b.TrailerEntries += " /Encrypt 4 0 R";
        ReaderOver r(b.Build(XRefKind::Hybrid));
        ASSERT_NE(r.reader.Trailer()->GetValue("XRefStm"), nullptr);
        r.reader.FinishTrailer();
        EXPECT_NE(r.reader.Trailer()->GetValue("Encrypt"), nullptr);
        EXPECT_EQ(r.reader.Trailer()->GetValue("XRefStm"), nullptr);
    }
}

TEST(SmartPDFReaderTrailer, FinishTrailerIdentifierRules) {
    FixedIdentity identity;
    const std::string value = identity.Expected();
    ASSERT_EQ(value.size(), 16u);
    {
        // No ID: two equal 16-byte hex strings, and OnIDCreated is raised.
        ReaderOver r(testing::SimpleDocument(1).Build());
        int raised = 0;
        r.reader.SetOnIDCreated([&](TSmartPDFReader& reader) {
            EXPECT_EQ(&reader, &r.reader);
            ++raised;
        });
        r.reader.FinishTrailer();
        auto* id = As<TPDFArray>(r.reader.Trailer()->GetValue("ID"));
        ASSERT_NE(id, nullptr);
        ASSERT_EQ(id->Count(), 2);
        auto* a = As<TPDFString>(id->Get(0));
        auto* b = As<TPDFString>(id->Get(1));
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_NE(a, b);
        EXPECT_EQ(a->Bytes, value);
        EXPECT_EQ(b->Bytes, value);
        EXPECT_TRUE(a->HexForm);
        EXPECT_TRUE(b->HexForm);
        EXPECT_EQ(raised, 1);
    }
    {
        // A two-element ID keeps its first element; the second becomes the new value.
        PdfBuilder b = testing::SimpleDocument(1);
        b.TrailerEntries += " /ID [<00112233445566778899AABBCCDDEEFF> (second)]";
        ReaderOver r(b.Build());
        int raised = 0;
        r.reader.SetOnIDCreated([&](TSmartPDFReader&) { ++raised; });
        r.reader.FinishTrailer();
        auto* id = As<TPDFArray>(r.reader.Trailer()->GetValue("ID"));
        ASSERT_NE(id, nullptr);
        EXPECT_EQ(
            As<TPDFString>(id->Get(0))->Bytes,
            std::string("\x00\x11\x22\x33\x44\x55\x66\x77\x88\x99\xAA\xBB\xCC\xDD\xEE\xFF", 16));
        EXPECT_EQ(As<TPDFString>(id->Get(1))->Bytes, value);
        EXPECT_TRUE(As<TPDFString>(id->Get(1))->HexForm);
        EXPECT_EQ(raised, 0);
    }
    {
        // An ID that is no array of two, or whose second element is no string: left alone.
        for (const char* entry : {"/ID [<0011>]", "/ID (text)", "/ID [<0011> 5]"}) {
            PdfBuilder b = testing::SimpleDocument(1);
            b.TrailerEntries += std::string(" ") + entry;
            ReaderOver r(b.Build());
            const std::string before = r.reader.Trailer()->GetValue("ID")->ToText();
            r.reader.FinishTrailer();
            EXPECT_EQ(r.reader.Trailer()->GetValue("ID")->ToText(), before) << entry;
        }
    }
    {
        // An indirect ID array is followed.
        PdfBuilder b = testing::SimpleDocument(1);
        b.Set(30, "[<AABB> <CCDD>]");
        b.TrailerEntries += " /ID 30 0 R";
        ReaderOver r(b.Build());
        r.reader.FinishTrailer();
        auto* id = As<TPDFArray>(r.reader.GetObject(30));
        ASSERT_NE(id, nullptr);
        EXPECT_EQ(As<TPDFString>(id->Get(1))->Bytes, value);
        EXPECT_NE(As<TPDFIndRef>(r.reader.Trailer()->GetValue("ID")), nullptr);
    }
    {
        // Without a trailer there is nothing to finish.
        ReaderOver r("not a pdf");
        r.reader.FinishTrailer();
        EXPECT_EQ(r.reader.Trailer(), nullptr);
    }
}

}  // namespace
}  // namespace verava
