// Prints the screen as a fresh Win32Toolkit reports it, and the display's own pixels, for the window
// toolkit's contract: Windows (and Wine) fix a process's DPI when it starts, so each scale of the
// DPI table is one run of this program. It is DPI aware as zinna.exe's manifest makes her.
#include "platform/win32/windows_api.h"

#include "platform/win32/win32_toolkit.h"

#include <cstdio>

int main() {
    SetProcessDPIAware();
    zinna::win32::Win32Toolkit toolkit(GetModuleHandleW(nullptr), "Zinna");
    std::printf("%.17g %.17g %.17g %.17g %d %d\n", toolkit.TwipsPerPixelX(), toolkit.TwipsPerPixelY(),
                toolkit.ScreenWidth(), toolkit.ScreenHeight(), GetSystemMetrics(SM_CXSCREEN),
                GetSystemMetrics(SM_CYSCREEN));
    return 0;
}
