// Looking at written files the way a user's tools would: pdftotext, pdfinfo and qpdf as
// independent readers, and the labels test pages carry ("Page 3", "Odd 1") as our own
// document reads them.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace verava {
class TPDFDocument;
}

namespace verava::testing {

// The path in single quotes, for a shell command.
std::string Quote(const std::string& path);
bool FileExists(const std::string& path);

// The first line pdftotext finds on each of pages 1..pages ("" for a page it cannot read).
std::vector<std::string> PdfToTextPages(const std::string& path, int pages);
// The value pdfinfo prints for `key`, blanks around it removed; "" when it prints none.
std::string PdfInfoValue(const std::string& path, const std::string& key,
                         const std::string& options = "");
// A file (written into the tests' folder as `name`) whose pages show `texts`, in order.
std::string WriteTextPages(const std::vector<std::string>& texts, const std::string& name);
// Each page of a file as its text, "?" for none, followed by "@" and its rotation when it is
// turned ("1,2@180,?"); "(does not open)" when our loader does not open it.
std::string TurnedPageTexts(const std::string& path);

// What `qpdf --check` says of the bytes when it finds a fault; "" when it finds none.
std::string QpdfCheck(const std::string& bytes);
// `qpdf OPTIONS in out` on the bytes; the path of the result (a failure is a test failure).
std::string QpdfRewrite(const std::string& name, const std::string& bytes,
                        const std::string& options);

// One document of `pages` pages labelled "<prefix> 1", ... in the shapes our builder and qpdf
// write: (kind, path) for a classic table, an xref stream, a hybrid file, qpdf object
// streams and a qpdf linearized file. `tag` keeps the file names apart.
std::vector<std::pair<std::string, std::string>> DocumentShapes(const std::string& tag,
                                                                const std::string& prefix,
                                                                int pages);

// "<prefix> from", ..., "<prefix> to".
std::vector<std::string> Texts(const std::string& prefix, int from, int to);
// `a` followed by `b`.
std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b);

// The label each page of the document shows: the text in its first content stream's
// "(...)", "?" when it has none.
std::vector<std::string> PageLabels(TPDFDocument& document);
// The labels of a file, read with a document of its own, joined by ","; "(does not open)"
// when it does not load.
std::string FilePageOrder(const std::string& path);

}  // namespace verava::testing
