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
        REQUIRE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &info_));
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
    std::optional<DWORD> Exited(DWORD milliseconds) const {
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

// Polls screenshots until a whole frame of the colour shows between where she was before the
// screenshot and where she is after it: while she flies she moves during a screenshot.
bool WaitForMovingFrameColour(const Zinna& zinna, std::uint32_t colour, DWORD milliseconds) {
    return WaitFor(
        [&] {
            const std::optional<RECT> before = zinna.CharacterRect();
            const std::optional<Screenshot> shot = TakeScreenshot();
            const std::optional<RECT> after = zinna.CharacterRect();
            if (!before || !after || !shot) return false;
            RECT between;
            UnionRect(&between, &*before, &*after);
            return shot->Count(between, colour) >= kSide * kSide;
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

// Her balloon once its words are drawn: paper with ink on it, inside the body away from its outline.
struct DrawnBalloon {
    RECT rect;
    Screenshot shot;
};
std::optional<DrawnBalloon> WaitForBalloonWords(const Zinna& zinna, DWORD milliseconds) {
    std::optional<DrawnBalloon> drawn;
    WaitFor(
        [&] {
            RECT rect;
            if (!VisibleWindowRect(zinna.Balloon(), rect)) return false;
            std::optional<Screenshot> shot = TakeScreenshot();
            if (!shot) return false;
            const RECT inside{rect.left + 4, rect.top + 4, rect.right - 4, rect.bottom - 4 - 12};
            if (shot->CountDark(inside) <= 30) return false;
            drawn = DrawnBalloon{rect, std::move(*shot)};
            return true;
        },
        milliseconds, 100);
    return drawn;
}

// One zinna.exe for the whole file, started by the first case that needs her. The cases below each
// test one behaviour on it, in the order a person meets them (doctest runs them in file order);
// the last one quits it. A case that fails leaves the next ones to report on their own.
class Session {
public:
    Session() : shellLog_(WindowsPathOf(EnvironmentOr("ZINNA_XDG_OPEN_LOG", ""))), before_(ReadDesktopValues()) {
        DeleteFileW(shellLog_.c_str());
        zinna_ = std::make_unique<Zinna>();
    }

    const Zinna& Program() const { return *zinna_; }
    const DesktopValues& Before() const { return before_; }
    const std::wstring& ShellLog() const { return shellLog_; }

    // Waits until the opening has ended: she stands on the taskbar, showing the kiss's frame, which
    // she keeps. Her rectangle then, or nullopt when that never came.
    std::optional<RECT> WaitUntilStanding(const RECT& taskbar) {
        if (standing_) return standing_;
        std::optional<RECT> standing;
        if (WaitFor(
                [&] {
                    return WaitForFrameColours(*zinna_, {kRestColour}, 500, &standing) &&
                           standing->bottom == taskbar.top;
                },
                60000))
            standing_ = standing;
        return standing_;
    }

private:
    std::wstring shellLog_;
    CharacterFileInWindows characterFile_;
    DesktopValues before_;
    std::unique_ptr<Zinna> zinna_;
    std::optional<RECT> standing_;
};

Session& TheSession() {
    static Session session;
    return session;
}

std::string ShotPath(const char* name) {
    const std::string dir = EnvironmentOr("ZINNA_SCREENSHOT_DIR", "");
    return dir.empty() ? "" : dir + "/" + name;
}

}  // namespace

TEST_CASE("she appears centred on the screen, then flies in") {
    REQUIRE_MESSAGE(!EnvironmentOr("ZINNA_XDG_OPEN_LOG", "").empty(), "run with the recording xdg-open first on PATH");
    const Zinna& zinna = TheSession().Program();
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
    CHECK_MESSAGE(WaitForMovingFrameColour(zinna, kFlyColour, 10000), "no flying frame seen where she is");
}

TEST_CASE("after the opening she stands on the taskbar, and only her own pixels are hers") {
    const RECT taskbar = TaskbarRect();
    const std::optional<RECT> standing = TheSession().WaitUntilStanding(taskbar);
    REQUIRE_MESSAGE(standing.has_value(), "she never came to stand on the taskbar at " << Describe(taskbar));
    const std::optional<Screenshot> shot = TakeScreenshot(ShotPath("windows-desktop.png"));
    REQUIRE(shot.has_value());
    CAPTURE(Describe(*standing));
    CHECK(shot->AllOf(*standing, {kRestColour}));
    // The line just above her frame is the desktop's, not hers.
    const RECT above{standing->left, standing->top - 1, standing->right, standing->top};
    CHECK(shot->Count(above, kRestColour) == 0);
}

TEST_CASE("her menu has thirteen drawn items, one a line") {
    const Zinna& zinna = TheSession().Program();
    REQUIRE(TheSession().WaitUntilStanding(TaskbarRect()).has_value());
    const HWND menu = OpenMenu(zinna);
    RECT menuRect;
    REQUIRE(GetWindowRect(menu, &menuRect));
    const std::optional<Screenshot> shot = TakeScreenshot(ShotPath("windows-menu.png"));
    REQUIRE(shot.has_value());
    const int itemHeight = (menuRect.bottom - menuRect.top - 2 * GetSystemMetrics(SM_CYEDGE)) / 13;
    CAPTURE(Describe(menuRect));
    CHECK(itemHeight >= 13);
    CHECK(itemHeight <= GetSystemMetrics(SM_CYMENU) + 6);
    // The menu is drawn: its captions are more than one colour.
    CHECK(shot->Count(Shrunk(menuRect, 3), shot->At(menuRect.left + 3, menuRect.top + 3)) <
          (menuRect.right - menuRect.left - 6) * (menuRect.bottom - menuRect.top - 6));
    REQUIRE(Xdotool("key Escape"));
    CHECK(WaitFor([&] { return zinna.Menu() == nullptr; }, 5000));
}

TEST_CASE("Dance by the menu's access key: she dances on the taskbar, which shows no button for her") {
    const Zinna& zinna = TheSession().Program();
    const RECT taskbar = TaskbarRect();
    REQUIRE(TheSession().WaitUntilStanding(taskbar).has_value());
    OpenMenu(zinna);
    REQUIRE(Xdotool("key d"));  // "&Dance"
    CHECK(WaitFor([&] { return zinna.Menu() == nullptr; }, 5000));
    std::optional<RECT> dancing;
    CHECK_MESSAGE(WaitForFrameColours(zinna, kDanceColours, 10000, &dancing), "no dance after choosing Dance");
    if (dancing) CHECK(dancing->bottom == taskbar.top);
    // Even after her menu made her window the foreground one, the taskbar has no button for her:
    // beyond the Start button it is all one colour.
    const std::optional<Screenshot> after = TakeScreenshot();
    REQUIRE(after.has_value());
    const RECT buttons{taskbar.left + 70, taskbar.top + 3, taskbar.left + 600, taskbar.bottom - 3};
    CHECK(after->Count(buttons, after->At(buttons.left, buttons.top)) ==
          (buttons.right - buttons.left) * (buttons.bottom - buttons.top));
}

TEST_CASE("a double-click on her opens the page's address, once") {
    const Zinna& zinna = TheSession().Program();
    const std::optional<RECT> at = WaitForCharacterAt(
        zinna, [&](const RECT&) { return true; }, 10000);
    REQUIRE(at.has_value());
    const int x = (at->left + at->right) / 2, y = (at->top + at->bottom) / 2;
    REQUIRE(Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click --repeat 2 --delay 80 1"));
    std::vector<std::string> opened;
    REQUIRE(WaitFor([&] { return !(opened = Lines(TheSession().ShellLog())).empty(); }, 10000));
    // A second open would come from the same clicks: once her menu has come and gone after them,
    // the program has handled every one of their messages.
    OpenMenu(zinna);
    REQUIRE(Xdotool("key Escape"));
    CHECK(WaitFor([&] { return zinna.Menu() == nullptr; }, 5000));
    opened = Lines(TheSession().ShellLog());
    REQUIRE(opened.size() == 1);
    CHECK(opened[0].rfind("http://", 0) == 0);
}

TEST_CASE("a drag moves her, and where she is dropped she fades out of her dance") {
    const Zinna& zinna = TheSession().Program();
    // A dance to break off: between her moves she dances in one place, where the drag takes her.
    OpenMenu(zinna);
    REQUIRE(Xdotool("key d"));
    CHECK(WaitFor([&] { return zinna.Menu() == nullptr; }, 5000));
    std::optional<RECT> at;
    REQUIRE_MESSAGE(WaitForFrameColours(zinna, kDanceColours, 10000, &at), "no dance to break off");
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
    CAPTURE(Describe(*at));
    CAPTURE(Describe(dropped));
    if (fading) CAPTURE(Describe(*fading));
    if (fading) CHECK(EqualRect(&*fading, &dropped));
}

TEST_CASE("the hidden separators, in order, bring the credits in her balloon, above her and inside the screen") {
    const Zinna& zinna = TheSession().Program();
    ChooseWithArrows(zinna, 2);   // EasterEgg1
    ChooseWithArrows(zinna, 9);   // EasterEgg2
    ChooseWithArrows(zinna, 12);  // EasterEgg3
    // The words appear at a readable pace: wait until there is ink on the paper.
    const std::optional<DrawnBalloon> balloon = WaitForBalloonWords(zinna, 15000);
    REQUIRE_MESSAGE(balloon.has_value(), "no balloon with words in it");
    TakeScreenshot(ShotPath("windows-balloon.png"));
    const RECT& rect = balloon->rect;
    const std::optional<RECT> her = zinna.CharacterRect();
    REQUIRE(her.has_value());
    CAPTURE(Describe(rect));
    CHECK(rect.left >= 0);
    CHECK(rect.top >= 0);
    CHECK(rect.right <= balloon->shot.width);
    CHECK(rect.bottom == her->top);
    const int paper = balloon->shot.Count(rect, kBalloonPaper);
    const int area = (rect.right - rect.left) * (rect.bottom - rect.top);
    CHECK(paper > area / 2);
}

TEST_CASE("Quit ends the program and the desktop's values are those before it started") {
    const Zinna& zinna = TheSession().Program();
    REQUIRE(WaitFor([&] { return zinna.Balloon() == nullptr; }, 60000));
    OpenMenu(zinna);
    REQUIRE(Xdotool("key q"));
    CHECK(TheSession().Program().Exited(15000) == std::optional<DWORD>(0));
    CHECK(ReadDesktopValues() == TheSession().Before());
}
