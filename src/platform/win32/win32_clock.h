// Real time for the program's one thread on Windows: callbacks run from the message loop when they
// are due. One window timer is armed for the earliest callback only, so nothing runs and nothing
// wakes the thread while nothing is due.
#pragma once

#include "platform/win32/windows_api.h"

#include "boundary/clock.h"

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

namespace zinna::win32 {

class Win32Clock final : public Clock {
public:
    // Every callback runs through guard, which decides what an escaping error means.
    using Guard = std::function<void(const std::function<void()>&)>;

    Win32Clock(HINSTANCE instance, Guard guard);
    ~Win32Clock() override;
    Win32Clock(const Win32Clock&) = delete;
    Win32Clock& operator=(const Win32Clock&) = delete;

    // Milliseconds since the clock was made, from the performance counter.
    std::int64_t NowMs() const override;
    ClockTimerId ScheduleAt(std::int64_t timeMs, std::function<void()> callback) override;
    void Cancel(ClockTimerId id) override;

    // How often the window timer has fired (benchmarks count the thread's wake-ups).
    std::uint64_t WakeUps() const { return wakeUps_; }

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void RunDue();
    void Arm();

    using Key = std::pair<std::int64_t, ClockTimerId>;  // due time, then order of scheduling
    HWND window_ = nullptr;
    Guard guard_;
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
    ClockTimerId nextId_ = 1;
    std::map<Key, std::function<void()>> pending_;
    std::map<ClockTimerId, std::int64_t> dueOf_;
    bool running_ = false;  // inside RunDue: it arms the timer when done
    bool immediatePosted_ = false;
    std::uint64_t wakeUps_ = 0;
};

}  // namespace zinna::win32
