#include "sim_command_line.h"

#include "cli/command_line.h"
#include "cli/program_command_line.h"

#include <doctest/doctest.h>

#include <algorithm>

using namespace zinna;
using namespace zinna::sim;

namespace {

const cli::ToolSpec kSample{
    "acs-sample", "usage: acs-sample [--benchmark COUNT SIDE] OUT.acs\n", {{"--benchmark", 2}, {"--json"}}, 1, 1};

}  // namespace

TEST_CASE("options go before or after the operands, and -- ends them") {
    struct Row {
        std::vector<std::string> args;
        std::vector<std::string> operands;
        bool benchmark;
    };
    const Row rows[] = {
        {{"out.acs"}, {"out.acs"}, false},
        {{"--benchmark", "3", "8", "out.acs"}, {"out.acs"}, true},
        {{"out.acs", "--benchmark", "3", "8"}, {"out.acs"}, true},
        {{"--", "--benchmark"}, {"--benchmark"}, false},  // a file named like an option
        {{"-"}, {"-"}, false},                            // standard input or output
    };
    for (const Row& row : rows) {
        CAPTURE(row.args.front());
        cli::CommandLine line = cli::ParseCommandLine(kSample, row.args);
        CHECK(line.operands == row.operands);
        CHECK(line.Has("--benchmark") == row.benchmark);
        if (row.benchmark) CHECK(line.Find("--benchmark")->values == std::vector<std::string>{"3", "8"});
    }
}

TEST_CASE("--help and --version are answered whatever else is given, never taken for a file") {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                                 {"-h"},
                                                 {"x.acs", "--help"},
                                                 {"--help", "a", "b", "c"},
                                                 {"--bogus-later", "--help"}}) {
        CAPTURE(args.front());
        if (args.front() == "--bogus-later") {
            CHECK_THROWS_AS(cli::ParseCommandLine(kSample, args), cli::UsageError);  // the mistake comes first
            continue;
        }
        cli::CommandLine line = cli::ParseCommandLine(kSample, args);
        CHECK(line.help);
    }
    CHECK(cli::ParseCommandLine(kSample, {"--version"}).version);
    CHECK(std::string(cli::Version()) == ZINNA_TEST_VERSION);
}

TEST_CASE("a usage mistake is one message") {
    struct Row {
        std::vector<std::string> args;
        const char* message;
    };
    const Row rows[] = {
        {{}, "missing operand"},
        {{"a.acs", "b.acs"}, "unexpected operand b.acs"},
        {{"--bogus", "a.acs"}, "unknown option --bogus"},
        {{"a.acs", "--benchmark", "3"}, "--benchmark needs 2 values"},
    };
    for (const Row& row : rows) {
        CAPTURE(row.message);
        CHECK_THROWS_WITH_AS(cli::ParseCommandLine(kSample, row.args), row.message, cli::UsageError);
    }
}

TEST_CASE("zinna-sim's options set up the simulated desktop") {
    SimCommandLine line = ParseSimCommandLine({"--screen", "800x600", "--desktop-color", "1,2,3", "--tile", "missing",
                                               "--fail", "Hide@4", "--rnd", "0.5,0", "--format", "jsonl"});
    SimConfig& config = line.run.config;
    CHECK(config.screen.widthPixels == 800);
    CHECK(config.desktop.taskbar->Top == 572);  // the default taskbar follows the screen
    CHECK(config.desktop.desktopColor == 0x030201);
    CHECK(!config.desktop.tileWallpaper);
    CHECK(config.firstRandomNumbers == std::vector<float>{0.5f, 0.0f});
    CHECK(line.jsonLines);
    CHECK(!config.failures->ShouldFail("Hide"));
    CHECK(!config.failures->ShouldFail("Hide"));
    CHECK(!config.failures->ShouldFail("Hide"));
    CHECK(config.failures->ShouldFail("Hide"));
    CHECK(!config.failures->ShouldFail("Hide"));

    // A taskbar given stays where it was given, before or after the screen.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--taskbar", "0,0,1024,30", "--screen", "800x600"},
          {"--screen", "800x600", "--taskbar", "0,0,1024,30"}})
        CHECK(ParseSimCommandLine(args).run.config.desktop.taskbar->Bottom == 30);

    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{{"--rnd", "1"},
                                                                              {"--screen", "0x10"},
                                                                              {"--taskbar", "1,2,3"},
                                                                              {"--fail", "Hide@0"},
                                                                              {"--format", "xml"},
                                                                              {"--seconds"},
                                                                              {"--seconds", "-1"},
                                                                              {"--bogus"},
                                                                              {"--desktop-color", "256,0,0"},
                                                                              {"extra"}}) {
        CAPTURE(bad[0]);
        CHECK_THROWS_AS(ParseSimCommandLine(bad), cli::UsageError);
    }
}

