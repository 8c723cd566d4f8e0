#include "stage/host/stage_character.h"

#include <stdexcept>
#include <string>

#include "basic/basic_error.h"

#include <algorithm>
#include <cctype>

namespace zinna::stage {

namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

constexpr int kMaxFramesPerWake = 64;  // frames skipped at most when the host wakes late
// Boundaries replayed at most in one catch-up. A host that wakes this far behind (the machine
// slept) goes on from now instead of replaying what nobody saw.
constexpr int kMaxStepsPerCatchUp = 256;

}  // namespace

StageCharacter::StageCharacter(std::string id, acs::AcsFile file, Clock& clock, AgentEvents& events, SoundOutput& sound,
                               StageSettings settings, RequestId& nextRequestId)
    : id_(std::move(id)),
      file_(std::move(file)),
      clock_(clock),
      events_(events),
      sound_(sound),
      settings_(settings),
      random_(settings.seed),
      player_([this](const std::string& name) { return FindAnimation(name); }, settings.seed ^ 0x9E3779B9u),
      requests_(nextRequestId),
      frame_(file_),
      pointer_(*this),
      wakeTimer_(clock, [this] { Wake(); }),
      hostNowMs_(clock.NowMs()) {
    for (const acs::Animation& animation : file_.Animations())
        animationsByName_.emplace(Upper(animation.name), &animation);
    frame_.SetScale(settings_.scale);
}

StageCharacter::~StageCharacter() = default;

const acs::Animation* StageCharacter::FindAnimation(const std::string& name) const {
    auto it = animationsByName_.find(Upper(name));
    return it == animationsByName_.end() || it->second->frames.empty() ? nullptr : it->second;
}

// --- the program's calls ----------------------------------------------------------------------------

RequestId StageCharacter::Queue(Request request) {
    Present();
    const RequestId id = requests_.Add(std::move(request));
    ScheduleWake();
    return id;
}

RequestId StageCharacter::Hide() {
    Request request;
    request.kind = RequestKind::Hide;
    return Queue(std::move(request));
}

RequestId StageCharacter::Show() {
    Request request;
    request.kind = RequestKind::Show;
    return Queue(std::move(request));
}

RequestId StageCharacter::MoveTo(basic::Integer x, basic::Integer y, std::optional<basic::Integer> speed) {
    Request request;
    request.kind = RequestKind::Move;
    request.x = x;
    request.y = y;
    request.speed = speed.value_or(kDefaultMoveSpeed);
    return Queue(std::move(request));
}

RequestId StageCharacter::Play(const std::string& animation) {
    if (!FindAnimation(animation))
        basic::RaiseControlError(kErrAnimationNotFound, "The character has no animation named \"" + animation + "\"");
    Request request;
    request.kind = RequestKind::Play;
    request.text = animation;
    return Queue(std::move(request));
}

RequestId StageCharacter::Speak(const std::string& text) {
    Request request;
    request.kind = RequestKind::Speak;
    request.text = text;
    return Queue(std::move(request));
}

void StageCharacter::Stop() {
    Present();
    const std::int64_t now = hostNowMs_;
    requests_.DropWaiting();
    if (requests_.Current()) {
        if (motion_) UpdateMotion(now);  // the frame stays where the move had brought it
        motion_.reset();
        if (speech_.Active()) {
            speech_.End();
            frame_.SetMouth(std::nullopt);  // her mouth closes with the words cut off
        }
        const RequestId interrupted = *requests_.InterruptCurrent();
        Post([this, interrupted] { events_.RequestComplete(interrupted); });
    }
    // The animation leaves through its exit branches where it has them, else ends at once.
    if (player_.Playing()) {
        const acs::Animation& playing = *player_.Current();
        if (playing.transition == acs::Transition::ExitBranches || player_.CurrentFrame().exitFrame >= 0) {
            player_.Leave();
        } else {
            player_.Clear();
            frameEndsMs_.reset();
        }
    }
    ScheduleWake();
    // Where the move stopped, without the balloon: shown now, not at her next change, which may
    // never come.
    if (changed_) changed_();
}

basic::Integer StageCharacter::Width() {
    return static_cast<basic::Integer>(settings_.reportedFrameSize ? settings_.reportedFrameSize->first : FrameWidth());
}

