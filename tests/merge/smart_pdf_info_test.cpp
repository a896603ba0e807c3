#include "merge/smart_pdf_info.h"
#include "security/pdf_security_handler.h"

#include <gtest/gtest.h>

#include <string>

#include "merge_test_files.h"
#include "objects/platform.h"
#include "support/bytes.h"
#include "support/pdf_builder.h"
#include "support/standard_encryption.h"

namespace verava {
namespace {

using testing::PdfBuilder;
using testing::ReaderOver;

// A two-page document whose trailer carries `trailerExtra`; object 20 is `encrypt` when
// given.
std::string DocumentWith(const std::string& trailerExtra, const std::string& encrypt = "") {
    PdfBuilder b = testing::SimpleDocument(2);
    if (!encrypt.empty()) b.Set(20, encrypt);
    b.TrailerEntries += " " + trailerExtra;
    return b.Build();
}

// The encryption record read from a direct dictionary.
TSmartPDFEncryption Read(const std::string& dictText, uint8_t* state = nullptr) {
    TPDFStructure store;
    TSmartPDFEncryption e;
    uint32_t p = 0;
    const uint8_t s =
        TSmartPDFInfo::ReadEncryption(As<TPDFDictionary>(store.ParseText(dictText)), e, p);
    if (state != nullptr) *state = s;
    return e;
}

TEST(SmartPDFInfo, AnswersEncryptionStatus) {
    struct Case {
        const char* trailer;
        const char* encrypt;
        int32_t status;
    };
    const Case cases[] = {
        {"", "", 0},                                                      // no Encrypt
        {"/Encrypt 20 0 R", "<< /Filter /Standard /V 2 /R 3 >>", 1},      // V != 0
        {"/Encrypt 20 0 R", "<< /Filter /Unknown /V 7 >>", 1},            // unsupported, V != 0
        {"/Encrypt 20 0 R", "<< /Filter /Standard /V 0 >>", 9},           // V 0
        {"/Encrypt 20 0 R", "<< /Filter /Standard /R 3 >>", 9},           // V missing
        {"/Encrypt << /Filter /Standard /V 1 /R 2 >>", "", 1},            // direct dictionary
        {"/Encrypt null", "", 0},                                         // null is no entry
        {"/Encrypt 77 0 R", "", 0},                                       // undefined object
        {"/Encrypt 5", "", 9},                                            // not a dictionary
        {"/Encrypt 20 0 R", "(a string where a dictionary belongs)", 9},  // unreadable
        {"/Encrypt 20 0 R", "null", 0},                                   // null object
    };
    for (const Case& c : cases) {
        ReaderOver r(DocumentWith(c.trailer, c.encrypt));
        ASSERT_EQ(r.reader.Status(), TReaderStatus::Usable) << c.trailer;
        TSmartPDFInfo info(r.reader, false, u"");
        EXPECT_EQ(info.SecurityStatus(0), c.status) << c.trailer << " " << c.encrypt;
        EXPECT_EQ(info.SecurityStatus(3), -1);
        EXPECT_EQ(info.PageCount, -1);
    }
}

TEST(SmartPDFInfo, ReadsKeysAsTheDocumentHandlerDoes) {
    // One rule for both: the merge's input check and the document's handler agree on the
    // key length, the cipher and whether the configuration is supported.
    // One dictionary per scheme (the schemes themselves: the entries' table).
    const char* dicts[] = {
        "<< /Filter /Standard /V 1 /R 2 /Length 128 >>",
        "<< /Filter /Standard /V 2 /R 3 >>",
        "<< /Filter /Standard /V 4 /R 4 /StrF /StdCF /StmF /StdCF /CF << /StdCF << /CFM /V2 "
        "/Length 8 >> >> >>",
        "<< /Filter /Standard /V 4 /R 4 /StrF /S /StmF /T /CF << /S << /CFM /V2 >> /T << /CFM "
        "/AESV2 >> >> >>",
        "<< /Filter /Standard /V 5 /R 6 /StrF /StdCF /StmF /StdCF /CF << /StdCF << /CFM "
        "/AESV3 >> >> >>",
        "<< /Filter /Standard /V 4 /R 4 /StrF /S /StmF /Missing /CF << /S << /CFM /V2 >> >> >>",
    };
    for (const char* dict : dicts) {
        const TSmartPDFEncryption merge = Read(dict);
        TPDFStructure store;
        TPDFSecurityHandler handler;
        TPDFDictionary* trailer = store.NewDictionary();
        trailer->SetValue("Encrypt", store.ParseText(dict));
        handler.ReadEncryption(trailer);
        EXPECT_EQ(merge.Algorithm, handler.Encryption().Algorithm) << dict;
        if (handler.Encryption().Algorithm == 0) continue;
        EXPECT_EQ(merge.KeyLength, handler.Encryption().KeyLength) << dict;
        EXPECT_EQ(merge.UseAES, handler.Encryption().CipherMode != kCipherRc4) << dict;
        EXPECT_EQ(merge.Aes256, handler.Encryption().CipherMode == kCipherAes256) << dict;
    }
}

TEST(SmartPDFInfo, ReadsEntriesAndEncryptMetadataForV4Only) {
    {
        const TSmartPDFEncryption e = Read(
            "<< /Filter /Standard /V 4 /R 4 /EncryptMetadata false /StrF /StdCF /StmF /StdCF "
            "/CF << /StdCF << /CFM /AESV2 >> >> /O (owner) /U (user) /P -3904 >>");
        EXPECT_FALSE(e.EncryptMetadata);
        EXPECT_EQ(e.Revision, 4);
        EXPECT_EQ(e.OwnerEntry, "owner");
        EXPECT_EQ(e.UserEntry, "user");
        EXPECT_EQ(e.Permissions, 0xFFFFF0C0u);
    }
    {
        // V 5 does not read EncryptMetadata here; it keeps OE, UE and Perms.
        const TSmartPDFEncryption e = Read(
            "<< /Filter /Standard /V 5 /R 6 /EncryptMetadata false /StrF /StdCF /StmF /StdCF "
            "/CF << /StdCF << /CFM /AESV3 >> >> /OE (oe) /UE (ue) /Perms (perms) >>");
        EXPECT_TRUE(e.EncryptMetadata);
        EXPECT_EQ(e.OwnerKeyEntry, "oe");
        EXPECT_EQ(e.UserKeyEntry, "ue");
        EXPECT_EQ(e.PermsEntry, "perms");
    }
    {
        // The state: 0 without a dictionary, 1 for a non-zero V, 2 for V 0 or missing.
        uint8_t state = 9;
        TSmartPDFEncryption e;
        uint32_t p = 0;
        EXPECT_EQ(TSmartPDFInfo::ReadEncryption(nullptr, e, p), 0);
        Read("<< /V 3 >>", &state);
        EXPECT_EQ(state, 1);
        Read("<< /V 0 >>", &state);
        EXPECT_EQ(state, 2);
        Read("<< /V /Two >>", &state);
        EXPECT_EQ(state, 2);
    }
}

TEST(SmartPDFInfo, NumbersKeyClassesForTheMerge) {
    struct Case {
        const char* dict;
        uint8_t keyClass;
    };
    const Case cases[] = {
        {"<< /Filter /Standard /V 1 /R 2 /O <00> /U <00> >>", kSmartKeyClassRc4_40},
        {"<< /Filter /Standard /V 2 /R 3 /Length 128 /O <00> /U <00> >>", kSmartKeyClassRc4_128},
        {"<< /Filter /Standard /V 2 /R 3 /Length 64 /O <00> /U <00> >>", kSmartKeyClassRc4Medium},
        {"<< /Filter /Standard /V 4 /R 4 /StrF /StdCF /StmF /StdCF /CF << /StdCF << /CFM /AESV2 "
         ">> >> /O <00> /U <00> >>",
         kSmartKeyClassAes128},
        {"<< /Filter /Standard /V 5 /R 5 /StrF /StdCF /StmF /StdCF /CF << /StdCF << /CFM /AESV3 "
         ">> >> /O <00> /U <00> >>",
         kSmartKeyClassAes256R5},
        {"<< /Filter /Standard /V 5 /R 6 /StrF /StdCF /StmF /StdCF /CF << /StdCF << /CFM /AESV3 "
         ">> >> /O <00> /U <00> >>",
         kSmartKeyClassAes256R6},
    };
    EXPECT_EQ(kSmartKeyClassRc4Medium, 4);
    EXPECT_EQ(kSmartKeyClassAes256R6, 5);
    for (const Case& c : cases) {
        ReaderOver r(DocumentWith("/Encrypt 20 0 R /ID [<0102> <0304>]", c.dict));
        TSmartPDFInfo info(r.reader, false, u"wrong");
        ASSERT_NE(info.Crypt, nullptr);
        EXPECT_EQ(info.Crypt->KeyClass(), c.keyClass) << c.dict;
        // A wrong password is no error: the marker stays empty.
        EXPECT_TRUE(info.Crypt->Password().empty());
        EXPECT_EQ(info.Crypt->FileID(), std::string("\x01\x02", 2));
        EXPECT_EQ(info.SecurityStatus(0), 1);
    }
}

TEST(SmartPDFInfo, PasswordMarkerAndPermissions) {
    {
        // Without encryption the empty password is accepted: "!" alone.
        ReaderOver r(DocumentWith(""));
        TSmartPDFInfo info(r.reader, false, u"");
        EXPECT_EQ(info.Crypt->Password(), u"!");
        EXPECT_EQ(info.EncryptDict, nullptr);
    }
    {
        // Permissions come from P, whatever the configuration.
        ReaderOver r(DocumentWith("/Encrypt 20 0 R", "<< /Filter /Standard /V 9 /P -4 >>"));
        TSmartPDFInfo info(r.reader, false, u"");
        EXPECT_EQ(info.Crypt->PermissionBits(), 0xFFFFFFFCu);
        EXPECT_EQ(info.Crypt->PermissionFlags(), 1 | 2 | 4 | 8);
        EXPECT_FALSE(info.Crypt->MalformedP());
        EXPECT_TRUE(info.Crypt->Password().empty());
        ASSERT_NE(info.EncryptDict, nullptr);
    }
}

TEST(SmartPDFInfo, PasswordsAreTriedInTheFormsTheDocumentTries) {
    // A user password stored as its GBK bytes, as Chinese Windows tools write it.
    testing::StandardEncryption e;
    e.UserPassword = "\xD6\xD0\xCE\xC4";  // 中文
    e.OwnerPassword = "owner";
    const std::string id = "<" + testing::ToHex(e.Id0) + ">";
    ReaderOver r(
        DocumentWith("/Encrypt 20 0 R /ID [" + id + " " + id + "]", testing::EncryptDictionary(e)));
    {
        TSmartPDFInfo info(r.reader, false, u"\u4E2D\u6587");
        EXPECT_EQ(info.Crypt->Password(), u"!\u4E2D\u6587");
        EXPECT_EQ(testing::ToHex(info.Crypt->ObjectKeyBase()), testing::ToHex(testing::FileKey(e)));
    }
    {
        TSmartPDFInfo info(r.reader, false, u"\u6587\u4E2D");  // 文中
        EXPECT_TRUE(info.Crypt->Password().empty());
    }
}

TEST(SmartPDFInfo, InstallsAndRemovesReaderHooks) {
    ScopedRandomOverride random([](void* out, size_t count) {
        for (size_t i = 0; i < count; ++i) static_cast<char*>(out)[i] = static_cast<char>(i);
    });
    ReaderOver r(DocumentWith("/Encrypt 20 0 R",
                              "<< /Filter /Standard /V 2 /R 3 /Length 128 /O <00> /U <00> >>"));
    {
        TSmartPDFInfo info(r.reader, false, u"");
        EXPECT_TRUE(static_cast<bool>(r.reader.OnIDCreated()));
        EXPECT_TRUE(static_cast<bool>(r.reader.OnObjectStream()));
        EXPECT_EQ(info.Crypt->FileID(), "");
        // The new identifier of FinishTrailer reaches the crypt.
        r.reader.FinishTrailer();
        auto* id = As<TPDFArray>(r.reader.Trailer()->GetValue("ID"));
        ASSERT_NE(id, nullptr);
        EXPECT_EQ(info.Crypt->FileID(), As<TPDFString>(id->Get(0))->Bytes);
        EXPECT_EQ(info.Crypt->FileID().size(), 16u);
    }
    EXPECT_FALSE(static_cast<bool>(r.reader.OnIDCreated()));
    EXPECT_FALSE(static_cast<bool>(r.reader.OnObjectStream()));
}

TEST(SmartPDFInfo, CountsPagesAndFieldsWhenAsked) {
    PdfBuilder b = testing::SimpleDocument(3);
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [30 0 R 31 0 R] >> >>");
    b.Set(30, "<< /T (a) >>");
    b.Set(31, "<< /T (b) >>");
    ReaderOver r(b.Build());
    TSmartPDFInfo counted(r.reader, true, u"");
    EXPECT_EQ(counted.PageCount, 3);
    EXPECT_EQ(counted.FieldCount, 2);
    EXPECT_EQ(counted.Version, "1.4");
    TSmartPDFInfo plain(r.reader, false, u"");
    EXPECT_EQ(plain.PageCount, -1);
    EXPECT_EQ(plain.FieldCount, -1);
}

}  // namespace
}  // namespace verava
