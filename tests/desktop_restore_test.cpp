#include "sim_test_support.h"

#include "platform/sim/sim_desktop.h"

#include <doctest/doctest.h>

#include <optional>

using namespace zinna::testing;
using zinna::sim::kDesktopKey;
using Requests = std::vector<std::string>;

namespace {

struct Desktop {
    std::optional<std::string> wallpaper = std::string("C:\\WINDOWS\\Clouds.bmp");
    std::optional<std::string> tile = std::string("0");
    std::optional<std::string> style = std::string("2");
    std::int64_t color = 0x00808000;
};

std::optional<std::string> StateText(const zinna::sim::TraceEvent& state, const char* key) {
    const auto* value = state.Find(key);
    REQUIRE(value != nullptr);
    if (const auto* text = std::get_if<std::string>(value)) return *text;
    return std::nullopt;
}

// The run ended with the desktop exactly as it was before start.
void CheckGivenBack(const SimRun& run, const Desktop& before = {}) {
    const auto& state = run.FinalState();
    REQUIRE(state.ev == "state");
    CHECK(StateText(state, "wallpaper") == before.wallpaper);
    CHECK(StateText(state, "tile") == before.tile);
    CHECK(StateText(state, "style") == before.style);
    CHECK(state.Number("color") == before.color);
    if (before.wallpaper) CHECK(run.world->Desktop().ShownWallpaper() == *before.wallpaper);
}

}  // namespace

TEST_CASE("start-up saves the three values, then writes the stretched style before the wallpaper call") {
    SimRun run = RunSim(Setup().Seconds(0).Seed(1));
    std::vector<std::string> desktopCalls;
    for (const auto& e : run.Select("os")) {
        std::string fn = e.Text("fn");
        if (fn == "RegQueryValue") desktopCalls.push_back("read " + e.Text("name"));
        if (fn == "RegSetValue") desktopCalls.push_back("write " + e.Text("name") + "=" + e.Text("data"));
        if (fn == "SystemParametersInfo")
            desktopCalls.push_back("wallpaper " + std::to_string(*e.Number("action")) + " " + e.Text("path") + " " +
                                   std::to_string(*e.Number("flags")));
    }
    CHECK(desktopCalls == Requests{"read Wallpaper", "read TileWallpaper", "read WallpaperStyle",
                                   "write TileWallpaper=0", "write WallpaperStyle=2",
                                   "wallpaper 20 C:\\WINDOWS\\LH1024x768.bmp 3"});
    CHECK(run.world->Form().sOldWallPaper == "C:\\WINDOWS\\Clouds.bmp");
    CHECK(run.world->Desktop().Text(kDesktopKey, "Wallpaper") == "C:\\WINDOWS\\LH1024x768.bmp");
}

TEST_CASE("Quit hides the character, puts the colour back, then the values and the wallpaper") {
    SimRun run = RunSim(Setup().Seed(1), "20 command Quit\n");
    std::vector<std::string> tail;
    bool quitting = false;
    for (const auto& e : run.Events()) {
        if (e.ev == "event" && e.Text("command") == "Quit") quitting = true;
        if (!quitting) continue;
        if (e.ev == "call") tail.push_back(e.Text("op"));
        if (e.ev == "os") tail.push_back(e.Text("fn") + (e.Text("name").empty() ? "" : " " + e.Text("name")));
        if (e.ev == "end") tail.push_back("end " + e.Text("reason"));
    }
    CHECK(tail == Requests{"Hide", "SetSysColors", "RegSetValue Wallpaper", "RegSetValue TileWallpaper",
                           "RegSetValue WallpaperStyle", "SystemParametersInfo", "end quit"});
    CHECK(run.Select("os", "SystemParametersInfo").back().Text("path") == "C:\\WINDOWS\\Clouds.bmp");
    CheckGivenBack(run);
}

