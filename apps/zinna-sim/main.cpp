// zinna-sim: runs the unchanged program on the simulated desktop and prints what it did.
#include "sim_options.h"

#include "png_file.h"

#include <chrono>
#include <fstream>
#include <iostream>

using namespace zinna::sim;

namespace {
int Run(SimOptions& options);
}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    try {
        options = ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (!options.scriptPath.empty()) {
            if (options.scriptPath == "-") {
                options.config.script = ParseUserScript(std::cin);
            } else {
                std::ifstream file(options.scriptPath);
                if (!file) throw std::invalid_argument("cannot read the script " + options.scriptPath);
                options.config.script = ParseUserScript(file);
            }
        }
    } catch (const std::invalid_argument& error) {
        if (*error.what()) std::cerr << "zinna-sim: " << error.what() << "\n";
        std::cerr << kSimUsage;
        return 2;
    }
    ChooseBuiltFiles(options, ZINNA_BUILT_CHARACTER_FILE, ZINNA_BUILT_WALLPAPER_FILE);
    if (!options.config.characterFile && !options.simpleControl)
        std::cerr << "zinna-sim: no character file built; the simple simulated control plays instead\n";
    if (!options.seedGiven)
        options.config.seed = static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());

    if (options.jsonLines)
        std::cout << "{\"t\":0,\"ev\":\"seed\",\"seed\":" << options.config.seed << "}\n";
    else
        std::cout << "seed " << options.config.seed << "\n";

    try {
        return Run(options);
    } catch (const std::runtime_error& error) {  // a state folder that cannot be read or written
        std::cerr << "zinna-sim: " << error.what() << "\n";
        return 1;
    }
}

namespace {

int Run(SimOptions& options) {
    SimWorld world(std::move(options.config));
    bool json = options.jsonLines;
    world.GetTrace().SetListener([json](const TraceEvent& event) {
        std::cout << (json ? ToJsonLine(event) : ToTextLine(event)) << '\n';
    });
    int failures = 0;
    for (const auto& [atMs, path] : options.snapshots) {
        world.GetClock().ScheduleAt(atMs, [&world, &failures, path = path] {
            try {
                zinna::acs::WritePng(world.PictureOfScreen(), path);
            } catch (const std::exception& error) {
                std::cerr << "zinna-sim: " << error.what() << "\n";
                ++failures;
            }
        });
    }
    world.Run(options.seconds * 1000);
    return failures == 0 ? 0 : 1;
}

}  // namespace
