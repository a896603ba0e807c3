// What a test needs from the machine beyond the build: programs on PATH (qpdf, pdftotext) or
// a way to give root up. Where one is missing the test is skipped on a developer's machine,
// but under CI (the environment variable CI is "true") it fails and names what is missing:
// there scripts/bootstrap installs every tool, and a skip would count as a pass.
//   VERAVA_REQUIRE_TOOLS("qpdf", "pdftotext");
//   VERAVA_REQUIRE(answer != kCannotGiveUpRoot, "a child process that gives root up");
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace verava::testing {

// True when the environment variable CI is "true".
bool RunningUnderCi();
// "not on PATH: " and the tools of `tools` that are not there, joined by ", "; "" when all
// are there. A tool is there when some PATH folder holds an executable file of its name.
std::string MissingTools(std::initializer_list<const char*> tools);

enum class Requirement { Met, Skip, Fail };
// What a test does about a need that `missing` describes ("" when it is met): nothing, skip,
// or, under CI, fail.
Requirement JudgeRequirement(const std::string& missing, bool underCi);
// The message of a skip or failure for `missing`.
std::string RequirementMessage(const std::string& missing, bool underCi);

}  // namespace verava::testing

// Skips the test (in a helper function: the rest of that function) when `missing` is not
// empty; under CI fails it instead. Usable in SetUp.
#define VERAVA_REQUIRE_MET_(missing)                                                \
    do {                                                                            \
        const std::string verava_missing_ = (missing);                              \
        const bool verava_ci_ = ::verava::testing::RunningUnderCi();                \
        const std::string verava_message_ =                                         \
            ::verava::testing::RequirementMessage(verava_missing_, verava_ci_);     \
        switch (::verava::testing::JudgeRequirement(verava_missing_, verava_ci_)) { \
            case ::verava::testing::Requirement::Met:                               \
                break;                                                              \
            case ::verava::testing::Requirement::Skip:                              \
                GTEST_SKIP() << verava_message_;                                    \
            case ::verava::testing::Requirement::Fail:                              \
                GTEST_FAIL() << verava_message_;                                    \
        }                                                                           \
    } while (false)

// Every named program must be on PATH.
#define VERAVA_REQUIRE_TOOLS(...) \
    VERAVA_REQUIRE_MET_(::verava::testing::MissingTools({__VA_ARGS__}))

// `condition` must hold; `what` names what the machine lacks when it does not.
#define VERAVA_REQUIRE(condition, what) VERAVA_REQUIRE_MET_((condition) ? std::string() : (what))
