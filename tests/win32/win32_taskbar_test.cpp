// The taskbar as the Windows layer finds it. Runs inside a virtual desktop with a shell,
// `wine explorer /desktop=shell,1024x768`, where Wine draws a taskbar at the bottom of the screen.
#include "platform/win32/windows_api.h"

#include "platform/win32/win32_module.h"

#include <doctest/doctest.h>

TEST_CASE("the taskbar is found by its class and an empty title, and its rectangle is on the screen's bottom edge") {
    zinna::win32::Win32Module module;
    const zinna::WindowHandle taskbar = module.FindWindowA("Shell_TrayWnd", "");
    REQUIRE(taskbar != 0);
    CHECK(module.FindWindowA("Shell_TrayWnd", nullptr) == taskbar);
    CHECK(module.FindWindowA("Shell_TrayWnd", "Taskbar") == 0);

    zinna::Rect rect;
    REQUIRE(module.GetWindowRect(taskbar, &rect));
    CAPTURE(rect.Left);
    CAPTURE(rect.Top);
    CAPTURE(rect.Right);
    CAPTURE(rect.Bottom);
    CHECK(rect.Left == 0);
    CHECK(rect.Right == 1024);
    CHECK(rect.Bottom == 768);
    CHECK(rect.Top > 768 - 100);
    CHECK(rect.Top < 768);
}

TEST_CASE("no window means no rectangle, and the rectangle keeps its zeros") {
    zinna::win32::Win32Module module;
    CHECK(module.FindWindowA("Zinna No Such Class", "") == 0);
    zinna::Rect rect;
    CHECK_FALSE(module.GetWindowRect(0, &rect));
    CHECK(rect.Top == 0);
    CHECK(rect.Bottom == 0);
}
