#include "metadata/velmor_pdf_library_xmp.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <climits>
#include <exception>
#include <new>

#include "objects/pdf_text.h"

namespace verava {

namespace {

constexpr const char* kNsX = "adobe:ns:meta/";
constexpr const char* kNsRdf = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
constexpr const char* kNsDc = "http://purl.org/dc/elements/1.1/";
constexpr const char* kNsXmp = "http://ns.adobe.com/xap/1.0/";
constexpr const char* kNsPdf = "http://ns.adobe.com/pdf/1.3/";
constexpr const char* kNsPdfaId = "http://www.aiim.org/pdfa/ns/id/";
constexpr const char* kNsPdfaExtension = "http://www.aiim.org/pdfa/ns/extension/";
constexpr const char* kNsPdfaSchema = "http://www.aiim.org/pdfa/ns/schema#";
constexpr const char* kNsPdfaProperty = "http://www.aiim.org/pdfa/ns/property#";
constexpr const char* kNsXmpMM = "http://ns.adobe.com/xap/1.0/mm/";
// Electronic-invoice extension schemas (ZUGFeRD 1.0, ZUGFeRD 2.0, Factur-X 1.0).
constexpr const char* kNsZugferd1 = "urn:ferd:pdfa:CrossIndustryDocument:invoice:1p0#";
constexpr const char* kNsZugferd2 = "urn:zugferd:pdfa:CrossIndustryDocument:invoice:2p0#";
constexpr const char* kNsFacturX = "urn:factur-x:pdfa:CrossIndustryDocument:invoice:1p0#";

constexpr const char* kDescriptions = "/x:xmpmeta/rdf:RDF/rdf:Description";
constexpr const char* kPacketBegin = "begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"";
constexpr const char* kPacketEnd = "end=\"w\"";
constexpr size_t kPaddingSpaces = 1023;

const xmlChar* X(const char* text) { return reinterpret_cast<const xmlChar*>(text); }
const char* C(const xmlChar* text) { return reinterpret_cast<const char*>(text); }

// libxml2's global state is set up once per process and never torn down here: other
// instances may still be alive, and the process may use libxml2 elsewhere.
void EnsureParserInitialised() {
    static const bool initialised = [] {
        xmlInitParser();
        return true;
    }();
    (void)initialised;
}

struct FreeDoc {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
struct FreeParserCtxt {
    void operator()(xmlParserCtxt* ctxt) const { xmlFreeParserCtxt(ctxt); }
};
struct FreeXPathContext {
    void operator()(xmlXPathContext* ctxt) const { xmlXPathFreeContext(ctxt); }
};
struct FreeXPathObject {
    void operator()(xmlXPathObject* object) const { xmlXPathFreeObject(object); }
};
struct FreeXmlChars {
    void operator()(xmlChar* text) const { xmlFree(text); }
};
struct FreeBuffer {
    void operator()(xmlBuffer* buffer) const { xmlBufferFree(buffer); }
};
struct CloseSave {
    void operator()(xmlSaveCtxt* save) const { xmlSaveClose(save); }
};
using OwnedDoc = std::unique_ptr<xmlDoc, FreeDoc>;

void IgnoreXmlError(void*, xmlError*) {}

// An XMP packet has no use for a DTD; refusing one as soon as it starts keeps external
// subsets, external entities and entity-expansion bombs out of the tree altogether.
void RefuseDoctype(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
    *static_cast<bool*>(ctxt->_private) = true;
    xmlStopParser(ctxt);
}

// Parses UTF-8 packet text without network access, DTD loading or entity substitution,
// within libxml2's default size and depth limits (no XML_PARSE_HUGE: at most 256 levels,
// 10 MB per text node). Null unless the text is namespace-well-formed XML without a DTD.
OwnedDoc ParsePacketText(const std::string& text) {
    if (text.size() > static_cast<size_t>(INT_MAX)) return nullptr;
    std::unique_ptr<xmlParserCtxt, FreeParserCtxt> ctxt(
        xmlCreateMemoryParserCtxt(text.data(), static_cast<int>(text.size())));
    if (ctxt == nullptr || ctxt->sax == nullptr) return nullptr;
    bool sawDoctype = false;
    ctxt->_private = &sawDoctype;
    ctxt->sax->internalSubset = RefuseDoctype;
    // The text was decoded as UTF-8 already; a declared encoding must not reinterpret it.
    xmlCtxtUseOptions(ctxt.get(), XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_NOERROR |
                                      XML_PARSE_NOWARNING | XML_PARSE_IGNORE_ENC);
    const int rc = xmlParseDocument(ctxt.get());
    OwnedDoc doc(ctxt->myDoc);
    ctxt->myDoc = nullptr;
    if (rc != 0 || !ctxt->wellFormed || !ctxt->nsWellFormed || sawDoctype) return nullptr;
    return doc;
}

// The namespace to put on a new node under `node`: the one in scope when `prefix` is bound
// to `namespaceName` there, else a fresh declaration on the node itself.
xmlNs* NamespaceFor(xmlNode* node, const char* prefix, const char* namespaceName) {
    xmlNs* ns = xmlSearchNs(node->doc, node, X(prefix));
    if (ns != nullptr && ns->href != nullptr && xmlStrEqual(ns->href, X(namespaceName))) {
        return ns;
    }
    return xmlNewNs(node, X(namespaceName), X(prefix));
}

// Appends a new element prefix:localName to `parent`.
xmlNode* AppendElement(xmlNode* parent, const char* prefix, const char* namespaceName,
                       const char* localName) {
    xmlNode* element = xmlNewDocNode(parent->doc, nullptr, X(localName), nullptr);
    if (element == nullptr) throw std::bad_alloc();
    xmlAddChild(parent, element);
    xmlSetNs(element, NamespaceFor(element, prefix, namespaceName));
    return element;
}

// XML 1.0 allows no C0 control other than TAB, LF and CR; written as character references
// they would make the packet unreadable, so they are left out.
std::string XmlSafeUtf8(const std::u16string& value) {
    std::string bytes = UnicodeToUtf8(value);
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && u != '\t' && u != '\n' && u != '\r') continue;
        out.push_back(c);
    }
    return out;
}

void AppendText(xmlNode* element, const std::string& utf8) {
    if (utf8.empty()) return;
    xmlNode* text = xmlNewDocTextLen(element->doc, X(utf8.c_str()), static_cast<int>(utf8.size()));
    if (text == nullptr) throw std::bad_alloc();
    xmlAddChild(element, text);
}

std::u16string ContentOf(xmlNode* node) {
    std::unique_ptr<xmlChar, FreeXmlChars> content(xmlNodeGetContent(node));
    if (content == nullptr) return {};
    return Utf8ToUnicode(C(content.get()));
}

// 1-based substring that, like Pascal's Copy, yields what exists instead of failing.
std::u16string Copy(const std::u16string& text, size_t position, size_t count) {
    if (position < 1 || position > text.size()) return {};
    return text.substr(position - 1, count);
}

bool EndsWith(const std::u16string& text, std::u16string_view tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail.data(), tail.size()) == 0;
}

}  // namespace

