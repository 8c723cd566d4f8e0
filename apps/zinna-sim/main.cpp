// zinna-sim: runs the unchanged program on the simulated desktop and prints what it did.
#include "sim_command_line.h"

#include "screen_movie.h"

#include "png/png_file.h"
#include "platform/sim/text_timeline.h"

#include <chrono>
#include <fstream>
#include <iostream>
#include <optional>

using namespace zinna::sim;

namespace {

std::vector<UserAction> ReadScript(const SimCommandLine& line) {
    if (line.scriptPath.empty()) return LifeStory(line.run.seconds);
    if (line.scriptPath == "-") return ParseUserScript(std::cin);
    std::ifstream file(line.scriptPath);
    if (!file) throw zinna::cli::UsageError("cannot read the script " + line.scriptPath);
    return ParseUserScript(file);
}

int RunSim(SimCommandLine line) {
    try {
        line.run.config.script = ReadScript(line);
    } catch (const std::invalid_argument& error) {
        throw zinna::cli::UsageError(error.what());
    }
    SimOptions& options = line.run;
    ChooseBuiltFiles(options, ZINNA_BUILT_CHARACTER_FILE, ZINNA_BUILT_WALLPAPER_FILE);
    if (!options.config.characterFile && !options.simpleControl)
        std::cerr << "zinna-sim: no character file built; the simple simulated control plays instead\n";
    if (!line.seedGiven)
        options.config.seed = static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());

    if (line.jsonLines)
        std::cout << "{\"t\":0,\"ev\":\"seed\",\"seed\":" << options.config.seed << "}\n";
    else
        std::cout << "seed " << options.config.seed << "\n";

    SimWorld world(std::move(options.config));
    // Every event is written as it happens and none is kept: a run of any length uses the same memory.
    std::optional<TextTimeline> text;
    if (line.jsonLines) {
        world.GetTrace().AddListener([](const TraceEvent& event) { std::cout << ToJsonLine(event) << '\n'; });
    } else {
        text.emplace(std::cout, world.DesktopNow());
        world.GetTrace().AddListener([&text](const TraceEvent& event) { text->Observe(event); });
    }
    int failures = 0;
    for (const auto& [atMs, path] : line.snapshots) {
        world.GetClock().ScheduleAt(atMs, [&world, &failures, path = path] {
            try {
                zinna::image::WritePng(world.PictureOfScreen(), path);
            } catch (const std::exception& error) {
                std::cerr << "zinna-sim: " << error.what() << "\n";
                ++failures;
            }
        });
    }
    std::optional<ScreenMovie> movie;
    if (!line.movie.empty()) movie.emplace(world, line.movie);
    world.Run(options.seconds * 1000);
    if (text) text->Finish();
    if (movie) {
        if (movie->Close()) {
            std::cerr << "zinna-sim: the movie is " << line.movie << " (" << movie->Frames() << " frames)\n";
        } else {
            std::cerr << "zinna-sim: cannot write the movie " << line.movie << "\n";
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    return zinna::cli::RunTool(SimTool(), argc, argv, [](const zinna::cli::CommandLine& parsed) {
        try {
            return RunSim(ReadSimCommandLine(parsed));
        } catch (const std::runtime_error& error) {  // a state folder that cannot be read or written
            std::cerr << "zinna-sim: " << error.what() << "\n";
            return 1;
        }
    });
}
