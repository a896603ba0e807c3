#include "app/inspect.h"

#include "engine/brannock.h"
#include "objects/wide_file_stream.h"

namespace verava {
namespace {

// Opens the file in a fresh engine; on failure fills the result and returns false.
bool Open(TVelmorPDFLibrary& engine, const std::u16string& path, const std::u16string& password,
          InspectResult& result) {
    if (path.empty() || !FileExistsWide(path)) {
        result.outcome = WorkflowOutcome::InputMissing;
        return false;
    }
    if (engine.OpenFile(path, password) != 1) {
        result.errorCode = engine.ErrorCode;
        result.outcome = engine.ErrorCode == kErrorPassword ? WorkflowOutcome::PasswordRequired
                                                            : WorkflowOutcome::OpenFailed;
        return false;
    }
    return true;
}

}  // namespace

InspectResult DescribeFile(const std::u16string& path, const std::u16string& password) {
    InspectResult result;
    TVelmorPDFLibrary engine;
    if (!Open(engine, path, password, result)) return result;
    TPDFDocument& document = *engine.CurrentDocument;
    const std::string cipher = document.Security().CipherName();
    result.text = "version: " + document.Version + "\n";
    result.text += "pages: " + std::to_string(engine.CountPages()) + "\n";
    result.text += "encrypted: " + (cipher.empty() ? std::string("no") : cipher) + "\n";
    result.text += "objects: " + std::to_string(document.Objects().size()) + "\n";
    result.text += std::string("repaired: ") + (document.Repaired() ? "yes" : "no") + "\n";
    return result;
}

InspectResult ShowObject(const std::u16string& path, int32_t number, StreamPart part,
                         const std::u16string& password) {
    InspectResult result;
    TVelmorPDFLibrary engine;
    if (!Open(engine, path, password, result)) return result;
    TPDFDocument& document = *engine.CurrentDocument;
    TPDFIndObj* object = document.FindObject(number);
    if (object == nullptr) {
        result.outcome = WorkflowOutcome::InputMissing;
        return result;
    }
    TPDFObject* value = object->GetObject();
    auto* stream = As<TPDFStream>(value);
    if (part != StreamPart::None) {
        if (stream == nullptr) {
            result.outcome = WorkflowOutcome::OpenFailed;
            return result;
        }
        result.text =
            part == StreamPart::Raw ? std::string(stream->Data()) : stream->GetDecodedData();
        return result;
    }
    try {
        if (stream != nullptr) {
            result.text = stream->StreamDict()->ToText() + "stream\n% " +
                          std::to_string(stream->Data().size()) +
                          " bytes of stream data (--stream raw|decoded prints them)\nendstream\n";
        } else {
            result.text = value != nullptr ? value->ToText() : "null";
            if (result.text.empty() || result.text.back() != '\n') result.text.push_back('\n');
        }
    } catch (const std::exception&) {
        result.outcome = WorkflowOutcome::OpenFailed;
    }
    return result;
}

}  // namespace verava
