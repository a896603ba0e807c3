#include "security/pdf_security_handler.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>

#include "objects/number_text.h"
#include "objects/pdf_structure.h"
#include "objects/platform.h"
#include "objects/stream_filters.h"
#include "security/aes.h"
#include "security/encryption_entries.h"
#include "security/md5.h"
#include "security/rc4.h"

namespace verava {

// ---- reading the encryption dictionary

void TPDFSecurityHandler::SetTrailer(TPDFDictionary* trailer) {
    trailer_ = trailer;
    encryption_.InfoRead = false;
}

void TPDFSecurityHandler::ReadEncryption(TPDFDictionary* trailer) {
    trailer_ = trailer;
    encryption_ = TPDFEncryption{};
    ClearState();
    // Set before resolving: the resolver may ask for the status while it fetches.
    encryption_.InfoRead = true;
    if (trailer == nullptr) return;
    TPDFObject* entry = trailer->GetValue("Encrypt", false);
    // A null value is the same as no entry (ISO 32000-1, 7.3.7).
    if (entry == nullptr || As<TPDFNull>(entry) != nullptr) return;
    encryption_.Encrypted = true;
    if (const auto* ref = As<TPDFIndRef>(entry)) {
        encryption_.EncryptObjectNumber = ref->TargetNumber;
    }
    const auto* dict = As<TPDFDictionary>(trailer->GetValue("Encrypt", true));
    if (dict == nullptr) return;

    const TEncryptionEntries e = ReadEncryptionEntries(*dict);
    const int32_t length = e.HasLength ? e.Length : 40;
    encryption_.KeyLength = length;

    const TEncryptionScheme scheme = SchemeOf(e);
    if (UsesCryptFilterRevision(e) && e.HasEncryptMetadata) {
        encryption_.EncryptMetadata = e.EncryptMetadata;
    }
    const TKeyParameters key = KeyParametersOf(e, scheme);
    const int32_t keyLength = key.bits;
    const uint8_t cipher = key.cipher == TCipherKind::Aes256   ? kCipherAes256
                           : key.cipher == TCipherKind::Aes128 ? kCipherAes128
                                                               : kCipherRc4;
    if (scheme == TEncryptionScheme::CryptFilterAes256) {
        encryption_.OwnerKeyEntry = e.OE;
        encryption_.UserKeyEntry = e.UE;
        encryption_.PermsEntry = e.Perms;
    }
    if (scheme != TEncryptionScheme::Unsupported) {
        encryption_.Filters = *CryptFiltersOf(e);
        encryption_.KeyLength = keyLength;
        encryption_.CipherMode = cipher;
        encryption_.Revision = e.R;
        encryption_.Algorithm = e.V;
        encryption_.OwnerEntry = e.O;
        encryption_.UserEntry = e.U;
        encryption_.Permissions = e.P;
    }
    const uint32_t p = e.P;
    SetPermissions(p);
}

void TPDFSecurityHandler::SetPermissions(uint32_t p) {
    permissionBits_ = p;
    permissions_ = PermissionFlagsOf(p);
}

int TPDFSecurityHandler::EncryptionStatus() {
    if (!encryption_.InfoRead) ReadEncryption(trailer_);
    if (!encryption_.Encrypted) return 0;
    return encryption_.Algorithm != 0 ? 1 : 2;
}

bool TPDFSecurityHandler::NeedsDecryption() {
    return EncryptionStatus() == 1 && (userAccepted_ || ownerAccepted_);
}

void TPDFSecurityHandler::ClearState() {
    password_.clear();
    userAccepted_ = false;
    ownerAccepted_ = false;
    objectKeyBase_.clear();
    fileKey_.clear();
    permissionBits_ = 0;
    permissions_ = TPermissionFlags{};
    keyClass_ = kKeyClassRc4_40;
    emptyPasswordOpens_ = false;
}

void TPDFSecurityHandler::Reset() {
    encryption_ = TPDFEncryption{};
    ClearState();
    trailer_ = nullptr;
}

std::string TPDFSecurityHandler::CipherName() {
    if (EncryptionStatus() != 1) return {};
    switch (encryption_.CipherMode) {
        case kCipherAes128:
            return "aes-128";
        case kCipherAes256:
            return "aes-256";
        default:
            break;
    }
    // The key actually used, which KeyBytes derives from the length read.
    const int32_t length = encryption_.KeyLength;
    int bits = 128;
    if (length == 40) {
        bits = 40;
    } else if (length > 40 && length < 128) {
        bits = length / 8 * 8;
    }
    return "rc4-" + std::to_string(bits);
}

// ---- password checks

std::vector<std::string> TPDFSecurityHandler::PasswordForms(std::u16string_view password) const {
    return PasswordFormsOf(encryption_, password);
}

std::string TPDFSecurityHandler::FirstIdElement() {
    if (trailer_ == nullptr || trailer_->GetValue("ID", false) == nullptr) return {};
    auto* id = As<TPDFArray>(trailer_->GetValue("ID", true));
    if (id == nullptr) id = EnsureID(trailer_);
    if (id == nullptr) return {};
    if (const auto* s = As<TPDFString>(ResolveIfReference(id->Get(0)))) return s->Bytes;
    return {};
}

std::optional<std::string> TPDFSecurityHandler::CheckBytes(const std::string& bytes, bool owner) {
    std::optional<std::string> key = FileKeyForPassword(encryption_, FirstIdElement(), bytes, owner);
    if (key && encryption_.CipherMode == kCipherAes256) {
        // Revisions 5 and 6 repeat the permissions, encrypted, in "Perms".
        if (auto p = PermissionsOfPerms(*key, encryption_.PermsEntry)) encryption_.Permissions = *p;
    }
    return key;
}

bool TPDFSecurityHandler::CheckPassword(const std::u16string& password, bool owner) {
    const int status = EncryptionStatus();
    if (status == 0) return password.empty();
    if (status != 1) return false;
    keyClass_ = KeyClassOf(encryption_);
    for (const std::string& form : PasswordForms(password)) {
        if (auto key = CheckBytes(form, owner)) {
            fileKey_ = std::move(*key);
            return true;
        }
    }
    return false;
}

bool TPDFSecurityHandler::CheckUserPassword(const std::u16string& password) {
    return CheckPassword(password, false);
}

bool TPDFSecurityHandler::CheckOwnerPassword(const std::u16string& password) {
    return CheckPassword(password, true);
}

void TPDFSecurityHandler::TryPassword(const std::u16string& password) {
    userAccepted_ = false;
    ownerAccepted_ = false;
    const int status = EncryptionStatus();
    if (status == 1) {
        keyClass_ = KeyClassOf(encryption_);
        const bool aes256 = encryption_.CipherMode == kCipherAes256;
        // Form by form rather than user forms then owner forms: the form a tool hashed is
        // the same for both passwords, and the first one that opens the file is the one.
        for (const std::string& form : PasswordForms(password)) {
            std::optional<std::string> userKey = CheckBytes(form, false);
            std::optional<std::string> ownerKey = CheckBytes(form, true);
            // An empty owner password of an AES-256 file is never taken as owner access,
            // nor a text that prepares to nothing.
            if (aes256 && form.empty()) ownerKey.reset();
            userAccepted_ = userKey.has_value();
            ownerAccepted_ = ownerKey.has_value();
            if (!userAccepted_ && !ownerAccepted_) continue;
            fileKey_ = ownerAccepted_ ? std::move(*ownerKey) : std::move(*userKey);
            break;
        }
    } else {
        // Without encryption only the empty password "opens" the file; an unsupported
        // configuration opens with nothing.
        userAccepted_ = status == 0 && password.empty();
        ownerAccepted_ = userAccepted_;
    }
    if (userAccepted_ || ownerAccepted_) {
        password_ = password;
        objectKeyBase_ = fileKey_;
    } else {
        password_.clear();
        objectKeyBase_.clear();
    }
}

// ---- object keys and the object walk

TObjectKey TPDFSecurityHandler::ObjectKey(int32_t number, int32_t generation) const {
    return ObjectKeyOf(encryption_, objectKeyBase_, fileKey_, number, generation);
}

namespace {

std::string TransformBytes(TCryptMethod method, std::string_view key, std::string_view data,
                           bool decrypt) {
    if (method == TCryptMethod::Rc4) return Rc4(key, data);
    return decrypt ? AesDecryptWithIV(key, data) : AesEncryptWithIV(key, data);
}

// The dictionary of a stream's first decode parameters ("DecodeParms", or "DP" as the
// decoder also reads it): the dictionary itself or the first element of an array.
const TPDFDictionary* FirstDecodeParms(const TPDFDictionary& dict) {
    TPDFObject* parms = dict.GetValue("DecodeParms", true);
    if (parms == nullptr) parms = dict.GetValue("DP", true);
    if (const auto* array = As<TPDFArray>(parms)) {
        return array->Count() > 0 ? As<TPDFDictionary>(ResolveIfReference(array->Get(0))) : nullptr;
    }
    return As<TPDFDictionary>(parms);
}

void Transform(const TPDFEncryption& e, const TObjectKey& key, TPDFObject* object, bool decrypt,
               int depth, std::unordered_set<const TPDFObject*>& seen) {
    if (object == nullptr || depth > TPDFSecurityHandler::kMaxDepth) return;
    switch (object->KindTag()) {
        case TPDFString::kKind:
        case TPDFArray::kKind:
        case TPDFDictionary::kKind:
        case TPDFStream::kKind:
            // An object held twice must still be transformed once.
            if (!seen.insert(object).second) return;
            break;
        default:
            return;
    }
    if (auto* s = As<TPDFString>(object)) {
        const std::string& stringKey = key.For(e.Filters.Strings);
        // Assigned directly: a decrypted string is not a changed one.
        if (!stringKey.empty()) {
            s->Bytes = TransformBytes(e.Filters.Strings, stringKey, s->Bytes, decrypt);
        }
    } else if (auto* a = As<TPDFArray>(object)) {
        for (TPDFObject* item : a->Items()) Transform(e, key, item, decrypt, depth + 1, seen);
    } else if (auto* d = As<TPDFDictionary>(object)) {
        for (const auto& entry : d->Entries()) {
            Transform(e, key, entry.second, decrypt, depth + 1, seen);
        }
    } else if (auto* stream = As<TPDFStream>(object)) {
        TPDFDictionary* dict = stream->StreamDict();
        const std::string type = dict != nullptr ? dict->GetType() : std::string();
        // Cross-reference streams are never encrypted (ISO 32000-1, 7.5.8.2), nor the
        // metadata stream when the dictionary says so: their dictionaries neither.
        if (type == "XRef" || (type == "Metadata" && !e.EncryptMetadata)) return;
        Transform(e, key, dict, decrypt, depth + 1, seen);
        const TCryptMethod method = StreamCryptMethod(e, dict);
        const std::string& streamKey = key.For(method);
        if (streamKey.empty()) return;
        const bool streamModified = stream->Modified;
        const bool dictModified = dict != nullptr && dict->Modified;
        auto* oldLength =
            dict != nullptr ? As<TPDFNumeric>(dict->GetValue("Length", false)) : nullptr;
        const bool lengthModified = oldLength != nullptr && oldLength->Modified;
        stream->SetRawData(TransformBytes(method, streamKey, stream->Data(), decrypt));
        stream->Modified = streamModified;
        if (TPDFDictionary* now = stream->StreamDict()) {
            now->Modified = dictModified;
            if (auto* length = As<TPDFNumeric>(now->GetValue("Length", false))) {
                length->Modified = length == oldLength && lengthModified;
            }
        }
    }
}

}  // namespace

TCryptMethod StreamCryptMethod(const TPDFEncryption& e, const TPDFDictionary* dict) {
    if (dict == nullptr) return e.Filters.Streams;
    const std::string type = dict->GetType();
    if (type == "XRef" || (type == "Metadata" && !e.EncryptMetadata)) {
        return TCryptMethod::Identity;
    }
    const std::vector<std::string_view> filters = StreamFilterNames(dict);
    // ISO 32000-1 7.4.10: a Crypt filter is the first in the Filter array.
    if (!filters.empty() && filters.front() == "Crypt") {
        const TPDFDictionary* parms = FirstDecodeParms(*dict);
        const auto* name = parms != nullptr ? As<TPDFName>(parms->GetValue("Name", true)) : nullptr;
        if (name == nullptr || name->Text == "Identity") return TCryptMethod::Identity;
        const auto it = e.Filters.Named.find(name->Text);
        // A filter we cannot apply: the bytes are kept as they are, both ways.
        return it != e.Filters.Named.end() ? it->second : TCryptMethod::Identity;
    }
    if (type == "EmbeddedFile") return e.Filters.EmbeddedFiles;
    return e.Filters.Streams;
}

void TransformObject(const TPDFEncryption& e, const TObjectKey& key, TPDFObject* object,
                     bool decrypt) {
    if (key.Empty()) return;
    std::unordered_set<const TPDFObject*> seen;
    Transform(e, key, object, decrypt, 0, seen);
}

void TPDFSecurityHandler::DecryptObject(const TObjectKey& key, TPDFObject* object) const {
    TransformObject(encryption_, key, object, true);
}

void TPDFSecurityHandler::EncryptObject(const TObjectKey& key, TPDFObject* object) const {
    TransformObject(encryption_, key, object, false);
}

// ---- identifiers

TPDFArray* TPDFSecurityHandler::EnsureID(TPDFDictionary* trailer) {
    if (trailer == nullptr) return nullptr;
    if (auto* id = As<TPDFArray>(trailer->GetValue("ID", true))) return id;
    trailer->DeleteKey("ID");
    TPDFStructure* store = trailer->Store();
    const std::string digest = Md5(FormatGeneral(DateTimeToDays(NowLocal())));
    TPDFArray* id = store->NewArray();
    // Two objects with the same bytes: a container must not hold one object twice.
    id->Add(store->NewString(digest, true));
    id->Add(store->NewString(digest, true));
    trailer->SetValue("ID", id);
    return id;
}

}  // namespace verava
