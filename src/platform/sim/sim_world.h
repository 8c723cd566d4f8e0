// The whole simulated run: the simulated desktop and toolkit, the simulated character control and
// the unchanged program, on one virtual clock, with the user's scripted actions.
#pragma once

#include "lifecycle/zinna_form.h"
#include "platform/sim/sim_agent_control.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_toolkit.h"
#include "platform/sim/trace.h"
#include "platform/sim/user_script.h"
#include "platform/sim/virtual_clock.h"

#include <memory>
#include <vector>

namespace zinna::sim {

struct SimConfig {
    SimScreen screen;
    SimDesktopConfig desktop;
    SimCharacterConfig character;
    std::uint32_t seed = 1;
    std::vector<float> firstRandomNumbers;
    std::shared_ptr<FailurePlan> failures = std::make_shared<FailurePlan>();
    std::vector<UserAction> script;
};

class SimWorld {
public:
    explicit SimWorld(SimConfig config);

    // Starts the program at t = 0 and runs until the program ends or the time is up. Ends with the
    // "end" event for a run whose time ran out, then the "state" of the desktop.
    void Run(std::int64_t durationMs);

    Trace& GetTrace() { return trace_; }
    SimDesktop& Desktop() { return desktop_; }
    SimToolkit& Toolkit() { return toolkit_; }
    ZinnaForm& Form() { return form_; }
    // The control the program created; null before start-up step 6 or when it failed.
    SimAgentControl* Control() { return control_; }
    VirtualClock& GetClock() { return clock_; }

private:
    void Perform(const UserAction& action);
    void RecordState();

    SimConfig config_;
    VirtualClock clock_;
    Trace trace_;
    SimDesktop desktop_;
    SimToolkit toolkit_;
    SimAgentControl* control_ = nullptr;
    ZinnaForm form_;
};

}  // namespace zinna::sim
