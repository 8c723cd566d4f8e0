#include "sim_test_support.h"

#include <doctest/doctest.h>

using zinna::testing::RunSim;
using zinna::testing::Setup;
using zinna::testing::SimRun;

namespace {

// The start-up steps as one line each: os calls by function, control calls by op.
std::vector<std::string> StartupSteps(const SimRun& run) {
    std::vector<std::string> steps;
    for (const auto& e : run.Events()) {
        if (e.ev == "os") steps.push_back(e.Text("fn") + (e.Text("name").empty() ? "" : " " + e.Text("name")));
        if (e.ev == "call" && e.Text("op") != "CommandsAdd") steps.push_back(SimRun::Describe(e));
        if (e.ev == "call" && e.Text("op") == "CommandsAdd" && (steps.empty() || steps.back() != "CommandsAdd"))
            steps.push_back("CommandsAdd");
        if (e.ev == "timer") steps.push_back("timer " + std::to_string(*e.Number("interval")));
        if (e.ev == "call" && e.Text("op") == "SoundEffectsOn") break;
    }
    return steps;
}

}  // namespace

TEST_CASE("start-up runs its steps in the fixed order, the load stage nested at the timer") {
    SimRun run = RunSim(Setup().Seconds(2).Seed(5));
    std::vector<std::string> steps = StartupSteps(run);
    // The opening's flight sits between the black desktop and the timer: cut it out.
    auto flight = std::find(steps.begin(), steps.end(), "Hide");
    auto timer = std::find(steps.begin(), steps.end(), "timer 1000");
    REQUIRE(flight < timer);
    CHECK(timer - flight == 157);  // the opening queued 146 + 7 + 4 requests
    steps.erase(flight, timer);

    const std::vector<std::string> expected = {
        "FindWindow",
        "RegQueryValue Wallpaper",
        "RegQueryValue TileWallpaper",
        "RegQueryValue WallpaperStyle",
        "GetWindowsDirectory",
        "RegSetValue TileWallpaper",
        "RegSetValue WallpaperStyle",
        "SystemParametersInfo",
        "Connected",
        "Load",
        "MoveTo 448,320",
        "Show",
        "CommandsAdd",
        "GetSysColor",
        "keybd_event",
        "keybd_event",
        "keybd_event",
        "keybd_event",
        "IdleOn",
        "SetSysColors",
        "timer 1000",
        "SoundEffectsOn",
    };
    CHECK(steps == expected);

    auto load = run.Select("call", "Load").at(0);
    CHECK(load.Text("id") == "zinna");
    CHECK(load.Text("path") == "C:\\WINDOWS\\zinna.acs");
    CHECK(*run.Select("call", "IdleOn").at(0).Find("value") == zinna::sim::TraceValue(false));
    CHECK(std::get<bool>(*run.Select("call", "SoundEffectsOn").at(0).Find("value")) == true);
    CHECK(run.Select("call", "MoveTo").at(0).Find("speed") == nullptr);  // the control's default speed

    zinna::ZinnaForm& form = run.world->Form();
    CHECK(form.bRandom == zinna::basic::True);
    CHECK(form.iTickCount == 2);  // ticks at 1000 and 2000 ms
    CHECK(form.iEggCount == 0);
    CHECK(form.lScreenWidth == 1024);
    CHECK(form.lScreenHeight == 768);
    CHECK(form.lOldDesktopColor == 0x00808000);
    CHECK(form.sWindowsDir == "C:\\WINDOWS");
    CHECK(run.world->Desktop().DesktopColor() == 0);
}

