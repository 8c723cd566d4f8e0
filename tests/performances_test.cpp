#include "sim_test_support.h"

#include <doctest/doctest.h>

using namespace zinna::testing;
using Requests = std::vector<std::string>;

TEST_CASE("each performance queues its fixed sequence after placing the character on the taskbar") {
    SimRun run = RunSim(Setup().Seconds(0).Seed(3).Rnd({0, 0, 0, 0, 0, 0, 0, 0}));
    zinna::ZinnaForm& form = run.world->Form();

    RequestRecorder kiss(run);
    form.PerformKiss();
    CHECK(kiss.Requests() == Requests{"Hide", "MoveTo 1,612", "Show", "Play Kiss"});

    RequestRecorder dance(run);
    form.PerformDance();
    CHECK(dance.Requests() == Requests{"Hide", "MoveTo 1,612", "Show", "Play DanceFadeIn", "Play Dance", "Play Dance",
                                       "Play DanceFadeOut"});

    RequestRecorder longDance(run);
    form.PerformLongDance();
    CHECK(longDance.Requests() == Requests{"Hide", "MoveTo 1,612", "Show", "Play DanceFadeIn", "Play Dance",
                                           "Play Dance", "Play Dance", "Play Dance", "Play Dance",
                                           "Play DanceFadeOut"});

    RequestRecorder credits(run);
    size_t before = run.Events().size();
    form.PerformCredits();
    auto requests = credits.Requests();
    REQUIRE(requests.size() == 6);
    CHECK(requests[4].size() == std::string("Speak ").size() + 119);
    requests[4] = "Speak";
    CHECK(requests == Requests{"Hide", "MoveTo 1,612", "Show", "Play DanceFadeIn", "Speak", "Play DanceFadeOut"});
    // The balloon font is set between the move and the show.
    std::vector<std::string> order;
    for (size_t i = before; i < run.Events().size(); ++i)
        if (run.Events()[i].ev == "call") order.push_back(run.Events()[i].Text("op"));
    CHECK(std::vector<std::string>(order.begin(), order.begin() + 4) ==
          std::vector<std::string>{"Hide", "MoveTo", "BalloonFontSize", "Show"});
    CHECK(run.Select("call", "BalloonFontSize").back().Number("value") == 8);
}

TEST_CASE("each performance draws exactly one random number") {
    SimRun run = RunSim(Setup().Seconds(0).Seed(3));
    zinna::ZinnaForm& form = run.world->Form();
    auto& toolkit = run.world->Toolkit();
    size_t draws = toolkit.RandomDraws();
    form.PerformKiss();
    form.PerformDance();
    form.PerformLongDance();
    form.PerformCredits();
    CHECK(toolkit.RandomDraws() - draws == 4);
    form.RightwardFlightPlan();
    CHECK(toolkit.RandomDraws() - draws == 6);
    form.LeftwardFlightPlan();
    CHECK(toolkit.RandomDraws() - draws == 7);
}

namespace {

std::string KissMove(Setup setup, float r) {
    // The opening draws four numbers; the fifth is the kiss's.
    SimRun run = RunSim(setup.Seconds(0).Rnd({0, 0, 0, 0, r}));
    RequestRecorder kiss(run);
    run.world->Form().PerformKiss();
    return kiss.Requests().at(1);
}

}  // namespace

TEST_CASE("the column runs from 1 to the span, and stays near 1 when the frame is as wide as the screen or wider") {
    CHECK(KissMove(Setup(), 0) == "MoveTo 1,612");
    CHECK(KissMove(Setup(), 0.99999994f) == "MoveTo 896,612");                     // r just below 1 gives N
    CHECK(KissMove(Setup().Character(1024, 128), 0.99999994f) == "MoveTo 1,612");  // N = 0
    CHECK(KissMove(Setup().Character(1124, 128), 0) == "MoveTo 1,612");            // N < 0: from N + 1 to 1
    CHECK(KissMove(Setup().Character(1124, 128), 0.99999994f) == "MoveTo -99,612");
}

TEST_CASE("the row stands on the taskbar's top recorded at start-up") {
    CHECK(KissMove(Setup().NoTaskbar(), 0) == "MoveTo 1,-128");
    CHECK(KissMove(Setup().Taskbar({0, 0, 1024, 30}), 0) == "MoveTo 1,-128");  // docked at the top
    CHECK(KissMove(Setup().Screen(800, 600), 0) == "MoveTo 1,444");            // 572 - 128
}

TEST_CASE("every performance of a long run lands on a column from 1 to 896 and the row 612") {
    SimRun run = RunSim(Setup().Seconds(3000).Seed(11));
    int performances = 0;
    const auto& events = run.Events();
    for (size_t i = 0; i + 2 < events.size(); ++i) {
        // A performance's move is the one queued right after a hide and right before a show.
        if (events[i].Text("op") != "Hide" || events[i + 1].Text("op") != "MoveTo") continue;
        if (events[i + 1].Number("x") == -128 || events[i + 1].Number("x") == 1025) continue;  // a flight
        ++performances;
        auto x = *events[i + 1].Number("x");
        CHECK(x >= 1);
        CHECK(x <= 896);
        CHECK(events[i + 1].Number("y") == 612);
    }
    CHECK(performances >= 10);
}
