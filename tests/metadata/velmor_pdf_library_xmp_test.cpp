#include "metadata/velmor_pdf_library_xmp.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/requirements.h"

namespace verava {
namespace {

const char* kRdf = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
const std::string kTrailer = std::string(1023, ' ') + "\n<?xpacket end=\"w\"?>";

// Reads a written packet back with libxml2 directly, independent of the component.
class Parsed {
  public:
    explicit Parsed(const std::string& bytes)
        : doc_(xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, "UTF-8",
                             XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_NOERROR),
               xmlFreeDoc) {}
    bool Ok() const { return doc_ != nullptr; }

    // Nodes selected by an XPath over the standard prefixes.
    std::vector<xmlNode*> Nodes(const std::string& path) const {
        std::vector<xmlNode*> out;
        if (!doc_) return out;
        std::unique_ptr<xmlXPathContext, decltype(&xmlXPathFreeContext)> ctx(
            xmlXPathNewContext(doc_.get()), xmlXPathFreeContext);
        const std::map<std::string, std::string> ns = {
            {"x", "adobe:ns:meta/"},
            {"rdf", kRdf},
            {"dc", "http://purl.org/dc/elements/1.1/"},
            {"xmp", "http://ns.adobe.com/xap/1.0/"},
            {"pdf", "http://ns.adobe.com/pdf/1.3/"},
            {"xmpMM", "http://ns.adobe.com/xap/1.0/mm/"}};
        for (const auto& [p, uri] : ns) {
            xmlXPathRegisterNs(ctx.get(), BAD_CAST p.c_str(), BAD_CAST uri.c_str());
        }
        std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)> result(
            xmlXPathEvalExpression(BAD_CAST path.c_str(), ctx.get()), xmlXPathFreeObject);
        if (result && result->nodesetval) {
            for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
                out.push_back(result->nodesetval->nodeTab[i]);
            }
        }
        return out;
    }

    size_t Count(const std::string& path) const { return Nodes(path).size(); }

    // Text of the first selected node; "<missing>" when nothing is selected.
    std::string Text(const std::string& path) const {
        const auto nodes = Nodes(path);
        if (nodes.empty()) return "<missing>";
        std::unique_ptr<xmlChar, void (*)(xmlChar*)> text(xmlNodeGetContent(nodes.front()),
                                                          [](xmlChar* t) { xmlFree(t); });
        return text ? reinterpret_cast<const char*>(text.get()) : "";
    }

    // "namespace-uri local-name" of every property, description by description.
    std::vector<std::string> Properties() const {
        std::vector<std::string> out;
        for (xmlNode* d : Nodes("/x:xmpmeta/rdf:RDF/rdf:Description")) {
            for (xmlNode* c = d->children; c; c = c->next) {
                if (c->type != XML_ELEMENT_NODE) continue;
                out.push_back(std::string(c->ns ? reinterpret_cast<const char*>(c->ns->href) : "") +
                              " " + reinterpret_cast<const char*>(c->name));
            }
        }
        return out;
    }

  private:
    std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc_;
};

std::string Dc(const char* local) {
    return std::string("http://purl.org/dc/elements/1.1/ ") + local;
}
std::string Xmp(const char* local) { return std::string("http://ns.adobe.com/xap/1.0/ ") + local; }
std::string Pdf(const char* local) { return std::string("http://ns.adobe.com/pdf/1.3/ ") + local; }

// A packet as other producers write it, wrapped in xpacket instructions.
std::string Packet(const std::string& descriptions) {
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
           " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n" +
           descriptions +
           " </rdf:RDF>\n"
           "</x:xmpmeta>\n"
           "<?xpacket end=\"w\"?>";
}

// xmllint --noout, an independent parser, must accept the bytes.
void ExpectXmllintAccepts(const std::string& bytes) {
    VERAVA_REQUIRE_TOOLS("xmllint");
    const std::string path =
        ::testing::TempDir() + "xmp_packet_check_" + std::to_string(getpid()) + ".xml";
    {
        std::ofstream f(path, std::ios::binary);
        f << bytes;
    }
    const int rc = std::system(("xmllint --noout --nonet '" + path + "' 2>/dev/null").c_str());
    std::remove(path.c_str());
    EXPECT_EQ(rc, 0) << bytes;
}