enum class XmpForm { Text, Alt, Seq, Bag };

struct XmpProperty {
    const char* prefix;
    const char* namespaceName;
    const char* localName;
    XmpForm form;
    bool omitWhenEmpty;  // the whole element goes when the value is empty
};

namespace {

constexpr XmpProperty kDcFormat{"dc", kNsDc, "format", XmpForm::Text, false};
constexpr XmpProperty kDcCreator{"dc", kNsDc, "creator", XmpForm::Seq, false};
constexpr XmpProperty kDcDescription{"dc", kNsDc, "description", XmpForm::Alt, false};
constexpr XmpProperty kDcTitle{"dc", kNsDc, "title", XmpForm::Alt, false};
constexpr XmpProperty kXmpCreatorTool{"xmp", kNsXmp, "CreatorTool", XmpForm::Text, false};
constexpr XmpProperty kXmpCreateDate{"xmp", kNsXmp, "CreateDate", XmpForm::Text, false};
constexpr XmpProperty kXmpModifyDate{"xmp", kNsXmp, "ModifyDate", XmpForm::Text, false};
constexpr XmpProperty kPdfKeywords{"pdf", kNsPdf, "Keywords", XmpForm::Text, false};
constexpr XmpProperty kPdfProducer{"pdf", kNsPdf, "Producer", XmpForm::Text, false};
constexpr XmpProperty kDcSubject{"dc", kNsDc, "subject", XmpForm::Bag, true};
constexpr XmpProperty kXmpMMSubject{"xmpMM", kNsXmpMM, "subject", XmpForm::Seq, true};

const char* ContainerName(XmpForm form) {
    switch (form) {
        case XmpForm::Alt:
            return "Alt";
        case XmpForm::Seq:
            return "Seq";
        case XmpForm::Bag:
            return "Bag";
        case XmpForm::Text:
            break;
    }
    return nullptr;
}

}  // namespace

