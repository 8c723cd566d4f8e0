// The taskbar's place, and the shell's key chord that minimises every window.
#include "lifecycle/zinna_form.h"

namespace zinna {

namespace {

constexpr std::uint8_t kVirtualKeyM = 0x4D;

}  // namespace

void ZinnaForm::LocateStartBar() {
    // An empty title, not a null one: only a window of that class with an empty title matches.
    hStartBar = module_.FindWindowA("Shell_TrayWnd", "");
    module_.GetWindowRect(hStartBar, &rcStartBar);  // no taskbar: the rectangle keeps its zeros
}

void ZinnaForm::MinimizeAllOpenWindows() {
    module_.keybd_event(VK_LWIN, 0, 0, 0);
    module_.keybd_event(kVirtualKeyM, 0, 0, 0);
    module_.keybd_event(kVirtualKeyM, 0, KEYEVENTF_KEYUP, 0);
    module_.keybd_event(VK_LWIN, 0, KEYEVENTF_KEYUP, 0);  // the Windows key last, so none stays pressed
}

}  // namespace zinna
