// The built-in host's windows in a Windows process: the character in a topmost layered tool window
// where the host says she is, taking no focus; the mouse on her (a drag with capture, a
// double-click) turned into the control's events; the balloon beside her while she speaks; and
// nothing drawn again while nothing changes.
#include "platform/win32/windows_api.h"

#include "basic/basic_error.h"
#include "host_test_character.h"
#include "platform/win32/hosted_agent_control.h"
#include "platform/win32/wide_text.h"

#include <doctest/doctest.h>

#include <stdexcept>

#include <functional>
#include <string>
#include <vector>

namespace {

using zinna::win32::HostedAgentControl;

class RecordedEvents final : public zinna::AgentEvents {
public:
    std::vector<std::string> seen;
    void Command(const std::string& name) override { seen.push_back("Command " + name); }
    void DblClick(const std::string&, zinna::basic::Integer button, zinna::basic::Integer, zinna::basic::Integer x,
                  zinna::basic::Integer y) override {
        seen.push_back("DblClick " + Where(button, x, y));
    }
    void DragStart(const std::string&, zinna::basic::Integer button, zinna::basic::Integer, zinna::basic::Integer x,
                   zinna::basic::Integer y) override {
        seen.push_back("DragStart " + Where(button, x, y));
    }
    void DragComplete(const std::string&, zinna::basic::Integer button, zinna::basic::Integer, zinna::basic::Integer x,
                      zinna::basic::Integer y) override {
        seen.push_back("DragComplete " + Where(button, x, y));
    }
    void RequestStart(zinna::RequestId) override {}
    void RequestComplete(zinna::RequestId request) override {
        completed.push_back(request);
        if (throwOnComplete) throw std::runtime_error("the program's handler failed");
    }
    bool throwOnComplete = false;
    void IdleStart(const std::string&) override {}
    std::vector<zinna::RequestId> completed;
    bool Completed(zinna::RequestId request) const {
        return std::find(completed.begin(), completed.end(), request) != completed.end();
    }

private:
    static std::string Where(int button, int x, int y) {
        return std::to_string(button) + " " + std::to_string(x) + "," + std::to_string(y);
    }
};

bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (!done()) {
        const DWORD waited = GetTickCount() - start;
        if (waited >= milliseconds) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - waited, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    return true;
}

// The test character in a folder whose name is not ASCII: the host reads it through the wide
// functions.
std::string WriteCharacterFile(const std::vector<std::uint8_t>& bytes = zinna::testing::HostTestCharacterFile()) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"Zo\u00EB \u58C1";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\tester.acs";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    REQUIRE(written == bytes.size());
    return zinna::win32::Utf8FromWide(path);
}

// A hidden top-level window, as the program's main window is.
struct HiddenOwner {
    HWND window = CreateWindowExW(0, L"STATIC", L"Form1", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ~HiddenOwner() { DestroyWindow(window); }
};

// A host with the test character loaded and shown at (x, y).
struct ShownCharacter {
    RecordedEvents events;
    HiddenOwner owner;
    HostedAgentControl control;
    zinna::AgentCharacter* character = nullptr;
    HWND window = nullptr;

    // guard runs her clock's callbacks and her windows' messages (the program's guard; here, by
    // default, none).
    ShownCharacter(
        int x, int y, const std::vector<std::uint8_t>& file = zinna::testing::HostTestCharacterFile(),
        zinna::win32::Win32Clock::Guard guard = [](const std::function<void()>& work) { work(); })
        : control(GetModuleHandleW(nullptr), events, std::move(guard), owner.window) {
        control.CharactersLoad("tester", WriteCharacterFile(file));
        REQUIRE(control.Windows() != nullptr);
        window = control.Windows()->CharacterWindow();
        character = &control.Characters("tester");
        character->SetIdleOn(zinna::basic::False);
        character->MoveTo(static_cast<zinna::basic::Integer>(x), static_cast<zinna::basic::Integer>(y), 0);
        const zinna::RequestId shown = character->Show();
        REQUIRE(PumpUntil([&] { return events.Completed(shown); }, 5000));
    }
    RECT Rect() const {
        RECT r{};
        GetWindowRect(window, &r);
        return r;
    }
    // A mouse message at a screen point, as Windows would send it to her window.
    void Mouse(UINT message, POINT screen, WPARAM keys) {
        POINT client = screen;
        ScreenToClient(window, &client);
        SendMessageW(window, message, keys, MAKELPARAM(client.x, client.y));
    }
};

}  // namespace

