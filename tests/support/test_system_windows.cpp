// The machine's side of the test support (pdf_builder.h) on Windows: the tests' folder in
// the user's temporary folder, names in UTF-8 as everywhere in the tests, commands run
// through cmd.exe and programs started directly. The tests' commands are written for a POSIX shell;
// under Wine the Linux tools are not on the Windows PATH, so HaveTool says no and the tests that
// need them skip (or fail under CI=true).
#include <process.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "objects/pdf_text.h"
#include "support/pdf_builder.h"

namespace verava::testing {
namespace {

std::wstring Wide(const std::string& utf8) {
    const std::u16string text = Utf8ToUnicode(utf8);
    return std::wstring(text.begin(), text.end());
}

// The arguments a POSIX shell would make of `args`: split at blanks outside quotes, quotes
// removed.
std::vector<std::string> ShellWords(const std::string& args) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (const char c : args) {
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            } else {
                word += c;
            }
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

// One argument as the C library's command-line parser reads it back: in quotes, with the
// backslashes before a quote doubled.
std::wstring Quoted(const std::wstring& arg) {
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
        } else if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
            backslashes = 0;
            out += c;
            continue;
        } else {
            backslashes = 0;
        }
        out += c;
    }
    out.append(backslashes, L'\\');
    return out + L"\"";
}

std::filesystem::path PathOf(const std::string& utf8) {
    const std::u16string text = Utf8ToUnicode(utf8);
    return std::filesystem::path(std::wstring(text.begin(), text.end()));
}

std::string Utf8Of(const std::filesystem::path& path) {
    const std::wstring& text = path.native();
    return UnicodeToUtf8(std::u16string(text.begin(), text.end()));
}

// Wine hands out the same few process numbers run after run, so the process's start time
// joins its number: every run gets a folder of its own, as on Linux.
std::string RunTag() {
    FILETIME created{};
    FILETIME unused{};
    GetProcessTimes(GetCurrentProcess(), &created, &unused, &unused, &unused);
    const uint64_t ticks =
        (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    return std::to_string(_getpid()) + "-" + std::to_string(ticks);
}

}  // namespace

std::string WriteTempFile(const std::string& name, const std::string& bytes) {
    static const std::string tag = RunTag();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("verava-tests-" + tag);
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    const std::string path = Utf8Of(dir) + "/" + name;
    std::ofstream(PathOf(path), std::ios::binary) << bytes;
    return path;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(PathOf(path), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string RunCommand(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = _popen(command.c_str(), "rb");
    if (pipe == nullptr) {
        if (status != nullptr) *status = -1;
        return output;
    }
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int rc = _pclose(pipe);
    if (status != nullptr) *status = rc;
    return output;
}

bool HaveTool(const std::string& tool) {
    wchar_t found[MAX_PATH];
    const std::wstring name = PathOf(tool).native();
    return SearchPathW(nullptr, name.c_str(), L".exe", MAX_PATH, found, nullptr) > 0;
}

std::string RunProgram(const std::string& program, const std::string& args,
                       const std::string& errFile, int* status) {
    std::wstring commandLine = Quoted(Wide(program));
    for (const std::string& word : ShellWords(args)) commandLine += L" " + Quoted(Wide(word));
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readOut = nullptr;
    HANDLE writeOut = nullptr;
    HANDLE err = CreateFileW(PathOf(errFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (err == INVALID_HANDLE_VALUE || !CreatePipe(&readOut, &writeOut, &inherit, 0)) {
        if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
        if (status != nullptr) *status = -1;
        return "";
    }
    SetHandleInformation(readOut, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeOut;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process) != 0;
    CloseHandle(writeOut);
    CloseHandle(err);
    std::string output;
    if (started) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readOut, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            output.append(buffer, got);
        }
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        if (status != nullptr) *status = static_cast<int>(code);
    } else if (status != nullptr) {
        *status = -1;
    }
    CloseHandle(readOut);
    return output;
}

}  // namespace verava::testing
