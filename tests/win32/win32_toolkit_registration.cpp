// The Windows toolkit under the window toolkit's contract, under Wine: the user answers a message
// box by clicking its OK button, and each scale of the DPI table is Wine's LogPixels for a process
// started while it is set (win32_toolkit_screen_probe.exe).
#include "platform/win32/windows_api.h"

#include "contract/window_toolkit_contract.h"

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_handle.h"
#include "platform/win32/win32_toolkit.h"
#include "wine_log_pixels.h"

#include <doctest/doctest.h>

#include <sstream>
#include <string>

namespace {

using namespace zinna;

// The message box this thread shows, if any.
HWND ThreadMessageBox() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM result) -> BOOL {
            wchar_t className[16] = {};
            GetClassNameW(window, className, 16);
            if (std::wstring(className) != L"#32770") return TRUE;
            *reinterpret_cast<HWND*>(result) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

class Win32ToolkitDriver final : public contract::ToolkitUnderContract {
public:
    Win32ToolkitDriver()
        : toolkit_(GetModuleHandleW(nullptr), "Zinna"),
          user_(GetModuleHandleW(nullptr), [](const std::function<void()>& work) { work(); }) {}

    WindowToolkit& Toolkit() override { return toolkit_; }
    std::int64_t NowMs() override { return user_.NowMs(); }
    bool RunUntil(const std::function<bool()>& done, std::int64_t timeoutMs) override {
        const std::int64_t end = NowMs() + timeoutMs;
        while (!done()) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT) continue;  // the program's end: the loop would return
                TranslateMessage(&message);
                DispatchMessageW(&message);
                if (done()) return true;
            }
            const std::int64_t left = end - NowMs();
            if (left <= 0) return done();
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
        }
        return true;
    }
    void Post(std::function<void()> work) override { toolkit_.Post(std::move(work)); }
    void AnswerNextMessageBox(std::int64_t readMs) override {
        // The box's modal loop dispatches this thread's messages, the user's clock's among them.
        user_.ScheduleAt(NowMs() + readMs, [] {
            const HWND box = ThreadMessageBox();
            REQUIRE(box != nullptr);
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
        });
    }
    void SetEndHandler(std::function<void(EndReason)> handler) override { toolkit_.SetEndHandler(std::move(handler)); }
    void SetDesktopRescue(std::function<void()> rescue) override { toolkit_.SetDesktopRescue(std::move(rescue)); }
    std::optional<EndReason> EndedWith() override { return toolkit_.EndedWith(); }
    int RunMessageLoop() override { return toolkit_.RunMessageLoop(); }

private:
    win32::Win32Toolkit toolkit_;
    win32::Win32Clock user_;  // the user's time: when to answer a message box
};

// The probe's output: it runs beside this test program.
std::string RunProbe() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    path.resize(path.find_last_of(L'\\') + 1);
    path += L"win32_toolkit_screen_probe.exe";

    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    REQUIRE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    const win32::KernelHandle reader(readEnd);
    win32::KernelHandle writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + path + L"\"";
    REQUIRE(CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                           &process));
    const win32::KernelHandle processHandle(process.hProcess);
    const win32::KernelHandle threadHandle(process.hThread);
    writer.Reset();  // the probe holds the only write end: its exit ends the output
    std::string output;
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
    REQUIRE(WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0);
    return output;
}

contract::ScreenReading ScreenAt(int dpi) {
    const testing::WineLogPixels logPixels(static_cast<DWORD>(dpi));
    const std::string output = RunProbe();
    CAPTURE(output);
    std::istringstream fields(output);
    contract::ScreenReading reading;
    fields >> reading.twipsPerPixelX >> reading.twipsPerPixelY >> reading.screenWidth >> reading.screenHeight >>
        reading.pixelsWide >> reading.pixelsHigh;
    REQUIRE_FALSE(fields.fail());
    return reading;
}

}  // namespace

ZINNA_WINDOW_TOOLKIT_CONTRACT(zinna::contract::WindowToolkitRegistration{
    "the Windows toolkit",
    [] { return std::make_unique<Win32ToolkitDriver>(); },
    &ScreenAt,
    {},
})
