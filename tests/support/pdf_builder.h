// Writes small PDF files in code for tests: objects are given as text, offsets are computed,
// and the cross-reference data can be a classic table, a cross-reference stream (with or
// without a PNG predictor, with an Index), both (a hybrid file), and incremental updates can
// be appended. Damage helpers cut, overwrite or shift bytes at chosen places afterwards.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace verava::testing {

enum class XRefKind {
    Table,                 // "xref" table and "trailer"
    Stream,                // cross-reference stream, W [1 4 2], no filter
    StreamFlatePredicted,  // cross-reference stream, FlateDecode with Predictor 12
    Hybrid,                // table plus an XRefStm stream listing the compressed objects
};

// The standard security handler configurations the builder can write (ISO 32000-1 7.6.3,
// ISO 32000-2 7.6.4): RC4 revision 2 and 3, AES-128 revision 4, AES-256 revision 6.
enum class Cipher { Rc4_40, Rc4_128, Aes128, Aes256 };

// What one kind of data of a revision 4 file is encrypted with (a crypt filter's CFM).
enum class CryptMethod { Identity, Rc4, Aes128 };
// The crypt filter of each kind of data (ISO 32000-1 7.6.5). StrF, StmF and EFF name /Identity
// or a filter of CF with 16-byte keys: "StdCF" (CFM AESV2) or "ArcCF" (CFM V2).
struct CryptFilterKinds {
    CryptMethod strings = CryptMethod::Aes128;
    CryptMethod streams = CryptMethod::Aes128;
    bool writeEff = false;  // without EFF, embedded files follow StmF
    CryptMethod embeddedFiles = CryptMethod::Aes128;
};

class PdfBuilder {
  public:
    explicit PdfBuilder(std::string version = "1.4");

    // "N G obj\n" + body + "\nendobj\n"; Add numbers from 1 up.
    int Add(std::string body);
    void Set(int number, std::string body, int generation = 0);
    // A stream object body: "<< entries /Length n >>\nstream\n" + data + "\nendstream".
    static std::string StreamBody(std::string_view entries, std::string_view data);
    // The object goes into an object stream when the cross-reference data are a stream
    // (its own generation must be 0).
    void Compress(int number);

    // Encrypts the file with the passwords given (as bytes): strings written in literal form
    // "(...)" and stream data of every object (object streams as a whole, never the
    // cross-reference stream), with an encryption dictionary of its own and a fixed ID.
    // Call after the objects are set; Build then writes the file encrypted.
    void Encrypt(Cipher cipher, const std::string& userPassword,
                 const std::string& ownerPassword);
    // The same as revision 4 with crypt filters chosen per kind: strings by StrF; streams
    // whose dictionary says "/Type /EmbeddedFile" by EFF; a stream whose dictionary holds
    // "/Crypt" by the filter its "/Name /X" gives (Identity for any other); other streams by
    // StmF.
    void EncryptByKind(const CryptFilterKinds& kinds, const std::string& userPassword,
                       const std::string& ownerPassword);

    // Extra trailer entries, e.g. "/Root 1 0 R /Info 2 0 R"; /Size is added.
    std::string TrailerEntries;
    // Bytes written in front of "%PDF-".
    std::string Prefix;
    // What ends each table row after its 18 significant bytes: " \n" (20-byte rows), "\r\n",
    // or " \r\n" (21 bytes, written by some tools).
    std::string RowEnd = " \n";

    std::string Build(XRefKind kind = XRefKind::Table);

    // Appends an incremental update to `base` (which this builder produced last): the
    // objects given replace or add objects, with a new section whose Prev points back.
    std::string AppendUpdate(const std::string& base, const std::map<int, std::string>& objects,
                             XRefKind kind = XRefKind::Table, std::string trailerEntries = "");

    // Position of "N G obj" in the last built file (after Prefix), -1 when absent.
    int64_t OffsetOf(int number) const;
    int64_t StartXRef() const { return startXRef_; }
    int NextNumber() const { return next_; }

  private:
    // The body as written: encrypted with the object's key when the file is encrypted.
    std::string Written(int number, int generation, const std::string& body) const;

    struct Object {
        int generation = 0;
        std::string body;
    };
    std::string version_;
    std::map<int, Object> objects_;
    std::set<int> compressed_;
    std::map<int, int64_t> offsets_;
    int64_t startXRef_ = 0;
    int next_ = 1;
    int64_t lastSize_ = 0;
    // Encryption: the cipher, the file key and the encryption dictionary's number (0: none).
    Cipher cipher_ = Cipher::Rc4_40;
    std::optional<CryptFilterKinds> kinds_;  // when EncryptByKind chose them
    std::string fileKey_;
    int encryptNumber_ = 0;
};

// A document of `pages` pages in a flat page tree; page k shows the text "Page k" (checked
// with pdftotext). Objects: 1 catalog, 2 pages root, 3 font, 4 info, then page and content
// pairs. `pageTextPrefix` changes the text ("Odd 1", ...).
PdfBuilder SimpleDocument(int pages, const std::string& pageTextPrefix = "Page");

// SimpleDocument with two attached files (ISO 32000-1 7.11.4): "notes.txt" holds "attached
// notes", "plain.txt" "stored as is" in a stream whose own Crypt filter names Identity (left
// unencrypted in an encrypted file, 7.4.10); the last object but three and the last but one.
PdfBuilder DocumentWithAttachments(int pages);

// One row of a cross-reference stream with W [1 4 2] (type, offset or object stream number,
// generation or index), for files written by hand.
std::string XRefStreamRow(int type, int64_t field2, int field3);

// Damage helpers.
std::string Overwrite(std::string bytes, size_t offset, std::string_view text);
std::string InsertAt(std::string bytes, size_t offset, std::string_view text);
std::string Truncate(std::string bytes, size_t length);

// Files for tests that use external tools.
std::string WriteTempFile(const std::string& name, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
// Runs a shell command; returns its standard output, and the exit status through `status`.
std::string RunCommand(const std::string& command, int* status = nullptr);
bool HaveTool(const std::string& tool);
// Runs `program` with `args`, written as for a POSIX shell (blanks between arguments, 'single
// quotes' around one with blanks), and its standard error into `errFile`; returns its
// standard output, and the exit status through `status`. On Windows no shell is asked: the
// arguments reach the program as they would from one.
std::string RunProgram(const std::string& program, const std::string& args,
                       const std::string& errFile, int* status = nullptr);

}  // namespace verava::testing
