#include "merge/smart_pdf_writer.h"

#include <algorithm>
#include <utility>

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
    Write("xref\n");

    // (number, write index) sorted by number and then by write order: the first write of a
    // number is the one the table lists.
    std::vector<std::pair<int32_t, size_t>> byNumber;
    byNumber.reserve(ObjectNumbers.size());
    for (size_t k = 0; k < ObjectNumbers.size(); ++k) byNumber.emplace_back(ObjectNumbers[k], k);
    std::sort(byNumber.begin(), byNumber.end());
    byNumber.erase(std::unique(byNumber.begin(), byNumber.end(),
                               [](const auto& a, const auto& b) { return a.first == b.first; }),
                   byNumber.end());
    // Runs start at 0 and at every present number whose predecessor is absent.
    auto present =
        std::lower_bound(byNumber.begin(), byNumber.end(), std::make_pair(int32_t{0}, size_t{0}));
    int64_t s = 0;
    for (;;) {
        // `present` is the first entry with a number >= s.
        auto runEnd = present;
        if (runEnd != byNumber.end() && runEnd->first == s) ++runEnd;
        int64_t e = s;
        while (runEnd != byNumber.end() && runEnd->first == e + 1) {
            ++e;
            ++runEnd;
        }
        std::string block = IntText(s) + " " + IntText(e - s + 1) + "\n";
        block.reserve(block.size() + static_cast<size_t>(e - s + 1) * 20);
        auto entry = present;
        for (int64_t k = s; k <= e; ++k) {
            if (k == 0) {
                block += "0000000000 65535 f \n";
                if (entry != byNumber.end() && entry->first == 0) ++entry;
                continue;
            }
            const size_t index = entry->second;
            ++entry;
            const int64_t position = ObjectPositions[index];
            if (position < 0 || position > kMaxOffset) {
                throw EStreamError("Object offset does not fit a cross-reference entry");
            }
            block +=
                PadNumber(position, 10) + " " + PadNumber(ObjectGenerations[index], 5) + " n \n";
        }
        Write(block);
        present = runEnd;
        if (present == byNumber.end()) break;
        s = present->first;
    }

    std::string tail = "trailer\n" + trailer.ToText();
    if (tail.back() != '\n') tail += '\n';
    tail += "startxref\n" + IntText(start) + "\n%%EOF\n";
    Write(tail);
}

}  // namespace verava
