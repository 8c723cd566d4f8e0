// Runs the program on the simulated desktop for a test, through the simulation library, and
// picks events out of its trace.
#pragma once

#include "platform/sim/sim_options.h"
#include "platform/sim/sim_world.h"

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace zinna::testing {

// A run's settings, one call a setting: Setup().Seconds(0).Seed(3).Screen(800, 600).
struct Setup {
    sim::SimOptions options;

    Setup& Seconds(std::int64_t seconds) { return options.seconds = seconds, *this; }
    Setup& Seed(std::uint32_t seed) { return options.config.seed = seed, *this; }
    // Numbers in [0,1) the program's generator returns first.
    Setup& Rnd(std::initializer_list<float> numbers) {
        options.config.firstRandomNumbers.insert(options.config.firstRandomNumbers.end(), numbers);
        return *this;
    }
    Setup& Screen(int width, int height) { return options.SetScreenSize(width, height), *this; }
    // The user's desktop and Zinna's restore journal live in this folder between runs.
    Setup& StateDir(const std::filesystem::path& folder) { return options.config.stateDir = folder, *this; }
    // The process is killed at this virtual second, or while a message box shows.
    Setup& KillAt(std::int64_t seconds) { return options.config.killAtMs = seconds * 1000, *this; }
    Setup& KillAtMessageBox() { return options.config.killAtMessageBox = true, *this; }
    // Only the restore journal's recovery runs.
    Setup& RestoreOnly() { return options.config.restoreOnly = true, *this; }
    // The display's dots per inch (96 is 100 %).
    Setup& Dpi(int dpi) { return options.config.screen.dpi = dpi, *this; }
    Setup& Taskbar(Rect bar) { return options.config.desktop.taskbar = bar, *this; }
    Setup& NoTaskbar() { return options.config.desktop.taskbar.reset(), *this; }
    // The frame size the character reports.
    Setup& Character(int width, int height) {
        return options.config.reportedFrameSize = std::pair(width, height), *this;
    }
    // The built-in host plays this character file instead of the simple simulated control.
    Setup& CharacterFile(const std::string& path) { return options.config.characterFile = path, *this; }
    Setup& NoCharacter() { return options.config.desktop.characterFilePresent = false, *this; }
    // The control rejects every call of `op`, or only its nth call (from 1).
    Setup& Fail(const std::string& op, int nth = 0) {
        nth == 0 ? options.config.failures->FailEvery(op) : options.config.failures->FailNth(op, nth);
        return *this;
    }
    Setup& WindowsDir(const std::string& dir) { return options.config.desktop.windowsDir = dir, *this; }
    // The user's values before start; nullopt leaves the value out.
    Setup& Wallpaper(std::optional<std::string> value) {
        return options.config.desktop.wallpaper = std::move(value), *this;
    }
    Setup& Tile(std::optional<std::string> value) {
        return options.config.desktop.tileWallpaper = std::move(value), *this;
    }
    Setup& Style(std::optional<std::string> value) {
        return options.config.desktop.wallpaperStyle = std::move(value), *this;
    }
};

struct SimRun {
    std::unique_ptr<sim::SimWorld> world;
    std::shared_ptr<std::vector<sim::TraceEvent>> events = std::make_shared<std::vector<sim::TraceEvent>>();

    // Every event of the run (a test keeps them; the trace itself keeps none).
    const std::vector<sim::TraceEvent>& Events() const { return *events; }

    // Events of one kind ("call", "os", ...), and of one op or fn when given, in order.
    std::vector<sim::TraceEvent> Select(const std::string& ev, const std::string& opOrFn = "") const {
        std::vector<sim::TraceEvent> out;
        for (const sim::TraceEvent& e : Events()) {
            if (e.ev != ev) continue;
            if (!opOrFn.empty() && e.Text("op") != opOrFn && e.Text("fn") != opOrFn) continue;
            out.push_back(e);
        }
        return out;
    }

    // The program's requests, in queue order, as "Op arg" lines ("MoveTo 448,320", "Play Kiss").
    std::vector<std::string> Requests() const {
        std::vector<std::string> out;
        for (const sim::TraceEvent& e : Select("call")) {
            if (!e.Number("req") || e.Text("op") == "Load") continue;
            out.push_back(Describe(e));
        }
        return out;
    }

    static std::string Describe(const sim::TraceEvent& e) {
        std::string op = e.Text("op");
        if (op == "MoveTo") {
            std::string text = "MoveTo " + std::to_string(*e.Number("x")) + "," + std::to_string(*e.Number("y"));
            if (auto speed = e.Number("speed")) text += " @" + std::to_string(*speed);
            return text;
        }
        if (op == "Play") return "Play " + e.Text("anim");
        if (op == "Speak") return "Speak " + e.Text("text");
        return op;
    }

    std::string EndReason() const {
        auto ends = Select("end");
        return ends.empty() ? "" : ends.back().Text("reason");
    }

    const sim::TraceEvent& FinalState() const { return Events().back(); }
};

inline SimRun RunSim(Setup setup, const std::string& script = "") {
    sim::SimOptions options = std::move(setup.options);
    if (!script.empty()) {
        std::istringstream in(script);
        options.config.script = sim::ParseUserScript(in);
    }
    SimRun run;
    run.world = sim::RunSimulation(std::move(options),
                                   [events = run.events](const sim::TraceEvent& event) { events->push_back(event); });
    return run;
}

}  // namespace zinna::testing

namespace zinna::testing {

// The program's requests queued by one action on a started program (its calls after the mark).
class RequestRecorder {
public:
    explicit RequestRecorder(const SimRun& run) : run_(run), mark_(run.Events().size()) {}

    std::vector<std::string> Requests() const {
        std::vector<std::string> out;
        const auto& events = run_.Events();
        for (size_t i = mark_; i < events.size(); ++i)
            if (events[i].ev == "call" && events[i].Number("req")) out.push_back(SimRun::Describe(events[i]));
        return out;
    }

private:
    const SimRun& run_;
    size_t mark_;
};

// Runs the action and returns the basic error number it raised, 0 for none.
template <typename Action>
std::int32_t ErrorNumberOf(Action&& action) {
    try {
        action();
    } catch (const basic::BasicError& error) {
        return error.Number();
    }
    return 0;
}

}  // namespace zinna::testing
