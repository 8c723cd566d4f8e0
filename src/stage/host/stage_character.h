// The built-in character host's character: it plays the program's requests in the order queued,
// on the clock, with the character's own animations, and tells renderers what to show. Renderers
// feed it the user's pointer and menu choices; it raises the control's events from them. The
// parts are its own classes: the request queue, the move under way, the speech and its balloon,
// the frame shown and the wake-up timer; this class decides when each runs.
#pragma once

#include "basic/error_numbers.h"
#include "boundary/agent_control.h"
#include "boundary/clock.h"
#include "stage/acs/acs_reader.h"
#include "stage/host/animation_player.h"
#include "stage/host/balloon_layout.h"
#include "stage/host/frame_picture.h"
#include "stage/host/menu_model.h"
#include "stage/host/motion.h"
#include "stage/host/pointer_input.h"
#include "stage/host/request_queue.h"
#include "stage/host/speech.h"
#include "stage/host/wake_timer.h"
#include "stage/acs/frame_compositor.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

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

// The control's error codes.
inline constexpr std::uint32_t kErrAnimationNotFound = basic::kControlErrAnimationNotFound;

class StageCharacter final : public AgentCharacter, private PointerListener {
public:
    StageCharacter(std::string id, acs::AcsFile file, Clock& clock, AgentEvents& events, SoundOutput& sound,
                   StageSettings settings, RequestId& nextRequestId);
    ~StageCharacter() override;
    StageCharacter(const StageCharacter&) = delete;
    StageCharacter& operator=(const StageCharacter&) = delete;

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
    int FrameWidth() const { return frame_.Width(); }
    int FrameHeight() const { return frame_.Height(); }
    double Scale() const { return settings_.scale; }
    // She is now on a display of another scale: she is drawn again at it, where she stands. A
    // scale above kMaxScale throws std::out_of_range.
    void SetScale(double scale);
    static constexpr double kMaxScale = 8.0;  // 768 dots per inch
    // What the current frame's picture is made of: the same key, the same picture.
    const FrameKey& ShownFrameKey() { return frame_.Key(); }
    // The current frame's picture at the display's scale (composed when first asked for after a
    // change, then kept).
    const acs::RgbaImage& FrameImage() { return frame_.Picture(); }
    // The name of the animation whose frame is shown, and the frame's index in it.
    std::string ShownAnimation() const { return frame_.Animation() ? frame_.Animation()->name : std::string(); }
    int ShownFrameIndex() const { return frame_.FrameIndex(); }
    // The balloon while the character speaks: its place and the lines shown so far.
    const std::optional<BalloonLayout>& Balloon() const { return speech_.Balloon(); }
    std::vector<std::string> BalloonLinesShown() const { return speech_.LinesShown(); }
    // When the host next changes something by itself; nullopt when it waits for the program or the user.
    std::optional<std::int64_t> NextChangeMs() const { return wakeTimer_.DueMs(); }
    // The frame she shows next by herself, and when, where nothing can come before it: the next
    // frame of the animation playing, reached without a branch or a sound, with no move, speech or
    // idling due and the pointer not holding her. A renderer whose screen can show a picture at a
    // later time by itself may hand it over ahead (FrameShownAhead).
    struct FrameAhead {
        FrameKey key;
        std::int64_t atMs = 0;
    };
    std::optional<FrameAhead> NextFrameAhead() const;
    // The renderer has handed NextFrameAhead()'s frame to the screen, to be shown at atMs without
    // her (nullopt: what it handed no longer stands). While that frame is still the one that comes
    // next, its boundary gets no wake-up of its own: the next change the screen needs her for
    // handles it, at its own time.
    void FrameShownAhead(std::optional<std::int64_t> atMs);
    // Called after every change a renderer should show.
    void SetChangeListener(std::function<void()> listener) { changed_ = std::move(listener); }
    const MenuModel& Menu() const { return menu_; }
    std::size_t QueuedRequests() const { return requests_.Count(); }
    basic::Long BalloonFontSize() const { return balloonFontSize_; }

