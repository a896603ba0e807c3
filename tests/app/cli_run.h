// Runs the real verava-cli (VERAVA_CLI, set by the build) with shell-quoted arguments, and
// what it printed.
#pragma once

#include <string>

#include "support/pdf_builder.h"

namespace verava::testing {

struct CliRun {
    int status = 0;
    std::string out;
    std::string err;
};

inline CliRun Cli(const std::string& args) {
    const std::string errFile = WriteTempFile("cli-stderr.txt", "");
    CliRun r;
    r.out = RunProgram(VERAVA_CLI, args, errFile, &r.status);
    r.err = ReadFileBytes(errFile);
    return r;
}

// A path quoted for the shell.
inline std::string Q(const std::string& s) { return "'" + s + "'"; }

}  // namespace verava::testing