basic::Integer StageCharacter::Height() {
    return static_cast<basic::Integer>(settings_.reportedFrameSize ? settings_.reportedFrameSize->second
                                                                   : FrameHeight());
}

void StageCharacter::SetScale(double scale) {
    if (!(scale > 0) || scale == settings_.scale) return;
    // Beyond any display's scale (Windows offers up to 500 %): her frames would take memory without
    // bound. The caller's guard ends the program with the desktop given back.
    if (scale > kMaxScale) throw std::out_of_range("no display has a scale of " + std::to_string(scale));
    Present();
    settings_.scale = scale;
    frame_.SetScale(scale);
    if (changed_) changed_();
}

void StageCharacter::SetIdleOn(basic::Boolean on) {
    Present();
    idleOn_ = on;
    idleAtMs_.reset();
    if (on != basic::True && player_.Playing() && !requests_.Current())
        player_.Leave();  // an idle animation winds down
    ScheduleWake();
}

// --- playing -------------------------------------------------------------------------------------

void StageCharacter::Wake() {
    if (waking_) return;
    waking_ = true;
    CatchUp(clock_.NowMs());
    waking_ = false;
    ScheduleWake();
    if (changed_) changed_();
}

void StageCharacter::Present() {
    const std::int64_t now = clock_.NowMs();
    if (waking_ || now < hostNowMs_) return;
    const bool behind = deferredMs_ && *deferredMs_ <= now;
    const int steps = behind ? CatchUp(now) : 0;
    hostNowMs_ = now;
    if (!behind) return;
    ScheduleWake();
    // The quiet boundary showed nothing; a step after it (its wake-up is overdue) may have.
    if (steps > 1 && changed_) changed_();
}

int StageCharacter::CatchUp(std::int64_t target) {
    deferredMs_.reset();
    int steps = 0;
    for (; steps <= kMaxStepsPerCatchUp; ++steps) {
        const std::optional<std::int64_t> due = DueMs();
        if (!due || *due > target) break;
        Step(steps < kMaxStepsPerCatchUp ? std::max(*due, hostNowMs_) : target);
    }
    hostNowMs_ = std::max(hostNowMs_, target);
    return steps;
}

void StageCharacter::Step(std::int64_t now) {
    hostNowMs_ = now;

    for (int frames = 0; frames < kMaxFramesPerWake && player_.Playing() && frameEndsMs_ && now >= *frameEndsMs_;
         ++frames) {
        // A looping animation keeps looping only while nothing waits behind it (or while it speaks).
        player_.SetLoopingAllowed(!requests_.AnyWaiting() ||
                                  (speech_.Active() && requests_.CurrentIs(RequestKind::Speak)));
        std::int64_t ended = *frameEndsMs_;
        if (player_.Advance()) {
            frameEndsMs_ = std::max(ended, now - player_.FrameDurationMs()) + player_.FrameDurationMs();
            ShowPlayerFrame();
        } else {
            frameEndsMs_.reset();
        }
    }
    if (motion_) UpdateMotion(now);
    if (speech_.Active()) UpdateSpeech(now);
    if (requests_.Current() && CurrentRequestDone(now)) FinishCurrent();

    while (!requests_.Current() && requests_.AnyWaiting()) {
        if (player_.Playing()) {  // an idle or leaving animation finishes before the next request
            if (!player_.Leaving()) player_.Leave();
            break;
        }
        StartRequest();
        if (requests_.Current() && CurrentRequestDone(now)) FinishCurrent();
    }

    const bool free = Free();
    if (!free || idleOn_ != basic::True) {
        idleAtMs_.reset();
        if (!free) idleLevel_ = 1;
    } else if (!idleAtMs_) {
        idleAtMs_ = now + settings_.idleTimeoutMs;
    } else if (now >= *idleAtMs_) {
        idleAtMs_.reset();
        StartIdling();
    }
}

bool StageCharacter::Free() const { return !requests_.Current() && !requests_.AnyWaiting() && !player_.Playing(); }

