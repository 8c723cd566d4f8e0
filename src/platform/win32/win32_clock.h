// Real time for the program's one thread on Windows: callbacks run from the message loop when they
// are due. One window timer is armed for the earliest callback only, so nothing runs and nothing
// wakes the thread while nothing is due.
#pragma once

#include "platform/win32/windows_api.h"

#include "platform/core/queued_clock.h"

#include <cstdint>

namespace zinna::win32 {

class Win32Clock final : public platform::QueuedClock {
public:
    // Every callback runs through guard, which decides what an escaping error means.
    Win32Clock(HINSTANCE instance, Guard guard);
    ~Win32Clock() override;
    Win32Clock(const Win32Clock&) = delete;
    Win32Clock& operator=(const Win32Clock&) = delete;

    // Milliseconds since the clock was made, from the performance counter.
    std::int64_t NowMs() const override;

    // How often the window timer has fired (benchmarks count the thread's wake-ups).
    std::uint64_t WakeUps() const { return wakeUps_; }

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The wake-up: one window timer for the earliest callback, or a message when it is due now.
    void NextDueChanged() override;

    HWND window_ = nullptr;
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
    bool immediatePosted_ = false;
    std::uint64_t wakeUps_ = 0;
};

}  // namespace zinna::win32
