// An error that escapes every handler, the program's own report of it included: the desktop is
// given back when it can be (the end handler then hears the end, and the restore journal goes),
// and when it cannot, the program ends without the end handler so that the journal stays for the
// next start. The desktop here refuses the colour a given number of times, as a desktop whose
// settings service is gone may.
#include "lifecycle/zinna_form.h"
#include "platform/sim/sim_agent_control.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_toolkit.h"
#include "platform/sim/trace.h"
#include "platform/sim/virtual_clock.h"

#include <doctest/doctest.h>

#include <stdexcept>
#include <vector>

namespace {

using namespace zinna;

// The simulated desktop, refusing the first `refusals` colour changes with an exception.
class RefusingDesktop final : public ZinnaModule {
public:
    RefusingDesktop(ZinnaModule& desktop, int refusals) : desktop_(desktop), refusals_(refusals) {}

    std::int32_t RegOpenKeyA(RegistryKey key, const std::string& subKey, RegistryKey* result) override {
        return desktop_.RegOpenKeyA(key, subKey, result);
    }
    std::int32_t RegOpenKeyExA(RegistryKey key, const std::string& subKey, std::uint32_t options,
                               std::uint32_t samDesired, RegistryKey* result) override {
        return desktop_.RegOpenKeyExA(key, subKey, options, samDesired, result);
    }
    std::int32_t RegQueryValueExA(RegistryKey key, const std::string& valueName, std::uint32_t* type,
                                  std::uint8_t* data, std::uint32_t* dataSize) override {
        return desktop_.RegQueryValueExA(key, valueName, type, data, dataSize);
    }
    std::int32_t RegSetValueExA(RegistryKey key, const std::string& valueName, std::uint32_t reserved,
                                std::uint32_t type, const std::uint8_t* data, std::uint32_t dataSize) override {
        return desktop_.RegSetValueExA(key, valueName, reserved, type, data, dataSize);
    }
    std::int32_t RegDeleteValueA(RegistryKey key, const std::string& valueName) override {
        return desktop_.RegDeleteValueA(key, valueName);
    }
    std::int32_t RegFlushKey(RegistryKey key) override { return desktop_.RegFlushKey(key); }
    std::int32_t RegCloseKey(RegistryKey key) override { return desktop_.RegCloseKey(key); }
    std::uint32_t GetSysColor(int index) override { return desktop_.GetSysColor(index); }
    bool SetSysColors(int count, const int* elements, const std::uint32_t* colors) override {
        // Start-up's black goes through; the restores after it are refused.
        if (changes_++ > 0 && refusals_ > 0) {
            --refusals_;
            throw std::runtime_error("the desktop's settings service is gone");
        }
        return desktop_.SetSysColors(count, elements, colors);
    }
    bool SystemParametersInfoA(std::uint32_t action, std::uint32_t uiParam, const std::string& path,
                               std::uint32_t winIni) override {
        return desktop_.SystemParametersInfoA(action, uiParam, path, winIni);
    }
    WindowHandle FindWindowA(const char* className, const char* windowName) override {
        return desktop_.FindWindowA(className, windowName);
    }
    bool GetWindowRect(WindowHandle window, Rect* rect) override { return desktop_.GetWindowRect(window, rect); }
    void keybd_event(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                     std::uintptr_t extraInfo) override {
        desktop_.keybd_event(virtualKey, scanCode, flags, extraInfo);
    }
    std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) override {
        return desktop_.GetWindowsDirectoryA(buffer, size);
    }
    std::intptr_t ShellExecuteA(WindowHandle owner, const std::string& operation, const std::string& file,
                                const std::string& parameters, const std::string& directory, int showCommand) override {
        return desktop_.ShellExecuteA(owner, operation, file, parameters, directory, showCommand);
    }

private:
    ZinnaModule& desktop_;
    int refusals_;
    int changes_ = 0;
};

struct Program {
    explicit Program(int refusals) : refusing(desktop, refusals) {
        toolkit.SetEndHandler([this](EndReason reason) { heard.push_back(reason); });
        toolkit.SetDesktopRescue([this] { form.Dispatch().EndAfterEscapedError(); });
        toolkit.SetMessageBoxHandler([this] { ++messageBoxes; });
    }
    sim::VirtualClock clock;
    sim::Trace trace{clock};
    sim::SimDesktop desktop{sim::SimDesktopConfig{}, trace};
    RefusingDesktop refusing;
    sim::SimToolkit toolkit{sim::SimScreen{}, 1, {}, clock, trace, [this](AgentEvents& events) {
                                return std::make_unique<sim::SimAgentControl>(clock, desktop, events,
                                                                              sim::SimCharacterConfig{});
                            }};
    ZinnaForm form{toolkit, refusing};
    std::vector<EndReason> heard;
    int messageBoxes = 0;
};

}  // namespace

TEST_CASE("a quit whose restore fails: the desktop is given back when any try succeeds, else the journal stays") {
    const struct {
        int refusals;
        const char* what;
        int messageBoxes;
        bool givenBack;
    } kRows[] = {
        // The quit's restore fails; the error's report restores and says so.
        {1, "the report's restore succeeds", 1, true},
        // The report's restore fails too: that error escapes every handler; the rescue restores.
        {2, "the rescue's restore succeeds", 0, true},
        // Nothing can give the desktop back: the end handler must not hear the end.
        {3, "every restore fails", 0, false},
    };
    for (const auto& row : kRows) {
        INFO(std::string(row.what));
        Program program(row.refusals);
        program.toolkit.Guard([&] { program.form.Dispatch().Start(); });
        program.clock.RunUntil(2000, nullptr);
        REQUIRE_FALSE(program.toolkit.Ended());
        REQUIRE(program.desktop.DesktopColor() == 0);  // dressed in black

        program.toolkit.Guard([&] { program.form.Dispatch().Command("Quit"); });
        CHECK(program.toolkit.EndedBecause() == EndReason::Error);
        CHECK(program.toolkit.ExitCode() == 2);
        CHECK(program.messageBoxes == row.messageBoxes);
        CHECK(program.toolkit.EndedInOrder() == row.givenBack);
        CHECK(program.heard == (row.givenBack ? std::vector<EndReason>{EndReason::Error} : std::vector<EndReason>{}));
        CHECK((program.desktop.DesktopColor() == 0x00808000) == row.givenBack);
        // The wallpaper comes after the colour: an interrupted restore never reached it.
        CHECK((program.desktop.Text(sim::kDesktopKey, "Wallpaper") == "C:\\WINDOWS\\Clouds.bmp") == row.givenBack);
    }
}
