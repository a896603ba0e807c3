// VERAVA_REQUIRE_TOOLS and VERAVA_REQUIRE as a test sees them: what they report (nothing, a
// skip or a failure naming what is missing) for each PATH and value of CI.
#include "support/requirements.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace verava::testing {
namespace {

// Sets an environment variable (or removes it) for one scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// What `body` reported: "" when nothing, else "skip: MESSAGE" or "fail: MESSAGE".
std::string Reported(const std::function<void()>& body) {
    ::testing::TestPartResultArray results;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
        body();
    }
    std::string out;
    for (int i = 0; i < results.size(); ++i) {
        const ::testing::TestPartResult& r = results.GetTestPartResult(i);
        out += r.skipped() ? "skip: " : r.fatally_failed() ? "fail: " : "other: ";
        out += r.message();
    }
    return out;
}

// A folder for PATH with an executable "fake-tool", a file "plain-file" that may not be run
// and a folder "a-folder".
std::string ToolFolder() {
    const std::string folder = ::testing::TempDir() + "requirements-" + std::to_string(getpid());
    mkdir(folder.c_str(), 0755);
    std::ofstream(folder + "/fake-tool") << "#!/bin/sh\n";
    chmod((folder + "/fake-tool").c_str(), 0755);
    std::ofstream(folder + "/plain-file") << "text\n";
    chmod((folder + "/plain-file").c_str(), 0644);
    mkdir((folder + "/a-folder").c_str(), 0755);
    return folder;
}

void NeedsFakeTool() { VERAVA_REQUIRE_TOOLS("fake-tool"); }
void NeedsThree() { VERAVA_REQUIRE_TOOLS("plain-file", "fake-tool", "a-folder"); }
void NeedsRootGivenUp() { VERAVA_REQUIRE(false, "a child that gives root up"); }
void NeedsNothingMissing() { VERAVA_REQUIRE(true, "never named"); }

TEST(Requirements, MissingNeedsSkipLocallyAndFailUnderCiNamingWhatIsMissing) {
    const std::string folder = ToolFolder();
    const struct {
        const char* what;
        std::optional<std::string> path;
        std::optional<std::string> ci;
        void (*body)();
        const char* reported;  // the start of what is reported; "" for nothing
        const char* names;     // what the message must name
    } kCases[] = {
        {"tool there, no CI", folder, std::nullopt, NeedsFakeTool, "", ""},
        {"tool there, CI", folder, "true", NeedsFakeTool, "", ""},
        {"tool missing, no CI", "/nonexistent", std::nullopt, NeedsFakeTool,
         "skip: ", "not on PATH: fake-tool"},
        {"tool missing, CI", "/nonexistent", "true", NeedsFakeTool,
         "fail: ", "not on PATH: fake-tool"},
        {"tool missing, CI says something else", "/nonexistent", "1", NeedsFakeTool,
         "skip: ", "fake-tool"},
        {"tool missing, CI empty", "/nonexistent", "", NeedsFakeTool, "skip: ", "fake-tool"},
        {"no PATH at all, CI", std::nullopt, "true", NeedsFakeTool, "fail: ", "fake-tool"},
        {"tool in a later PATH folder", "/nonexistent::" + folder, "true", NeedsFakeTool, "", ""},
        // Files that cannot be run and folders are no tools; every missing one is named.
        {"not executable and a folder, CI", folder, "true", NeedsThree,
         "fail: ", "not on PATH: plain-file, a-folder"},
        {"not executable and a folder, no CI", folder, std::nullopt, NeedsThree,
         "skip: ", "not on PATH: plain-file, a-folder"},
        {"condition false, CI", folder, "true", NeedsRootGivenUp,
         "fail: ", "a child that gives root up"},
        {"condition false, no CI", folder, std::nullopt, NeedsRootGivenUp,
         "skip: ", "a child that gives root up"},
        {"condition true, CI", folder, "true", NeedsNothingMissing, "", ""},
    };
    for (const auto& c : kCases) {
        std::string reported;
        {
            ScopedEnv path("PATH", c.path);
            ScopedEnv ci("CI", c.ci);
            reported = Reported(c.body);
        }
        if (*c.reported == '\0') {
            EXPECT_EQ(reported, "") << c.what;
            continue;
        }
        EXPECT_EQ(reported.rfind(c.reported, 0), 0u) << c.what << ": " << reported;
        EXPECT_NE(reported.find(c.names), std::string::npos) << c.what << ": " << reported;
        // A tool that is there is never named.
        if (c.body == NeedsThree) {
            EXPECT_EQ(reported.find("fake-tool"), std::string::npos) << c.what;
        }
    }
}

}  // namespace
}  // namespace verava::testing
