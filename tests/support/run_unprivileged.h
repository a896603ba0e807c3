// Runs a piece of a test as an ordinary user. Tests that need a permission check to fail (a
// file in a read-only folder that must not be deleted) cannot rely on it as root, which
// ignores permissions; as root the piece runs in a child process that has given root up.
#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace verava::testing {

// The user and group "nobody" on Debian.
inline constexpr uid_t kUnprivilegedId = 65534;

// Runs `body` and returns its result (0..255). Without root it runs here; as root it runs in
// a child process with user and group kUnprivilegedId, and -1 is returned when that child
// could not be started or did not end normally. Files the body touches must be reachable
// for that user.
inline int RunUnprivileged(const std::function<int()>& body) {
    if (geteuid() != 0) return body() & 0xFF;
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(kUnprivilegedId) != 0 ||
            setuid(kUnprivilegedId) != 0) {
            _exit(254);
        }
        _exit(body() & 0xFF);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace verava::testing
