// The package's custom action that asks a running Zinna to close before her files are removed.
// WM_CLOSE to the hidden main window is Zinna's gentle end: she puts the user's wallpaper and
// desktop colour back and ends, as she does when the session ends. The action then waits, for a
// while, for her process to end, so that zinna.exe is no longer in use when it is removed.
#include "platform/win32/windows_api.h"

#include "platform/win32/win32_handle.h"
#include "platform/win32/win32_toolkit.h"

namespace {

// Putting the desktop back takes well under a second; this only bounds a Zinna that hangs.
constexpr DWORD kWaitForEndMs = 30000;

}  // namespace

// The Windows Installer's entry point for a DLL custom action: UINT __stdcall (MSIHANDLE). The
// installer's handle is not needed. Returns ERROR_SUCCESS when no Zinna runs (any more).
extern "C" __declspec(dllexport) UINT __stdcall CloseRunningZinna(unsigned long /*installerHandle*/) {
    // Only one Zinna runs per session, so there is at most one main window to find.
    const HWND window = FindWindowW(zinna::win32::Win32Toolkit::kWindowClass, nullptr);
    if (window == nullptr) return ERROR_SUCCESS;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const zinna::win32::KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!PostMessageW(window, WM_CLOSE, 0, 0)) return ERROR_INSTALL_FAILURE;
    const bool ended = process && WaitForSingleObject(process.Get(), kWaitForEndMs) == WAIT_OBJECT_0;
    return ended ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}
