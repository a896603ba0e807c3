// Pages built as objects of a small table for the blank-page tests: image and form
// XObjects, and pages whose content draws them.
//   12 0 obj << /Type /Page /Resources << /XObject << /Im0 10 0 R >> >> /Contents 11 0 R >>
#pragma once

#include <string>
#include <utility>

#include "content/blank_page_detector.h"
#include "objects/stream_filters.h"
#include "structure/object_table.h"

namespace verava::testing {

inline const char* InkName(TPageInk ink) {
    switch (ink) {
        case TPageInk::Blank:
            return "blank";
        case TPageInk::Content:
            return "content";
        case TPageInk::Unreadable:
            return "unreadable";
    }
    return "?";
}

class Pages {
  public:
    // An image XObject; `entries` are its dictionary's entries besides Subtype.
    int Image(const std::string& entries, std::string data) {
        const int n = next_++;
        table_.AddStream(n, "<< /Type /XObject /Subtype /Image " + entries + " >>",
                         std::move(data));
        return n;
    }
    int GreyImage(int w, int h, const std::string& pixels) {
        return Image("/Width " + std::to_string(w) + " /Height " + std::to_string(h) +
                         " /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /FlateDecode",
                     FlateEncode(pixels));
    }
    int JpegImage(const std::string& jpeg, const std::string& extra = "") {
        return Image(
            "/Width 2480 /Height 3508 /ColorSpace /DeviceGray /BitsPerComponent 8 "
            "/Filter /DCTDecode " +
                extra,
            jpeg);
    }
    int Form(const std::string& resources, const std::string& content) {
        const int n = next_++;
        table_.AddStream(n,
                         "<< /Type /XObject /Subtype /Form /BBox [0 0 612 792] " +
                             (resources.empty() ? "" : "/Resources " + resources) + " >>",
                         content);
        return n;
    }
    // A page whose content draws image (or form) `xobject` as /Im0.
    TPDFDictionary* Drawing(int xobject, const std::string& more = "") {
        return Page("<< /XObject << /Im0 " + Ref(xobject) + " >> >>",
                    "q 612 0 0 792 0 0 cm /Im0 Do Q " + more);
    }
    TPDFDictionary* Page(const std::string& resources, const std::string& content,
                         const std::string& extra = "") {
        const int contents = next_++;
        table_.AddStream(contents, "<< >>", content);
        return PageWith("/Resources " + resources + " /Contents " + Ref(contents) + " " + extra);
    }
    TPDFDictionary* PageWith(const std::string& entries) {
        return table_.AddDict(next_++, "<< /Type /Page " + entries + " >>");
    }
    static std::string Ref(int n) { return std::to_string(n) + " 0 R"; }
    TObjectTable& Table() { return table_; }

  private:
    TObjectTable table_;
    int next_ = 10;
};

}  // namespace verava::testing
