// The names of a TReplacingFile's new file while it has one, ".NAME.0123456789ab.part" beside
// the output, on every system: a writer makes them, and the next writer to the same output
// recognises the ones a killed writer left (replacing_file.h).
#pragma once

#include <string>

namespace verava {

// ".NAME." with NAME (UTF-8) cut to 200 bytes at a character boundary, so the whole stays
// within the 255 bytes a name may have.
std::string TemporaryPrefix(const std::string& name);
// The prefix, twelve random hex digits and ".part".
std::string TemporaryName(const std::string& prefix);
// True when `entry` is a name TemporaryName could have made from `prefix`.
bool IsTemporaryOf(const std::string& entry, const std::string& prefix);

}  // namespace verava
