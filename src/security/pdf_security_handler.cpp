#include "security/pdf_security_handler.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "objects/number_text.h"
#include "objects/pdf_structure.h"
#include "objects/platform.h"
#include "security/aes.h"
#include "security/encryption_entries.h"
#include "security/md5.h"
#include "security/mod3.h"
#include "security/password_forms.h"
#include "security/rc4.h"
#include "security/sha2.h"

namespace verava {

namespace {

std::string Pad(std::string_view password) {
    const std::string& padding = TPDFSecurityHandler::PaddingString();
    std::string out(password.substr(0, 32));
    out.append(padding, 0, 32 - out.size());
    return out;
}

std::string LittleEndian(uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

std::string XorEach(std::string_view key, unsigned char mask) {
    std::string out(key);
    for (char& c : out) c = static_cast<char>(static_cast<unsigned char>(c) ^ mask);
    return out;
}

// Eight bytes of a revision 5/6 "U" or "O" entry from `at`; zeros when the entry is too short
// to carry its salts.
std::string Salt(const std::string& entry, size_t at) {
    return entry.size() >= 48 ? entry.substr(at, 8) : std::string(8, '\0');
}

}  // namespace

const std::string& TPDFSecurityHandler::PaddingString() {
    static const std::string kPadding(
        "\x28\xBF\x4E\x5E\x4E\x75\x8A\x41\x64\x00\x4E\x56\xFF\xFA\x01\x08"
        "\x2E\x2E\x00\xB6\xD0\x68\x3E\x80\x2F\x0C\xA9\xFE\x64\x53\x69\x7A",
        32);
    return kPadding;
}

// ---- reading the encryption dictionary

void TPDFSecurityHandler::SetTrailer(TPDFDictionary* trailer) {
    trailer_ = trailer;
    Encryption.InfoRead = false;
}

void TPDFSecurityHandler::ReadEncryption(TPDFDictionary* trailer) {
    trailer_ = trailer;
    Encryption = TPDFEncryption{};
    ClearState();
    // Set before resolving: the resolver may ask for the status while it fetches.
    Encryption.InfoRead = true;
    if (trailer == nullptr) return;
    TPDFObject* entry = trailer->GetValue("Encrypt", false);
    // A null value is the same as no entry (ISO 32000-1, 7.3.7).
    if (entry == nullptr || As<TPDFNull>(entry) != nullptr) return;
    Encryption.Encrypted = true;
    if (const auto* ref = As<TPDFIndRef>(entry)) {
        Encryption.EncryptObjectNumber = ref->TargetNumber;
    }
    const auto* dict = As<TPDFDictionary>(trailer->GetValue("Encrypt", true));
    if (dict == nullptr) return;

    const TEncryptionEntries e = ReadEncryptionEntries(*dict);
    const int32_t length = e.HasLength ? e.Length : 40;
    Encryption.KeyLength = length;

    const TEncryptionScheme scheme = SchemeOf(e);
    if (UsesCryptFilterRevision(e) && e.HasEncryptMetadata) {
        Encryption.EncryptMetadata = e.EncryptMetadata;
    }
    const TKeyParameters key = KeyParametersOf(e, scheme);
    const int32_t keyLength = key.bits;
    const uint8_t cipher = key.cipher == TCipherKind::Aes256   ? kCipherAes256
                           : key.cipher == TCipherKind::Aes128 ? kCipherAes128
                                                               : kCipherRc4;
    if (scheme == TEncryptionScheme::CryptFilterAes256) {
        Encryption.OwnerKeyEntry = e.OE;
        Encryption.UserKeyEntry = e.UE;
        Encryption.PermsEntry = e.Perms;
    }
    if (scheme != TEncryptionScheme::Unsupported) {
        Encryption.KeyLength = keyLength;
        Encryption.CipherMode = cipher;
        Encryption.Revision = e.R;
        Encryption.Algorithm = e.V;
        Encryption.OwnerEntry = e.O;
        Encryption.UserEntry = e.U;
        Encryption.Permissions = e.P;
    }
    const uint32_t p = e.P;
    SetPermissions(p);
}

void TPDFSecurityHandler::SetPermissions(uint32_t p) {
    PermissionBits = p;
    MalformedP = p < 65536;
    PermissionFlags = 0;
    if (p & 4) PermissionFlags |= 1;
    if (p & 16) PermissionFlags |= 2;
    if (p & 8) PermissionFlags |= 4;
    if (p & 32) PermissionFlags |= 8;
    ExtraPermissionFlags = 0;
    if (p & 256) ExtraPermissionFlags |= 1;
    if (p & 512) ExtraPermissionFlags |= 2;
    if (p & 1024) ExtraPermissionFlags |= 4;
    if (p & 2048) ExtraPermissionFlags |= 8;
}

int TPDFSecurityHandler::EncryptionStatus() {
    if (!Encryption.InfoRead) ReadEncryption(trailer_);
    if (!Encryption.Encrypted) return 0;
    return Encryption.Algorithm != 0 ? 1 : 2;
}

bool TPDFSecurityHandler::NeedsDecryption() {
    return EncryptionStatus() == 1 && (UserAccepted || OwnerAccepted);
}

void TPDFSecurityHandler::ClearState() {
    Password.clear();
    UserAccepted = false;
    OwnerAccepted = false;
    ObjectKeyBase.clear();
    FileKey.clear();
    PermissionBits = 0;
    PermissionFlags = 0;
    ExtraPermissionFlags = 0;
    KeyClass = kKeyClassRc4_40;
    ComputedOwner.clear();
    ComputedUser.clear();
    OwnerPassword.clear();
    UserPassword.clear();
    EmptyPasswordOpens = false;
    MalformedP = false;
}

void TPDFSecurityHandler::Reset() {
    Encryption = TPDFEncryption{};
    ClearState();
    trailer_ = nullptr;
}

std::string TPDFSecurityHandler::CipherName() {
    if (EncryptionStatus() != 1) return {};
    switch (Encryption.CipherMode) {
        case kCipherAes128:
            return "aes-128";
        case kCipherAes256:
            return "aes-256";
        default:
            break;
    }
    // The key actually used, which KeyBytes derives from the length read.
    const int32_t length = Encryption.KeyLength;
    int bits = 128;
    if (length == 40) {
        bits = 40;
    } else if (length > 40 && length < 128) {
        bits = length / 8 * 8;
    }
    return "rc4-" + std::to_string(bits);
}

// ---- key classes and password bytes

void TPDFSecurityHandler::SetKeyClass() {
    if (Encryption.CipherMode == kCipherAes128) {
        KeyClass = kKeyClassAes128;
    } else if (Encryption.CipherMode == kCipherAes256) {
        KeyClass = Encryption.Revision == 6 ? kKeyClassAes256R6 : kKeyClassAes256R5;
    } else if (Encryption.KeyLength == 40) {
        KeyClass = kKeyClassRc4_40;
    } else if (Encryption.KeyLength > 40 && Encryption.KeyLength < 128) {
        KeyClass = kKeyClassRc4Medium;
    } else {
        KeyClass = kKeyClassRc4_128;
    }
}

int TPDFSecurityHandler::KeyBytes() const {
    switch (KeyClass) {
        case kKeyClassRc4_40:
            return 5;
        case kKeyClassAes256R5:
        case kKeyClassAes256R6:
            return 32;
        case kKeyClassRc4Medium:
            return Encryption.KeyLength / 8;
        default:
            return 16;
    }
}

std::vector<std::string> TPDFSecurityHandler::PasswordForms(std::u16string_view password) const {
    return Encryption.CipherMode == kCipherAes256 ? Utf8PasswordForms(password)
                                                  : LegacyPasswordForms(password);
}

// ---- revisions 2 to 4

std::string TPDFSecurityHandler::FirstIdElement() {
    if (trailer_ == nullptr || trailer_->GetValue("ID", false) == nullptr) return {};
    auto* id = As<TPDFArray>(trailer_->GetValue("ID", true));
    if (id == nullptr) id = EnsureID(trailer_);
    if (id == nullptr) return {};
    if (const auto* s = As<TPDFString>(ResolveIfReference(id->Get(0)))) return s->Bytes;
    return {};
}

// ISO 32000-1 Algorithms 2 to 5. Two entry states:
// - ComputedOwner empty ("owner path", Algorithm 3 steps a-d): the RC4 key that encrypts "O"
//   is derived from the owner password (the user password when that is empty) and becomes
//   FileKey when ComputedUser is set;
// - otherwise FileKey is the file key of Algorithm 2 with ComputedOwner as "O".
// Both then compute the "U" value of Algorithm 4 (revision 2) or 5 (later) into ComputedUser.
void TPDFSecurityHandler::ComputeFileKey() {
    const size_t n = static_cast<size_t>(std::max(KeyBytes(), 0));
    const bool extraRounds = KeyClass != kKeyClassRc4_40 || Encryption.Revision > 2;
    const std::string id0 = FirstIdElement();
    bool keySet = false;
    if (ComputedOwner.empty()) {
        std::string h = Md5(Pad(OwnerPassword.empty() ? UserPassword : OwnerPassword));
        if (extraRounds) {
            for (int i = 0; i < 50; ++i) h = Md5(h);
        }
        if (!ComputedUser.empty()) {
            FileKey = h.substr(0, n);
            keySet = true;
        }
    }
    std::string input = Pad(UserPassword);
    input += ComputedOwner;
    input += LittleEndian(PermissionBits, 4);
    input += id0;
    if (!Encryption.EncryptMetadata) input.append(4, '\xFF');
    std::string h = Md5(input);
    if (extraRounds) {
        for (int i = 0; i < 50; ++i) h = Md5(h.substr(0, n));
    }
    const std::string key = h.substr(0, n);
    if (!keySet) FileKey = key;
    if (!extraRounds) {
        ComputedUser = Rc4(key, PaddingString());
    } else {
        std::string u = Rc4(key, Md5(PaddingString() + id0));
        for (int i = 1; i <= 19; ++i) u = Rc4(XorEach(key, static_cast<unsigned char>(i)), u);
        ComputedUser = u + std::string(16, '\0');
    }
}

bool TPDFSecurityHandler::LegacyUserMatches() const {
    const std::string& expected = Encryption.UserEntry;
    if (Encryption.KeyLength == 40 && Encryption.Revision < 3) return ComputedUser == expected;
    // Revision 3 and later define only the first 16 bytes; the rest is arbitrary padding.
    return ComputedUser.size() >= 16 && expected.size() >= 16 &&
           ComputedUser.compare(0, 16, expected, 0, 16) == 0;
}

// ---- revisions 5 and 6

std::string TPDFSecurityHandler::Revision6Hash(std::string_view input, std::string_view password,
                                               std::string_view userData) {
    std::string k = Sha256(input);
    for (int round = 0;; ++round) {
        std::string block;
        block.reserve(password.size() + k.size() + userData.size());
        block.append(password).append(k).append(userData);
        std::string k1;
        k1.reserve(block.size() * 64);
        for (int i = 0; i < 64; ++i) k1 += block;
        const std::string e = AesCbcEncrypt(std::string_view(k).substr(0, 16),
                                            std::string_view(k).substr(16, 16), k1);
        if (e.empty()) return {};  // cannot happen: k1 is 64 copies, so whole blocks
        switch (Mod3Of128(e)) {
            case 0:
                k = Sha256(e);
                break;
            case 1:
                k = Sha384(e);
                break;
            default:
                k = Sha512(e);
                break;
        }
        const int last = static_cast<unsigned char>(e.back());
        if (round >= 63 && last <= round - 31) break;
    }
    return k.substr(0, 32);
}

bool TPDFSecurityHandler::CheckAes256(std::string_view password, bool owner) {
    const std::string& entry = owner ? Encryption.OwnerEntry : Encryption.UserEntry;
    const std::string userData = owner ? Encryption.UserEntry.substr(0, 48) : std::string();
    const bool revision6 = Encryption.Revision == 6;
    auto hash = [&](std::string_view salt) {
        std::string input(password);
        input.append(salt).append(userData);
        return revision6 ? Revision6Hash(input, password, userData) : Sha256(input);
    };
    if (entry.size() < 32 || hash(Salt(entry, 32)) != entry.substr(0, 32)) return false;
    const std::string intermediate = hash(Salt(entry, 40));
    const std::string& wrapped = owner ? Encryption.OwnerKeyEntry : Encryption.UserKeyEntry;
    const std::string key = AesCbcDecrypt(intermediate, std::string(16, '\0'), wrapped);
    // A "UE"/"OE" that does not unwrap to a 32-byte key would leave nothing to decrypt with;
    // such a file cannot be opened with this password.
    if (key.size() < 32) return false;
    FileKey = key.substr(0, 32);
    CheckPermsEntry();
    return true;
}

void TPDFSecurityHandler::CheckPermsEntry() {
    const std::string p = AesCbcDecrypt(FileKey, std::string(16, '\0'), Encryption.PermsEntry);
    if (p.empty() || p.find("adb") != 9) return;
    Encryption.Permissions = static_cast<uint32_t>(static_cast<unsigned char>(p[0])) |
                             static_cast<uint32_t>(static_cast<unsigned char>(p[1])) << 8 |
                             static_cast<uint32_t>(static_cast<unsigned char>(p[2])) << 16 |
                             static_cast<uint32_t>(static_cast<unsigned char>(p[3])) << 24;
}

// ---- password checks

bool TPDFSecurityHandler::CheckUserBytes(const std::string& bytes) {
    if (Encryption.CipherMode == kCipherAes256) return CheckAes256(bytes, false);
    UserPassword = bytes;
    OwnerPassword.clear();
    ComputedOwner = Encryption.OwnerEntry;
    ComputedUser.clear();
    ComputeFileKey();
    return LegacyUserMatches();
}

bool TPDFSecurityHandler::CheckOwnerBytes(const std::string& bytes) {
    if (Encryption.CipherMode == kCipherAes256) return CheckAes256(bytes, true);
    // Algorithm 7: the owner password yields the key that decrypts "O" into the user
    // password, which must then pass the user check.
    OwnerPassword = bytes;
    UserPassword = OwnerPassword;
    ComputedOwner.clear();
    ComputedUser = Encryption.UserEntry;
    ComputeFileKey();
    if (Encryption.Revision == 2) {
        UserPassword = Rc4(FileKey, Encryption.OwnerEntry);
    } else {
        UserPassword = Encryption.OwnerEntry;
        for (int i = 19; i >= 0; --i) {
            UserPassword = Rc4(XorEach(FileKey, static_cast<unsigned char>(i)), UserPassword);
        }
    }
    ComputedOwner = Encryption.OwnerEntry;
    ComputedUser.clear();
    ComputeFileKey();
    return LegacyUserMatches();
}

bool TPDFSecurityHandler::CheckUserPassword(const std::u16string& password) {
    const int status = EncryptionStatus();
    if (status == 0) return password.empty();
    if (status != 1) return false;
    SetKeyClass();
    for (const std::string& form : PasswordForms(password)) {
        if (CheckUserBytes(form)) return true;
    }
    return false;
}

bool TPDFSecurityHandler::CheckOwnerPassword(const std::u16string& password) {
    const int status = EncryptionStatus();
    if (status == 0) return password.empty();
    if (status != 1) return false;
    SetKeyClass();
    for (const std::string& form : PasswordForms(password)) {
        if (CheckOwnerBytes(form)) return true;
    }
    return false;
}

void TPDFSecurityHandler::TryPassword(const std::u16string& password) {
    UserAccepted = false;
    OwnerAccepted = false;
    const int status = EncryptionStatus();
    if (status == 1) {
        SetKeyClass();
        const bool aes256 = KeyClass == kKeyClassAes256R5 || KeyClass == kKeyClassAes256R6;
        // Form by form rather than user forms then owner forms: the form a tool hashed is
        // the same for both passwords, and the first one that opens the file is the one.
        for (const std::string& form : PasswordForms(password)) {
            UserAccepted = CheckUserBytes(form);
            // An empty owner password of an AES-256 file is never taken as owner access,
            // nor a text that prepares to nothing.
            OwnerAccepted = CheckOwnerBytes(form) && (!aes256 || !form.empty());
            if (!UserAccepted && !OwnerAccepted) continue;
            // The owner check ran last; when it failed, the key and the password bytes are
            // taken again from the user check that passed.
            if (!OwnerAccepted) CheckUserBytes(form);
            break;
        }
    } else {
        // Without encryption only the empty password "opens" the file; an unsupported
        // configuration opens with nothing.
        UserAccepted = status == 0 && password.empty();
        OwnerAccepted = UserAccepted;
    }
    if (UserAccepted || OwnerAccepted) {
        Password = password;
        ObjectKeyBase = FileKey;
    } else {
        Password.clear();
        ObjectKeyBase.clear();
    }
}

// ---- object keys and the object walk

std::string TPDFSecurityHandler::ObjectKey(int32_t number, int32_t generation) const {
    if (number == Encryption.EncryptObjectNumber) return {};
    if (Encryption.CipherMode == kCipherAes256) return FileKey;
    // ISO 32000-1, 7.6.2, Algorithm 1.
    std::string input = ObjectKeyBase;
    input += LittleEndian(static_cast<uint32_t>(number), 3);
    input += LittleEndian(static_cast<uint32_t>(generation), 2);
    if (KeyClass == kKeyClassAes128) input += "sAlT";
    return Md5(input).substr(0, std::min<size_t>(ObjectKeyBase.size() + 5, 16));
}

std::string TPDFSecurityHandler::TransformBytes(std::string_view key, std::string_view data,
                                                bool decrypt) const {
    if (Encryption.CipherMode == kCipherRc4) return Rc4(key, data);
    return decrypt ? AesDecryptWithIV(key, data) : AesEncryptWithIV(key, data);
}

void TPDFSecurityHandler::Transform(std::string_view key, TPDFObject* object, bool decrypt,
                                    int depth, std::unordered_set<const TPDFObject*>& seen) const {
    if (object == nullptr || depth > kMaxDepth) return;
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
        // Assigned directly: a decrypted string is not a changed one.
        s->Bytes = TransformBytes(key, s->Bytes, decrypt);
    } else if (auto* a = As<TPDFArray>(object)) {
        for (TPDFObject* item : a->Items()) Transform(key, item, decrypt, depth + 1, seen);
    } else if (auto* d = As<TPDFDictionary>(object)) {
        for (const auto& entry : d->Entries()) {
            Transform(key, entry.second, decrypt, depth + 1, seen);
        }
    } else if (auto* stream = As<TPDFStream>(object)) {
        TPDFDictionary* dict = stream->StreamDict();
        const std::string type = dict != nullptr ? dict->GetType() : std::string();
        // Cross-reference streams are never encrypted (ISO 32000-1, 7.5.8.2), nor the
        // metadata stream when the dictionary says so.
        if (type == "XRef" || (type == "Metadata" && !Encryption.EncryptMetadata)) return;
        Transform(key, dict, decrypt, depth + 1, seen);
        const bool streamModified = stream->Modified;
        const bool dictModified = dict != nullptr && dict->Modified;
        auto* oldLength =
            dict != nullptr ? As<TPDFNumeric>(dict->GetValue("Length", false)) : nullptr;
        const bool lengthModified = oldLength != nullptr && oldLength->Modified;
        stream->SetRawData(TransformBytes(key, stream->Data(), decrypt));
        stream->Modified = streamModified;
        if (TPDFDictionary* now = stream->StreamDict()) {
            now->Modified = dictModified;
            if (auto* length = As<TPDFNumeric>(now->GetValue("Length", false))) {
                length->Modified = length == oldLength && lengthModified;
            }
        }
    }
}

void TPDFSecurityHandler::DecryptObject(std::string_view key, TPDFObject* object) const {
    if (key.empty()) return;
    std::unordered_set<const TPDFObject*> seen;
    Transform(key, object, true, 0, seen);
}

void TPDFSecurityHandler::EncryptObject(std::string_view key, TPDFObject* object) const {
    if (key.empty()) return;
    std::unordered_set<const TPDFObject*> seen;
    Transform(key, object, false, 0, seen);
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
