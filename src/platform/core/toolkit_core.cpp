#include "platform/core/toolkit_core.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <exception>
#include <limits>
#include <memory>

namespace zinna::platform {

int ExitCodeOf(EndReason reason) {
    switch (reason) {
        case EndReason::LoadFailure:
            return 1;
        case EndReason::Error:
            return 2;
        case EndReason::Quit:
        case EndReason::SessionEnd:
            break;
    }
    return 0;
}

std::uint32_t TimeOfDaySeed() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    // The program's one thread is the only caller: the C library's shared result is safe here.
    const std::tm* local = std::localtime(&seconds);
    if (local == nullptr) return static_cast<std::uint32_t>(ms);
    return static_cast<std::uint32_t>(((local->tm_hour * 60 + local->tm_min) * 60 + local->tm_sec) * 1000 + ms);
}

ToolkitCore::ToolkitCore(Clock& clock) : clock_(clock) {}

ToolkitCore::~ToolkitCore() {
    if (wakeUp_) clock_.Cancel(*wakeUp_);
    for (const ClockTimerId id : posted_) clock_.Cancel(id);
}

void ToolkitCore::End(EndReason reason) { Finish(reason, true); }

void ToolkitCore::Finish(EndReason reason, bool inOrder) {
    if (endReason_) return;
    endReason_ = reason;
    endedInOrder_ = inOrder;
    if (wakeUp_) clock_.Cancel(*wakeUp_);
    wakeUp_.reset();
    for (const ClockTimerId id : posted_) clock_.Cancel(id);
    posted_.clear();
    if (platformStop_) platformStop_(reason);
    if (inOrder && endHandler_) endHandler_(reason);
}

void ToolkitCore::Guard(const std::function<void()>& work) {
    if (endReason_) return;
    try {
        work();
    } catch (const ProcessKilled&) {
        throw;
    } catch (const std::exception& error) {
        EscapedError(error.what());
    } catch (...) {
        EscapedError("an error of unknown kind");
    }
}

void ToolkitCore::EscapedError(const std::string& description) {
    // An error escaping the rescue itself is answered by the rescue's caller below.
    if (endReason_ || rescuing_) return;
    if (errorReport_) errorReport_(description);
    bool givenBack = false;
    if (rescue_) {
        rescuing_ = true;
        try {
            rescue_();
            givenBack = true;
        } catch (const ProcessKilled&) {
            rescuing_ = false;
            throw;
        } catch (...) {
            // The desktop could not be given back: the journal must stay for the next start.
        }
        rescuing_ = false;
    }
    Finish(EndReason::Error, givenBack);
}

void ToolkitCore::SetTimer1Interval(basic::Long intervalMs, TimerEvents& handler) {
    // The program sets the interval from a handler, before which the ticks whose time had come ran:
    // the old rhythm's ticks still to come go with it, as a pending tick does.
    if (wakeUp_) clock_.Cancel(*wakeUp_);
    wakeUp_.reset();
    ++timerGeneration_;
    timerHandler_ = &handler;
    timerInterval_ = intervalMs;
    countingTicks_ = 0;
    if (!Timer1Running()) return;
    // The first tick wakes the process; whether the ones after it need to is asked once the
    // handler that set the interval is done (CatchUpTimer1) or after that tick.
    nextTickAtMs_ = clock_.NowMs() + intervalMs;
    wakeUpAtMs_ = nextTickAtMs_;
    wakeUp_ = clock_.ScheduleAt(wakeUpAtMs_, [this] { WakeUp(); });
}

void ToolkitCore::CatchUpTimer1() {
    // A tick of this very millisecond comes after the handler, as its wake-up, scheduled later than
    // whatever brought the handler, would have.
    CatchUpTimer1Through(clock_.NowMs() - 1);
}

void ToolkitCore::CatchUpTimer1Through(std::int64_t lastMs) {
    // Not from inside a tick: the tick's handler is not done, and the ticks after it come after it.
    if (!Timer1Running() || inTick_) return;
    RunCountingTicks(lastMs);
    if (Timer1Running()) PlanWakeUp();
}

void ToolkitCore::RunCountingTicks(std::int64_t lastMs) {
    const std::uint64_t generation = timerGeneration_;
    while (countingTicks_ > 0 && nextTickAtMs_ <= lastMs && Timer1Running() && generation == timerGeneration_) {
        nextTickAtMs_ += timerInterval_;
        if (countingTicks_ != TimerEvents::kEveryTickOnlyCounts) --countingTicks_;
        RunTick();
    }
}

void ToolkitCore::RunTick() {
    struct InTick {
        bool& flag;
        explicit InTick(bool& f) : flag(f) { flag = true; }
        ~InTick() { flag = false; }
    } inTick(inTick_);
    TimerEvents* handler = timerHandler_;
    Guard([handler] { handler->Timer1_Timer(); });
}

void ToolkitCore::WakeUp() {
    wakeUp_.reset();
    if (!Timer1Running()) return;
    const std::uint64_t generation = timerGeneration_;
    const std::int64_t now = clock_.NowMs();
    const std::int64_t atMs = wakeUpAtMs_;
    if (inTick_) {
        // Inside a tick's message box: this tick is skipped, and so are the ones before it that
        // only counted, as each would have been had it woken the process.
        countingTicks_ = 0;
    } else {
        // The ones that only count first, all of them: the clock may wake a little early.
        RunCountingTicks(atMs);
        if (!Timer1Running() || generation != timerGeneration_) return;
    }
    // Ticks keep their rhythm; one missed while the machine slept is not made up. A wake-up that
    // comes late has run the ticks that only counted before it (waiting, the process cannot tell
    // when the machine slept) and runs itself once; the ticks after it start again from now.
    nextTickAtMs_ = atMs + timerInterval_;
    if (nextTickAtMs_ <= now) nextTickAtMs_ = now + timerInterval_;
    countingTicks_ = 0;
    if (!inTick_) RunTick();
    if (Timer1Running() && generation == timerGeneration_) PlanWakeUp();
}

void ToolkitCore::PlanWakeUp() {
    std::int64_t counting = std::max<std::int64_t>(0, timerHandler_->TicksThatOnlyCount());
    // A first tick that matters beyond any time the clock can reach is none.
    constexpr std::int64_t kLatest = std::numeric_limits<std::int64_t>::max();
    if (counting > (kLatest - nextTickAtMs_) / timerInterval_ - 1) counting = TimerEvents::kEveryTickOnlyCounts;
    if (counting == countingTicks_ && (wakeUp_ || counting == TimerEvents::kEveryTickOnlyCounts)) return;
    if (wakeUp_) clock_.Cancel(*wakeUp_);
    wakeUp_.reset();
    countingTicks_ = counting;
    if (counting == TimerEvents::kEveryTickOnlyCounts) return;
    wakeUpAtMs_ = nextTickAtMs_ + counting * timerInterval_;
    wakeUp_ = clock_.ScheduleAt(wakeUpAtMs_, [this] { WakeUp(); });
}

void ToolkitCore::Post(std::function<void()> work) {
    if (endReason_) return;
    // The id is known only once scheduled: the callback finds it through a shared slot.
    auto id = std::make_shared<ClockTimerId>(0);
    *id = clock_.ScheduleAt(clock_.NowMs(), [this, id, work = std::move(work)] {
        posted_.erase(*id);
        Guard(work);
    });
    posted_.insert(*id);
}

}  // namespace zinna::platform
