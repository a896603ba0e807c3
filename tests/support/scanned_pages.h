// Pages as a single-sided scanner delivers them, made in code for the blank-page tests and
// the blank benchmark: grey (or colour) pixels of an A4 sheet at a chosen resolution, with
// paper noise, dust, and ink drawn as strokes of a tiny 7-segment/box "font", encoded as
// JPEG with libjpeg. Sheets (MakeSheet) add the artefacts of real paper and scanners to a
// blank back or a back with a little content, each at a strength, with strokes of a small
// line font. Everything is deterministic for a given seed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace verava::testing {

enum class ScanKind {
    WhiteNoise,  // white paper, sensor noise, dust specks, sometimes faint show-through
    OneLine,     // white paper with one short line of text
    PageNumber,  // white paper with only a page number (1 to 3 digits) near the bottom
    GreyPaper,   // recycled grey paper: mottled, with fibres
    Dark,        // a black or dark page
};

// Blank paper: what a blank-page detector should drop.
bool IsBlankKind(ScanKind kind);
const char* KindName(ScanKind kind);

// One grey image, rows top to bottom, one byte per pixel (0 black .. 255 white).
struct GreyScan {
    int width = 0;
    int height = 0;
    std::string pixels;
    // MakeSheet only: one byte per pixel, 1 where the back's own content (not an artefact)
    // darkened the pixel by a fifth of the way to its ink or more.
    std::string content;
};

// An A4 sheet (210 x 297 mm) at `dpi` of the given kind. `number` is the page number
// drawn on PageNumber pages.
GreyScan MakeScan(ScanKind kind, int dpi, uint32_t seed, int number = 1);

// What is on the back of a scanned sheet: nothing, or a little that must be kept.
enum class Back {
    Blank,
    PageNumber,  // 1 to 3 digits of 9 to 12 pt at the bottom centre or a corner
    Signature,   // a thin curved stroke about 40 x 10 mm
    Stamp,       // a ring about 25 mm across with text, in red (mid grey)
    TextLine,    // one short line of 10 to 12 pt text
    PencilNote,  // a few words in light pencil: grey 150 to 190, thin and grainy
    Figure,      // a line drawing: a box or a circle of about 15 mm
};
inline constexpr Back kBacks[] = {Back::Blank,    Back::PageNumber, Back::Signature, Back::Stamp,
                                  Back::TextLine, Back::PencilNote, Back::Figure};

// What paper and scanner add to any back.
enum class Artefact {
    Dust,         // isolated specks under a millimetre on the glass: tens to hundreds
    Shadow,       // a soft shadow along one edge, a few mm to about 12 mm deep
    Holes,        // 2 or 4 punched holes of 5 to 8 mm near an edge, dark as on a black lid
    HoleRings,    // the same holes on a white lid: the lid shows through, a grey rim around
    ShowThrough,  // the other side's text, faint, blurred and mirrored
    Recycled,     // yellowed, recycled or grey recycled paper with mottling and fibres
    Skew,         // the sheet turned 1 to 3 degrees on a dark lid: dark wedges at the edges
};
inline constexpr Artefact kArtefacts[] = {
    Artefact::Dust,        Artefact::Shadow,   Artefact::Holes, Artefact::HoleRings,
    Artefact::ShowThrough, Artefact::Recycled, Artefact::Skew};

const char* BackName(Back back);
const char* ArtefactName(Artefact artefact);

struct ArtefactLevel {
    Artefact kind = Artefact::Dust;
    int strength = 1;  // 1 light, 2 medium, 3 heavy
};

struct SheetRecipe {
    Back back = Back::Blank;
    std::vector<ArtefactLevel> artefacts;
    int dpi = 300;
    uint32_t seed = 1;
};

// An A4 sheet as a grey scanner delivers it, with `content` filled in.
GreyScan MakeSheet(const SheetRecipe& recipe);

// Baseline JPEG of the scan: one component, or with `colour` three (YCbCr, with a faint
// paper tint as colour scanners give it).
std::string EncodeJpeg(const GreyScan& scan, int quality, bool colour = false);
// Four-component JPEG with an Adobe marker. With `inverted` the ink values are stored
// inverted (255 = no ink), as Photoshop writes them.
std::string EncodeCmykJpeg(const GreyScan& scan, int quality, bool inverted);

}  // namespace verava::testing