void TVelmorPDFLibraryXMP::DocDeleter::operator()(_xmlDoc* doc) const { xmlFreeDoc(doc); }

TVelmorPDFLibraryXMP::TVelmorPDFLibraryXMP() {
    EnsureParserInitialised();
    try {
        if (!BuildEmptyPacket()) {
            unavailable_ = true;
            xmpMeta_ = rdf_ = nullptr;
            dom_.reset();
        }
    } catch (const std::exception&) {
        unavailable_ = true;
        xmpMeta_ = rdf_ = nullptr;
        dom_.reset();
    }
}

TVelmorPDFLibraryXMP::~TVelmorPDFLibraryXMP() = default;

bool TVelmorPDFLibraryXMP::BuildEmptyPacket() {
    dom_.reset(xmlNewDoc(X("1.0")));
    if (dom_ == nullptr) return false;
    xmlDoc* doc = dom_.get();
    auto* docNode = reinterpret_cast<xmlNode*>(doc);

    xmlNode* begin = xmlNewDocPI(doc, X("xpacket"), X(kPacketBegin));
    if (begin == nullptr) return false;
    xmlAddChild(docNode, begin);

    xmlNode* xmpMeta = xmlNewDocNode(doc, nullptr, X("xmpmeta"), nullptr);
    if (xmpMeta == nullptr) return false;
    xmlAddChild(docNode, xmpMeta);
    xmlSetNs(xmpMeta, xmlNewNs(xmpMeta, X(kNsX), X("x")));
    xmpMeta_ = xmpMeta;
    rdf_ = AppendElement(xmpMeta, "rdf", kNsRdf, "RDF");

    xmlNode* end = xmlNewDocPI(doc, X("xpacket"), X(kPacketEnd));
    if (end == nullptr) return false;
    xmlAddChild(docNode, end);

    SetSelectionNamespaces();
    SetPropertyElement(kDcFormat, u"application/pdf");
    SetPropertyElement(kDcCreator, author_);
    SetPropertyElement(kDcDescription, subject_);
    SetPropertyElement(kDcTitle, title_);
    SetPropertyElement(kXmpCreatorTool, creator_);
    SetPropertyElement(kXmpCreateDate, creationDate_);
    SetPropertyElement(kXmpModifyDate, modDate_);
    SetPropertyElement(kPdfKeywords, keywords_);
    SetPropertyElement(kPdfProducer, producer_);
    return true;
}

void TVelmorPDFLibraryXMP::SetSelectionNamespaces() {
    selectionNamespaces_ = {{"x", kNsX},   {"rdf", kNsRdf}, {"xmp", kNsXmp},
                            {"dc", kNsDc}, {"pdf", kNsPdf}, {"pdfaid", kNsPdfaId}};
    if (invoiceFlag_) {
        if (invoiceKind_ == 1) {
            selectionNamespaces_.emplace_back("zf", kNsZugferd1);
        } else if (invoiceKind_ == 20) {
            selectionNamespaces_.emplace_back("zf", kNsZugferd2);
        } else {
            selectionNamespaces_.emplace_back("fx", kNsFacturX);
        }
    }
    selectionNamespaces_.emplace_back("pdfaExtension", kNsPdfaExtension);
    selectionNamespaces_.emplace_back("pdfaSchema", kNsPdfaSchema);
    selectionNamespaces_.emplace_back("pdfaProperty", kNsPdfaProperty);
    selectionNamespaces_.emplace_back("xmpMM", kNsXmpMM);
}

std::vector<_xmlNode*> TVelmorPDFLibraryXMP::Select(const char* path, _xmlNode* context) const {
    std::vector<_xmlNode*> nodes;
    if (dom_ == nullptr) return nodes;
    std::unique_ptr<xmlXPathContext, FreeXPathContext> xpath(xmlXPathNewContext(dom_.get()));
    if (xpath == nullptr) return nodes;
    // A path with a prefix that is not declared (zf without an invoice schema) selects
    // nothing; libxml2 must not print about it.
    xpath->error = IgnoreXmlError;
    for (const auto& [prefix, namespaceName] : selectionNamespaces_) {
        xmlXPathRegisterNs(xpath.get(), X(prefix), X(namespaceName));
    }
    std::unique_ptr<xmlXPathObject, FreeXPathObject> result(
        context != nullptr ? xmlXPathNodeEval(context, X(path), xpath.get())
                           : xmlXPathEvalExpression(X(path), xpath.get()));
    if (result == nullptr || result->type != XPATH_NODESET || result->nodesetval == nullptr) {
        return nodes;
    }
    const xmlNodeSet* set = result->nodesetval;
    nodes.reserve(static_cast<size_t>(set->nodeNr));
    for (int i = 0; i < set->nodeNr; ++i) nodes.push_back(set->nodeTab[i]);
    return nodes;
}

