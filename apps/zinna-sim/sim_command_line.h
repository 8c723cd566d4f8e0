// zinna-sim's command line: the options table and what each option sets.
#pragma once

#include "cli/command_line.h"
#include "platform/sim/sim_options.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zinna::sim {

struct SimCommandLine {
    SimOptions run;
    bool seedGiven = false;
    bool jsonLines = false;
    std::string scriptPath;  // "-" is standard input; empty: the built-in life story
    std::vector<std::pair<std::int64_t, std::string>> snapshots;  // (virtual ms, PNG file)
    std::string movie;                                            // an animated GIF of the whole run; empty: none
};

// Usage, options and operands of zinna-sim.
const cli::ToolSpec& SimTool();

// What the parsed options set, in the order given. Throws cli::UsageError for a bad value. Does
// not read the script file.
SimCommandLine ReadSimCommandLine(const cli::CommandLine& line);

// Parses and reads the arguments (without the program name) at once.
SimCommandLine ParseSimCommandLine(const std::vector<std::string>& args);

}  // namespace zinna::sim
