// The package's custom action that asks a running Zinna to close before her files are removed.
// WM_CLOSE to the hidden main window is Zinna's gentle end: she puts the user's wallpaper and
// desktop colour back and ends, as she does when the session ends. The action then waits, for a
// while, for her process to end. A Zinna that does not end (her error box is open, which holds her
// close back, or she hangs) stops the uninstall: her files are not taken from under her while she
// still wears the user's desktop, and the person uninstalling is told why.
#include "platform/win32/windows_api.h"

#include "installer_session.h"
#include "platform/win32/single_instance.h"
#include "platform/win32/win32_handle.h"
#include "platform/win32/win32_toolkit.h"

namespace {

// Putting the desktop back takes well under a second; this only bounds a Zinna that hangs.
constexpr DWORD kWaitForEndMs = 30000;

constexpr const wchar_t* kStillRunning =
    L"Zinna is still running and did not close, so she was not uninstalled. Close her (answer her "
    L"message box first if one is open), then uninstall her again.";

constexpr const wchar_t* kRunningElsewhere =
    L"Zinna is still running in another session of yours, so she was not uninstalled. Quit her there, then "
    L"uninstall her again.";

// One Zinna per user, across sessions: while her mutex exists, a Zinna of this user runs, here or in
// a session whose windows this one cannot see or ask.
bool UsersZinnaRuns() {
    const zinna::win32::KernelHandle mutex(
        OpenMutexW(SYNCHRONIZE, FALSE, zinna::win32::UserInstanceMutexName().c_str()));
    return static_cast<bool>(mutex);
}

}  // namespace

// The Windows Installer's entry point for a DLL custom action: UINT __stdcall (MSIHANDLE).
// ERROR_SUCCESS when no Zinna of the user runs (any more); ERROR_INSTALL_FAILURE stops the
// uninstall. Her main window is looked for in this session only, where the user uninstalls.
extern "C" __declspec(dllexport) UINT __stdcall CloseRunningZinna(MSIHANDLE installer) {
    const HWND window = FindWindowW(zinna::win32::Win32Toolkit::kWindowClass, nullptr);
    if (window != nullptr) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        const zinna::win32::KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
        // A process that cannot be opened has ended since, unless her window is still there.
        const bool ended = process ? PostMessageW(window, WM_CLOSE, 0, 0) &&
                                         WaitForSingleObject(process.Get(), kWaitForEndMs) == WAIT_OBJECT_0
                                   : !IsWindow(window);
        if (!ended) {
            zinna::msi::Tell(installer, INSTALLMESSAGE_ERROR, kStillRunning);
            return ERROR_INSTALL_FAILURE;
        }
    }
    if (UsersZinnaRuns()) {
        zinna::msi::Tell(installer, INSTALLMESSAGE_ERROR, kRunningElsewhere);
        return ERROR_INSTALL_FAILURE;
    }
    return ERROR_SUCCESS;
}
