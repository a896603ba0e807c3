// Cross-reference data of files written by qpdf, which nobody here wrote: the reader must
// report the same in-use entries that `qpdf --show-xref` lists.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "document/pdf_xref_reader.h"
#include "support/pdf_builder.h"
#include "support/requirements.h"

namespace verava {
namespace {

using testing::RunCommand;

struct XRefRow {
    char kind;
    int64_t value;
    int32_t second;
    bool operator==(const XRefRow& o) const {
        return kind == o.kind && value == o.value && second == o.second;
    }
};

std::map<int32_t, XRefRow> QpdfXRef(const std::string& path) {
    std::map<int32_t, XRefRow> rows;
    std::istringstream lines(RunCommand("qpdf --show-xref '" + path + "'"));
    std::string line;
    while (std::getline(lines, line)) {
        int number = 0, generation = 0;
        long long a = 0, b = 0;
        if (std::sscanf(line.c_str(), "%d/%d: uncompressed; offset = %lld", &number, &generation,
                        &a) == 3) {
            rows[number] = {'n', a, generation};
        } else if (std::sscanf(line.c_str(), "%d/%d: compressed; stream = %lld, index = %lld",
                               &number, &generation, &a, &b) == 4) {
            rows[number] = {'c', a, static_cast<int32_t>(b)};
        }
    }
    return rows;
}

std::map<int32_t, XRefRow> OurXRef(const std::string& bytes) {
    std::map<int32_t, XRefRow> rows;
    TPDFXRefReader reader{std::string_view(bytes)};
    reader.OnEntry = [&](int32_t n, int32_t g, char kind, int64_t v) {
        if ((kind == 'n' || kind == 'c') && rows.count(n) == 0) rows[n] = {kind, v, g};
    };
    EXPECT_TRUE(reader.ReadSection(reader.FindStartXRef()));
    return rows;
}

TEST(XRefPeer, AgreesWithQpdfOnFilesItWrote) {
    VERAVA_REQUIRE_TOOLS("qpdf");
    testing::PdfBuilder b = testing::SimpleDocument(6);
    const std::string source = testing::WriteTempFile("xref-source.pdf", b.Build());
    const char* variants[] = {
        "--object-streams=generate",
        "--object-streams=disable",
        "--linearize",
        "--object-streams=generate --linearize",
        "--object-streams=preserve --newline-before-endstream",
    };
    for (const char* options : variants) {
        const std::string out = testing::WriteTempFile("xref-out.pdf", "");
        int status = 0;
        RunCommand(std::string("qpdf ") + options + " '" + source + "' '" + out + "'", &status);
        ASSERT_EQ(status, 0) << options;
        const std::map<int32_t, XRefRow> expected = QpdfXRef(out);
        ASSERT_FALSE(expected.empty()) << options;
        std::map<int32_t, XRefRow> ours = OurXRef(testing::ReadFileBytes(out));
        EXPECT_EQ(ours.size(), expected.size()) << options;
        for (const auto& [number, row] : expected) {
            ASSERT_EQ(ours.count(number), 1u) << options << " object " << number;
            EXPECT_EQ(ours[number], row) << options << " object " << number;
        }
    }
}

TEST(XRefPeer, QpdfReadsWhatTheBuilderWrites) {
    VERAVA_REQUIRE_TOOLS("qpdf");
    for (testing::XRefKind kind :
         {testing::XRefKind::Table, testing::XRefKind::Stream,
          testing::XRefKind::StreamFlatePredicted, testing::XRefKind::Hybrid}) {
        testing::PdfBuilder b = testing::SimpleDocument(3);
        b.Compress(3);
        b.Compress(4);
        const std::string bytes = b.Build(kind);
        const std::string path = testing::WriteTempFile("builder.pdf", bytes);
        int status = 0;
        const std::string check = RunCommand("qpdf --check '" + path + "' 2>&1", &status);
        EXPECT_EQ(status, 0) << check;
        const std::map<int32_t, XRefRow> expected = QpdfXRef(path);
        std::map<int32_t, XRefRow> ours = OurXRef(bytes);
        for (const auto& [number, row] : expected) {
            EXPECT_EQ(ours[number], row) << "object " << number;
        }
    }
}

}  // namespace
}  // namespace verava
