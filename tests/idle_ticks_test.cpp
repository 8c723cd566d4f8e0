// Standing still, Timer1's ticks that only count do not wake the process: they run late, in order,
// before the program's next handler or before the tick that starts a performance. What the program
// does, and when, must be what it was when every tick woke it.
#include "sim_test_support.h"

#include <doctest/doctest.h>

#include <optional>

using namespace zinna::testing;

namespace {

// A run driven a step at a time, its trace heard as it happens.
struct SteppedRun {
    std::unique_ptr<zinna::sim::SimWorld> world;

    explicit SteppedRun(Setup setup, const std::string& script = "") {
        zinna::sim::SimOptions options = std::move(setup.options);
        if (!script.empty()) {
            std::istringstream in(script);
            options.config.script = zinna::sim::ParseUserScript(in);
        }
        world = std::make_unique<zinna::sim::SimWorld>(std::move(options.config));
        world->Start();
    }

    // How many times the process wakes between now and untilMs: each distinct time at which the
    // clock has something to run.
    int WakeUpsUntil(std::int64_t untilMs) {
        int wakeUps = 0;
        for (;;) {
            const std::optional<std::int64_t> next = world->GetClock().NextDueMs();
            if (!next || *next > untilMs || world->Toolkit().Ended()) break;
            world->RunUntil(*next);
            ++wakeUps;
        }
        world->RunUntil(untilMs);
        return wakeUps;
    }
};

// The time of the first request the program queued at or after fromMs; -1 for none.
std::int64_t FirstRequestAt(const SimRun& run, std::int64_t fromMs) {
    for (const auto& e : run.Select("call"))
        if (e.t >= fromMs && e.Number("req")) return e.t;
    return -1;
}

}  // namespace

TEST_CASE("a handler sees the tick count of its own time, however long the program stood still") {
    struct Row {
        const char* what;
        const char* script;            // the user's actions
        std::int64_t sessionEndsAtMs;  // or the session's end, at this time (0: none)
        std::int64_t handlerAtMs;      // the handler whose count is read
        int countSeen;
    };
    const Row rows[] = {
        {"a double-click", "50.3 dblclick\n", 0, 50300, 50},
        {"Dance chosen from the menu", "50.3 command Dance\n", 0, 50300, 50},
        {"Quit chosen from the menu", "50.3 command Quit\n", 0, 50300, 50},
        {"the session's end", "", 50300, 50300, 50},
        {"a drag and drop", "50.3 drag 200 300\n", 0, 50300, 50},
        {"a double-click 59 ticks after the first performance", "180.3 dblclick\n", 0, 180300, 59},
        {"a double-click while random mode is off", "10.5 command Random Off\n70.3 dblclick\n", 0, 70300, 10},
        // At a tick's very millisecond the handler comes first, as it did when that tick woke her.
        {"a double-click at a tick's own time", "42 dblclick\n", 0, 42000, 41},
    };
    for (const Row& row : rows) {
        CAPTURE(row.what);
        SteppedRun run(Setup().Seed(5).Rnd({0, 0, 0, 0, 0.7f}), row.script);
        zinna::sim::SimWorld& world = *run.world;
        // The handler's first call to the world (a request, or the shell) reads the count it sees.
        std::optional<int> seen;
        bool handlerStarted = false;
        world.GetTrace().AddListener([&](const zinna::sim::TraceEvent& e) {
            if (e.t != row.handlerAtMs || seen) return;
            if (e.ev == "event") handlerStarted = true;
            if (handlerStarted && (e.ev == "call" || e.ev == "os")) seen = world.Form().iTickCount;
        });
        if (row.sessionEndsAtMs)
            world.GetClock().ScheduleAt(row.sessionEndsAtMs, [&] {
                handlerStarted = true;
                world.Form().Dispatch().SessionEnding();
            });
        world.RunUntil(row.handlerAtMs + 500);
        REQUIRE(seen.has_value());
        CHECK(*seen == row.countSeen);
    }
}

TEST_CASE("random performances start on the same ticks, with random mode switched off and on between") {
    struct Row {
        const char* script;
        std::int64_t seconds;
        std::int64_t firstPerformanceMs;  // -1: none
        int countAtEnd;
    };
    const Row rows[] = {
        {"", 130, 121000, 9},
        {"", 250, 121000, 8},  // the second performance at 242 s
        {"30.2 command Random Off\n30.4 command Random On\n", 130, 121000, 9},
        {"10.5 command Random Off\n50.5 command Random On\n", 170, 161000, 9},
        {"100.5 command Random Off\n300.5 command Random On\n", 330, 321000, 9},
        {"0.5 command Random Off\n", 600, -1, 0},
        {"70.5 command Random Off\n", 600, -1, 70},
        // Chosen again while already on, it changes nothing.
        {"60.5 command Random On\n", 130, 121000, 9},
    };
    for (const Row& row : rows) {
        CAPTURE(row.script);
        CAPTURE(row.seconds);
        SimRun run = RunSim(Setup().Seconds(row.seconds).Seed(8), row.script);
        CHECK(FirstRequestAt(run, 1) == row.firstPerformanceMs);
        CHECK(run.world->Form().iTickCount == row.countAtEnd);
    }
}

TEST_CASE("standing still, she wakes for the tick that starts a performance and for nothing else") {
    struct Row {
        const char* what;
        const char* script;
        std::int64_t fromMs, untilMs;
        int wakeUps;
    };
    const Row rows[] = {
        // The opening is over well before a minute; each tick used to wake her, 60 times here.
        {"random mode on, until just before the first performance", "", 60000, 120999, 0},
        {"random mode on, through the first performance's tick", "", 60000, 121000, 1},
        {"random mode off, ten minutes", "0.5 command Random Off\n", 60000, 660000, 0},
        {"random mode off then on again at 300.5 s: the performance of its 121st tick",
         "0.5 command Random Off\n300.5 command Random On\n", 60000, 421000, 2},
    };
    for (const Row& row : rows) {
        CAPTURE(row.what);
        SteppedRun run(Setup().Seed(3), row.script);
        run.world->RunUntil(row.fromMs);
        CHECK(run.WakeUpsUntil(row.untilMs) == row.wakeUps);
    }
}

TEST_CASE("a quit ends the ticks: none runs after it, and the count stays as the quit saw it") {
    SimRun run = RunSim(Setup().Seconds(300).Seed(2), "50.3 command Quit\n");
    CHECK(run.EndReason() == "quit");
    CHECK(run.world->Form().iTickCount == 50);
    CHECK(FirstRequestAt(run, 50400) == -1);
}
