// Short random tags for names that must not collide within a run (temporary files, new
// object names): eight lower-case hex digits, "3f0a91c2".
#pragma once

#include <string>

namespace verava {

// The first eight hex digits of MD5(16 random bytes + the local date-time as a decimal day
// count, e.g. "45366.5"). The random bytes come from RandomBytes and the clock from
// NowLocal, so tests can fix both.
std::string UniqueTag();

}  // namespace verava
