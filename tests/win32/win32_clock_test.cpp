// The real-time clock of the Windows layer: callbacks run from the message loop when due, in time
// order and then in the order they were scheduled, never early; cancelled ones never; and the
// thread is not woken while nothing is due.
#include "platform/win32/windows_api.h"

#include "platform/win32/win32_clock.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using zinna::win32::Win32Clock;

Win32Clock::Guard RunDirectly() {
    return [](const std::function<void()>& work) { work(); };
}

// Runs the thread's message loop until the condition holds or the time is up; whether it held.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (!done()) {
        const DWORD waited = GetTickCount() - start;
        if (waited >= milliseconds) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - waited, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    return true;
}

void PumpFor(DWORD milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

}  // namespace

TEST_CASE("callbacks run in time order, those due together in the order scheduled, and none early") {
    Win32Clock clock(GetModuleHandleW(nullptr), RunDirectly());
    const std::int64_t start = clock.NowMs();
    struct Run {
        std::string name;
        std::int64_t due, ranAt;
    };
    std::vector<Run> runs;
    auto at = [&](const std::string& name, std::int64_t due) {
        clock.ScheduleAt(due, [&runs, &clock, name, due] { runs.push_back({name, due, clock.NowMs()}); });
    };
    at("late", start + 90);
    at("first", start + 30);
    at("second", start + 30);
    at("past", start - 1000);  // the past is as soon as possible
    REQUIRE(PumpUntil([&] { return runs.size() == 4; }, 3000));
    CHECK(runs[0].name == "past");
    CHECK(runs[1].name == "first");
    CHECK(runs[2].name == "second");
    CHECK(runs[3].name == "late");
    for (const Run& run : runs) {
        CAPTURE(run.name);
        CHECK(run.ranAt >= run.due);
        CHECK(run.ranAt < std::max(run.due, start) + 1000);
    }
}

TEST_CASE("a cancelled callback never runs, and callbacks may schedule and cancel others") {
    Win32Clock clock(GetModuleHandleW(nullptr), RunDirectly());
    std::vector<std::string> runs;
    const zinna::ClockTimerId doomed = clock.ScheduleAt(clock.NowMs() + 40, [&] { runs.push_back("doomed"); });
    clock.ScheduleAt(clock.NowMs() + 10, [&] {
        runs.push_back("canceller");
        clock.Cancel(doomed);
        // Scheduled for now from inside a callback: runs in the same pass, after this one.
        clock.ScheduleAt(clock.NowMs(), [&] { runs.push_back("follower"); });
    });
    REQUIRE(PumpUntil([&] { return runs.size() >= 2; }, 3000));
    PumpFor(150);
    CHECK(runs == std::vector<std::string>{"canceller", "follower"});
}

TEST_CASE("nothing due: the thread is not woken, and one callback wakes it about once") {
    Win32Clock clock(GetModuleHandleW(nullptr), RunDirectly());
    const zinna::ClockTimerId cancelled = clock.ScheduleAt(clock.NowMs() + 50, [] {});
    clock.Cancel(cancelled);
    PumpFor(200);
    CHECK(clock.WakeUps() == 0);

    bool ran = false;
    clock.ScheduleAt(clock.NowMs() + 60, [&] { ran = true; });
    REQUIRE(PumpUntil([&] { return ran; }, 3000));
    PumpFor(200);
    // A timer may fire a little before the counter says it is due, and is then armed once more.
    CHECK(clock.WakeUps() >= 1);
    CHECK(clock.WakeUps() <= 3);
}

TEST_CASE("every callback goes through the guard, and one that throws does not stop the others") {
    std::vector<std::string> guarded;
    Win32Clock clock(GetModuleHandleW(nullptr), [&](const std::function<void()>& work) {
        try {
            work();
            guarded.push_back("ok");
        } catch (const std::exception& error) {
            guarded.push_back(error.what());
        }
    });
    clock.ScheduleAt(clock.NowMs(), [] { throw std::runtime_error("failed"); });
    clock.ScheduleAt(clock.NowMs() + 20, [] {});
    REQUIRE(PumpUntil([&] { return guarded.size() == 2; }, 3000));
    CHECK(guarded == std::vector<std::string>{"failed", "ok"});
}
