#include "platform/sim/sim_agent_control.h"

#include "basic/basic_error.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace zinna::sim {

namespace {

constexpr std::uint32_t kErrorFail = 0x80004005;            // the control's generic failure
constexpr std::uint32_t kErrorCharacterNotFound = 0x80042001;  // no such character loaded
constexpr std::uint32_t kErrorLoadFailed = 0x80042002;       // the data file could not be loaded

[[noreturn]] void RaiseRejected(const std::string& op) {
    basic::RaiseControlError(kErrorFail, "The character control rejected " + op);
}

}  // namespace

bool FailurePlan::ShouldFail(const std::string& op) {
    int call = ++calls_[op];
    auto rule = rules_.find(op);
    return rule != rules_.end() && (rule->second == 0 || rule->second == call);
}

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

SimAgentControl::SimAgentControl(VirtualClock& clock, Trace& trace, const SimDesktop& files, AgentEvents& events,
                                 SimCharacterConfig character, std::shared_ptr<FailurePlan> failures)
    : clock_(clock),
      trace_(trace),
      files_(files),
      events_(events),
      config_(character),
      failures_(failures ? std::move(failures) : std::make_shared<FailurePlan>()) {}

SimAgentControl::~SimAgentControl() {
    if (currentTimer_) clock_.Cancel(*currentTimer_);
    if (pumpTimer_) clock_.Cancel(*pumpTimer_);
}

void SimAgentControl::CheckCall(const std::string& op, std::vector<TraceField> fields) {
    bool fails = failures_->ShouldFail(op);
    std::vector<TraceField> all{{"op", op}};
    all.insert(all.end(), fields.begin(), fields.end());
    if (fails) all.push_back({"error", std::int64_t{static_cast<std::int32_t>(kErrorFail)}});
    trace_.Record("call", std::move(all));
    if (fails) RaiseRejected(op);
}

void SimAgentControl::SetConnected(basic::Boolean connected) {
    CheckCall("Connected", {{"value", connected == basic::True}});
}

RequestId SimAgentControl::CharactersLoad(const std::string& characterId, const std::string& path) {
    bool fails = failures_->ShouldFail("Load");
    bool found = files_.FileExists(path);
    RequestId id = nextRequest_++;
    std::vector<TraceField> fields{{"op", std::string("Load")}, {"id", characterId}, {"path", path}, {"req", std::int64_t{id}}};
    if (fails || !found) fields.push_back({"error", std::int64_t{static_cast<std::int32_t>(kErrorLoadFailed)}});
    trace_.Record("call", std::move(fields));
    if (fails || !found) basic::RaiseControlError(kErrorLoadFailed, "The character data file could not be loaded");
    loaded_ = true;
    characterId_ = characterId;
    return id;
}

AgentCharacter& SimAgentControl::Characters(const std::string& characterId) {
    if (!loaded_ || characterId != characterId_)
        basic::RaiseControlError(kErrorCharacterNotFound, "The character is not loaded");
    return *this;
}

// --- requests -------------------------------------------------------------------------------------

RequestId SimAgentControl::Queue(Request request, std::vector<TraceField> fields) {
    std::string op = fields.front().key == "op" ? std::get<std::string>(fields.front().value) : std::string();
    bool fails = failures_->ShouldFail(op);
    if (!fails) {
        request.id = nextRequest_++;
        fields.push_back({"req", std::int64_t{request.id}});
    } else {
        fields.push_back({"error", std::int64_t{static_cast<std::int32_t>(kErrorFail)}});
    }
    trace_.Record("call", std::move(fields));
    if (fails) RaiseRejected(op);
    queue_.push_back(std::move(request));
    SchedulePump();
    return queue_.back().id;
}

RequestId SimAgentControl::Hide() { return Queue(Request::Of(Kind::Hide), {{"op", std::string("Hide")}}); }

RequestId SimAgentControl::Show() { return Queue(Request::Of(Kind::Show), {{"op", std::string("Show")}}); }

RequestId SimAgentControl::MoveTo(basic::Integer x, basic::Integer y, std::optional<basic::Integer> speed) {
    std::vector<TraceField> fields{{"op", std::string("MoveTo")}, {"x", std::int64_t{x}}, {"y", std::int64_t{y}}};
    if (speed) fields.push_back({"speed", std::int64_t{*speed}});
    Request request = Request::Of(Kind::Move);
    request.x = x;
    request.y = y;
    request.speed = speed.value_or(kDefaultMoveSpeed);
    return Queue(std::move(request), std::move(fields));
}