    // --- The user ---
    PointerInput& Pointer() { return pointer_; }
    // The clock she runs on (her presenter paces her window's moves by it).
    Clock& HostClock() { return clock_; }
    void ChooseCommand(const std::string& name);
    // Called with the pointer's position when the user asks for the menu (right button).
    void SetMenuListener(std::function<void(int x, int y)> listener) { menuRequested_ = std::move(listener); }

private:
    // PointerListener
    void OnClick(PointerButton button, int x, int y) override;
    void OnDoubleClick(PointerButton button, int x, int y) override;
    void OnDragStart(int x, int y) override;
    void OnDragMove(int frameX, int frameY) override;
    void OnDragComplete(int x, int y) override;
    void OnMenuRequested(int x, int y) override;

    RequestId Queue(Request request);
    // The wake-up: catches up to now, sets the next wake-up and tells the renderer. Every change
    // the host makes by itself goes through here.
    void Wake();
    // Before anything from outside (the program, the user, the display): a boundary left to the
    // next wake-up that is already due is handled now, so no caller sees her behind the time.
    void Present();
    // Handles every boundary due by target, each at its own time and in order, as if the host had
    // woken at each one. Returns how many it handled.
    int CatchUp(std::int64_t target);
    // Runs whatever is due at now, and starts the next request when the character is free.
    void Step(std::int64_t now);
    // The next boundary: when the host has something to do by itself (nullopt: nothing).
    std::optional<std::int64_t> DueMs() const;
    // When the boundary at due changes nothing on the screen: the time of the next change that
    // does, which handles both.
    // frameIndex is the animation's frame shown until due (the current one, or the one shown ahead).
    std::optional<std::int64_t> QuietUntilMs(std::int64_t due, int frameIndex) const;
    // When the boundary at due only shows the animation's next frame, as NextFrameAhead says: that
    // frame's index.
    std::optional<int> PlainNextFrame(std::int64_t due) const;
    void StartRequest();
    void StartSpeech(const std::string& text, std::int64_t now);
    bool CurrentRequestDone(std::int64_t now) const;
    void FinishCurrent();
    bool PlayState(const std::string& state);
    void ShowPlayerFrame();
    void UpdateMotion(std::int64_t now);
    void UpdateSpeech(std::int64_t now);
    bool Free() const;  // nothing to do: no request and no animation
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
    std::map<std::string, const acs::Animation*> animationsByName_;  // upper-case name
    std::mt19937 random_;
    AnimationPlayer player_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // posted events check it

    RequestQueue requests_;
    std::optional<Motion> motion_;
    Speech speech_;  // with its balloon
    std::optional<std::int64_t> frameEndsMs_;
    std::optional<std::int64_t> idleAtMs_;
    int idleLevel_ = 1;

    bool visible_ = false;
    int x_ = 0, y_ = 0;
    FramePicture frame_;

    basic::Boolean idleOn_ = basic::True;
    basic::Boolean soundEffectsOn_ = basic::True;
    basic::Long balloonFontSize_ = kDefaultBalloonFontSize;
    MenuModel menu_;
    PointerInput pointer_;
    bool dragging_ = false;

    WakeTimer wakeTimer_;
    bool waking_ = false;
    // The host's own time: the time of the boundary handled last, or of the last call from
    // outside. A request starts, a move sets off and a frame's time runs from here.
    std::int64_t hostNowMs_ = 0;
    std::optional<std::int64_t> deferredMs_;    // a quiet boundary left to the next wake-up
    std::optional<std::int64_t> shownAheadMs_;  // the boundary whose frame the renderer handed over ahead
    std::function<void()> changed_;
    std::function<void(int, int)> menuRequested_;
};

}  // namespace zinna::stage
