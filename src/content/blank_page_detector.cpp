#include "content/blank_page_detector.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "content/image_reducer.h"
#include "objects/file_mapping.h"
#include "objects/pdf_chars.h"
#include "objects/pdf_structure.h"
#include "objects/stream_filters.h"
#include "structure/page_attributes.h"

namespace verava {
namespace {

// Saved graphics states kept for the text rendering mode; deeper nesting only counts.
constexpr size_t kMaxSavedStates = 256;

TPDFObject* Resolve(TPDFObject* object) { return ResolveIfReference(object); }

std::string_view NameOf(TPDFObject* object) {
    const auto* name = As<TPDFName>(Resolve(object));
    return name != nullptr ? std::string_view(name->Text) : std::string_view();
}

// The page's Resources, its own or inherited through Parent.
TPDFDictionary* ResourcesOf(TPDFDictionary* page) {
    return As<TPDFDictionary>(Resolve(NearestInherited(page, "Resources")));
}

// Visible annotations paint on the page even when its contents do not: comments, stamps,
// form fields. Links and pop-ups (drawn by their parent) do not, nor hidden ones.
bool HasVisibleAnnotation(TPDFDictionary* page) {
    const auto* annots = As<TPDFArray>(Resolve(page->GetValue("Annots")));
    if (annots == nullptr) return false;
    for (TPDFObject* item : annots->Items()) {
        auto* annot = As<TPDFDictionary>(Resolve(item));
        if (annot == nullptr) continue;
        const std::string_view subtype = NameOf(annot->GetValue("Subtype"));
        if (subtype == "Link" || subtype == "Popup") continue;
        const int32_t flags = annot->GetInteger("F", 0);
        if ((flags & 2) != 0 || (flags & 32) != 0) continue;  // Hidden, NoView
        return true;
    }
    return false;
}

struct ImageUse {
    const TPDFStream* stream;
    const TPDFDictionary* resources;  // where its colour space names are looked up
};

// What a form paints, drawn with given resources and text rendering mode.
struct FormResult {
    bool painted = false;
    TPageDoubt doubt = TPageDoubt::None;
    std::vector<ImageUse> images;
};

// An image's verdict: read or not, and if so its paper.
struct ImageResult {
    bool read = false;
    TPaperVerdict paper;
};

}  // namespace

struct TBlankPageDetector::TMemo {
    std::map<std::tuple<const TPDFStream*, const TPDFDictionary*, int>, FormResult> forms;
    std::set<const TPDFStream*> open;  // forms being looked into
    std::map<std::pair<const TPDFStream*, const TPDFDictionary*>, ImageResult> images;
};

namespace {

using TMemo = TBlankPageDetector::TMemo;

// What the content of one page paints, gathered over its content streams and the forms
// they draw.
class ContentScan {
  public:
    using Image = ImageUse;

    explicit ContentScan(TMemo& memo, int renderMode = 0) : memo_(memo), renderMode_(renderMode) {}

    // The content of a stream; what cannot be decoded in full leaves the page unknown.
    std::string Decoded(const TPDFStream& stream) {
        bool whole = true;
        const size_t limit =
            stream.Store() != nullptr ? stream.Store()->DecodeLimit : kMaxDecodedBytes;
        std::string data = DecodeStreamData(stream, limit, whole);
        if (!whole) Doubt(TPageDoubt::Content);
        return data;
    }

    bool Painted() const { return painted_; }
    TPageDoubt Doubted() const { return doubt_; }
    const std::vector<Image>& Images() const { return images_; }

    void Scan(std::string_view data, const TPDFDictionary* resources, int depth) {
        std::string_view name;
        double number = 0;
        size_t i = 0;
        const size_t n = data.size();
        while (i < n && !painted_) {
            const auto c = static_cast<unsigned char>(data[i]);
            if (IsPdfWhitespace(c)) {
                ++i;
            } else if (c == '%') {
                while (i < n && data[i] != '\n' && data[i] != '\r') ++i;
            } else if (c == '(') {
                SkipLiteralString(data, i);
            } else if (c == '<') {
                if (i + 1 < n && data[i + 1] == '<') {
                    i += 2;  // a dictionary operand (of BDC, say)
                } else {
                    while (i < n && data[i] != '>') ++i;  // a hex string
                    ++i;
                }
            } else if (c == '/') {
                const size_t start = ++i;
                while (i < n && IsRegular(data[i])) ++i;
                name = data.substr(start, i - start);
            } else if (!IsRegular(static_cast<char>(c))) {
                ++i;  // "<<", ">>", "[", "]", "{", "}", a stray ")"
            } else {
                const size_t start = i;
                while (i < n && IsRegular(data[i])) ++i;
                const std::string_view token = data.substr(start, i - start);
                if (IsNumberStart(token[0])) {
                    number = ParseNumber(token);
                    continue;
                }
                Operator(token, name, number, resources, depth);
                name = {};
                number = 0;
            }
        }
    }