std::u16string TVelmorPDFLibraryXMP::FirstChildText(const char* path) const {
    const std::vector<_xmlNode*> nodes = Select(path, nullptr);
    if (nodes.empty() || nodes.front()->children == nullptr) return {};
    return ContentOf(nodes.front()->children);
}

std::u16string TVelmorPDFLibraryXMP::NodeText(const char* path) const {
    const std::vector<_xmlNode*> nodes = Select(path, nullptr);
    if (nodes.empty()) return {};
    return ContentOf(nodes.front());
}

_xmlNode* TVelmorPDFLibraryXMP::DescriptionFor(const char* namespaceName) const {
    _xmlNode* found = nullptr;
    for (_xmlNode* node : Select(kDescriptions, nullptr)) {
        // Only prefixed declarations count (xmlns:P="..."), not a default namespace.
        for (const xmlNs* ns = node->nsDef; ns != nullptr; ns = ns->next) {
            if (ns->prefix != nullptr && ns->href != nullptr &&
                xmlStrEqual(ns->href, X(namespaceName))) {
                found = node;
                break;
            }
        }
    }
    return found;
}

void TVelmorPDFLibraryXMP::SetPropertyElement(const XmpProperty& property,
                                              const std::u16string& value) {
    if (dom_ == nullptr) return;
    xmlNode* description = DescriptionFor(property.namespaceName);
    if (description == nullptr) {
        // A packet taken over without x:xmpmeta has no place for new descriptions.
        if (rdf_ == nullptr) return;
        description = AppendElement(rdf_, "rdf", kNsRdf, "Description");
        if (xmlNewNs(description, X(property.namespaceName), X(property.prefix)) == nullptr) {
            throw std::bad_alloc();
        }
    }

    const std::string qualifiedName = std::string(property.prefix) + ":" + property.localName;
    const std::vector<_xmlNode*> old = Select(qualifiedName.c_str(), description);
    if (!old.empty()) {
        xmlUnlinkNode(old.front());
        xmlFreeNode(old.front());
    }

    if (property.omitWhenEmpty && value.empty()) return;
    const std::string utf8 = XmlSafeUtf8(value);
    xmlNode* element =
        AppendElement(description, property.prefix, property.namespaceName, property.localName);
    if (property.form == XmpForm::Text) {
        AppendText(element, utf8);
        return;
    }
    xmlNode* container = AppendElement(element, "rdf", kNsRdf, ContainerName(property.form));
    xmlNode* item = AppendElement(container, "rdf", kNsRdf, "li");
    if (property.form == XmpForm::Alt) xmlNodeSetLang(item, X("x-default"));
    AppendText(item, utf8);
}

void TVelmorPDFLibraryXMP::LoadPacket(std::string_view bytes) {
    if (unavailable_ || bytes.empty()) return;
    try {
        // Invalid UTF-8 becomes U+FFFD rather than failing the whole packet.
        OwnedDoc parsed = ParsePacketText(UnicodeToUtf8(Utf8ToUnicode(bytes)));
        if (parsed == nullptr) return;
        dom_.reset(parsed.release());
        xmpMeta_ = nullptr;
        rdf_ = nullptr;
    } catch (const std::exception&) {
        return;
    }
    try {
        ReadFields(bytes);
    } catch (const std::exception&) {
        // Fields read so far stay.
    }
}

