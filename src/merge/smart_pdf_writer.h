// Writes the output of a file merge as a plain, non-incremental PDF file: a header, the
// objects in the order they are handed over (already serialised), one classic
// cross-reference table with a subsection per run of consecutive numbers, the trailer and
// the end marker (ISO 32000-1, 7.5):
//   %PDF-1.4            xref                   trailer
//   1 0 obj             0 4                    << /Size 4 /Root 1 0 R >>
//   << ... >>           0000000000 65535 f     startxref
//   endobj              0000000015 00000 n     812
//                       ...                    %%EOF
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "objects/pdf_object.h"

namespace verava {

class TStream;

class TSmartPDFWriter {
  public:
    // `output` must outlive the writer; positions are taken from it.
    explicit TSmartPDFWriter(TStream& output);
    TSmartPDFWriter(const TSmartPDFWriter&) = delete;
    TSmartPDFWriter& operator=(const TSmartPDFWriter&) = delete;

    void WriteHeader(std::string_view version);
    // Generations outside 0..65535 cannot be written in a table entry; they are written
    // as 0 in both the object header and the entry.
    void WriteObject(int32_t number, int32_t generation, std::string_view body);
    // The same with the body in pieces, written one after another and framed as one body:
    // stream data go out from where they lie instead of being joined into one string.
    void WriteObject(int32_t number, int32_t generation,
                     std::initializer_list<std::string_view> body);
    // Raises EStreamError when an object starts beyond what a table row can hold
    // (kMaxTableOffset).
    void WriteXRefAndTrailer(const TPDFDictionary& trailer);

    int32_t ObjectCount() const { return static_cast<int32_t>(ObjectNumbers.size()); }

    TStream* Output = nullptr;
    std::vector<int64_t> ObjectPositions;  // grown ahead of use in steps of 100
    std::vector<int32_t> ObjectGenerations;
    std::vector<int32_t> ObjectNumbers;
    std::vector<int32_t> ObjectLengths;

  private:
    void Write(std::string_view bytes);
};

}  // namespace verava
