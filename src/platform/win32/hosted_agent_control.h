// The character control where the old control is not installed: Zinna's built-in host, on real
// time, with Windows' sound and the character's own windows.
#pragma once

#include "platform/win32/windows_api.h"

#include "boundary/agent_control.h"
#include "platform/win32/stage_windows.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_sound.h"
#include "stage/host/stage_control.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zinna::win32 {

class HostedAgentControl final : public AgentControl {
public:
    // guard runs every callback of the host's clock (see Win32Clock); ownerWindow (may be null)
    // owns the character's windows.
    HostedAgentControl(HINSTANCE instance, AgentEvents& events, Win32Clock::Guard guard, HWND ownerWindow);
    ~HostedAgentControl() override;

    void SetConnected(basic::Boolean connected) override { control_.SetConnected(connected); }
    // Loads the character and, for the first one, makes her windows.
    RequestId CharactersLoad(const std::string& characterId, const std::string& path) override;
    AgentCharacter& Characters(const std::string& characterId) override { return control_.Characters(characterId); }

    // The character's windows, once a character is loaded.
    const StageWindows* Windows() const { return windows_.get(); }
    const Win32Clock& HostClock() const { return clock_; }

private:
    HINSTANCE instance_;
    HWND ownerWindow_;
    Win32Clock::Guard guard_;  // the clock's, also her windows'
    Win32Clock clock_;
    Win32SoundOutput sound_;
    stage::StageControl control_;
    std::unique_ptr<StageWindows> windows_;
};

// The whole file at a path given in UTF-8, read through the wide functions; throws
// std::runtime_error when it cannot be read.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

// Whether a COM class is registered under the ProgID, as the installed control would be.
bool ProgIdIsRegistered(const std::string& progId);

}  // namespace zinna::win32