TEST_CASE("every way out gives the desktop back as it was") {
    SUBCASE("a quit right after start-up") { CheckGivenBack(RunSim(Setup().Seed(1), "0.001 command Quit\n")); }
    SUBCASE("a quit during a flight, with the rest still queued") {
        SimRun run = RunSim(Setup().Seed(1), "3 command Quit\n");
        CHECK(run.world->Control()->Queued() > 100);
        CHECK(run.EndReason() == "quit");
        CheckGivenBack(run);
    }
    SUBCASE("the load failure") {
        SimRun run = RunSim(Setup().NoCharacter().Seed(1));
        CHECK(run.EndReason() == "load-failure");
        CheckGivenBack(run);
    }
    SUBCASE("an error during start-up: restore, then the report, then the end") {
        SimRun run = RunSim(Setup().Fail("Play").Seed(1));
        CHECK(run.EndReason() == "error");
        std::vector<std::string> order;
        for (const auto& e : run.Events())
            if (e.ev == "msgbox" || (e.ev == "os" && e.Text("fn") == "SystemParametersInfo") || e.ev == "end")
                order.push_back(e.ev);
        CHECK(order == Requests{"os", "os", "msgbox", "end"});
        CheckGivenBack(run);
    }
    SUBCASE("an error in a later handler") {
        // The opening plays 76 animations; the dance chosen later fails at its second.
        SimRun run = RunSim(Setup().Fail("Play", 78).Seed(1), "40 command Dance\n");
        CHECK(run.EndReason() == "error");
        CheckGivenBack(run);
    }
    SUBCASE("a quit whose hide the control refuses") {
        SimRun run = RunSim(Setup().Fail("Hide", 4).Seed(1), "5 command Quit\n");
        CHECK(run.Select("msgbox").size() == 1);
        CHECK(run.EndReason() == "error");
        CheckGivenBack(run);
    }
    SUBCASE("a wallpaper path of 300 characters") {
        Desktop before;
        before.wallpaper = "C:\\" + std::string(292, 'p') + "\\x.bmp";
        SimRun run = RunSim(Setup().Wallpaper(*before.wallpaper).Seed(1), "1 command Quit\n");
        CHECK(run.world->Form().sOldWallPaper == *before.wallpaper);
        CheckGivenBack(run, before);
    }
    SUBCASE("a wallpaper path outside ASCII") {
        Desktop before;
        before.wallpaper = "C:\\Users\\Zo\xC3\xAB\\Pictures\\\xE5\xA3\x81\xE7\xB4\x99.bmp";
        CheckGivenBack(RunSim(Setup().Wallpaper(*before.wallpaper).Seed(1), "1 command Quit\n"), before);
    }
    SUBCASE("values that did not exist before start do not exist after") {
        Desktop before;
        before.tile.reset();
        before.style.reset();
        CheckGivenBack(RunSim(Setup().Tile(std::nullopt).Style(std::nullopt).Seed(1), "1 command Quit\n"), before);
    }
    SUBCASE("no wallpaper value at all") {
        Desktop before;
        before.wallpaper.reset();
        SimRun run = RunSim(Setup().Wallpaper(std::nullopt).Seed(1), "1 command Quit\n");
        CheckGivenBack(run, before);
        CHECK(run.world->Desktop().ShownWallpaper().empty());
    }
    SUBCASE("an empty wallpaper value") {
        Desktop before;
        before.wallpaper = "";
        CheckGivenBack(RunSim(Setup().Wallpaper("").Seed(1), "1 command Quit\n"), before);
    }
    SUBCASE("the user changed the colour while the companion ran: the saved colour wins") {
        SimRun run = RunSim(Setup().Seconds(1).Seed(1));
        const int elements[] = {1};
        const std::uint32_t colors[] = {0x123456};
        run.world->Desktop().SetSysColors(1, elements, colors);
        run.world->Form().Dispatch().Command("Quit");
        CHECK(run.world->Desktop().DesktopColor() == 0x00808000);
    }
}

TEST_CASE("a desktop key that cannot be read is never written back as text") {
    zinna::sim::SimWorld world(Setup().Seed(1).options.config);
    std::vector<std::string> written;
    world.GetTrace().AddListener([&written](const zinna::sim::TraceEvent& e) {
        if (e.ev == "os" && e.Text("fn") == "RegSetValue") written.push_back(e.Text("data"));
    });
    world.Desktop().DeleteKey(kDesktopKey);
    world.Run(1000);
    zinna::ZinnaForm& form = world.Form();
    CHECK(form.sOldWallPaper == "ERROR");
    world.Form().Dispatch().Command("Quit");
    for (const std::string& data : written) CHECK(data != "ERROR");
    // The key never existed, so nothing was written; the wallpaper call stored only the program's path.
    CHECK(!world.Desktop().Text(kDesktopKey, "TileWallpaper"));
}

