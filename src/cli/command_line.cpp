#include "cli/command_line.h"

#include <algorithm>
#include <iostream>

namespace zinna::cli {

const ParsedOption* CommandLine::Find(const std::string& name) const {
    for (auto it = options.rbegin(); it != options.rend(); ++it)
        if (it->name == name) return &*it;
    return nullptr;
}

CommandLine ParseCommandLine(const ToolSpec& spec, const std::vector<std::string>& args) {
    CommandLine line;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // "-" alone is an operand (standard input or output), as is anything after "--".
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            line.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--version") {
            line.version = true;
        } else {
            auto known = std::find_if(spec.options.begin(), spec.options.end(),
                                      [&](const OptionSpec& option) { return option.name == arg; });
            if (known == spec.options.end()) throw UsageError("unknown option " + arg);
            ParsedOption option{arg, {}};
            for (int v = 0; v < known->valueCount; ++v) {
                if (i + 1 >= args.size())
                    throw UsageError(arg + " needs " + std::to_string(known->valueCount) +
                                     (known->valueCount == 1 ? " value" : " values"));
                option.values.push_back(args[++i]);
            }
            line.options.push_back(std::move(option));
        }
    }
    if (line.help || line.version) return line;
    if (line.operands.size() < spec.minOperands) throw UsageError("missing operand");
    if (line.operands.size() > spec.maxOperands)
        throw UsageError("unexpected operand " + line.operands[spec.maxOperands]);
    return line;
}

int RunTool(const ToolSpec& spec, int argc, const char* const* argv,
            const std::function<int(const CommandLine&)>& tool) {
    try {
        const CommandLine line = ParseCommandLine(spec, std::vector<std::string>(argv + 1, argv + argc));
        if (line.help) {
            std::cout << spec.usage << std::flush;
            return 0;
        }
        if (line.version) {
            std::cout << spec.name << ' ' << Version() << std::endl;
            return 0;
        }
        return tool(line);
    } catch (const UsageError& error) {
        std::cerr << spec.name << ": " << error.what() << " (see " << spec.name << " --help)" << std::endl;
        return 2;
    }
}

const char* Version() { return ZINNA_VERSION; }

long long WholeNumber(const std::string& text, const std::string& what) {
    try {
        std::size_t used = 0;
        long long value = std::stoll(text, &used);
        if (used == text.size()) return value;
    } catch (const std::exception&) {}
    throw UsageError(what + ": not a whole number: " + text);
}

}  // namespace zinna::cli
