#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/cli_platform.h"
#include "objects/pdf_text.h"
#include "objects/replacing_file.h"

namespace {

// Runs on a thread of its own; answering FALSE lets the default handler end the process.
BOOL WINAPI OnConsoleEvent(DWORD) {
    verava::RemovePendingTemporaries();
    return FALSE;
}

}  // namespace

void verava::RemoveTemporariesOnInterrupt() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool verava::StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

// wmain: the arguments as typed, in UTF-16, not squeezed through the ANSI code page (which
// loses every Chinese file name on a Western system and many on a Chinese one).
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> utf8;
    utf8.reserve(static_cast<size_t>(argc));
    for (int i = 0; i < argc; ++i) {
        const std::wstring arg(argv[i]);
        utf8.push_back(verava::UnicodeToUtf8(std::u16string(arg.begin(), arg.end())));
    }
    std::vector<char*> pointers;
    for (std::string& arg : utf8) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    // `show --stream` writes stream bytes: the C library must not turn "\n" into "\r\n".
    // The texts are UTF-8, which the console then shows as such.
    _setmode(_fileno(stdout), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
    return verava::RunCli(argc, pointers.data());
}