TEST_CASE("registry text values round-trip through SetRegString and GetRegString") {
    SimRun run = RunSim(Setup().Seconds(0).Seed(1));
    zinna::ZinnaForm& form = run.world->Form();
    auto& desktop = run.world->Desktop();
    const std::string path = "Control Panel\\Desktop";
    auto roundTrip = [&](const std::string& text) {
        form.SetRegString(zinna::HKEY_CURRENT_USER, path, "Probe", text);
        return form.GetRegString(zinna::HKEY_CURRENT_USER, path, "Probe");
    };

    CHECK(roundTrip("C:\\WINDOWS\\Clouds.bmp") == "C:\\WINDOWS\\Clouds.bmp");
    CHECK(roundTrip("") == "");
    CHECK(desktop.Value(kDesktopKey, "Probe")->data.size() == 1);  // the NUL alone
    CHECK(roundTrip(std::string(254, 'a')) == std::string(254, 'a'));
    CHECK(roundTrip(std::string(255, 'b')) == std::string(255, 'b'));  // longer than the customary buffer
    CHECK(roundTrip(std::string(5000, 'c')) == std::string(5000, 'c'));
    CHECK(roundTrip("\xE5\xA3\x81\xE7\xB4\x99") == "\xE5\xA3\x81\xE7\xB4\x99");

    desktop.SetValue(kDesktopKey, "Empty", {zinna::REG_SZ, {}});
    zinna::SavedRegValue raw;
    CHECK(form.GetRegString(zinna::HKEY_CURRENT_USER, path, "Empty", &raw) == "");
    CHECK(raw.outcome == zinna::RegReadOutcome::Read);

    // The stored type is not examined: the bytes come back, all but the last.
    desktop.SetValue(kDesktopKey, "Number", {4, {'A', 'B', 'C', 0}});
    CHECK(form.GetRegString(zinna::HKEY_CURRENT_USER, path, "Number", &raw) == "ABC");
    CHECK(raw.type == 4);

    CHECK(form.GetRegString(zinna::HKEY_CURRENT_USER, path, "Absent", &raw) == "");
    CHECK(raw.outcome == zinna::RegReadOutcome::ValueMissing);

    CHECK(form.GetRegString(zinna::HKEY_CURRENT_USER, "No\\Such\\Key", "Wallpaper", &raw) == "ERROR");
    CHECK(raw.outcome == zinna::RegReadOutcome::Failed);
    form.SetRegString(zinna::HKEY_CURRENT_USER, "No\\Such\\Key", "Wallpaper", "x");
    CHECK(!desktop.Value("HKEY_CURRENT_USER\\No\\Such\\Key", "Wallpaper"));  // a missing key is not created
}

TEST_CASE("a value of another type is given back with its own type and bytes") {
    zinna::sim::SimWorld world(Setup().Seed(1).options.config);
    world.Desktop().SetValue(kDesktopKey, "WallpaperStyle", {4, {10, 0, 0, 0}});  // a number, not a text
    world.Run(1000);
    world.Form().Dispatch().Command("Quit");
    auto style = world.Desktop().Value(kDesktopKey, "WallpaperStyle");
    REQUIRE(style);
    CHECK(style->type == 4);
    CHECK(style->data == std::vector<std::uint8_t>{10, 0, 0, 0});
}

TEST_CASE("display types other than Center and Tile, compared exactly, give the stretched style") {
    SimRun run = RunSim(Setup().Seconds(0).Seed(1));
    zinna::ZinnaForm& form = run.world->Form();
    auto& desktop = run.world->Desktop();
    auto styleAfter = [&](const std::string& type) {
        form.ChangeWallPaper("C:\\x.bmp", type);
        return *desktop.Text(kDesktopKey, "TileWallpaper") + "/" + *desktop.Text(kDesktopKey, "WallpaperStyle");
    };
    CHECK(styleAfter("Center") == "0/0");
    CHECK(styleAfter("Tile") == "1/0");
    CHECK(styleAfter("Stretch") == "0/2");
    CHECK(styleAfter("tile") == "0/2");
    CHECK(styleAfter("CENTER") == "0/2");
    CHECK(styleAfter("") == "0/2");
    CHECK(styleAfter("Fill") == "0/2");
    CHECK(desktop.Text(kDesktopKey, "Wallpaper") == "C:\\x.bmp");
}
