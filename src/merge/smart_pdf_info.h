// The information object of one merge input: reads the input's encryption dictionary
// through its merge reader, builds the TSmartPDFCrypt that would decrypt it, tries a
// password, and answers the encryption status query that makes the merge refuse an
// encrypted input. It also installs the reader's two hooks: the new file identifier
// (OnIDCreated) and the decryption of object streams (OnObjectStream).
//   trailer << /Encrypt 9 0 R /ID [<...> <...>] >>   9 0 obj << /Filter /Standard /V 2 ... >>
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "merge/smart_pdf_crypt.h"
#include "merge/smart_pdf_reader.h"

namespace verava {

class TSmartPDFInfo {
  public:
    // Status query codes.
    static constexpr int32_t kQueryEncryption = 0;

    // `reader` must outlive this object; its hooks are removed again on destruction.
    // `count`: also count pages (root Pages "Count") and top-level form fields.
    TSmartPDFInfo(TSmartPDFReader& reader, bool count, const std::u16string& password);
    ~TSmartPDFInfo();
    TSmartPDFInfo(const TSmartPDFInfo&) = delete;
    TSmartPDFInfo& operator=(const TSmartPDFInfo&) = delete;

    // Query 0: 0 no "Encrypt" dictionary, 1 one with a non-zero V, 9 one whose V is 0 or
    // missing (or that cannot be read). Other codes are not supported and answer -1.
    int32_t SecurityStatus(int32_t query) const;

    // Reads `dict` (null: none) into `encryption` with the merge input's rules and returns
    // the EncryptState (0, 1 or 2). `permissions` receives "P".
    static uint8_t ReadEncryption(const TPDFDictionary* dict, TSmartPDFEncryption& encryption,
                                  uint32_t& permissions);

    TSmartPDFReader* Reader = nullptr;
    std::string Version;
    TPDFDictionary* EncryptDict = nullptr;
    uint8_t EncryptState = 0;
    TSmartPDFEncryption Encryption;
    std::unique_ptr<TSmartPDFCrypt> Crypt;
    int32_t PageCount = -1;   // counted only when asked; -1 otherwise or when unknown
    int32_t FieldCount = -1;  // entries of the AcroForm "Fields" array, likewise

  private:
    std::string FirstIdElement() const;
    void Count();
};

}  // namespace verava
