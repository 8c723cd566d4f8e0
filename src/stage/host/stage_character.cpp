#include "stage/host/stage_character.h"

#include "basic/basic_error.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <sstream>

namespace zinna::stage {

namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Mouth shapes cycled while words appear: open wide, medium, narrow, closed between.
constexpr int kMouthCycle[] = {2, 5, 1, 6, 3, 0};
constexpr int kMouthClosed = 0;
constexpr int kMaxFramesPerWake = 64;  // frames skipped at most when the host wakes late

}  // namespace

StageCharacter::StageCharacter(std::string id, acs::AcsFile file, Clock& clock, AgentEvents& events,
                               SoundOutput& sound, StageSettings settings, RequestId& nextRequestId)
    : id_(std::move(id)),
      file_(std::move(file)),
      clock_(clock),
      events_(events),
      sound_(sound),
      settings_(settings),
      nextRequestId_(nextRequestId),
      random_(settings.seed),
      player_([this](const std::string& name) { return FindAnimation(name); }, settings.seed ^ 0x9E3779B9u),
      pointer_(*this) {
    for (const acs::Animation& animation : file_.Animations())
        animationsByName_.emplace(Upper(animation.name), &animation);
}

StageCharacter::~StageCharacter() {
    if (wakeTimer_) clock_.Cancel(*wakeTimer_);
}

const acs::Animation* StageCharacter::FindAnimation(const std::string& name) const {
    auto it = animationsByName_.find(Upper(name));
    return it == animationsByName_.end() || it->second->frames.empty() ? nullptr : it->second;
}

// --- the program's calls ----------------------------------------------------------------------------

RequestId StageCharacter::Queue(Request request) {
    request.id = nextRequestId_++;
    queue_.push_back(std::move(request));
    ScheduleWake();
    return queue_.back().id;
}

RequestId StageCharacter::Hide() {
    Request request;
    request.kind = Kind::Hide;
    return Queue(std::move(request));
}

RequestId StageCharacter::Show() {
    Request request;
    request.kind = Kind::Show;
    return Queue(std::move(request));
}

RequestId StageCharacter::MoveTo(basic::Integer x, basic::Integer y, std::optional<basic::Integer> speed) {
    Request request;
    request.kind = Kind::Move;
    request.x = x;
    request.y = y;
    request.speed = speed.value_or(kDefaultMoveSpeed);
    return Queue(std::move(request));
}

RequestId StageCharacter::Play(const std::string& animation) {
    if (!FindAnimation(animation))
        basic::RaiseControlError(kErrAnimationNotFound, "The character has no animation named \"" + animation + "\"");
    Request request;
    request.kind = Kind::Play;
    request.text = animation;
    return Queue(std::move(request));
}

RequestId StageCharacter::Speak(const std::string& text) {
    Request request;
    request.kind = Kind::Speak;
    request.text = text;
    return Queue(std::move(request));
}

