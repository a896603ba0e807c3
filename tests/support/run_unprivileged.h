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
// RunUnprivileged's answer when it runs as root but cannot start a child that gives root up.
inline constexpr int kCannotGiveUpRoot = -2;

// Runs `body` and returns its result (0..253). Without root it runs here; as root it runs in
// a child process with user and group kUnprivilegedId. kCannotGiveUpRoot when that child
// could not be started or could not give root up; -1 when it did not end normally (a crash
// of the body). Files the body touches must be reachable for that user.
inline int RunUnprivileged(const std::function<int()>& body) {
    if (geteuid() != 0) return body() & 0xFF;
    // The child's exit status when setgroups, setgid or setuid refused.
    constexpr int kRefused = 254;
    const pid_t child = fork();
    if (child < 0) return kCannotGiveUpRoot;
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(kUnprivilegedId) != 0 ||
            setuid(kUnprivilegedId) != 0) {
            _exit(kRefused);
        }
        _exit(body() & 0xFF);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status) == kRefused ? kCannotGiveUpRoot : WEXITSTATUS(status);
}

// What a test that needs RunUnprivileged names when the machine does not allow it.
inline constexpr const char* kGivingUpRoot =
    "a child process that gives root up (setuid to 65534); run the tests as an ordinary user "
    "or where root may change its user";

}  // namespace verava::testing
