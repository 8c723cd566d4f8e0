// Records every call the program makes on a character control, and every event the control
// raises, in the trace; and makes the control reject the calls a test asks to fail. Works around
// any control: the simulated one and the built-in character host alike.
#pragma once

#include "boundary/agent_control.h"
#include "platform/sim/trace.h"

#include <map>
#include <memory>
#include <string>

namespace zinna::sim {

// Which calls the control rejects: every call of an operation, or only its Nth call (from 1).
class FailurePlan {
public:
    void FailEvery(const std::string& op) { rules_[op] = 0; }
    void FailNth(const std::string& op, int nth) { rules_[op] = nth; }
    // Counts the call and says whether it fails.
    bool ShouldFail(const std::string& op);

private:
    std::map<std::string, int> rules_;  // op -> 0 (every call) or the call number that fails
    std::map<std::string, int> calls_;
};

// The events reaching the program, recorded on their way.
class TracedEvents final : public AgentEvents {
public:
    TracedEvents(Trace& trace, AgentEvents& program) : trace_(trace), program_(program) {}

    void Command(const std::string& name) override;
    void DblClick(const std::string& characterId, basic::Integer button, basic::Integer shift, basic::Integer x,
                  basic::Integer y) override;
    void DragStart(const std::string& characterId, basic::Integer button, basic::Integer shift, basic::Integer x,
                   basic::Integer y) override;
    void DragComplete(const std::string& characterId, basic::Integer button, basic::Integer shift, basic::Integer x,
                      basic::Integer y) override;
    void RequestStart(RequestId request) override;
    void RequestComplete(RequestId request) override;
    void IdleStart(const std::string& characterId) override;

private:
    Trace& trace_;
    AgentEvents& program_;
};

class TracedControl final : public AgentControl {
public:
    TracedControl(std::unique_ptr<AgentControl> inner, Trace& trace, std::shared_ptr<FailurePlan> failures);
    ~TracedControl() override;

    void SetConnected(basic::Boolean connected) override;
    RequestId CharactersLoad(const std::string& characterId, const std::string& path) override;
    AgentCharacter& Characters(const std::string& characterId) override;

private:
    class TracedCharacter;
    std::unique_ptr<AgentControl> inner_;
    Trace& trace_;
    std::shared_ptr<FailurePlan> failures_;
    std::map<AgentCharacter*, std::unique_ptr<TracedCharacter>> characters_;
};

}  // namespace zinna::sim
