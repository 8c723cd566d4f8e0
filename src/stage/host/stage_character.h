// The built-in character host's character: it plays the program's requests in the order queued,
// on the clock, with the character's own animations, and tells renderers what to show. Renderers
// feed it the user's pointer and menu choices; it raises the control's events from them.
#pragma once

#include "character/agent_control.h"
#include "platform/clock.h"
#include "stage/acs/acs_reader.h"
#include "stage/host/animation_player.h"
#include "stage/host/balloon_layout.h"
#include "stage/host/frame_scaling.h"
#include "stage/host/menu_model.h"
#include "stage/host/pointer_input.h"
#include "stage/acs/frame_compositor.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace zinna::stage {

// Where sound effects go: the platform's sound output, or a record of them when headless.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    virtual void Play(std::span<const std::uint8_t> waveFile) = 0;
};

struct StageSettings {
    int screenWidth = 1024;
    int screenHeight = 768;
    std::uint32_t seed = 1;              // of the host's own random numbers (branches, idle choices)
    std::int64_t idleTimeoutMs = 10000;  // nothing to do for this long: the character idles
    // The frame size the character reports to the program, when it should differ from the file's.
    std::optional<std::pair<int, int>> reportedFrameSize;
    // The display's scale (its DPI / 96): her frames, her reported size and her balloon grow by it.
    double scale = 1.0;
};

inline constexpr std::int64_t kMoveStepMs = 16;         // how often a moving frame is placed anew
inline constexpr std::int64_t kShortMoveMs = 100;       // shorter moves keep the current pose
inline constexpr std::int64_t kSpeechWordMs = 300;      // words appear at a readable pace
inline constexpr std::int64_t kSpeechHoldMs = 1500;     // the whole text stays this long
inline constexpr std::int64_t kMouthChangeMs = 120;     // the mouth moves while words appear
inline constexpr int kDefaultBalloonFontSize = 10;
inline constexpr int kDefaultMoveSpeed = 1000;

// The control's error codes.
inline constexpr std::uint32_t kErrAnimationNotFound = 0x80042003;

class StageCharacter final : public AgentCharacter, private PointerListener {
public:
    StageCharacter(std::string id, acs::AcsFile file, Clock& clock, AgentEvents& events, SoundOutput& sound,
                   StageSettings settings, RequestId& nextRequestId);
    ~StageCharacter() override;

    // --- AgentCharacter ---
    RequestId Hide() override;
    RequestId Show() override;
    RequestId MoveTo(basic::Integer x, basic::Integer y, std::optional<basic::Integer> speed) override;
    RequestId Play(const std::string& animation) override;
    RequestId Speak(const std::string& text) override;
    void Stop() override;
    basic::Integer Width() override;
    basic::Integer Height() override;
    void SetIdleOn(basic::Boolean on) override;
    basic::Boolean SoundEffectsOn() override { return soundEffectsOn_; }
    void SetSoundEffectsOn(basic::Boolean on) override { soundEffectsOn_ = on; }
    void SetBalloonFontSize(basic::Long points) override { balloonFontSize_ = points; }
    void CommandsAdd(const std::string& name, const std::string& caption) override { menu_.Add(name, caption); }

    // --- What a renderer shows ---
    bool Visible() const { return visible_; }
    int X() const { return x_; }
    int Y() const { return y_; }
    // Her frame on the screen: the file's frame at the display's scale.
    int FrameWidth() const { return ScaledLength(file_.Info().width, settings_.scale); }
    int FrameHeight() const { return ScaledLength(file_.Info().height, settings_.scale); }
    // She is now on a display of another scale: she is drawn again at it, where she stands.
    void SetScale(double scale);
    // The current frame's picture at the display's scale (composed when it changed, then kept).
    const acs::RgbaImage& FrameImage();
    // The name of the animation whose frame is shown, and the frame's index in it.
    std::string ShownAnimation() const { return shown_.animation ? shown_.animation->name : std::string(); }
    int ShownFrameIndex() const { return shown_.frame; }
    // The balloon while the character speaks: its place and the lines shown so far.
    const std::optional<BalloonLayout>& Balloon() const { return balloon_; }
    std::vector<std::string> BalloonLinesShown() const;
    // When the host next changes something by itself; nullopt when it waits for the program or the user.
    std::optional<std::int64_t> NextChangeMs() const { return wakeAt_; }
    // Called after every change a renderer should show.
    void SetChangeListener(std::function<void()> listener) { changed_ = std::move(listener); }
    const MenuModel& Menu() const { return menu_; }
    std::size_t QueuedRequests() const { return queue_.size() + (current_ ? 1 : 0); }
    basic::Long BalloonFontSize() const { return balloonFontSize_; }