void StageCharacter::StartRequest() {
    const Request& request = requests_.StartNext();
    const RequestId id = request.id;
    Post([this, id] { events_.RequestStart(id); });
    const std::int64_t now = hostNowMs_;

    switch (request.kind) {
        case RequestKind::Show:
            if (!visible_) {
                visible_ = true;  // she appears with her showing animation
                PlayState("SHOWING");
            }
            break;
        case RequestKind::Hide:
            if (visible_) PlayState("HIDING");
            break;
        case RequestKind::Move:
            if (!visible_ || request.speed == 0 || (request.x == x_ && request.y == y_)) {
                x_ = request.x;
                y_ = request.y;
                break;
            }
            motion_.emplace(ScreenPoint{x_, y_}, ScreenPoint{request.x, request.y}, request.speed, now);
            if (motion_->ShowsMoving()) PlayState(motion_->MovingState());
            break;
        case RequestKind::Play:
            if (player_.Start(*FindAnimation(request.text))) {
                ShowPlayerFrame();
                frameEndsMs_ = now + player_.FrameDurationMs();
            }
            break;
        case RequestKind::Speak:
            StartSpeech(request.text, now);
            break;
    }
}

void StageCharacter::StartSpeech(const std::string& text, std::int64_t now) {
    const int perLine = file_.Info().balloon ? file_.Info().balloon->charactersPerLine : 32;
    speech_.Start(text,
                  LayOutBalloon(text, balloonFontSize_, perLine > 0 ? perLine : 32,
                                {x_, y_, x_ + FrameWidth(), y_ + FrameHeight()}, settings_.screenWidth,
                                settings_.screenHeight, settings_.scale),
                  now);
    // She speaks with the mouths of the frame she shows, else with her speaking animation.
    if (!frame_.HasMouths()) PlayState("SPEAKING");
    frame_.SetMouth(speech_.Mouth());
}

bool StageCharacter::CurrentRequestDone(std::int64_t now) const {
    switch (requests_.Current()->kind) {
        case RequestKind::Show:
        case RequestKind::Hide:
        case RequestKind::Play:
            return !player_.Playing();
        case RequestKind::Move:
            return !motion_ || motion_->DoneAt(now);
        case RequestKind::Speak:
            return !speech_.Active() || speech_.DoneAt(now);
    }
    return true;
}

void StageCharacter::FinishCurrent() {
    const Request done = requests_.FinishCurrent();
    switch (done.kind) {
        case RequestKind::Hide:
            visible_ = false;
            break;
        case RequestKind::Move:
            x_ = done.x;
            y_ = done.y;
            motion_.reset();
            if (player_.Playing()) {  // the moving animation ends with the move; its frame stays
                player_.Clear();
                frameEndsMs_.reset();
            }
            break;
        case RequestKind::Speak:
            speech_.End();
            frame_.SetMouth(std::nullopt);
            if (player_.Playing()) player_.Leave();
            break;
        case RequestKind::Show:
        case RequestKind::Play:
            break;
    }
    RequestId id = done.id;
    Post([this, id] { events_.RequestComplete(id); });
}

bool StageCharacter::PlayState(const std::string& stateName) {
    const acs::State* state = acs::FindState(file_.Info(), stateName);
    if (!state) return false;
    std::vector<const acs::Animation*> choices;
    for (const std::string& name : state->animations)
        if (const acs::Animation* animation = FindAnimation(name)) choices.push_back(animation);
    if (choices.empty()) return false;
    const acs::Animation* chosen = choices[std::uniform_int_distribution<std::size_t>(0, choices.size() - 1)(random_)];
    if (!player_.Start(*chosen)) return false;
    ShowPlayerFrame();
    frameEndsMs_ = hostNowMs_ + player_.FrameDurationMs();
    return true;
}

void StageCharacter::ShowPlayerFrame() {
    frame_.ShowFrame(player_.Current(), player_.FrameIndex());
    const acs::Frame& frame = player_.CurrentFrame();
    if (frame.sound >= 0 && soundEffectsOn_ == basic::True &&
        static_cast<std::size_t>(frame.sound) < file_.SoundCount())
        sound_.Play(file_.SoundAt(static_cast<std::size_t>(frame.sound)));
}

