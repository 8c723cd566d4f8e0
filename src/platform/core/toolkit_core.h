// What every window toolkit does the same way, whatever draws its windows: how the program ends
// (the end reasons' exit codes, nothing running after the end), the guard around every handler
// and what an error that escapes it means, Timer1 on a clock, and the random generator's seed.
// The Windows, X11 and simulated toolkits each own one and add only their platform's part.
#pragma once

#include "basic/numeric.h"
#include "basic/random.h"
#include "boundary/clock.h"
#include "boundary/window_toolkit.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>

namespace zinna::platform {

// The program's exit code: 0 after a quit or the session's end, 1 after a failed character load,
// 2 after an error.
int ExitCodeOf(EndReason reason);

// Milliseconds since local midnight, as the old runtime's timer seeds its random generator.
std::uint32_t TimeOfDaySeed();

// Thrown where a simulated process is killed: it goes through every guard untouched, as a real
// kill stops the process where it stands.
struct ProcessKilled {};

class ToolkitCore {
public:
    explicit ToolkitCore(Clock& clock);
    ~ToolkitCore();
    ToolkitCore(const ToolkitCore&) = delete;
    ToolkitCore& operator=(const ToolkitCore&) = delete;

    // --- The end ---------------------------------------------------------------------------------
    // The program ends itself; each of its endings has given the desktop back first. Timer1 stops,
    // posted work is dropped, the platform stops its loop, and the end handler hears the reason
    // (the restore journal goes). Only the first end counts.
    void End(EndReason reason);
    bool Ended() const { return endReason_.has_value(); }
    std::optional<EndReason> EndedWith() const { return endReason_; }
    int ExitCode() const { return endReason_ ? ExitCodeOf(*endReason_) : 0; }
    // Whether the end handler ran: false after an escaped error whose desktop could not be given back.
    bool EndedInOrder() const { return endedInOrder_; }

    // --- The guard ---------------------------------------------------------------------------------
    // Runs work unless the program has ended. An error that escapes it (the program reports its own
    // errors, so this one escaped every handler) ends the program:
    //  - the program is asked to give the user's desktop back (the desktop rescue);
    //  - when the rescue returns, the desktop is back: the program ends with EndReason::Error in
    //    order, and the end handler runs (the journal goes) - unless the rescue ended it itself;
    //  - when the rescue throws, or there is none, the desktop may still wear Zinna's look: the
    //    program ends with EndReason::Error without the end handler, so the restore journal stays
    //    and the next start gives the desktop back from it.
    void Guard(const std::function<void()>& work);

    // Gives the desktop back after an escaped error, or throws when it cannot.
    void SetDesktopRescue(std::function<void()> rescue) { rescue_ = std::move(rescue); }
    // Hears the end of a program that ended in order (see End).
    void SetEndHandler(std::function<void(EndReason)> handler) { endHandler_ = std::move(handler); }
    // The platform's own part of every end (its loop stops), run once before the end handler.
    void SetPlatformStop(std::function<void(EndReason)> stop) { platformStop_ = std::move(stop); }
    // Where the description of an escaped error goes (the platform's report; none by default).
    void SetErrorReport(std::function<void(const std::string&)> report) { errorReport_ = std::move(report); }

    // --- Timer1 ----------------------------------------------------------------------------------
    // Ticks every intervalMs on the clock, keeping its rhythm (a tick missed while the machine
    // slept is not made up). A tick that comes while the previous one's handler still runs (inside a
    // message box) is skipped. 0 stops it; a new interval starts the rhythm from now.
    //
    // Ticks the handler says only count (TimerEvents::TicksThatOnlyCount) do not wake the process:
    // each is run when its time has come and CatchUpTimer1 is called (before and after the program's
    // other handlers), or right before the tick that matters, which wakes it at its own time. They
    // still run in order, each once, as when each woke the process.
    void SetTimer1Interval(basic::Long intervalMs, TimerEvents& handler);
    bool Timer1Running() const { return !endReason_ && timerHandler_ != nullptr && timerInterval_ > 0; }
    void CatchUpTimer1();
    // The same for the ticks up to and including lastMs (a run that ends at lastMs).
    void CatchUpTimer1Through(std::int64_t lastMs);

    // --- Posted work -------------------------------------------------------------------------------
    // Runs work on the clock as soon as possible after the caller returns, in order, guarded;
    // dropped at the end.
    void Post(std::function<void()> work);

    // --- The random generator --------------------------------------------------------------------
    void Randomize() { random_.Randomize(TimeOfDaySeed()); }
    float Rnd() { return random_.Rnd(); }

private:
    void EscapedError(const std::string& description);
    void Finish(EndReason reason, bool inOrder);
    void WakeUp();
    // Runs the ticks that only count whose time is at or before lastMs.
    void RunCountingTicks(std::int64_t lastMs);
    void RunTick();
    // Asks the handler how many coming ticks only count, and moves the wake-up to the first tick
    // that matters.
    void PlanWakeUp();

    Clock& clock_;
    std::optional<EndReason> endReason_;
    bool endedInOrder_ = false;
    bool rescuing_ = false;
    std::function<void()> rescue_;
    std::function<void(EndReason)> endHandler_;
    std::function<void(EndReason)> platformStop_;
    std::function<void(const std::string&)> errorReport_;
    TimerEvents* timerHandler_ = nullptr;
    basic::Long timerInterval_ = 0;
    std::uint64_t timerGeneration_ = 0;  // a new interval (or stop) since a handler was called
    std::int64_t nextTickAtMs_ = 0;      // the first tick not run yet
    std::int64_t countingTicks_ = 0;     // how many ticks from nextTickAtMs_ on only count
    std::optional<ClockTimerId> wakeUp_;
    std::int64_t wakeUpAtMs_ = 0;
    bool inTick_ = false;
    std::set<ClockTimerId> posted_;
    basic::BasicRandom random_;
};

// The part of a WindowToolkit that every platform answers alike, through its ToolkitCore: Timer1,
// the random generator, the end, and what the platform and its tests ask about the end. A
// platform's toolkit derives from it and adds the screen, the message box, its loop and its objects.
class CoreToolkit : public WindowToolkit {
public:
    void SetTimer1Interval(basic::Long intervalMs, TimerEvents& handler) override {
        core_.SetTimer1Interval(intervalMs, handler);
    }
    void CatchUpTimer1() override { core_.CatchUpTimer1(); }
    void CatchUpTimer1Through(std::int64_t lastMs) { core_.CatchUpTimer1Through(lastMs); }
    void Randomize() override { core_.Randomize(); }
    float Rnd() override { return core_.Rnd(); }
    void End(EndReason reason) override { core_.End(reason); }

    std::optional<EndReason> EndedWith() const { return core_.EndedWith(); }
    // Whether the end handler heard the end (not after an escaped error whose desktop stayed dressed).
    bool EndedInOrder() const { return core_.EndedInOrder(); }
    // Called when the program ends in order (each of its endings gives the desktop back first);
    // not when an error escaped every handler and the desktop could not be given back.
    void SetEndHandler(std::function<void(EndReason)> handler) { core_.SetEndHandler(std::move(handler)); }
    // Gives the desktop back after an error escaped every handler (see ToolkitCore::Guard).
    void SetDesktopRescue(std::function<void()> rescue) { core_.SetDesktopRescue(std::move(rescue)); }

protected:
    explicit CoreToolkit(Clock& clock) : core_(clock) {}

    ToolkitCore core_;
};

}  // namespace zinna::platform
