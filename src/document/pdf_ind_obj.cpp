#include "document/pdf_ind_obj.h"

#include "document/file_syntax.h"
#include "objects/number_text.h"
#include "objects/pdf_chars.h"

namespace verava {
namespace {

bool IsNumberChar(unsigned char c) { return (c >= '0' && c <= '9') || c == '.'; }

// Header scans skip at most this many bytes looking for digits: far enough for any header
// that sits near its offset, and it keeps damaged files from costing a file-length scan per
// object.
constexpr size_t kHeaderSkipLimit = 4096;

struct Header {
    int32_t number = 0;
    int32_t generation = 0;
    bool isObj = false;
    size_t end = 0;  // just after "obj"
};

Header ParseHeader(std::string_view text, size_t start) {
    Header h;
    size_t i = start;
    auto number = [&]() -> int32_t {
        const size_t limit = i + kHeaderSkipLimit;
        while (i < text.size() && i < limit && !IsNumberChar(text[i])) ++i;
        const size_t from = i;
        while (i < text.size() && IsNumberChar(text[i])) ++i;
        return ParseInt(text.substr(from, i - from), 0);
    };
    h.number = number();
    h.generation = number();
    while (i < text.size() && IsPdfWhitespace(text[i])) ++i;
    const std::string_view rest = text.substr(i);
    if (rest.substr(0, 4) == "obj(" || rest.substr(0, 5) == "obj<<" ||
        rest.substr(0, 4) == "obj[" || rest.substr(0, 4) == "obj/") {
        h.isObj = true;
        h.end = i + 3;
        return h;
    }
    size_t j = i;
    while (j < text.size() && !IsPdfWhitespace(text[j])) ++j;
    h.isObj = text.substr(i, j - i) == "obj";
    h.end = j;
    return h;
}

// The header "number generation obj" of the object, looked for near `offset` (a file
// offset; -1 for object-stream text, whose header starts it). The stated offset may sit a
// few bytes off the header: every start from 7 bytes before to 4 bytes after is tried.
bool FindHeader(std::string_view source, int64_t offset, int32_t number, int32_t generation,
                Header& header) {
    auto tryAt = [&](int64_t start) {
        if (start < 0 || static_cast<size_t>(start) >= source.size()) return false;
        header = ParseHeader(source, static_cast<size_t>(start));
        return header.isObj && header.number == number && header.generation == generation;
    };
    if (offset < 0) return tryAt(0);
    if (tryAt(offset - 1)) return true;
    for (int64_t start = offset - 7; start <= offset + 4; ++start) {
        if (tryAt(start)) return true;
    }
    return false;
}

}  // namespace

TPDFObject* TPDFIndObj::GetObject(int depth) {
    if (loading_) return nullptr;  // a Length that leads back to this object
    if (!Loaded) {
        // Too deep a chain of loads stays unloaded; a later fetch from nearer the top
        // loads it.
        if (depth > kMaxLoadDepth) return nullptr;
        LoadObject(depth);
    }
    if (!Decrypted && Document->NeedsDecryption()) {
        Decrypted = true;
        Document->DecryptIndirect(*this);
    }
    return Obj;
}

void TPDFIndObj::LoadObject(int depth) {
    Loaded = true;
    loading_ = true;
    TPDFStructure& store = Document->ObjectStore();
    const SharedBytes& file = Document->FileBuffer();
    const bool fromFile = !Compressed && Offset > 0 && !file.empty();

    if (Obj != nullptr) {
        store.ReleaseObject(Obj);
        Obj = nullptr;
    }
    // What comes out of the file is in its stored form again; what comes out of an object
    // stream was decrypted with the stream as a whole.
    if (Compressed) {
        Decrypted = true;
    } else if (fromFile) {
        Decrypted = false;
    }
    Failed = false;

    std::string ownText;
    std::string_view source;
    if (fromFile) {
        Document->NoteScatteredRead(Offset);
        source = file.View();
    } else {
        ownText = GetObjectText(depth);
        source = ownText;
    }

    Header header;
    const bool matched = FindHeader(source, fromFile ? Offset : -1, Number, Generation, header);

    if (!matched) {
        Obj = store.NewNull();
        Failed = true;
    } else {
        size_t consumed = 0;
        TPDFObject* value = store.Parse(source, header.end, consumed);
        size_t dataStart = 0;
        size_t dataLength = 0;
        auto* dict = As<TPDFDictionary>(value);
        if (dict != nullptr &&
            FindStreamData(source, header.end + consumed, dict, dataStart, dataLength, depth)) {
            ByteSlice data = fromFile
                                 ? ByteSlice(file, dataStart, dataLength)
                                 : ByteSlice(std::string(source.substr(dataStart, dataLength)));
            TPDFStream* stream = store.NewStreamWith(dict, std::move(data));
            if (auto* length = As<TPDFNumeric>(dict->GetValue("Length"))) {
                length->NumValue = static_cast<double>(dataLength);
            } else {
                dict->SetValue("Length", store.NewNumeric(static_cast<double>(dataLength)));
            }
            dict->SetModified(false);
            if (auto* length = dict->GetValue("Length")) length->SetModified(false);
            stream->SetModified(false);
            value = stream;
        }
        Obj = value;
    }
    Obj->MarkIndirect(Number, Generation);
    loading_ = false;
}

bool TPDFIndObj::FindStreamData(std::string_view source, size_t afterDictionary,
                                TPDFDictionary* dict, size_t& dataStart, size_t& dataLength,
                                int depth) {
    // The declared length: a number, or a reference followed to its object.
    TPDFObject* lengthValue = dict->GetValue("Length");
    if (auto* ref = As<TPDFIndRef>(lengthValue)) {
        TPDFIndObj* target = Document->FindObject(ref->TargetNumber);
        // Each indirect Length may load a stream whose Length is indirect again: the chain
        // is bounded so a hostile file cannot exhaust the stack (cycles stop at `loading_`).
        lengthValue = target != nullptr ? target->GetObject(depth + 1) : nullptr;
    }
    std::optional<double> declared;
    if (const auto* number = As<TPDFNumeric>(lengthValue)) declared = number->NumValue;
    // The file's own text is searched through the document, which remembers the answers.
    const bool inFile = source.data() == Document->FileBuffer().data() &&
                        source.size() == Document->FileBuffer().size();
    const std::optional<TStreamExtent> extent =
        inFile ? FindStreamExtent(source, afterDictionary, declared,
                                  [this](std::string_view keyword, size_t from, size_t limit) {
                                      return Document->FindInFile(keyword, from, limit);
                                  })
               : FindStreamExtent(source, afterDictionary, declared);
    if (!extent) return false;
    dataStart = extent->start;
    dataLength = extent->length;
    return true;
}

bool TPDFIndObj::HeaderMatches() {
    const SharedBytes& file = Document->FileBuffer();
    if (Compressed || Offset <= 0 || file.empty()) return false;
    Document->NoteScatteredRead(Offset);
    Header header;
    return FindHeader(file.View(), Offset, Number, Generation, header);
}

TPDFObjectStream* TPDFIndObj::ObjectStreamContents() {
    auto* stream = As<TPDFStream>(GetObject());
    if (stream == nullptr || stream->StreamDict()->GetType() != "ObjStm") return nullptr;
    return Document->ObjectStreamCache().Contents(*stream);
}

std::string TPDFIndObj::GetObjectText(int depth) {
    const std::string header = std::to_string(Number) + " " + std::to_string(Generation) + " obj\r";
    const std::string fallback = header + "null\rendobj";
    if (!Compressed) return fallback;
    TPDFIndObj* container = Document->FindObject(StreamNumber);
    // An object stream is a stream, and streams never sit in object streams: a container
    // said to be compressed itself (chains of them, or loops) holds nothing.
    if (container == nullptr || container == this || container->Compressed) return fallback;
    auto* stream = As<TPDFStream>(container->GetObject(depth + 1));
    if (stream == nullptr || stream->StreamDict()->GetType() != "ObjStm") return fallback;
    TPDFObjectStream* decoded = Document->ObjectStreamCache().Contents(*stream);
    if (decoded == nullptr) return fallback;
    const std::optional<std::string_view> text =
        PackedObjectText(decoded->Index, decoded->Data, StreamIndex, Number);
    if (!text) return fallback;
    std::string own = header + std::string(*text);
    if (decoded->Decodes > 1 && !decoded->MembersLoaded) {
        decoded->MembersLoaded = true;
        Document->LoadMembersOf(StreamNumber, depth + 1);
    }
    return own;
}

}  // namespace verava
