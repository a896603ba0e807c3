// One scanned page per image, written as a PDF for the benchmarks' generated sets: A4 pages,
// each drawing one image XObject over the whole page, and a classic cross-reference table.
#pragma once

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace verava::bench {

class ScanFile {
  public:
    explicit ScanFile(const std::string& path) : out_(path, std::ios::binary) {
        Put("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
    }
    // `entries`: the image dictionary's entries besides Type, Subtype and Length.
    void AddPage(const std::string& entries, const std::string& data) {
        pages_.push_back(Object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
                                "/Resources << /XObject << /Im0 " +
                                Ref(next_ + 2) + " >> >> /Contents " + Ref(next_ + 1) + " >>"));
        const std::string content = "q 595 0 0 842 0 0 cm /Im0 Do Q";
        Object("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
               "\nendstream");
        Object("<< /Type /XObject /Subtype /Image " + entries + " /Length " +
               std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream");
    }
    bool Finish() {
        std::string kids;
        for (int page : pages_) kids += Ref(page) + " ";
        At(1, "<< /Type /Catalog /Pages 2 0 R >>");
        At(2,
           "<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(pages_.size()) + " >>");
        const long long xref = position_;
        std::string table =
            "xref\n0 " + std::to_string(offsets_.size() + 1) + "\n0000000000 65535 f \n";
        for (const auto& [number, offset] : offsets_) {
            char row[24];
            std::snprintf(row, sizeof row, "%010lld 00000 n \n", offset);
            table += row;
        }
        Put(table + "trailer\n<< /Size " + std::to_string(offsets_.size() + 1) +
            " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
        out_.close();
        return !out_.fail();
    }

  private:
    static std::string Ref(int n) { return std::to_string(n) + " 0 R"; }
    int Object(const std::string& body) {
        const int n = next_++;
        At(n, body);
        return n;
    }
    void At(int n, const std::string& body) {
        offsets_[n] = position_;
        Put(std::to_string(n) + " 0 obj\n" + body + "\nendobj\n");
    }
    void Put(const std::string& s) {
        out_.write(s.data(), static_cast<std::streamsize>(s.size()));
        position_ += static_cast<long long>(s.size());
    }

    std::ofstream out_;
    long long position_ = 0;
    int next_ = 3;  // 1 and 2 are the catalog and the page tree, written last
    std::vector<int> pages_;
    std::map<int, long long> offsets_;
};

}  // namespace verava::bench
