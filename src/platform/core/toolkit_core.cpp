#include "platform/core/toolkit_core.h"

#include <chrono>
#include <ctime>
#include <exception>
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
    if (nextTick_) clock_.Cancel(*nextTick_);
    for (const ClockTimerId id : posted_) clock_.Cancel(id);
}

void ToolkitCore::End(EndReason reason) { Finish(reason, true); }

void ToolkitCore::Finish(EndReason reason, bool inOrder) {
    if (endReason_) return;
    endReason_ = reason;
    endedInOrder_ = inOrder;
    if (nextTick_) clock_.Cancel(*nextTick_);
    nextTick_.reset();
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
    if (nextTick_) clock_.Cancel(*nextTick_);
    nextTick_.reset();
    timerHandler_ = &handler;
    timerInterval_ = intervalMs;
    if (intervalMs > 0 && !endReason_) ScheduleTick(clock_.NowMs() + intervalMs);
}

void ToolkitCore::ScheduleTick(std::int64_t atMs) {
    nextTick_ = clock_.ScheduleAt(atMs, [this, atMs] {
        nextTick_.reset();
        if (endReason_ || timerInterval_ <= 0) return;
        // Ticks keep their rhythm; one missed while the machine slept is not made up.
        const std::int64_t now = clock_.NowMs();
        std::int64_t next = atMs + timerInterval_;
        if (next <= now) next = now + timerInterval_;
        ScheduleTick(next);
        if (inTick_ || timerHandler_ == nullptr) return;
        struct InTick {
            bool& flag;
            explicit InTick(bool& f) : flag(f) { flag = true; }
            ~InTick() { flag = false; }
        } inTick(inTick_);
        TimerEvents* handler = timerHandler_;
        Guard([handler] { handler->Timer1_Timer(); });
    });
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