void StageCharacter::UpdateMotion(std::int64_t now) {
    if (dragging_) return;  // the pointer holds the frame
    const ScreenPoint at = motion_->PositionAt(now);
    x_ = at.x;
    y_ = at.y;
}

void StageCharacter::UpdateSpeech(std::int64_t now) {
    speech_.Update(now);
    frame_.SetMouth(speech_.Mouth());
}

void StageCharacter::StartIdling() {
    Post([this] { events_.IdleStart(id_); });
    PlayState("IDLINGLEVEL" + std::to_string(idleLevel_));
    if (idleLevel_ < 3) ++idleLevel_;  // level 3 repeats until work arrives
}

// --- time ---------------------------------------------------------------------------------------

std::optional<std::int64_t> StageCharacter::DueMs() const {
    const std::int64_t now = hostNowMs_;
    std::optional<std::int64_t> due;
    auto consider = [&](std::int64_t at) { due = due ? std::min(*due, at) : at; };
    const bool startable = !requests_.Current() && requests_.AnyWaiting() && !player_.Playing();
    if (startable || (requests_.Current() && CurrentRequestDone(now))) consider(now);
    if (player_.Playing() && frameEndsMs_) consider(*frameEndsMs_);
    if (motion_) consider(motion_->NextStepMs(now));
    if (speech_.Active()) {
        if (const std::optional<std::int64_t> change = speech_.NextChangeMs()) consider(*change);
    }
    if (idleAtMs_) consider(*idleAtMs_);
    if (Free() && idleOn_ == basic::True && !idleAtMs_) consider(now);  // to start the idle count
    return due;
}

// A boundary that changes nothing on the screen gets no wake-up of its own: the wake-up of the
// next change that shows handles it first, at its own time. One such boundary is known, the one a
// flight repeats with every wing beat: an animation ends with its last frame still shown (no branch
// taken, no return animation), its Play or Show request completes, and a short move sets off, whose
// first placement comes later. Any other boundary is taken to show something. The wait is bounded
// by the short move (under kShortMoveMs): the program hears of the boundary that much late at most.
std::optional<std::int64_t> StageCharacter::QuietUntilMs(std::int64_t due, int frameIndex) const {
    if (dragging_ || !visible_ || due <= hostNowMs_ || !player_.Playing()) return std::nullopt;
    if (!requests_.CurrentIs(RequestKind::Play) && !requests_.CurrentIs(RequestKind::Show)) return std::nullopt;
    if (motion_ || speech_.Active() || idleAtMs_) return std::nullopt;  // nothing else due with it

    // The animation ends with this frame, showing nothing new.
    const acs::Animation& animation = *player_.Current();
    const acs::Frame& frame = animation.frames[static_cast<std::size_t>(frameIndex)];
    const bool last = frameIndex + 1 == static_cast<int>(animation.frames.size());
    if (player_.Leaving()) {
        if (frame.exitFrame != acs::kExitEndsNow && !(frame.exitFrame == acs::kNoExitBranch && last))
            return std::nullopt;
    } else if (!last || !frame.branches.empty() ||
               (animation.transition == acs::Transition::ReturnAnimation && !animation.returnAnimation.empty())) {
        return std::nullopt;
    }

    // The next request is a short move that keeps her pose.
    const Request* next = requests_.NextWaiting();
    if (!next || next->kind != RequestKind::Move || next->speed == 0 || (next->x == x_ && next->y == y_))
        return std::nullopt;
    const Motion move(ScreenPoint{x_, y_}, ScreenPoint{next->x, next->y}, next->speed, due);
    if (move.ShowsMoving()) return std::nullopt;
    const std::int64_t shown = move.NextStepMs(due);
    if (shown - due >= kShortMoveMs) return std::nullopt;
    return shown;
}

