#include "security/unique_tag.h"

#include <exception>

#include "objects/platform.h"
#include "security/md5.h"

namespace verava {

std::string UniqueTag() {
    std::string seed(16, '\0');
    try {
        RandomBytes(seed.data(), seed.size());
    } catch (const std::exception&) {
        // Without the OS source the clock alone still varies between calls; a tag is a name,
        // not a secret.
    }
    seed += FormatGeneral(DateTimeToDays(NowLocal()));
    return Md5Hex(Md5(seed)).substr(0, 8);
}

}  // namespace verava
