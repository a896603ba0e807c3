// Named destinations of both merge inputs in the merged file (ISO 32000-1, 12.3.2.3): the
// first input's catalog Dests dictionary and its Names Dests name tree receive the second
// input's entries, and a name of the second input that the first already uses is given a
// new one ("Chapter1" becomes "Chapter1-2") everywhere the second input uses it, so each of
// its links and outline items still reaches its own page:
//   /Dest (Chapter1)   /A << /S /GoTo /D /Chapter1 >>   ->   (Chapter1-2)   /Chapter1-2
// Viewers that find both forms in a file look in one of them only, so when the inputs use
// different forms each form of the output holds every name.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace verava {

class TSmartPDFDocument;

// The second input's names that clash with the first's, and the names they get.
using TDestinationRenames = std::map<std::string, std::string>;

// The names each clashing name of `second` gets: `taken` holds every name the first input
// defines, `own` every name the second defines. A new name is the old one with "-2", "-3",
// ... appended (as UTF-16 characters when the old one is UTF-16 text), the first that
// neither input defines and no other new name took.
TDestinationRenames PlanDestinationRenames(const std::vector<std::string>& taken,
                                           const std::vector<std::string>& own);

// Merges the named destinations of `second` (whose numbers are raised by `shift` in the
// output) into `first`, and renames their uses on `secondPages` (link annotations' Dest,
// actions' GoTo D, also in Next chains and additional actions) and in the second input's
// outline items. Objects that must get a number of their own are numbered above `floor`.
// Nothing changes when the second input has no named destinations.
void MergeNamedDestinations(TSmartPDFDocument& first, TSmartPDFDocument& second, int32_t shift,
                            int32_t floor, const std::vector<int32_t>& secondPages);

}  // namespace verava
