// Looking into a PDF from the command line: a short summary of a file ("info") and one
// object as PDF syntax or its stream bytes ("show"). Built on the engine, without any user
// interface of its own.
#pragma once

#include <cstdint>
#include <string>

#include "app/workflow.h"

namespace verava {

struct InspectResult {
    WorkflowOutcome outcome = WorkflowOutcome::Done;
    int32_t errorCode = 0;
    std::string text;  // what to print on standard output
};

enum class SummaryFormat {
    Lines,  // "key: value" lines
    Json,   // one JSON object with the same keys: strings, numbers and a boolean
};

// version, pages, encrypted, objects, repaired: "pages: 2" as a line, "pages": 2 in JSON.
InspectResult DescribeFile(const std::u16string& path, const std::u16string& password,
                           SummaryFormat format = SummaryFormat::Lines);

enum class StreamPart { None, Raw, Decoded };

// Object `number` as the serialiser writes it (a stream as its dictionary and a note on its
// data), or only its stream bytes (decrypted; decoded through the filters on request).
// outcome InputMissing with errorCode 0 when the object does not exist.
InspectResult ShowObject(const std::u16string& path, int32_t number, StreamPart part,
                         const std::u16string& password);

}  // namespace verava
