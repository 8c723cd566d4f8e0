#include "platform/linux/desktop/shell_open.h"

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace zinna::linuxdesk {

std::optional<pid_t> LaunchXdgOpen(const std::string& address) {
    std::string program = "xdg-open";
    std::string argument = address;
    char* const argv[] = {program.data(), argument.data(), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, program.c_str(), nullptr, nullptr, argv, environ) != 0) return std::nullopt;
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
