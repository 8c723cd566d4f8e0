// zinna.exe on a scaled display: Wine's LogPixels at 96, 144 and 192 dots per inch (100 %, 150 %
// and 200 %), in a 1024x768 virtual desktop with Wine's shell. She is the test character with a
// 128x128 frame (its images, squares of one colour, in the frame's top-left corner, the rest
// clear): her window must be 128, 192 and 256 pixels, centred on the whole screen, her clear
// pixels must let clicks through to the window below, and her balloon's words must grow with her.
#include <windows.h>

#include "desktop_session.h"
#include "win32/wine_log_pixels.h"
#include "host_test_character.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <map>
#include <sstream>

namespace {

using namespace zinna::testing;

constexpr int kFrameSide = 128;
constexpr int kImageSide = kTestFrameSide;  // the coloured square in her frame's corner
constexpr int kScreenWidth = 1024, kScreenHeight = 768;

std::string Describe(const RECT& r) {
    std::ostringstream text;
    text << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
    return text.str();
}

// The test character, its frame 128x128, as the Windows directory's zinna.acs while this lives.
struct CharacterFileInWindows {
    CharacterFileInWindows() { WriteProgramTestCharacter("C:\\windows\\zinna.acs", kFrameSide); }
    ~CharacterFileInWindows() { DeleteFileW(L"C:\\windows\\zinna.acs"); }
};

class Zinna {
public:
    Zinna() {
        const std::wstring exe = WindowsPathOf(EnvironmentOr("ZINNA_EXE", ""));
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        std::wstring commandLine = L"\"" + exe + L"\"";
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

    std::optional<RECT> Rect(const wchar_t* windowClass) const {
        RECT r;
        if (!VisibleWindowRect(VisibleWindowOf(info_.dwProcessId, windowClass), r)) return std::nullopt;
        return r;
    }
    std::optional<RECT> Character() const { return Rect(L"ZinnaCharacterWindow"); }
    std::optional<RECT> Balloon() const { return Rect(L"ZinnaBalloonWindow"); }
    std::optional<RECT> Menu() const { return Rect(L"#32768"); }
    bool Ended(DWORD milliseconds) const { return WaitForSingleObject(info_.hProcess, milliseconds) == WAIT_OBJECT_0; }

private:
    PROCESS_INFORMATION info_{};
};

// A plain window of the test's own, below her, that records where the left clicks reaching it were.
// It lives on a thread of its own that always answers its messages: the program's start and end
// broadcast the desktop's changes to every window and wait for the answers.
class ClickCatcher {
public:
    explicit ClickCatcher(const RECT& r) : origin_{r.left, r.top} {
        thread_ = std::thread([this, r] { Run(r); });
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return started_; });
        REQUIRE(window_ != nullptr);
    }
    ~ClickCatcher() {
        PostMessageW(window_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    ClickCatcher(const ClickCatcher&) = delete;
    ClickCatcher& operator=(const ClickCatcher&) = delete;

    // The screen points clicked.
    std::vector<POINT> Clicks() {
        const std::lock_guard lock(mutex_);
        return clicks_;
    }

private:
    void Run(const RECT& r) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        windowClass.lpszClassName = L"ZinnaTestClickCatcher";
        RegisterClassW(&windowClass);  // already there from an earlier catcher: fine
        const HWND window =
            CreateWindowExW(WS_EX_NOACTIVATE, L"ZinnaTestClickCatcher", L"catcher", WS_POPUP, r.left, r.top,
                            r.right - r.left, r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (window != nullptr) {
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            // Shown without taking the focus, at the bottom of the windows.
            SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        }
        {
            const std::lock_guard lock(mutex_);
            window_ = window;
            started_ = true;
        }
        ready_.notify_all();
        if (window == nullptr) return;
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    }
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* catcher = reinterpret_cast<ClickCatcher*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (catcher != nullptr && message == WM_LBUTTONDOWN) {
            const std::lock_guard lock(catcher->mutex_);
            catcher->clicks_.push_back(POINT{catcher->origin_.x + static_cast<short>(LOWORD(lParam)),
                                             catcher->origin_.y + static_cast<short>(HIWORD(lParam))});
            return 0;
        }
        if (message == WM_DESTROY) PostQuitMessage(0);
        return DefWindowProcW(window, message, wParam, lParam);
    }

    const POINT origin_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable ready_;
    bool started_ = false;
    HWND window_ = nullptr;
    std::vector<POINT> clicks_;
};

// Waits until she stands still at one place for a while; her rectangle.
std::optional<RECT> WaitForStill(const Zinna& zinna, DWORD milliseconds) {
    std::optional<RECT> last, result;
    DWORD since = GetTickCount();
    WaitFor(
        [&] {
            const std::optional<RECT> now = zinna.Character();
            if (!now || !last || !EqualRect(&*now, &*last)) since = GetTickCount();
            last = now;
            if (now && now->top > 0 && GetTickCount() - since >= 800) result = now;
            return result.has_value();
        },
        milliseconds);
    return result;
}

// The heights of the bands of rows with ink, top down: the lines of the balloon's words.
std::vector<int> InkBands(const Screenshot& shot, const RECT& inside) {
    std::vector<int> bands;
    bool inBand = false;
    for (int y = inside.top; y < inside.bottom; ++y) {
        const bool ink = shot.CountDark(RECT{inside.left, y, inside.right, y + 1}) > 0;
        if (ink && !inBand) bands.push_back(0);
        if (ink) ++bands.back();
        inBand = ink;
    }
    return bands;
}

struct Seen {
    int side = 0;            // her window's width (and height)
    int balloonHeight = 0;   // the balloon window's height
    int inkHeight = 0;       // the height of the words' first line
    int menuItemHeight = 0;  // one item of her menu
};

Seen RunAt(int dpi) {
    CAPTURE(dpi);
    const double scale = dpi / 96.0;
    const int side = static_cast<int>(std::lround(kFrameSide * scale));
    const WineLogPixels logPixels(static_cast<DWORD>(dpi));
    const CharacterFileInWindows characterFile;
    const std::string shots = EnvironmentOr("ZINNA_SCREENSHOT_DIR", "");
    Seen seen;

    // A window of the test's own where she will stand, on the taskbar. It comes first: Wine's virtual
    // desktop stacks the X windows of different processes in the order they were mapped.
    RECT taskbar{};
    REQUIRE_MESSAGE(GetWindowRect(FindWindowW(L"Shell_TrayWnd", nullptr), &taskbar),
                    "run inside a virtual desktop with Wine's shell");
    std::optional<ClickCatcher> catcher(std::in_place, RECT{0, taskbar.top - side, kScreenWidth, taskbar.top});

    Zinna zinna;
    // Her first frame: her size at the scale, centred on the whole screen (the program's screen is
    // the display's 1024x768 pixels at every scaling).
    std::optional<RECT> first;
    REQUIRE(WaitFor([&] { return (first = zinna.Character()).has_value(); }, 30000, 5));
    CAPTURE(Describe(*first));
    seen.side = first->right - first->left;
    CHECK(seen.side == side);
    CHECK(first->bottom - first->top == side);
    CHECK(first->left == kScreenWidth / 2 - side / 2);
    CHECK(first->top == kScreenHeight / 2 - side / 2);

    // After the opening she stands on the taskbar. Her coloured corner catches a click; a click on
    // her clear pixels reaches the window below her.
    const std::optional<RECT> standing = WaitForStill(zinna, 60000);
    REQUIRE(standing.has_value());
    CAPTURE(Describe(*standing));
    CHECK(standing->right - standing->left == side);
    REQUIRE(standing->bottom == taskbar.top);
    {
        const int image = static_cast<int>(std::lround(kImageSide * scale));
        const int opaqueX = standing->left + image / 2, opaqueY = standing->top + image / 2;
        const int clearX = standing->left + side * 3 / 4, clearY = standing->top + side * 3 / 4;
        REQUIRE(Xdotool("mousemove " + std::to_string(opaqueX) + " " + std::to_string(opaqueY) + " sleep 0.3 click 1"));
        REQUIRE(Xdotool("mousemove " + std::to_string(clearX) + " " + std::to_string(clearY) + " sleep 0.3 click 1"));
        // The clicks come in order: once the one on her clear pixels is here, the other is past.
        auto at = [](int x, int y) { return [x, y](const POINT& p) { return p.x == x && p.y == y; }; };
        std::vector<POINT> clicks;
        CHECK_MESSAGE(WaitFor(
                          [&] {
                              clicks = catcher->Clicks();
                              return std::any_of(clicks.begin(), clicks.end(), at(clearX, clearY));
                          },
                          10000),
                      "the click on her clear pixels did not reach the window below");
        CHECK_MESSAGE(std::none_of(clicks.begin(), clicks.end(), at(opaqueX, opaqueY)),
                      "the click on her coloured pixels went through her");
        const std::optional<RECT> after = zinna.Character();
        CHECK((after && EqualRect(&*after, &*standing)));  // she stood still meanwhile
    }
    catcher.reset();  // clicked, Wine raises it over her

    // Her menu, as Windows draws it at this scale: its item height is recorded.
    auto openMenu = [&] {
        const std::optional<RECT> at = zinna.Character();
        REQUIRE(at.has_value());
        const int x = at->left + 10, y = at->top + 10;  // on her coloured corner
        REQUIRE(Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " sleep 0.1 click 3"));
        std::optional<RECT> menu;
        REQUIRE(WaitFor([&] { return (menu = zinna.Menu()).has_value(); }, 10000));
        return *menu;
    };
    // The hidden separators in order bring the credits in her balloon.
    for (int item : {2, 9, 12}) {
        const RECT menu = openMenu();
        seen.menuItemHeight = (menu.bottom - menu.top - 2 * GetSystemMetrics(SM_CYEDGE)) / 13;
        REQUIRE(Xdotool("key --delay 60 --repeat " + std::to_string(item) + " Down"));
        REQUIRE(Xdotool("key Return"));
        REQUIRE(WaitFor([&] { return !zinna.Menu(); }, 5000));
    }
    std::optional<RECT> balloon;
    REQUIRE_MESSAGE(WaitFor([&] { return (balloon = zinna.Balloon()).has_value(); }, 20000), "no balloon");
    // The words appear one by one; once a second line has begun, the first is whole.
    const int inset = static_cast<int>(std::lround(4 * scale));
    const int pointer = static_cast<int>(std::lround(12 * scale));
    std::vector<int> lines;
    REQUIRE_MESSAGE(WaitFor(
                        [&] {
                            balloon = zinna.Balloon();
                            const std::optional<Screenshot> shot = TakeScreenshot();
                            if (!balloon || !shot) return false;
                            const RECT inside{balloon->left + inset, balloon->top + inset, balloon->right - inset,
                                              balloon->bottom - pointer - inset};
                            lines = InkBands(*shot, inside);
                            return lines.size() >= 2;
                        },
                        20000, 100),
                    "the balloon's words never reached a second line");
    CAPTURE(Describe(*balloon));
    seen.balloonHeight = balloon->bottom - balloon->top;
    seen.inkHeight = lines[0];

