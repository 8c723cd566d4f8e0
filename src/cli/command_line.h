// The command-line conventions every tool shares: options before or after the operands ("--" ends
// them), --help (the usage on standard output, exit 0), --version, and a usage mistake told in one
// line on standard error with exit status 2.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zinna::cli {

// A mistake in how the tool was called: reported in one line, exit status 2.
class UsageError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

struct OptionSpec {
    std::string name;    // "--json"
    int valueCount = 0;  // the arguments that follow it
};

struct ToolSpec {
    std::string name;   // "acs-info"
    std::string usage;  // what --help prints, from "usage:" on
    std::vector<OptionSpec> options;
    std::size_t minOperands = 0;
    std::size_t maxOperands = 0;
};

struct ParsedOption {
    std::string name;
    std::vector<std::string> values;
};

struct CommandLine {
    std::vector<ParsedOption> options;  // in the order given
    std::vector<std::string> operands;
    bool help = false;
    bool version = false;

    bool Has(const std::string& name) const { return Find(name) != nullptr; }
    // The last occurrence of the option, or null.
    const ParsedOption* Find(const std::string& name) const;
};

// Splits the arguments (without the program's name) into options and operands. Throws UsageError
// for an unknown option, a missing value, or too few or too many operands (not checked when
// --help or --version was given).
CommandLine ParseCommandLine(const ToolSpec& spec, const std::vector<std::string>& args);

// What a tool's main does: parses the command line, answers --help and --version, and otherwise
// runs the tool. A UsageError, from the parser or the tool itself, is one line on standard error
// and exit status 2.
int RunTool(const ToolSpec& spec, int argc, const char* const* argv,
            const std::function<int(const CommandLine&)>& tool);

// The version every tool reports (the project's version).
const char* Version();

// A whole number for an option's value or an operand; UsageError naming `what` otherwise.
long long WholeNumber(const std::string& text, const std::string& what);

}  // namespace zinna::cli
