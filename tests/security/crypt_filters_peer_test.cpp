// Files whose crypt filters differ by kind of data (ISO 32000-1 7.6.5): strings, streams and
// embedded files each by a filter of their own or Identity, and an attachment whose own Crypt
// filter names Identity. qpdf, and poppler through qpdf's decrypted copy (poppler 22 reads no
// revision 4 file whose kinds differ), must read what the file as built holds in the file we
// save from it: a reading of the standard the builder and the loader shared but qpdf does not
// would show here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/pdf_document.h"
#include "objects/stream.h"
#include "support/pdf_builder.h"
#include "support/pdf_tools.h"
#include "support/requirements.h"

namespace verava {
namespace {

using testing::CryptMethod;
using testing::Quote;

// What qpdf and poppler make of `path` opened with the user password: whether qpdf --check
// passes, the attachments (notes.txt where qpdf can: qpdf 11.3 decrypts an embedded file
// stream by StmF, not by EFF, so only our own reading speaks for it where the two differ), the
// title, and the page texts in order.
std::string Look(const std::string& path, bool notes) {
    const std::string qpdf = "qpdf --password=usr ", in = Quote(path) + " ";
    const std::string copy = Quote(path + ".decrypted.pdf") + " ";
    return testing::RunCommand(
        qpdf + "--check " + in + ">/dev/null 2>&1; echo check $?; " +
        (notes ? qpdf + "--show-attachment=notes.txt " + in + "; echo; " : "") + qpdf +
        "--show-attachment=plain.txt " + in + "; echo; " + qpdf + "--decrypt " + in + copy +
        "; pdfinfo " + copy + "| sed -n 's/^Title: *//p'; pdftotext " + copy +
        "- | grep -o 'Page [0-9]'");
}

TEST(CryptFiltersPeer, ToolsReadInOurSavedFilesWhatTheInputsHold) {
    VERAVA_REQUIRE_TOOLS("qpdf", "pdftotext", "pdfinfo");
    const CryptMethod id = CryptMethod::Identity, rc4 = CryptMethod::Rc4, aes = CryptMethod::Aes128;
    const testing::CryptFilterKinds layouts[] = {
        {aes, id},           {rc4, aes}, {aes, rc4}, {id, rc4}, {aes, aes, true, rc4},
        {id, id, true, aes}, {id, id},   {aes, aes},
    };
    int index = 0;
    for (const auto& kinds : layouts) {
        for (testing::XRefKind xref : {testing::XRefKind::Table, testing::XRefKind::Stream}) {
            const std::string tag = std::to_string(index++);
            SCOPED_TRACE("layout and cross-reference kind " + tag);
            testing::PdfBuilder b = testing::DocumentWithAttachments(3);
            // With a cross-reference stream, the catalog and info go into an object stream.
            if (xref == testing::XRefKind::Stream) {
                b.Compress(1);
                b.Compress(4);
            }
            b.EncryptByKind(kinds, "usr", "own");
            // Saved with its pages reversed, as the reverse job saves it.
            TPDFDocument document;
            TMemoryStream in(b.Build(xref)), saved;
            ASSERT_EQ(document.LoadFromStream(in, u"usr"), TPDFDocument::kLoaded);
            ASSERT_TRUE(document.PageTree().Reorder({3, 2, 1}) && document.WriteTo(saved));
            const bool notes = !kinds.writeEff || kinds.embeddedFiles == kinds.streams;
            EXPECT_EQ(Look(testing::WriteTempFile("cf-out-" + tag + ".pdf", saved.Data()), notes),
                      std::string("check 0\n") + (notes ? "attached notes\n" : "") +
                          "stored as is\nTest document\nPage 3\nPage 2\nPage 1\n");
        }
    }
}

}  // namespace
}  // namespace verava