    // Until the balloon goes, the picture with the most of her words is kept.
    std::size_t most = 0;
    REQUIRE(WaitFor(
        [&] {
            const std::optional<RECT> now = zinna.Balloon();
            if (!now) return true;
            const std::optional<Screenshot> shot = TakeScreenshot();
            const RECT inside{now->left + inset, now->top + inset, now->right - inset, now->bottom - pointer - inset};
            if (!shot || !zinna.Balloon() || InkBands(*shot, inside).size() <= most) return false;
            most = InkBands(*shot, inside).size();
            if (!shots.empty()) TakeScreenshot(shots + "/windows-scaling-" + std::to_string(dpi) + ".png");
            return false;
        },
        60000, 200));

    // Quit.
    openMenu();
    REQUIRE(Xdotool("key q"));
    CHECK(zinna.Ended(15000));
    MESSAGE("at " << dpi << " DPI: her window " << seen.side << " px, balloon " << seen.balloonHeight
                  << " px high, the first line's ink " << seen.inkHeight << " px, a menu item " << seen.menuItemHeight
                  << " px");
    return seen;
}

}  // namespace

TEST_CASE("at 100 %, 150 % and 200 % she is 128, 192 and 256 pixels, and her balloon's words grow with her") {
    std::map<int, Seen> seen;
    for (int dpi : {96, 144, 192}) seen[dpi] = RunAt(dpi);
    for (int dpi : {144, 192}) {
        CAPTURE(dpi);
        const double scale = dpi / 96.0;
        // Tahoma's glyphs at a pixel size do not grow exactly in proportion: a tenth either way.
        const double balloon = static_cast<double>(seen[dpi].balloonHeight) / seen[96].balloonHeight;
        const double ink = static_cast<double>(seen[dpi].inkHeight) / seen[96].inkHeight;
        CHECK(balloon >= scale * 0.9);
        CHECK(balloon <= scale * 1.1);
        CHECK(ink >= scale * 0.8);
        CHECK(ink <= scale * 1.2);
    }
}
