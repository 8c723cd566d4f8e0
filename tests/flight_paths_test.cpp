#include "sim_test_support.h"

#include <doctest/doctest.h>

#include <map>

using namespace zinna::testing;

namespace {

// The opening's flight: the first 146 requests after the load's move and show.
std::vector<std::string> OpeningFlight(const SimRun& run) {
    std::vector<std::string> requests = run.Requests();
    REQUIRE(requests.size() >= 2 + 146);
    return {requests.begin() + 2, requests.begin() + 2 + 146};
}

}  // namespace

TEST_CASE("the rightward plan rounds ties to even and the waypoints step by truncated increments") {
    SimRun run = RunSim(Setup().Rnd({0.00390625, 0.00390625}).Seconds(0));
    std::vector<std::string> flight = OpeningFlight(run);
    CHECK(flight[0] == "Hide");
    CHECK(flight[1] == "MoveTo -128,194");  // 192 + 1.5 + 1 = 194.5 -> 194
    CHECK(flight[2] == "Show");
    for (int i = 0; i <= 70; ++i) {
        CHECK(flight[3 + 2 * i] ==
              "MoveTo " + std::to_string(-128 + 5 * i) + "," + std::to_string(194 - 4 * i) + " @1000");
        CHECK(flight[4 + 2 * i] == "Play FlyRight" + std::to_string(i % 6 + 1));
    }
    CHECK(flight[145] == "MoveTo 258,-128");  // 256 + 1.5 + 1 = 258.5 -> 258

    SimRun other = RunSim(Setup().Rnd({0.01171875, 0.01171875}).Seconds(0));
    std::vector<std::string> otherFlight = OpeningFlight(other);
    CHECK(otherFlight[1] == "MoveTo -128,198");    // 197.5 -> 198
    CHECK(otherFlight[145] == "MoveTo 262,-128");  // 261.5 -> 262
}

TEST_CASE("a flight of 70 steps plays each animation of its cycle the expected number of times") {
    SimRun run = RunSim(Setup().Seconds(0).Seed(9));
    zinna::ZinnaForm& form = run.world->Form();

    RequestRecorder right(run);
    form.FlyRightAcross(-128, 300, 400, -128, 70);
    std::map<std::string, int> plays;
    for (const std::string& r : right.Requests())
        if (r.rfind("Play ", 0) == 0) plays[r.substr(5)]++;
    CHECK(right.Requests().size() == 146);
    CHECK(plays == std::map<std::string, int>{{"FlyRight1", 12},
                                              {"FlyRight2", 12},
                                              {"FlyRight3", 12},
                                              {"FlyRight4", 12},
                                              {"FlyRight5", 12},
                                              {"FlyRight6", 11}});
    CHECK(right.Requests()[144] == "Play FlyRight5");

    RequestRecorder left(run);
    form.FlyLeftAcross(1025, 300, 256, -128, 70);
    plays.clear();
    for (const std::string& r : left.Requests())
        if (r.rfind("Play ", 0) == 0) plays[r.substr(5)]++;
    CHECK(left.Requests().size() == 146);
    CHECK(plays == std::map<std::string, int>{{"FlyLeft1", 18}, {"FlyLeft2", 18}, {"FlyLeft3", 18}, {"FlyLeft4", 17}});
    CHECK(left.Requests()[144] == "Play FlyLeft3");
}

TEST_CASE("flight arithmetic: negative spans, spans under the step count, zero and negative steps") {
    SimRun run = RunSim(Setup().Seconds(0).Seed(9));
    zinna::ZinnaForm& form = run.world->Form();

    SUBCASE("a negative span is divided toward zero") {
        RequestRecorder flight(run);
        form.FlyRightAcross(0, 500, 0, -13, 70);  // dy = -513: -7 a step, not -8
        auto requests = flight.Requests();
        CHECK(requests[3 + 2 * 70] == "MoveTo 0,10 @1000");  // 23 pixels short of -13
        CHECK(requests[145] == "MoveTo 0,-13");
    }
    SUBCASE("spans smaller than the step count keep every waypoint at the start") {
        RequestRecorder flight(run);
        form.FlyRightAcross(10, 20, 79, -49, 70);
        auto requests = flight.Requests();
        for (int i = 0; i <= 70; ++i) CHECK(requests[3 + 2 * i] == "MoveTo 10,20 @1000");
        CHECK(requests[145] == "MoveTo 79,-49");
    }
    SUBCASE("zero steps divide by zero after the hide and the move are queued") {
        RequestRecorder flight(run);
        CHECK(ErrorNumberOf([&] { form.FlyLeftAcross(0, 0, 100, 100, 0); }) == zinna::basic::kErrDivisionByZero);
        CHECK(flight.Requests() == std::vector<std::string>{"Hide", "MoveTo 0,0"});
    }
    SUBCASE("negative steps queue no waypoint") {
        RequestRecorder flight(run);
        form.FlyLeftAcross(0, 0, 100, 100, -3);
        CHECK(flight.Requests() == std::vector<std::string>{"Hide", "MoveTo 0,0", "Show", "MoveTo 100,100"});
    }
    SUBCASE("a span that does not fit 16 bits overflows") {
        RequestRecorder flight(run);
        CHECK(ErrorNumberOf([&] { form.FlyRightAcross(-32000, 0, 32000, 0, 70); }) == zinna::basic::kErrOverflow);
        CHECK(flight.Requests().size() == 2);
    }
}

TEST_CASE("the leftward plan enters past the right edge and leaves at a quarter of the width") {
    // The opening draws four numbers (the flight two, the dance and the kiss one each); the fifth
    // is the plan's.
    SimRun scripted = RunSim(Setup().Rnd({0, 0, 0, 0, 0.5}).Seconds(0));
    zinna::FlightPlan plan = scripted.world->Form().LeftwardFlightPlan();
    CHECK(plan.StartX == 1025);
    CHECK(plan.StartY == 449);  // 256 + 384 * 0.5 + 1
    CHECK(plan.EndX == 256);
    CHECK(plan.EndY == -128);
    CHECK(plan.Steps == 70);

    SimRun narrow = RunSim(Setup().Rnd({0, 0, 0, 0, 0}).Seconds(0).Screen(1026, 768));
    CHECK(narrow.world->Form().LeftwardFlightPlan().EndX == 256);  // 256.5 -> 256
    SimRun wider = RunSim(Setup().Rnd({0, 0, 0, 0, 0}).Seconds(0).Screen(1030, 768));
    CHECK(wider.world->Form().LeftwardFlightPlan().EndX == 258);  // 257.5 -> 258
}

TEST_CASE("flight plans on an 800 x 600 screen stay in their documented ranges") {
    SimRun low = RunSim(Setup().Rnd({0, 0}).Seconds(0).Screen(800, 600));
    auto flight = OpeningFlight(low);
    CHECK(flight[1] == "MoveTo -128,151");
    CHECK(flight[145] == "MoveTo 201,-128");
    SimRun high = RunSim(Setup().Rnd({0.99999994, 0.99999994}).Seconds(0).Screen(800, 600));
    flight = OpeningFlight(high);
    CHECK(flight[1] == "MoveTo -128,451");
    CHECK(flight[145] == "MoveTo 501,-128");
}
