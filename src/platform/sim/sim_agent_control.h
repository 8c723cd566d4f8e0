// A simulated character control for tests: it loads a character when its data file exists on the
// simulated desktop, queues each request and plays them one after another on the virtual clock
// with a simple timing model, raises RequestStart and RequestComplete, empties the queue on Stop,
// and takes the user's actions (a menu command, a double-click, a drag and drop) as the real
// control would deliver them.
#pragma once

#include "boundary/agent_control.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/virtual_clock.h"

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace zinna::sim {

struct SimCharacterConfig {
    int width = 128;
    int height = 128;
};

// How long the simulated control takes for a request, in milliseconds.
struct SimTiming {
    static std::int64_t ShowOrHide(bool changesVisibility) { return changesVisibility ? 500 : 0; }
    // Placed at once while hidden or at speed 0; otherwise max(|dx|, |dy|, 10) x speed / 500.
    static std::int64_t Move(int dx, int dy, int speed, bool visible);
    static std::int64_t Play(const std::string& animation);
    static std::int64_t Speak(const std::string& text);
};

inline constexpr int kDefaultMoveSpeed = 1000;

class SimAgentControl final : public AgentControl, private AgentCharacter {
public:
    SimAgentControl(VirtualClock& clock, const SimDesktop& files, AgentEvents& events, SimCharacterConfig character);
    ~SimAgentControl() override;

    void SetConnected(basic::Boolean connected) override;
    RequestId CharactersLoad(const std::string& characterId, const std::string& path) override;
    AgentCharacter& Characters(const std::string& characterId) override;

    // --- The user's actions ---
    void UserChoosesCommand(const std::string& name);
    void UserDoubleClicks();
    void UserDragsTo(int x, int y);

    // --- What the character looks like now ---
    bool Visible() const { return visible_; }
    int X() const { return x_; }
    int Y() const { return y_; }
    std::size_t Queued() const { return queue_.size() + (current_ ? 1 : 0); }
    basic::Boolean SoundEffects() const { return soundEffectsOn_; }
    basic::Long BalloonFontSize() const { return balloonFontSize_; }
    const std::vector<std::pair<std::string, std::string>>& Commands() const { return commands_; }

private:
    enum class Kind { Show, Hide, Move, Play, Speak };
    struct Request {
        RequestId id = 0;
        Kind kind = Kind::Play;
        int x = 0, y = 0, speed = kDefaultMoveSpeed;
        std::string text;  // the animation played or the text spoken

        static Request Of(Kind kind) {
            Request request;
            request.kind = kind;
            return request;
        }
    };

    // AgentCharacter
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

    RequestId Queue(Request request);
    void SchedulePump();
    void Pump();
    void Finish();
    std::int64_t DurationOf(const Request& request) const;

    VirtualClock& clock_;
    const SimDesktop& files_;
    AgentEvents& events_;
    SimCharacterConfig config_;

    bool loaded_ = false;
    std::string characterId_;
    RequestId nextRequest_ = 1;
    std::deque<Request> queue_;
    std::optional<Request> current_;
    std::optional<ClockTimerId> currentTimer_;
    std::optional<ClockTimerId> pumpTimer_;
    std::int64_t currentStartMs_ = 0;
    int moveFromX_ = 0, moveFromY_ = 0;

    bool visible_ = false;
    int x_ = 0, y_ = 0;
    basic::Boolean idleOn_ = basic::True;
    basic::Boolean soundEffectsOn_ = basic::False;
    basic::Long balloonFontSize_ = 10;
    std::vector<std::pair<std::string, std::string>> commands_;
};

}  // namespace zinna::sim