TEST(VelmorPdfLibraryXmpTest, EmptyPacketHoldsNinePropertiesInOrderWithEmptyValues) {
    TVelmorPDFLibraryXMP xmp;
    ASSERT_FALSE(xmp.Unavailable());
    const std::string bytes = xmp.WritePacket();
    Parsed parsed(bytes);
    ASSERT_TRUE(parsed.Ok()) << bytes;
    const std::vector<std::string> expected = {
        Dc("format"),      Dc("creator"),     Dc("description"), Dc("title"),    Xmp("CreatorTool"),
        Xmp("CreateDate"), Xmp("ModifyDate"), Pdf("Keywords"),   Pdf("Producer")};
    EXPECT_EQ(parsed.Properties(), expected);
    EXPECT_EQ(parsed.Text("//dc:format"), "application/pdf");
    EXPECT_EQ(parsed.Text("//dc:creator/rdf:Seq/rdf:li"), "");
    EXPECT_EQ(parsed.Text("//dc:description/rdf:Alt/rdf:li[@xml:lang='x-default']"), "");
    EXPECT_EQ(parsed.Text("//dc:title/rdf:Alt/rdf:li[@xml:lang='x-default']"), "");
    for (const char* empty : {"//xmp:CreatorTool", "//xmp:CreateDate", "//xmp:ModifyDate",
                              "//pdf:Keywords", "//pdf:Producer"}) {
        EXPECT_EQ(parsed.Text(empty), "") << empty;
    }
    // One description per namespace, each declaring it.
    EXPECT_EQ(parsed.Count("/x:xmpmeta/rdf:RDF/rdf:Description"), 3u);
    EXPECT_TRUE(xmp.Title().empty());
    EXPECT_FALSE(xmp.InvoiceFlag());
    EXPECT_EQ(xmp.InvoiceKind(), 0);
}

TEST(VelmorPdfLibraryXmpTest, WrittenPacketIsFramedByXpacketInstructionsWithPadding) {
    TVelmorPDFLibraryXMP xmp;
    xmp.SetProducer(u"VERava 18.11");
    const std::string bytes = xmp.WritePacket();
    // No XML declaration and no byte-order mark: the packet header comes first.
    const std::string header = "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>";
    EXPECT_EQ(bytes.compare(0, header.size(), header), 0) << bytes.substr(0, 80);
    EXPECT_EQ(bytes.find("<?xml"), std::string::npos);
    // Exactly 1023 spaces and one LF before the closing instruction, which ends the packet.
    ASSERT_GT(bytes.size(), kTrailer.size() + 1);
    EXPECT_EQ(bytes.substr(bytes.size() - kTrailer.size()), kTrailer);
    EXPECT_NE(bytes[bytes.size() - kTrailer.size() - 1], ' ');
    EXPECT_EQ(bytes.find("<?xpacket end="), bytes.size() - 19);
    ExpectXmllintAccepts(bytes);
    Parsed parsed(bytes);
    ASSERT_TRUE(parsed.Ok());
    EXPECT_EQ(parsed.Text("//pdf:Producer"), "VERava 18.11");
}

TEST(VelmorPdfLibraryXmpTest, TabsInTheWrittenPacketBecomeTwoSpaces) {
    TVelmorPDFLibraryXMP xmp;
    xmp.SetKeywords(u"odd\teven");
    const std::string bytes = xmp.WritePacket();
    EXPECT_EQ(bytes.find('\t'), std::string::npos);
    EXPECT_NE(bytes.find("odd  even"), std::string::npos);
    EXPECT_EQ(xmp.Keywords(), u"odd\teven");
}