void StageCharacter::Stop() {
    std::int64_t now = clock_.NowMs();
    queue_.clear();
    if (current_) {
        if (motion_) UpdateMotion(now);  // the frame stays where the move had brought it
        motion_.reset();
        speech_.reset();
        balloon_.reset();
        RequestId interrupted = current_->id;
        current_.reset();
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
    settings_.scale = scale;
    composedFor_.reset();
    if (changed_) changed_();
}

void StageCharacter::SetIdleOn(basic::Boolean on) {
    idleOn_ = on;
    idleAtMs_.reset();
    if (on != basic::True && player_.Playing() && !current_) player_.Leave();  // an idle animation winds down
    ScheduleWake();
}

// --- playing -------------------------------------------------------------------------------------

void StageCharacter::Wake() {
    if (waking_) return;
    waking_ = true;
    std::int64_t now = clock_.NowMs();

    for (int frames = 0; frames < kMaxFramesPerWake && player_.Playing() && frameEndsMs_ && now >= *frameEndsMs_;
         ++frames) {
        // A looping animation keeps looping only while nothing waits behind it (or while it speaks).
        player_.SetLoopingAllowed(queue_.empty() || (speech_ && current_ && current_->kind == Kind::Speak));
        std::int64_t ended = *frameEndsMs_;
        if (player_.Advance()) {
            frameEndsMs_ = std::max(ended, now - player_.FrameDurationMs()) + player_.FrameDurationMs();
            ShowPlayerFrame();
        } else {
            frameEndsMs_.reset();
        }
    }
    if (motion_) UpdateMotion(now);
    if (speech_) UpdateSpeech(now);
    if (current_ && CurrentRequestDone(now)) FinishCurrent();

    while (!current_ && !queue_.empty()) {
        if (player_.Playing()) {  // an idle or leaving animation finishes before the next request
            if (!player_.Leaving()) player_.Leave();
            break;
        }
        StartRequest();
        if (current_ && CurrentRequestDone(now)) FinishCurrent();
    }

    bool free = !current_ && queue_.empty() && !player_.Playing();
    if (!free || idleOn_ != basic::True) {
        idleAtMs_.reset();
        if (!free) idleLevel_ = 1;
    } else if (!idleAtMs_) {
        idleAtMs_ = now + settings_.idleTimeoutMs;
    } else if (now >= *idleAtMs_) {
        idleAtMs_.reset();
        StartIdling();
    }

    waking_ = false;
    ScheduleWake();
    if (changed_) changed_();
}

void StageCharacter::StartRequest() {
    current_ = queue_.front();
    queue_.pop_front();
    RequestId id = current_->id;
    Post([this, id] { events_.RequestStart(id); });
    const Request& request = *current_;
    std::int64_t now = clock_.NowMs();

    switch (request.kind) {
        case Kind::Show:
            if (!visible_) {
                visible_ = true;  // she appears with her showing animation
                PlayState("SHOWING");
            }
            break;
        case Kind::Hide:
            if (visible_) PlayState("HIDING");
            break;
        case Kind::Move: {
            int dx = request.x - x_, dy = request.y - y_;
            if (!visible_ || request.speed == 0 || (dx == 0 && dy == 0)) {
                x_ = request.x;
                y_ = request.y;
                break;
            }
            std::int64_t duration = std::int64_t{std::max({std::abs(dx), std::abs(dy), 10})} * request.speed / 500;
            motion_ = Motion{x_, y_, request.x, request.y, now, std::max<std::int64_t>(duration, 1)};
            // A short step (a flight's waypoint) keeps the pose she is in; a longer move shows her
            // moving. Directions are the character's own: moving to the screen's right is her left.
            if (duration >= kShortMoveMs) {
                const char* state = std::abs(dx) >= std::abs(dy) ? (dx > 0 ? "MOVINGLEFT" : "MOVINGRIGHT")
                                                                 : (dy > 0 ? "MOVINGDOWN" : "MOVINGUP");
                PlayState(state);
            }
            break;
        }
        case Kind::Play:
            if (player_.Start(*FindAnimation(request.text))) {
                ShowPlayerFrame();
                frameEndsMs_ = now + player_.FrameDurationMs();
            }
            break;
        case Kind::Speak: {
            Speech speech;
            std::istringstream words(request.text);
            for (std::string word; words >> word;) speech.words.push_back(word);
            speech.shown = speech.words.empty() ? 0 : 1;
            speech.nextWordMs = now + kSpeechWordMs;
            speech.endMs = speech.words.size() <= 1 ? now + kSpeechHoldMs : 0;
            speech.nextMouthMs = now + kMouthChangeMs;
            speech_ = speech;
            int perLine = file_.Info().balloon ? file_.Info().balloon->charactersPerLine : 32;
            balloon_ = LayOutBalloon(request.text, balloonFontSize_, perLine > 0 ? perLine : 32,
                                     {x_, y_, x_ + FrameWidth(), y_ + FrameHeight()}, settings_.screenWidth,
                                     settings_.screenHeight, settings_.scale);
            // She speaks with the mouths of the frame she shows, else with her speaking animation.
            bool hasMouths = shown_.animation && !shown_.animation->frames[shown_.frame].mouths.empty();
            if (!hasMouths) PlayState("SPEAKING");
            shown_.mouth = kMouthCycle[0];
            break;
        }
    }
}

bool StageCharacter::CurrentRequestDone(std::int64_t now) {
    switch (current_->kind) {
        case Kind::Show:
        case Kind::Hide:
        case Kind::Play: return !player_.Playing();
        case Kind::Move: return !motion_ || now >= motion_->startMs + motion_->durationMs;
        case Kind::Speak: return !speech_ || (speech_->endMs > 0 && now >= speech_->endMs);
    }
    return true;
}

void StageCharacter::FinishCurrent() {
    Request done = *current_;
    current_.reset();
    switch (done.kind) {
        case Kind::Hide: visible_ = false; break;
        case Kind::Move:
            x_ = done.x;
            y_ = done.y;
            motion_.reset();
            if (player_.Playing()) {  // the moving animation ends with the move; its frame stays
                player_.Clear();
                frameEndsMs_.reset();
            }
            break;
        case Kind::Speak:
            speech_.reset();
            balloon_.reset();
            shown_.mouth.reset();
            if (player_.Playing()) player_.Leave();
            break;
        case Kind::Show:
        case Kind::Play: break;
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
    const acs::Animation* chosen =
        choices[std::uniform_int_distribution<std::size_t>(0, choices.size() - 1)(random_)];
    if (!player_.Start(*chosen)) return false;
    ShowPlayerFrame();
    frameEndsMs_ = clock_.NowMs() + player_.FrameDurationMs();
    return true;
}

void StageCharacter::ShowPlayerFrame() {
    ShownFrame next{player_.Current(), player_.FrameIndex(), shown_.mouth};
    shown_ = next;
    const acs::Frame& frame = player_.CurrentFrame();
    if (frame.sound >= 0 && soundEffectsOn_ == basic::True && static_cast<std::size_t>(frame.sound) < file_.SoundCount())
        sound_.Play(file_.SoundAt(static_cast<std::size_t>(frame.sound)));
}

void StageCharacter::UpdateMotion(std::int64_t now) {
    if (dragging_) return;  // the pointer holds the frame
    std::int64_t elapsed = std::clamp<std::int64_t>(now - motion_->startMs, 0, motion_->durationMs);
    x_ = motion_->fromX + static_cast<int>((motion_->toX - motion_->fromX) * elapsed / motion_->durationMs);
    y_ = motion_->fromY + static_cast<int>((motion_->toY - motion_->fromY) * elapsed / motion_->durationMs);
}

void StageCharacter::UpdateSpeech(std::int64_t now) {
    Speech& speech = *speech_;
    while (speech.shown < speech.words.size() && now >= speech.nextWordMs) {
        ++speech.shown;
        if (speech.shown == speech.words.size()) speech.endMs = speech.nextWordMs + kSpeechHoldMs;
        speech.nextWordMs += kSpeechWordMs;
    }
    bool talking = speech.shown < speech.words.size();
    if (!talking) {
        shown_.mouth = kMouthClosed;
    } else if (now >= speech.nextMouthMs) {
        speech.mouthStep = (speech.mouthStep + 1) % static_cast<int>(std::size(kMouthCycle));
        speech.nextMouthMs = now + kMouthChangeMs;
        shown_.mouth = kMouthCycle[speech.mouthStep];
    }
}

void StageCharacter::StartIdling() {
    Post([this] { events_.IdleStart(id_); });
    PlayState("IDLINGLEVEL" + std::to_string(idleLevel_));
    if (idleLevel_ < 3) ++idleLevel_;  // level 3 repeats until work arrives
}

std::vector<std::string> StageCharacter::BalloonLinesShown() const {
    if (!balloon_ || !speech_) return {};
    // The lines hold the words in order; show as many of them as have appeared.
    std::size_t remaining = speech_->shown;
    std::vector<std::string> lines;
    for (const std::string& line : balloon_->lines) {
        if (remaining == 0) break;
        std::istringstream words(line);
        std::string shownLine;
        for (std::string word; remaining > 0 && words >> word; --remaining)
            shownLine += (shownLine.empty() ? "" : " ") + word;
        lines.push_back(shownLine);
    }
    return lines;
}

const acs::RgbaImage& StageCharacter::FrameImage() {
    if (!composedFor_ || !(*composedFor_ == shown_)) {
        if (shown_.animation) {
            const acs::Frame& frame = shown_.animation->frames[static_cast<std::size_t>(shown_.frame)];
            std::optional<std::uint8_t> mouth;
            if (shown_.mouth && !frame.mouths.empty()) mouth = static_cast<std::uint8_t>(*shown_.mouth);
            image_ = ScaleFrame(acs::ComposeFrame(file_.Info(), frame, acs::ImagesOf(file_), mouth), FrameWidth(),
                                FrameHeight());
        } else {
            image_ = acs::RgbaImage{FrameWidth(), FrameHeight(),
                                    std::vector<std::uint8_t>(static_cast<std::size_t>(FrameWidth()) * FrameHeight() * 4, 0)};
        }
        composedFor_ = shown_;
    }
    return image_;
}

// --- time ---------------------------------------------------------------------------------------

void StageCharacter::ScheduleWake() {
    std::int64_t now = clock_.NowMs();
    std::optional<std::int64_t> due;
    auto consider = [&](std::int64_t at) { due = due ? std::min(*due, at) : at; };
    bool startable = !current_ && !queue_.empty() && !(player_.Playing());
    if (startable || (current_ && CurrentRequestDone(now))) consider(now);
    if (player_.Playing() && frameEndsMs_) consider(*frameEndsMs_);
    if (motion_) consider(std::min(now + kMoveStepMs, motion_->startMs + motion_->durationMs));
    if (speech_) {
        if (speech_->shown < speech_->words.size()) consider(std::min(speech_->nextWordMs, speech_->nextMouthMs));
        else if (speech_->endMs > 0) consider(speech_->endMs);
    }
    if (idleAtMs_) consider(*idleAtMs_);
    bool free = !current_ && queue_.empty() && !player_.Playing();
    if (free && idleOn_ == basic::True && !idleAtMs_) consider(now);  // to start the idle count

    if (waking_) return;  // Wake schedules once it is done
    if (due == wakeAt_ && wakeTimer_) return;
    if (wakeTimer_) clock_.Cancel(*wakeTimer_);
    wakeTimer_.reset();
    wakeAt_ = due;
    if (!due) return;
    wakeTimer_ = clock_.ScheduleAt(*due, [this] {
        wakeTimer_.reset();
        wakeAt_.reset();
        Wake();
    });
}

void StageCharacter::Post(std::function<void()> event) {
    std::weak_ptr<int> alive = alive_;
    clock_.ScheduleAt(clock_.NowMs(), [alive, event = std::move(event)] {
        if (alive.lock()) event();
    });
}

// --- the user ---------------------------------------------------------------------------------------

void StageCharacter::ChooseCommand(const std::string& name) {
    Post([this, name] { events_.Command(name); });
}

void StageCharacter::OnClick(PointerButton, int, int) {}

void StageCharacter::OnDoubleClick(PointerButton button, int x, int y) {
    Post([this, button, x, y] {
        events_.DblClick(id_, static_cast<basic::Integer>(button), 0, static_cast<basic::Integer>(x),
                         static_cast<basic::Integer>(y));
    });
}

void StageCharacter::OnDragStart(int x, int y) {
    dragging_ = true;
    Post([this, x, y] { events_.DragStart(id_, 1, 0, static_cast<basic::Integer>(x), static_cast<basic::Integer>(y)); });
}

void StageCharacter::OnDragMove(int frameX, int frameY) {
    x_ = frameX;
    y_ = frameY;
    if (changed_) changed_();
}

void StageCharacter::OnDragComplete(int x, int y) {
    dragging_ = false;
    Post([this, x, y] {
        events_.DragComplete(id_, 1, 0, static_cast<basic::Integer>(x), static_cast<basic::Integer>(y));
    });
    if (changed_) changed_();
}

void StageCharacter::OnMenuRequested(int x, int y) {
    if (menuRequested_) menuRequested_(x, y);
}

}  // namespace zinna::stage