TEST_CASE("without a script, the user quits ten seconds before the run's end") {
    CHECK(LifeStory(19).empty());
    for (std::int64_t seconds : {20, 180, 86400}) {
        CAPTURE(seconds);
        auto story = LifeStory(seconds);
        REQUIRE(story.size() == 1);
        CHECK(story[0].timeMs == (seconds - 10) * 1000);
        CHECK(story[0].command == "Quit");
    }
}

TEST_CASE("zinna's command line: what each spelling does on Linux and on Windows") {
    using cli::OptionStyle;
    using cli::ProgramAction;
    struct Row {
        std::vector<std::string> args;
        OptionStyle style;
        ProgramAction action;
        std::string textStart;  // what the printed text begins with; empty: no text
    };
    const std::string version = std::string("zinna ") + ZINNA_TEST_VERSION + "\n";
    const Row rows[] = {
        {{}, OptionStyle::Posix, ProgramAction::Run, ""},
        {{}, OptionStyle::Windows, ProgramAction::Run, ""},
        {{"--restore"}, OptionStyle::Posix, ProgramAction::Restore, ""},
        {{"--restore"}, OptionStyle::Windows, ProgramAction::Restore, ""},
        {{"/restore"}, OptionStyle::Windows, ProgramAction::Restore, ""},
        {{"/RESTORE"}, OptionStyle::Windows, ProgramAction::Restore, ""},
        {{"--help"}, OptionStyle::Posix, ProgramAction::Print, "usage: zinna [--restore]\n"},
        {{"-h"}, OptionStyle::Posix, ProgramAction::Print, "usage: zinna [--restore]\n"},
        {{"--restore", "--help"}, OptionStyle::Posix, ProgramAction::Print, "usage: "},  // help wins
        {{"--help"}, OptionStyle::Windows, ProgramAction::Print, "usage: zinna [/restore]\n"},
        {{"/?"}, OptionStyle::Windows, ProgramAction::Print, "usage: zinna [/restore]\n"},
        {{"/restore", "/?"}, OptionStyle::Windows, ProgramAction::Print, "usage: "},
        {{"--version"}, OptionStyle::Posix, ProgramAction::Print, version},
        {{"--version"}, OptionStyle::Windows, ProgramAction::Print, version},
        // Mistakes: one line naming what was wrong, and where the usage is.
        {{"--bogus"}, OptionStyle::Posix, ProgramAction::Refuse, "zinna: unknown option --bogus (see zinna --help)\n"},
        {{"--restore", "--bogus"}, OptionStyle::Posix, ProgramAction::Refuse, "zinna: unknown option --bogus"},
        {{"--bogus"}, OptionStyle::Windows, ProgramAction::Refuse, "zinna: unknown option --bogus (see zinna /?)\n"},
        {{"/bogus"}, OptionStyle::Windows, ProgramAction::Refuse, "zinna: unknown option /bogus (see zinna /?)\n"},
        {{"/restorex"}, OptionStyle::Windows, ProgramAction::Refuse, "zinna: unknown option /restorex"},
        // Linux has no slash options: "/restore" there is a file name, and zinna takes none.
        {{"/restore"}, OptionStyle::Posix, ProgramAction::Refuse, "zinna: unexpected operand /restore"},
        {{"/?"}, OptionStyle::Posix, ProgramAction::Refuse, "zinna: unexpected operand /?"},
        {{"wallpaper.png"}, OptionStyle::Windows, ProgramAction::Refuse, "zinna: unexpected operand wallpaper.png"},
        {{"--restore=yes"}, OptionStyle::Posix, ProgramAction::Refuse, "zinna: unknown option --restore=yes"},
    };
    for (const Row& row : rows) {
        CAPTURE(row.args.empty() ? std::string("(none)") : row.args.front());
        CAPTURE(row.style == OptionStyle::Windows);
        const cli::ProgramCommand command = cli::ParseProgramCommandLine(row.args, row.style);
        CHECK(command.action == row.action);
        CHECK(command.text.rfind(row.textStart, 0) == 0);
        if (row.textStart.empty()) CHECK(command.text.empty());
        if (row.action == ProgramAction::Refuse) {
            CHECK(command.text.back() == '\n');
            CHECK(std::count(command.text.begin(), command.text.end(), '\n') == 1);
        }
    }
}
