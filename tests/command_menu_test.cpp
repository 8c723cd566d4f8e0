#include "sim_test_support.h"

#include "character/command_menu.h"

#include <doctest/doctest.h>

#include <set>

using namespace zinna::testing;
using Requests = std::vector<std::string>;

TEST_CASE("start-up adds the thirteen commands in menu order with their exact captions") {
    SimRun run = RunSim(Setup().Seconds(0).Seed(1));
    std::vector<std::pair<std::string, std::string>> added;
    for (const auto& e : run.Select("call", "CommandsAdd")) added.emplace_back(e.Text("name"), e.Text("caption"));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Lantern Hall", "  &Lantern Hall  "},
        {"EasterEgg1", "----------------"},
        {"Kiss", "&Kiss"},
        {"Dance", "&Dance"},
        {"FlyRight", "&FlyRight"},
        {"FlyLeft", "Fl&yLeft"},
        {"Random On", "&Random On"},
        {"Random Off", "R&andom Off"},
        {"EasterEgg2", "----------------"},
        {"UK Release Date", "UK Release Date"},
        {"26 March 2027", "26 March 2027"},
        {"EasterEgg3", "----------------"},
        {"Quit", "&Quit"},
    };
    CHECK(added == expected);

    // No two access keys coincide.
    std::string keys;
    for (const auto& command : zinna::kMenuCommands) {
        std::string caption = command.caption;
        auto amp = caption.find('&');
        if (amp != std::string::npos) keys += static_cast<char>(std::tolower(caption[amp + 1]));
    }
    CHECK(keys.size() == 8);
    std::sort(keys.begin(), keys.end());
    CHECK(std::adjacent_find(keys.begin(), keys.end()) == keys.end());
}

namespace {

// What one command queues on a started program.
Requests RequestsOf(SimRun& run, const std::string& command) {
    RequestRecorder recorder(run);
    run.world->Form().Dispatch().Command(command);
    return recorder.Requests();
}

}  // namespace

TEST_CASE("the dispatcher runs the action of each name, exactly matched") {
    SimRun run = RunSim(Setup().Seconds(1).Seed(6));
    zinna::ZinnaForm& form = run.world->Form();

    CHECK(RequestsOf(run, "Kiss").size() == 4);
    CHECK(RequestsOf(run, "Dance").size() == 7);
    CHECK(RequestsOf(run, "FlyRight").size() == 146);
    auto left = RequestsOf(run, "FlyLeft");
    REQUIRE(left.size() == 146);
    CHECK(left[4] == "Play FlyLeft1");

    for (const char* ignored : {"kiss", "Kiss ", " Kiss", "KISS", "UK Release Date", "26 March 2027", "", "Fly"}) {
        CAPTURE(ignored);
        CHECK(RequestsOf(run, ignored).empty());
    }
    CHECK(run.Select("os", "ShellExecute").empty());

    RequestsOf(run, "Random Off");
    CHECK(form.bRandom == zinna::basic::False);
    RequestsOf(run, "Random Off");
    CHECK(form.bRandom == zinna::basic::False);
    RequestsOf(run, "Random On");
    CHECK(form.bRandom == zinna::basic::True);
    CHECK(run.EndReason() != "quit");
}

TEST_CASE("the credits play after two separator choices in any mix, and every time after") {
    const char* mixes[][2] = {{"EasterEgg1", "EasterEgg1"}, {"EasterEgg2", "EasterEgg2"}, {"EasterEgg1", "EasterEgg2"}};
    for (auto& mix : mixes) {
        CAPTURE(mix[0]);
        CAPTURE(mix[1]);
        SimRun run = RunSim(Setup().Seconds(0).Seed(6));
        CHECK(RequestsOf(run, "EasterEgg3").empty());
        CHECK(RequestsOf(run, mix[0]).empty());
        CHECK(RequestsOf(run, "EasterEgg3").empty());  // one is not enough, and EasterEgg3 never counts
        CHECK(RequestsOf(run, "EasterEgg3").empty());
        CHECK(RequestsOf(run, mix[1]).empty());
        CHECK(run.world->Form().iEggCount == 2);
        for (int again = 0; again < 3; ++again) {
            Requests credits = RequestsOf(run, "EasterEgg3");
            REQUIRE(credits.size() == 6);
            CHECK(credits[3] == "Play DanceFadeIn");
            CHECK(credits[4].rfind("Speak Lantern Hall", 0) == 0);
            CHECK(credits[5] == "Play DanceFadeOut");
        }
        CHECK(run.world->Form().iEggCount == 2);
    }
}

