// The character control on Linux: Zinna's built-in host on the loop's real time, with PulseAudio's
// sound and her windows on the X screen.
#pragma once

#include "boundary/agent_control.h"
#include "stage/host/stage_control.h"

#include "platform/linux/x11/event_loop.h"
#include "platform/linux/x11/pulse_sound.h"
#include "platform/linux/x11/stage_windows.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zinna::x11 {

// The host's settings for this screen. scale is the display's (Xft.dpi / 96).
stage::StageSettings SettingsForScreen(const XConnection& x, double scale);

class HostedAgentControl final : public AgentControl {
public:
    // firstFrame (may be empty) is called once, when her first frame has been sent to the screen.
    HostedAgentControl(EventLoop& loop, AgentEvents& events, stage::CharacterFileSource files,
                       std::function<void()> firstFrame);
    ~HostedAgentControl() override;

    void SetConnected(basic::Boolean connected) override { control_.SetConnected(connected); }
    // Loads the character and, for the first one, makes her windows.
    RequestId CharactersLoad(const std::string& characterId, const std::string& path) override;
    AgentCharacter& Characters(const std::string& characterId) override { return control_.Characters(characterId); }

    // Her windows, once a character is loaded.
    const StageWindows* Windows() const { return windows_.get(); }
    stage::StageControl& Host() { return control_; }

private:
    EventLoop& loop_;
    PulseSoundOutput sound_;
    stage::StageControl control_;
    std::function<void()> firstFrame_;
    std::unique_ptr<StageWindows> windows_;
};

// The whole file at a path; throws std::runtime_error when it cannot be read.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

}  // namespace zinna::x11
