#include "sim_command_line.h"

#include <cmath>
#include <sstream>

namespace zinna::sim {

namespace {

using cli::UsageError;
using Values = std::vector<std::string>;

constexpr char kUsage[] =
    "usage: zinna-sim [options]\n"
    "  --seconds N          virtual seconds to run (default 180); the run ends earlier when the program ends\n"
    "  --seed N             seed of the program's random generator (default: the clock; printed first)\n"
    "  --rnd a,b,...        numbers in [0,1) that the program's generator returns first, in this order\n"
    "  --screen WxH         screen size in pixels (default 1024x768)\n"
    "  --dpi N              the display's dots per inch (default 96; 144 is 150 %, 192 is 200 %): layout units\n"
    "                       per pixel, her size and her balloon follow it\n"
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
    "                       \"<seconds> drag <x> <y>\"; - reads standard input (default: she is quit ten\n"
    "                       seconds before the end; --script /dev/null for no actions)\n"
    "  --format text|jsonl  a timeline for people, with a summary (default), or JSON Lines\n"
    "  --snapshot S FILE    writes a PNG picture of the simulated screen at S virtual seconds (repeatable)\n"
    "  --movie FILE         writes an animated GIF of the simulated screen for the whole run\n"
    "  --state-dir DIR      the user's desktop and Zinna's restore journal live in DIR between runs; a desktop\n"
    "                       saved there is the start (--wallpaper, --tile, --style, --desktop-color ignored)\n"
    "  --kill-at S|msgbox   the process is killed at S virtual seconds, or while a message box shows\n"
    "  --restore            only the restore journal's recovery, as zinna.exe /restore\n"
    "  --help, --version\n";

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

std::vector<long long> Numbers(const std::string& text, char separator, size_t count, const std::string& option) {
    std::vector<std::string> parts = Split(text, separator);
    if (parts.size() != count) throw UsageError(option + ": expected " + std::to_string(count) + " numbers: " + text);
    std::vector<long long> numbers;
    for (const std::string& part : parts) numbers.push_back(cli::WholeNumber(part, option));
    return numbers;
}

std::optional<std::string> ValueOrMissing(const std::string& text) {
    if (text == "missing") return std::nullopt;
    return text;
}

long long Whole(const std::string& text, const std::string& option) { return cli::WholeNumber(text, option); }

// One entry an option: its name, how many values follow it, and what it sets.
struct SimOption {
    const char* name;
    int valueCount;
    void (*apply)(SimCommandLine& line, const Values& values);
};

const SimOption kOptions[] = {
    {"--seconds", 1,
     [](SimCommandLine& line, const Values& v) {
         line.run.seconds = Whole(v[0], "--seconds");
         if (line.run.seconds < 0) throw UsageError("--seconds must not be negative");
     }},
    {"--seed", 1,
     [](SimCommandLine& line, const Values& v) {
         line.run.config.seed = static_cast<std::uint32_t>(Whole(v[0], "--seed"));
         line.seedGiven = true;
     }},
    {"--rnd", 1,
     [](SimCommandLine& line, const Values& v) {
         for (const std::string& part : Split(v[0], ',')) {
             float number = 0;
             try {
                 number = std::stof(part);
             } catch (const std::exception&) {
                 throw UsageError("--rnd: not a number: " + part);
             }
             if (!(number >= 0.0f && number < 1.0f)) throw UsageError("--rnd: not in [0,1): " + part);
             line.run.config.firstRandomNumbers.push_back(number);
         }
     }},
    {"--screen", 1,
     [](SimCommandLine& line, const Values& v) {
         auto size = Numbers(v[0], 'x', 2, "--screen");
         if (size[0] <= 0 || size[1] <= 0 || size[0] > 100000 || size[1] > 100000)
             throw UsageError("--screen: not a screen size");
         line.run.SetScreenSize(static_cast<int>(size[0]), static_cast<int>(size[1]));
     }},
    {"--state-dir", 1, [](SimCommandLine& line, const Values& v) { line.run.config.stateDir = v[0]; }},
    {"--kill-at", 1,
     [](SimCommandLine& line, const Values& v) {
         if (v[0] == "msgbox") {
             line.run.config.killAtMessageBox = true;
             return;
         }
         double seconds = -1;
         try {
             std::size_t used = 0;
             seconds = std::stod(v[0], &used);
             if (used != v[0].size()) seconds = -1;
         } catch (const std::exception&) {}
         if (!(seconds >= 0)) throw UsageError("--kill-at: seconds or msgbox: " + v[0]);
         line.run.config.killAtMs = std::llround(seconds * 1000);
     }},
    {"--restore", 0, [](SimCommandLine& line, const Values&) { line.run.config.restoreOnly = true; }},
    {"--dpi", 1,
     [](SimCommandLine& line, const Values& v) {
         long long dpi = Whole(v[0], "--dpi");
         if (dpi < 48 || dpi > 960) throw UsageError("--dpi: from 48 to 960");
         line.run.config.screen.dpi = static_cast<int>(dpi);
     }},
    {"--taskbar", 1,
     [](SimCommandLine& line, const Values& v) {
         if (v[0] == "none") {
             line.run.config.desktop.taskbar.reset();
             return;
         }
         auto r = Numbers(v[0], ',', 4, "--taskbar");
         line.run.config.desktop.taskbar = Rect{static_cast<std::int32_t>(r[0]), static_cast<std::int32_t>(r[1]),
                                                static_cast<std::int32_t>(r[2]), static_cast<std::int32_t>(r[3])};
     }},
    {"--character", 1,
     [](SimCommandLine& line, const Values& v) {
         auto size = Numbers(v[0], 'x', 2, "--character");
         if (size[0] <= 0 || size[1] <= 0 || size[0] > 32767 || size[1] > 32767)
             throw UsageError("--character: not a frame size");
         line.run.config.reportedFrameSize = std::pair<int, int>(static_cast<int>(size[0]), static_cast<int>(size[1]));
     }},
    {"--character-file", 1, [](SimCommandLine& line, const Values& v) { line.run.characterFile = v[0]; }},
    {"--simple-control", 0, [](SimCommandLine& line, const Values&) { line.run.simpleControl = true; }},
    {"--no-character", 0,
     [](SimCommandLine& line, const Values&) { line.run.config.desktop.characterFilePresent = false; }},
    {"--fail", 1,
     [](SimCommandLine& line, const Values& v) {
         auto at = v[0].find('@');
         if (at == std::string::npos) {
             line.run.config.failures->FailEvery(v[0]);
             return;
         }
         long long nth = Whole(v[0].substr(at + 1), "--fail");
         if (nth < 1) throw UsageError("--fail: N counts from 1");
         line.run.config.failures->FailNth(v[0].substr(0, at), static_cast<int>(nth));
     }},
    {"--windows-dir", 1, [](SimCommandLine& line, const Values& v) { line.run.config.desktop.windowsDir = v[0]; }},
    {"--wallpaper", 1,
     [](SimCommandLine& line, const Values& v) { line.run.config.desktop.wallpaper = ValueOrMissing(v[0]); }},
    {"--tile", 1,
     [](SimCommandLine& line, const Values& v) { line.run.config.desktop.tileWallpaper = ValueOrMissing(v[0]); }},
    {"--style", 1,
     [](SimCommandLine& line, const Values& v) { line.run.config.desktop.wallpaperStyle = ValueOrMissing(v[0]); }},
    {"--desktop-color", 1,
     [](SimCommandLine& line, const Values& v) {
         auto rgb = Numbers(v[0], ',', 3, "--desktop-color");
         for (long long c : rgb)
             if (c < 0 || c > 255) throw UsageError("--desktop-color: each part is 0 to 255");
         line.run.config.desktop.desktopColor =
             static_cast<std::uint32_t>(rgb[0] | (rgb[1] << 8) | (rgb[2] << 16));  // red in the lowest byte
     }},
    {"--snapshot", 2,
     [](SimCommandLine& line, const Values& v) {
         double seconds = 0;
         try {
             size_t used = 0;
             seconds = std::stod(v[0], &used);
             if (used != v[0].size() || !(seconds >= 0)) throw std::invalid_argument("");
         } catch (const std::exception&) {
             throw UsageError("--snapshot: not a number of seconds: " + v[0]);
         }
         line.snapshots.emplace_back(std::llround(seconds * 1000), v[1]);
     }},
    {"--movie", 1, [](SimCommandLine& line, const Values& v) { line.movie = v[0]; }},
    {"--script", 1, [](SimCommandLine& line, const Values& v) { line.scriptPath = v[0]; }},
    {"--format", 1,
     [](SimCommandLine& line, const Values& v) {
         if (v[0] != "text" && v[0] != "jsonl") throw UsageError("--format: text or jsonl");
         line.jsonLines = v[0] == "jsonl";
     }},
};

}  // namespace

const cli::ToolSpec& SimTool() {
    static const cli::ToolSpec spec = [] {
        cli::ToolSpec tool{"zinna-sim", kUsage, {}, 0, 0};
        for (const SimOption& option : kOptions) tool.options.push_back({option.name, option.valueCount});
        return tool;
    }();
    return spec;
}

SimCommandLine ReadSimCommandLine(const cli::CommandLine& line) {
    SimCommandLine sim;
    // The screen first: the default taskbar follows it, a taskbar given (before or after) stays.
    for (const bool screen : {true, false})
        for (const cli::ParsedOption& given : line.options)
            for (const SimOption& option : kOptions)
                if (given.name == option.name && (given.name == "--screen") == screen) option.apply(sim, given.values);
    return sim;
}

SimCommandLine ParseSimCommandLine(const std::vector<std::string>& args) {
    return ReadSimCommandLine(cli::ParseCommandLine(SimTool(), args));
}

}  // namespace zinna::sim
