#include "support/requirements.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace verava::testing {
namespace {

bool OnPath(const std::string& tool) {
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "";
    while (true) {
        const size_t colon = rest.find(':');
        const std::string_view folder = rest.substr(0, colon);
        // An empty entry is the current folder.
        const std::string file = std::string(folder.empty() ? "." : folder) + "/" + tool;
        struct stat info {};
        if (stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(file.c_str(), X_OK) == 0) {
            return true;
        }
        if (colon == std::string_view::npos) return false;
        rest.remove_prefix(colon + 1);
    }
}

}  // namespace

bool RunningUnderCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string_view(ci) == "true";
}

std::string MissingTools(std::initializer_list<const char*> tools) {
    std::string missing;
    for (const char* tool : tools) {
        if (OnPath(tool)) continue;
        missing += missing.empty() ? "not on PATH: " : ", ";
        missing += tool;
    }
    return missing;
}

Requirement JudgeRequirement(const std::string& missing, bool underCi) {
    if (missing.empty()) return Requirement::Met;
    return underCi ? Requirement::Fail : Requirement::Skip;
}

std::string RequirementMessage(const std::string& missing, bool underCi) {
    if (missing.empty()) return "";
    return missing + (underCi ? " (CI=true, where every test must run: scripts/bootstrap "
                                "installs what the tests need)"
                              : " (skipped here; with CI=true this fails)");
}

}  // namespace verava::testing
