// zinna.exe with its built-in character host, used as a person uses it: on a desktop with a
// taskbar (Wine's shell in a 1024x768 virtual desktop on Xvfb), seen through screenshots of the X
// screen, with the mouse and keys of xdotool. The character is the test character, every image a
// square of one colour, so a screenshot tells which frame shows where. The stand-in xdg-open first
// on PATH records the shell's open.
#include <windows.h>

#include "desktop_session.h"
#include "host_test_character.h"

#include <doctest/doctest.h>

#include <memory>
#include <sstream>

namespace {

using zinna::testing::EnvironmentOr;
using zinna::testing::ReadDesktopValue;
using zinna::testing::Screenshot;
using zinna::testing::TakeScreenshot;
using zinna::testing::VisibleWindowOf;
using zinna::testing::VisibleWindowRect;
using zinna::testing::WaitFor;
using zinna::testing::WindowsPathOf;
using zinna::testing::Xdotool;

constexpr int kSide = zinna::testing::kTestFrameSide;

// The colour of the test character's image i (its palette's entry i + 1), as 0xRRGGBB.
std::uint32_t ImageColour(int image) {
    const int entry = image + 1;
    return static_cast<std::uint32_t>((entry * 7) & 0xFF) << 16 | static_cast<std::uint32_t>((entry * 13) & 0xFF) << 8 |
           static_cast<std::uint32_t>(entry & 0xFF);
}
// Rest and Kiss show image 0, the flights image 12, Dance images 5 and 6, the fades images 3 and 4.
const std::uint32_t kRestColour = ImageColour(0);
const std::uint32_t kFlyColour = ImageColour(12);
const std::vector<std::uint32_t> kDanceColours{ImageColour(5), ImageColour(6)};
const std::vector<std::uint32_t> kFadeColours{ImageColour(3), ImageColour(4)};
constexpr std::uint32_t kBalloonPaper = 0xFFFFE1;

struct DesktopValues {
    std::optional<std::wstring> wallpaper, tile, style;
    bool operator==(const DesktopValues&) const = default;
};

DesktopValues ReadDesktopValues() {
    return {ReadDesktopValue(L"Wallpaper"), ReadDesktopValue(L"TileWallpaper"), ReadDesktopValue(L"WallpaperStyle")};
}

std::string Describe(const RECT& r) {
    std::ostringstream text;
    text << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
    return text.str();
}

RECT Shrunk(RECT r, int by) { return {r.left + by, r.top + by, r.right - by, r.bottom - by}; }

// zinna.exe, running for one test and ended with it.
class Zinna {
public:
    Zinna() {
        const std::wstring exe = WindowsPathOf(EnvironmentOr("ZINNA_EXE", ""));
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        std::wstring commandLine = L"\"" + exe + L"\"";
        startedAt_ = GetTickCount();
        REQUIRE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &info_));
    }
    ~Zinna() {
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 99);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    Zinna(const Zinna&) = delete;
    Zinna& operator=(const Zinna&) = delete;

    DWORD Id() const { return info_.dwProcessId; }
    DWORD StartedAt() const { return startedAt_; }
    HWND Character() const { return VisibleWindowOf(Id(), L"ZinnaCharacterWindow"); }
    HWND Balloon() const { return VisibleWindowOf(Id(), L"ZinnaBalloonWindow"); }
    HWND Menu() const { return VisibleWindowOf(Id(), L"#32768"); }
    std::optional<RECT> CharacterRect() const {
        RECT r;
        if (!VisibleWindowRect(Character(), r)) return std::nullopt;
        return r;
    }
    std::optional<DWORD> WaitForExit(DWORD milliseconds) {
        if (WaitForSingleObject(info_.hProcess, milliseconds) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION info_{};
    DWORD startedAt_ = 0;
};

RECT TaskbarRect() {
    RECT r{};
    const HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    REQUIRE_MESSAGE(taskbar != nullptr, "run inside a virtual desktop with Wine's shell");
    GetWindowRect(taskbar, &r);
    return r;
}

// Waits until the character stands still for a while where the condition wants her; her rectangle.
std::optional<RECT> WaitForCharacterAt(const Zinna& zinna, const std::function<bool(const RECT&)>& wanted,
                                       DWORD milliseconds) {
    std::optional<RECT> last;
    DWORD stillSince = GetTickCount();
    std::optional<RECT> result;
    WaitFor(
        [&] {
            const std::optional<RECT> now = zinna.CharacterRect();
            if (!now || !last || !EqualRect(&*now, &*last)) stillSince = GetTickCount();
            last = now;
            if (now && wanted(*now) && GetTickCount() - stillSince >= 600) result = now;
            return result.has_value();
        },
        milliseconds);
    return result;
}

// Polls screenshots until the character's frame shows one of the colours at her rectangle.
bool WaitForFrameColours(const Zinna& zinna, const std::vector<std::uint32_t>& colours, DWORD milliseconds,
                         std::optional<RECT>* seenAt = nullptr) {
    return WaitFor(
        [&] {
            const std::optional<RECT> before = zinna.CharacterRect();
            const std::optional<Screenshot> shot = TakeScreenshot();
            const std::optional<RECT> after = zinna.CharacterRect();
            if (!before || !after || !shot || !EqualRect(&*before, &*after)) return false;
            // One colour over the whole frame: the frames of the test character are single squares.
            for (std::uint32_t colour : colours) {
                if (shot->AllOf(*after, {colour})) {
                    if (seenAt) *seenAt = after;
                    return true;
                }
            }
            return false;
        },
        milliseconds, 10);
}

void RightClickOn(const RECT& r) {
    const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    // The pointer comes to her from beside, as a hand's would.
    REQUIRE(Xdotool("mousemove " + std::to_string(x - 5) + " " + std::to_string(y - 5) + " sleep 0.1 mousemove " +
                    std::to_string(x) + " " + std::to_string(y) + " sleep 0.1 click 3"));
}

// Opens her menu with a right-click and waits for it.
HWND OpenMenu(const Zinna& zinna) {
    const std::optional<RECT> at = zinna.CharacterRect();
    REQUIRE(at.has_value());
    RightClickOn(*at);
    HWND menu = nullptr;
    WaitFor([&] { return (menu = zinna.Menu()) != nullptr; }, 10000);
    if (menu == nullptr) TakeScreenshot(EnvironmentOr("ZINNA_SCREENSHOT_DIR", "/tmp") + "/no-menu.png");
    REQUIRE_MESSAGE(menu != nullptr, "no menu came after the right-click at " << Describe(*at));
    return menu;
}

// Chooses the menu's n-th item (from 1) with the arrow keys, as a person without a mouse would.
void ChooseWithArrows(const Zinna& zinna, int n) {
    OpenMenu(zinna);
    REQUIRE(Xdotool("key --delay 60 --repeat " + std::to_string(n) + " Down"));
    REQUIRE(Xdotool("key Return"));
    CHECK(WaitFor([&] { return zinna.Menu() == nullptr; }, 5000));
}

// The test character as the Windows directory's zinna.acs, for as long as this lives.
struct CharacterFileInWindows {
    CharacterFileInWindows() { zinna::testing::WriteProgramTestCharacter("C:\\windows\\zinna.acs"); }
    ~CharacterFileInWindows() { DeleteFileW(L"C:\\windows\\zinna.acs"); }
};

std::vector<std::string> Lines(const std::wstring& path) {
    std::ifstream file(path.c_str());
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

}  // namespace

TEST_CASE("Zinna on the desktop: the opening, her menu, a double-click, a drag, the credits and Quit") {
    const std::string shots = EnvironmentOr("ZINNA_SCREENSHOT_DIR", "");
    const std::wstring shellLog = WindowsPathOf(EnvironmentOr("ZINNA_XDG_OPEN_LOG", ""));
    REQUIRE_MESSAGE(!shellLog.empty(), "run with the recording xdg-open first on PATH");
    DeleteFileW(shellLog.c_str());
    const CharacterFileInWindows characterFile;
    const DesktopValues before = ReadDesktopValues();
    const RECT taskbar = TaskbarRect();

    Zinna zinna;
    // The first frame: she appears centred on the screen, then flies in from the left.
    std::optional<RECT> first;
    REQUIRE(WaitFor([&] { return (first = zinna.CharacterRect()).has_value(); }, 30000, 5));
    MESSAGE("start-up to the first frame shown: " << GetTickCount() - zinna.StartedAt() << " ms");
    CAPTURE(Describe(*first));
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    CHECK(std::abs(first->left - (screenWidth - kSide) / 2) <= 1);
    CHECK(std::abs(first->top - (screenHeight - kSide) / 2) <= 1);
    CHECK(first->right - first->left == kSide);
    CHECK(first->bottom - first->top == kSide);
    std::optional<RECT> appearing;
    // Showing (image 1) and then Hiding (image 2) before the flight: 400 ms to catch, which a
    // loaded machine's screenshots can miss, so a miss only warns; what is seen must be right.
    WARN_MESSAGE(WaitForFrameColours(zinna, {ImageColour(1), ImageColour(2)}, 1500, &appearing),
                 "her first frames were not caught by a screenshot");
    if (appearing) CHECK(EqualRect(&*appearing, &*first));
    std::optional<RECT> flying;
    CHECK_MESSAGE(WaitForFrameColours(zinna, {kFlyColour}, 10000, &flying), "no flying frame seen where she is");

    // After the opening (the flight, the dance and the kiss) she stands on the taskbar, showing the
    // kiss's frame, which she keeps.
    std::optional<RECT> standing;
    REQUIRE_MESSAGE(WaitFor(
                        [&] {
                            return WaitForFrameColours(zinna, {kRestColour}, 500, &standing) &&
                                   standing->bottom == taskbar.top;
                        },
                        60000),
                    "she never came to stand on the taskbar at " << Describe(taskbar));
    {
        const std::optional<Screenshot> shot = TakeScreenshot(shots.empty() ? "" : shots + "/windows-desktop.png");
        REQUIRE(shot.has_value());
        CAPTURE(Describe(*standing));
        CHECK(shot->AllOf(*standing, {kRestColour}));
        // Only her own pixels: the line just above her frame is the desktop's, not hers.
        const RECT above{standing->left, standing->top - 1, standing->right, standing->top};
        CHECK(shot->Count(above, kRestColour) == 0);
    }

    // Her menu: thirteen commands, one item each.
    {
        const HWND menu = OpenMenu(zinna);
        RECT menuRect;
        REQUIRE(GetWindowRect(menu, &menuRect));
        const std::optional<Screenshot> shot = TakeScreenshot(shots.empty() ? "" : shots + "/windows-menu.png");
        REQUIRE(shot.has_value());
        const int itemHeight = (menuRect.bottom - menuRect.top - 2 * GetSystemMetrics(SM_CYEDGE)) / 13;
        CAPTURE(Describe(menuRect));
        CHECK(itemHeight >= 13);
        CHECK(itemHeight <= GetSystemMetrics(SM_CYMENU) + 6);
        // The menu is drawn: its captions are more than one colour.
        CHECK(shot->Count(Shrunk(menuRect, 3), shot->At(menuRect.left + 3, menuRect.top + 3)) <
              (menuRect.right - menuRect.left - 6) * (menuRect.bottom - menuRect.top - 6));
        // "&Dance": the access key chooses it; she dances on the taskbar.
        REQUIRE(Xdotool("key d"));
        CHECK(WaitFor([&] { return zinna.Menu() == nullptr; }, 5000));
        std::optional<RECT> dancing;
        CHECK_MESSAGE(WaitForFrameColours(zinna, kDanceColours, 10000, &dancing), "no dance after choosing Dance");
        if (dancing) CHECK(dancing->bottom == taskbar.top);
        // Even after her menu made her window the foreground one, the taskbar has no button for
        // her: beyond the Start button it is all one colour.
        const std::optional<Screenshot> after = TakeScreenshot();
        REQUIRE(after.has_value());
        const RECT buttons{taskbar.left + 70, taskbar.top + 3, taskbar.left + 600, taskbar.bottom - 3};
        CHECK(after->Count(buttons, after->At(buttons.left, buttons.top)) ==
              (buttons.right - buttons.left) * (buttons.bottom - buttons.top));
    }

    // A double-click on her opens the page's address, once.
    {
        const std::optional<RECT> at = WaitForCharacterAt(zinna, [&](const RECT&) { return true; }, 10000);
        REQUIRE(at.has_value());
        const int x = (at->left + at->right) / 2, y = (at->top + at->bottom) / 2;
        REQUIRE(Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click --repeat 2 --delay 80 1"));
        std::vector<std::string> opened;
        WaitFor([&] { return !(opened = Lines(shellLog)).empty(); }, 10000);
        Sleep(1000);  // a second open would come now
        opened = Lines(shellLog);
        REQUIRE(opened.size() == 1);
        CHECK(opened[0].rfind("http://", 0) == 0);
    }

    // A drag moves her; where she is dropped she fades out of her dance.
    {
        const std::optional<RECT> at = WaitForCharacterAt(zinna, [&](const RECT&) { return true; }, 10000);
        REQUIRE(at.has_value());
        const int x = (at->left + at->right) / 2, y = (at->top + at->bottom) / 2;
        const int toX = std::clamp(x + 150, 50, 900), toY = 300;
        std::ostringstream drag;
        drag << "mousemove " << x << " " << y << " mousedown 1 sleep 0.1";
        for (int step = 1; step <= 5; ++step)
            drag << " mousemove " << x + (toX - x) * step / 5 << " " << y + (toY - y) * step / 5 << " sleep 0.05";
        drag << " mouseup 1";
        REQUIRE(Xdotool(drag.str()));
        const RECT dropped{toX - (x - at->left), toY - (y - at->top), toX - (x - at->left) + kSide,
                           toY - (y - at->top) + kSide};
        std::optional<RECT> fading;
        CHECK_MESSAGE(WaitForFrameColours(zinna, kFadeColours, 5000, &fading), "no fade-out after the drop");
        CAPTURE(Describe(dropped));
        if (fading) CHECK(EqualRect(&*fading, &dropped));
    }

    // The hidden separators, in order, bring the credits in her balloon.
    {
        ChooseWithArrows(zinna, 2);   // EasterEgg1
        ChooseWithArrows(zinna, 9);   // EasterEgg2
        ChooseWithArrows(zinna, 12);  // EasterEgg3
        HWND balloon = nullptr;
        REQUIRE_MESSAGE(WaitFor([&] { return (balloon = zinna.Balloon()) != nullptr; }, 15000), "no balloon");
        Sleep(3000);  // the words appear at a readable pace
        RECT balloonRect;
        REQUIRE(VisibleWindowRect(zinna.Balloon(), balloonRect));
        const std::optional<RECT> her = zinna.CharacterRect();
        const std::optional<Screenshot> shot = TakeScreenshot(shots.empty() ? "" : shots + "/windows-balloon.png");
        REQUIRE(shot.has_value());
        REQUIRE(her.has_value());
        CAPTURE(Describe(balloonRect));
        // Inside the screen, above her, and drawn: paper with ink on it.
        CHECK(balloonRect.left >= 0);
        CHECK(balloonRect.top >= 0);
        CHECK(balloonRect.right <= shot->width);
        CHECK(balloonRect.bottom == her->top);
        const int paper = shot->Count(balloonRect, kBalloonPaper);
        const int area = (balloonRect.right - balloonRect.left) * (balloonRect.bottom - balloonRect.top);
        CHECK(paper > area / 2);
        // Words in ink inside the body, away from its outline.
        const RECT inside{balloonRect.left + 4, balloonRect.top + 4, balloonRect.right - 4,
                          balloonRect.bottom - 4 - 12};
        CHECK(shot->CountDark(inside) > 30);
    }

    // Quit: the program ends and the desktop's values are those before it started.
    {
        REQUIRE(WaitFor([&] { return zinna.Balloon() == nullptr; }, 60000));
        OpenMenu(zinna);
        REQUIRE(Xdotool("key q"));
        CHECK(zinna.WaitForExit(15000) == std::optional<DWORD>(0));
        CHECK(ReadDesktopValues() == before);
    }
}
