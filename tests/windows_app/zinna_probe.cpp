// Looks at a running zinna.exe from outside, for scripts/measure-windows.sh:
//   zinna_probe first-frame   waits for her window to show; prints how long after zinna.exe's
//                             process was created that was, in milliseconds
//   zinna_probe where         prints the centre of her window, "x y"
// Exit code 1 when her window does not show in 60 s, or is not there.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

HWND VisibleCharacterWindow() {
    const HWND window = FindWindowW(L"ZinnaCharacterWindow", nullptr);
    return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

std::int64_t Milliseconds(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) /
           10000;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "where") == 0) {
        RECT r;
        const HWND window = VisibleCharacterWindow();
        if (window == nullptr || !GetWindowRect(window, &r)) return 1;
        std::printf("%ld %ld\n", (r.left + r.right) / 2, (r.top + r.bottom) / 2);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "first-frame") == 0) {
        for (int waited = 0; waited < 60000; waited += 2) {
            if (const HWND window = VisibleCharacterWindow()) {
                FILETIME now;
                GetSystemTimeAsFileTime(&now);
                DWORD processId = 0;
                GetWindowThreadProcessId(window, &processId);
                const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
                FILETIME created, exited, kernel, user;
                if (process == nullptr || !GetProcessTimes(process, &created, &exited, &kernel, &user)) return 1;
                CloseHandle(process);
                std::printf("%lld\n", static_cast<long long>(Milliseconds(now) - Milliseconds(created)));
                return 0;
            }
            Sleep(2);
        }
        return 1;
    }
    std::fprintf(stderr, "usage: zinna_probe first-frame|where\n");
    return 2;
}
