#include "platform/linux/desktop/shell_open.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace zinna::linuxdesk {

std::optional<pid_t> LaunchXdgOpen(const std::string& address) {
    std::string program = "xdg-open";
    std::string argument = address;
    char* const argv[] = {program.data(), argument.data(), nullptr};
    // The child starts clean: the loop blocks and handles signals of its own, and xdg-open and the
    // browser it starts must neither inherit the mask nor find a signal ignored.
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) return std::nullopt;
    sigset_t none, every;
    sigemptyset(&none);
    sigfillset(&every);
    sigdelset(&every, SIGKILL);
    sigdelset(&every, SIGSTOP);
    const bool prepared = posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
                          posix_spawnattr_setsigdefault(&attributes, &every) == 0 &&
                          posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
    pid_t child = 0;
    const bool started = prepared && posix_spawnp(&child, program.c_str(), nullptr, &attributes, argv, environ) == 0;
    posix_spawnattr_destroy(&attributes);
    if (!started) return std::nullopt;
    return child;
}

std::vector<pid_t> ReapExited(std::vector<pid_t> children) {
    std::vector<pid_t> running;
    for (const pid_t child : children) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == 0) running.push_back(child);
    }
    return running;
}

}  // namespace zinna::linuxdesk
