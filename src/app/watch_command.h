// `verava-cli watch`: its options as typed, checked and turned into a WatchFolder run, and
// its help text. The command line's main() hands the arguments after "watch" over whole.
#pragma once

#include <string>
#include <vector>

namespace verava {

extern const char kWatchHelp[];

// The exit status: 0 done (or stopped by a signal), 1 the folder cannot be watched, 2 usage.
int RunWatchCommand(const std::vector<std::string>& args);

}  // namespace verava
