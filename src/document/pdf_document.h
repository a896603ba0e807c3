// One open PDF document: the whole file image in memory, its object table of lazily parsed
// indirect objects, the trailer, the object store, the page tree, the security state and the
// XMP metadata component. Loading reads the cross-reference data (or rebuilds them with the
// repair scan), checks passwords, builds the page tree and takes over the XMP packet; saving
// writes every object again with one classic cross-reference table (ISO 32000-1 7.5).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "document/pdf_ind_obj.h"
#include "metadata/velmor_pdf_library_xmp.h"
#include "objects/file_error.h"
#include "objects/integer_lists.h"
#include "objects/keyword_search.h"
#include "objects/pdf_structure.h"
#include "objects/progress.h"
#include "security/pdf_security_handler.h"
#include "structure/pdf_page_tree.h"

namespace verava {

class TStream;
class TVMXRawAnalyser;

struct XRefEntry {
    int32_t number = 0;
    int32_t generation = 0;
    int64_t offset = 0;
    bool inUse = false;
    int32_t streamNumber = 0;
    int32_t streamIndex = 0;
    bool compressed = false;
};

class TPDFDocument : public IPDFObjectOwner {
  public:
    // Results of LoadFromStream.
    static constexpr uint8_t kLoaded = 0;
    static constexpr uint8_t kPasswordRejected = 1;
    static constexpr uint8_t kNotLoadable = 2;

    explicit TPDFDocument(int32_t parserMode = 2);
    ~TPDFDocument() override;
    TPDFDocument(const TPDFDocument&) = delete;
    TPDFDocument& operator=(const TPDFDocument&) = delete;

    // Reads the whole stream from position 0 and opens it with `password` (the empty
    // password is always tried first). Never raises; a failed load leaves the document
    // empty.
    uint8_t LoadFromStream(TStream& stream, const std::u16string& password);
    void ClearDocument();
    // A blank one-page document (US Letter), version 1.4: objects 1 page root, 2 page,
    // 3 catalog, 4 Info, and a trailer with Root, Info and ID.
    void NewDocument();

    TPDFIndObj* FindObject(int32_t number) override;
    TPDFObject* ResolveObject(int32_t number);
    TPDFIndObj* AddObject(TPDFObject* object, bool rebuildIndex);
    TPDFIndRef* AddIndirect(TPDFObject* object);
    void RemoveObject(int32_t number, int32_t generation);
    TPDFDictionary* GetRoot();
    TPDFDictionary* GetPagesRoot();
    TPDFDictionary* GetInfo();
    // The decoded catalog Metadata stream when it is typed /Metadata /XML, else "".
    std::string ReadMetadata();
    // Sets an information entry in Info (except "dc:subject" and "xmpMM:subject"), mirrors
    // it into the XMP packet, and stores the fresh packet as the catalog's Metadata stream
    // unless the document is encrypted.
    void SetInformationEntry(std::string_view key, const std::u16string& value);

    // Writes the document as a complete new file, durably (objects/replacing_file.h): an
    // earlier file of that name is replaced only by a complete one. False when the file
    // cannot be created or writing fails; `error` then says why. `progress` hears of every
    // object written; EOperationCancelled raised there stops the save (nothing is left
    // behind) and passes through.
    bool SaveToFile(const std::u16string& fileName, const TProgressCallback& progress = {},
                    TFileError* error = nullptr);
    // False when writing failed; EOperationCancelled raised by `progress` passes through.
    bool WriteTo(TStream& stream, const TProgressCallback& progress = {});
    std::string ObjectToText(TPDFIndObj& object);

    // Security operations of the loaded document.
    bool NeedsDecryption() override;
    void DecryptIndirect(TPDFIndObj& object) override;
    // Decrypts the object and everything reachable from it through references.
    void DecryptTree(int32_t number);
    // Decrypts every object for good and drops the encryption dictionary.
    bool RemoveEncryption();

    // IPDFObjectOwner.
    const SharedBytes& FileBuffer() const override { return FileData; }
    TPDFStructure& ObjectStore() override { return *Structure; }
    TObjectStreamCache& ObjectStreamCache() override { return objectStreamCache_; }
    size_t FindInFile(std::string_view needle, size_t from, size_t limit) override;
    void NoteScatteredRead(int64_t offset) override;
    void LoadMembersOf(int32_t stream, int depth) override;

