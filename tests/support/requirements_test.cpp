// VERAVA_REQUIRE_TOOLS and VERAVA_REQUIRE as a test sees them: nothing, a skip or a failure
// naming what is missing, for each PATH and value of CI.
#include "support/requirements.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

namespace verava::testing {
namespace {

void SetOrUnset(const char* name, const std::optional<std::string>& value) {
    value ? setenv(name, value->c_str(), 1) : unsetenv(name);
}

void NeedsFakeTool() { VERAVA_REQUIRE_TOOLS("fake-tool"); }
// A file that may not be run and a folder are no tools; each missing one is named.
void NeedsThree() { VERAVA_REQUIRE_TOOLS("plain-file", "fake-tool", "a-folder"); }
void NeedsRootGivenUp() { VERAVA_REQUIRE(false, "a child that gives root up"); }

TEST(Requirements, MissingNeedsSkipLocallyAndFailUnderCiNamingWhatIsMissing) {
    const std::string folder = ::testing::TempDir() + "requirements-" + std::to_string(getpid());
    mkdir(folder.c_str(), 0755);
    mkdir((folder + "/a-folder").c_str(), 0755);
    std::ofstream(folder + "/fake-tool") << "#!/bin/sh\n";
    chmod((folder + "/fake-tool").c_str(), 0755);
    std::ofstream(folder + "/plain-file") << "text\n";
    const struct {
        std::optional<std::string> path, ci;
        void (*body)();
        const char* reported;  // "" for nothing
    } cases[] = {
        {folder, "true", NeedsFakeTool, ""},
        {"/nonexistent::" + folder, "true", NeedsFakeTool, ""},
        {"/nonexistent", std::nullopt, NeedsFakeTool, "skip: not on PATH: fake-tool"},
        {"/nonexistent", "1", NeedsFakeTool, "skip: not on PATH: fake-tool"},
        {std::nullopt, "true", NeedsFakeTool, "fail: not on PATH: fake-tool"},
        {folder, "true", NeedsThree, "fail: not on PATH: plain-file, a-folder ("},
        {folder, "", NeedsRootGivenUp, "skip: a child that gives root up"},
        {folder, "true", NeedsRootGivenUp, "fail: a child that gives root up"},
    };
    const char* oldPath = std::getenv("PATH");
    const char* oldCi = std::getenv("CI");
    const std::optional<std::string> path =
        oldPath ? std::optional<std::string>(oldPath) : std::nullopt;
    const std::optional<std::string> ci = oldCi ? std::optional<std::string>(oldCi) : std::nullopt;
    for (const auto& c : cases) {
        ::testing::TestPartResultArray results;
        SetOrUnset("PATH", c.path);
        SetOrUnset("CI", c.ci);
        {
            ::testing::ScopedFakeTestPartResultReporter reporter(
                ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD,
                &results);
            c.body();
        }
        SetOrUnset("PATH", path);
        SetOrUnset("CI", ci);
        std::string reported;
        for (int i = 0; i < results.size(); ++i) {
            const ::testing::TestPartResult& r = results.GetTestPartResult(i);
            reported += (r.skipped()          ? "skip: "
                         : r.fatally_failed() ? "fail: "
                                              : "other: ") +
                        std::string(r.message());
        }
        // The kind ("skip: ", "fail: ") first, and the message naming what is missing.
        const std::string expected = c.reported;
        EXPECT_EQ(reported.substr(0, 6), expected.substr(0, 6)) << reported;
        EXPECT_NE(reported.find(expected.substr(std::min<size_t>(6, expected.size()))),
                  std::string::npos)
            << reported;
        EXPECT_EQ(reported.empty(), expected.empty()) << reported;
    }
}

}  // namespace
}  // namespace verava::testing
