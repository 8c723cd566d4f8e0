#include "cli/program_command_line.h"

#include "cli/command_line.h"

#include <algorithm>
#include <cctype>

namespace zinna::cli {

namespace {

constexpr char kPosixUsage[] =
    "usage: zinna [--restore]\n"
    "  Zinna, the desktop companion, on this display until she is quit; the desktop wears her look\n"
    "  while she runs and is the user's again when she ends.\n"
    "  --restore   only gives the desktop back from the restore journal an earlier run left (one that\n"
    "              did not end in order), then exits\n"
    "  --help, --version\n";

constexpr char kWindowsUsage[] =
    "usage: zinna [/restore]\n"
    "  Zinna, the desktop companion, until she is quit; the desktop wears her look while she runs and\n"
    "  is the user's again when she ends.\n"
    "  /restore, --restore   only gives the desktop back from the restore journal an earlier run left\n"
    "                        (one that did not end in order), then exits\n"
    "  /?, --help, --version\n";

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

// Windows' own spelling in the conventional one; any other "/word" is an unknown option there.
std::vector<std::string> ConventionalSpelling(const std::vector<std::string>& args) {
    std::vector<std::string> conventional;
    for (const std::string& arg : args) {
        if (arg == "/?")
            conventional.push_back("--help");
        else if (SameIgnoringCase(arg, "/restore"))
            conventional.push_back("--restore");
        else if (arg.size() > 1 && arg[0] == '/')
            throw UsageError("unknown option " + arg);
        else
            conventional.push_back(arg);
    }
    return conventional;
}

}  // namespace

ProgramCommand ParseProgramCommandLine(const std::vector<std::string>& args, OptionStyle style) {
    const bool windows = style == OptionStyle::Windows;
    const ToolSpec spec{"zinna", windows ? kWindowsUsage : kPosixUsage, {{"--restore"}}, 0, 0};
    try {
        const CommandLine line = ParseCommandLine(spec, windows ? ConventionalSpelling(args) : args);
        if (line.help) return {ProgramAction::Print, spec.usage};
        if (line.version) return {ProgramAction::Print, spec.name + ' ' + Version() + '\n'};
        return {line.Has("--restore") ? ProgramAction::Restore : ProgramAction::Run, ""};
    } catch (const UsageError& error) {
        return {ProgramAction::Refuse,
                spec.name + ": " + error.what() + " (see zinna " + (windows ? "/?" : "--help") + ")\n"};
    }
}

}  // namespace zinna::cli
