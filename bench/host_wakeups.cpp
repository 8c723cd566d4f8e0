// Counts how often the built-in character host wakes up: while the character flies the opening's
// flight, and while she stands still with nothing queued. Runs the whole program on the simulated
// desktop, on the virtual clock.
//
//   host-wakeups CHARACTER.acs
#include "platform/sim/sim_world.h"

#include <cstdio>

using namespace zinna::sim;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: host-wakeups CHARACTER.acs\n");
        return 2;
    }
    SimConfig config;
    config.characterFile = argv[1];
    config.seed = 7;
    SimWorld world(config);
    world.Start();
    world.RunUntil(0);
    if (!world.Host() || !world.Host()->Loaded()) {
        std::fprintf(stderr, "host-wakeups: the character did not load\n");
        return 1;
    }
    long wakeUps = 0;
    world.Host()->Loaded()->SetChangeListener([&] { ++wakeUps; });

    // The opening's flight: from the start of request 4 (its hide) to the end of 149 (its last move).
    std::int64_t flightStart = -1, flightEnd = -1;
    long atStart = 0, atEnd = 0;
    world.GetTrace().AddListener([&](const TraceEvent& e) {
        if (e.ev == "start" && e.Number("req") == 4) flightStart = e.t, atStart = wakeUps;
        if (e.ev == "complete" && e.Number("req") == 149) flightEnd = e.t, atEnd = wakeUps;
    });
    world.RunUntil(100000);
    if (flightEnd < 0) {
        std::fprintf(stderr, "host-wakeups: the flight did not end\n");
        return 1;
    }
    double seconds = (flightEnd - flightStart) / 1000.0;
    std::printf("flying: %.2f s, %ld wake-ups, %.1f a second\n", seconds, atEnd - atStart, (atEnd - atStart) / seconds);

    // With the random performances off and everything played, she stands still for ten minutes.
    world.Form().Dispatch().Command("Random Off");
    world.RunUntil(world.GetClock().NowMs() + 60000);
    long before = wakeUps;
    world.RunUntil(world.GetClock().NowMs() + 600000);
    std::printf("standing still, nothing queued: %ld wake-ups in 10 minutes\n", wakeUps - before);
    return 0;
}
