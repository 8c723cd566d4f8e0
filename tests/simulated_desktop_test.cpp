#include "platform/sim/sim_desktop.h"
#include "platform/sim/user_script.h"
#include "platform/sim/virtual_clock.h"

#include <doctest/doctest.h>

#include <sstream>

using namespace zinna;
using namespace zinna::sim;

// The registry, the Windows directory, the wallpaper call and the colours answer as Windows does:
// tests/contract/zinna_module_contract.cpp, the same cases the Windows layer runs under Wine. Here
// only what the simulation adds.

TEST_CASE("the wallpaper call shows its path whether or not it stores it") {
    VirtualClock clock;
    Trace trace(clock);
    SimDesktop desktop(SimDesktopConfig{}, trace);
    desktop.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, "C:\\a.bmp", SPIF_SENDWININICHANGE);
    CHECK(desktop.ShownWallpaper() == "C:\\a.bmp");
    CHECK(desktop.Text(kDesktopKey, "Wallpaper") == "C:\\WINDOWS\\Clouds.bmp");
    desktop.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, "C:\\b.bmp", SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
    CHECK(desktop.ShownWallpaper() == "C:\\b.bmp");
    CHECK(desktop.Text(kDesktopKey, "Wallpaper") == "C:\\b.bmp");
}

TEST_CASE("a failed open creates no key") {
    VirtualClock clock;
    Trace trace(clock);
    SimDesktop desktop(SimDesktopConfig{}, trace);
    RegistryKey missing = 0;
    CHECK(desktop.RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Nowhere", &missing) == ERROR_FILE_NOT_FOUND);
    CHECK(!desktop.Value("HKEY_CURRENT_USER\\Control Panel\\Nowhere", ""));
}

TEST_CASE("the virtual clock runs callbacks in time order, scheduling order among equals, and cancels") {
    VirtualClock clock;
    std::string order;
    clock.ScheduleAt(20, [&] { order += "c"; });
    clock.ScheduleAt(10, [&] { order += "a"; });
    ClockTimerId cancelled = clock.ScheduleAt(15, [&] { order += "x"; });
    clock.ScheduleAt(10, [&] {
        order += "b";
        clock.ScheduleAt(5, [&] { order += "p"; });  // the past runs as soon as possible
    });
    clock.Cancel(cancelled);
    clock.RunUntil(100, {});
    CHECK(order == "abpc");
    CHECK(clock.NowMs() == 100);

    clock.ScheduleAt(150, [&] { order += "d"; });
    clock.ScheduleAt(300, [&] { order += "e"; });
    clock.RunUntil(1000, [&] { return order.back() == 'd'; });
    CHECK(order == "abpcd");
    CHECK(clock.NowMs() == 150);
}

TEST_CASE("user scripts parse each action and name the line of a malformed one") {
    std::istringstream script("# a comment\n\n1.5 command Random Off\n2 dblclick\r\n3 drag -5 700\n");
    auto actions = ParseUserScript(script);
    REQUIRE(actions.size() == 3);
    CHECK(actions[0].timeMs == 1500);
    CHECK(actions[0].command == "Random Off");
    CHECK(actions[1].kind == UserAction::Kind::DblClick);
    CHECK(actions[2].kind == UserAction::Kind::Drag);
    CHECK(actions[2].x == -5);
    CHECK(actions[2].y == 700);

    for (const char* bad : {"x command Quit", "1 command", "1 drag 5", "1 wave", "-1 dblclick"}) {
        std::istringstream in(std::string("2 dblclick\n") + bad + "\n");
        CAPTURE(bad);
        CHECK_THROWS_WITH_AS(ParseUserScript(in), doctest::Contains("line 2"), std::invalid_argument);
    }
}
