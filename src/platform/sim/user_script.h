// What a simulated user does, and when: one action a line,
//   "<seconds> command <name>", "<seconds> dblclick", "<seconds> drag <x> <y>".
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace zinna::sim {

struct UserAction {
    enum class Kind { Command, DblClick, Drag };
    std::int64_t timeMs = 0;
    Kind kind = Kind::Command;
    std::string command;  // Command: the name, everything after "command " (it may hold blanks)
    int x = 0, y = 0;     // Drag: where the character is dropped
};

// Parses a script; blank lines and lines starting with '#' are skipped. Throws std::invalid_argument
// naming the line of the first malformed action.
std::vector<UserAction> ParseUserScript(std::istream& in);

}  // namespace zinna::sim
