#include "sim_test_support.h"

#include <doctest/doctest.h>

using namespace zinna::testing;

namespace {

// The program's calls that queued requests after the opening, with their times.
std::vector<std::pair<std::int64_t, std::string>> RequestsAfter(const SimRun& run, std::int64_t fromMs) {
    std::vector<std::pair<std::int64_t, std::string>> out;
    for (const auto& e : run.Select("call"))
        if (e.t >= fromMs && e.Number("req")) out.emplace_back(e.t, SimRun::Describe(e));
    return out;
}

}  // namespace

TEST_CASE("the opening queues the flight, the dance and the kiss in that order") {
    SimRun run = RunSim(Setup().Seconds(0).Seed(4));
    std::vector<std::string> requests = run.Requests();
    REQUIRE(requests.size() == 2 + 146 + 7 + 4);
    CHECK(requests[2 + 145].rfind("MoveTo ", 0) == 0);
    CHECK(std::vector<std::string>(requests.begin() + 148, requests.begin() + 151) ==
          std::vector<std::string>{"Hide", requests[149], "Show"});
    CHECK(requests[151] == "Play DanceFadeIn");
    CHECK(requests[154] == "Play DanceFadeOut");
    CHECK(requests[158] == "Play Kiss");
}

TEST_CASE("the first random performance starts on the 121st tick, chosen by Int(r x 5)") {
    struct Row {
        float r;
        const char* firstPlayed;
        size_t requests;
    };
    const Row rows[] = {
        {0.1f, "Play DanceFadeIn", 7},   // 0: dance
        {0.3f, "Play FlyRight1", 146},   // 1: rightward flight
        {0.5f, "Play FlyLeft1", 146},    // 2: leftward flight
        {0.7f, "Play Kiss", 4},          // 3: kiss
        {0.9f, "Play DanceFadeIn", 10},  // 4: long dance
    };
    for (const Row& row : rows) {
        CAPTURE(row.r);
        SimRun run = RunSim(Setup().Seconds(125).Rnd({0, 0, 0, 0, row.r}));
        auto requests = RequestsAfter(run, 1);
        REQUIRE(!requests.empty());
        CHECK(requests.front().first == 121000);
        CHECK(requests.size() == row.requests);
        CHECK(requests.front().second == "Hide");
        auto firstPlay = std::find_if(requests.begin(), requests.end(),
                                      [](const auto& r) { return r.second.rfind("Play", 0) == 0; });
        REQUIRE(firstPlay != requests.end());
        CHECK(firstPlay->second == row.firstPlayed);
    }
}

TEST_CASE("Random Off freezes the count and Random On resumes it where it stood") {
    SimRun run = RunSim(Setup().Seconds(200).Seed(8), "10.5 command Random Off\n50.5 command Random On\n");
    auto requests = RequestsAfter(run, 1);
    REQUIRE(!requests.empty());
    CHECK(requests.front().first == 161000);  // 10 ticks before, 111 after
    CHECK(run.world->Form().bRandom == zinna::basic::True);

    SimRun off = RunSim(Setup().Seconds(400).Seed(8), "0.5 command Random Off\n");
    CHECK(RequestsAfter(off, 1).empty());
    CHECK(off.world->Form().iTickCount == 0);
    CHECK(off.world->Form().bRandom == zinna::basic::False);
}

TEST_CASE("the scheduler counts ticks to 120 and starts one performance per 121 ticks") {
    SimRun run = RunSim(Setup().Seconds(0).Seed(2));
    zinna::ZinnaForm& form = run.world->Form();
    RequestRecorder recorder(run);
    for (int tick = 1; tick <= 120; ++tick) form.Timer1_Timer();
    CHECK(form.iTickCount == 120);
    CHECK(recorder.Requests().empty());
    form.Timer1_Timer();
    CHECK(form.iTickCount == 0);
    CHECK(!recorder.Requests().empty());

    form.bRandom = zinna::basic::False;
    form.iTickCount = 100;
    RequestRecorder frozen(run);
    for (int tick = 0; tick < 500; ++tick) form.Timer1_Timer();
    CHECK(form.iTickCount == 100);
    CHECK(frozen.Requests().empty());
    form.bRandom = zinna::basic::True;
    for (int tick = 0; tick < 20; ++tick) form.Timer1_Timer();
    CHECK(frozen.Requests().empty());
    form.Timer1_Timer();  // the 21st tick after switching on
    CHECK(!frozen.Requests().empty());
}

TEST_CASE("runs with the same seed or the same scripted numbers are the same run") {
    auto trace = [](Setup setup) {
        std::vector<std::string> lines;
        SimRun run = RunSim(setup);
        for (const auto& e : run.Events()) lines.push_back(zinna::sim::ToJsonLine(e));
        return lines;
    };
    CHECK(trace(Setup().Seconds(700).Seed(77)) == trace(Setup().Seconds(700).Seed(77)));
    CHECK(trace(Setup().Seconds(700).Seed(77)) != trace(Setup().Seconds(700).Seed(78)));
}
