// The modification stamp a merged file gets, as every file the engine writes does: the
// document information's ModDate set to the current time, and a fresh XMP packet with the
// same xmp:ModifyDate (the first input's packet taken over, as a loaded document takes over
// its own) stored uncompressed as the catalog's Metadata stream (ISO 32000-1, 14.3.2):
//   /Info 4 0 R  ->  << ... /ModDate (D:20240102030405+08'00') >>
//   /Metadata 12 0 R  ->  << /Type /Metadata /Subtype /XML /Length 3412 >> stream <?xpacket ...
#pragma once

#include <cstdint>

namespace verava {

class TPDFDictionary;
class TSmartPDFDocument;

// Stamps the first input, whose finished trailer `trailer` becomes the output's. An
// information dictionary or Metadata stream the file lacks is made with a number above
// `floor`; an existing one keeps its number.
void StampModification(TSmartPDFDocument& first, TPDFDictionary& trailer, int32_t floor);

}  // namespace verava
