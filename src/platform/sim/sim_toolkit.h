// The window toolkit on the simulated desktop: a screen of a given size and DPI (at 96 DPI, 15
// layout units per pixel), Timer1 on the virtual clock, a message box the user answers with OK, and
// the program's end.
#pragma once

#include "boundary/window_toolkit.h"
#include "platform/core/toolkit_core.h"
#include "platform/layout_units.h"
#include "platform/sim/scripted_random.h"
#include "platform/sim/trace.h"
#include "platform/sim/virtual_clock.h"

#include <functional>
#include <optional>

namespace zinna::sim {

struct SimScreen {
    int widthPixels = 1024;
    int heightPixels = 768;
    int dpi = kDefaultDpi;  // the display's dots per inch: 96 is 100 % scaling, 192 is 200 %
};

class SimToolkit final : public platform::CoreToolkit {
public:
    using ControlFactory = std::function<std::unique_ptr<AgentControl>(AgentEvents&)>;

    SimToolkit(SimScreen screen, std::uint32_t seed, std::vector<float> firstRandomNumbers, VirtualClock& clock,
               Trace& trace, ControlFactory controlFactory);

    double ScreenWidth() override { return ScreenTwips(screen_.widthPixels, screen_.dpi); }
    double ScreenHeight() override { return ScreenTwips(screen_.heightPixels, screen_.dpi); }
    double TwipsPerPixelX() override { return TwipsPerPixelAt(screen_.dpi); }
    double TwipsPerPixelY() override { return TwipsPerPixelAt(screen_.dpi); }
    void SetTimer1Interval(basic::Long intervalMs, TimerEvents& handler) override;
    void MsgBox(const std::string& prompt) override;
    std::string AppTitle() override { return "Zinna"; }
    std::string AppPath() override { return "C:\\Program Files\\Zinna"; }
    WindowHandle hWnd() override { return 0x00020010; }
    void Randomize() override;
    float Rnd() override { return random_.Rnd(); }
    std::unique_ptr<AgentControl> CreateObject(const std::string& progId, AgentEvents& events) override;

    // Called while a message box shows (the simulated user answers at once, unless a kill comes first).
    void SetMessageBoxHandler(std::function<void()> handler) { messageBoxHandler_ = std::move(handler); }

    // Runs work on the virtual clock after the caller returns, guarded as every handler is.
    void Post(std::function<void()> work) { core_.Post(std::move(work)); }
    // Runs a handler of the simulated world's own under the toolkit's guard.
    void Guard(const std::function<void()>& work) { core_.Guard(work); }

    bool Ended() const { return core_.Ended(); }
    std::optional<EndReason> EndedBecause() const { return core_.EndedWith(); }
    int ExitCode() const { return core_.ExitCode(); }
    std::size_t RandomDraws() const { return random_.Draws(); }

private:
    SimScreen screen_;
    std::uint32_t seed_;
    // Seeded from the run's seed, not the time of day: every run with the same seed is the same.
    ScriptedRandom random_;
    Trace& trace_;
    ControlFactory controlFactory_;
    std::function<void()> messageBoxHandler_;
};

}  // namespace zinna::sim
