// The installed character control, driven through COM by late binding: every call names its member
// and goes through IDispatch, and the control's events reach the program through a connection point.
#pragma once

#include "platform/win32/windows_api.h"
#include <ocidl.h>

#include "boundary/agent_control.h"
#include "platform/win32/com_ptr.h"
#include "platform/win32/ui_thread_queue.h"

#include <map>
#include <memory>
#include <string>

namespace zinna::win32 {

class AgentEventSink;

class AgentComCharacter final : public AgentCharacter {
public:
    explicit AgentComCharacter(ComPtr<IDispatch> character) : character_(std::move(character)) {}
    void Rebind(ComPtr<IDispatch> character) { character_ = std::move(character); }

    RequestId Hide() override;
    RequestId Show() override;
    RequestId MoveTo(basic::Integer x, basic::Integer y, std::optional<basic::Integer> speed) override;
    RequestId Play(const std::string& animation) override;
    RequestId Speak(const std::string& text) override;
    void Stop() override;
    basic::Integer Width() override;
    basic::Integer Height() override;
    void SetIdleOn(basic::Boolean on) override;
    basic::Boolean SoundEffectsOn() override;
    void SetSoundEffectsOn(basic::Boolean on) override;
    void SetBalloonFontSize(basic::Long points) override;
    void CommandsAdd(const std::string& name, const std::string& caption) override;

private:
    ComPtr<IDispatch> character_;
};

class AgentComControl final : public AgentControl {
public:
    // Drives the given control object and connects its events to the handler, through the queue.
    AgentComControl(ComPtr<IDispatch> control, AgentEvents& events, UiThreadQueue& queue);
    ~AgentComControl() override;
    AgentComControl(const AgentComControl&) = delete;
    AgentComControl& operator=(const AgentComControl&) = delete;

    void SetConnected(basic::Boolean connected) override;
    RequestId CharactersLoad(const std::string& characterId, const std::string& path) override;
    AgentCharacter& Characters(const std::string& characterId) override;

    // Whether the control accepted the event sink.
    bool EventsConnected() const { return static_cast<bool>(connectionPoint_); }

private:
    ComPtr<IDispatch> control_;
    ComPtr<IConnectionPoint> connectionPoint_;
    DWORD adviseCookie_ = 0;
    std::map<std::string, std::unique_ptr<AgentComCharacter>> characters_;
};

// Creates the object registered under progId (CLSIDFromProgID, CoCreateInstance). Raises error 429
// when no such object is registered or it cannot be created.
std::unique_ptr<AgentControl> CreateAgentControl(const std::string& progId, AgentEvents& events, UiThreadQueue& queue);

}  // namespace zinna::win32