  private:
    static bool IsRegular(char c) {
        const auto u = static_cast<unsigned char>(c);
        return !IsPdfWhitespace(u) && !IsPdfDelimiter(u);
    }
    static bool IsNumberStart(char c) {
        return IsPdfDigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    }
    static double ParseNumber(std::string_view token) {
        if (token[0] == '+') token.remove_prefix(1);
        double value = 0;
        std::from_chars(token.data(), token.data() + token.size(), value);
        return value;
    }
    static void SkipLiteralString(std::string_view data, size_t& i) {
        int depth = 0;
        while (i < data.size()) {
            const char c = data[i++];
            if (c == '\\') {
                ++i;
            } else if (c == '(') {
                ++depth;
            } else if (c == ')' && --depth == 0) {
                return;
            }
        }
    }

    void Operator(std::string_view op, std::string_view name, double number,
                  const TPDFDictionary* resources, int depth) {
        if (op == "Tj" || op == "TJ" || op == "'" || op == "\"") {
            // Rendering modes 3 and 7 show no glyphs: the text layer of an OCRed scan.
            if (renderMode_ != 3 && renderMode_ != 7) painted_ = true;
        } else if (op == "S" || op == "s" || op == "f" || op == "F" || op == "f*" || op == "B" ||
                   op == "B*" || op == "b" || op == "b*" || op == "sh" || op == "BI") {
            painted_ = true;
        } else if (op == "Tr") {
            renderMode_ = static_cast<int>(number);
        } else if (op == "q") {
            // saved_ holds the first kMaxSavedStates of the savedDepth_ saved states.
            if (saved_.size() < kMaxSavedStates) saved_.push_back(renderMode_);
            ++savedDepth_;
        } else if (op == "Q") {
            if (savedDepth_ == 0) return;  // unbalanced: nothing to restore
            if (--savedDepth_ < saved_.size()) {
                renderMode_ = saved_.back();
                saved_.pop_back();
            }
        } else if (op == "Do") {
            Draw(UnescapeName(name), resources, depth);
        }
    }

    void Draw(const std::string& name, const TPDFDictionary* resources, int depth) {
        const auto* xobjects = resources != nullptr
                                   ? As<TPDFDictionary>(Resolve(resources->GetValue("XObject")))
                                   : nullptr;
        auto* stream =
            xobjects != nullptr ? As<TPDFStream>(Resolve(xobjects->GetValue(name))) : nullptr;
        if (stream == nullptr || stream->StreamDict() == nullptr) {
            Doubt(TPageDoubt::Drawing);  // drawn but not there: nothing sure can be said
            return;
        }
        const std::string_view subtype = NameOf(stream->StreamDict()->GetValue("Subtype"));
        if (subtype == "Image") {
            Add({stream, resources});
        } else if (subtype == "Form") {
            if (depth >= TBlankPageDetector::kMaxFormDepth) {
                Doubt(TPageDoubt::Drawing);
                cut_ = true;
                return;
            }
            const auto* own =
                As<TPDFDictionary>(Resolve(stream->StreamDict()->GetValue("Resources")));
            const TPDFDictionary* used = own != nullptr ? own : resources;
            // A form is drawn inside q/Q (ISO 32000-1, 8.10.1): what it changes ends with it,
            // so what it paints depends only on the form, its resources and the mode it
            // starts in, and is learnt once for the whole document.
            const auto key = std::make_tuple(stream, used, renderMode_);
            auto found = memo_.forms.find(key);
            FormResult scanned;
            if (found == memo_.forms.end()) {
                // A form drawing itself adds nothing to what it paints; what the forms on
                // that loop paint depends on where the loop was entered, so it is not kept.
                if (!memo_.open.insert(stream).second) {
                    cut_ = true;
                    return;
                }
                ContentScan inner(memo_, renderMode_);
                inner.Scan(inner.Decoded(*stream), used, depth + 1);
                memo_.open.erase(stream);
                scanned = {inner.painted_, inner.doubt_, std::move(inner.images_)};
                // What was cut off (by depth, or a loop) here may be seen whole from
                // elsewhere.
                if (inner.cut_) {
                    cut_ = true;
                } else {
                    found = memo_.forms.emplace(key, std::move(scanned)).first;
                }
            }
            const FormResult& form = found != memo_.forms.end() ? found->second : scanned;
            painted_ = painted_ || form.painted;
            Doubt(form.doubt);
            for (const ImageUse& image : form.images) Add(image);
        } else if (subtype != "PS") {
            // PostScript XObjects are not drawn by PDF viewers; anything else is unknown.
            Doubt(TPageDoubt::Drawing);
        }
    }