    TPDFPageTree& PageTree() { return *pageTree_; }
    TPDFSecurityHandler& Security() { return security_; }
    TVelmorPDFLibraryXMP& Metadata() { return *metadata_; }
    const std::vector<std::unique_ptr<TPDFIndObj>>& Objects() const { return objects_; }
    // True when the file was encrypted (even when it was decrypted for good as it loaded).
    bool WasEncrypted() const { return wasEncrypted_; }
    // True when the object table was rebuilt by the repair scan.
    bool Repaired() const { return repaired_; }
    // True when the file's page tree had to be changed to hold what it holds (lost pages,
    // cycles, wrong counts or parents, a page named as the tree).
    bool PageTreeRebuilt() const { return pageTreeRebuilt_; }
    // The object numbers of pages 1..n in order.
    std::vector<int32_t> PageObjectNumbers() const;
    int32_t HighestObjectNumber() const;
    // The number the next new object gets.
    int32_t FirstUnusedNumber() const;

    TVMXSortedUniqueIntegerList EnteredNumbers;
    std::vector<XRefEntry> XRefEntries;
    std::string Version;
    SharedBytes FileData;  // the whole file, in memory or mapped
    std::unique_ptr<TPDFStructure> Structure;
    TPDFDictionary* Trailer = nullptr;
    int32_t ParserMode;
    std::u16string FileName;

  private:
    uint8_t OpenBuffer(const std::u16string& password);
    bool CheckHeader();
    // Reads the cross-reference data; false when they are damaged or lost entries.
    bool ReadXRef();
    // Reads the trailer's encryption and tries the empty and the given password: kLoaded,
    // or kPasswordRejected.
    uint8_t OpenSecurity(const std::u16string& password);
    // Every object of the file stands where its entry says.
    bool EntriesPointAtTheirObjects();
    // Rebuilds the object table from the object headers found in the file and the object
    // streams among them, with the newest trailer (or, failing that, catalog) found; then
    // opens the encryption. kLoaded, kPasswordRejected or kNotLoadable.
    uint8_t RepairObjectTable(const std::u16string& password);
    void ChooseRepairedTrailer(const TVMXRawAnalyser& scan);
    // The scanned object whose header is the last at or before `position`.
    TPDFIndObj* ObjectAround(int64_t position);
    // Entries for the objects inside the object streams a scan found, where they are newer
    // than any copy standing on its own.
    void AddObjectStreamEntries();
    // Makes the newest catalog with a page tree root the trailer's Root.
    void AdoptNewestCatalog();
    // The catalog and its page tree root resolve (nothing is created on the way).
    bool PageTreeReachable();
    void AddXRefEntry(int32_t number, int32_t generation, char kind, int64_t value);
    void TakeTrailer(const std::string& text);
    void BuildObjectList();
    void BuildNumberIndex();
    void BuildPageTree();
    void ResetObjects();
    void RemoveLinearization();

    std::vector<std::unique_ptr<TPDFIndObj>> objects_;
    std::vector<int32_t> indexNumbers_;
    std::vector<int32_t> indexPositions_;
    std::vector<int32_t> directIndex_;  // by number, when numbers are dense; -1 = none
    TObjectStreamCache objectStreamCache_;
    // Compressed objects by the number of their object stream; made at the first
    // LoadMembersOf.
    std::unordered_map<int32_t, std::vector<TPDFIndObj*>> membersByStream_;
    std::vector<std::string> keywordNeedles_;      // the keywords searched in FileData
    std::vector<TKeywordSearch> keywordSearches_;  // and their searches, in step
    std::vector<int64_t> scatteredReads_;  // offsets read since memory was let go
    std::unique_ptr<TVelmorPDFLibraryXMP> metadata_;
    std::unique_ptr<TPDFPageTree> pageTree_;
    TPDFSecurityHandler security_;
    int32_t highest_ = 0;
    size_t entryLimit_ = size_t{1} << 20;  // entries taken from cross-reference data
    bool repaired_ = false;
    bool pageTreeRebuilt_ = false;
    bool wasEncrypted_ = false;
};

// The text of a document's Info entry or XMP date: the current local time as a PDF date.
std::u16string PdfDateNowText();

}  // namespace verava