TEST(VelmorPdfLibraryXmpTest, SettingAPropertyAgainMovesItToTheEndOfItsDescription) {
    TVelmorPDFLibraryXMP xmp;
    xmp.SetTitle(u"Scan");
    xmp.SetAuthor(u"Li");
    const std::string before = xmp.WritePacket();
    {
        // The same value again changes nothing: dc:title stays before dc:creator.
        xmp.SetTitle(u"Scan");
        EXPECT_EQ(xmp.WritePacket(), before);
        Parsed parsed(before);
        const std::vector<std::string> dc = {Dc("format"), Dc("description"), Dc("title"),
                                             Dc("creator")};
        auto props = parsed.Properties();
        props.resize(4);
        EXPECT_EQ(props, dc);
    }
    {
        // A new value replaces the element, now last among the Dublin Core properties.
        xmp.SetTitle(u"Scan 2");
        Parsed parsed(xmp.WritePacket());
        auto props = parsed.Properties();
        props.resize(4);
        const std::vector<std::string> dc = {Dc("format"), Dc("description"), Dc("creator"),
                                             Dc("title")};
        EXPECT_EQ(props, dc);
        EXPECT_EQ(parsed.Count("//dc:title"), 1u);
        EXPECT_EQ(parsed.Text("//dc:title/rdf:Alt/rdf:li"), "Scan 2");
        EXPECT_EQ(xmp.Title(), u"Scan 2");
    }
}

TEST(VelmorPdfLibraryXmpTest, EmptySubjectListsRemoveTheirElement) {
    TVelmorPDFLibraryXMP xmp;
    xmp.SetDcSubject(u"invoice");
    xmp.SetXmpMMSubject(u"batch 7");
    {
        Parsed parsed(xmp.WritePacket());
        EXPECT_EQ(parsed.Text("//dc:subject/rdf:Bag/rdf:li"), "invoice");
        EXPECT_EQ(parsed.Text("//xmpMM:subject/rdf:Seq/rdf:li"), "batch 7");
        // No description declared xmpMM: a new one was appended for it.
        auto last = parsed.Nodes("/x:xmpmeta/rdf:RDF/rdf:Description[last()]/*");
        ASSERT_EQ(last.size(), 1u);
        EXPECT_STREQ(reinterpret_cast<const char*>(last[0]->name), "subject");
    }
    xmp.SetDcSubject(u"");
    xmp.SetXmpMMSubject(u"");
    Parsed parsed(xmp.WritePacket());
    EXPECT_EQ(parsed.Count("//dc:subject"), 0u);
    EXPECT_EQ(parsed.Count("//xmpMM:subject"), 0u);
    EXPECT_EQ(parsed.Count("//rdf:Bag"), 0u);
    EXPECT_TRUE(xmp.DcSubject().empty());
}

TEST(VelmorPdfLibraryXmpTest, NewPropertiesGoToTheLastDescriptionDeclaringTheirNamespace) {
    TVelmorPDFLibraryXMP xmp;
    xmp.LoadPacket(
        Packet("  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
               "   <dc:format>application/pdf</dc:format>\n"
               "  </rdf:Description>\n"
               "  <rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">\n"
               "   <xmp:CreatorTool>Scanner</xmp:CreatorTool>\n"
               "  </rdf:Description>\n"
               "  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
               "   <dc:rights>none</dc:rights>\n"
               "  </rdf:Description>\n"));
    EXPECT_EQ(xmp.Creator(), u"Scanner");
    xmp.SetTitle(u"Second");
    xmp.SetProducer(u"P");
    const std::string bytes = xmp.WritePacket();
    Parsed parsed(bytes);
    ASSERT_TRUE(parsed.Ok()) << bytes;
    EXPECT_EQ(parsed.Count("/x:xmpmeta/rdf:RDF/rdf:Description[1]/dc:title"), 0u);
    EXPECT_EQ(parsed.Text("/x:xmpmeta/rdf:RDF/rdf:Description[3]/dc:title/rdf:Alt/rdf:li"),
              "Second");
    EXPECT_EQ(parsed.Text("/x:xmpmeta/rdf:RDF/rdf:Description[3]/dc:rights"), "none");
    // pdf was declared nowhere: a fourth description carries it.
    EXPECT_EQ(parsed.Text("/x:xmpmeta/rdf:RDF/rdf:Description[4]/pdf:Producer"), "P");
    // The loaded packet's indentation does not survive as stray text: it is re-indented.
    EXPECT_NE(bytes.find("\n      <dc:title>\n"), std::string::npos) << bytes;
    ExpectXmllintAccepts(bytes);
}

