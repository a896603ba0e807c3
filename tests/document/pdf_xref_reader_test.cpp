#include "document/pdf_xref_reader.h"

#include <gtest/gtest.h>

#include "objects/number_text.h"
#include "objects/stream.h"
#include "support/pdf_builder.h"

namespace verava {
namespace {

using testing::PdfBuilder;
using testing::XRefKind;

struct Entry {
    int32_t number;
    int32_t generation;
    char kind;
    int64_t value;
    bool operator==(const Entry& o) const {
        return number == o.number && generation == o.generation && kind == o.kind &&
               value == o.value;
    }
};

// Runs a reader over the bytes and records what it reports.
struct Recorder {
    explicit Recorder(const std::string& bytes) : data(bytes), reader(data) {
        reader.OnEntry = [this](int32_t n, int32_t g, char k, int64_t v) {
            entries.push_back({n, g, k, v});
        };
        reader.OnTrailer = [this](const std::string& t) { trailers.push_back(t); };
        reader.OnSection = [this](int64_t o) { sections.push_back(o); };
    }
    bool Read() { return reader.ReadSection(reader.FindStartXRef()); }
    // The first entry reported for a number (first-come-wins).
    const Entry* Winner(int32_t number) const {
        for (const Entry& e : entries) {
            if (e.number == number && (e.kind == 'n' || e.kind == 'c')) return &e;
        }
        return nullptr;
    }
    std::string data;
    TPDFXRefReader reader;
    std::vector<Entry> entries;
    std::vector<std::string> trailers;
    std::vector<int64_t> sections;
};

std::string Tail(int64_t startxref, std::string_view afterEof = "\n") {
    return "startxref\n" + std::to_string(startxref) + "\n%%EOF" + std::string(afterEof);
}

TEST(FindStartXRef, FindsTheMarkerWhateverFollowsIt) {
    const std::string body(3000, 'x');
    struct Case {
        std::string file;
        int64_t expected;
    } cases[] = {
        {body + Tail(1234, "\r\n"), 1234},
        {body + Tail(77, "\n\n\n\n"), 77},
        {body + Tail(42, std::string(5000, 'j')), 42},
        // "%%EOF" straddles two 1024-byte blocks: found thanks to the overlap.
        {body + Tail(9, std::string(1021, 'j')), 9},
        // Truncated end marker.
        {body + "startxref\n555\n%%EO", 555},
        // The later of two startxref keywords counts; a comment after the number is ignored.
        {body + "startxref\n1\n%%EOF\nstartxref\n222 % c\n%%EOF\n", 222},
        {body + "no marker at all", 0},
        {body + "%%EOF\n", 0},
        {"startxref\n12\n%%EOF", 12},
    };
    for (const Case& c : cases) {
        TPDFXRefReader reader{std::string_view(c.file)};
        EXPECT_EQ(reader.FindStartXRef(), c.expected) << c.file.substr(3000, 40);
    }
}

TEST(FindStartXRef, WorksOnStreamsToo) {
    TMemoryStream stream(std::string(5000, ' ') + Tail(4321));
    TPDFXRefReader reader(stream);
    EXPECT_EQ(reader.FindStartXRef(), 4321);
    EXPECT_EQ(reader.ReadAt(5, 5000), "start");
    EXPECT_EQ(reader.ReadAt(5, -3), "     ");
    EXPECT_EQ(reader.ReadAt(100, reader.Size - 2), "F\n");
    EXPECT_EQ(reader.ReadAt(0, 10), "");
}

TEST(ClassicTable, ReportsEntriesThenTrailer) {
    PdfBuilder b = testing::SimpleDocument(2);
    Recorder r(b.Build(XRefKind::Table));
    ASSERT_TRUE(r.Read());
    ASSERT_EQ(r.entries.size(), 9u);
    EXPECT_EQ(r.entries[0], (Entry{0, 65535, 'f', 0}));
    for (int n = 1; n <= 8; ++n) {
        EXPECT_EQ(r.entries[n], (Entry{n, 0, 'n', b.OffsetOf(n)}));
    }
    ASSERT_EQ(r.trailers.size(), 1u);
    EXPECT_NE(r.trailers[0].find("/Root 1 0 R"), std::string::npos);
    EXPECT_EQ(r.reader.SubsectionCount, 1);
    EXPECT_EQ(r.sections, std::vector<int64_t>{b.StartXRef()});
}

TEST(ClassicTable, ToleratesEntryLengthsShortTablesAndNumberingFromOne) {
    const std::string head = "%PDF-1.4\n1 0 obj\n<< >>\nendobj\n";
    const int64_t x = static_cast<int64_t>(head.size());
    // 19-, 20- and 21-byte entries; the header promises 5 entries but 3 follow.
    const std::string table =
        "xref\n0 5\n0000000000 65535 f\n0000000009 00000 n\r\n0000000011 00000 n \r\n"
        "trailer\n<< /Size 3 >>\n";
    Recorder r(head + table + Tail(x));
    ASSERT_TRUE(r.Read());
    ASSERT_EQ(r.entries.size(), 3u);
    EXPECT_EQ(r.entries[1], (Entry{1, 0, 'n', 9}));
    EXPECT_EQ(r.entries[2], (Entry{2, 0, 'n', 11}));

    // A table numbered from 1 whose first row is the free-list head means objects 0..4.
    const std::string fromOne =
        "xref\n1 5\n0000000000 65535 f \n0000000009 00000 n \n0000000010 00000 n \n"
        "0000000011 00000 n \n0000000012 00000 n \ntrailer\n<< /Size 5 >>\n";
    Recorder one(head + fromOne + Tail(x));
    ASSERT_TRUE(one.Read());
    ASSERT_EQ(one.entries.size(), 5u);
    EXPECT_EQ(one.entries[0].number, 0);
    EXPECT_EQ(one.entries[4], (Entry{4, 0, 'n', 12}));

    // Two subsections, and junk rows that do not parse are skipped.
    const std::string two =
        "xref\n0 1\n0000000000 65535 f \n3 2\n00000000zz 00000 n \n0000000020 00001 n \n"
        "trailer\n<< /Size 5 >>\n";
    Recorder sub(head + two + Tail(x));
    ASSERT_TRUE(sub.Read());
    EXPECT_EQ(sub.reader.SubsectionCount, 2);
    ASSERT_EQ(sub.entries.size(), 2u);
    EXPECT_EQ(sub.entries[1], (Entry{4, 1, 'n', 20}));
}

TEST(ClassicTable, SkipsFillerBeforeTheSection) {
    PdfBuilder b = testing::SimpleDocument(1);
    const std::string file = b.Build(XRefKind::Table);
    const size_t x = static_cast<size_t>(b.StartXRef());
    for (size_t fill : {size_t(1), size_t(100), size_t(20000)}) {
        for (char c : {'\0', '\n'}) {
            std::string damaged = testing::InsertAt(file, x, std::string(fill, c));
            // The startxref value still names the filler's first byte.
            const std::string tail = "startxref\n" + std::to_string(x + fill);
            damaged = damaged.substr(0, damaged.rfind("startxref")) + "startxref\n" +
                      std::to_string(x) + "\n%%EOF\n";
            Recorder r(damaged);
            EXPECT_TRUE(r.Read()) << fill << " of " << int(c);
            EXPECT_EQ(r.entries.size(), 7u);
        }
    }
}

TEST(ClassicTable, StartxrefInTheWindowIsNoSection) {
    // The offset points just past a table, right at "startxref": no section there.
    PdfBuilder b = testing::SimpleDocument(1);
    std::string file = b.Build(XRefKind::Table);
    const size_t at = file.rfind("startxref");
    file = file.substr(0, at) + Tail(static_cast<int64_t>(at));
    Recorder r(file);
    EXPECT_FALSE(r.Read());
    EXPECT_EQ(r.sections.back(), -static_cast<int64_t>(at));
}

TEST(ClassicTable, IncrementalUpdatesComeNewestFirstAndLoopsFail) {
    PdfBuilder b = testing::SimpleDocument(1);
    const std::string base = b.Build(XRefKind::Table);
    const int64_t oldXref = b.StartXRef();
    const std::string updated =
        b.AppendUpdate(base, {{4, "<< /Title (new) >>"}, {7, "<< /New true >>"}});
    Recorder r(updated);
    ASSERT_TRUE(r.Read());
    EXPECT_EQ(r.reader.PrevCount, 1);
    EXPECT_EQ(r.Winner(4)->value, b.OffsetOf(4));
    EXPECT_GT(r.Winner(4)->value, oldXref);
    EXPECT_EQ(r.trailers.size(), 2u);
    EXPECT_NE(r.trailers[0].find("/Prev"), std::string::npos);

    // A Prev pointing back to the newest section: the chain fails.
    std::string looped = updated;
    const size_t prev = looped.rfind("/Prev ");
    const std::string self = std::to_string(b.StartXRef());
    looped = looped.substr(0, prev) + "/Prev " + self + " >>\n" + Tail(b.StartXRef());
    Recorder loop(looped);
    EXPECT_FALSE(loop.Read());
}

TEST(XRefStream, ReadsRowsWithAndWithoutPredictor) {
    for (XRefKind kind : {XRefKind::Stream, XRefKind::StreamFlatePredicted}) {
        PdfBuilder b = testing::SimpleDocument(2);
        b.Compress(3);
        b.Compress(4);
        Recorder r(b.Build(kind));
        ASSERT_TRUE(r.Read());
        EXPECT_TRUE(r.reader.HasXRefStream);
        const int objStm = 9;
        const int xref = 10;
        ASSERT_EQ(r.entries.size(), 11u);
        EXPECT_EQ(r.entries[0].kind, 'f');
        EXPECT_EQ(r.entries[1], (Entry{1, 0, 'n', b.OffsetOf(1)}));
        EXPECT_EQ(r.entries[3], (Entry{3, 0, 'c', objStm}));
        EXPECT_EQ(r.entries[4], (Entry{4, 1, 'c', objStm}));
        EXPECT_EQ(r.entries[xref], (Entry{xref, 0, 'n', b.OffsetOf(xref)}));
        ASSERT_EQ(r.trailers.size(), 1u);
        EXPECT_NE(r.trailers[0].find("/Root 1 0 R"), std::string::npos);
    }
}

TEST(XRefStream, FieldWidthsIndexAndEnd) {
    // W [1 2 1] without Index: entries 0 .. Size-1; W [0 2 0]: every row type 1, gen 0;
    // rows beyond the data are not invented.
    auto file = [](const std::string& dict, const std::string& rows) {
        const std::string head = "%PDF-1.5\n";
        const std::string obj = "5 0 obj\n<< /Type /XRef " + dict + " /Length " +
                                std::to_string(rows.size()) + " >>\nstream\n" + rows +
                                "\nendstream\nendobj\n";
        return head + obj + Tail(static_cast<int64_t>(head.size()));
    };
    {
        Recorder r(file("/Size 3 /W [1 2 1]",
                        std::string("\x00\x00\x00\xFF\x01\x00\x09\x00\x02\x00\x05\x01", 12)));
        ASSERT_TRUE(r.Read());
        ASSERT_EQ(r.entries.size(), 3u);
        EXPECT_EQ(r.entries[0], (Entry{0, 255, 'f', 0}));
        EXPECT_EQ(r.entries[1], (Entry{1, 0, 'n', 9}));
        EXPECT_EQ(r.entries[2], (Entry{2, 1, 'c', 5}));
    }
    {
        Recorder r(file("/Size 2 /W [0 2 0]", std::string("\x00\x09\x00\x30", 4)));
        ASSERT_TRUE(r.Read());
        ASSERT_EQ(r.entries.size(), 2u);
        EXPECT_EQ(r.entries[1], (Entry{1, 0, 'n', 0x30}));
    }
    {
        Recorder r(file("/Size 100 /Index [10 2 50 1] /W [1 1 1]",
                        std::string("\x01\x09\x00\x01\x0A\x00\x03\x00\x00", 9)));
        ASSERT_TRUE(r.Read());
        ASSERT_EQ(r.entries.size(), 3u);
        EXPECT_EQ(r.entries[0].number, 10);
        EXPECT_EQ(r.entries[1].number, 11);
        EXPECT_EQ(r.entries[2], (Entry{50, 0, ' ', 0}));
    }
    {
        // Index promising more rows than the data hold stops at the end of the data.
        Recorder r(file("/Size 1000 /W [1 1 1]", std::string("\x01\x09\x00", 3)));
        ASSERT_TRUE(r.Read());
        EXPECT_EQ(r.entries.size(), 1u);
    }
    {
        // No numeric Size: nothing reported, the section fails.
        Recorder r(file("/W [1 1 1]", std::string("\x01\x09\x00", 3)));
        EXPECT_FALSE(r.Read());
        EXPECT_TRUE(r.entries.empty());
    }
    {
        // Hostile widths read nothing but do not fail the section.
        Recorder r(file("/Size 5 /W [9 1 1]", std::string(30, '\x01')));
        EXPECT_TRUE(r.Read());
        EXPECT_TRUE(r.entries.empty());
    }
}

TEST(XRefStream, RepairsAWrongSelfOffset) {
    // The stream's own row names its number as offset: the data position is used instead.
    const std::string head = "%PDF-1.5\n";
    const std::string rows("\x01\x00\x07\x00", 4);  // W [1 2 1], Index [7 1]: offset 7
    const std::string obj =
        "7 0 obj\n<< /Type /XRef /Size 8 /Index [7 1] /W [1 2 1] /Length 4 >>\nstream\n" + rows +
        "\nendstream\nendobj\n";
    Recorder r(head + obj + Tail(static_cast<int64_t>(head.size())));
    ASSERT_TRUE(r.Read());
    ASSERT_EQ(r.entries.size(), 1u);
    const int64_t dataPosition = static_cast<int64_t>(head.size() + obj.find("stream\n") + 7);
    EXPECT_EQ(r.entries[0], (Entry{7, 0, 'n', dataPosition}));
}

TEST(Hybrid, TableEntriesComeBeforeItsXRefStmThenOlderSections) {
    PdfBuilder b = testing::SimpleDocument(2);
    b.Compress(4);
    const std::string base = b.Build(XRefKind::Hybrid);
    Recorder r(base);
    ASSERT_TRUE(r.Read());
    EXPECT_TRUE(r.reader.HasXRefStm);
    // The table lists 4 as free; the stream after it supplies the compressed entry.
    const Entry* four = r.Winner(4);
    ASSERT_NE(four, nullptr);
    EXPECT_EQ(four->kind, 'c');
    size_t tableFree = 0, streamEntry = 0;
    for (size_t i = 0; i < r.entries.size(); ++i) {
        if (r.entries[i].number == 4 && r.entries[i].kind == 'f') tableFree = i;
        if (r.entries[i].number == 4 && r.entries[i].kind == 'c') streamEntry = i;
    }
    EXPECT_LT(tableFree, streamEntry);

    // With an update on top, the update's table wins over everything older.
    const std::string updated = b.AppendUpdate(base, {{4, "<< /Title (updated) >>"}});
    Recorder u(updated);
    ASSERT_TRUE(u.Read());
    EXPECT_EQ(u.Winner(4)->kind, 'n');
    EXPECT_EQ(u.Winner(4)->value, b.OffsetOf(4));
}

TEST(XRefReader, BaseOffsetShiftsEveryRead) {
    PdfBuilder b = testing::SimpleDocument(1);
    b.Prefix = std::string(300, 'J');
    const std::string file = b.Build(XRefKind::Table);
    Recorder r(file);
    r.reader.BaseOffset = 300;
    const int64_t x = r.reader.FindStartXRef();
    EXPECT_EQ(x, b.StartXRef());
    EXPECT_TRUE(r.reader.ReadSection(x));
    EXPECT_EQ(r.entries.size(), 7u);
}

TEST(XRefReader, ReadsLongPrevChainsWhole) {
    // Thousands of tiny sections each pointing to the previous one: all are read, without
    // a recursion as deep as the chain. The oldest names "Prev 0", no section.
    std::string file = "%PDF-1.4\n";
    int64_t prev = 0;
    for (int i = 0; i < 50000; ++i) {
        const int64_t at = static_cast<int64_t>(file.size());
        file += "xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Size 1 /Prev " + PadNumber(prev, 10) +
                " >>\n";
        prev = at;
    }
    file += Tail(prev);
    Recorder r(file);
    EXPECT_TRUE(r.Read());
    EXPECT_EQ(r.reader.PrevCount, 49999);
    EXPECT_EQ(r.trailers.size(), 50000u);
    // The same chain closed into a loop fails where it comes round.
    Recorder looped(testing::Overwrite(file, file.find("/Prev ") + 6, PadNumber(prev, 10)));
    EXPECT_FALSE(looped.Read());
    EXPECT_EQ(looped.trailers.size(), 50000u);
    EXPECT_EQ(looped.sections.back(), -prev);
}

TEST(XRefReader, LongChainsOfStreamSectionsCostWhatTheFileHolds) {
    // 5000 stream sections, each claiming the rest of the file as its data, or looking for
    // its "stream" keyword up to the end of the file: every section is read, the copying
    // and searching stop at budgets the file's size sets, and the loss is reported.
    for (bool keyword : {true, false}) {
        std::string file = "%PDF-1.5\n";
        int64_t prev = 0;
        for (int i = 1; i <= 5000; ++i) {
            const int64_t at = static_cast<int64_t>(file.size());
            file += std::to_string(i) + " 0 obj<</Type/XRef/Size 1/W[1 1 1]/Length 99999999/Prev " +
                    std::to_string(prev) + ">>";
            file += keyword ? "stream\n\x01\x02\x03\nendstream endobj\n" : "\n";
            prev = at;
        }
        if (!keyword) file += "stream\n";
        file += Tail(prev);
        Recorder r(file);
        EXPECT_TRUE(r.Read()) << keyword;
        EXPECT_EQ(r.reader.PrevCount, 4999) << keyword;
        EXPECT_TRUE(r.reader.Damaged) << keyword;
    }
}

}  // namespace
}  // namespace verava