TEST_CASE("she is shown in a topmost layered tool window of her frame's size where the host places her") {
    ShownCharacter shown(200, 150);
    CHECK(IsWindowVisible(shown.window));
    const RECT r = shown.Rect();
    CHECK(r.left == 200);
    CHECK(r.top == 150);
    CHECK(r.right - r.left == zinna::testing::kTestFrameSide);
    CHECK(r.bottom - r.top == zinna::testing::kTestFrameSide);
    const LONG_PTR style = GetWindowLongPtrW(shown.window, GWL_EXSTYLE);
    const LONG_PTR wanted = WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_LAYERED | WS_EX_NOACTIVATE;
    CHECK((style & wanted) == wanted);
    CHECK((GetWindowLongPtrW(shown.window, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME)) == 0);
    // Owned by the hidden main window: no taskbar button, whatever the shell.
    CHECK(GetWindow(shown.window, GW_OWNER) == shown.owner.window);
    CHECK(GetWindow(shown.control.Windows()->BalloonWindow(), GW_OWNER) == shown.owner.window);
    // Shown without taking the focus.
    CHECK(GetForegroundWindow() != shown.window);
    CHECK(GetActiveWindow() != shown.window);
    CHECK_FALSE(IsWindowVisible(shown.control.Windows()->BalloonWindow()));

    // Moving her moves the window; hiding her hides it.
    const zinna::RequestId moved = shown.character->MoveTo(260, 170, 0);
    REQUIRE(PumpUntil([&] { return shown.events.Completed(moved); }, 5000));
    CHECK(shown.Rect().left == 260);
    CHECK(shown.Rect().top == 170);
    const zinna::RequestId hidden = shown.character->Hide();
    REQUIRE(PumpUntil([&] { return shown.events.Completed(hidden); }, 5000));
    CHECK_FALSE(IsWindowVisible(shown.window));
}

TEST_CASE("where her frame is transparent the pointer reaches the window below") {
    // Every image of this character has a transparent left half.
    zinna::acs::Character character = zinna::testing::MakeHostTestCharacter();
    for (std::size_t i = 0; i < character.images.size(); ++i) {
        std::vector<std::uint8_t> pixels(zinna::testing::kTestFrameSide * zinna::testing::kTestFrameSide,
                                         static_cast<std::uint8_t>(i + 1));
        for (int y = 0; y < zinna::testing::kTestFrameSide; ++y)
            for (int x = 0; x < zinna::testing::kTestFrameSide / 2; ++x)
                pixels[y * zinna::testing::kTestFrameSide + x] = character.info.transparentIndex;
        character.images[i] = zinna::acs::MakeImage(zinna::testing::kTestFrameSide, zinna::testing::kTestFrameSide,
                                                    pixels, character.info.transparentIndex);
    }
    ShownCharacter shown(600, 400, zinna::acs::WriteAcs(character));
    PumpUntil([] { return false; }, 100);
    CHECK(WindowFromPoint(POINT{600 + 24, 400 + 16}) == shown.window);
    CHECK(WindowFromPoint(POINT{600 + 8, 400 + 16}) != shown.window);
}

TEST_CASE("nothing is drawn again while nothing changes") {
    ShownCharacter shown(100, 100);
    const int drawings = shown.control.Windows()->CharacterDrawings();
    CHECK(drawings >= 1);
    PumpUntil([] { return false; }, 400);
    CHECK(shown.control.Windows()->CharacterDrawings() == drawings);
}

TEST_CASE("a drag with the mouse: the window follows the pointer, held by capture, and the drop is reported") {
    ShownCharacter shown(300, 300);
    const POINT grab{310, 320};
    shown.Mouse(WM_LBUTTONDOWN, grab, MK_LBUTTON);
    CHECK(GetCapture() == shown.window);
    shown.Mouse(WM_MOUSEMOVE, {340, 300}, MK_LBUTTON);
    shown.Mouse(WM_MOUSEMOVE, {400, 250}, MK_LBUTTON);
    // The frame keeps the pointer where it was grabbed.
    CHECK(shown.Rect().left == 390);
    CHECK(shown.Rect().top == 230);
    shown.Mouse(WM_LBUTTONUP, {400, 250}, 0);
    CHECK(GetCapture() == nullptr);
    REQUIRE(PumpUntil([&] { return shown.events.seen.size() >= 2; }, 3000));
    CHECK(shown.events.seen == std::vector<std::string>{"DragStart 1 310,320", "DragComplete 1 400,250"});
    CHECK(shown.Rect().left == 390);
}

TEST_CASE("a double-click is reported once, with where it was on the screen; a click alone is not") {
    ShownCharacter shown(500, 200);
    const POINT at{505, 210};
    shown.Mouse(WM_LBUTTONDOWN, at, MK_LBUTTON);
    shown.Mouse(WM_LBUTTONUP, at, 0);
    PumpUntil([] { return false; }, 100);
    CHECK(shown.events.seen.empty());
    // Her window's class asks for no double-click messages: the second press comes as a press.
    CHECK((GetClassLongPtrW(shown.window, GCL_STYLE) & CS_DBLCLKS) == 0);
    shown.Mouse(WM_LBUTTONDOWN, at, MK_LBUTTON);
    shown.Mouse(WM_LBUTTONUP, at, 0);
    REQUIRE(PumpUntil([&] { return !shown.events.seen.empty(); }, 3000));
    PumpUntil([] { return false; }, 100);
    CHECK(shown.events.seen == std::vector<std::string>{"DblClick 1 505,210"});
    CHECK(shown.Rect().left == 500);  // no drag came of it
}

