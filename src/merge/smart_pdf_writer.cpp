#include "merge/smart_pdf_writer.h"

#include <algorithm>
#include <utility>

#include "document/file_syntax.h"
#include "objects/number_text.h"
#include "objects/stream.h"

namespace verava {

TSmartPDFWriter::TSmartPDFWriter(TStream& output) : Output(&output) {}

void TSmartPDFWriter::Write(std::string_view bytes) {
    Output->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TSmartPDFWriter::WriteHeader(std::string_view version) {
    std::string header = "%PDF-";
    header += version;
    header += '\n';
    // A comment of high bytes marks the file as binary (ISO 32000-1, 7.5.2).
    header += "%\xE2\xE3\xCF\xD3\n";
    Write(header);
}

void TSmartPDFWriter::WriteObject(int32_t number, int32_t generation, std::string_view body) {
    WriteObject(number, generation, {body});
}

void TSmartPDFWriter::WriteObject(int32_t number, int32_t generation,
                                  std::initializer_list<std::string_view> body) {
    if (generation < 0 || generation > 65535) generation = 0;
    const size_t written = ObjectNumbers.size();
    if (ObjectPositions.size() < written + 10) ObjectPositions.resize(written + 100);
    const int64_t start = Output->Position();
    ObjectNumbers.push_back(number);
    ObjectGenerations.push_back(generation);
    ObjectPositions[written] = start;

    Write(IntText(number) + " " + IntText(generation) + " obj\n");
    char last = '\0';
    for (std::string_view piece : body) {
        if (piece.empty()) continue;
        Write(piece);
        last = piece.back();
    }
    if (last != '\n') Write("\n");
    Write("endobj\n");
    ObjectLengths.push_back(
        static_cast<int32_t>(std::min<int64_t>(Output->Position() - start, INT32_MAX)));
}

void TSmartPDFWriter::WriteXRefAndTrailer(const TPDFDictionary& trailer) {
    const int64_t start = Output->Position();
    // (number, write index) sorted by number and then by write order: the first write of a
    // number is the one the table lists.
    std::vector<std::pair<int32_t, size_t>> byNumber;
    byNumber.reserve(ObjectNumbers.size());
    for (size_t k = 0; k < ObjectNumbers.size(); ++k) byNumber.emplace_back(ObjectNumbers[k], k);
    std::sort(byNumber.begin(), byNumber.end());
    byNumber.erase(std::unique(byNumber.begin(), byNumber.end(),
                               [](const auto& a, const auto& b) { return a.first == b.first; }),
                   byNumber.end());
    std::vector<TTableRow> rows{{0, 0, 65535, false}};
    rows.reserve(byNumber.size() + 1);
    for (const auto& [number, index] : byNumber) {
        if (number <= 0) continue;
        rows.push_back({number, ObjectPositions[index], ObjectGenerations[index], true});
    }
    Write(ClassicTable(rows));

    std::string tail = "trailer\n" + trailer.ToText();
    if (tail.back() != '\n') tail += '\n';
    tail += "startxref\n" + IntText(start) + "\n%%EOF\n";
    Write(tail);
}

}  // namespace verava