TEST_CASE("the desktop calls' exact arguments: the taskbar's empty title, the text type, the key chord") {
    SimRun run = RunSim(Setup().Seconds(0).Seed(5));

    // An empty title matches only a window with an empty title, as the taskbar's is; a null one
    // would match any window of the class.
    const auto findWindow = run.Select("os", "FindWindow").at(0);
    CHECK(*findWindow.Find("class") == zinna::sim::TraceValue(std::string("Shell_TrayWnd")));
    CHECK(*findWindow.Find("title") == zinna::sim::TraceValue(std::string()));

    // The program writes text values, whatever type the user's values had.
    const auto writes = run.Select("os", "RegSetValue");
    REQUIRE(writes.size() == 2);
    for (const auto& write : writes) CHECK(write.Number("type") == std::int64_t{zinna::REG_SZ});

    // The Windows key and M pressed, then released in reverse order, so that no key stays down.
    struct Key {
        std::uint8_t virtualKey;
        std::uint32_t flags;
        bool operator==(const Key&) const = default;
    };
    std::vector<Key> keys;
    for (const auto& key : run.world->Desktop().KeyEvents()) keys.push_back({key.virtualKey, key.flags});
    const std::vector<Key> chord = {{0x5B, 0}, {0x4D, 0}, {0x4D, 2}, {0x5B, 2}};  // 2: KEYEVENTF_KEYUP
    CHECK(keys == chord);
    std::vector<Key> traced;
    for (const auto& e : run.Select("os", "keybd_event"))
        traced.push_back({static_cast<std::uint8_t>(*e.Number("vk")), static_cast<std::uint32_t>(*e.Number("flags"))});
    CHECK(traced == chord);
}

TEST_CASE("the character is centred on the screen, truncating odd sizes, even off the screen") {
    auto firstMove = [](Setup setup) {
        return SimRun::Describe(RunSim(setup.Seconds(0).Seed(1)).Select("call", "MoveTo").at(0));
    };
    CHECK(firstMove({}) == "MoveTo 448,320");
    CHECK(firstMove(Setup().Screen(800, 600)) == "MoveTo 336,236");
    CHECK(firstMove(Setup().Character(101, 128)) == "MoveTo 462,320");
    CHECK(firstMove(Setup().Screen(100, 80).Character(300, 200)) == "MoveTo -100,-60");
}

TEST_CASE("a missing character file ends start-up with the message and nothing later runs") {
    SimRun run = RunSim(Setup().NoCharacter().Seed(1));
    auto boxes = run.Select("msgbox");
    REQUIRE(boxes.size() == 1);
    CHECK(boxes[0].Text("text") == "Error: Cannot load zinna graphic file");
    CHECK(boxes[0].Text("caption") == "Zinna");
    CHECK(run.EndReason() == "load-failure");
    CHECK(run.Select("call", "CommandsAdd").empty());
    CHECK(run.Select("call", "Show").empty());
    CHECK(run.Select("os", "GetSysColor").empty());
    CHECK(run.Select("os", "keybd_event").empty());
    CHECK(run.Select("timer").empty());
    CHECK(run.world->Desktop().DesktopColor() == 0x00808000);  // never painted black
}

TEST_CASE("errors after a successful load are passed over and start-up goes on") {
    SimRun run = RunSim(Setup().Fail("Show", 1).Seconds(1).Seed(1));
    CHECK(run.Select("msgbox").empty());
    CHECK(run.Select("call", "CommandsAdd").size() == 13);
    CHECK(run.EndReason() == "time");

    // A frame this wide centres fine, but the opening's horizontal span no longer fits 16 bits:
    // the overflow leaves the load event and start-up ends with the report.
    SimRun hugeFrame = RunSim(Setup().Character(32767, 10).Screen(100, 100).Seconds(0).Seed(1));
    REQUIRE(hugeFrame.Select("msgbox").size() == 1);
    CHECK(hugeFrame.Select("msgbox")[0].Text("text") == "Run-time error '6':\n\nOverflow");
    CHECK(hugeFrame.EndReason() == "error");
}

TEST_CASE("a Windows directory of 255 characters or more is taken whole") {
    std::string longDir = "C:\\" + std::string(300, 'w');
    SimRun run = RunSim(Setup().WindowsDir(longDir).Seconds(0).Seed(1));
    CHECK(run.world->Form().sWindowsDir == longDir);
    CHECK(run.Select("call", "Load").at(0).Text("path") == longDir + "\\zinna.acs");
    CHECK(run.Select("os", "SystemParametersInfo").at(0).Text("path") == longDir + "\\LH1024x768.bmp");
}

TEST_CASE("a start-up step that fails stops start-up with the runtime's report") {
    SimRun run = RunSim(Setup().Fail("IdleOn").Seed(1));
    auto boxes = run.Select("msgbox");
    REQUIRE(boxes.size() == 1);
    CHECK(boxes[0].Text("text").rfind("Run-time error '-2147467259 (80004005)':", 0) == 0);
    CHECK(run.EndReason() == "error");
    CHECK(run.Select("timer").empty());
}
