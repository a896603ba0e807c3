#include "document/pdf_document.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>

#include "objects/pdf_text.h"
#include "objects/platform.h"
#include "objects/stream.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"

namespace verava {
namespace {

// The label page n shows ("Page 3").
std::string PageText(TPDFDocument& document, int32_t n) {
    const std::vector<std::string> labels = testing::PageLabels(document);
    return n >= 1 && n <= static_cast<int32_t>(labels.size()) ? labels[n - 1] : "";
}

using testing::PdfBuilder;
using testing::XRefKind;

std::unique_ptr<TPDFDocument> Load(const std::string& bytes,
                                   uint8_t expected = TPDFDocument::kLoaded,
                                   const std::u16string& password = u"") {
    auto document = std::make_unique<TPDFDocument>();
    TMemoryStream stream(bytes);
    EXPECT_EQ(document->LoadFromStream(stream, password), expected);
    return document;
}

std::string Save(TPDFDocument& document) {
    TMemoryStream out;
    EXPECT_TRUE(document.WriteTo(out));
    return out.Data();
}

TEST(DocumentLoad, ReadsEveryKindOfCrossReferenceData) {
    for (XRefKind kind :
         {XRefKind::Table, XRefKind::Stream, XRefKind::StreamFlatePredicted, XRefKind::Hybrid}) {
        PdfBuilder b = testing::SimpleDocument(4);
        b.Compress(3);
        b.Compress(6);
        auto doc = Load(b.Build(kind));
        EXPECT_EQ(doc->PageTree().TotalPages(), 4);
        EXPECT_EQ(doc->Version, "1.4");
        for (int n = 1; n <= 4; ++n) EXPECT_EQ(PageText(*doc, n), "Page " + std::to_string(n));
        auto* font = As<TPDFDictionary>(doc->ResolveObject(3));
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(font->GetType(), "Font");
        EXPECT_FALSE(doc->Repaired());
        EXPECT_EQ(doc->PageTree().CurrentPageNumber(), 1);
        // Object-stream objects come first in the object list, then file order.
        if (kind != XRefKind::Table) {
            EXPECT_TRUE(doc->Objects()[0]->Compressed);
        }
    }
}

TEST(DocumentLoad, EncryptedFilesWithObjectStreamsOpenWithEveryCipher) {
    // The catalog, the page tree root and the Info dictionary sit in an encrypted object
    // stream: the passwords must be tried before the page tree is sought.
    using testing::Cipher;
    const struct {
        Cipher cipher;
        const char* name;
    } ciphers[] = {{Cipher::Rc4_40, "rc4-40"},
                   {Cipher::Rc4_128, "rc4-128"},
                   {Cipher::Aes128, "aes-128"},
                   {Cipher::Aes256, "aes-256"}};
    const struct {
        const char* user;
        const char* given;
    } passwords[] = {{"", ""}, {"usr", "usr"}, {"usr", "own"}};
    for (const auto& c : ciphers) {
        for (const auto& p : passwords) {
            for (XRefKind kind : {XRefKind::Stream, XRefKind::Hybrid, XRefKind::Table}) {
                PdfBuilder b = testing::SimpleDocument(3);
                for (int n : {1, 2, 4, 6}) b.Compress(n);
                b.Encrypt(c.cipher, p.user, "own");
                const std::string what = std::string(c.name) + " user '" + p.user + "' given '" +
                                         p.given + "' kind " + std::to_string(int(kind));
                const std::string file = b.Build(kind);
                auto doc = Load(file, TPDFDocument::kLoaded, Utf8ToUnicode(p.given));
                ASSERT_EQ(doc->PageTree().TotalPages(), 3) << what;
                EXPECT_FALSE(doc->Repaired()) << what;
                EXPECT_EQ(testing::PageLabels(*doc),
                          (std::vector<std::string>{"Page 1", "Page 2", "Page 3"}))
                    << what;
                auto* info = As<TPDFDictionary>(doc->ResolveObject(4));
                ASSERT_NE(info, nullptr) << what;
                EXPECT_EQ(As<TPDFString>(info->GetValue("Title"))->Bytes, "Test document") << what;
                // Saved encrypted the same way, it opens again with the same password.
                const std::string saved = Save(*doc);
                EXPECT_NE(saved.find("/Encrypt"), std::string::npos) << what;
                EXPECT_EQ(saved.find("Test document"), std::string::npos) << what;
                auto again = Load(saved, TPDFDocument::kLoaded, Utf8ToUnicode(p.given));
                EXPECT_EQ(testing::PageLabels(*again),
                          (std::vector<std::string>{"Page 1", "Page 2", "Page 3"}))
                    << what;
                if (*p.user != '\0') Load(file, TPDFDocument::kPasswordRejected, u"wrong");
            }
        }
    }
}

TEST(DocumentLoad, CryptFiltersPerKindOpenAndAreSavedTheSameWay) {
    // Strings, streams and embedded files each by their own crypt filter or Identity
    // (ISO 32000-1 7.6.5), and an attachment whose own Crypt filter names Identity. Saved,
    // what was clear stays clear and what was encrypted stays encrypted.
    using testing::CryptMethod;
    const CryptMethod id = CryptMethod::Identity, rc4 = CryptMethod::Rc4, aes = CryptMethod::Aes128;
    const testing::CryptFilterKinds layouts[] = {
        {aes, id}, {rc4, aes}, {id, rc4}, {aes, aes, true, rc4}, {id, id, true, aes}, {id, id}};
    auto expectContent = [](TPDFDocument& doc) {
        EXPECT_EQ(testing::PageLabels(doc),
                  (std::vector<std::string>{"Page 1", "Page 2", "Page 3"}));
        auto* info = As<TPDFDictionary>(doc.ResolveObject(4));
        auto* notes = As<TPDFStream>(doc.ResolveObject(11));  // of DocumentWithAttachments(3)
        auto* plain = As<TPDFStream>(doc.ResolveObject(13));
        ASSERT_TRUE(info != nullptr && notes != nullptr && plain != nullptr);
        EXPECT_EQ(As<TPDFString>(info->GetValue("Title"))->Bytes, "Test document");
        EXPECT_EQ(notes->Data(), "attached notes");
        EXPECT_EQ(plain->Data(), "stored as is");
    };
    for (const auto& kinds : layouts) {
        for (XRefKind kind : {XRefKind::Table, XRefKind::Stream}) {
            SCOPED_TRACE(::testing::Message()
                         << "layout " << &kinds - layouts << ", " << int(kind));
            PdfBuilder b = testing::DocumentWithAttachments(3);
            if (kind == XRefKind::Stream) {
                b.Compress(1);
                b.Compress(4);
            }
            b.EncryptByKind(kinds, "usr", "own");
            const std::string file = b.Build(kind);
            Load(file, TPDFDocument::kPasswordRejected, u"wrong");
            EXPECT_TRUE(Load(file, TPDFDocument::kLoaded, u"own")->Security().OwnerAccepted());
            auto doc = Load(file, TPDFDocument::kLoaded, u"usr");
            expectContent(*doc);
            const std::string saved = Save(*doc);
            std::string lower = saved;  // the title literal, or hex in either case
            for (char& c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            EXPECT_EQ(lower.find("test document") != std::string::npos ||
                          lower.find("5465737420646f63756d656e74") != std::string::npos,
                      kinds.strings == id);
            EXPECT_EQ(saved.find("(Page 1) Tj") != std::string::npos, kinds.streams == id);
            EXPECT_EQ(saved.find("attached notes") != std::string::npos,
                      (kinds.writeEff ? kinds.embeddedFiles : kinds.streams) == id);
            EXPECT_NE(saved.find("stored as is"), std::string::npos);
            expectContent(*Load(saved, TPDFDocument::kLoaded, u"usr"));
        }
    }
}

TEST(DocumentLoad, NewerRevisionsWinAndTrailerKeysOfStreamsAreDropped) {
    PdfBuilder b = testing::SimpleDocument(2);
    const std::string base = b.Build(XRefKind::Stream);
    const std::string updated =
        b.AppendUpdate(base, {{4, "<< /Title (second) >>"}}, XRefKind::Stream);
    auto doc = Load(updated);
    auto* info = As<TPDFDictionary>(doc->ResolveObject(4));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(As<TPDFString>(info->GetValue("Title"))->Bytes, "second");
    for (const char* key : {"Prev", "Type", "W", "Index", "Length", "Filter"}) {
        EXPECT_EQ(doc->Trailer->IndexOf(key), -1) << key;
    }
    EXPECT_NE(doc->Trailer->IndexOf("Root"), -1);
}

TEST(DocumentLoad, RenumbersTablesThatStartOneTooHigh) {
    // Objects 1..3 listed as 2..4 in a table starting at 2, Size = rows + 1.
    std::string file = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    const char* bodies[] = {"<< /Type /Catalog /Pages 2 0 R >>",
                            "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                            "<< /Type /Page /Parent 2 0 R >>"};
    for (int i = 0; i < 3; ++i) {
        offsets.push_back(file.size());
        file += std::to_string(i + 1) + " 0 obj\n" + bodies[i] + "\nendobj\n";
    }
    const size_t xref = file.size();
    file += "xref\n2 3\n";
    for (size_t o : offsets)
        file += testing::Overwrite(std::string("0000000000 00000 n \n"),
                                   10 - std::to_string(o).size(), std::to_string(o));
    file += "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    auto doc = Load(file);
    EXPECT_EQ(doc->PageTree().TotalPages(), 1);
    EXPECT_EQ(As<TPDFDictionary>(doc->ResolveObject(1))->GetType(), "Catalog");
    EXPECT_EQ(As<TPDFDictionary>(doc->ResolveObject(3))->GetType(), "Page");
}

TEST(DocumentLoad, RepairsDamagedFiles) {
    PdfBuilder b = testing::SimpleDocument(3);
    const std::string good = b.Build(XRefKind::Table);
    const size_t xref = static_cast<size_t>(b.StartXRef());
    struct Case {
        const char* what;
        std::string bytes;
        bool repaired;
    } cases[] = {
        {"garbage table", testing::Overwrite(good, xref + 5, std::string(40, '#')), true},
        {"truncated end marker", testing::Truncate(good, good.size() - 3), false},
        {"offsets shifted by 5 bytes",
         testing::InsertAt(good, static_cast<size_t>(b.OffsetOf(5)) - 1, "     "), false},
        {"offsets shifted by 300 bytes",
         testing::InsertAt(good, static_cast<size_t>(b.OffsetOf(1)) - 1, std::string(300, ' ')),
         false},
    };
    for (const Case& c : cases) {
        auto doc = Load(c.bytes);
        EXPECT_EQ(doc->PageTree().TotalPages(), 3) << c.what;
        EXPECT_EQ(PageText(*doc, 3), "Page 3") << c.what;
        if (c.repaired) {
            EXPECT_TRUE(doc->Repaired()) << c.what;
        }
    }
}

TEST(DocumentLoad, ReadsTablesInFullAndRepairsWhatTheyLose) {
    // Rows of 20 and 21 bytes read as they are; a table that lost rows or sends objects to
    // the wrong place falls to the repair scan, which finds every object.
    auto build = [](const std::string& rowEnd) {
        PdfBuilder b = testing::SimpleDocument(6);
        b.RowEnd = rowEnd;
        return b;
    };
    PdfBuilder plain = build(" \n");
    const std::string good = plain.Build();
    const size_t table = good.find("xref\n0 17\n") + 10;
    auto row = [&](int n) { return good.substr(table + 20 * static_cast<size_t>(n), 20); };
    std::string swapped = good;
    swapped = testing::Overwrite(swapped, table + 20 * 5, row(7));
    swapped = testing::Overwrite(swapped, table + 20 * 7, row(5));
    std::string missing = good;
    missing.erase(table + 20 * 9, 40);  // rows 9 and 10 gone, the header still says 17
    struct Case {
        const char* what;
        std::string bytes;
        bool repaired;
    } cases[] = {
        {"21-byte rows", build(" \r\n").Build(), false},
        {"CR LF rows", build("\r\n").Build(), false},
        {"a header promising more rows", testing::Overwrite(good, table - 3, "19"), true},
        {"rows missing in the middle", missing, true},
        {"two rows swapped", swapped, true},
    };
    for (const Case& c : cases) {
        auto doc = Load(c.bytes);
        EXPECT_EQ(doc->Repaired(), c.repaired) << c.what;
        EXPECT_EQ(testing::PageLabels(*doc), testing::Texts("Page", 1, 6)) << c.what;
    }
}

TEST(DocumentLoad, RecoversThePagesThatSurviveACut) {
    // Cut short, without "startxref" or without a trailer: the file opens with the pages
    // still there, lost pages as blank ones in their places, and the count says so.
    PdfBuilder b = testing::SimpleDocument(6);
    const std::string good = b.Build();
    const std::vector<std::string> all = testing::Texts("Page", 1, 6);
    // Page k is object 3 + 2k, its content 4 + 2k.
    auto cutAt = [&](int number, size_t into) {
        return good.substr(0, static_cast<size_t>(b.OffsetOf(number)) + into);
    };
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> labels;
    } cases[] = {
        {"no startxref", good.substr(0, good.rfind("startxref")), all},
        {"no table and no trailer", good.substr(0, static_cast<size_t>(b.StartXRef())), all},
        {"cut inside the table", good.substr(0, static_cast<size_t>(b.StartXRef()) + 100), all},
        // A page whose object is gone stays as a blank page; so does one whose content is.
        {"cut before the last page", cutAt(15, 0), testing::Join(testing::Texts("Page", 1, 5), {"?"})},
        {"cut before page 5", cutAt(13, 0), testing::Join(testing::Texts("Page", 1, 4), {"?", "?"})},
        {"cut inside the content of page 5", cutAt(14, 30),
         testing::Join(testing::Texts("Page", 1, 4), {"?", "?"})},
    };
    for (const Case& c : cases) {
        auto doc = Load(c.bytes);
        EXPECT_TRUE(doc->Repaired()) << c.what;
        EXPECT_EQ(doc->PageTree().TotalPages(), static_cast<int32_t>(c.labels.size())) << c.what;
        EXPECT_EQ(testing::PageLabels(*doc), c.labels) << c.what;
        // Saved, it opens cleanly with the same pages.
        auto again = Load(Save(*doc));
        EXPECT_FALSE(again->Repaired()) << c.what;
        EXPECT_EQ(testing::PageLabels(*again), c.labels) << c.what;
    }
}

// Object 0 heads the free list and is never an object: a repair that finds "0 0 obj" (here a
// catalog, the newest in the file) or a table that says object 0 is in use takes nothing
// from it, and a saved file never names it as its catalog.
TEST(DocumentLoad, ObjectZeroIsNeverTakenAsAnObject) {
    PdfBuilder b = testing::SimpleDocument(2);
    const std::string good = b.Build();
    const std::string body = good.substr(0, static_cast<size_t>(b.StartXRef()));
    const std::string zeroCatalog = "0 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
    std::string inUseZero = good;
    const std::string freeZero = "0000000000 65535 f \n";
    ASSERT_NE(inUseZero.find(freeZero), std::string::npos);
    inUseZero.replace(inUseZero.find(freeZero), freeZero.size(), "0000000009 00000 n \n");
    for (const std::string& bytes : {body + zeroCatalog, inUseZero}) {
        auto doc = Load(bytes);
        EXPECT_EQ(doc->FindObject(0), nullptr);
        EXPECT_EQ(testing::PageLabels(*doc), testing::Texts("Page", 1, 2));
        const std::string saved = Save(*doc);
        EXPECT_EQ(saved.find("/Root 0 0 R"), std::string::npos);
        auto again = Load(saved);
        EXPECT_FALSE(again->Repaired());
        EXPECT_EQ(testing::PageLabels(*again), testing::Texts("Page", 1, 2));
    }
}

TEST(DocumentLoad, RepairReadsTheObjectStreamsItFinds) {
    // The catalog, the page tree root and some pages live in an object stream; the
    // cross-reference stream is cut off or its offsets all miss.
    using testing::Cipher;
    for (bool encrypted : {false, true}) {
        PdfBuilder b = testing::SimpleDocument(4);
        for (int n : {1, 2, 3, 4, 5, 9}) b.Compress(n);
        if (encrypted) b.Encrypt(Cipher::Aes128, "", "own");
        const std::string good = b.Build(XRefKind::Stream);
        const std::string shifted =
            testing::InsertAt(good, static_cast<size_t>(b.OffsetOf(6)) - 1, std::string(99, ' '));
        for (const std::string& bytes :
             {shifted, good.substr(0, static_cast<size_t>(b.StartXRef()))}) {
            if (encrypted && bytes.size() < good.size()) continue;  // its ID went with the cut
            auto doc = Load(bytes);
            EXPECT_TRUE(doc->Repaired()) << encrypted;
            EXPECT_EQ(testing::PageLabels(*doc), testing::Texts("Page", 1, 4)) << encrypted;
            auto* info = As<TPDFDictionary>(doc->ResolveObject(4));
            ASSERT_NE(info, nullptr);
            EXPECT_EQ(As<TPDFString>(info->GetValue("Title"))->Bytes, "Test document");
        }
    }
}

TEST(DocumentLoad, ObjectStreamsSaidToSitInObjectStreamsEndWithoutRecursion) {
    // Object k is said to sit in object stream k + 1, 30000 deep, and the last in the first:
    // loading must neither recurse that deep nor loop.
    constexpr int kDepth = 30000;
    std::string file = "%PDF-1.5\n";
    std::string rows;
    auto put = [&](int type, int64_t field2, int field3) {
        rows += testing::XRefStreamRow(type, field2, field3);
    };
    put(0, 0, 65535);
    for (int k = 1; k <= kDepth; ++k) put(2, k == kDepth ? 1 : k + 1, 0);
    const size_t xref = file.size();
    put(1, static_cast<int64_t>(xref), 0);
    file += std::to_string(kDepth + 1) + " 0 obj\n" +
            PdfBuilder::StreamBody("/Type /XRef /Size " + std::to_string(kDepth + 2) +
                                       " /W [1 4 2] /Root 1 0 R",
                                   rows) +
            "\nendobj\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    auto doc = Load(file, TPDFDocument::kNotLoadable);
    EXPECT_EQ(doc->Objects().size(), 0u);
}

TEST(DocumentLoad, ThePageTreeIsBuiltFromWhatIsThere) {
    // SimpleDocument(4): root 2, pages 5, 7, 9, 11 with contents 6, 8, 10, 12, font 3.
    struct Case {
        const char* what;
        std::string root;  // object 2
        std::map<int, std::string> extra;
        std::vector<std::string> labels;
    } cases[] = {
        {"a Count of 2^31", "<< /Type /Pages /Kids [5 0 R 7 0 R 9 0 R 11 0 R] /Count 2147483648 >>",
         {},
         testing::Texts("Page", 1, 4)},
        {"a negative Count", "<< /Type /Pages /Kids [5 0 R 7 0 R 9 0 R 11 0 R] /Count -3 >>",
         {},
         testing::Texts("Page", 1, 4)},
        {"Kids that lead back to the root",
         "<< /Type /Pages /Kids [5 0 R 20 0 R] /Count 4 >>",
         {{20, "<< /Type /Pages /Parent 2 0 R /Kids [7 0 R 2 0 R 21 0 R] /Count 3 >>"},
          {21, "<< /Type /Pages /Parent 20 0 R /Kids [9 0 R 11 0 R 20 0 R] /Count 2 >>"}},
         testing::Texts("Page", 1, 4)},
        {"Kids that are no pages",
         "<< /Type /Pages /Kids [6 0 R 5 0 R 3 0 R << /Type /Page >> 7 0 R 9 0 R 11 0 R "
         "(x) 12 0 R 20 0 R] /Count 10 >>",
         {{20, "<< /Filter /Standard /V 1 /R 2 /O <00> /U <00> /P -4 >>"}},  // no Type
         testing::Texts("Page", 1, 4)},
        // A page that is gone keeps its place as a blank page of the previous page's size.
        {"a reference to a page that is gone",
         "<< /Type /Pages /Kids [5 0 R 99 0 R 7 0 R 9 0 R 11 0 R] /Count 5 >>",
         {},
         {"Page 1", "?", "Page 2", "Page 3", "Page 4"}},
        {"a page listed twice", "<< /Type /Pages /Kids [5 0 R 7 0 R 7 0 R 9 0 R 11 0 R] /Count 4 >>",
         {},
         {"Page 1", "Page 2", "Page 2", "Page 3", "Page 4"}},
        {"a node listed twice",
         "<< /Type /Pages /Kids [20 0 R 20 0 R 9 0 R 11 0 R] /Count 6 >>",
         {{20, "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 7 0 R] /Count 2 >>"}},
         testing::Texts("Page", 1, 4)},
        {"a typeless node and page",
         "<< /Type /Pages /Kids [20 0 R 9 0 R 11 0 R] /Count 4 >>",
         {{20, "<< /Kids [5 0 R 21 0 R] /Count 2 /Parent 2 0 R >>"},
          {21, "<< /Parent 20 0 R /MediaBox [0 0 612 792] /Contents 8 0 R "
               "/Resources << /Font << /F1 3 0 R >> >> >>"}},
         testing::Texts("Page", 1, 4)},
    };
    for (const Case& c : cases) {
        PdfBuilder b = testing::SimpleDocument(4);
        b.Set(2, c.root);
        for (const auto& [number, body] : c.extra) b.Set(number, body);
        auto doc = Load(b.Build());
        const auto pages = static_cast<int32_t>(c.labels.size());
        EXPECT_EQ(doc->PageTree().TotalPages(), pages) << c.what;
        EXPECT_EQ(testing::PageLabels(*doc), c.labels) << c.what;
        // Written out: each page object once, every Kids entry a page or node whose Parent is
        // its holder, Counts that add up.
        const std::string saved = Save(*doc);
        auto again = Load(saved);
        EXPECT_EQ(testing::PageLabels(*again), c.labels) << c.what;
        std::set<int32_t> seen;
        std::vector<TPDFDictionary*> pending{again->GetPagesRoot()};
        int32_t leaves = 0;
        while (!pending.empty()) {
            TPDFDictionary* node = pending.back();
            pending.pop_back();
            auto* kids = As<TPDFArray>(node->GetValue("Kids", true));
            ASSERT_NE(kids, nullptr) << c.what;
            for (TPDFObject* kid : kids->Items()) {
                auto* ref = As<TPDFIndRef>(kid);
                ASSERT_NE(ref, nullptr) << c.what;
                EXPECT_TRUE(seen.insert(ref->TargetNumber).second) << c.what << " lists "
                                                                   << ref->TargetNumber << " twice";
                auto* dict = As<TPDFDictionary>(ref->Resolve());
                ASSERT_NE(dict, nullptr) << c.what;
                EXPECT_EQ(As<TPDFDictionary>(dict->GetValue("Parent", true)), node) << c.what;
                if (dict->GetType() == "Pages") {
                    pending.push_back(dict);
                } else {
                    EXPECT_EQ(dict->GetType(), "Page") << c.what;
                    ++leaves;
                }
            }
        }
        EXPECT_EQ(leaves, pages) << c.what;
        EXPECT_EQ(again->GetPagesRoot()->GetInteger("Count", -1), pages) << c.what;
    }
}

TEST(DocumentSave, ANumberNamedAsAContainerByMistakeIsStillWritten) {
    // Object 9 claims to sit in "object stream 2", which is the page tree root: saving must
    // write the root, not dissolve it as if it were an object stream.
    PdfBuilder b = testing::SimpleDocument(2);
    std::string file = b.Build(XRefKind::Stream);
    const size_t xref = static_cast<size_t>(b.StartXRef());
    std::string rows;
    auto put = [&](int type, int64_t field2, int field3) {
        rows += testing::XRefStreamRow(type, field2, field3);
    };
    put(0, 0, 65535);
    for (int n = 1; n <= 8; ++n) put(1, b.OffsetOf(n), 0);
    put(2, 2, 0);  // object 9 "in object stream 2"
    put(1, static_cast<int64_t>(xref), 0);
    file = file.substr(0, xref) + "10 0 obj\n" +
           PdfBuilder::StreamBody("/Type /XRef /Size 11 /W [1 4 2] /Root 1 0 R /Info 4 0 R", rows) +
           "\nendobj\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    auto doc = Load(file);
    EXPECT_EQ(testing::PageLabels(*doc), testing::Texts("Page", 1, 2));
    auto again = Load(Save(*doc));
    EXPECT_EQ(testing::PageLabels(*again), testing::Texts("Page", 1, 2));
}

TEST(DocumentLoad, RepairDropsWhatAnObjectStreamHeldWhenANewerObjectTakesItsNumber) {
    // Object stream 20 holds pages; a newer object stream 30 holds a new object 20 (the
    // page tree root). After a repair, 20 is the root, and nothing refers to the old stream.
    auto objectStream = [](const std::vector<std::pair<int, std::string>>& objects) {
        std::string head;
        std::string bodies;
        for (const auto& [number, body] : objects) {
            head += std::to_string(number) + " " + std::to_string(bodies.size()) + " ";
            bodies += body + "\n";
        }
        return PdfBuilder::StreamBody("/Type /ObjStm /N " + std::to_string(objects.size()) +
                                          " /First " + std::to_string(head.size()),
                                      head + bodies);
    };
    PdfBuilder b;
    b.Set(1, "<< /Type /Catalog /Pages 20 0 R >>");
    b.Set(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    b.Set(6, PdfBuilder::StreamBody("", "BT /F1 24 Tf 72 700 Td (Page 1) Tj ET"));
    b.Set(20, objectStream({{5, "<< /Type /Page /Parent 20 0 R /Resources << /Font << /F1 3 0 R "
                                ">> >> /Contents 6 0 R >>"}}));
    b.Set(30, objectStream({{20, "<< /Type /Pages /Kids [5 0 R] /Count 1 >>"}}));
    b.TrailerEntries = "/Root 1 0 R";
    const std::string good = b.Build();
    // No table, no trailer: only the scan is left. The catalog is found by itself.
    auto doc = Load(good.substr(0, static_cast<size_t>(b.StartXRef())));
    EXPECT_TRUE(doc->Repaired());
    auto again = Load(Save(*doc));
    EXPECT_EQ(again->PageTree().TotalPages(), doc->PageTree().TotalPages());
    auto* root = As<TPDFDictionary>(again->ResolveObject(20));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetType(), "Pages");
}

TEST(DocumentLoad, ACatalogWhosePagesNameNoTreeGivesWayToOneThatHasOne) {
    // The trailer's catalog names itself as its page tree: the newest catalog whose Pages
    // name a tree is taken. And a catalog naming a page without Type gets a root above it.
    {
        PdfBuilder b = testing::SimpleDocument(2);
        b.Set(20, "<< /Type /Catalog /Pages 20 0 R >>");
        b.TrailerEntries = "/Root 20 0 R /Info 4 0 R";
        auto doc = Load(b.Build());
        EXPECT_TRUE(doc->Repaired());
        EXPECT_EQ(testing::PageLabels(*doc), testing::Texts("Page", 1, 2));
    }
    {
        PdfBuilder b = testing::SimpleDocument(1);
        b.Set(1, "<< /Type /Catalog /Pages 5 0 R >>");
        b.Set(5,
              "<< /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> /Contents 6 0 "
              "R >>");
        auto doc = Load(b.Build());
        EXPECT_EQ(testing::PageLabels(*doc), testing::Texts("Page", 1, 1));
        auto again = Load(Save(*doc));
        EXPECT_FALSE(again->PageTreeRebuilt());
        EXPECT_EQ(testing::PageLabels(*again), testing::Texts("Page", 1, 1));
    }
}

TEST(DocumentLoad, NewObjectsNeverAnswerForAReferenceThatDangled) {
    // The catalog names outlines 9, which the file does not hold; the blank page put in for
    // the lost page 50 must not become object 9.
    PdfBuilder b = testing::SimpleDocument(2);  // objects 1..8
    b.Set(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 9 0 R >>");
    b.Set(2, "<< /Type /Pages /Kids [5 0 R 50 0 R 7 0 R] /Count 3 >>");
    auto doc = Load(b.Build());
    EXPECT_EQ(testing::PageLabels(*doc), (std::vector<std::string>{"Page 1", "?", "Page 2"}));
    EXPECT_EQ(doc->GetRoot()->GetValue("Outlines", true), nullptr);
    auto again = Load(Save(*doc));
    EXPECT_EQ(again->GetRoot()->GetValue("Outlines", true), nullptr);
    EXPECT_GT(doc->FirstUnusedNumber(), 50);
}

TEST(DocumentLoad, RepairKeepsTheTrailerOfAStreamOnlyFile) {
    // No "trailer" keyword anywhere: the repaired table must still use the trailer the
    // cross-reference stream gave, not a catalog made up while the offsets missed.
    PdfBuilder b = testing::SimpleDocument(3);
    const std::string good = b.Build(XRefKind::Stream);
    auto doc = Load(
        testing::InsertAt(good, static_cast<size_t>(b.OffsetOf(1)) - 1, std::string(200, ' ')));
    EXPECT_TRUE(doc->Repaired());
    EXPECT_EQ(doc->PageTree().TotalPages(), 3);
    EXPECT_EQ(PageText(*doc, 3), "Page 3");
}

TEST(DocumentLoad, ObjectsWithoutEndobjOrStreamStillLoad) {
    // Every object searches onwards for "stream" and "endobj" and finds neither; each
    // still loads as its dictionary (the searches are shared, so this stays linear).
    std::string file =
        "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
        "2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj\n";
    for (int n = 3; n < 3000; ++n)
        file += std::to_string(n) + " 0 obj << /A " + std::to_string(n) + " >>\n";
    file += "trailer << /Root 1 0 R >>\n";
    auto doc = Load(file);
    ASSERT_TRUE(doc->Repaired());
    for (int n = 3; n < 3000; n += 499) {
        auto* d = As<TPDFDictionary>(doc->ResolveObject(n));
        ASSERT_NE(d, nullptr) << n;
        EXPECT_EQ(d->GetInteger("A", 0), n);
    }
}

TEST(DocumentLoad, SixEntriesAtOffsetZeroAreRepairedInsteadOfTrusted) {
    PdfBuilder b = testing::SimpleDocument(2);
    std::string file = b.Build(XRefKind::Table);
    const size_t table = file.find("xref\n0 9\n") + 9;
    for (int row = 1; row <= 8; ++row)
        file = testing::Overwrite(file, table + 20 * row, "0000000000");
    auto doc = Load(file);
    EXPECT_TRUE(doc->Repaired());
    EXPECT_EQ(doc->PageTree().TotalPages(), 2);
}

// A repair prefers the newest revision of an object; saved, the older ones keep their content
// under new numbers.
TEST(DocumentLoad, RepairPrefersTheNewestRevisionOfAnObject) {
    PdfBuilder b = testing::SimpleDocument(1);
    const std::string base = b.Build();
    std::string updated = b.AppendUpdate(base, {{4, "<< /Title (newest) >>"}});
    // Break every cross-reference section so only the scan is left.
    for (size_t at = updated.find("startxref"); at != std::string::npos;
         at = updated.find("startxref")) {
        updated = testing::Overwrite(updated, at, "startxxxx");
    }
    auto doc = Load(updated);
    ASSERT_TRUE(doc->Repaired());
    auto* info = As<TPDFDictionary>(doc->ResolveObject(4));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(As<TPDFString>(info->GetValue("Title"))->Bytes, "newest");
    EXPECT_EQ(doc->Trailer->IndexOf("Prev"), -1);

    const int32_t highest = doc->HighestObjectNumber();
    const std::string saved = Save(*doc);
    auto again = Load(saved);
    EXPECT_FALSE(again->Repaired());
    EXPECT_EQ(As<TPDFString>(As<TPDFDictionary>(again->ResolveObject(4))->GetValue("Title"))->Bytes,
              "newest");
    auto* old = As<TPDFDictionary>(again->ResolveObject(highest + 1));
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(As<TPDFString>(old->GetValue("Title"))->Bytes, "Test document");
    // Size counts the renumbered revision too.
    EXPECT_NE(saved.find("/Size " + std::to_string(highest + 2) + "\n"), std::string::npos);
    EXPECT_EQ(saved.find("\n4 0 obj\n"), saved.rfind("\n4 0 obj\n"));  // one object 4 only
}

TEST(DocumentLoad, HeaderVersionsAndJunkInFront) {
    // (The forms of the header mark: its own table, beside FindHeaderMark.)
    {
        // 2000 bytes of junk: the header lies beyond the first 1024 bytes.
        PdfBuilder b = testing::SimpleDocument(2);
        b.Prefix = std::string(2000, 'J');
        auto doc = Load(b.Build());
        EXPECT_EQ(doc->PageTree().TotalPages(), 2);
        EXPECT_EQ(PageText(*doc, 2), "Page 2");
    }
    {
        PdfBuilder b = testing::SimpleDocument(1);
        auto doc = Load("%!PS-Adobe-3.0 PDF-1.3\n" + b.Build().substr(9));
        EXPECT_EQ(doc->Version, "1.3");
    }
}

TEST(DocumentLoad, FailedLoadsLeaveAnEmptyUsableDocument) {
    const std::string inputs[] = {"", "not a pdf at all", "%PDF-1.4\n1 0 obj\n<< >>\nendobj\n",
                                  "%PDF-1.4\ntrailer\n<< /Root 1 0 R >>\n"};
    for (const std::string& input : inputs) {
        auto doc = Load(input, TPDFDocument::kNotLoadable);
        EXPECT_EQ(doc->Objects().size(), 0u);
        EXPECT_EQ(doc->PageTree().TotalPages(), 0);
        doc->NewDocument();
        EXPECT_EQ(doc->PageTree().TotalPages(), 1);
    }
}

// The linearization dictionary, first in the file, is emptied; dictionaries that only carry a
// key of that name keep every entry.
TEST(DocumentLoad, OnlyTheLinearizationDictionaryIsEmptied) {
    struct Case {
        std::string first;
        std::string kids;  // the page tree's Kids
        bool emptied;
    };
    const Case cases[] = {
        {"<< /Linearized 1 /L 1000 /N 1 >>", "5 0 R 5 0 R", true},
        {"<< /Type /Page /Parent 2 0 R /Linearized /Parent /MediaBox [0 0 612 792] >>",
         "1 0 R 5 0 R", false},
        {"<< /Type /Page /Parent 2 0 R /Linearized 1 /MediaBox [0 0 612 792] >>", "1 0 R 5 0 R",
         false},
        {"<< /Linearized (1) /L 1000 >>", "5 0 R 5 0 R", false},
    };
    for (const Case& c : cases) {
        PdfBuilder b = testing::SimpleDocument(1);
        b.Set(1, c.first);
        b.Set(9, "<< /Type /Catalog /Pages 2 0 R >>");
        b.Set(2, "<< /Type /Pages /Kids [" + c.kids + "] /Count 2 >>");
        b.TrailerEntries = "/Root 9 0 R";
        auto doc = Load(b.Build());
        auto* dict = As<TPDFDictionary>(doc->ResolveObject(1));
        ASSERT_NE(dict, nullptr) << c.first;
        EXPECT_EQ(dict->EntryCount() == 0, c.emptied) << c.first;
        if (c.emptied) {
            EXPECT_TRUE(dict->IsModified()) << c.first;  // so a save writes it so
        } else {
            EXPECT_NE(dict->IndexOf("Linearized"), -1) << c.first;
        }
        EXPECT_EQ(doc->PageTree().TotalPages(), 2) << c.first;
    }
}

// A page's Contents naming what no page can show (a lost object, a dictionary, an object
// stream or a cross-reference stream, which are never written as objects) lose those
// entries at load: saved, the file loads cleanly with the same pages and readable text.
TEST(DocumentLoad, ContentsKeepOnlyStreamsAPageCanShow) {
    const std::string objectStream =
        PdfBuilder::StreamBody("/Type /ObjStm /N 1 /First 5", "20 0 << /A 1 >>");
    const std::string xrefStream = PdfBuilder::StreamBody("/Type /XRef /W [1 1 1] /Size 1", "");
    const std::string cases[] = {
        "/Contents 30 0 R",        "/Contents [ 30 0 R 6 0 R ]", "/Contents [ 6 0 R 31 0 R ]",
        "/Contents 99 0 R",        "/Contents [ 6 0 R 32 0 R ]", "/Contents [ 6 0 R 99 0 R ]",
    };
    for (const std::string& contents : cases) {
        PdfBuilder b = testing::SimpleDocument(1);
        b.Set(5, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << "
                 "/F1 3 0 R >> >> " + contents + " >>");
        b.Set(30, objectStream);
        b.Set(31, xrefStream);
        b.Set(32, "<< /Length 0 >>");
        auto doc = Load(b.Build());
        const std::string saved = Save(*doc);
        auto again = Load(saved);
        EXPECT_FALSE(again->Repaired()) << contents;
        EXPECT_FALSE(again->PageTreeRebuilt()) << contents;
        EXPECT_EQ(again->PageTree().TotalPages(), 1) << contents;
        const bool keepsText = contents.find("6 0 R") != std::string::npos;
        EXPECT_EQ(testing::PageLabels(*again),
                  std::vector<std::string>{keepsText ? "Page 1" : "?"}) << contents;
    }
}

TEST(DocumentSave, BlankDocumentHasTheFixedLayout) {
    LocalDateTime t;
    t.year = 2024;
    ScopedClockOverride clock([&] { return t; });
    TPDFDocument doc;
    doc.NewDocument();
    const std::string bytes = Save(doc);
    ASSERT_EQ(bytes.substr(0, 15), "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    size_t last = 0;
    for (int n = 1; n <= 4; ++n) {
        const size_t at = bytes.find("\n" + std::to_string(n) + " 0 obj\n");
        ASSERT_NE(at, std::string::npos) << n;
        EXPECT_GT(at, last);
        last = at;
    }
    EXPECT_EQ(bytes.find("5 0 obj"), std::string::npos);
    EXPECT_NE(bytes.find("xref\n0 5\n0000000000 65535 f \n"), std::string::npos);
    EXPECT_NE(bytes.find("/Type /Pages\n/Count 1\n/Kids [ 2 0 R ]"), std::string::npos);
    EXPECT_NE(bytes.find("/ProcSet [ /PDF /Text /ImageB /ImageC /ImageI ]"), std::string::npos);
    const size_t trailer = bytes.find("trailer\n");
    ASSERT_NE(trailer, std::string::npos);
    const std::string rest = bytes.substr(trailer);
    EXPECT_NE(rest.find("/Root 3 0 R"), std::string::npos);
    EXPECT_NE(rest.find("/Info 4 0 R"), std::string::npos);
    EXPECT_NE(rest.find("/ID [ <"), std::string::npos);
    EXPECT_EQ(bytes.substr(bytes.size() - 6), "%%EOF\n");
    // Every offset in the table points at its object.
    const size_t table = bytes.find("xref\n0 5\n") + 9;
    for (int n = 1; n <= 4; ++n) {
        const long long offset = std::stoll(bytes.substr(table + 20 * n, 10));
        EXPECT_EQ(bytes.compare(offset, 7, std::to_string(n) + " 0 obj"), 0);
    }
}

TEST(DocumentSave, DissolvesObjectStreamsAndKeepsNumbers) {
    PdfBuilder b = testing::SimpleDocument(2);
    b.Compress(3);
    b.Compress(4);
    auto doc = Load(b.Build(XRefKind::Stream));
    const std::string saved = Save(*doc);
    EXPECT_EQ(saved.find("/ObjStm"), std::string::npos);
    EXPECT_NE(saved.find("\n3 0 obj\n"), std::string::npos);
    EXPECT_NE(saved.find("/Type /XRef"), std::string::npos);  // written like any object
    // Object 9 was the object stream: a free row now. (Selecting page 1 on load gave it a
    // new content stream, so the table runs past the file's own objects.)
    const std::string head = "xref\n0 " + std::to_string(doc->HighestObjectNumber() + 1) + "\n";
    const size_t table = saved.find(head);
    ASSERT_NE(table, std::string::npos);
    EXPECT_EQ(saved.substr(table + head.size() + 20 * 9, 20), "0000000000 00000 f \n");
    auto again = Load(saved);
    EXPECT_EQ(again->PageTree().TotalPages(), 2);
    EXPECT_EQ(PageText(*again, 2), "Page 2");
}

TEST(DocumentSave, GapsBecomeFreeRowsAndSizeFollowsTheHighestNumber) {
    PdfBuilder b = testing::SimpleDocument(1);
    b.Set(9, "<< /Extra true >>");  // 7 and 8 are gaps
    const std::string source = b.Build();
    // Whatever Size the trailer held, or none, the written one is highest + 1.
    for (const char* held : {"99", "3", ""}) {
        auto doc = Load(source);
        if (*held == '\0') {
            doc->Trailer->RemoveKey("Size");
        } else {
            As<TPDFNumeric>(doc->Trailer->GetValue("Size"))->SetValue(std::stod(held));
        }
        const std::string saved = Save(*doc);
        const int32_t highest = doc->HighestObjectNumber();
        EXPECT_NE(saved.find("/Size " + std::to_string(highest + 1) + "\n"), std::string::npos)
            << held;
        const std::string head = "xref\n0 " + std::to_string(highest + 1) + "\n";
        const size_t table = saved.find(head);
        ASSERT_NE(table, std::string::npos);
        auto row = [&](int n) { return saved.substr(table + head.size() + 20 * n, 20); };
        // The free list: 0 -> 7 -> 8 -> end.
        EXPECT_EQ(row(0), "0000000007 65535 f \n");
        EXPECT_EQ(row(7), "0000000008 00000 f \n");
        EXPECT_EQ(row(8), "0000000000 00000 f \n");
        EXPECT_EQ(row(9).substr(10), " 00000 n \n");
        auto again = Load(saved);
        EXPECT_EQ(again->FindObject(7), nullptr);
        EXPECT_NE(As<TPDFDictionary>(again->ResolveObject(9)), nullptr);
    }
}

TEST(DocumentSave, AbsurdlySparseNumbersGetATableOfRuns) {
    PdfBuilder b = testing::SimpleDocument(1);
    const std::string base = b.Build();
    auto doc = Load(b.AppendUpdate(base, {{99999999, "<< /Far true >>"}}));
    const std::string saved = Save(*doc);
    EXPECT_LT(saved.size(), 100000u);
    EXPECT_NE(saved.find("\nxref\n0 "), std::string::npos);
    // The page selected on load got a new content stream, numbered right after it.
    EXPECT_NE(saved.find("\n99999999 2\n"), std::string::npos);
    auto again = Load(saved);
    EXPECT_FALSE(again->Repaired());
    EXPECT_NE(As<TPDFDictionary>(again->ResolveObject(99999999)), nullptr);
    EXPECT_EQ(again->PageTree().TotalPages(), 1);
}

TEST(DocumentSave, AnObjectEndingInCarriageReturnGetsALineFeed) {
    PdfBuilder b = testing::SimpleDocument(1);
    auto doc = Load(b.Build());
    TPDFIndObj* info = doc->FindObject(4);
    info->GetObject();
    info->Obj = doc->Structure->NewString("x", false);
    TPDFIndObj* added = doc->AddObject(doc->Structure->NewName("Name\r"), true);
    (void)added;
    const std::string text = doc->ObjectToText(*doc->FindObject(4));
    EXPECT_EQ(text, "4 0 obj\n(x)\nendobj\n");
    const std::string saved = Save(*doc);
    EXPECT_NE(saved.find("/Name#0D\nendobj"), std::string::npos);
}

TEST(DocumentSave, SetInformationEntryFillsInfoAndMetadata) {
    PdfBuilder b = testing::SimpleDocument(1);
    auto doc = Load(b.Build());
    TPDFString* oldTitle = As<TPDFString>(doc->GetInfo()->GetValue("Title"));
    doc->SetInformationEntry("Title", u"\u626B\u63CF");
    EXPECT_EQ(As<TPDFString>(doc->GetInfo()->GetValue("Title")), oldTitle);  // replaced in place
    EXPECT_EQ(oldTitle->Bytes, std::string("\xFE\xFF\x62\x6B\x63\xCF", 6));
    doc->SetInformationEntry("ModDate", u"D:20240102030405+08'00'");
    auto* metadata = As<TPDFStream>(doc->GetRoot()->GetValue("Metadata", true));
    ASSERT_NE(metadata, nullptr);
    EXPECT_EQ(metadata->StreamDict()->GetType(), "Metadata");
    EXPECT_EQ(As<TPDFName>(metadata->StreamDict()->GetValue("Subtype"))->Text, "XML");
    EXPECT_EQ(metadata->StreamDict()->IndexOf("Filter"), -1);
    const std::string packet(metadata->Data());
    EXPECT_NE(packet.find("2024-01-02T03:04:05+08:00"), std::string::npos);
    EXPECT_EQ(doc->ReadMetadata(), packet);
    // dc:subject goes to the packet only.
    doc->SetInformationEntry("dc:subject", u"scan");
    EXPECT_EQ(doc->GetInfo()->IndexOf("dc:subject"), -1);
}

TEST(DocumentSave, SavingTwiceGivesTheSameBytesAndReloads) {
    PdfBuilder b = testing::SimpleDocument(3);
    auto doc = Load(b.Build(XRefKind::Hybrid));
    const std::string first = Save(*doc);
    const std::string second = Save(*doc);
    EXPECT_EQ(first, second);
    auto again = Load(first);
    EXPECT_EQ(again->PageTree().TotalPages(), 3);
}

TEST(DocumentObjects, AddRemoveAndResolve) {
    TPDFDocument doc;
    doc.NewDocument();
    TPDFIndRef* ref = doc.AddIndirect(doc.Structure->NewName("X"));
    EXPECT_EQ(ref->TargetNumber, 5);
    EXPECT_EQ(doc.Trailer->GetInteger("Size", 0), 6);
    EXPECT_EQ(As<TPDFName>(ref->Resolve())->Text, "X");
    doc.RemoveObject(5, 1);  // wrong generation: nothing
    EXPECT_NE(doc.FindObject(5), nullptr);
    doc.RemoveObject(5, 0);
    EXPECT_EQ(doc.FindObject(5), nullptr);
    EXPECT_EQ(doc.ResolveObject(5), nullptr);
    EXPECT_EQ(doc.GetPagesRoot(), doc.ResolveObject(1));
}

}  // namespace
}  // namespace verava
