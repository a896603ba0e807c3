#include "support/pdf_tools.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "document/pdf_document.h"
#include "objects/stream.h"
#include "structure/page_attributes.h"
#include "support/pdf_builder.h"

namespace verava::testing {

std::string Quote(const std::string& path) { return "'" + path + "'"; }

bool FileExists(const std::string& path) {
    // As UTF-8 on every system: the C++ library reads a narrow name in the ANSI code page on
    // Windows.
    std::error_code error;
    return std::filesystem::exists(std::filesystem::path(std::u8string(path.begin(), path.end())),
                                   error);
}

std::vector<std::string> PdfToTextPages(const std::string& path, int pages) {
    std::vector<std::string> texts;
    for (int page = 1; page <= pages; ++page) {
        const std::string n = std::to_string(page);
        std::string text =
            RunCommand("pdftotext -q -f " + n + " -l " + n + " " + Quote(path) + " - 2>/dev/null");
        text = text.substr(0, text.find_first_of("\n\f"));
        while (!text.empty() && text.back() == ' ') text.pop_back();
        texts.push_back(text);
    }
    return texts;
}

std::string PdfInfoValue(const std::string& path, const std::string& key,
                         const std::string& options) {
    const std::string info =
        "\n" + RunCommand("pdfinfo " + options + " " + Quote(path) + " 2>/dev/null");
    const size_t at = info.find("\n" + key + ":");
    if (at == std::string::npos) return "";
    const size_t start = at + 1 + key.size() + 1;
    std::string value = info.substr(start, info.find('\n', start) - start);
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    while (!value.empty() && value.back() == ' ') value.pop_back();
    return value;
}

std::string WriteTextPages(const std::vector<std::string>& texts, const std::string& name) {
    PdfBuilder b = SimpleDocument(static_cast<int>(texts.size()));
    for (size_t k = 0; k < texts.size(); ++k) {
        b.Set(6 + 2 * static_cast<int>(k),
              PdfBuilder::StreamBody("", "BT /F1 24 Tf 72 700 Td (" + texts[k] + ") Tj ET"));
    }
    return WriteTempFile(name, b.Build());
}

std::string TurnedPageTexts(const std::string& path) {
    TMemoryStream stream(ReadFileBytes(path));
    TPDFDocument document;
    if (document.LoadFromStream(stream, u"") != TPDFDocument::kLoaded) return "(does not open)";
    const std::vector<std::string> texts = PageLabels(document);
    const std::vector<TPDFDictionary*> pages = document.PageTree().Pages();
    std::string out;
    for (size_t k = 0; k < pages.size(); ++k) {
        const int32_t rotate =
            TurnedRotation(ResolveIfReference(NearestInherited(pages[k], "Rotate")), 0);
        out += (out.empty() ? "" : ",") + texts[k];
        if (rotate != 0) out += "@" + std::to_string(rotate);
    }
    return out;
}

std::string QpdfCheck(const std::string& bytes) {
    const std::string path = WriteTempFile("qpdf-check.pdf", bytes);
    int status = -1;
    const std::string log = RunCommand("qpdf --check " + Quote(path) + " 2>&1", &status);
    return status == 0 ? "" : log;
}

std::string QpdfRewrite(const std::string& name, const std::string& bytes,
                        const std::string& options) {
    const std::string in = WriteTempFile(name + "-src.pdf", bytes);
    const std::string out = WriteTempFile(name + ".pdf", "");
    int status = -1;
    const std::string log =
        RunCommand("qpdf " + options + " " + Quote(in) + " " + Quote(out) + " 2>&1", &status);
    EXPECT_EQ(status, 0) << name << ": " << log;
    return out;
}

std::vector<std::pair<std::string, std::string>> DocumentShapes(const std::string& tag,
                                                                const std::string& prefix,
                                                                int pages) {
    PdfBuilder b = SimpleDocument(pages, prefix);
    for (int n = 1; n <= 5; ++n) b.Compress(n);
    const std::string table = b.Build(XRefKind::Table);
    const std::string name = tag + prefix + std::to_string(pages);
    return {
        {"table", WriteTempFile(name + "-table.pdf", table)},
        {"xref stream",
         WriteTempFile(name + "-stream.pdf", b.Build(XRefKind::StreamFlatePredicted))},
        {"hybrid", WriteTempFile(name + "-hybrid.pdf", b.Build(XRefKind::Hybrid))},
        {"qpdf object streams", QpdfRewrite(name + "-objstm", table, "--object-streams=generate")},
        {"qpdf linearized", QpdfRewrite(name + "-linear", table, "--linearize")},
    };
}

std::vector<std::string> Texts(const std::string& prefix, int from, int to) {
    std::vector<std::string> out;
    for (int k = from; k <= to; ++k) out.push_back(prefix + " " + std::to_string(k));
    return out;
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> PageLabels(TPDFDocument& document) {
    std::vector<std::string> labels;
    TPDFPageTree& tree = document.PageTree();
    for (int32_t n = 1; n <= tree.TotalPages(); ++n) {
        TPDFDictionary* page = tree.FindPage(n);
        TPDFObject* contents = page != nullptr ? page->GetValue("Contents", true) : nullptr;
        if (auto* array = As<TPDFArray>(contents)) contents = ResolveIfReference(array->Get(0));
        auto* stream = As<TPDFStream>(contents);
        const std::string data = stream != nullptr ? stream->GetDecodedData() : "";
        const size_t open = data.find('(');
        const size_t close = data.find(')', open);
        labels.push_back(open == std::string::npos ? "?" : data.substr(open + 1, close - open - 1));
    }
    return labels;
}

std::string FilePageOrder(const std::string& path) {
    TPDFDocument document;
    TMemoryStream stream(ReadFileBytes(path));
    if (!FileExists(path) || document.LoadFromStream(stream, u"") != TPDFDocument::kLoaded) {
        return "(does not open)";
    }
    std::string order;
    for (const std::string& label : PageLabels(document)) {
        if (!order.empty()) order += ",";
        order += label;
    }
    return order;
}

}  // namespace verava::testing
