#include "support/requirements.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace verava::testing {

bool RunningUnderCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

std::string MissingTools(std::initializer_list<const char*> tools) {
    std::string missing;
    for (const char* tool : tools) {
        const char* path = std::getenv("PATH");
        std::istringstream folders(path != nullptr ? path : "");
        bool found = false;
        for (std::string folder; !found && std::getline(folders, folder, ':');) {
            // An empty entry is the current folder.
            const std::string file = (folder.empty() ? "." : folder) + "/" + tool;
            struct stat info {};
            found = stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
                    access(file.c_str(), X_OK) == 0;
        }
        if (!found) missing += (missing.empty() ? "not on PATH: " : ", ") + std::string(tool);
    }
    return missing;
}

}  // namespace verava::testing
