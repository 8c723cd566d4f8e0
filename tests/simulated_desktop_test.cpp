#include "platform/sim/sim_desktop.h"
#include "platform/sim/user_script.h"
#include "platform/sim/virtual_clock.h"

#include <doctest/doctest.h>

#include <sstream>

using namespace zinna;
using namespace zinna::sim;

TEST_CASE("the simulated registry answers as Windows does") {
    VirtualClock clock;
    Trace trace(clock);
    SimDesktop desktop(SimDesktopConfig{}, trace);
    RegistryKey key = 0;
    REQUIRE(desktop.RegOpenKeyExA(HKEY_CURRENT_USER, "control panel\\DESKTOP", 0, KEY_READ, &key) == ERROR_SUCCESS);

    std::uint32_t size = 0, type = 0;
    CHECK(desktop.RegQueryValueExA(key, "wallpaper", &type, nullptr, &size) == ERROR_SUCCESS);  // size only
    CHECK(size == sizeof("C:\\WINDOWS\\Clouds.bmp"));
    CHECK(type == REG_SZ);

    std::uint8_t small[4];
    size = sizeof small;
    CHECK(desktop.RegQueryValueExA(key, "Wallpaper", &type, small, &size) == ERROR_MORE_DATA);
    CHECK(size == sizeof("C:\\WINDOWS\\Clouds.bmp"));

    std::vector<std::uint8_t> enough(size);
    CHECK(desktop.RegQueryValueExA(key, "Wallpaper", &type, enough.data(), &size) == ERROR_SUCCESS);
    CHECK(std::string(enough.begin(), enough.end() - 1) == "C:\\WINDOWS\\Clouds.bmp");
    CHECK(enough.back() == 0);

    CHECK(desktop.RegQueryValueExA(key, "Nothing", &type, enough.data(), &size) == ERROR_FILE_NOT_FOUND);
    CHECK(desktop.RegDeleteValueA(key, "Nothing") == ERROR_FILE_NOT_FOUND);
    CHECK(desktop.RegCloseKey(key) == ERROR_SUCCESS);
    CHECK(desktop.RegCloseKey(key) == ERROR_INVALID_HANDLE);
    CHECK(desktop.RegQueryValueExA(key, "Wallpaper", &type, enough.data(), &size) == ERROR_INVALID_HANDLE);

    RegistryKey missing = 0;
    CHECK(desktop.RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Nowhere", &missing) == ERROR_FILE_NOT_FOUND);
    CHECK(!desktop.Value("HKEY_CURRENT_USER\\Control Panel\\Nowhere", ""));
}

TEST_CASE("the Windows directory call copies nothing when the buffer is too small and reports the size") {
    VirtualClock clock;
    Trace trace(clock);
    SimDesktopConfig config;
    config.windowsDir = "C:\\WINDOWS";
    SimDesktop desktop(config, trace);
    char buffer[32] = "untouched";
    CHECK(desktop.GetWindowsDirectoryA(buffer, 10) == 11);  // 10 characters and the NUL
    CHECK(std::string(buffer) == "untouched");
    CHECK(desktop.GetWindowsDirectoryA(buffer, 11) == 10);
    CHECK(std::string(buffer) == "C:\\WINDOWS");
}

TEST_CASE("the wallpaper call stores its path only when asked to update the profile") {
    VirtualClock clock;
    Trace trace(clock);
    SimDesktop desktop(SimDesktopConfig{}, trace);
    desktop.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, "C:\\a.bmp", SPIF_SENDWININICHANGE);
    CHECK(desktop.ShownWallpaper() == "C:\\a.bmp");
    CHECK(desktop.Text(kDesktopKey, "Wallpaper") == "C:\\WINDOWS\\Clouds.bmp");
    desktop.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, "C:\\b.bmp", SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
    CHECK(desktop.Text(kDesktopKey, "Wallpaper") == "C:\\b.bmp");
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
