#include "platform/sim/sim_toolkit.h"

#include "basic/basic_error.h"

namespace zinna::sim {

SimToolkit::SimToolkit(SimScreen screen, std::uint32_t seed, std::vector<float> firstRandomNumbers, VirtualClock& clock,
                       Trace& trace, ControlFactory controlFactory)
    : CoreToolkit(clock),
      screen_(screen),
      seed_(seed),
      random_(std::move(firstRandomNumbers)),
      trace_(trace),
      controlFactory_(std::move(controlFactory)) {
    core_.SetPlatformStop([this](EndReason reason) {
        trace_.Record("end", {{"reason", std::string(EndReasonName(reason))}});
    });
}

void SimToolkit::SetTimer1Interval(basic::Long intervalMs, TimerEvents& handler) {
    trace_.Record("timer", {{"interval", std::int64_t{intervalMs}}});
    core_.SetTimer1Interval(intervalMs, handler);
}

void SimToolkit::MsgBox(const std::string& prompt) {
    trace_.Record("msgbox", {{"text", prompt}, {"caption", AppTitle()}});
    if (messageBoxHandler_) messageBoxHandler_();
}

void SimToolkit::Randomize() {
    trace_.Record("randomize", {{"seed", std::int64_t{seed_}}});
    random_.Randomize(seed_);
}

std::unique_ptr<AgentControl> SimToolkit::CreateObject(const std::string& progId, AgentEvents& events) {
    trace_.Record("create", {{"progid", progId}});
    if (progId != "Agent.Control.2" || !controlFactory_)
        throw basic::BasicError(basic::kErrCannotCreateObject, "ActiveX component can't create object");
    return controlFactory_(events);
}

}  // namespace zinna::sim