// The next boundary is a plain step to the animation's next frame: no branch can be taken (the frame
// has none, and a leaving animation takes exit branches), the next frame lasts and plays no sound,
// and nothing else is due first or with it. Then what it shows, and when, is known now.
std::optional<int> StageCharacter::PlainNextFrame(std::int64_t due) const {
    if (dragging_ || !visible_ || due <= hostNowMs_ || !player_.Playing() || player_.Leaving() || frameEndsMs_ != due)
        return std::nullopt;
    if (motion_ || speech_.Active() || idleAtMs_ || DueMs() != due) return std::nullopt;
    const acs::Animation& animation = *player_.Current();
    const int next = player_.FrameIndex() + 1;
    if (!player_.CurrentFrame().branches.empty() || next >= static_cast<int>(animation.frames.size()))
        return std::nullopt;
    const acs::Frame& frame = animation.frames[static_cast<std::size_t>(next)];
    if (frame.duration <= 0 || (frame.sound >= 0 && soundEffectsOn_ == basic::True)) return std::nullopt;
    return next;
}

std::optional<StageCharacter::FrameAhead> StageCharacter::NextFrameAhead() const {
    if (!frameEndsMs_) return std::nullopt;
    const std::optional<int> next = PlainNextFrame(*frameEndsMs_);
    if (!next) return std::nullopt;
    const acs::Frame& frame = player_.Current()->frames[static_cast<std::size_t>(*next)];
    return FrameAhead{FrameKey{acs::DrawnImages(frame, std::nullopt), frame_.Scale()}, *frameEndsMs_};
}

void StageCharacter::FrameShownAhead(std::optional<std::int64_t> atMs) {
    shownAheadMs_ = atMs;
    ScheduleWake();
}

void StageCharacter::ScheduleWake() {
    if (waking_) return;  // Wake schedules once it is done
    const std::optional<std::int64_t> due = DueMs();
    std::optional<std::int64_t> wakeAt = due;
    deferredMs_.reset();
    if (shownAheadMs_ && *shownAheadMs_ <= hostNowMs_) shownAheadMs_.reset();  // its boundary is behind her
    if (due) {
        const std::optional<int> ahead = shownAheadMs_ == due ? PlainNextFrame(*due) : std::nullopt;
        if (ahead) {
            // The screen shows that frame by itself; the boundary after it decides the wake-up.
            const std::int64_t ends =
                *due + std::int64_t{player_.Current()->frames[static_cast<std::size_t>(*ahead)].duration} * 10;
            deferredMs_ = due;
            wakeAt = QuietUntilMs(ends, *ahead).value_or(ends);
        } else if (frameEndsMs_ == due) {
            if (const std::optional<std::int64_t> shown = QuietUntilMs(*due, player_.FrameIndex())) {
                deferredMs_ = due;
                wakeAt = shown;
            }
        }
    }
    wakeTimer_.WakeAt(wakeAt);
}

void StageCharacter::Post(std::function<void()> event) {
    std::weak_ptr<int> alive = alive_;
    clock_.ScheduleAt(clock_.NowMs(), [alive, event = std::move(event)] {
        if (alive.lock()) event();
    });
}

// --- the user ---------------------------------------------------------------------------------------

void StageCharacter::ChooseCommand(const std::string& name) {
    Present();
    Post([this, name] { events_.Command(name); });
}

void StageCharacter::OnClick(PointerButton, int, int) {}

void StageCharacter::OnDoubleClick(PointerButton button, int x, int y) {
    Present();
    Post([this, button, x, y] {
        events_.DblClick(id_, static_cast<basic::Integer>(button), 0, static_cast<basic::Integer>(x),
                         static_cast<basic::Integer>(y));
    });
}

void StageCharacter::OnDragStart(int x, int y) {
    Present();
    dragging_ = true;
    Post(
        [this, x, y] { events_.DragStart(id_, 1, 0, static_cast<basic::Integer>(x), static_cast<basic::Integer>(y)); });
    ScheduleWake();  // no boundary is left to later while the pointer holds her
}

void StageCharacter::OnDragMove(int frameX, int frameY) {
    Present();
    x_ = frameX;
    y_ = frameY;
    if (changed_) changed_();
}

void StageCharacter::OnDragComplete(int x, int y) {
    Present();
    dragging_ = false;
    Post([this, x, y] {
        events_.DragComplete(id_, 1, 0, static_cast<basic::Integer>(x), static_cast<basic::Integer>(y));
    });
    ScheduleWake();
    if (changed_) changed_();
}

void StageCharacter::OnMenuRequested(int x, int y) {
    Present();
    if (menuRequested_) menuRequested_(x, y);
}

}  // namespace zinna::stage
