// The character control as the program uses it: calls go in, events come out. Implemented by the
// installed control through COM, by the built-in character host, and by the simulated control.
//
// Every call that makes the character act queues a request and returns its id at once; the control
// plays one character's requests in the order queued. A failing call raises basic::BasicError with
// the control's error code.
#pragma once

#include "basic/numeric.h"

#include <cstdint>
#include <optional>
#include <string>

namespace zinna {

using RequestId = std::int32_t;

class AgentCharacter {
public:
    virtual ~AgentCharacter() = default;

    virtual RequestId Hide() = 0;  // "fast" omitted
    virtual RequestId Show() = 0;  // "fast" omitted
    // Moves the frame's top-left corner to (x, y) in screen pixels; no speed means the default.
    virtual RequestId MoveTo(basic::Integer x, basic::Integer y, std::optional<basic::Integer> speed) = 0;
    virtual RequestId Play(const std::string& animation) = 0;
    virtual RequestId Speak(const std::string& text) = 0;  // URL omitted
    // Ends the current request and removes every queued one.
    virtual void Stop() = 0;

    virtual basic::Integer Width() = 0;  // pixels of the frame
    virtual basic::Integer Height() = 0;
    virtual void SetIdleOn(basic::Boolean on) = 0;
    virtual basic::Boolean SoundEffectsOn() = 0;
    virtual void SetSoundEffectsOn(basic::Boolean on) = 0;
    virtual void SetBalloonFontSize(basic::Long points) = 0;
    // Adds a command to the character's pop-up menu; voice, enabled and visible keep their defaults.
    virtual void CommandsAdd(const std::string& name, const std::string& caption) = 0;
};

class AgentControl {
public:
    virtual ~AgentControl() = default;

    virtual void SetConnected(basic::Boolean connected) = 0;
    // Raises an error when the character's data file is missing, unreadable or malformed.
    virtual RequestId CharactersLoad(const std::string& characterId, const std::string& path) = 0;
    // The loaded character; it lives as long as the control.
    virtual AgentCharacter& Characters(const std::string& characterId) = 0;
};

// The control's events, as the program receives them. The control calls these only on the program's
// one thread, never from inside a call the program made to it.
class AgentEvents {
public:
    virtual ~AgentEvents() = default;

    virtual void Command(const std::string& name) = 0;
    virtual void DblClick(const std::string& characterId, basic::Integer button, basic::Integer shift, basic::Integer x,
                          basic::Integer y) = 0;
    virtual void DragStart(const std::string& characterId, basic::Integer button, basic::Integer shift,
                           basic::Integer x, basic::Integer y) = 0;
    virtual void DragComplete(const std::string& characterId, basic::Integer button, basic::Integer shift,
                              basic::Integer x, basic::Integer y) = 0;
    virtual void RequestStart(RequestId request) = 0;
    virtual void RequestComplete(RequestId request) = 0;
    virtual void IdleStart(const std::string& characterId) = 0;
};

}  // namespace zinna