TEST(VelmorPdfLibraryXmpTest, DescriptionDeclaringDcUnderAnotherPrefixGetsADcElement) {
    TVelmorPDFLibraryXMP xmp;
    xmp.LoadPacket(
        Packet("<rdf:Description rdf:about=\"\" "
               "xmlns:purl=\"http://purl.org/dc/elements/1.1/\"><purl:format>a</purl:format>"
               "</rdf:Description>"));
    xmp.SetTitle(u"T");
    Parsed parsed(xmp.WritePacket());
    ASSERT_TRUE(parsed.Ok());
    EXPECT_EQ(parsed.Count("/x:xmpmeta/rdf:RDF/rdf:Description"), 1u);
    EXPECT_EQ(parsed.Text("/x:xmpmeta/rdf:RDF/rdf:Description/dc:title/rdf:Alt/rdf:li"), "T");
}

TEST(VelmorPdfLibraryXmpTest, LoadedPacketFieldsAreRead) {
    TVelmorPDFLibraryXMP xmp;
    xmp.LoadPacket(Packet(
        "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
        "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Quarterly report</rdf:li></rdf:Alt>"
        "</dc:title>"
        "<dc:creator><rdf:Bag><rdf:li>Bag author</rdf:li></rdf:Bag></dc:creator>"
        "<dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">About Q3</rdf:li></rdf:Alt>"
        "</dc:description>"
        "<dc:subject><rdf:Bag><rdf:li>finance</rdf:li><rdf:li>q3</rdf:li></rdf:Bag>"
        "</dc:subject></rdf:Description>"
        "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
        "<dc:creator><rdf:Seq><rdf:li>Seq author</rdf:li></rdf:Seq></dc:creator>"
        "</rdf:Description>"
        "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">"
        "<xmp:CreatorTool>Writer</xmp:CreatorTool>"
        "<xmp:CreateDate>2023-05-06T07:08:09+02:00</xmp:CreateDate>"
        "<xmp:ModifyDate>2023-05-07T07:08:09Z</xmp:ModifyDate></rdf:Description>"
        "<rdf:Description rdf:about=\"\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\">"
        "<pdf:Keywords>a; b</pdf:Keywords><pdf:Producer>Distiller &amp; co</pdf:Producer>"
        "</rdf:Description>"
        "<rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\">"
        "<pdfaid:part>2</pdfaid:part><pdfaid:conformance>B</pdfaid:conformance>"
        "</rdf:Description>"
        "<rdf:Description rdf:about=\"\" xmlns:xmpMM=\"http://ns.adobe.com/xap/1.0/mm/\">"
        "<xmpMM:subject><rdf:Seq><rdf:li>s1</rdf:li></rdf:Seq></xmpMM:subject>"
        "</rdf:Description>"));
    EXPECT_EQ(xmp.Title(), u"Quarterly report");
    EXPECT_EQ(xmp.Author(), u"Seq author");  // the Seq form wins over the Bag form
    EXPECT_EQ(xmp.Subject(), u"About Q3");
    EXPECT_EQ(xmp.Keywords(), u"a; b");
    EXPECT_EQ(xmp.Creator(), u"Writer");
    EXPECT_EQ(xmp.Producer(), u"Distiller & co");
    EXPECT_EQ(xmp.CreationDate(), u"2023-05-06T07:08:09+02:00");
    EXPECT_EQ(xmp.ModDate(), u"2023-05-07T07:08:09Z");
    EXPECT_EQ(xmp.PdfaId(), u"2B");
    EXPECT_EQ(xmp.DcSubject(), u"finance");
    EXPECT_EQ(xmp.XmpMMSubject(), u"s1");
    EXPECT_FALSE(xmp.InvoiceFlag());
    EXPECT_EQ(xmp.InvoiceKind(), 0);

    // A field read from the packet counts as unchanged for its setter.
    const std::string before = xmp.WritePacket();
    xmp.SetTitle(u"Quarterly report");
    EXPECT_EQ(xmp.WritePacket(), before);
}

