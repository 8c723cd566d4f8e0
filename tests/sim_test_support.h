// Runs the program on the simulated desktop for a test, with zinna-sim's own options, and picks
// events out of its trace.
#pragma once

#include "sim_options.h"

#include "platform/sim/sim_world.h"

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace zinna::testing {

struct SimRun {
    std::unique_ptr<sim::SimWorld> world;

    const std::vector<sim::TraceEvent>& Events() const { return world->GetTrace().Events(); }

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

inline SimRun RunSim(std::vector<std::string> args, const std::string& script = "") {
    sim::SimOptions options = sim::ParseSimOptions(args);
    if (!options.characterFile.empty()) options.config.characterFile = options.characterFile;
    if (!script.empty()) {
        std::istringstream in(script);
        options.config.script = sim::ParseUserScript(in);
    }
    SimRun run;
    run.world = std::make_unique<sim::SimWorld>(std::move(options.config));
    run.world->Run(options.seconds * 1000);
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
