// The merge reader, the merge writer and the input security check against qpdf, which
// nobody here wrote: every in-use object must come back with the value `qpdf --show-object`
// prints, stream data byte for byte as `--raw-stream-data` gives them, files written from
// the objects read must pass `qpdf --check`, and encrypted files made by qpdf must be
// recognised, with their passwords and their object streams decrypted.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "merge/smart_pdf_info.h"
#include "merge/smart_pdf_reader.h"
#include "merge/smart_pdf_writer.h"
#include "merge_test_files.h"
#include "objects/pdf_structure.h"
#include "support/pdf_builder.h"
#include "support/requirements.h"

namespace verava {
namespace {

using testing::PdfBuilder;
using testing::ReaderOver;
using testing::RunCommand;
using testing::XRefKind;

std::string Quote(const std::string& path) { return "'" + path + "'"; }

// A text form of a value that does not depend on the order of dictionary keys (qpdf sorts
// them); streams show their dictionary without Length.
std::string Canon(TPDFObject* object) {
    if (object == nullptr) return "<none>";
    if (auto* a = As<TPDFArray>(object)) {
        std::string out = "[";
        for (TPDFObject* item : a->Items()) out += Canon(item) + " ";
        return out + "]";
    }
    if (auto* d = As<TPDFDictionary>(object)) {
        std::map<std::string, std::string> sorted;
        for (const auto& [key, value] : d->Entries()) sorted[key->Text] = Canon(value);
        std::string out = "<<";
        for (const auto& [key, value] : sorted) out += "/" + key + " " + value + " ";
        return out + ">>";
    }
    if (auto* s = As<TPDFStream>(object)) {
        TPDFDictionary* dict = s->StreamDict();
        std::map<std::string, std::string> sorted;
        for (const auto& [key, value] : dict->Entries()) {
            if (key->Text != "Length") sorted[key->Text] = Canon(value);
        }
        std::string out = "stream<<";
        for (const auto& [key, value] : sorted) out += "/" + key + " " + value + " ";
        return out + ">>";
    }
    return object->ToText();
}

struct QpdfRow {
    int32_t number;
    bool compressed;
};

std::vector<QpdfRow> QpdfInUse(const std::string& path, const std::string& password = "") {
    std::vector<QpdfRow> rows;
    const std::string options = password.empty() ? "" : "--password=" + password + " ";
    std::istringstream lines(
        RunCommand("qpdf " + options + "--show-xref " + Quote(path) + " 2>/dev/null"));
    std::string line;
    while (std::getline(lines, line)) {
        int number = 0, generation = 0;
        if (std::sscanf(line.c_str(), "%d/%d:", &number, &generation) != 2) continue;
        if (line.find(": uncompressed;") != std::string::npos) rows.push_back({number, false});
        if (line.find(": compressed;") != std::string::npos) rows.push_back({number, true});
    }
    return rows;
}

// Compares every in-use object qpdf lists with what the reader serves.
void ExpectSameObjects(const std::string& label, const std::string& bytes) {
    const std::string path = testing::WriteTempFile("merge-peer.pdf", bytes);
    const std::vector<QpdfRow> rows = QpdfInUse(path);
    ASSERT_FALSE(rows.empty()) << label;
    ReaderOver r(bytes);
    ASSERT_EQ(r.reader.Status(), TReaderStatus::Usable) << label;
    for (const QpdfRow& row : rows) {
        const std::string n = std::to_string(row.number);
        TPDFStructure expectedStore;
        std::string shown =
            RunCommand("qpdf --show-object=" + n + " " + Quote(path) + " 2>/dev/null");
        // Streams are shown as "Object is stream.  Dictionary:" and the dictionary.
        if (shown.rfind("Object is stream", 0) == 0) shown = shown.substr(shown.find("<<"));
        TPDFObject* expected = expectedStore.ParseText(shown);
        TPDFStructure ours;
        TPDFObject* loaded = r.reader.LoadObject(row.number, &ours);
        ASSERT_NE(loaded, nullptr) << label << " object " << n;
        if (auto* stream = As<TPDFStream>(loaded)) {
            // qpdf prints a stream's dictionary; compare without Length.
            auto* dict = As<TPDFDictionary>(expected);
            ASSERT_NE(dict, nullptr) << label << " object " << n;
            dict->RemoveKey("Length");
            EXPECT_EQ(Canon(stream), "stream" + Canon(dict)) << label << " object " << n;
            const std::string raw = RunCommand("qpdf --show-object=" + n + " --raw-stream-data " +
                                               Quote(path) + " 2>/dev/null");
            EXPECT_EQ(stream->Data(), raw) << label << " object " << n;
        } else {
            EXPECT_EQ(Canon(loaded), Canon(expected)) << label << " object " << n;
            // Through the cache the same value comes back.
            EXPECT_EQ(Canon(r.reader.GetObject(row.number)), Canon(expected))
                << label << " object " << n;
        }
    }
}

std::string Qpdf(const std::string& options, const std::string& source, const std::string& name) {
    const std::string in = testing::WriteTempFile("merge-source.pdf", source);
    const std::string out = testing::WriteTempFile(name, "");
    int status = 0;
    const std::string log =
        RunCommand("qpdf " + options + " " + Quote(in) + " " + Quote(out) + " 2>&1", &status);
    EXPECT_EQ(status, 0) << options << ": " << log;
    return testing::ReadFileBytes(out);
}

// Builder files of every cross-reference kind, incremental updates, junk before the header,
// and what qpdf makes of them.
std::vector<std::pair<std::string, std::string>> PeerFiles() {
    std::vector<std::pair<std::string, std::string>> files;
    const std::pair<XRefKind, const char*> kinds[] = {
        {XRefKind::Table, "table"},
        {XRefKind::Stream, "stream"},
        {XRefKind::StreamFlatePredicted, "stream-predicted"},
        {XRefKind::Hybrid, "hybrid"}};
    for (const auto& [kind, name] : kinds) {
        PdfBuilder b = testing::SimpleDocument(4);
        b.Compress(3);
        b.Compress(4);
        b.Compress(5);
        files.emplace_back(name, b.Build(kind));
    }
    for (XRefKind kind : {XRefKind::Table, XRefKind::Stream}) {
        PdfBuilder b = testing::SimpleDocument(3);
        const std::string base = b.Build(kind);
        files.emplace_back(kind == XRefKind::Table ? "update-table" : "update-stream",
                           b.AppendUpdate(base,
                                          {{5,
                                            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 "
                                            "300] /Contents 6 0 R >>"},
                                           {20, "(added later)"}},
                                          kind));
    }
    {
        PdfBuilder b = testing::SimpleDocument(2);
        b.Prefix = std::string(300, '\n');
        files.emplace_back("junk-before-header", b.Build());
    }
    const std::string source = testing::SimpleDocument(5).Build();
    const char* variants[] = {"--object-streams=generate", "--object-streams=disable",
                              "--linearize", "--object-streams=generate --linearize"};
    for (const char* options : variants) {
        files.emplace_back(options, Qpdf(options, source, "merge-variant.pdf"));
    }
    return files;
}

TEST(SmartPDFReaderPeer, ServesTheObjectsQpdfSees) {
    VERAVA_REQUIRE_TOOLS("qpdf");
    for (const auto& [label, bytes] : PeerFiles()) ExpectSameObjects(label, bytes);
}

TEST(SmartPDFWriterPeer, WrittenFilesPassQpdfCheck) {
    VERAVA_REQUIRE_TOOLS("qpdf");
    for (const auto& [label, bytes] : PeerFiles()) {
        ReaderOver r(bytes);
        ASSERT_EQ(r.reader.Status(), TReaderStatus::Usable) << label;
        TMemoryStream output;
        TSmartPDFWriter writer(output);
        writer.WriteHeader("1.4");
        auto scratch = std::make_unique<TPDFStructure>();
        for (int32_t k = 1; k <= r.reader.LastObjectNumber(); ++k) {
            TPDFObject* object = r.reader.LoadObject(k, scratch.get());
            writer.WriteObject(k, r.reader.GetGeneration(k),
                               object != nullptr ? object->ToText() : "null");
            if (scratch->ObjectCount() > 100) scratch = std::make_unique<TPDFStructure>();
        }
        r.reader.FinishTrailer();
        writer.WriteXRefAndTrailer(*r.reader.Trailer());
        const std::string path = testing::WriteTempFile("merge-written.pdf", output.Data());
        int status = 0;
        const std::string check = RunCommand("qpdf --check " + Quote(path) + " 2>&1", &status);
        EXPECT_EQ(status, 0) << label << "\n" << check;
        // The pages survive: the written file has as many as the input.
        const std::string inPath = testing::WriteTempFile("merge-written-in.pdf", bytes);
        EXPECT_EQ(RunCommand("qpdf --show-npages " + Quote(path) + " 2>/dev/null"),
                  RunCommand("qpdf --show-npages " + Quote(inPath) + " 2>/dev/null"))
            << label;
    }
}

TEST(SmartPDFInfoPeer, RecognisesQpdfEncryptionAndDecryptsObjectStreams) {
    VERAVA_REQUIRE_TOOLS("qpdf");
    struct Case {
        const char* encrypt;
        uint8_t keyClass;
    };
    const Case cases[] = {
        {"--encrypt user owner 40 --", kSmartKeyClassRc4_40},
        {"--encrypt user owner 128 --use-aes=n --", kSmartKeyClassRc4_128},
        {"--encrypt user owner 128 --use-aes=y --", kSmartKeyClassAes128},
        {"--encrypt user owner 256 --", kSmartKeyClassAes256R6},
    };
    const std::string source = testing::SimpleDocument(3).Build();
    for (const Case& c : cases) {
        const std::string options =
            std::string("--allow-weak-crypto --object-streams=generate ") + c.encrypt;
        const std::string bytes = Qpdf(options, source, "merge-encrypted.pdf");
        const std::string path = testing::WriteTempFile("merge-encrypted-copy.pdf", bytes);
        {
            // The right user or owner password is marked with "!"; a wrong one clears it.
            ReaderOver r(bytes);
            ASSERT_EQ(r.reader.Status(), TReaderStatus::Usable) << c.encrypt;
            EXPECT_TRUE(r.reader.Encrypted());
            TSmartPDFInfo user(r.reader, false, u"user");
            EXPECT_EQ(user.SecurityStatus(0), 1) << c.encrypt;
            EXPECT_EQ(user.Crypt->Password(), u"!user") << c.encrypt;
            EXPECT_EQ(user.Crypt->KeyClass(), c.keyClass) << c.encrypt;
            TSmartPDFInfo owner(r.reader, false, u"owner");
            EXPECT_EQ(owner.Crypt->Password(), u"!owner") << c.encrypt;
            TSmartPDFInfo wrong(r.reader, false, u"nobody");
            EXPECT_TRUE(wrong.Crypt->Password().empty()) << c.encrypt;
            EXPECT_EQ(wrong.SecurityStatus(0), 1);
        }
        {
            // With the password accepted, objects inside object streams read as qpdf shows
            // them decrypted.
            ReaderOver r(bytes);
            TSmartPDFInfo info(r.reader, false, u"user");
            int compared = 0;
            for (const QpdfRow& row : QpdfInUse(path, "user")) {
                if (!row.compressed) continue;
                TPDFStructure expectedStore;
                const std::string shown =
                    RunCommand("qpdf --password=user --show-object=" + std::to_string(row.number) +
                               " " + Quote(path) + " 2>/dev/null");
                EXPECT_EQ(Canon(r.reader.GetObject(row.number)),
                          Canon(expectedStore.ParseText(shown)))
                    << c.encrypt << " object " << row.number;
                ++compared;
            }
            EXPECT_GT(compared, 0) << c.encrypt;
        }
    }
}

}  // namespace
}  // namespace verava
