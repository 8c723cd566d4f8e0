// zinna-sim's command line.
#pragma once

#include "platform/sim/sim_world.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zinna::sim {

struct SimOptions {
    SimConfig config;
    std::int64_t seconds = 180;
    bool seedGiven = false;
    bool jsonLines = false;
    std::string scriptPath;  // "-" is standard input
    std::string characterFile;  // the character the built-in host plays; empty: the one built with Zinna
    bool simpleControl = false;  // a simulated control with a fixed timing model instead of the host
    std::vector<std::pair<std::int64_t, std::string>> snapshots;  // (virtual ms, PNG file)
};

inline constexpr char kSimUsage[] =
    "usage: zinna-sim [options]\n"
    "  --seconds N          virtual seconds to run (default 180); the run ends earlier when the program ends\n"
    "  --seed N             seed of the program's random generator (default: the clock; printed first)\n"
    "  --rnd a,b,...        numbers in [0,1) that the program's generator returns first, in this order\n"
    "  --screen WxH         screen size in pixels (default 1024x768)\n"
    "  --taskbar L,T,R,B    the taskbar's rectangle (default 0,740,1024,768); \"none\": no taskbar window\n"
    "  --character WxH      the frame size the character reports (default: the character file's)\n"
    "  --character-file F   the character data file to play (default: zinna.acs as built)\n"
    "  --simple-control     a simulated control with a fixed timing model plays, instead of the built-in\n"
    "                       character host (frames 128x128)\n"
    "  --no-character       the character data file is missing\n"
    "  --fail OP[@N]        the character control rejects every call of OP, or only its Nth call (from 1)\n"
    "  --windows-dir PATH   what the Windows directory call reports (default C:\\WINDOWS)\n"
    "  --wallpaper T --tile T --style T   the user's wallpaper values before start (the word missing leaves\n"
    "                       the value out)\n"
    "  --desktop-color R,G,B  the desktop colour before start (default 0,128,128)\n"
    "  --script FILE        the user's actions, one a line: \"<seconds> command <name>\", \"<seconds> dblclick\",\n"
    "                       \"<seconds> drag <x> <y>\"; - reads standard input\n"
    "  --format text|jsonl  a timeline for people (default) or JSON Lines\n"
    "  --snapshot S FILE    writes a PNG picture of the simulated screen at S virtual seconds (repeatable)\n"
    "  --state-dir DIR      the user's desktop and Zinna's restore journal live in DIR between runs; a desktop\n"
    "                       saved there is the start (--wallpaper, --tile, --style, --desktop-color ignored)\n"
    "  --kill-at S|msgbox   the process is killed at S virtual seconds, or while a message box shows\n"
    "  --restore            only the restore journal's recovery, as zinna.exe /restore\n";

// Parses the arguments (without the program name). Throws std::invalid_argument with a message
// for the user on a bad option. Does not read the script file.
SimOptions ParseSimOptions(const std::vector<std::string>& args);

// Decides which control plays: the built-in host with the character file given, or else with the
// character built with Zinna when it exists, or else the simple simulated control. The wallpaper
// built with Zinna, when it exists, is what pictures of the screen show for the program's bitmap.
void ChooseBuiltFiles(SimOptions& options, const std::filesystem::path& builtCharacter,
                      const std::filesystem::path& builtWallpaper);

}  // namespace zinna::sim
