// The simulated character control under the character control's contract.
#include "contract/agent_control_contract.h"

#include "platform/sim/sim_agent_control.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/trace.h"
#include "platform/sim/virtual_clock.h"

#include <doctest/doctest.h>

namespace {

using namespace zinna;

class SimulatedControl final : public contract::ControlUnderContract {
public:
    explicit SimulatedControl(AgentEvents& events) : control_(clock_, desktop_, events, sim::SimCharacterConfig{}) {}

    AgentControl& Control() override { return control_; }
    void RunFor(std::int64_t ms) override { clock_.RunUntil(clock_.NowMs() + ms, {}); }
    std::int64_t NowMs() override { return clock_.NowMs(); }
    bool Visible() override { return control_.Visible(); }
    std::pair<int, int> Position() override { return {control_.X(), control_.Y()}; }
    void UserChoosesCommand(const std::string& name) override { control_.UserChoosesCommand(name); }
    void UserDoubleClicks() override { control_.UserDoubleClicks(); }
    void UserDragsTo(int frameX, int frameY) override { control_.UserDragsTo(frameX, frameY); }

private:
    sim::VirtualClock clock_;
    sim::Trace trace_{clock_};
    sim::SimDesktop desktop_{sim::SimDesktopConfig{}, trace_};  // holds the character's data file
    sim::SimAgentControl control_;
};

}  // namespace

ZINNA_AGENT_CONTROL_CONTRACT(zinna::contract::AgentControlRegistration{
    "the simulated control",
    [](zinna::AgentEvents& events) { return std::make_unique<SimulatedControl>(events); },
    {{"load-request", "the simulated control raises no events for the load; zinna-sim's trace has none"}},
})