    // --- The user ---
    PointerInput& Pointer() { return pointer_; }
    void ChooseCommand(const std::string& name);
    // Called with the pointer's position when the user asks for the menu (right button).
    void SetMenuListener(std::function<void(int x, int y)> listener) { menuRequested_ = std::move(listener); }

private:
    enum class Kind { Show, Hide, Move, Play, Speak };
    struct Request {
        RequestId id = 0;
        Kind kind = Kind::Play;
        int x = 0, y = 0, speed = kDefaultMoveSpeed;
        std::string text;  // the animation, or the words spoken
    };
    struct Motion {
        int fromX, fromY, toX, toY;
        std::int64_t startMs, durationMs;
    };
    struct Speech {
        std::vector<std::string> words;
        std::size_t shown = 0;
        std::int64_t nextWordMs = 0;
        std::int64_t endMs = 0;
        std::int64_t nextMouthMs = 0;
        int mouthStep = 0;
    };
    struct ShownFrame {
        const acs::Animation* animation = nullptr;
        int frame = 0;
        std::optional<int> mouth;
        bool operator==(const ShownFrame&) const = default;
    };

    // PointerListener
    void OnClick(PointerButton button, int x, int y) override;
    void OnDoubleClick(PointerButton button, int x, int y) override;
    void OnDragStart(int x, int y) override;
    void OnDragMove(int frameX, int frameY) override;
    void OnDragComplete(int x, int y) override;
    void OnMenuRequested(int x, int y) override;

    RequestId Queue(Request request);
    // Runs whatever is due, starts the next request when the character is free, and sets the
    // next wake-up. Every change goes through here.
    void Wake();
    void StartRequest();
    bool CurrentRequestDone(std::int64_t now);
    void FinishCurrent();
    bool PlayState(const std::string& state);
    void ShowPlayerFrame();
    void UpdateMotion(std::int64_t now);
    void UpdateSpeech(std::int64_t now);
    void StartIdling();
    void ScheduleWake();
    void Post(std::function<void()> event);  // raises an event after the current call has returned
    const acs::Animation* FindAnimation(const std::string& name) const;

    std::string id_;
    acs::AcsFile file_;
    Clock& clock_;
    AgentEvents& events_;
    SoundOutput& sound_;
    StageSettings settings_;
    RequestId& nextRequestId_;
    std::map<std::string, const acs::Animation*> animationsByName_;  // upper-case name
    std::mt19937 random_;
    AnimationPlayer player_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // posted events check it

    std::deque<Request> queue_;
    std::optional<Request> current_;
    std::optional<Motion> motion_;
    std::optional<Speech> speech_;
    std::optional<std::int64_t> frameEndsMs_;
    std::optional<std::int64_t> idleAtMs_;
    int idleLevel_ = 1;

    bool visible_ = false;
    int x_ = 0, y_ = 0;
    ShownFrame shown_;
    std::optional<ShownFrame> composedFor_;
    acs::RgbaImage image_;
    std::optional<BalloonLayout> balloon_;

    basic::Boolean idleOn_ = basic::True;
    basic::Boolean soundEffectsOn_ = basic::True;
    basic::Long balloonFontSize_ = kDefaultBalloonFontSize;
    MenuModel menu_;
    PointerInput pointer_;
    bool dragging_ = false;

    std::optional<ClockTimerId> wakeTimer_;
    std::optional<std::int64_t> wakeAt_;
    bool waking_ = false;
    std::function<void()> changed_;
    std::function<void(int, int)> menuRequested_;
};

}  // namespace zinna::stage