TEST(VelmorPdfLibraryXmpTest, BagAuthorIsReadWhenThereIsNoSeq) {
    TVelmorPDFLibraryXMP xmp;
    xmp.LoadPacket(
        Packet("<rdf:Description xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
               "<dc:creator><rdf:Bag><rdf:li>Only bag</rdf:li></rdf:Bag></dc:creator>"
               "</rdf:Description>"));
    EXPECT_EQ(xmp.Author(), u"Only bag");
    EXPECT_TRUE(xmp.Title().empty());
}

TEST(VelmorPdfLibraryXmpTest, PdfDatesAreWrittenInXmpForm) {
    struct Case {
        std::u16string pdf;
        std::u16string xmp;
    };
    const Case cases[] = {
        {u"D:20240102030405+08'00'", u"2024-01-02T03:04:05+08:00"},
        {u"D:20240102030405-05'30'", u"2024-01-02T03:04:05-05:30"},
        {u"D:20240102030405Z", u"2024-01-02T03:04:05Z"},
        {u"D:20240102030405Z00'00'", u"2024-01-02T03:04:05Z00:00"},
        // Not a PDF date: taken as it is.
        {u"2024-01-02T03:04:05Z", u"2024-01-02T03:04:05Z"},
        {u"yesterday", u"yesterday"},
        // Without zone minutes or zone: still a valid XMP date.
        {u"D:20240102030405+08", u"2024-01-02T03:04:05+08:00"},
        {u"D:20240102030405", u"2024-01-02T03:04:05"},
    };
    for (const Case& c : cases) {
        TVelmorPDFLibraryXMP xmp;
        xmp.SetModDate(c.pdf);
        xmp.SetCreationDate(c.pdf);
        EXPECT_EQ(xmp.ModDate(), c.xmp);
        EXPECT_EQ(xmp.CreationDate(), c.xmp);
        Parsed parsed(xmp.WritePacket());
        std::u16string written;
        for (char ch : parsed.Text("//xmp:ModifyDate")) written.push_back(ch);
        EXPECT_EQ(written, c.xmp);
        EXPECT_EQ(parsed.Text("//xmp:CreateDate"), parsed.Text("//xmp:ModifyDate"));
    }
}

TEST(VelmorPdfLibraryXmpTest, InvoiceSchemasAreDetected) {
    struct Case {
        const char* namespaceName;
        const char* prefix;
        int32_t kind;
    };
    const Case cases[] = {
        {"urn:ferd:pdfa:CrossIndustryDocument:invoice:1p0#", "zf", 1},
        {"urn:zugferd:pdfa:CrossIndustryDocument:invoice:2p0#", "zf", 20},
        // ZUGFeRD 2.0 files often use the fx prefix; the namespace decides.
        {"urn:zugferd:pdfa:CrossIndustryDocument:invoice:2p0#", "fx", 20},
        {"urn:factur-x:pdfa:CrossIndustryDocument:invoice:1p0#", "fx", 21},
    };
    for (const Case& c : cases) {
        for (const char* type : {"INVOICE", "ORDER"}) {
            const std::string p = c.prefix;
            TVelmorPDFLibraryXMP xmp;
            xmp.LoadPacket(Packet("<rdf:Description rdf:about=\"\" xmlns:" + p + "=\"" +
                                  c.namespaceName + "\"><" + p + ":DocumentType>" + type + "</" +
                                  p + ":DocumentType><" + p + ":ConformanceLevel>BASIC</" + p +
                                  ":ConformanceLevel></rdf:Description>"));
            EXPECT_EQ(xmp.InvoiceKind(), c.kind) << c.namespaceName;
            EXPECT_EQ(xmp.InvoiceFlag(), std::string(type) == "INVOICE")
                << c.namespaceName << " " << type;
        }
    }
    {
        // Factur-X named but the document type under another namespace: no invoice.
        TVelmorPDFLibraryXMP xmp;
        xmp.LoadPacket(
            Packet("<rdf:Description xmlns:pdfaSchema=\"http://www.aiim.org/pdfa/ns/schema#\" "
                   "xmlns:zz=\"urn:other\"><pdfaSchema:namespaceURI>"
                   "urn:factur-x:pdfa:CrossIndustryDocument:invoice:1p0#</pdfaSchema:namespaceURI>"
                   "<zz:DocumentType>INVOICE</zz:DocumentType></rdf:Description>"));
        EXPECT_EQ(xmp.InvoiceKind(), 21);
        EXPECT_FALSE(xmp.InvoiceFlag());
    }
}

