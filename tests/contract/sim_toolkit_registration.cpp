// The simulated window toolkit under the window toolkit's contract, on the virtual clock: the
// simulated user reads a message box while the clock runs on, as a modal loop lets time pass.
#include "contract/window_toolkit_contract.h"

#include "platform/sim/sim_toolkit.h"
#include "platform/sim/trace.h"
#include "platform/sim/virtual_clock.h"

#include <doctest/doctest.h>

namespace {

using namespace zinna;

class SimulatedToolkit final : public contract::ToolkitUnderContract {
public:
    explicit SimulatedToolkit(sim::SimScreen screen = {}) : toolkit_(screen, 1, {}, clock_, trace_, nullptr) {
        toolkit_.SetMessageBoxHandler([this] {
            if (!readMs_) return;
            const std::int64_t until = clock_.NowMs() + *readMs_;
            readMs_.reset();
            clock_.RunUntil(until, nullptr);
        });
    }

    WindowToolkit& Toolkit() override { return toolkit_; }
    std::int64_t NowMs() override { return clock_.NowMs(); }
    bool RunUntil(const std::function<bool()>& done, std::int64_t timeoutMs) override {
        clock_.RunUntil(clock_.NowMs() + timeoutMs, done);
        return done();
    }
    void Post(std::function<void()> work) override { toolkit_.Post(std::move(work)); }
    void AnswerNextMessageBox(std::int64_t readMs) override { readMs_ = readMs; }
    void SetEndHandler(std::function<void(EndReason)> handler) override { toolkit_.SetEndHandler(std::move(handler)); }
    void SetDesktopRescue(std::function<void()> rescue) override { toolkit_.SetDesktopRescue(std::move(rescue)); }
    std::optional<EndReason> EndedWith() override { return toolkit_.EndedBecause(); }
    // zinna-sim has no message loop: the exit code is the toolkit's.
    int RunMessageLoop() override { return toolkit_.ExitCode(); }

private:
    sim::VirtualClock clock_;
    sim::Trace trace_{clock_};
    sim::SimToolkit toolkit_;
    std::optional<std::int64_t> readMs_;
};

contract::ScreenReading ScreenAt(int dpi) {
    const sim::SimScreen screen{3840, 2160, dpi};
    SimulatedToolkit driver(screen);
    WindowToolkit& toolkit = driver.Toolkit();
    return {toolkit.TwipsPerPixelX(), toolkit.TwipsPerPixelY(), toolkit.ScreenWidth(),
            toolkit.ScreenHeight(),   screen.widthPixels,       screen.heightPixels};
}

}  // namespace

ZINNA_WINDOW_TOOLKIT_CONTRACT(zinna::contract::WindowToolkitRegistration{
    "the simulated toolkit",
    [] { return std::make_unique<SimulatedToolkit>(); },
    &ScreenAt,
    {},
})
