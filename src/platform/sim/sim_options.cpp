#include "platform/sim/sim_options.h"

namespace zinna::sim {

void SimOptions::SetScreenSize(int width, int height) {
    SimScreen& screen = config.screen;
    std::optional<Rect>& bar = config.desktop.taskbar;
    if (bar && bar->Bottom == screen.heightPixels && bar->Left == 0 && bar->Right == screen.widthPixels)
        bar = Rect{0, height - (bar->Bottom - bar->Top), width, height};
    screen.widthPixels = width;
    screen.heightPixels = height;
}

void ChooseBuiltFiles(SimOptions& options, const std::filesystem::path& builtCharacter,
                      const std::filesystem::path& builtWallpaper) {
    if (std::filesystem::exists(builtWallpaper)) options.config.wallpaperFile = builtWallpaper;
    if (options.simpleControl) return;
    if (!options.characterFile.empty()) {
        options.config.characterFile = options.characterFile;
    } else if (std::filesystem::exists(builtCharacter)) {
        options.config.characterFile = builtCharacter;
    }
}

std::vector<UserAction> LifeStory(std::int64_t seconds) {
    if (seconds < 20) return {};
    UserAction quit;
    quit.timeMs = (seconds - 10) * 1000;
    quit.kind = UserAction::Kind::Command;
    quit.command = "Quit";
    return {quit};
}

std::unique_ptr<SimWorld> RunSimulation(SimOptions options, const Trace::Listener& listener) {
    const std::int64_t durationMs = options.seconds * 1000;
    auto world = std::make_unique<SimWorld>(std::move(options.config));
    world->GetTrace().AddListener(listener);
    world->Run(durationMs);
    return world;
}

}  // namespace zinna::sim
