// The whole simulated run: the simulated desktop and toolkit, the simulated character control and
// the unchanged program, on one virtual clock, with the user's scripted actions.
#pragma once

#include "lifecycle/zinna_form.h"
#include "platform/journal/journaling_module.h"
#include "platform/journal/restore_journal.h"
#include "platform/sim/sim_agent_control.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_toolkit.h"
#include "platform/sim/run_summary.h"
#include "platform/sim/trace.h"
#include "platform/sim/user_script.h"
#include "platform/sim/screen_picture.h"
#include "platform/sim/traced_control.h"
#include "platform/sim/virtual_clock.h"
#include "platform/sim/recorded_surface.h"
#include "stage/host/stage_presenter.h"
#include "stage/host/stage_control.h"

#include <filesystem>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace zinna::sim {

struct SimConfig {
    SimScreen screen;
    SimDesktopConfig desktop;
    SimCharacterConfig character;  // the simple control's frame size
    // The character data file the built-in host plays as the Windows directory's zinna.acs; without
    // one, the simple simulated control with its timing model stands in for the host.
    std::optional<std::filesystem::path> characterFile;
    // The frame size the character reports to the program, instead of the file's.
    std::optional<std::pair<int, int>> reportedFrameSize;
    // The bitmap shown for the Windows directory's LH1024x768.bmp in pictures of the screen.
    std::optional<std::filesystem::path> wallpaperFile;
    std::uint32_t seed = 1;
    std::vector<float> firstRandomNumbers;
    std::shared_ptr<FailurePlan> failures = std::make_shared<FailurePlan>();
    std::vector<UserAction> script;
    // The simulated user's desktop and Zinna's restore journal live in this folder between runs.
    std::optional<std::filesystem::path> stateDir;
    // The process is killed at this time, after what was due then, or while a message box shows.
    std::optional<std::int64_t> killAtMs;
    bool killAtMessageBox = false;
    bool restoreOnly = false;  // zinna-sim --restore: only the journal's recovery step
};

// The files in a state folder.
inline constexpr char kSimDesktopFile[] = "desktop";
inline constexpr char kSimJournalFile[] = "restore.journal";
// The simulated desktop's name in a journal.
inline constexpr char kSimDesktopName[] = "zinna-sim";
// The settings backend it names: the simulated registry.
inline constexpr char kSimBackendName[] = "registry";

class SimWorld {
public:
    explicit SimWorld(SimConfig config);

    // Starts the program at t = 0 and runs until the program ends, the time is up or the process
    // is killed. Ends with the "end" event for a run whose time ran out or that was killed, then
    // the "state" of the desktop. With restoreOnly, runs only the journal's recovery.
    void Run(std::int64_t durationMs);
    // The same in steps: Start schedules start-up and the script, RunUntil moves the clock on (it
    // stops early when the program ends), Finish records how the run ended and the desktop.
    void Start();
    void RunUntil(std::int64_t timeMs);
    void Finish();
    // The process dies: no program code runs after this and nothing is given back.
    void Kill();
    bool Killed() const { return killed_; }
    // The recovery step alone (a journal left by an earlier run), then the end and the state.
    void RestoreOnly();

    Trace& GetTrace() { return trace_; }
    SimDesktop& Desktop() { return desktop_; }
    SimToolkit& Toolkit() { return toolkit_; }
    ZinnaForm& Form() { return form_; }
    // The control the program created (the simple one, or the built-in host); null before the
    // program created it.
    SimAgentControl* Control() { return simpleControl_; }
    stage::StageControl* Host() { return host_; }
    // Her windows as the built-in host's presenter drew them; null before her character is loaded.
    const RecordedSurface* Surface() const { return Presenter() ? &surface_ : nullptr; }
    stage::StagePresenter* Presenter() const;
    const std::vector<std::size_t>& SoundsPlayed() const { return sounds_.played; }
    // The user's desktop values Zinna changes, as they are now (read without tracing).
    DesktopLook DesktopNow() const;
    // The screen as it looks now: desktop colour, wallpaper, the character and her balloon.
    acs::RgbaImage PictureOfScreen();
    int ScreenWidth() const { return config_.screen.widthPixels; }
    int ScreenHeight() const { return config_.screen.heightPixels; }
    VirtualClock& GetClock() { return clock_; }

private:
    struct RecordedSound final : stage::SoundOutput {
        Trace* trace = nullptr;
        std::vector<std::size_t> played;  // sizes of the wave files played
        void Play(std::span<const std::uint8_t> waveFile) override;
    };

    std::unique_ptr<AgentControl> CreateControl(AgentEvents& program);
    std::vector<std::uint8_t> ReadCharacterFile(const std::string& path) const;
    void Perform(const UserAction& action);
    void RunPosted();
    void RecordState();
    ZinnaModule& ProgramModule();
    journal::DesktopRecord UserDesktopRecord() const;
    void SaveState();

    SimConfig config_;
    VirtualClock clock_;
    Trace trace_;
    SimDesktop desktop_;
    SimToolkit toolkit_;
    RecordedSound sounds_;
    std::optional<std::optional<acs::RgbaImage>> wallpaperPicture_;  // read when first painted
    std::unique_ptr<TracedEvents> tracedEvents_;
    SimAgentControl* simpleControl_ = nullptr;
    stage::StageControl* host_ = nullptr;
    RecordedSurface surface_{false};
    class PresentedHost;
    PresentedHost* presented_ = nullptr;        // the built-in host with its presenter, owned by the program
    std::deque<std::function<void()>> posted_;  // the presenter's work after the user's action
    std::unique_ptr<journal::JournalFile> journalFile_;
    std::unique_ptr<journal::RestoreJournal> journal_;
    std::unique_ptr<journal::JournalingModule> journaling_;
    bool killed_ = false;
    ZinnaForm form_;  // last: it is given the module above
};

}  // namespace zinna::sim