RequestId SimAgentControl::Play(const std::string& animation) {
    Request request = Request::Of(Kind::Play);
    request.text = animation;
    return Queue(std::move(request), {{"op", std::string("Play")}, {"anim", animation}});
}

RequestId SimAgentControl::Speak(const std::string& text) {
    Request request = Request::Of(Kind::Speak);
    request.text = text;
    return Queue(std::move(request), {{"op", std::string("Speak")}, {"text", text}});
}

void SimAgentControl::Stop() {
    CheckCall("Stop", {{"removed", std::int64_t(queue_.size())}});
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
    trace_.Record("complete", {{"req", std::int64_t{interrupted}}, {"status", std::string("interrupted")}});
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
        case Kind::Show: return SimTiming::ShowOrHide(!visible_);
        case Kind::Hide: return SimTiming::ShowOrHide(visible_);
        case Kind::Move: return SimTiming::Move(request.x - x_, request.y - y_, request.speed, visible_);
        case Kind::Play: return SimTiming::Play(request.text);
        case Kind::Speak: return SimTiming::Speak(request.text);
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
    trace_.Record("start", {{"req", std::int64_t{id}}});
    currentTimer_ = clock_.ScheduleAt(clock_.NowMs() + duration, [this] { Finish(); });
    events_.RequestStart(id);
}

void SimAgentControl::Finish() {
    currentTimer_.reset();
    if (!current_) return;
    Request done = *current_;
    current_.reset();
    switch (done.kind) {
        case Kind::Show: visible_ = true; break;
        case Kind::Hide: visible_ = false; break;
        case Kind::Move: x_ = done.x; y_ = done.y; break;
        case Kind::Play:
        case Kind::Speak: break;
    }
    trace_.Record("complete", {{"req", std::int64_t{done.id}}});
    SchedulePump();
    events_.RequestComplete(done.id);
}

// --- properties -------------------------------------------------------------------------------------

basic::Integer SimAgentControl::Width() {
    if (failures_->ShouldFail("Width")) RaiseRejected("Width");
    return static_cast<basic::Integer>(config_.width);
}

basic::Integer SimAgentControl::Height() {
    if (failures_->ShouldFail("Height")) RaiseRejected("Height");
    return static_cast<basic::Integer>(config_.height);
}

void SimAgentControl::SetIdleOn(basic::Boolean on) {
    CheckCall("IdleOn", {{"value", on == basic::True}});
    idleOn_ = on;
}

basic::Boolean SimAgentControl::SoundEffectsOn() { return soundEffectsOn_; }

void SimAgentControl::SetSoundEffectsOn(basic::Boolean on) {
    CheckCall("SoundEffectsOn", {{"value", on == basic::True}});
    soundEffectsOn_ = on;
}

void SimAgentControl::SetBalloonFontSize(basic::Long points) {
    CheckCall("BalloonFontSize", {{"value", std::int64_t{points}}});
    balloonFontSize_ = points;
}

void SimAgentControl::CommandsAdd(const std::string& name, const std::string& caption) {
    CheckCall("CommandsAdd", {{"name", name}, {"caption", caption}});
    commands_.emplace_back(name, caption);
}

// --- the user ---------------------------------------------------------------------------------------

void SimAgentControl::UserChoosesCommand(const std::string& name) {
    trace_.Record("event", {{"name", std::string("Command")}, {"command", name}});
    events_.Command(name);
}

void SimAgentControl::UserDoubleClicks() {
    trace_.Record("event", {{"name", std::string("DblClick")}});
    events_.DblClick(characterId_, 1, 0, static_cast<basic::Integer>(x_), static_cast<basic::Integer>(y_));
}

void SimAgentControl::UserDragsTo(int x, int y) {
    trace_.Record("event", {{"name", std::string("DragStart")}, {"x", std::int64_t{x_}}, {"y", std::int64_t{y_}}});
    events_.DragStart(characterId_, 1, 0, static_cast<basic::Integer>(x_), static_cast<basic::Integer>(y_));
    x_ = x;  // the control moves the frame with the pointer
    y_ = y;
    trace_.Record("event", {{"name", std::string("DragComplete")}, {"x", std::int64_t{x}}, {"y", std::int64_t{y}}});
    events_.DragComplete(characterId_, 1, 0, static_cast<basic::Integer>(x), static_cast<basic::Integer>(y));
}

}  // namespace zinna::sim