TEST_CASE("two presses far apart are no double-click, however soon the second comes") {
    ShownCharacter shown(500, 200);
    shown.Mouse(WM_LBUTTONDOWN, {505, 210}, MK_LBUTTON);
    shown.Mouse(WM_LBUTTONUP, {505, 210}, 0);
    shown.Mouse(WM_LBUTTONDOWN, {525, 210}, MK_LBUTTON);
    shown.Mouse(WM_LBUTTONUP, {525, 210}, 0);
    PumpUntil([] { return false; }, 200);
    CHECK(shown.events.seen.empty());
}

TEST_CASE("a right-click asks for her menu, and so does a second one soon after") {
    ShownCharacter shown(400, 400);
    const POINT at{410, 410};
    shown.Mouse(WM_RBUTTONDOWN, at, MK_RBUTTON);
    shown.Mouse(WM_RBUTTONUP, at, 0);
    shown.Mouse(WM_RBUTTONDOWN, at, MK_RBUTTON);
    shown.Mouse(WM_RBUTTONUP, at, 0);
    // Each request for the menu is posted to her window (WM_APP + 1) to open once the mouse's
    // handling has returned; taking them off the queue here keeps the modal menu out of the test.
    int asked = 0;
    MSG message;
    while (PeekMessageW(&message, shown.window, WM_APP + 1, WM_APP + 1, PM_REMOVE)) ++asked;
    CHECK(asked == 2);
}

TEST_CASE("while she speaks her balloon stands above her, inside the screen, and goes when she is done") {
    ShownCharacter shown(4, 300);
    const HWND balloon = shown.control.Windows()->BalloonWindow();
    const zinna::RequestId spoken = shown.character->Speak("Hello there");
    REQUIRE(PumpUntil([&] { return IsWindowVisible(balloon) != FALSE; }, 3000));
    RECT r{};
    GetWindowRect(balloon, &r);
    CHECK(r.left >= 0);  // her frame is near the left edge: the balloon is moved inside the screen
    CHECK(r.bottom == 300);
    CHECK(r.right - r.left > 40);
    CHECK((GetWindowLongPtrW(balloon, GWL_EXSTYLE) & WS_EX_NOACTIVATE) != 0);
    REQUIRE(PumpUntil([&] { return shown.events.Completed(spoken); }, 10000));
    PumpUntil([] { return false; }, 100);
    CHECK_FALSE(IsWindowVisible(balloon));
}

TEST_CASE("a character file that cannot be read is the control's error, and no window is made") {
    RecordedEvents events;
    HostedAgentControl control(
        GetModuleHandleW(nullptr), events, [](const std::function<void()>& work) { work(); }, nullptr);
    CHECK_THROWS_AS(control.CharactersLoad("tester", "C:\\no such folder\\tester.acs"), zinna::basic::BasicError);
    CHECK(control.Windows() == nullptr);
}

TEST_CASE("an error escaping her window's messages or her clock's callbacks stops at the guard, which hears it") {
    struct Case {
        const char* name;
        std::function<void(ShownCharacter&)> provoke;
        const char* escaped;  // what the guard heard
    };
    const Case cases[] = {
        {"WM_DPICHANGED beyond any display's scale (her window procedure)",
         [](ShownCharacter& shown) { SendMessageW(shown.window, WM_DPICHANGED, MAKEWPARAM(0xFFFF, 0xFFFF), 0); },
         "no display has a scale"},
        {"the program's handler of a finished request (her clock's callback)",
         [](ShownCharacter& shown) {
             shown.events.throwOnComplete = true;
             shown.character->Play("Rest");
         },
         "the program's handler failed"},
    };
    for (const Case& row : cases) {
        CAPTURE(std::string(row.name));
        std::vector<std::string> heard;
        const auto guard = [&heard](const std::function<void()>& work) {
            try {
                work();
            } catch (const std::exception& error) {
                heard.push_back(error.what());
            }
        };
        ShownCharacter shown(200, 150, zinna::testing::HostTestCharacterFile(), guard);
        row.provoke(shown);
        CHECK(PumpUntil([&] { return !heard.empty(); }, 10000));
        REQUIRE(heard.size() == 1);
        CHECK(heard.front().find(row.escaped) != std::string::npos);
        // Her window lives on and is hers: the error did not cross Windows' dispatch.
        CHECK(IsWindow(shown.window));
    }
}
