#include <signal.h>
#include <unistd.h>

#include "app/cli/cli_platform.h"
#include "objects/replacing_file.h"

namespace {

void OnInterrupt(int signal) {
    verava::RemovePendingTemporaries();
    ::signal(signal, SIG_DFL);
    raise(signal);
}

}  // namespace

void verava::RemoveTemporariesOnInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    // Past a file-size limit a write fails (EFBIG) and is reported like a full disk, instead
    // of the signal ending the program with a half-written file.
    ::signal(SIGXFSZ, SIG_IGN);
}

bool verava::StderrIsTerminal() { return isatty(2) != 0; }

int main(int argc, char** argv) { return verava::RunCli(argc, argv); }
