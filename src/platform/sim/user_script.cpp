#include "platform/sim/user_script.h"

#include <cmath>
#include <sstream>
#include <stdexcept>

namespace zinna::sim {

namespace {

[[noreturn]] void Malformed(int lineNumber, const std::string& line, const std::string& why) {
    throw std::invalid_argument("script line " + std::to_string(lineNumber) + ": " + why + ": " + line);
}

}  // namespace

std::vector<UserAction> ParseUserScript(std::istream& in) {
    std::vector<UserAction> actions;
    std::string line;
    for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string first;
        if (!(words >> first) || first[0] == '#') continue;

        UserAction action;
        double seconds = 0;
        try {
            size_t used = 0;
            seconds = std::stod(first, &used);
            if (used != first.size() || !std::isfinite(seconds) || seconds < 0) throw std::invalid_argument("");
        } catch (const std::exception&) {
            Malformed(lineNumber, line, "the time is not a number of seconds");
        }
        action.timeMs = std::llround(seconds * 1000);

        std::string verb;
        words >> verb;
        if (verb == "command") {
            action.kind = UserAction::Kind::Command;
            words >> std::ws;
            std::getline(words, action.command);
            if (action.command.empty()) Malformed(lineNumber, line, "the command has no name");
        } else if (verb == "dblclick") {
            action.kind = UserAction::Kind::DblClick;
        } else if (verb == "drag") {
            action.kind = UserAction::Kind::Drag;
            if (!(words >> action.x >> action.y)) Malformed(lineNumber, line, "a drag needs x and y");
        } else {
            Malformed(lineNumber, line, "unknown action '" + verb + "'");
        }
        actions.push_back(std::move(action));
    }
    return actions;
}

}  // namespace zinna::sim
