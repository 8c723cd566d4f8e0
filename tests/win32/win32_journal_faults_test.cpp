// The restore journal on Windows when a run is killed or the desktop refuses, against Wine's real
// registry, system colours, wallpaper call and file system: the unchanged program (its start-up and
// its Quit, on a simulated clock and character control) talks to the real Windows layer through a
// switch that kills the process at the n-th desktop call, or makes one call of the restore fail.
// The next start (a new journal over the real Windows layer) must then give the user's desktop back.
#include "platform/win32/windows_api.h"

#include "lifecycle/program_constants.h"
#include "lifecycle/zinna_form.h"
#include "platform/core/toolkit_core.h"
#include "platform/journal/journaling_module.h"
#include "platform/journal/restore_journal.h"
#include "platform/sim/sim_agent_control.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_toolkit.h"
#include "platform/sim/trace.h"
#include "platform/sim/virtual_clock.h"
#include "platform/win32/win32_journal.h"
#include "platform/win32/win32_module.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using namespace zinna;
namespace fs = std::filesystem;

namespace {

constexpr const wchar_t* kDesktopKey = L"Control Panel\\Desktop";
const std::wstring kUserWallpaper = L"C:\\Users\\Zo\u00EB\\Pictures\\mine.bmp";

std::optional<std::wstring> ReadValue(const wchar_t* name) {
    wchar_t data[1024] = {};
    DWORD size = sizeof(data);
    if (RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(data);
}

void WriteValue(const wchar_t* name, const std::optional<std::wstring>& text) {
    HKEY key = nullptr;
    REQUIRE(RegCreateKeyW(HKEY_CURRENT_USER, kDesktopKey, &key) == ERROR_SUCCESS);
    if (text)
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text->c_str()),
                       static_cast<DWORD>((text->size() + 1) * sizeof(wchar_t)));
    else
        RegDeleteValueW(key, name);
    RegCloseKey(key);
}

struct Desktop {
    std::optional<std::wstring> wallpaper, tile, style;
    COLORREF colour = 0;
    bool operator==(const Desktop&) const = default;
};

Desktop ReadDesktop() {
    return {ReadValue(L"Wallpaper"), ReadValue(L"TileWallpaper"), ReadValue(L"WallpaperStyle"),
            GetSysColor(COLOR_DESKTOP)};
}

std::string Describe(const Desktop& desktop) {
    auto text = [](const std::optional<std::wstring>& value) {
        return value ? std::string(value->begin(), value->end()) : std::string("<missing>");
    };
    return text(desktop.wallpaper) + " tile=" + text(desktop.tile) + " style=" + text(desktop.style) +
           " colour=" + std::to_string(desktop.colour);
}

// The user's own desktop: a picture, tiled, no style value, teal.
Desktop SetUserDesktop() {
    WriteValue(L"Wallpaper", kUserWallpaper);
    WriteValue(L"TileWallpaper", L"1");
    WriteValue(L"WallpaperStyle", std::nullopt);
    const int element = COLOR_DESKTOP;
    const COLORREF teal = RGB(0, 128, 128);
    SetSysColors(1, &element, &teal);
    return ReadDesktop();
}

// The real Windows layer behind a switch: the process dies at the killAt-th call (counted from 1),
// or the failAt-th call fails as Windows would report it.
class SwitchedModule final : public ZinnaModule {
public:
    explicit SwitchedModule(ZinnaModule& real) : real_(real) {}
    std::optional<int> killAt;
    std::optional<int> failAt;
    int calls = 0;
    std::vector<std::string> log;  // every call counted, by name

