// Timer1 in the toolkit core on a clock the test moves by hand, so that it can also stand still
// while time goes on (the machine asleep) and then run whatever came due at once.
#include "platform/core/queued_clock.h"
#include "platform/core/toolkit_core.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <vector>

namespace {

class HandClock final : public zinna::platform::QueuedClock {
public:
    std::int64_t NowMs() const override { return now_; }
    // Awake until timeMs: each callback runs at its own time.
    void AwakeUntil(std::int64_t timeMs) {
        RunDue(timeMs);
        now_ = std::max(now_, timeMs);
    }
    // Asleep until timeMs: nothing runs meanwhile, then whatever came due runs at once.
    void AsleepUntil(std::int64_t timeMs) {
        now_ = timeMs;
        RunDue(timeMs);
    }

private:
    void Reached(std::int64_t dueMs) override { now_ = std::max(now_, dueMs); }
    std::int64_t now_ = 0;
};

// Counts its ticks; every fifth one matters, the four before it only count.
class EveryFifth final : public zinna::TimerEvents {
public:
    explicit EveryFifth(const HandClock& clock) : clock_(clock) {}
    void Timer1_Timer() override { times.push_back(clock_.NowMs()); }
    std::int64_t TicksThatOnlyCount() override { return 4 - static_cast<std::int64_t>(times.size() % 5); }
    std::vector<std::int64_t> times;

private:
    const HandClock& clock_;
};

}  // namespace

TEST_CASE("ticks that only count run at the tick that matters or at a catch-up, each once, in order") {
    HandClock clock;
    zinna::platform::ToolkitCore core(clock);
    EveryFifth ticks(clock);
    core.SetTimer1Interval(1000, ticks);
    core.CatchUpTimer1();  // the handler that set the interval is done

    clock.AwakeUntil(4999);
    CHECK(ticks.times.empty());
    clock.AwakeUntil(12500);
    CHECK(ticks.times == std::vector<std::int64_t>{5000, 5000, 5000, 5000, 5000, 10000, 10000, 10000, 10000, 10000});
    core.CatchUpTimer1();  // another handler comes: the two whose time came run before it
    CHECK(ticks.times.size() == 12);
    CHECK(ticks.times.back() == 12500);
    clock.AwakeUntil(15000);
    CHECK(ticks.times.size() == 15);
    CHECK(ticks.times.back() == 15000);
}

TEST_CASE("asleep through the tick that matters: it runs once on waking, and the rhythm starts from there") {
    HandClock clock;
    zinna::platform::ToolkitCore core(clock);
    EveryFifth ticks(clock);
    core.SetTimer1Interval(1000, ticks);
    core.CatchUpTimer1();

    clock.AwakeUntil(2500);
    clock.AsleepUntil(60300);
    // The four that only counted before it, then the one that matters; none for the 55 seconds
    // after it.
    CHECK(ticks.times == std::vector<std::int64_t>(5, 60300));
    clock.AwakeUntil(65299);
    CHECK(ticks.times.size() == 5);
    clock.AwakeUntil(65300);
    CHECK(ticks.times.size() == 10);
    CHECK(ticks.times.back() == 65300);
}
