// Tells blank pages from pages with content, for leaving the blank backs of single-sided
// sheets out of a merged scan. A page is blank when it paints nothing visible: no content
// stream, or one without painting operators (no text shown, no path painted, no shading,
// no inline image), or when everything it paints is an image XObject of almost uniformly
// white (or grey) paper (luminance_grid.h). Form XObjects are looked into.
//   4 0 obj << /Type /Page /Resources << /XObject << /Im0 7 0 R >> >> /Contents 5 0 R >>
//   5 0 obj << /Length 31 >> stream q 595 0 0 842 0 0 cm /Im0 Do Q endstream
// An image that cannot be read here, or content that cannot be decoded, makes the page
// Unreadable: it is kept, and callers say so. The document's store resolves references;
// the detector changes nothing. One detector serves the pages of one document: a form or
// an image drawn on many pages is looked at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "content/luminance_grid.h"
#include "objects/pdf_object.h"

namespace verava {

enum class TPageInk {
    Blank,       // nothing visible: no painting, or only images of blank paper
    Content,     // something visible
    Unreadable,  // only images, none with content, and one that could not be read
};

// Why a page could not be looked at in full (an Unreadable page): the first doubt found.
enum class TPageDoubt {
    None,
    Image,    // an image could not be read (Encoding names its last filter)
    Content,  // content could not be decoded in full (the page's or a form's)
    Drawing,  // it draws what is not there, what is unknown, or forms nested too deep
};

struct TPageJudgement {
    TPageInk Ink = TPageInk::Content;
    TPageDoubt Doubt = TPageDoubt::None;
    std::string Encoding;  // Doubt Image: the image's last filter, or "" for plain samples
    // The largest share of dark cells among the images judged, in percent (0 when none
    // was judged; 100 for dark paper).
    double DarkShare = 0;
};

class TBlankPageDetector {
  public:
    // Form XObjects drawn inside form XObjects are looked into this deep; deeper ones make
    // the page Unreadable.
    static constexpr int kMaxFormDepth = 8;

    // `thresholdPercent`: an image is blank paper when less than this share of its cells
    // is clearly darker than the paper.
    explicit TBlankPageDetector(double thresholdPercent = kDefaultBlankThreshold);
    ~TBlankPageDetector();
    TBlankPageDetector(const TBlankPageDetector&) = delete;
    TBlankPageDetector& operator=(const TBlankPageDetector&) = delete;

    // Judges one page dictionary of a page tree. Never raises: anything unexpected gives
    // Unreadable.
    TPageJudgement Judge(TPDFDictionary* page);

    // What was learnt of forms and images so far, kept for the document's other pages.
    struct TMemo;

  private:
    double threshold_;
    std::unique_ptr<TMemo> memo_;
};

}  // namespace verava
