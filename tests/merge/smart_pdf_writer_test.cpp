#include "merge/smart_pdf_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objects/pdf_structure.h"
#include "objects/stream.h"

namespace verava {
namespace {

// The 20-byte entry for an object found at `position` with `generation`.
std::string Entry(size_t position, const std::string& generation = "00000") {
    std::string digits = std::to_string(position);
    return std::string(10 - digits.size(), '0') + digits + " " + generation + " n \n";
}

struct Output {
    TMemoryStream stream;
    TSmartPDFWriter writer{stream};
    const std::string& Bytes() const { return stream.Data(); }
    size_t Find(const std::string& text) const { return Bytes().find(text); }
};

TPDFDictionary* Trailer(TPDFStructure& store, int size) {
    auto* t = As<TPDFDictionary>(store.ParseText("<< /Root 1 0 R >>"));
    t->SetValue("Size", store.NewNumeric(size));
    return t;
}

TEST(SmartPDFWriter, WritesHeaderAndFramesObjects) {
    Output out;
    out.writer.WriteHeader("1.4");
    EXPECT_EQ(out.Bytes(), "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    const size_t start = out.Bytes().size();
    out.writer.WriteObject(1, 0, "<< /Type /Catalog >>");
    out.writer.WriteObject(2, 0, "(ends with a line feed)\n");  // no blank line added
    out.writer.WriteObject(3, 0, "null");
    out.writer.WriteObject(4, 0, "");
    out.writer.WriteObject(5, 65535, "5");
    EXPECT_EQ(out.Bytes().substr(start),
              "1 0 obj\n<< /Type /Catalog >>\nendobj\n"
              "2 0 obj\n(ends with a line feed)\nendobj\n"
              "3 0 obj\nnull\nendobj\n"
              "4 0 obj\n\nendobj\n"
              "5 65535 obj\n5\nendobj\n");
    ASSERT_EQ(out.writer.ObjectCount(), 5);
    EXPECT_EQ(out.writer.ObjectNumbers, (std::vector<int32_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(out.writer.ObjectGenerations, (std::vector<int32_t>{0, 0, 0, 0, 65535}));
    EXPECT_EQ(out.writer.ObjectPositions[0], static_cast<int64_t>(start));
    EXPECT_EQ(out.writer.ObjectPositions[2], static_cast<int64_t>(out.Find("3 0 obj")));
    EXPECT_EQ(out.writer.ObjectLengths[2],
              static_cast<int32_t>(std::string("3 0 obj\nnull\nendobj\n").size()));
    // Positions grow ahead of use.
    EXPECT_GE(out.writer.ObjectPositions.size(), 15u);
}

TEST(SmartPDFWriter, WritesOneSubsectionPerRun) {
    {
        // 1, 2, 3, 5, 6: one run from 0 with the head, one from 5.
        Output out;
        out.writer.WriteHeader("1.4");
        for (int n : {1, 2, 3, 5, 6})
            out.writer.WriteObject(n, 0, "<< /N " + std::to_string(n) + " >>");
        TPDFStructure store;
        TPDFDictionary* trailer = Trailer(store, 7);
        out.writer.WriteXRefAndTrailer(*trailer);
        const size_t xref = out.Find("xref\n");
        const std::string expected =
            "xref\n0 4\n0000000000 65535 f \n" + Entry(out.Find("1 0 obj")) +
            Entry(out.Find("2 0 obj")) + Entry(out.Find("3 0 obj")) + "5 2\n" +
            Entry(out.Find("5 0 obj")) + Entry(out.Find("6 0 obj")) + "trailer\n" +
            trailer->ToText() + "startxref\n" + std::to_string(xref) + "\n%%EOF\n";
        EXPECT_EQ(out.Bytes().substr(xref), expected);
    }
    {
        // Object 1 missing, 2..4 written: the head alone, then a run from 2.
        Output out;
        out.writer.WriteHeader("1.4");
        for (int n : {4, 2, 3}) out.writer.WriteObject(n, 0, "null");
        TPDFStructure store;
        out.writer.WriteXRefAndTrailer(*Trailer(store, 5));
        const size_t xref = out.Find("xref\n");
        const std::string table = out.Bytes().substr(xref, out.Find("trailer") - xref);
        EXPECT_EQ(table, "xref\n0 1\n0000000000 65535 f \n2 3\n" + Entry(out.Find("2 0 obj")) +
                             Entry(out.Find("3 0 obj")) + Entry(out.Find("4 0 obj")));
    }
    {
        // Generation 65535 in the entry; a number written twice keeps its first position.
        Output out;
        out.writer.WriteHeader("1.4");
        out.writer.WriteObject(1, 65535, "(first)");
        out.writer.WriteObject(1, 0, "(second)");
        TPDFStructure store;
        out.writer.WriteXRefAndTrailer(*Trailer(store, 2));
        const size_t xref = out.Find("xref\n");
        const std::string table = out.Bytes().substr(xref, out.Find("trailer") - xref);
        EXPECT_EQ(table,
                  "xref\n0 2\n0000000000 65535 f \n" + Entry(out.Find("1 65535 obj"), "65535"));
    }
    {
        // No objects: the head alone. Object 0 written is still listed as the head.
        Output out;
        TPDFStructure store;
        out.writer.WriteXRefAndTrailer(*Trailer(store, 1));
        EXPECT_EQ(out.Bytes().substr(0, 37), "xref\n0 1\n0000000000 65535 f \ntrailer\n");
        Output zero;
        zero.writer.WriteObject(0, 0, "null");
        zero.writer.WriteObject(1, 0, "null");
        zero.writer.WriteXRefAndTrailer(*Trailer(store, 2));
        const size_t xref = zero.Find("xref\n");
        EXPECT_EQ(zero.Bytes().substr(xref, 29 + 20),
                  "xref\n0 2\n0000000000 65535 f \n" + Entry(zero.Find("1 0 obj")));
    }
    {
        // Negative numbers are written but listed nowhere.
        Output out;
        out.writer.WriteObject(-3, 0, "null");
        out.writer.WriteObject(1, 0, "null");
        TPDFStructure store;
        out.writer.WriteXRefAndTrailer(*Trailer(store, 2));
        EXPECT_NE(out.Find("-3 0 obj\n"), std::string::npos);
        EXPECT_NE(out.Find("xref\n0 2\n"), std::string::npos);
    }
}

TEST(SmartPDFWriter, GenerationsThatDoNotFitAreWrittenAsZero) {
    // In the object's header and in its row alike (the row's fields: ClassicTable's table).
    Output out;
    out.writer.WriteObject(1, 123456, "null");
    out.writer.WriteObject(2, -1, "null");
    TPDFStructure store;
    out.writer.WriteXRefAndTrailer(*Trailer(store, 3));
    EXPECT_NE(out.Find("1 0 obj"), std::string::npos);
    EXPECT_NE(out.Find("2 0 obj"), std::string::npos);
    EXPECT_NE(out.Find(Entry(out.Find("1 0 obj"))), std::string::npos);
}

TEST(SmartPDFWriter, WriteErrorsPropagate) {
    class FullStream : public TMemoryStream {
      public:
        int64_t Write(const void* buffer, int64_t count) override {
            const int64_t room = 40 - Size();
            return TMemoryStream::Write(buffer, count < room ? count : (room > 0 ? room : 0));
        }
    };
    FullStream full;
    TSmartPDFWriter writer(full);
    writer.WriteHeader("1.4");
    EXPECT_THROW(
        {
            for (int n = 1; n <= 10; ++n) writer.WriteObject(n, 0, "<< /Key (value) >>");
        },
        EStreamError);
    TPDFStructure store;
    EXPECT_THROW(writer.WriteXRefAndTrailer(*Trailer(store, 2)), EStreamError);
}

}  // namespace
}  // namespace verava
