// The whole program on the simulated desktop, played by the built-in character host.
#include "host_test_character.h"
#include "scratch_folder.h"
#include "sim_test_support.h"

#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <map>

using namespace zinna::testing;

namespace {

const ScratchFolder& Scratch() {
    static const ScratchFolder folder;  // removed when the test program ends
    return folder;
}

std::string TestCharacterPath() {
    static const std::string path = WriteProgramTestCharacter(Scratch().File("program-test.acs"));
    return path;
}

// When each request started and completed, by id.
struct Timeline {
    std::map<std::int64_t, std::int64_t> started, completed;
    explicit Timeline(const SimRun& run) {
        for (const auto& e : run.Events()) {
            if (e.ev == "start") started[*e.Number("req")] = e.t;
            if (e.ev == "complete") completed[*e.Number("req")] = e.t;
        }
    }
};

}  // namespace

TEST_CASE("the opening plays with the host's real durations, and the frame size comes from the file") {
    SimRun run = RunSim(Setup().CharacterFile(TestCharacterPath()).Seed(3).Seconds(60));
    auto load = run.Select("call", "Load");
    REQUIRE(load.size() == 1);
    CHECK(!load[0].Find("error"));
    CHECK(run.Requests()[0] == "MoveTo 496,368");  // centred with the file's 32 x 32 frame

    Timeline timeline(run);
    // The opening's requests are 4 to 160: the flight, the dance, the kiss.
    REQUIRE(timeline.completed.count(160));
    CHECK(timeline.completed.at(3) == 200);  // Showing: two frames of 100 ms
    std::int64_t flight = timeline.completed.at(149) - timeline.started.at(4);
    CHECK(flight > 71 * 100);  // 71 wing beats of 100 ms and the moves between them
    CHECK(flight < 71 * 100 + 71 * 40 + 3000);
    std::int64_t dance = timeline.completed.at(156) - timeline.started.at(150);
    CHECK(dance >= 200 + 200 + 500 + 1000 + 1000 + 500);
    CHECK(run.EndReason() == "time");
}

TEST_CASE("a drop during the flight stops it at once; DanceFadeOut plays where she was dropped") {
    SimRun run = RunSim(Setup().CharacterFile(TestCharacterPath()).Seed(3).Seconds(20), "4 drag 600 200\n");
    auto stops = run.Select("call", "Stop");
    REQUIRE(stops.size() == 1);
    std::int64_t dropAt = stops[0].t;
    CHECK(dropAt >= 4000);
    CHECK(dropAt < 4100);
    // After the drop the only request that starts is DanceFadeOut.
    std::vector<std::int64_t> startedAfter;
    bool stopped = false;
    for (const auto& e : run.Events()) {
        if (e.ev == "call" && e.Text("op") == "Stop") stopped = true;
        if (stopped && e.ev == "start") startedAfter.push_back(*e.Number("req"));
    }
    REQUIRE(startedAfter.size() == 1);
    auto fadeOut = run.Select("call", "Play").back();
    CHECK(fadeOut.Text("anim") == "DanceFadeOut");
    CHECK(startedAfter[0] == *fadeOut.Number("req"));
    auto* character = run.world->Host()->Loaded();
    CHECK(character->X() == 600);
    CHECK(character->Y() == 200);
}

TEST_CASE("a command and a double-click reach the program through the host") {
    SimRun run = RunSim(Setup().CharacterFile(TestCharacterPath()).Seed(3).Seconds(40),
                        "30 dblclick\n31 command Kiss\n35 command Quit\n");
    CHECK(run.world->Desktop().ShellRequests().size() == 1);
    CHECK(run.EndReason() == "quit");
    CHECK(run.FinalState().Text("wallpaper") == "C:\\WINDOWS\\Clouds.bmp");
}

TEST_CASE("a character file that is not valid is the load failure the program reports") {
    std::string bad = Scratch().File("bad.acs");
    {
        std::ofstream out(bad, std::ios::binary);
        out << "not a character";
    }
    SimRun run = RunSim(Setup().CharacterFile(bad).Seed(3));
    CHECK(run.EndReason() == "load-failure");
    CHECK(run.Select("msgbox").at(0).Text("text") == "Error: Cannot load zinna graphic file");
}

TEST_CASE("a picture of the screen shows the character where the trace says, and the balloon while she speaks") {
    SimRun run = RunSim(Setup().CharacterFile(TestCharacterPath()).Seed(3).Seconds(17),
                        "1 command EasterEgg1\n1 command EasterEgg2\n1 command EasterEgg3\n");
    auto* character = run.world->Host()->Loaded();
    REQUIRE(character->Visible());
    REQUIRE(character->Balloon());
    zinna::acs::RgbaImage screen = run.world->PictureOfScreen();
    CHECK(screen.width == 1024);
    // Her frame's pixel, the desktop's black beside it, and the balloon's cream body.
    CHECK(screen.At(character->X() + 5, character->Y() + 5) == (character->FrameImage().At(5, 5) | 0xFF));
    CHECK(screen.At(2, 2) == 0x000000FF);
    const auto& body = character->Balloon()->rect;
    CHECK(screen.At((body.left + body.right) / 2, body.bottom - 3) == 0xFFFFE1FF);
}

TEST_CASE("the simulated user's actions go through the presenter: the menu, the drop, the balloon on its surface") {
    SimRun run = RunSim(Setup().CharacterFile(TestCharacterPath()).Seed(3).Seconds(9),
                        "4 drag 600 200\n5 command EasterEgg1\n5 command EasterEgg2\n6 command EasterEgg3\n"
                        "7 command Sound On/Off\n");
    const zinna::sim::RecordedSurface* surface = run.world->Surface();
    REQUIRE(surface != nullptr);
    auto* character = run.world->Host()->Loaded();
    // Every command came from a menu opened by a right-click and closed again, or, for a name the
    // menu does not offer, straight from the user as the control passes on any command.
    CHECK_FALSE(surface->OpenMenu());
    CHECK_FALSE(run.world->Presenter()->MenuOpen());
    int commands = 0;
    for (const auto& e : run.Select("event")) commands += e.Text("name") == "Command" ? 1 : 0;
    CHECK(commands == 4);
    // The surface shows what the host shows: her frame where she stands, the credits' balloon.
    REQUIRE(character->Visible());
    CHECK(surface->PictureShown());
    CHECK(surface->X() == character->X());
    CHECK(surface->Y() == character->Y());
    CHECK(surface->Picture().rgba == character->FrameImage().rgba);
    REQUIRE(character->Balloon());
    CHECK(surface->Balloon() == character->Balloon());
    CHECK(surface->BalloonLines() == character->BalloonLinesShown());
    CHECK(run.world->Presenter()->Moves() > 0);  // the flight's moves between wing beats, the drag
    // Her wing beats come back to pictures already kept: fewer are made than shown, and the
    // surface keeps exactly what the presenter counts.
    CHECK(run.world->Presenter()->Additions() < run.world->Presenter()->Drawings());
    CHECK(surface->KeptPictures() == run.world->Presenter()->KeptPictures());
    CHECK(surface->PicturesAdded() == run.world->Presenter()->Additions());
}
