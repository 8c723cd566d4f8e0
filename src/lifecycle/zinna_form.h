// ZinnaForm, the main window: it owns all of the program's state and all of its procedures. The
// procedures are implemented in the folder of their area (character/, choreography/, desktop/,
// web/, lifecycle/); the form talks to the world only through its three boundaries.
#pragma once

#include "basic/basic_error.h"
#include "basic/numeric.h"
#include "boundary/agent_control.h"
#include "boundary/zinna_module.h"
#include "lifecycle/event_dispatch.h"
#include "boundary/window_toolkit.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zinna {

// The arguments of one flight across the screen.
struct FlightPlan {
    basic::Integer StartX = 0;
    basic::Integer StartY = 0;
    basic::Integer EndX = 0;
    basic::Integer EndY = 0;
    basic::Long Steps = 0;
};

// What reading a registry value at start-up found, so that the restore puts back exactly that.
enum class RegReadOutcome {
    Read,          // the value was read whole
    ValueMissing,  // the key opened but the value does not exist
    Failed,        // the key could not be opened, or the value could not be read
};

struct SavedRegValue {
    RegReadOutcome outcome = RegReadOutcome::Failed;
    std::uint32_t type = REG_SZ;
    std::vector<std::uint8_t> data;  // the stored bytes, as read
};

// Thrown by End() to unwind out of whatever handler ended the program; the dispatch point stops it.
struct ProgramEnded {
    EndReason reason;
};

class ZinnaForm {
public:
    ZinnaForm(WindowToolkit& toolkit, ZinnaModule& module);
    ZinnaForm(const ZinnaForm&) = delete;
    ZinnaForm& operator=(const ZinnaForm&) = delete;

    // The one way in for the platform: start-up, the timer and the control's events.
    EventDispatch& Dispatch() { return dispatch_; }

    // --- Form-level fields -------------------------------------------------------------------
    std::unique_ptr<AgentControl> Agent1;
    AgentCharacter* oCharacter = nullptr;
    std::string sWindowsDir;
    basic::Long lOldDesktopColor = 0;
    basic::Long lScreenWidth = 0;
    basic::Long lScreenHeight = 0;
    WindowHandle hStartBar = 0;
    Rect rcStartBar;
    std::string sOldWallPaper;
    std::string sOldTileWallPaper;
    std::string sOldWallPaperStyle;
    basic::Boolean bRandom = basic::False;
    basic::Integer iTickCount = 0;
    basic::Long iEggCount = 0;

    // --- Start-up and quit (lifecycle/) ---------------------------------------------------------
    void Form_Initialize();
    void Form_Load();
    void GetWindowsHome();
    void RestoreAndQuit();
    // Logoff or shutdown: the desktop is put back before the program ends.
    void EndSession();
    // An error left a handler: put the desktop back, report the error, end the program.
    void EndWithUnhandledError(const basic::BasicError& error);
    // An error escaped even that: the desktop is put back (or the error of putting it back goes to
    // the caller) and the program ends.
    void EndAfterEscapedError();
    bool HasEnded() const { return ended_; }

    // --- The character (character/) ------------------------------------------------------------
    void LoadAgent(const std::string& sAgentName);
    void CenterAgent(const std::string& sAgentName);
    void AddMenuCommands();
    void Agent1_Command(const std::string& name);
    void ToggleSound();
    void Agent1_DblClick(const std::string& CharacterID, basic::Integer Button, basic::Integer Shift, basic::Integer X,
                         basic::Integer Y);
    void Agent1_DragStart(const std::string& CharacterID, basic::Integer Button, basic::Integer Shift, basic::Integer X,
                          basic::Integer Y);
    void Agent1_DragComplete(const std::string& CharacterID, basic::Integer Button, basic::Integer Shift,
                             basic::Integer X, basic::Integer Y);
    void Agent1_RequestStart(RequestId Request);
    void Agent1_RequestComplete(RequestId Request);
    void Agent1_IdleStart(const std::string& CharacterID);

    // --- Choreography (choreography/) ------------------------------------------------------------
    void PerformKiss();
    void PerformDance();
    void PerformLongDance();
    void PerformCredits();
    FlightPlan RightwardFlightPlan();
    FlightPlan LeftwardFlightPlan();
    void FlyRightAcross(basic::Integer StartX, basic::Integer StartY, basic::Integer EndX, basic::Integer EndY,
                        basic::Long Steps);
    void FlyLeftAcross(basic::Integer StartX, basic::Integer StartY, basic::Integer EndX, basic::Integer EndY,
                       basic::Long Steps);
    void PlayOpening();
    void Timer1_Timer();
    // How many of the coming ticks only count (TimerEvents::TicksThatOnlyCount): all of them while
    // random mode is off, else those before the one that starts a performance.
    std::int64_t TicksThatOnlyCount() const;

    // --- The desktop (desktop/) ------------------------------------------------------------------
    void SetRegString(RegistryKey hKey, const std::string& sKeyPath, const std::string& sValueName,
                      const std::string& sData);
    // The value as text; "ERROR" when the key cannot be opened. When raw is given it receives what
    // was found, so that a restore can tell a missing or unreadable value from a text.
    std::string GetRegString(RegistryKey hKey, const std::string& sKeyPath, const std::string& sValueName,
                             SavedRegValue* raw = nullptr);
    void SaveOldWallPaper();
    void ChangeWallPaper(const std::string& NewPaper, const std::string& DisplayType);
    void LoadOldWallPaper();
    void LocateStartBar();
    void MinimizeAllOpenWindows();

    // --- The web page (web/) ------------------------------------------------------------------
    void LaunchBrowser2();

private:
    [[noreturn]] void End(EndReason reason);
    // oCharacter, or the runtime's error 91 when no character was loaded.
    AgentCharacter& Character();
    // Puts back whatever start-up changed on the desktop, each part once, each part even when
    // another fails.
    void RestoreDesktop();
    void RestoreRegValue(const std::string& sValueName, const SavedRegValue& saved);
    void DeleteRegValue(RegistryKey hKey, const std::string& sKeyPath, const std::string& sValueName);
    void SetTimer1Interval(basic::Long intervalMs);
    // The queue-and-place pattern every performance shares; returns after the character is shown.
    void HideAndPlaceOnTaskbar(bool drawBeforeSize, bool setCreditsFont);
    void FlyAcross(const FlightPlan& plan, const char* const* cycle, int cycleLength);

    WindowToolkit& toolkit_;
    ZinnaModule& module_;
    EventDispatch dispatch_;

    bool formLoaded_ = false;
    bool ended_ = false;
    // What start-up changed on the desktop and has not been put back yet.
    bool wallpaperChanged_ = false;
    bool desktopColorChanged_ = false;
    SavedRegValue savedWallPaper_;
    SavedRegValue savedTileWallPaper_;
    SavedRegValue savedWallPaperStyle_;
};

}  // namespace zinna