    std::int32_t RegOpenKeyA(RegistryKey key, const std::string& subKey, RegistryKey* result) override {
        return Step("RegOpenKeyA") ? real_.RegOpenKeyA(key, subKey, result) : kAccessDenied;
    }
    std::int32_t RegOpenKeyExA(RegistryKey key, const std::string& subKey, std::uint32_t options, std::uint32_t sam,
                               RegistryKey* result) override {
        return Step("RegOpenKeyExA") ? real_.RegOpenKeyExA(key, subKey, options, sam, result) : kAccessDenied;
    }
    std::int32_t RegQueryValueExA(RegistryKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                                  std::uint32_t* size) override {
        return Step("RegQueryValueExA") ? real_.RegQueryValueExA(key, name, type, data, size) : kAccessDenied;
    }
    std::int32_t RegSetValueExA(RegistryKey key, const std::string& name, std::uint32_t reserved, std::uint32_t type,
                                const std::uint8_t* data, std::uint32_t size) override {
        return Step("RegSetValueExA") ? real_.RegSetValueExA(key, name, reserved, type, data, size) : kAccessDenied;
    }
    std::int32_t RegDeleteValueA(RegistryKey key, const std::string& name) override {
        return Step("RegDeleteValueA") ? real_.RegDeleteValueA(key, name) : kAccessDenied;
    }
    std::int32_t RegFlushKey(RegistryKey key) override {
        return Step("RegFlushKey") ? real_.RegFlushKey(key) : kAccessDenied;
    }
    std::int32_t RegCloseKey(RegistryKey key) override { return real_.RegCloseKey(key); }
    std::uint32_t GetSysColor(int index) override { return real_.GetSysColor(index); }
    bool SetSysColors(int count, const int* elements, const std::uint32_t* colors) override {
        return Step("SetSysColors") && real_.SetSysColors(count, elements, colors);
    }
    bool SystemParametersInfoA(std::uint32_t action, std::uint32_t ui, const std::string& path,
                               std::uint32_t winIni) override {
        return Step("SystemParametersInfoA") && real_.SystemParametersInfoA(action, ui, path, winIni);
    }
    WindowHandle FindWindowA(const char* className, const char* windowName) override {
        return real_.FindWindowA(className, windowName);
    }
    bool GetWindowRect(WindowHandle window, Rect* rect) override { return real_.GetWindowRect(window, rect); }
    void keybd_event(std::uint8_t, std::uint8_t, std::uint32_t, std::uintptr_t) override {}  // no keys to the test
    std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) override {
        return real_.GetWindowsDirectoryA(buffer, size);
    }
    std::intptr_t ShellExecuteA(WindowHandle, const std::string&, const std::string&, const std::string&,
                                const std::string&, int) override {
        return 33;
    }

private:
    static constexpr std::int32_t kAccessDenied = 5;
    // Counts a call that reads or changes the desktop; false when it is to fail.
    bool Step(const char* name) {
        ++calls;
        log.emplace_back(name);
        if (killAt && calls == *killAt) throw platform::ProcessKilled{};
        return !(failAt && calls == *failAt);
    }
    ZinnaModule& real_;
};

// Where this test keeps its journal: a folder of its own under the temporary folder.
fs::path JournalPath() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return fs::path(temp) / (L"zinna-journal-faults-" + std::to_wstring(GetCurrentProcessId())) / L"Zinna" /
           L"restore.journal";
}

const journal::ProgramDesktop kProgram{kDesktopKeyPath, kWallpaperFile};

// One start of zinna.exe's journal and program over the module: the recovery first, then, unless
// recoverOnly, the program's start-up and its Quit. Returns whether the process was killed.
struct Start {
    win32::Win32Module real;
    SwitchedModule module{real};
    std::unique_ptr<journal::JournalFile> file = journal::OpenJournalFile(JournalPath());
    std::vector<journal::JournalNotice> notices;
    journal::RestoreJournal journal{
        *file,
        module,
        win32::CurrentDesktopName(),
        kProgram,
        [this] { return journal::ReadDesktopThrough(real, win32::CurrentDesktopName(), kProgram); },
        [this](const journal::JournalNotice& notice) { notices.push_back(notice); }};
    std::optional<journal::Recovery> recovery;