TEST(VelmorPdfLibraryXmpTest, MalformedPacketLeavesTreeAndFieldsUntouched) {
    const std::string malformed[] = {
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF>",                    // unterminated
        "not xml at all",                                                     // no markup
        Packet("<rdf:Description><dc:title>x</dc:title></rdf:Description>"),  // dc unbound
        Packet("<rdf:Description xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
               "<dc:title>a</dc:format></rdf:Description>"),  // mismatched tags
    };
    for (const std::string& bytes : malformed) {
        TVelmorPDFLibraryXMP xmp;
        xmp.SetTitle(u"Keep me");
        xmp.SetModDate(u"D:20240102030405Z");
        const std::string before = xmp.WritePacket();
        xmp.LoadPacket(bytes);
        EXPECT_EQ(xmp.Title(), u"Keep me") << bytes;
        EXPECT_EQ(xmp.ModDate(), u"2024-01-02T03:04:05Z");
        EXPECT_EQ(xmp.WritePacket(), before) << bytes;
        // Setters still work on the kept tree.
        xmp.SetAuthor(u"A");
        EXPECT_EQ(Parsed(xmp.WritePacket()).Text("//dc:creator/rdf:Seq/rdf:li"), "A");
    }
    {
        // Empty input is ignored.
        TVelmorPDFLibraryXMP xmp;
        xmp.SetTitle(u"Keep me");
        xmp.LoadPacket("");
        EXPECT_EQ(xmp.Title(), u"Keep me");
    }
}

TEST(VelmorPdfLibraryXmpTest, PacketWithDtdOrExternalEntityNeverReadsLocalFiles) {
    const std::string secretPath =
        ::testing::TempDir() + "xmp_secret_" + std::to_string(getpid()) + ".txt";
    {
        std::ofstream f(secretPath, std::ios::binary);
        f << "TOPSECRET";
    }
    const std::string uri = "file://" + secretPath;
    const std::string title =
        "<rdf:Description xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title><rdf:Alt>"
        "<rdf:li xml:lang=\"x-default\">&e;</rdf:li></rdf:Alt></dc:title></rdf:Description>";
    const std::string body = Packet(title).substr(Packet(title).find("<x:xmpmeta"));
    const std::string hostile[] = {
        // External general entity.
        "<!DOCTYPE x:xmpmeta [<!ENTITY e SYSTEM \"" + uri + "\">]>\n" + body,
        // External parameter entity pulled into the internal subset.
        "<!DOCTYPE x:xmpmeta [<!ENTITY % p SYSTEM \"" + uri + "\"> %p; <!ENTITY e \"x\">]>\n" +
            body,
        // External DTD subset declaring the entity.
        "<!DOCTYPE x:xmpmeta SYSTEM \"" + uri + "\">\n" + body,
        // Entity expansion bomb.
        "<!DOCTYPE x:xmpmeta [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
        "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY e \"&c;&c;&c;&c;&c;&c;&c;&c;\">]>\n" +
            body,
    };
    for (const std::string& bytes : hostile) {
        TVelmorPDFLibraryXMP xmp;
        xmp.SetTitle(u"Before");
        const std::string before = xmp.WritePacket();
        xmp.LoadPacket(bytes);
        EXPECT_EQ(xmp.Title(), u"Before") << bytes;
        const std::string after = xmp.WritePacket();
        EXPECT_EQ(after.find("TOPSECRET"), std::string::npos);
        EXPECT_EQ(after, before);
    }
    std::remove(secretPath.c_str());
}

