// Opening an address the way the desktop's user would: xdg-open, the address as its one argument.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zinna::linuxdesk {

// Starts xdg-open (found on PATH) with posix_spawn, no shell: the address reaches it as one
// argument, whatever characters it holds. nullopt when it cannot be started.
std::optional<pid_t> LaunchXdgOpen(const std::string& address);

// Collects the children that have ended, without waiting; returns those still running.
std::vector<pid_t> ReapExited(std::vector<pid_t> children);

}  // namespace zinna::linuxdesk
