#include "platform/win32/windows_api.h"

#include "platform/win32/win32_clock.h"

#include <algorithm>
#include <stdexcept>

namespace zinna::win32 {

namespace {

constexpr const wchar_t* kClockWindowClass = L"ZinnaClockWindow";
constexpr UINT_PTR kDueTimerId = 1;
constexpr UINT kRunDueMessage = WM_APP + 1;  // something is already due: run it without a timer

}  // namespace

Win32Clock::Win32Clock(HINSTANCE instance, Guard guard) {
    SetGuard(std::move(guard));
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &Win32Clock::WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClockWindowClass;
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("cannot register the clock's window class");
    // A message-only window: it is never shown, enumerated or broadcast to.
    window_ = CreateWindowExW(0, kClockWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    if (window_ == nullptr) throw std::runtime_error("cannot create the clock's window");
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32Clock::~Win32Clock() {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
}

LRESULT CALLBACK Win32Clock::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* clock = reinterpret_cast<Win32Clock*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (clock != nullptr && ((message == WM_TIMER && wParam == kDueTimerId) || message == kRunDueMessage)) {
        if (message == kRunDueMessage) clock->immediatePosted_ = false;
        ++clock->wakeUps_;
        clock->RunDue();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::int64_t Win32Clock::NowMs() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const std::int64_t ticks = now.QuadPart - start_.QuadPart;
    return ticks / frequency_.QuadPart * 1000 + ticks % frequency_.QuadPart * 1000 / frequency_.QuadPart;
}

void Win32Clock::NextDueChanged() {
    const std::optional<std::int64_t> due = NextDueMs();
    if (!due) {
        KillTimer(window_, kDueTimerId);
        return;
    }
    const std::int64_t wait = *due - NowMs();
    if (wait <= 0) {
        KillTimer(window_, kDueTimerId);
        if (!immediatePosted_) immediatePosted_ = PostMessageW(window_, kRunDueMessage, 0, 0) != FALSE;
        return;
    }
    // SetTimer with the same id replaces the previous timer: only the earliest callback is armed.
    SetTimer(window_, kDueTimerId, static_cast<UINT>(std::min<std::int64_t>(wait, USER_TIMER_MAXIMUM)), nullptr);
}

}  // namespace zinna::win32
