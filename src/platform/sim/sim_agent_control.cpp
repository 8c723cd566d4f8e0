#include "platform/sim/sim_agent_control.h"

#include "basic/basic_error.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace zinna::sim {

namespace {

constexpr std::uint32_t kErrorCharacterInvalid = basic::kControlErrCharacterInvalid;
constexpr std::uint32_t kErrorFileNotFound = basic::kControlErrFileNotFound;

}  // namespace

std::int64_t SimTiming::Move(int dx, int dy, int speed, bool visible) {
    if (!visible || speed == 0) return 0;
    std::int64_t distance = std::max({std::abs(dx), std::abs(dy), 10});
    return distance * speed / 500;
}

std::int64_t SimTiming::Play(const std::string& animation) {
    if (animation.rfind("Fly", 0) == 0) return 100;  // one wing beat between the flight's small moves
    if (animation == "Kiss") return 2000;
    if (animation == "Dance") return 1600;
    return 1000;
}

std::int64_t SimTiming::Speak(const std::string& text) {
    std::istringstream words(text);
    std::int64_t count = 0;
    for (std::string word; words >> word;) ++count;
    return 1000 + 300 * count;  // a readable pace
}

SimAgentControl::SimAgentControl(VirtualClock& clock, const SimDesktop& files, AgentEvents& events,
                                 SimCharacterConfig character)
    : clock_(clock), files_(files), events_(events), config_(character) {}

SimAgentControl::~SimAgentControl() {
    if (currentTimer_) clock_.Cancel(*currentTimer_);
    if (pumpTimer_) clock_.Cancel(*pumpTimer_);
}

void SimAgentControl::SetConnected(basic::Boolean) {}

RequestId SimAgentControl::CharactersLoad(const std::string& characterId, const std::string& path) {
    if (!files_.FileExists(path)) basic::RaiseControlError(kErrorFileNotFound, "The character data file is missing");
    loaded_ = true;
    characterId_ = characterId;
    return nextRequest_++;
}

AgentCharacter& SimAgentControl::Characters(const std::string& characterId) {
    if (!loaded_ || characterId != characterId_)
        basic::RaiseControlError(kErrorCharacterInvalid, "The character is not loaded");
    return *this;
}

// --- requests -------------------------------------------------------------------------------------

RequestId SimAgentControl::Queue(Request request) {
    request.id = nextRequest_++;
    queue_.push_back(std::move(request));
    SchedulePump();
    return queue_.back().id;
}

RequestId SimAgentControl::Hide() { return Queue(Request::Of(Kind::Hide)); }

RequestId SimAgentControl::Show() { return Queue(Request::Of(Kind::Show)); }

RequestId SimAgentControl::MoveTo(basic::Integer x, basic::Integer y, std::optional<basic::Integer> speed) {
    Request request = Request::Of(Kind::Move);
    request.x = x;
    request.y = y;
    request.speed = speed.value_or(kDefaultMoveSpeed);
    return Queue(std::move(request));
}

RequestId SimAgentControl::Play(const std::string& animation) {
    Request request = Request::Of(Kind::Play);
    request.text = animation;
    return Queue(std::move(request));
}

RequestId SimAgentControl::Speak(const std::string& text) {
    Request request = Request::Of(Kind::Speak);
    request.text = text;
    return Queue(std::move(request));
}

void SimAgentControl::Stop() {
    queue_.clear();
    if (!current_) return;
    // The current request ends where it is: a move stops part of the way.
    if (current_->kind == Kind::Move && currentTimer_) {
        std::int64_t total = DurationOf(*current_);
        std::int64_t done = clock_.NowMs() - currentStartMs_;
        if (total > 0) {
            x_ = moveFromX_ + static_cast<int>((current_->x - moveFromX_) * done / total);
            y_ = moveFromY_ + static_cast<int>((current_->y - moveFromY_) * done / total);
        }
    }
    if (currentTimer_) clock_.Cancel(*currentTimer_);
    currentTimer_.reset();
    RequestId interrupted = current_->id;
    current_.reset();
    clock_.ScheduleAt(clock_.NowMs(), [this, interrupted] { events_.RequestComplete(interrupted); });
}

void SimAgentControl::SchedulePump() {
    // Playback starts after the call that queued the request has returned.
    if (pumpTimer_ || current_) return;
    pumpTimer_ = clock_.ScheduleAt(clock_.NowMs(), [this] {
        pumpTimer_.reset();
        Pump();
    });
}

std::int64_t SimAgentControl::DurationOf(const Request& request) const {
    switch (request.kind) {
        case Kind::Show:
            return SimTiming::ShowOrHide(!visible_);
        case Kind::Hide:
            return SimTiming::ShowOrHide(visible_);
        case Kind::Move:
            return SimTiming::Move(request.x - x_, request.y - y_, request.speed, visible_);
        case Kind::Play:
            return SimTiming::Play(request.text);
        case Kind::Speak:
            return SimTiming::Speak(request.text);
    }
    return 0;
}

void SimAgentControl::Pump() {
    if (current_ || queue_.empty()) return;
    current_ = queue_.front();
    queue_.pop_front();
    currentStartMs_ = clock_.NowMs();
    moveFromX_ = x_;
    moveFromY_ = y_;
    std::int64_t duration = DurationOf(*current_);
    RequestId id = current_->id;
    currentTimer_ = clock_.ScheduleAt(clock_.NowMs() + duration, [this] { Finish(); });
    events_.RequestStart(id);
}

void SimAgentControl::Finish() {
    currentTimer_.reset();
    if (!current_) return;
    Request done = *current_;
    current_.reset();
    switch (done.kind) {
        case Kind::Show:
            visible_ = true;
            break;
        case Kind::Hide:
            visible_ = false;
            break;
        case Kind::Move:
            x_ = done.x;
            y_ = done.y;
            break;
        case Kind::Play:
        case Kind::Speak:
            break;
    }
    SchedulePump();
    events_.RequestComplete(done.id);
}

// --- properties -------------------------------------------------------------------------------------

basic::Integer SimAgentControl::Width() { return static_cast<basic::Integer>(config_.width); }

basic::Integer SimAgentControl::Height() { return static_cast<basic::Integer>(config_.height); }

void SimAgentControl::SetIdleOn(basic::Boolean on) { idleOn_ = on; }

basic::Boolean SimAgentControl::SoundEffectsOn() { return soundEffectsOn_; }

void SimAgentControl::SetSoundEffectsOn(basic::Boolean on) { soundEffectsOn_ = on; }

void SimAgentControl::SetBalloonFontSize(basic::Long points) { balloonFontSize_ = points; }

void SimAgentControl::CommandsAdd(const std::string& name, const std::string& caption) {
    commands_.emplace_back(name, caption);
}

// --- the user ---------------------------------------------------------------------------------------

void SimAgentControl::UserChoosesCommand(const std::string& name) { events_.Command(name); }

void SimAgentControl::UserDoubleClicks() {
    events_.DblClick(characterId_, 1, 0, static_cast<basic::Integer>(x_), static_cast<basic::Integer>(y_));
}

void SimAgentControl::UserDragsTo(int x, int y) {
    events_.DragStart(characterId_, 1, 0, static_cast<basic::Integer>(x_), static_cast<basic::Integer>(y_));
    x_ = x;  // the control moves the frame with the pointer
    y_ = y;
    events_.DragComplete(characterId_, 1, 0, static_cast<basic::Integer>(x), static_cast<basic::Integer>(y));
}

}  // namespace zinna::sim