TEST_CASE("the title's command and each double-click make one shell open of the same address") {
    SimRun run =
        RunSim(Setup().Seed(1).Seconds(10), "2 command Lantern Hall\n3 dblclick\n4 dblclick\n5 command Lantern Hall\n");
    const auto& requests = run.world->Desktop().ShellRequests();
    REQUIRE(requests.size() == 4);
    for (const auto& request : requests) {
        CHECK(request.operation == "open");
        CHECK(request.file == "http://lanternhall.example/?launcher=glint");
        CHECK(request.parameters == "");
        CHECK(request.directory == "C:\\Program Files\\Zinna");
        CHECK(request.showCommand == 0);
        CHECK(request.owner == run.world->Toolkit().hWnd());
    }
    // The character is neither stopped nor moved by it.
    CHECK(run.Select("call", "Stop").empty());
}

TEST_CASE("a drop during the opening's flight stops it at once and plays DanceFadeOut where dropped") {
    SimRun run = RunSim(Setup().Seed(1).Seconds(30), "3 drag 600 200\n3.5 command Kiss\n");
    // After the drop, the control plays only DanceFadeOut and then the kiss chosen afterwards.
    std::vector<std::int64_t> playedAfterDrop;
    bool dropped = false;
    for (const auto& e : run.Events()) {
        if (e.ev == "event" && e.Text("name") == "DragComplete") dropped = true;
        if (dropped && e.ev == "start") playedAfterDrop.push_back(*e.Number("req"));
    }
    std::map<std::int64_t, std::string> requestById;
    for (const auto& e : run.Select("call"))
        if (auto id = e.Number("req")) requestById[*id] = SimRun::Describe(e);
    Requests played;
    for (auto id : playedAfterDrop) played.push_back(requestById[id]);
    REQUIRE(played.size() == 5);
    CHECK(played[0] == "Play DanceFadeOut");
    CHECK(played[1] == "Hide");
    CHECK(played[4] == "Play Kiss");
    auto stops = run.Select("call", "Stop");
    REQUIRE(stops.size() == 1);
    CHECK(stops[0].t == 3000);
    // More than a hundred of the opening's requests were still queued at the drop: none ever starts.
    std::set<std::int64_t> started;
    for (const auto& e : run.Select("start"))
        if (auto id = e.Number("req")) started.insert(*id);
    int neverStarted = 0;
    for (const auto& entry : requestById)
        if (!started.count(entry.first)) ++neverStarted;
    CHECK(neverStarted > 100);
    CHECK(run.world->Form().bRandom == zinna::basic::True);  // form state is untouched
}

TEST_CASE("a drop with nothing playing plays DanceFadeOut there; starting a drag changes nothing") {
    SimRun run = RunSim(Setup().Seed(1).Seconds(60), "50 drag 100 100\n");
    auto last = run.Requests();
    CHECK(last.back() == "Play DanceFadeOut");
    CHECK(run.world->Control()->X() == 100);
    CHECK(run.world->Control()->Y() == 100);

    SimRun started = RunSim(Setup().Seconds(1).Seed(1));
    RequestRecorder recorder(started);
    started.world->Form().Dispatch().DragStart("zinna", 1, 0, 5, 5);
    CHECK(recorder.Requests().empty());
    CHECK(started.Select("call", "Stop").empty());
}

TEST_CASE("two flights chosen in a row get their own plans and queue one behind the other") {
    SimRun run = RunSim(Setup().Seed(12).Seconds(0));
    Requests first = RequestsOf(run, "FlyRight");
    Requests second = RequestsOf(run, "FlyRight");
    REQUIRE(first.size() == 146);
    REQUIRE(second.size() == 146);
    CHECK((first[1] != second[1] || first[145] != second[145]));
}

TEST_CASE("Sound On/Off switches the character's sound effects; no completed request ever quits") {
    SimRun run = RunSim(Setup().Seconds(1).Seed(1));
    auto* control = run.world->Control();
    CHECK(control->SoundEffects() == zinna::basic::True);
    run.world->Form().Dispatch().Command("Sound On/Off");
    CHECK(control->SoundEffects() == zinna::basic::False);
    run.world->Form().Dispatch().Command("Sound On/Off");
    CHECK(control->SoundEffects() == zinna::basic::True);

    for (zinna::RequestId id : {0, 1, 2, 1000}) run.world->Form().Dispatch().RequestComplete(id);
    CHECK(!run.world->Form().HasEnded());
}