void TVelmorPDFLibraryXMP::ReadFields(std::string_view bytes) {
    if (bytes.find(kNsZugferd1) != std::string_view::npos) {
        invoiceKind_ = 1;
    } else if (bytes.find(kNsZugferd2) != std::string_view::npos) {
        invoiceKind_ = 20;
    } else if (bytes.find(kNsFacturX) != std::string_view::npos) {
        invoiceKind_ = 21;
    } else {
        invoiceKind_ = 0;
    }
    invoiceFlag_ = invoiceKind_ != 0;
    SetSelectionNamespaces();

    const std::vector<_xmlNode*> xmpMeta = Select("/x:xmpmeta", nullptr);
    if (xmpMeta.empty()) {
        invoiceFlag_ = false;
        return;
    }
    xmpMeta_ = xmpMeta.front();
    const std::vector<_xmlNode*> rdf = Select("/x:xmpmeta/rdf:RDF", nullptr);
    rdf_ = !rdf.empty() ? rdf.front() : AppendElement(xmpMeta_, "rdf", kNsRdf, "RDF");

    title_ = FirstChildText("/x:xmpmeta/rdf:RDF/rdf:Description/dc:title/rdf:Alt/rdf:li");
    author_ = FirstChildText("/x:xmpmeta/rdf:RDF/rdf:Description/dc:creator/rdf:Bag/rdf:li");
    if (!Select("/x:xmpmeta/rdf:RDF/rdf:Description/dc:creator/rdf:Seq/rdf:li", nullptr).empty()) {
        author_ = FirstChildText("/x:xmpmeta/rdf:RDF/rdf:Description/dc:creator/rdf:Seq/rdf:li");
    }
    subject_ = FirstChildText("/x:xmpmeta/rdf:RDF/rdf:Description/dc:description/rdf:Alt/rdf:li");
    keywords_ = FirstChildText("/x:xmpmeta/rdf:RDF/rdf:Description/pdf:Keywords");
    creator_ = FirstChildText("/x:xmpmeta/rdf:RDF/rdf:Description/xmp:CreatorTool");
    producer_ = FirstChildText("/x:xmpmeta/rdf:RDF/rdf:Description/pdf:Producer");
    creationDate_ = FirstChildText("/x:xmpmeta/rdf:RDF/rdf:Description/xmp:CreateDate");
    modDate_ = FirstChildText("/x:xmpmeta/rdf:RDF/rdf:Description/xmp:ModifyDate");
    pdfaId_ = FirstChildText("/x:xmpmeta/rdf:RDF/rdf:Description/pdfaid:part") +
              FirstChildText("/x:xmpmeta/rdf:RDF/rdf:Description/pdfaid:conformance");
    dcSubject_ = FirstChildText("/x:xmpmeta/rdf:RDF/rdf:Description/dc:subject/rdf:Bag/rdf:li");
    xmpMMSubject_ =
        FirstChildText("/x:xmpmeta/rdf:RDF/rdf:Description/xmpMM:subject/rdf:Seq/rdf:li");

    // Without an invoice schema neither prefix is declared and nothing is selected.
    const std::u16string documentType =
        NodeText(invoiceKind_ == 21 ? "/x:xmpmeta/rdf:RDF/rdf:Description/fx:DocumentType"
                                    : "/x:xmpmeta/rdf:RDF/rdf:Description/zf:DocumentType");
    invoiceFlag_ = documentType == u"INVOICE";
}

std::u16string TVelmorPDFLibraryXMP::PdfDateToXmpDate(const std::u16string& value) {
    if (value.size() < 2 || value.compare(0, 2, u"D:") != 0) return value;
    // D:YYYYMMDDHHmmSSOHH'mm' with 1-based positions: zone sign at 17, zone minutes 21-22.
    std::u16string result = Copy(value, 3, 4) + u"-" + Copy(value, 7, 2) + u"-" +
                            Copy(value, 9, 2) + u"T" + Copy(value, 11, 2) + u":" +
                            Copy(value, 13, 2) + u":" + Copy(value, 15, 5) + u":" +
                            Copy(value, 21, 2);
    if (EndsWith(result, u"Z:")) {
        result.pop_back();
    } else if (EndsWith(result, u":")) {
        // No zone minutes: a signed zone gets ":00", a date without a zone stays local time
        // (XMP dates may omit the zone; a dangling ':' would be invalid).
        const std::u16string sign = Copy(value, 17, 1);
        if (sign == u"+" || sign == u"-") {
            result += u"00";
        } else {
            result.pop_back();
        }
    }
    return result;
}

void TVelmorPDFLibraryXMP::Assign(std::u16string& field, const std::u16string& value,
                                  const XmpProperty& property, bool isDate) {
    if (unavailable_ || value == field) return;
    try {
        field = isDate ? PdfDateToXmpDate(value) : value;
        SetPropertyElement(property, field);
    } catch (const std::exception&) {
        // Out of memory while building the element: the tree keeps what it had.
    }
}