TEST(VelmorPdfLibraryXmpTest, DeeplyNestedPacketIsRefused) {
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "<a>";
    for (int i = 0; i < 5000; ++i) deep += "</a>";
    TVelmorPDFLibraryXMP xmp;
    xmp.SetTitle(u"Kept");
    xmp.LoadPacket(
        Packet("<rdf:Description xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
               "<dc:title><rdf:Alt><rdf:li>New</rdf:li></rdf:Alt></dc:title>" +
               deep + "</rdf:Description>"));
    EXPECT_EQ(xmp.Title(), u"Kept");
}

TEST(VelmorPdfLibraryXmpTest, NonAsciiValuesRoundTripAsUtf8) {
    const std::u16string title = u"扫描文档 第二页 — 😀";
    TVelmorPDFLibraryXMP xmp;
    xmp.SetTitle(title);
    xmp.SetAuthor(u"张伟");
    const std::string bytes = xmp.WritePacket();
    // Raw UTF-8, not character references.
    EXPECT_NE(bytes.find("\xE6\x89\xAB\xE6\x8F\x8F\xE6\x96\x87\xE6\xA1\xA3"), std::string::npos);
    EXPECT_NE(bytes.find("\xF0\x9F\x98\x80"), std::string::npos);
    EXPECT_EQ(bytes.find("&#"), std::string::npos);
    TVelmorPDFLibraryXMP again;
    again.LoadPacket(bytes);
    EXPECT_EQ(again.Title(), title);
    EXPECT_EQ(again.Author(), u"张伟");
    EXPECT_EQ(again.WritePacket(), bytes);
}

TEST(VelmorPdfLibraryXmpTest, ControlCharactersAreLeftOutSoThePacketStaysReadable) {
    TVelmorPDFLibraryXMP xmp;
    xmp.SetTitle(std::u16string(u"a\x01"
                                u"b\x1F"
                                u"c\n") +
                 u"d");
    const std::string bytes = xmp.WritePacket();
    Parsed parsed(bytes);
    ASSERT_TRUE(parsed.Ok()) << bytes;
    EXPECT_EQ(parsed.Text("//dc:title/rdf:Alt/rdf:li"), "abc\nd");
    ExpectXmllintAccepts(bytes);
}

TEST(VelmorPdfLibraryXmpTest, SetPropertyRoutesInformationKeys) {
    struct Case {
        const char* key;
        const char* path;
        const std::u16string& (TVelmorPDFLibraryXMP::*field)() const;
    };
    const Case cases[] = {
        {"Title", "//dc:title/rdf:Alt/rdf:li", &TVelmorPDFLibraryXMP::Title},
        {"Author", "//dc:creator/rdf:Seq/rdf:li", &TVelmorPDFLibraryXMP::Author},
        {"Subject", "//dc:description/rdf:Alt/rdf:li", &TVelmorPDFLibraryXMP::Subject},
        {"Keywords", "//pdf:Keywords", &TVelmorPDFLibraryXMP::Keywords},
        {"Creator", "//xmp:CreatorTool", &TVelmorPDFLibraryXMP::Creator},
        {"Producer", "//pdf:Producer", &TVelmorPDFLibraryXMP::Producer},
        {"CreationDate", "//xmp:CreateDate", &TVelmorPDFLibraryXMP::CreationDate},
        {"ModDate", "//xmp:ModifyDate", &TVelmorPDFLibraryXMP::ModDate},
        {"dc:subject", "//dc:subject/rdf:Bag/rdf:li", &TVelmorPDFLibraryXMP::DcSubject},
        {"xmpMM:subject", "//xmpMM:subject/rdf:Seq/rdf:li", &TVelmorPDFLibraryXMP::XmpMMSubject},
    };
    for (const Case& c : cases) {
        TVelmorPDFLibraryXMP xmp;
        xmp.SetProperty(c.key, u"value-1");
        EXPECT_EQ((xmp.*c.field)(), u"value-1") << c.key;
        EXPECT_EQ(Parsed(xmp.WritePacket()).Text(c.path), "value-1") << c.key;
    }
    {
        // Keys outside the map do not reach the packet.
        TVelmorPDFLibraryXMP xmp;
        const std::string before = xmp.WritePacket();
        xmp.SetProperty("Trapped", u"True");
        xmp.SetProperty("title", u"lower case");
        EXPECT_EQ(xmp.WritePacket(), before);
        EXPECT_TRUE(xmp.Title().empty());
    }
}

