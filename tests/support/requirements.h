// What a test needs from the machine beyond the build: programs on PATH (qpdf, pdftotext) or
// a way to give root up. Where one is missing the test is skipped on a developer's machine,
// but under CI (the environment variable CI is "true") it fails and names what is missing:
// there scripts/bootstrap installs every tool, and a skip would count as a pass.
//   VERAVA_REQUIRE_TOOLS("qpdf", "pdftotext");
//   VERAVA_REQUIRE(answer != kCannotGiveUpRoot, "a child process that gives root up");
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>

#include "support/pdf_builder.h"

namespace verava::testing {

// "not on PATH: " and the tools of `tools` the shell does not find, joined by ", "; "" when
// all are there.
inline std::string MissingTools(std::initializer_list<const char*> tools) {
    std::string missing;
    for (const char* tool : tools) {
        if (!HaveTool(tool))
            missing += (missing.empty() ? "not on PATH: " : ", ") + std::string(tool);
    }
    return missing;
}

}  // namespace verava::testing

// Skips the test (in a helper function: the rest of that function) when `missing` is not
// empty; under CI fails it instead. Usable in SetUp.
#define VERAVA_REQUIRE_MET_(missing)                                                   \
    do {                                                                               \
        const std::string verava_missing_ = (missing);                                 \
        const char* verava_ci_ = std::getenv("CI");                                    \
        if (verava_missing_.empty()) break;                                            \
        if (verava_ci_ != nullptr && std::string(verava_ci_) == "true") {              \
            GTEST_FAIL() << verava_missing_                                            \
                         << " (CI=true, where every test must run: scripts/bootstrap " \
                            "installs what the tests need)";                           \
        }                                                                              \
        GTEST_SKIP() << verava_missing_ << " (skipped here; with CI=true this fails)"; \
    } while (false)

// Every named program must be on PATH.
#define VERAVA_REQUIRE_TOOLS(...) \
    VERAVA_REQUIRE_MET_(::verava::testing::MissingTools({__VA_ARGS__}))

// `condition` must hold; `what` names what the machine lacks when it does not.
#define VERAVA_REQUIRE(condition, what) VERAVA_REQUIRE_MET_((condition) ? std::string() : (what))