    void Add(const ImageUse& image) {
        if (seen_.insert({image.stream, image.resources}).second) images_.push_back(image);
    }

    TMemo& memo_;
    bool painted_ = false;
    // The first doubt found keeps its place.
    void Doubt(TPageDoubt doubt) {
        if (doubt_ == TPageDoubt::None) doubt_ = doubt;
    }

    TPageDoubt doubt_ = TPageDoubt::None;
    bool cut_ = false;  // a form lay deeper than kMaxFormDepth, or drew itself
    int renderMode_ = 0;
    std::vector<int> saved_;
    size_t savedDepth_ = 0;
    std::set<std::pair<const TPDFStream*, const TPDFDictionary*>> seen_;
    std::vector<Image> images_;
};

}  // namespace

TBlankPageDetector::TBlankPageDetector(double thresholdPercent)
    : threshold_(thresholdPercent), memo_(std::make_unique<TMemo>()) {}

TBlankPageDetector::~TBlankPageDetector() = default;

TPageJudgement TBlankPageDetector::Judge(TPDFDictionary* page) {
    TPageJudgement judgement;
    judgement.Ink = TPageInk::Unreadable;
    judgement.Doubt = TPageDoubt::Drawing;
    try {
        if (page == nullptr) return judgement;
        judgement.Doubt = TPageDoubt::None;
        judgement.Ink = TPageInk::Content;
        if (HasVisibleAnnotation(page)) return judgement;
        const TPDFDictionary* resources = ResourcesOf(page);
        ContentScan scan(*memo_);
        TPDFObject* contents = Resolve(page->GetValue("Contents"));
        std::vector<TPDFObject*> parts;
        if (auto* array = As<TPDFArray>(contents)) {
            parts = array->Items();
        } else if (contents != nullptr) {
            parts.push_back(contents);
        }
        for (TPDFObject* part : parts) {
            // A content stream that is not there paints nothing.
            if (const auto* stream = As<TPDFStream>(Resolve(part))) {
                scan.Scan(scan.Decoded(*stream), resources, 0);
            }
            if (scan.Painted()) {
                judgement.Doubt = TPageDoubt::None;
                return judgement;
            }
        }
        judgement.Doubt = scan.Doubted();
        for (const ContentScan::Image& image : scan.Images()) {
            const auto* colourSpaces =
                image.resources != nullptr
                    ? As<TPDFDictionary>(Resolve(image.resources->GetValue("ColorSpace")))
                    : nullptr;
            auto [known, fresh] = memo_->images.try_emplace({image.stream, colourSpaces});
            ImageResult& result = known->second;
            if (fresh) {
                TLuminanceGrid grid;
                result.read = ReduceImage(*image.stream, colourSpaces, grid);
                if (result.read) result.paper = JudgePaper(grid, threshold_);
                // Looked at once; the file's pages need not stay in memory.
                TFileMapping::DropResident(image.stream->Data());
            }
            if (!result.read) {
                if (judgement.Doubt == TPageDoubt::None) {
                    judgement.Doubt = TPageDoubt::Image;
                    const std::vector<std::string_view> filters =
                        StreamFilterNames(image.stream->StreamDict());
                    if (!filters.empty()) judgement.Encoding = filters.back();
                }
                continue;
            }
            const TPaperVerdict& paper = result.paper;
            judgement.DarkShare = std::max(judgement.DarkShare, paper.DarkShare);
            if (!paper.Blank) {
                judgement.Doubt = TPageDoubt::None;
                judgement.Encoding.clear();
                return judgement;
            }
        }
        judgement.Ink =
            judgement.Doubt != TPageDoubt::None ? TPageInk::Unreadable : TPageInk::Blank;
    } catch (const std::exception&) {
        judgement.Ink = TPageInk::Unreadable;
        if (judgement.Doubt == TPageDoubt::None) judgement.Doubt = TPageDoubt::Content;
    }
    return judgement;
}

}  // namespace verava