TEST(VelmorPdfLibraryXmpTest, PacketWithoutXmpmetaIsKeptButNotRead) {
    TVelmorPDFLibraryXMP xmp;
    xmp.SetTitle(u"Old");
    xmp.LoadPacket(
        "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><other:root "
        "xmlns:other=\"urn:x\"><other:t>v</other:t></other:root>"
        "<?xpacket end=\"r\"?>");
    EXPECT_EQ(xmp.Title(), u"Old");
    xmp.SetTitle(u"New");  // nowhere to go, must not crash
    const std::string bytes = xmp.WritePacket();
    EXPECT_NE(bytes.find("<other:t>v</other:t>"), std::string::npos) << bytes;
    EXPECT_EQ(bytes.find("New"), std::string::npos);
    EXPECT_EQ(bytes.substr(bytes.size() - 19), "<?xpacket end=\"r\"?>");
}

TEST(VelmorPdfLibraryXmpTest, PacketWithoutXpacketInstructionsKeepsItsBody) {
    TVelmorPDFLibraryXMP xmp;
    xmp.LoadPacket(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title><rdf:Alt><rdf:li>"
        "\xE6\x96\x87</rdf:li></rdf:Alt></dc:title></rdf:Description></rdf:RDF></x:xmpmeta>");
    // The bytes are UTF-8 whatever the declaration claims.
    EXPECT_EQ(xmp.Title(), u"文");
    xmp.SetKeywords(u"k");
    const std::string bytes = xmp.WritePacket();
    Parsed parsed(bytes);
    ASSERT_TRUE(parsed.Ok()) << bytes;
    EXPECT_EQ(bytes.find("<?xml"), std::string::npos);
    EXPECT_EQ(parsed.Text("//dc:title/rdf:Alt/rdf:li"), "\xE6\x96\x87");
    EXPECT_EQ(parsed.Text("//pdf:Keywords"), "k");
    EXPECT_EQ(bytes.find(std::string(1023, ' ')), std::string::npos);  // no trailer, no pad
}

TEST(VelmorPdfLibraryXmpTest, PacketWithoutRdfGetsOneForNewProperties) {
    TVelmorPDFLibraryXMP xmp;
    xmp.LoadPacket(
        "<?xpacket begin=\"\" id=\"x\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>"
        "<?xpacket end=\"w\"?>");
    xmp.SetTitle(u"T");
    Parsed parsed(xmp.WritePacket());
    ASSERT_TRUE(parsed.Ok());
    EXPECT_EQ(parsed.Text("/x:xmpmeta/rdf:RDF/rdf:Description/dc:title/rdf:Alt/rdf:li"), "T");
}

TEST(VelmorPdfLibraryXmpTest, ManyInstancesCanBeCreatedAndLoaded) {
    const std::string packet = TVelmorPDFLibraryXMP().WritePacket();
    for (int i = 0; i < 300; ++i) {
        TVelmorPDFLibraryXMP xmp;
        xmp.LoadPacket(packet);
        xmp.SetModDate(u"D:20240102030405+08'00'");
        ASSERT_FALSE(xmp.WritePacket().empty());
    }
}

}  // namespace
}  // namespace verava
