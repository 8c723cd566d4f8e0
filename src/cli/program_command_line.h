// zinna's own command line, the same decision on Windows and on Linux: run, only apply the restore
// journal (--restore), answer --help or --version, or refuse a usage mistake before anything of the
// desktop is touched. Windows also takes its own spelling: /restore (any case) and /?.
#pragma once

#include <string>
#include <vector>

namespace zinna::cli {

enum class OptionStyle { Posix, Windows };

enum class ProgramAction {
    Run,      // the companion
    Restore,  // only the restore journal's recovery
    Print,    // `text` on standard output, exit status 0 (--help, --version)
    Refuse,   // `text` (one line) on standard error, exit status 2
};

struct ProgramCommand {
    ProgramAction action = ProgramAction::Run;
    std::string text;  // with its final newline
};

// The arguments without the program's name.
ProgramCommand ParseProgramCommandLine(const std::vector<std::string>& args, OptionStyle style);

}  // namespace zinna::cli
