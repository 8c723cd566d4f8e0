// The built-in character host under the character control's contract, on a virtual clock, with
// the test character (Blink: three frames and a return animation).
#include "contract/agent_control_contract.h"

#include "host_test_character.h"
#include "platform/sim/virtual_clock.h"
#include "stage/host/stage_control.h"

#include <doctest/doctest.h>

#include <stdexcept>

namespace {

using namespace zinna;

struct Silence final : stage::SoundOutput {
    void Play(std::span<const std::uint8_t>) override {}
};

class HostControl final : public contract::ControlUnderContract {
public:
    explicit HostControl(AgentEvents& events) : control_(clock_, events, silence_, &ReadFile, stage::StageSettings{}) {}

    AgentControl& Control() override { return control_; }
    void RunFor(std::int64_t ms) override { clock_.RunUntil(clock_.NowMs() + ms, {}); }
    std::int64_t NowMs() override { return clock_.NowMs(); }
    bool Visible() override { return Character().Visible(); }
    std::pair<int, int> Position() override { return {Character().X(), Character().Y()}; }
    void UserChoosesCommand(const std::string& name) override { Character().ChooseCommand(name); }
    // The pointer's messages of a double-click, at the frame's centre.
    void UserDoubleClicks() override {
        const auto [x, y] = Centre();
        stage::PointerInput& pointer = Character().Pointer();
        pointer.Press(stage::PointerButton::Left, x, y, Character().X(), Character().Y());
        pointer.Release(stage::PointerButton::Left, x, y);
        pointer.DoubleClick(stage::PointerButton::Left, x, y);
        pointer.Release(stage::PointerButton::Left, x, y);
    }
    void UserDragsTo(int frameX, int frameY) override {
        const auto [x, y] = Centre();
        const int toX = frameX + (x - Character().X()), toY = frameY + (y - Character().Y());
        stage::PointerInput& pointer = Character().Pointer();
        pointer.Press(stage::PointerButton::Left, x, y, Character().X(), Character().Y());
        pointer.Move(toX, toY);
        pointer.Release(stage::PointerButton::Left, toX, toY);
    }

private:
    static std::vector<std::uint8_t> ReadFile(const std::string& path) {
        if (path != "C:\\WINDOWS\\zinna.acs") throw std::runtime_error("no such file");
        return testing::HostTestCharacterFile();
    }
    stage::StageCharacter& Character() {
        REQUIRE(control_.Loaded() != nullptr);
        return *control_.Loaded();
    }
    std::pair<int, int> Centre() {
        return {Character().X() + Character().FrameWidth() / 2, Character().Y() + Character().FrameHeight() / 2};
    }

    sim::VirtualClock clock_;
    Silence silence_;
    stage::StageControl control_;
};

}  // namespace

ZINNA_AGENT_CONTROL_CONTRACT(zinna::contract::AgentControlRegistration{
    "the built-in character host",
    [](zinna::AgentEvents& events) { return std::make_unique<HostControl>(events); },
    {},
})