void TVelmorPDFLibraryXMP::SetTitle(const std::u16string& value) {
    Assign(title_, value, kDcTitle, false);
}
void TVelmorPDFLibraryXMP::SetAuthor(const std::u16string& value) {
    Assign(author_, value, kDcCreator, false);
}
void TVelmorPDFLibraryXMP::SetSubject(const std::u16string& value) {
    Assign(subject_, value, kDcDescription, false);
}
void TVelmorPDFLibraryXMP::SetKeywords(const std::u16string& value) {
    Assign(keywords_, value, kPdfKeywords, false);
}
void TVelmorPDFLibraryXMP::SetCreator(const std::u16string& value) {
    Assign(creator_, value, kXmpCreatorTool, false);
}
void TVelmorPDFLibraryXMP::SetProducer(const std::u16string& value) {
    Assign(producer_, value, kPdfProducer, false);
}
void TVelmorPDFLibraryXMP::SetCreationDate(const std::u16string& value) {
    Assign(creationDate_, value, kXmpCreateDate, true);
}
void TVelmorPDFLibraryXMP::SetModDate(const std::u16string& value) {
    Assign(modDate_, value, kXmpModifyDate, true);
}
void TVelmorPDFLibraryXMP::SetDcSubject(const std::u16string& value) {
    Assign(dcSubject_, value, kDcSubject, false);
}
void TVelmorPDFLibraryXMP::SetXmpMMSubject(const std::u16string& value) {
    Assign(xmpMMSubject_, value, kXmpMMSubject, false);
}

void TVelmorPDFLibraryXMP::SetProperty(std::string_view infoKey, const std::u16string& value) {
    if (infoKey == "Title") {
        SetTitle(value);
    } else if (infoKey == "Author") {
        SetAuthor(value);
    } else if (infoKey == "Subject") {
        SetSubject(value);
    } else if (infoKey == "Keywords") {
        SetKeywords(value);
    } else if (infoKey == "Creator") {
        SetCreator(value);
    } else if (infoKey == "Producer") {
        SetProducer(value);
    } else if (infoKey == "CreationDate") {
        SetCreationDate(value);
    } else if (infoKey == "ModDate") {
        SetModDate(value);
    } else if (infoKey == "dc:subject") {
        SetDcSubject(value);
    } else if (infoKey == "xmpMM:subject") {
        SetXmpMMSubject(value);
    }
}

std::string TVelmorPDFLibraryXMP::WritePacket() const {
    if (unavailable_ || dom_ == nullptr) return {};
    std::string out;
    try {
        std::unique_ptr<xmlBuffer, FreeBuffer> buffer(xmlBufferCreate());
        if (buffer == nullptr) return {};
        {
            std::unique_ptr<xmlSaveCtxt, CloseSave> save(
                xmlSaveToBuffer(buffer.get(), "UTF-8", XML_SAVE_FORMAT));
            if (save == nullptr) return {};
            if (xmlSaveDoc(save.get(), dom_.get()) < 0) return {};
        }  // closing flushes into the buffer
        const xmlChar* content = xmlBufferContent(buffer.get());
        const int length = xmlBufferLength(buffer.get());
        if (content == nullptr || length <= 0) return {};
        out.assign(C(content), static_cast<size_t>(length));
    } catch (const std::exception&) {
        return {};
    }

    // The XML declaration goes: the packet starts with its xpacket instruction. A packet
    // taken over without one loses only the declaration, never its body.
    if (out.compare(0, 5, "<?xml") == 0) {
        const size_t declarationEnd = out.find("?>");
        if (declarationEnd != std::string::npos) {
            size_t cut = declarationEnd + 2;
            while (cut < out.size() &&
                   (out[cut] == '\n' || out[cut] == '\r' || out[cut] == ' ' || out[cut] == '\t')) {
                ++cut;
            }
            out.erase(0, cut);
        }
    }
    std::string packet;
    packet.reserve(out.size() + kPaddingSpaces + 64);
    for (char c : out) {
        if (c == '\t') {
            packet += "  ";
        } else {
            packet.push_back(c);
        }
    }
    // The serialiser ends the document with a line break; the packet ends with its trailer.
    if (!packet.empty() && packet.back() == '\n') packet.pop_back();

    const size_t trailer = packet.rfind("<?xpacket end=");
    if (trailer != std::string::npos && trailer > 0) {
        packet.insert(trailer, std::string(kPaddingSpaces, ' ') + "\n");
    }
    return packet;
}

}  // namespace verava
