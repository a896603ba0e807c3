// The XMP packet of one document (ISO 16684-1, carried in the catalog's Metadata stream,
// ISO 32000-1 14.3.2) kept as an XML tree, and the document-information values mirrored
// into it. A fresh packet reads, before padding:
//   <?xpacket begin="\uFEFF" id="W5M0MpCehiHzreSzNTczkc9d"?>
//   <x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF ...><rdf:Description xmlns:dc=...>...
//   <?xpacket end="w"?>
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// libxml2's tree types, declared here so that callers need not see libxml2.
struct _xmlDoc;
struct _xmlNode;

namespace verava {

// One XMP property (prefix, namespace name, local name, value shape); the table is in the .cpp.
struct XmpProperty;

class TVelmorPDFLibraryXMP {
  public:
    // Builds the empty packet with its nine empty-valued properties.
    TVelmorPDFLibraryXMP();
    ~TVelmorPDFLibraryXMP();
    TVelmorPDFLibraryXMP(const TVelmorPDFLibraryXMP&) = delete;
    TVelmorPDFLibraryXMP& operator=(const TVelmorPDFLibraryXMP&) = delete;

    // Takes over a packet read from a file. Text that is not well-formed XML (or declares a
    // DTD) leaves the tree and every field as they were.
    void LoadPacket(std::string_view bytes);

    // Each setter does nothing when the value equals the stored one; otherwise it stores the
    // value and writes the property's element anew as the last child of the rdf:Description
    // declaring its namespace. An empty dc:subject or xmpMM:subject only removes the element.
    void SetTitle(const std::u16string& value);
    void SetAuthor(const std::u16string& value);
    void SetSubject(const std::u16string& value);
    void SetKeywords(const std::u16string& value);
    void SetCreator(const std::u16string& value);
    void SetProducer(const std::u16string& value);
    // PDF dates ("D:20240102030405+08'00'") are stored in XMP form (2024-01-02T03:04:05+08:00).
    void SetCreationDate(const std::u16string& value);
    void SetModDate(const std::u16string& value);
    void SetDcSubject(const std::u16string& value);
    void SetXmpMMSubject(const std::u16string& value);
    // Routes a document-information key ("Title", ..., "ModDate", "dc:subject",
    // "xmpMM:subject") to its setter; other keys are ignored.
    void SetProperty(std::string_view infoKey, const std::u16string& value);

    // The packet as UTF-8 with 1024 bytes of padding before the closing instruction; empty
    // when no tree could be built.
    std::string WritePacket() const;

    // A PDF date in XMP form; other text unchanged.
    static std::u16string PdfDateToXmpDate(const std::u16string& value);

    bool Unavailable() const { return unavailable_; }
    const std::u16string& Title() const { return title_; }
    const std::u16string& Author() const { return author_; }
    const std::u16string& Subject() const { return subject_; }
    const std::u16string& Keywords() const { return keywords_; }
    const std::u16string& Creator() const { return creator_; }
    const std::u16string& Producer() const { return producer_; }
    const std::u16string& CreationDate() const { return creationDate_; }
    const std::u16string& ModDate() const { return modDate_; }
    const std::u16string& PdfaId() const { return pdfaId_; }
    const std::u16string& DcSubject() const { return dcSubject_; }
    bool InvoiceFlag() const { return invoiceFlag_; }
    int32_t InvoiceKind() const { return invoiceKind_; }
    const std::u16string& XmpMMSubject() const { return xmpMMSubject_; }

  private:
    struct DocDeleter {
        void operator()(_xmlDoc* doc) const;
    };
    using DocPtr = std::unique_ptr<_xmlDoc, DocDeleter>;

    bool BuildEmptyPacket();
    void SetSelectionNamespaces();
    void ReadFields(std::string_view bytes);
    // The text of the first child of the first node `path` selects; empty when missing.
    std::u16string FirstChildText(const char* path) const;
    // The whole text of the first node `path` selects; empty when missing.
    std::u16string NodeText(const char* path) const;
    // Nodes `path` selects from `context` (the document when null), in document order.
    std::vector<_xmlNode*> Select(const char* path, _xmlNode* context) const;
    _xmlNode* DescriptionFor(const char* namespaceName) const;
    void SetPropertyElement(const XmpProperty& property, const std::u16string& value);
    // The common part of every setter: compare, store, write the element.
    void Assign(std::u16string& field, const std::u16string& value, const XmpProperty& property,
                bool isDate);

    DocPtr dom_;
    bool unavailable_ = false;
    _xmlNode* xmpMeta_ = nullptr;  // inside dom_
    _xmlNode* rdf_ = nullptr;      // inside dom_
    std::u16string title_;
    std::u16string author_;
    std::u16string subject_;
    std::u16string keywords_;
    std::u16string creator_;
    std::u16string producer_;
    std::u16string creationDate_;
    std::u16string modDate_;
    std::u16string pdfaId_;
    std::u16string dcSubject_;
    bool invoiceFlag_ = false;
    int32_t invoiceKind_ = 0;
    std::u16string xmpMMSubject_;
    // Prefix -> namespace name pairs every XPath selection knows, in declaration order.
    std::vector<std::pair<const char*, const char*>> selectionNamespaces_;
};

}  // namespace verava