    bool Run(bool recoverOnly) {
        try {
            recovery = journal.Recover();
            if (recoverOnly) return false;
            journal::JournalingModule journaling(module, journal);
            sim::VirtualClock clock;
            sim::Trace trace(clock);
            sim::SimDesktop files(sim::SimDesktopConfig{}, trace);
            sim::SimAgentControl* control = nullptr;
            sim::SimToolkit toolkit(sim::SimScreen{}, 1, {}, clock, trace, [&](AgentEvents& events) {
                auto made = std::make_unique<sim::SimAgentControl>(clock, files, events, sim::SimCharacterConfig{});
                control = made.get();
                return made;
            });
            ZinnaForm form(toolkit, journaling);
            toolkit.SetEndHandler([this](EndReason) { journal.ProgramEnded(); });
            toolkit.SetDesktopRescue([&form] { form.Dispatch().EndAfterEscapedError(); });
            form.Dispatch().Start();
            clock.RunUntil(60000, [&] { return toolkit.EndedWith().has_value(); });
            REQUIRE(control != nullptr);
            control->UserChoosesCommand("Quit");
            clock.RunUntil(120000, [&] { return toolkit.EndedWith().has_value(); });
            CHECK(toolkit.EndedWith() == std::optional<EndReason>(EndReason::Quit));
            return false;
        } catch (const platform::ProcessKilled&) {
            return true;
        }
    }
};

}  // namespace

TEST_CASE("killed at any desktop call of her start-up or Quit, the next start gives the user's desktop back") {
    std::error_code ignored;
    fs::remove_all(JournalPath().parent_path().parent_path(), ignored);
    int killPoints = 0;
    for (int killAt = 1; killAt < 200; ++killAt) {
        CAPTURE(killAt);
        const Desktop before = SetUserDesktop();
        Start first;
        first.module.killAt = killAt;
        if (!first.Run(false)) {
            // Beyond her last call: the run ended in order, with the desktop back and no journal.
            CHECK(ReadDesktop() == before);
            CHECK_FALSE(fs::exists(JournalPath()));
            break;
        }
        ++killPoints;
        Start next;
        REQUIRE_FALSE(next.Run(true));
        const Desktop after = ReadDesktop();
        CAPTURE(Describe(after));
        CHECK(after == before);
        CHECK_FALSE(fs::exists(JournalPath()));
        CHECK(next.notices.size() <= 1);
    }
    MESSAGE("kill points: ", killPoints);
    CHECK(killPoints >= 8);  // reads, the journal, the colour, three values, the wallpaper, and the Quit's
    fs::remove_all(JournalPath().parent_path().parent_path(), ignored);
}

TEST_CASE("a restore whose call fails keeps the journal, says so, and the next start finishes it") {
    std::error_code ignored;
    fs::remove_all(JournalPath().parent_path().parent_path(), ignored);
    // Where her Quit starts: the second colour change of a whole run (the first is her start-up's).
    SetUserDesktop();
    Start counting;
    REQUIRE_FALSE(counting.Run(false));
    const auto& log = counting.module.log;
    const auto first = std::find(log.begin(), log.end(), "SetSysColors");
    REQUIRE(first != log.end());
    const auto second = std::find(first + 1, log.end(), "SetSysColors");
    REQUIRE(second != log.end());
    const int quitStarts = static_cast<int>(second - log.begin()) + 1;
    int failures = 0;
    for (int failAt = 1; failAt < 50; ++failAt) {
        CAPTURE(failAt);
        const Desktop before = SetUserDesktop();
        // A run killed at her Quit's first change: the journal is there and the desktop wears her look.
        Start killed;
        killed.module.killAt = quitStarts;
        REQUIRE(killed.Run(false));
        REQUIRE(fs::exists(JournalPath()));
        Start faulty;
        faulty.module.failAt = failAt;
        faulty.Run(true);
        if (faulty.module.calls < failAt) {
            // No call left to fail: the restore went through.
            CHECK(faulty.recovery == std::optional<journal::Recovery>(journal::Recovery::Restored));
            CHECK(ReadDesktop() == before);
            break;
        }
        ++failures;
        const bool restored = faulty.recovery == std::optional<journal::Recovery>(journal::Recovery::Restored);
        CAPTURE(Describe(ReadDesktop()));
        CHECK(faulty.notices.size() == 1);
        if (!restored) {
            // Kept for later (or set aside when it could not be judged), and said so.
            CHECK((fs::exists(JournalPath()) || faulty.recovery == journal::Recovery::SetAside));
            CHECK(faulty.notices.front().kind != journal::JournalNotice::Kind::Restored);
        }
        Start again;
        again.Run(true);
        CHECK(ReadDesktop() == before);
        CHECK_FALSE(fs::exists(JournalPath()));
    }
    MESSAGE("failing calls: ", failures);
    CHECK(failures >= 5);
    fs::remove_all(JournalPath().parent_path().parent_path(), ignored);
}
