// What verava-cli needs from the operating system, given once per system (main_posix.cpp,
// main_windows.cpp): each system's entry point hands RunCli the arguments as UTF-8 with
// standard output in bytes, as Linux has them.
#pragma once

namespace verava {

// The program, with argv in UTF-8.
int RunCli(int argc, char** argv);

// Interrupts (SIGINT, SIGTERM and SIGHUP; Ctrl+C and closing the console window) end the
// program as they would, but first remove a new output that has a name already.
void RemoveTemporariesOnInterrupt();

// Standard error is a terminal (or console), where a progress bar may be drawn.
bool StderrIsTerminal();

}  // namespace verava
