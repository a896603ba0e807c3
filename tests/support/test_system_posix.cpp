// The machine's side of the test support (pdf_builder.h): the tests' folder and commands
// run through the shell.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "support/pdf_builder.h"

namespace verava::testing {

std::string WriteTempFile(const std::string& name, const std::string& bytes) {
    const std::string dir = "/tmp/verava-tests-" + std::to_string(getpid());
    mkdir(dir.c_str(), 0700);
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string RunCommand(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        if (status != nullptr) *status = -1;
        return output;
    }
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int rc = pclose(pipe);
    if (status != nullptr) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return output;
}

bool HaveTool(const std::string& tool) {
    int status = 0;
    RunCommand("command -v " + tool + " >/dev/null 2>&1", &status);
    return status == 0;
}

std::string RunProgram(const std::string& program, const std::string& args,
                       const std::string& errFile, int* status) {
    return RunCommand(program + " " + args + " 2>'" + errFile + "'", status);
}

}  // namespace verava::testing
