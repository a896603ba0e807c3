// VERAVA_REQUIRE_TOOLS and VERAVA_REQUIRE as a test sees them: nothing, a skip or a failure
// naming what is missing, for each PATH and value of CI. POSIX only: the tools are looked up
// as the shell does (execute bits, folders on PATH); Windows looks for NAME.exe.
#include "support/requirements.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

namespace verava::testing {
namespace {

std::optional<std::string> Get(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}
void Set(const char* name, const std::optional<std::string>& value) {
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
        char reported;      // nothing (' '), a skip or a failure
        const char* names;  // what the message names
    } cases[] = {
        {folder, "true", NeedsFakeTool, ' ', ""},
        {"/nonexistent::" + folder, "true", NeedsFakeTool, ' ', ""},
        {"/nonexistent", std::nullopt, NeedsFakeTool, 's', "not on PATH: fake-tool"},
        {std::nullopt, "true", NeedsFakeTool, 'f', "not on PATH: fake-tool"},
        {folder, "true", NeedsThree, 'f', "not on PATH: plain-file, a-folder ("},
        {folder, "1", NeedsRootGivenUp, 's', "a child that gives root up"},  // CI not "true"
        {folder, "true", NeedsRootGivenUp, 'f', "a child that gives root up"},
    };
    const std::optional<std::string> path = Get("PATH"), ci = Get("CI");
    for (const auto& c : cases) {
        ::testing::TestPartResultArray results;
        Set("PATH", c.path);
        Set("CI", c.ci);
        {
            ::testing::ScopedFakeTestPartResultReporter reporter(
                ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD,
                &results);
            c.body();
        }
        Set("PATH", path);
        Set("CI", ci);
        ASSERT_EQ(results.size(), c.reported == ' ' ? 0 : 1) << c.names;
        if (c.reported == ' ') continue;
        const ::testing::TestPartResult& r = results.GetTestPartResult(0);
        EXPECT_EQ(r.skipped(), c.reported == 's') << r.message();
        EXPECT_EQ(r.fatally_failed(), c.reported == 'f') << r.message();
        EXPECT_NE(std::string(r.message()).find(c.names), std::string::npos) << r.message();
    }
}

}  // namespace
}  // namespace verava::testing
