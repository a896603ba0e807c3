#include "security/pdf_security_handler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objects/pdf_structure.h"
#include "objects/platform.h"
#include "security/aes.h"
#include "security/md5.h"
#include "security/rc4.h"
#include "support/bytes.h"

namespace verava {
namespace {

using testing::FromHex;
using testing::ToHex;

// Expected O, U, file keys and object keys below were produced once by an independent
// Python 3 script (hashlib MD5/SHA-2 and a hand-written RC4, plus the 'cryptography'
// package's AES for the revision 5/6 entries) following ISO 32000-1 Algorithms 1-5 and
// ISO 32000-2 Algorithms 2.A/2.B/8-10, with the first ID element below and the passwords
// named in each case. The hex values were pasted here unchanged. The derivations themselves,
// with more vectors, are tested beside them (standard_keys_test.cpp); here the handler reads
// the dictionary, accepts a password and keys objects with what they give.
constexpr const char* kId0 = "000102030405060708090a0b0c0d0e0f";

// A trailer with the given encryption dictionary (or reference) and ID, parsed into `store`.
TPDFDictionary* MakeTrailer(TPDFStructure& store, const std::string& encrypt,
                            const std::string& idHex = kId0) {
    std::string text = "<< /Size 9";
    if (!idHex.empty()) text += " /ID [<" + idHex + "> <" + idHex + ">]";
    if (!encrypt.empty()) text += " /Encrypt " + encrypt;
    text += " >>";
    return As<TPDFDictionary>(store.ParseText(text));
}

std::string HexString(const char* hex) { return std::string("<") + hex + ">"; }

struct LegacyCase {
    const char* name;
    std::string dictionary;
    std::u16string user;
    std::u16string owner;
    const char* fileKey;
    const char* objectKey7;   // ObjectKey(7, 0)
    const char* helloCipher;  // RC4(objectKey7, "Hello")
};

// Two of the revisions (all four, and more, in the derivations' own table): the handler reads
// the dictionary, takes each password in its role and keys objects with the file key.
std::vector<LegacyCase> LegacyCases() {
    const char* o128 = "0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671";
    return {
        // U carries 16 arbitrary bytes (a0..af) after the 16 that revision 3 defines.
        {"V2 R3 128-bit, user 'user', owner 'owner', P -3904",
         "<< /Filter /Standard /V 2 /R 3 /Length 128 /O " + HexString(o128) + " /U " +
             HexString("b8d04c0b647956d75df3b1f5a437ef97a0a1a2a3a4a5a6a7a8a9aaabacadaeaf") +
             " /P -3904 >>",
         u"user", u"owner", "ebc53cf170c71152a5ba9925bd0fefc3", "a92b9a572bde3762112f40846bbf7f70",
         "bc976a6293"},
        // Metadata left unencrypted: FF FF FF FF joins the key hash.
        {"V4 R4 RC4 crypt filter, EncryptMetadata false",
         "<< /Filter /Standard /V 4 /R 4 /CF << /StdCF << /CFM /V2 /Length 16 >> >> "
         "/StrF /StdCF /StmF /StdCF /EncryptMetadata false /O " +
             HexString(o128) + " /U " +
             HexString("8cfe739c15d10ed11168124af4cac78ea0a1a2a3a4a5a6a7a8a9aaabacadaeaf") +
             " /P -3904 >>",
         u"user", u"owner", "b7f28ee1b51d773508063d025d186024", "28723d99fc0d517adc4601cffd94849b",
         "4c834d3c83"},
    };
}

TEST(PdfSecurityHandlerTest, LegacyRevisionsAcceptExactlyTheirPasswordsWithIndependentKeys) {
    for (const LegacyCase& c : LegacyCases()) {
        SCOPED_TRACE(c.name);
        TPDFStructure store;
        TPDFSecurityHandler h;
        h.ReadEncryption(MakeTrailer(store, c.dictionary));
        ASSERT_EQ(h.EncryptionStatus(), 1);

        EXPECT_TRUE(h.CheckUserPassword(c.user));
        EXPECT_EQ(ToHex(h.FileKey()), c.fileKey);
        EXPECT_TRUE(h.CheckOwnerPassword(c.owner));
        EXPECT_EQ(ToHex(h.FileKey()), c.fileKey);
        EXPECT_FALSE(h.CheckUserPassword(u"wrong"));

        h.TryPassword(c.user);
        EXPECT_TRUE(h.UserAccepted());
        EXPECT_FALSE(h.OwnerAccepted());
        EXPECT_EQ(h.Password(), c.user);
        EXPECT_TRUE(h.NeedsDecryption());
        EXPECT_EQ(ToHex(h.ObjectKeyBase()), c.fileKey);
        EXPECT_EQ(ToHex(h.ObjectKey(7, 0).Rc4), c.objectKey7);

        // A stream's data and the strings of its dictionary.
        auto* dict = As<TPDFDictionary>(
            store.ParseText("<< /Length 5 /T <" + std::string(c.helloCipher) + "> >>"));
        TPDFStream* stream = store.NewStreamWith(dict, ByteSlice(FromHex(c.helloCipher)));
        h.DecryptObject(h.ObjectKey(7, 0), stream);
        EXPECT_EQ(stream->Data(), "Hello");
        EXPECT_EQ(As<TPDFString>(dict->GetValue("T"))->Bytes, "Hello");

        h.TryPassword(c.owner);
        EXPECT_FALSE(h.UserAccepted());
        EXPECT_TRUE(h.OwnerAccepted());
        EXPECT_EQ(h.Password(), c.owner);
        EXPECT_EQ(ToHex(h.ObjectKey(7, 0).Rc4), c.objectKey7);
    }
}

TEST(PdfSecurityHandlerTest, EncryptMetadataFlagTakesPartInTheKey) {
    // The R4 case with the flag removed: the key no longer reproduces U.
    const LegacyCase c = LegacyCases()[1];
    std::string dictionary = c.dictionary;
    const std::string flag = "/EncryptMetadata false ";
    dictionary.erase(dictionary.find(flag), flag.size());
    TPDFStructure store;
    TPDFSecurityHandler h;
    h.ReadEncryption(MakeTrailer(store, dictionary));
    EXPECT_TRUE(h.Encryption().EncryptMetadata);
    EXPECT_FALSE(h.CheckUserPassword(c.user));
    // With the flag the same password passes (and the record says so).
    h.ReadEncryption(MakeTrailer(store, c.dictionary));
    EXPECT_FALSE(h.Encryption().EncryptMetadata);
    EXPECT_TRUE(h.CheckUserPassword(c.user));
}

TEST(PdfSecurityHandlerTest, StreamsFindTheirCryptFilter) {
    // (StmF, EFF and unencrypted metadata: the tests of files per kind and of streams left alone.)
    TPDFEncryption e;
    e.Filters.Strings = TCryptMethod::Rc4;
    e.Filters.Streams = TCryptMethod::Aes128;
    e.Filters.EmbeddedFiles = TCryptMethod::Rc4;
    e.Filters.Named = {{"StdCF", TCryptMethod::Aes128}, {"Arc", TCryptMethod::Rc4}};
    const struct {
        const char* dict;
        TCryptMethod method;
    } cases[] = {
        {"<< /Type /XRef /Filter [/Crypt] /DecodeParms [<< /Name /Arc >>] >>",
         TCryptMethod::Identity},
        // A Crypt filter first in Filter names the filter in its parameters; Identity by
        // default, and for a name CF lacks (the bytes stay as stored).
        {"<< /Filter /Crypt /DecodeParms << /Name /Arc >> >>", TCryptMethod::Rc4},
        {"<< /Filter [/Crypt /FlateDecode] /DecodeParms [<< /Name /Arc >> null] >>",
         TCryptMethod::Rc4},
        {"<< /Type /EmbeddedFile /Filter [/Crypt] /DecodeParms [<< /Name /StdCF >>] >>",
         TCryptMethod::Aes128},
        {"<< /Filter [/Crypt] >>", TCryptMethod::Identity},
        {"<< /Filter [/Crypt] /DecodeParms [<< /Name /Elsewhere >>] >>", TCryptMethod::Identity},
        {"<< /Filter [/Crypt] /DecodeParms [(not parameters)] >>", TCryptMethod::Identity},
        // Not first: no crypt filter (ISO 32000-1 7.4.10), so StmF.
        {"<< /Filter [/FlateDecode /Crypt] /DecodeParms [null << /Name /Arc >>] >>",
         TCryptMethod::Aes128},
    };
    for (const auto& c : cases) {
        TPDFStructure store;
        EXPECT_EQ(StreamCryptMethod(e, As<TPDFDictionary>(store.ParseText(c.dict))), c.method)
            << c.dict;
    }
}

TEST(PdfSecurityHandlerTest, KeyClassAndKeyLengthFollowTheDictionary) {
    const struct {
        const char* dictionary;
        uint8_t keyClass;
        int keyBytes;
        const char* cipher;
    } cases[] = {
        // (Which key each dictionary gives: the entries' table; which class a key is: the
        // derivations' table.)
        {"<< /Filter /Standard /V 1 /R 2 /Length 128 >>", kKeyClassRc4_40, 5, "rc4-40"},
        {"<< /Filter /Standard /V 2 /R 3 /Length 96 >>", kKeyClassRc4Medium, 12, "rc4-96"},
        {"<< /Filter /Standard /V 2 /R 3 /Length 128 >>", kKeyClassRc4_128, 16, "rc4-128"},
        {"<< /Filter /Standard /V 4 /R 4 /CF << /StdCF << /CFM /AESV2 /Length 16 >> >> "
         "/StrF /StdCF /StmF /StdCF >>",
         kKeyClassAes128, 16, "aes-128"},
        {"<< /Filter /Standard /V 5 /R 5 /CF << /StdCF << /CFM /AESV3 /Length 32 >> >> "
         "/StrF /StdCF /StmF /StdCF >>",
         kKeyClassAes256R5, 32, "aes-256"},
        {"<< /Filter /Standard /V 5 /R 6 /CF << /StdCF << /CFM /AESV3 /Length 32 >> >> "
         "/StrF /StdCF /StmF /StdCF >>",
         kKeyClassAes256R6, 32, "aes-256"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dictionary);
        TPDFStructure store;
        TPDFSecurityHandler h;
        h.ReadEncryption(MakeTrailer(store, c.dictionary));
        ASSERT_EQ(h.EncryptionStatus(), 1);
        h.CheckUserPassword(u"x");  // the checks settle KeyClass
        EXPECT_EQ(h.KeyClass(), c.keyClass);
        EXPECT_EQ(h.KeyBytes(), c.keyBytes);
        EXPECT_EQ(h.CipherName(), c.cipher);
    }
}

TEST(PdfSecurityHandlerTest, EncryptionStatusRejectsUnsupportedConfigurations) {
    const struct {
        const char* encrypt;
        int status;
    } cases[] = {
        {"", 0},
        {"null", 0},
        {"<< /Filter /Standard /V 2 /R 3 /Length 128 >>", 1},
        {"<< /Filter /Custom /V 2 /R 3 >>", 2},
        {"<< /V 2 /R 3 >>", 2},
        {"<< /Filter /Standard /V 3 /R 3 >>", 2},  // (which schemes: the entries' table)
        {"<< /Filter /Standard /V 4 /R 4 /CF << /StdCF << /CFM /AESV3 >> >> /StrF /StdCF "
         "/StmF /StdCF >>",
         2},
        {"(not a dictionary)", 2},
        {"9 0 R", 2},  // nothing resolves it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encrypt);
        TPDFStructure store;
        TPDFSecurityHandler h;
        h.SetTrailer(MakeTrailer(store, c.encrypt));
        EXPECT_EQ(h.EncryptionStatus(), c.status);
        if (c.status == 0) {
            // Not encrypted: only the empty password "opens" it, and nothing needs decrypting.
            EXPECT_TRUE(h.CheckUserPassword(u""));
            EXPECT_TRUE(h.CheckOwnerPassword(u""));
            EXPECT_FALSE(h.CheckUserPassword(u"x"));
            h.TryPassword(u"");
            EXPECT_FALSE(h.NeedsDecryption());
            EXPECT_EQ(h.CipherName(), "");
        } else if (c.status == 2) {
            EXPECT_FALSE(h.CheckUserPassword(u""));
            EXPECT_FALSE(h.CheckOwnerPassword(u""));
            EXPECT_EQ(h.Encryption().Algorithm, 0);
            EXPECT_EQ(h.CipherName(), "");
        }
    }
}

TEST(PdfSecurityHandlerTest, ReferencedEncryptDictionaryIsResolvedAndNeverKeyed) {
    TPDFStructure store;
    auto* encrypt =
        As<TPDFDictionary>(store.ParseText("<< /Filter /Standard /V 2 /R 3 /Length 128 /P -4 >>"));
    int asked = 0;
    store.OnResolveReference = [&](TPDFIndRef*, int32_t number, int32_t) -> TPDFObject* {
        ++asked;
        return number == 5 ? encrypt : nullptr;
    };
    TPDFSecurityHandler h;
    h.ReadEncryption(MakeTrailer(store, "5 0 R"));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(h.EncryptionStatus(), 1);
    EXPECT_EQ(h.Encryption().EncryptObjectNumber, 5);
    EXPECT_EQ(h.Encryption().Revision, 3);
    EXPECT_EQ(h.Encryption().KeyLength, 128);
    EXPECT_TRUE(h.ObjectKey(5, 0).Empty());
    EXPECT_NE(h.ObjectKey(6, 0).Rc4, "");
}

TEST(PdfSecurityHandlerTest, PermissionsAreSplitIntoFlagBytes) {
    const struct {
        const char* p;
        uint32_t bits;
        uint8_t flags;
        uint8_t extra;
        bool malformed;
    } cases[] = {
        {"-3904", 0xFFFFF0C0u, 0, 0, false},
        {"-4", 0xFFFFFFFCu, 15, 15, false},
        {"4294967292", 0xFFFFFFFCu, 15, 15, false},  // the unsigned spelling of -4
        {"2052", 2052, 1, 8, true},                  // (which bit is which: PermissionFlagsOf)
        {"-3903.6", 0xFFFFF0C0u, 0, 0, false},       // rounded
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.p);
        TPDFStructure store;
        TPDFSecurityHandler h;
        h.ReadEncryption(
            MakeTrailer(store, std::string("<< /Filter /Standard /V 1 /R 2 /P ") + c.p + " >>"));
        EXPECT_EQ(h.PermissionBits(), c.bits);
        EXPECT_EQ(h.Encryption().Permissions, c.bits);
        EXPECT_EQ(h.PermissionFlags(), c.flags);
        EXPECT_EQ(h.ExtraPermissionFlags(), c.extra);
        EXPECT_EQ(h.MalformedP(), c.malformed);
    }
}

// Revision 5 and 6 entries (see the note at the top): fixed salts 11.., 22.., 33.., 44..
constexpr const char* kR6U =
    "32cd1740f398f4b820b63b53a21df1540eed17327042270750620ebc8a8346df"
    "11111111111111112222222222222222";

std::string Aes256Dictionary(int revision, const std::string& o, const std::string& u,
                             const std::string& oe, const std::string& ue,
                             const std::string& perms) {
    return "<< /Filter /Standard /V 5 /R " + std::to_string(revision) +
           " /Length 256 /CF << /StdCF << /CFM /AESV3 /Length 32 >> >> /StrF /StdCF /StmF "
           "/StdCF /O " +
           HexString(o.c_str()) + " /U " + HexString(u.c_str()) + " /OE " + HexString(oe.c_str()) +
           " /UE " + HexString(ue.c_str()) + " /Perms " + HexString(perms.c_str()) + " /P -4 >>";
}

TEST(PdfSecurityHandlerTest, Revision6EmptyUserPasswordOpensAsUserOnly) {
    // User password empty, owner password "ownér6" (UTF-8), file key 40..5f, Perms for
    // P -3904.
    const std::string dictionary =
        Aes256Dictionary(6,
                         "8240d20db3ae598f9ab14457b0d3dbb845548c7b8a0d0c8c287695da5de93672"
                         "33333333333333334444444444444444",
                         kR6U, "e39425281c5c28bfc0816d0082be2fa75634ce2fbaa46781e9939f03ff43bff8",
                         "f3931d102adae02322aad2b3fcaac7ce141f9db7d477fe27693a1f5245b5a023",
                         "98aac6680714962e852b0c20fb4b4a2b");
    const std::string fileKey = "404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f";
    TPDFStructure store;
    TPDFSecurityHandler h;
    h.ReadEncryption(MakeTrailer(store, dictionary));
    ASSERT_EQ(h.EncryptionStatus(), 1);
    h.TryPassword(u"");
    EXPECT_TRUE(h.UserAccepted());
    EXPECT_FALSE(h.OwnerAccepted());
    EXPECT_EQ(ToHex(h.ObjectKeyBase()), fileKey);
    EXPECT_EQ(ToHex(h.ObjectKey(3, 0).Aes), fileKey);
    // Perms decrypts to P -3904 + "Tadb": that copy replaces the -4 of the dictionary.
    EXPECT_EQ(h.PermissionBits(), 0xFFFFFFFCu);
    EXPECT_EQ(h.Encryption().Permissions, 0xFFFFF0C0u);

    h.TryPassword(u"own\u00e9r6");
    EXPECT_FALSE(h.UserAccepted());
    EXPECT_TRUE(h.OwnerAccepted());
    EXPECT_EQ(ToHex(h.FileKey()), fileKey);
    EXPECT_FALSE(h.CheckOwnerPassword(u"owner6"));
    EXPECT_FALSE(h.CheckUserPassword(u"x"));
}

TEST(PdfSecurityHandlerTest, Revision6EmptyOwnerPasswordIsNeverOwnerAccess) {
    // Both passwords empty, file key 80..9f: the owner check passes, owner access is refused.
    const std::string dictionary =
        Aes256Dictionary(6,
                         "f31a0af1b58d84dc13fc533618a9dfc22b7ad647ae7e61db25010b2b915bf601"
                         "33333333333333334444444444444444",
                         kR6U, "bb8d4ff0f29bd98770b25dae3bcbe3b2398029f6804ae634d9601a9976a85eed",
                         "1d1823a600254b476ff4e9c0b62241eddc8fa1bc5ae9d3843beb357c9a41ec3d",
                         "00000000000000000000000000000000");
    TPDFStructure store;
    TPDFSecurityHandler h;
    h.ReadEncryption(MakeTrailer(store, dictionary));
    EXPECT_TRUE(h.CheckOwnerPassword(u""));
    EXPECT_EQ(ToHex(h.FileKey()), "808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f");
    // A Perms entry without the "adb" marker leaves P as read.
    EXPECT_EQ(h.Encryption().Permissions, 0xFFFFFFFCu);
    h.TryPassword(u"");
    EXPECT_TRUE(h.UserAccepted());
    EXPECT_FALSE(h.OwnerAccepted());
    EXPECT_TRUE(h.NeedsDecryption());
}

TEST(PdfSecurityHandlerTest, WrongPasswordAfterAnAcceptedOneRevokesAccess) {
    const LegacyCase c = LegacyCases()[0];
    TPDFStructure store;
    TPDFSecurityHandler h;
    h.ReadEncryption(MakeTrailer(store, c.dictionary));
    h.TryPassword(c.owner);
    ASSERT_TRUE(h.OwnerAccepted());
    h.TryPassword(u"wrong");
    EXPECT_FALSE(h.UserAccepted());
    EXPECT_FALSE(h.OwnerAccepted());
    EXPECT_EQ(h.Password(), u"");
    EXPECT_EQ(h.ObjectKeyBase(), "");
    EXPECT_FALSE(h.NeedsDecryption());
}

// A nested dictionary with strings at several depths, and a stream.
constexpr const char* kSampleText =
    "<< /A (alpha) /B [ (beta) << /C (gamma) /N 12 /M /Name >> [ (delta) ] ] /E () >>";

struct Sample {
    TPDFDictionary* dict = nullptr;
    TPDFStream* stream = nullptr;
};

Sample MakeSample(TPDFStructure& store) {
    Sample s;
    s.dict = As<TPDFDictionary>(store.ParseText(kSampleText));
    auto* streamDict = As<TPDFDictionary>(store.ParseText("<< /Length 11 /S (inside) >>"));
    s.stream = store.NewStreamWith(streamDict, ByteSlice(std::string("stream data")));
    return s;
}

void ExpectSamplePlain(const Sample& s) {
    TPDFStructure fresh;
    EXPECT_EQ(s.dict->ToText(), fresh.ParseText(kSampleText)->ToText());
    EXPECT_EQ(s.stream->Data(), "stream data");
    EXPECT_EQ(s.stream->StreamDict()->GetInteger("Length", -1), 11);
    EXPECT_EQ(As<TPDFString>(s.stream->StreamDict()->GetValue("S"))->Bytes, "inside");
}

// A record whose kinds all use `method`, and a key of `bytes` for each cipher.
TPDFEncryption UniformRecord(TCryptMethod method) {
    TPDFEncryption e;
    e.Filters = UniformCryptFilters(method);
    return e;
}
TObjectKey KeyOf(const std::string& bytes) { return TObjectKey{bytes, bytes}; }

TEST(PdfSecurityHandlerTest, EncryptThenDecryptRoundTripsNestedObjects) {
    for (TCryptMethod method : {TCryptMethod::Rc4, TCryptMethod::Aes128, TCryptMethod::Aes256}) {
        SCOPED_TRACE(static_cast<int>(method));
        TPDFStructure store;
        const TPDFEncryption e = UniformRecord(method);
        const std::string key(method == TCryptMethod::Aes256 ? 32 : 16, '\x5a');
        Sample s = MakeSample(store);
        ExpectSamplePlain(s);
        TransformObject(e, KeyOf(key), s.dict, false);
        TransformObject(e, KeyOf(key), s.stream, false);
        auto* c = As<TPDFString>(s.dict->GetValue("A"));
        if (method == TCryptMethod::Rc4) {
            EXPECT_EQ(c->Bytes, Rc4(key, "alpha"));
            EXPECT_EQ(s.stream->Data(), Rc4(key, "stream data"));
        } else {
            // IV + one padded block.
            EXPECT_EQ(c->Bytes.size(), 32u);
            EXPECT_EQ(AesDecryptWithIV(key, c->Bytes), "alpha");
            EXPECT_EQ(s.stream->Data().size(), 32u);
            EXPECT_EQ(s.stream->StreamDict()->GetInteger("Length", -1), 32);
            // The empty string still gets a full padding block.
            EXPECT_EQ(As<TPDFString>(s.dict->GetValue("E"))->Bytes.size(), 32u);
        }
        auto* deep =
            As<TPDFString>(As<TPDFArray>(As<TPDFArray>(s.dict->GetValue("B"))->Get(2))->Get(0));
        EXPECT_NE(deep->Bytes, "delta");
        TransformObject(e, KeyOf(key), s.dict, true);
        TransformObject(e, KeyOf(key), s.stream, true);
        ExpectSamplePlain(s);
    }
}

TEST(PdfSecurityHandlerTest, XRefAndUnencryptedMetadataStreamsAreLeftAlone) {
    for (TCryptMethod method : {TCryptMethod::Rc4, TCryptMethod::Aes128}) {
        SCOPED_TRACE(static_cast<int>(method));
        TPDFStructure store;
        TPDFEncryption e = UniformRecord(method);
        const TObjectKey key = KeyOf(std::string(16, '\x33'));
        auto makeStream = [&](const char* dictText) {
            return store.NewStreamWith(As<TPDFDictionary>(store.ParseText(dictText)),
                                       ByteSlice(std::string("0123456789")));
        };
        TPDFStream* xref = makeStream("<< /Type /XRef /Length 10 /ID [(one) (two)] >>");
        TPDFStream* metadata = makeStream("<< /Type /Metadata /Subtype /XML /Length 10 >>");
        TPDFStream* other = makeStream("<< /Length 10 >>");
        // Held inside a container too: the walk must skip them there as well.
        TPDFArray* holder = store.NewArray();
        holder->Add(xref);

        e.EncryptMetadata = false;
        for (TPDFObject* o : std::initializer_list<TPDFObject*>{holder, metadata, other}) {
            TransformObject(e, key, o, false);
        }
        EXPECT_EQ(xref->Data(), "0123456789");
        const auto* ids = As<TPDFArray>(xref->StreamDict()->GetValue("ID"));
        EXPECT_EQ(As<TPDFString>(ids->Get(0))->Bytes, "one");
        EXPECT_EQ(As<TPDFString>(ids->Get(1))->Bytes, "two");
        EXPECT_EQ(metadata->Data(), "0123456789");
        EXPECT_NE(other->Data(), "0123456789");
        TransformObject(e, key, xref, true);
        EXPECT_EQ(xref->Data(), "0123456789");

        // With EncryptMetadata true the metadata stream is an ordinary stream.
        e.EncryptMetadata = true;
        TransformObject(e, key, metadata, false);
        EXPECT_NE(metadata->Data(), "0123456789");
        TransformObject(e, key, metadata, true);
        EXPECT_EQ(metadata->Data(), "0123456789");
    }
}

TEST(PdfSecurityHandlerTest, DecryptObjectKeepsModifiedFlags) {
    TPDFStructure store;
    const TPDFEncryption e = UniformRecord(TCryptMethod::Aes128);
    const TObjectKey key = KeyOf(std::string(16, '\x21'));
    Sample s = MakeSample(store);
    TransformObject(e, key, s.dict, false);
    TransformObject(e, key, s.stream, false);
    // Parsed objects start unmodified: so they must stay after decrypting.
    for (TPDFObject* o : std::initializer_list<TPDFObject*>{s.dict, s.stream})
        o->SetModified(false);
    s.stream->StreamDict()->SetModified(false);
    As<TPDFNumeric>(s.stream->StreamDict()->GetValue("Length"))->SetModified(false);
    ASSERT_FALSE(s.dict->IsModified());
    TransformObject(e, key, s.dict, true);
    TransformObject(e, key, s.stream, true);
    ExpectSamplePlain(s);
    EXPECT_FALSE(s.dict->IsModified());
    EXPECT_FALSE(s.stream->IsModified());
    EXPECT_FALSE(s.stream->StreamDict()->IsModified());

    // A string that was changed before stays marked as changed.
    auto* a = As<TPDFString>(s.dict->GetValue("A"));
    TransformObject(e, key, a, false);
    a->SetModified(true);
    TransformObject(e, key, a, true);
    EXPECT_EQ(a->Bytes, "alpha");
    EXPECT_TRUE(a->Modified);
}

TEST(PdfSecurityHandlerTest, StreamWithIndirectLengthGetsDirectLength) {
    TPDFStructure store;
    const TPDFEncryption e = UniformRecord(TCryptMethod::Aes128);
    const std::string key(16, '\x44');
    const std::string cipher = AesEncryptWithIV(key, "abc");
    TPDFStream* stream = store.NewStreamWith(
        As<TPDFDictionary>(store.ParseText("<< /Length 8 0 R >>")), ByteSlice(cipher));
    TransformObject(e, KeyOf(key), stream, true);
    EXPECT_EQ(stream->Data(), "abc");
    EXPECT_EQ(stream->StreamDict()->GetInteger("Length", -1), 3);
    EXPECT_FALSE(stream->IsModified());
}

TEST(PdfSecurityHandlerTest, ObjectWalkIsBoundedAndVisitsSharedObjectsOnce) {
    TPDFStructure store;
    const TPDFEncryption e = UniformRecord(TCryptMethod::Rc4);
    const std::string key = "12345";
    // 3000 nested arrays: the shallow string is handled, the one below the cap is not.
    TPDFArray* root = store.NewArray();
    TPDFString* shallow = store.NewString("top", false);
    root->Add(shallow);
    TPDFArray* current = root;
    for (int i = 0; i < 3000; ++i) {
        TPDFArray* next = store.NewArray();
        current->Add(next);
        current = next;
    }
    TPDFString* bottom = store.NewString("bottom", false);
    current->Add(bottom);
    TransformObject(e, KeyOf(key), root, false);
    EXPECT_EQ(shallow->Bytes, Rc4(key, "top"));
    EXPECT_EQ(bottom->Bytes, "bottom");

    // One string held twice is transformed once.
    TPDFArray* twice = store.NewArray();
    TPDFString* shared = store.NewString("same", false);
    twice->Add(shared);
    twice->Add(shared);
    TransformObject(e, KeyOf(key), twice, false);
    EXPECT_EQ(shared->Bytes, Rc4(key, "same"));
}

TEST(PdfSecurityHandlerTest, EmptyKeyChangesNothing) {
    TPDFStructure store;
    TPDFSecurityHandler h;
    Sample s = MakeSample(store);
    h.DecryptObject(TObjectKey{}, s.dict);
    h.EncryptObject(TObjectKey{}, s.stream);
    ExpectSamplePlain(s);
}

TEST(PdfSecurityHandlerTest, EnsureIdKeepsAnArrayAndOtherwiseHashesTheClock) {
    ScopedClockOverride clock([] {
        LocalDateTime t;
        t.year = 2024;
        t.month = 1;
        t.day = 2;
        t.hour = 12;
        return t;
    });
    // 2 January 2024 noon is serial day 45293.5; MD5("45293.5") computed with hashlib.
    const std::string expected = "fc80805d4b9654d227509c5db4b14e21";
    {
        // An existing array is returned as it is.
        TPDFStructure store;
        TPDFDictionary* trailer = MakeTrailer(store, "");
        TPDFArray* id = As<TPDFArray>(trailer->GetValue("ID"));
        EXPECT_EQ(TPDFSecurityHandler::EnsureID(trailer), id);
    }
    for (const char* idEntry : {"", " /ID (not an array)"}) {
        SCOPED_TRACE(idEntry);
        TPDFStructure store;
        auto* trailer =
            As<TPDFDictionary>(store.ParseText(std::string("<< /Size 3") + idEntry + " >>"));
        TPDFArray* id = TPDFSecurityHandler::EnsureID(trailer);
        ASSERT_NE(id, nullptr);
        EXPECT_EQ(As<TPDFArray>(trailer->GetValue("ID")), id);
        ASSERT_EQ(id->Count(), 2);
        for (int i = 0; i < 2; ++i) {
            auto* s = As<TPDFString>(id->Get(i));
            ASSERT_NE(s, nullptr);
            EXPECT_TRUE(s->HexForm);
            EXPECT_EQ(ToHex(s->Bytes), expected);
        }
    }
}

TEST(PdfSecurityHandlerTest, ResetForgetsEverything) {
    const LegacyCase c = LegacyCases()[0];
    TPDFStructure store;
    TPDFSecurityHandler h;
    h.ReadEncryption(MakeTrailer(store, c.dictionary));
    h.TryPassword(c.user);
    ASSERT_TRUE(h.NeedsDecryption());
    h.Reset();
    EXPECT_EQ(h.Trailer(), nullptr);
    EXPECT_FALSE(h.Encryption().InfoRead);
    EXPECT_EQ(h.Encryption().OwnerEntry, "");
    EXPECT_FALSE(h.UserAccepted());
    EXPECT_EQ(h.FileKey(), "");
    EXPECT_EQ(h.ObjectKeyBase(), "");
    EXPECT_EQ(h.EncryptionStatus(), 0);
    EXPECT_FALSE(h.NeedsDecryption());
}

}  // namespace
}  // namespace verava
