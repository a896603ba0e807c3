// Objects of files written by qpdf, loaded lazily by the document: each in-use object that
// `qpdf --show-xref` lists must read to the same value that `qpdf --show-object` prints
// (both normalised through our serialiser; stream dictionaries compared without /Length).
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "document/pdf_document.h"
#include "objects/stream.h"
#include "support/pdf_builder.h"
#include "support/requirements.h"

namespace verava {
namespace {

using testing::RunCommand;

std::vector<int32_t> InUseNumbers(const std::string& path) {
    std::vector<int32_t> numbers;
    std::istringstream lines(RunCommand("qpdf --show-xref '" + path + "'"));
    std::string line;
    while (std::getline(lines, line)) {
        int number = 0, generation = 0;
        if (std::sscanf(line.c_str(), "%d/%d:", &number, &generation) == 2)
            numbers.push_back(number);
    }
    return numbers;
}

// Our text of the value with dictionary keys in sorted order (qpdf prints them sorted).
std::string Canonical(const TPDFObject* object) {
    if (const auto* dict = As<TPDFDictionary>(object)) {
        std::vector<std::pair<std::string, std::string>> entries;
        for (const auto& e : dict->Entries())
            entries.emplace_back(e.first->Text, Canonical(e.second));
        std::sort(entries.begin(), entries.end());
        std::string out = "<<";
        for (const auto& [key, value] : entries) out += " /" + key + " " + value;
        return out + " >>";
    }
    if (const auto* array = As<TPDFArray>(object)) {
        std::string out = "[";
        for (const TPDFObject* item : array->Items()) out += " " + Canonical(item);
        return out + " ]";
    }
    return object->ToText();
}

std::string Normalised(TPDFStructure& store, TPDFObject* object) {
    if (auto* stream = As<TPDFStream>(object)) object = stream->StreamDict();
    if (auto* dict = As<TPDFDictionary>(object)) dict->RemoveKey("Length");
    return Canonical(object);
}

TEST(DocumentPeer, ObjectsReadAsQpdfShowsThem) {
    VERAVA_REQUIRE_TOOLS("qpdf");
    testing::PdfBuilder b = testing::SimpleDocument(4);
    const std::string source = testing::WriteTempFile("doc-peer-src.pdf", b.Build());
    for (const char* options :
         {"--object-streams=generate", "--linearize", "--object-streams=disable"}) {
        const std::string path = testing::WriteTempFile("doc-peer.pdf", "");
        int status = 0;
        RunCommand(std::string("qpdf ") + options + " '" + source + "' '" + path + "'", &status);
        ASSERT_EQ(status, 0);
        TPDFDocument document;
        TMemoryStream stream(testing::ReadFileBytes(path));
        ASSERT_EQ(document.LoadFromStream(stream, u""), TPDFDocument::kLoaded);
        const std::vector<int32_t> numbers = InUseNumbers(path);
        ASSERT_FALSE(numbers.empty());
        for (int32_t n : numbers) {
            TPDFIndObj* object = document.FindObject(n);
            ASSERT_NE(object, nullptr) << options << " object " << n;
            TPDFObject* value = object->GetObject();
            // Selecting page 1 on load gave that page a content stream of its own.
            if (value->IsModified()) continue;
            TPDFStructure store;
            std::string shown =
                RunCommand("qpdf --show-object=" + std::to_string(n) + " '" + path + "'");
            const std::string streamHeader = "Object is stream.  Dictionary:";
            if (shown.compare(0, streamHeader.size(), streamHeader) == 0)
                shown.erase(0, streamHeader.size());
            TPDFObject* theirs = store.ParseText(shown);
            const std::string ours = Normalised(*document.Structure, value);
            EXPECT_EQ(ours, Normalised(store, theirs)) << options << " object " << n;
        }
    }
}

}  // namespace
}  // namespace verava
