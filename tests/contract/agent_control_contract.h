// The contract of the character control: what every implementation of AgentControl shares (request
// ids, the queue's order, Stop, Show and Hide, the move timing rule, the events), written once as a
// table of cases (agent_control_contract.cpp) and run against each implementation from that source.
//
// An implementation joins by one registration file of its own (see sim_control_registration.cpp):
// a factory giving a fresh, connected control with nothing loaded, wired to the contract's event
// recorder, plus the cases where it differs on purpose, one line each.
#pragma once

#include "boundary/agent_control.h"
#include "contract/zinna_module_contract.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zinna::contract {

// A control under the contract, with what the cases need around it: time, the character's look as
// the control sees it, and a user.
class ControlUnderContract {
public:
    virtual ~ControlUnderContract() = default;
    virtual AgentControl& Control() = 0;
    virtual std::string LoadablePath() { return "C:\\WINDOWS\\zinna.acs"; }  // a character file that loads
    virtual std::string MissingPath() { return "C:\\WINDOWS\\nobody.acs"; }  // a path where no file is
    // An animation the loaded character has, a few frames long.
    virtual std::string Animation() { return "Blink"; }
    // Lets the control's time pass (and posted events arrive); everything due by then has happened.
    virtual void RunFor(std::int64_t ms) = 0;
    virtual std::int64_t NowMs() = 0;
    virtual bool Visible() = 0;
    virtual std::pair<int, int> Position() = 0;  // the frame's top-left corner
    // The user's actions on the loaded character.
    virtual void UserChoosesCommand(const std::string& name) = 0;
    virtual void UserDoubleClicks() = 0;
    virtual void UserDragsTo(int frameX, int frameY) = 0;
};

// The events as the program receives them, one line each: "start 3 @500", "complete 3 @1000",
// "Command Dance", "DblClick zinna", "DragStart zinna", "DragComplete zinna", "IdleStart zinna".
class RecordedEvents final : public AgentEvents {
public:
    explicit RecordedEvents(std::function<std::int64_t()> now) : now_(std::move(now)) {}
    std::vector<std::string> lines;

    void Command(const std::string& name) override { lines.push_back("Command " + name); }
    void DblClick(const std::string& id, basic::Integer, basic::Integer, basic::Integer, basic::Integer) override {
        lines.push_back("DblClick " + id);
    }
    void DragStart(const std::string& id, basic::Integer, basic::Integer, basic::Integer, basic::Integer) override {
        lines.push_back("DragStart " + id);
    }
    void DragComplete(const std::string& id, basic::Integer, basic::Integer, basic::Integer, basic::Integer) override {
        lines.push_back("DragComplete " + id);
    }
    void RequestStart(RequestId request) override { Timed("start", request); }
    void RequestComplete(RequestId request) override { Timed("complete", request); }
    void IdleStart(const std::string& id) override { lines.push_back("IdleStart " + id); }

private:
    void Timed(const char* what, RequestId request) {
        lines.push_back(std::string(what) + " " + std::to_string(request) + " @" + std::to_string(now_()));
    }
    std::function<std::int64_t()> now_;
};

struct AgentControlRegistration {
    std::string implementation;
    // A fresh control for each case, its events going to the given recorder; the recorder's clock
    // is set by the runner to the control's NowMs.
    std::function<std::unique_ptr<ControlUnderContract>(AgentEvents& events)> makeFresh;
    std::vector<KnownDifference> differences;
};

void RunAgentControlContract(const AgentControlRegistration& registration);

}  // namespace zinna::contract

#define ZINNA_AGENT_CONTROL_CONTRACT(...) \
    TEST_CASE("character control contract") { ::zinna::contract::RunAgentControlContract(__VA_ARGS__); }
