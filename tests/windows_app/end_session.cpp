// Tells a running zinna.exe that the session ends, as Windows does at log-off: it puts the user's
// desktop back and exits. Exit code 1 when no Zinna runs.
#include <windows.h>

int main() {
    const HWND form = FindWindowW(L"ZinnaMainWindow", L"Form1");
    if (form == nullptr) return 1;
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(form, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, &answer);
    SendMessageTimeoutW(form, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, &answer);
    return 0;
}
