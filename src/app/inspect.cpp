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

// A JSON string: the version comes from the file's header and may hold anything.
std::string JsonString(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            // Bytes outside ASCII are not known to be UTF-8; each stands as one code point.
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

InspectResult DescribeFile(const std::u16string& path, const std::u16string& password,
                           SummaryFormat format) {
    InspectResult result;
    TVelmorPDFLibrary engine;
    if (!Open(engine, path, password, result)) return result;
    TPDFDocument& document = *engine.CurrentDocument;
    const std::string cipher = document.Security().CipherName();
    const std::string encrypted = cipher.empty() ? std::string("no") : cipher;
    const std::string pages = std::to_string(engine.CountPages());
    const std::string objects = std::to_string(document.Objects().size());
    const bool repaired = document.Repaired();
    if (format == SummaryFormat::Json) {
        result.text = "{\"version\": " + JsonString(document.Version) + ", \"pages\": " + pages +
                      ", \"encrypted\": " + JsonString(encrypted) + ", \"objects\": " + objects +
                      ", \"repaired\": " + (repaired ? "true" : "false") + "}\n";
        return result;
    }
    result.text = "version: " + document.Version + "\n";
    result.text += "pages: " + pages + "\n";
    result.text += "encrypted: " + encrypted + "\n";
    result.text += "objects: " + objects + "\n";
    result.text += std::string("repaired: ") + (repaired ? "yes" : "no") + "\n";
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
