// zinna.exe as a user meets it when it cannot show its character: without the old control and
// without the character file, or with a control that is registered but broken, it dresses the
// desktop, fails, reports that in its message box, and leaves the user's desktop as it found it. A second Zinna started
// while one runs exits at once and touches nothing. With a stand-in for the control registered, zinna.exe runs its
// whole start-up and message loop, answers the control's events, and puts the desktop back on Quit and at the session's
// end. The path of zinna.exe comes as ZINNA_EXE, the stand-in's as ZINNA_FAKE_AGENT_DLL (Unix paths under Wine, mapped
// to drive Z:).
#include "platform/win32/windows_api.h"

#include "desktop_session.h"
#include "host_test_character.h"
#include "platform/journal/journal_file.h"
#include "platform/journal/journal_format.h"
#include "platform/win32/single_instance.h"
#include "platform/win32/win32_journal.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>
#include <cstring>
#include <optional>
#include <string>

namespace {

using zinna::testing::kDesktopKey;
using zinna::testing::ReadDesktopValue;

// A path from the environment, as Windows sees it.
std::wstring PathFromEnvironment(const char* variable) {
    const char* path = std::getenv(variable);
    REQUIRE_MESSAGE(path != nullptr, variable);
    return zinna::testing::WindowsPathOf(path);
}

std::wstring ZinnaExe() { return PathFromEnvironment("ZINNA_EXE"); }

// Where zinna.exe keeps her restore journal: %LOCALAPPDATA%\Zinna\restore.journal.
std::wstring JournalPath() {
    const auto path = zinna::journal::DefaultJournalPath();
    REQUIRE(path.has_value());
    return path->wstring();
}

bool JournalExists() { return GetFileAttributesW(JournalPath().c_str()) != INVALID_FILE_ATTRIBUTES; }

void WriteDesktopValue(const wchar_t* name, const std::optional<std::wstring>& text) {
    HKEY key = nullptr;
    REQUIRE(RegCreateKeyW(HKEY_CURRENT_USER, kDesktopKey, &key) == ERROR_SUCCESS);
    if (text) {
        const std::wstring withNul = *text + L'\0';
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(withNul.c_str()),
                       static_cast<DWORD>(withNul.size() * sizeof(wchar_t)));
    } else {
        RegDeleteValueW(key, name);
    }
    RegCloseKey(key);
}

struct DesktopState {
    std::optional<std::wstring> wallpaper, tile, style;
    COLORREF background = 0;
    bool operator==(const DesktopState&) const = default;
};

// HACK: Wine keeps the system colours of a process from its first read on, so the desktop colour
// that zinna.exe set is seen only by a new process: the probe gives it as its exit code.
COLORREF DesktopColour() {
    std::wstring probe = PathFromEnvironment("ZINNA_COLOUR_PROBE");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + probe + L"\"";
    REQUIRE(CreateProcessW(probe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &info));
    REQUIRE(WaitForSingleObject(info.hProcess, 10000) == WAIT_OBJECT_0);
    DWORD colour = 0;
    GetExitCodeProcess(info.hProcess, &colour);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return colour;
}

DesktopState ReadDesktop() {
    return {ReadDesktopValue(L"Wallpaper"), ReadDesktopValue(L"TileWallpaper"), ReadDesktopValue(L"WallpaperStyle"),
            DesktopColour()};
}

void SetUserDesktop(const std::optional<std::wstring>& tile, const std::optional<std::wstring>& style) {
    WriteDesktopValue(L"Wallpaper", L"C:\\Users\\Zo\u00EB\\Pictures\\\u58C1\u7D19.bmp");
    WriteDesktopValue(L"TileWallpaper", tile);
    WriteDesktopValue(L"WallpaperStyle", style);
    const int element = COLOR_DESKTOP;
    const COLORREF teal = RGB(0, 128, 128);
    SetSysColors(1, &element, &teal);
}

struct Process {
    PROCESS_INFORMATION info{};
    // With `output` and `error` (inheritable handles), the process writes its standard output and
    // standard error there.
    explicit Process(const std::wstring& exe, const std::wstring& arguments = L"", HANDLE output = nullptr,
                     HANDLE error = nullptr) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        if (output != nullptr) {
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdOutput = output;
            startup.hStdError = error;
        }
        std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        REQUIRE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, output != nullptr, 0, nullptr,
                               nullptr, &startup, &info));
    }
    ~Process() {
        if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info.hProcess, 99);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    std::optional<DWORD> WaitForExit(DWORD milliseconds) {
        if (WaitForSingleObject(info.hProcess, milliseconds) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(info.hProcess, &code);
        return code;
    }
};

struct FoundBox {
    DWORD processId;
    HWND box;
};

BOOL CALLBACK FindMessageBox(HWND window, LPARAM context) {
    auto* found = reinterpret_cast<FoundBox*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (owner == found->processId && std::wstring(className) == L"#32770" && IsWindowVisible(window)) {
        found->box = window;
        return FALSE;
    }
    return TRUE;
}

// Waits for the process's message box; nullptr when none came in time or the process ended first.
HWND WaitForMessageBox(Process& process, DWORD milliseconds) {
    for (DWORD waited = 0; waited < milliseconds; waited += 100) {
        FoundBox found{process.info.dwProcessId, nullptr};
        EnumWindows(FindMessageBox, reinterpret_cast<LPARAM>(&found));
        if (found.box != nullptr) return found.box;
        if (WaitForSingleObject(process.info.hProcess, 100) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

// Runs zinna.exe on the desktop as it is and reads its report; returns the text of its message box.
std::wstring RunZinnaToItsReport(const DesktopState& before, DWORD exitCode) {
    Process zinna(ZinnaExe());
    const HWND box = WaitForMessageBox(zinna, 30000);
    REQUIRE_MESSAGE(box != nullptr, "zinna.exe showed no message box");
    // While the report shows, the desktop has already been put back.
    CHECK(ReadDesktop() == before);
    CHECK(WindowText(box) == L"Zinna");
    const std::wstring text = WindowText(GetDlgItem(box, 0xFFFF));  // the message box's text
    // The user presses OK.
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    CHECK(zinna.WaitForExit(10000) == std::optional<DWORD>(exitCode));
    CHECK_FALSE(JournalExists());  // an orderly ending takes its journal with it
    return text;
}

constexpr const wchar_t* kFakeControlClass = L"{5A1E0003-2A7E-4C11-9A10-00005A112A03}";

// HACK: Wine's HKEY_CLASSES_ROOT does not show the user's own classes (HKCU\Software\Classes),
// so the stand-in is registered for the machine, as an installer would.
const HKEY kClassesRoot = HKEY_LOCAL_MACHINE;

void SetDefaultValue(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    REQUIRE(RegCreateKeyW(kClassesRoot, path.c_str(), &key) == ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// The stand-in control registered as "Agent.Control.2", for as long as this lives.
struct RegisteredFakeControl {
    RegisteredFakeControl() {
        SetDefaultValue(L"Software\\Classes\\Agent.Control.2\\CLSID", nullptr, kFakeControlClass);
        const std::wstring server =
            std::wstring(L"Software\\Classes\\CLSID\\") + kFakeControlClass + L"\\InprocServer32";
        SetDefaultValue(server, nullptr, PathFromEnvironment("ZINNA_FAKE_AGENT_DLL"));
        SetDefaultValue(server, L"ThreadingModel", L"Apartment");
    }
    ~RegisteredFakeControl() {
        RegDeleteTreeW(kClassesRoot, L"Software\\Classes\\Agent.Control.2");
        RegDeleteTreeW(kClassesRoot, (std::wstring(L"Software\\Classes\\CLSID\\") + kFakeControlClass).c_str());
    }
};

std::string ReadWholeFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string content(1 << 20, '\0');
    DWORD read = 0;
    ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &read, nullptr);
    CloseHandle(file);
    content.resize(read);
    return content;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// Waits until the file holds a line equal to the given one; returns all its lines.
std::vector<std::string> WaitForLine(const std::wstring& path, const std::string& line, DWORD milliseconds) {
    std::vector<std::string> lines;
    for (DWORD waited = 0; waited <= milliseconds; waited += 100) {
        lines = Lines(ReadWholeFile(path));
        if (std::find(lines.begin(), lines.end(), line) != lines.end()) break;
        Sleep(100);
    }
    return lines;
}

// A running zinna.exe with the stand-in control; the invocation log is read from the file.
struct RunningZinna {
    RegisteredFakeControl registration;
    std::wstring log;
    std::unique_ptr<Process> process;

    // With output and error, zinna.exe's standard output and error go there.
    explicit RunningZinna(HANDLE output = nullptr, HANDLE error = nullptr) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        log = std::wstring(temp) + L"zinna-fake-agent.log";
        DeleteFileW(log.c_str());
        SetEnvironmentVariableW(L"ZINNA_FAKE_AGENT_LOG", log.c_str());
        process = std::make_unique<Process>(ZinnaExe(), L"", output, error);
    }

    // Raises a control event through the stand-in's trigger window in zinna.exe.
    void Raise(DWORD kind, const std::wstring& text = L"") {
        const HWND trigger = FindWindowExW(HWND_MESSAGE, nullptr, L"ZinnaFakeAgentTrigger", nullptr);
        REQUIRE(trigger != nullptr);
        COPYDATASTRUCT data{kind, static_cast<DWORD>(text.size() * sizeof(wchar_t)),
                            const_cast<wchar_t*>(text.c_str())};
        CHECK(SendMessageW(trigger, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)) == TRUE);
    }
};

constexpr const char* kStartUpDone = "Character.SoundEffectsOn put (BOOL -1)";

std::vector<std::string> AddedCommands(const std::vector<std::string>& log) {
    std::vector<std::string> added;
    for (const auto& line : log) {
        if (line.rfind("Commands.Add call ", 0) == 0) added.push_back(line.substr(18));
    }
    return added;
}

void CheckDressedDesktop() {
    CHECK(ReadDesktopValue(L"Wallpaper") == std::wstring(L"C:\\windows\\LH1024x768.bmp") + L'\0');
    CHECK(ReadDesktopValue(L"TileWallpaper") == std::wstring(L"0") + L'\0');
    CHECK(ReadDesktopValue(L"WallpaperStyle") == std::wstring(L"2") + L'\0');
    CHECK(DesktopColour() == RGB(0, 0, 0));
}

}  // namespace

TEST_CASE("with a control, zinna.exe starts up in order and the session's end puts the desktop back") {
    SetUserDesktop(L"1", L"0");
    const DesktopState before = ReadDesktop();
    RunningZinna zinna;
    const std::vector<std::string> log = WaitForLine(zinna.log, kStartUpDone, 30000);
    REQUIRE(std::find(log.begin(), log.end(), kStartUpDone) != log.end());

    CHECK(log.at(0) == "Control.Connected put (BOOL -1)");
    CHECK(std::find(log.begin(), log.end(), "Characters.Load call (BSTR \"zinna\", BSTR \"C:\\windows\\zinna.acs\")") !=
          log.end());
    const std::vector<std::string> commands = AddedCommands(log);
    REQUIRE(commands.size() == 13);
    CHECK(commands.front() == "(BSTR \"Lantern Hall\", BSTR \"  &Lantern Hall  \")");
    CHECK(commands.back() == "(BSTR \"Quit\", BSTR \"&Quit\")");
    CHECK(std::find(log.begin(), log.end(), "Character.IdleOn put (BOOL 0)") != log.end());
    CheckDressedDesktop();

    // Windows ends the session: the main window is asked, then told.
    const HWND form = FindWindowW(L"ZinnaMainWindow", L"Form1");
    REQUIRE(form != nullptr);
    DWORD_PTR answer = 0;
    REQUIRE(SendMessageTimeoutW(form, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, &answer));
    CHECK(answer == TRUE);
    SendMessageTimeoutW(form, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 5000, &answer);
    CHECK(zinna.process->WaitForExit(10000) == std::optional<DWORD>(0));
    CHECK(ReadDesktop() == before);
    CHECK_FALSE(JournalExists());
}

TEST_CASE("with a control, a double-click opens the web page and Quit puts the desktop back") {
    const char* xdgLog = std::getenv("ZINNA_XDG_OPEN_LOG");
    REQUIRE_MESSAGE(xdgLog != nullptr, "run with the recording xdg-open first on PATH");
    const std::wstring shellLog = PathFromEnvironment("ZINNA_XDG_OPEN_LOG");
    DeleteFileW(shellLog.c_str());
    SetUserDesktop(std::nullopt, std::nullopt);
    const DesktopState before = ReadDesktop();
    RunningZinna zinna;
    const std::vector<std::string> log = WaitForLine(zinna.log, kStartUpDone, 30000);
    REQUIRE(std::find(log.begin(), log.end(), kStartUpDone) != log.end());
    CheckDressedDesktop();

    zinna.Raise(2);  // DblClick
    std::vector<std::string> opened;
    for (int waited = 0; waited < 100 && opened.empty(); ++waited) {
        Sleep(100);
        opened = Lines(ReadWholeFile(shellLog));
    }
    REQUIRE(opened.size() == 1);
    CHECK(opened[0].rfind("http://", 0) == 0);
    CHECK(opened[0].find("/?launcher=glint") == opened[0].size() - 16);

    zinna.Raise(1, L"Quit");
    CHECK(zinna.process->WaitForExit(10000) == std::optional<DWORD>(0));
    const std::vector<std::string> after = Lines(ReadWholeFile(zinna.log));
    // Quitting hides the character (whose request is dropped) and makes no other call.
    REQUIRE(after.size() >= 2);
    CHECK(after[after.size() - 2] == "Character.Hide call ()");
    CHECK(after.back() == "Request get ()");
    CHECK(ReadDesktop() == before);
}

TEST_CASE("with a control that is registered but cannot be made, zinna.exe reports error 429 and leaves the desktop") {
    SetUserDesktop(L"1", L"0");
    const DesktopState before = ReadDesktop();
    // The ProgID names a class whose server does not exist: the installed control is broken, and
    // the built-in host does not step in for it.
    SetDefaultValue(L"Software\\Classes\\Agent.Control.2\\CLSID", nullptr, kFakeControlClass);
    const std::wstring report = RunZinnaToItsReport(before, 2);
    RegDeleteTreeW(kClassesRoot, L"Software\\Classes\\Agent.Control.2");
    CAPTURE(std::string(report.begin(), report.end()));
    CHECK(report.find(L"ActiveX component can't create object") != std::wstring::npos);
    CHECK(ReadDesktop() == before);
    CHECK(DesktopColour() == RGB(0, 128, 128));
}

TEST_CASE("without the control and without the character file, the built-in host reports the failed load") {
    DeleteFileW(L"C:\\windows\\zinna.acs");
    SetUserDesktop(L"1", L"0");
    const DesktopState before = ReadDesktop();
    const std::wstring report = RunZinnaToItsReport(before, 1);
    CAPTURE(std::string(report.begin(), report.end()));
    CHECK(report == L"Error: Cannot load zinna graphic file");
    CHECK(ReadDesktop() == before);
    CHECK(DesktopColour() == RGB(0, 128, 128));
}

TEST_CASE("style values the user never had are not left behind") {
    DeleteFileW(L"C:\\windows\\zinna.acs");
    SetUserDesktop(std::nullopt, std::nullopt);
    const DesktopState before = ReadDesktop();
    RunZinnaToItsReport(before, 1);
    CHECK_FALSE(ReadDesktopValue(L"TileWallpaper").has_value());
    CHECK_FALSE(ReadDesktopValue(L"WallpaperStyle").has_value());
    CHECK(ReadDesktop() == before);
}

TEST_CASE("a second Zinna exits at once and touches nothing") {
    SetUserDesktop(L"0", L"2");
    const DesktopState before = ReadDesktop();
    // This test plays the first Zinna.
    const zinna::win32::SingleInstance first;
    REQUIRE(first.IsFirst());
    Process second(ZinnaExe());
    CHECK(second.WaitForExit(10000) == std::optional<DWORD>(0));
    CHECK(ReadDesktop() == before);
}

namespace {

// A scratch file the child process can write its standard output or error into.
struct CapturedOutput {
    std::wstring path;
    HANDLE handle;
    explicit CapturedOutput(const std::wstring& name) {
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        path = std::wstring(folder) + name;
        SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, CREATE_ALWAYS,
                             0, nullptr);
        REQUIRE(handle != INVALID_HANDLE_VALUE);
    }
    ~CapturedOutput() {
        CloseHandle(handle);
        DeleteFileW(path.c_str());
    }
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;
    std::string Text() const {
        std::string text;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return text;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
        CloseHandle(file);
        return text;
    }
};

}  // namespace

TEST_CASE("zinna.exe's command line: /? and --version print, a mistake is refused, and none touches the desktop") {
    SetUserDesktop(L"0", L"2");
    DeleteFileW(JournalPath().c_str());
    const DesktopState before = ReadDesktop();
    struct Row {
        const wchar_t* arguments;
        DWORD exitCode;
        std::string outputStart;  // empty: nothing on standard output, one line on standard error
    };
    const Row rows[] = {
        {L"/?", 0, "usage: zinna [/restore]\n"},
        {L"--help", 0, "usage: zinna [/restore]\n"},
        {L"--version", 0, "zinna 0."},
        {L"--bogus", 2, ""},
        {L"/bogus", 2, ""},
        {L"/restore --bogus", 2, ""},
        {L"wallpaper.bmp", 2, ""},
    };
    for (const Row& row : rows) {
        const std::wstring arguments = row.arguments;
        CAPTURE(std::string(arguments.begin(), arguments.end()));  // ASCII
        CapturedOutput output(L"zinna-out.txt"), error(L"zinna-err.txt");
        Process zinna(ZinnaExe(), row.arguments, output.handle, error.handle);
        CHECK(zinna.WaitForExit(10000) == std::optional<DWORD>(row.exitCode));
        const std::string out = output.Text(), err = error.Text();
        if (row.outputStart.empty()) {
            CHECK(out.empty());
            CHECK(err.rfind("zinna: ", 0) == 0);
            CHECK(std::count(err.begin(), err.end(), '\n') == 1);
        } else {
            CHECK(out.rfind(row.outputStart, 0) == 0);
            CHECK(err.empty());
        }
        CHECK(ReadDesktop() == before);
        CHECK(!JournalExists());
    }
}

namespace {

// Starts zinna.exe with the stand-in control, waits for her start-up, and kills her as a task
// manager's "End task" on a hung program would: TerminateProcess, no handler runs.
void StartAndKillZinna() {
    RunningZinna zinna;
    const std::vector<std::string> log = WaitForLine(zinna.log, kStartUpDone, 30000);
    REQUIRE(std::find(log.begin(), log.end(), kStartUpDone) != log.end());
    CheckDressedDesktop();
    CHECK(JournalExists());
    REQUIRE(TerminateProcess(zinna.process->info.hProcess, 1));
    CHECK(zinna.process->WaitForExit(10000) == std::optional<DWORD>(1));
}

}  // namespace

TEST_CASE("zinna.exe killed after the desktop changed: zinna.exe /restore gives the desktop back") {
    DeleteFileW(JournalPath().c_str());
    SetUserDesktop(L"1", std::nullopt);
    const DesktopState before = ReadDesktop();
    StartAndKillZinna();
    CheckDressedDesktop();  // nothing gave it back
    REQUIRE(JournalExists());

    Process restore(ZinnaExe(), L"/restore");
    CHECK(restore.WaitForExit(10000) == std::optional<DWORD>(0));
    CHECK(ReadDesktop() == before);
    CHECK_FALSE(ReadDesktopValue(L"WallpaperStyle").has_value());  // missing before, missing again
    CHECK_FALSE(JournalExists());

    // Nothing to do is no failure either, and changes nothing.
    Process again(ZinnaExe(), L"--restore");
    CHECK(again.WaitForExit(10000) == std::optional<DWORD>(0));
    CHECK(ReadDesktop() == before);
}

TEST_CASE("zinna.exe killed, then started again and quit: the desktop is the one from before the first start") {
    DeleteFileW(JournalPath().c_str());
    SetUserDesktop(std::nullopt, L"0");
    const DesktopState before = ReadDesktop();
    StartAndKillZinna();

    RunningZinna zinna;
    const std::vector<std::string> log = WaitForLine(zinna.log, kStartUpDone, 30000);
    REQUIRE(std::find(log.begin(), log.end(), kStartUpDone) != log.end());
    CheckDressedDesktop();
    CHECK(JournalExists());  // her own, for this run
    zinna.Raise(1, L"Quit");
    CHECK(zinna.process->WaitForExit(10000) == std::optional<DWORD>(0));
    CHECK(ReadDesktop() == before);
    CHECK_FALSE(JournalExists());
}

TEST_CASE("a second Zinna leaves the first one's journal alone, even when asked to restore") {
    DeleteFileW(JournalPath().c_str());
    SetUserDesktop(L"0", L"2");
    StartAndKillZinna();
    const DesktopState dressed = ReadDesktop();
    {
        const zinna::win32::SingleInstance first;  // this test plays a running Zinna
        REQUIRE(first.IsFirst());
        Process second(ZinnaExe(), L"/restore");
        CHECK(second.WaitForExit(10000) == std::optional<DWORD>(0));
        CHECK(ReadDesktop() == dressed);
        CHECK(JournalExists());
    }
    Process restore(ZinnaExe(), L"/RESTORE");
    CHECK(restore.WaitForExit(10000) == std::optional<DWORD>(0));
    CHECK_FALSE(JournalExists());
}

// --- Faults ---------------------------------------------------------------------------------------
// What zinna.exe does when something is wrong around her, against Wine's real registry, files and
// windows. docs/windows.md has the table: fault -> the desktop after -> the journal -> what the user
// was told.

namespace {

// A journal of this user's desktop as zinna.exe writes one, with the values given (name, text).
std::string JournalOf(const std::vector<std::pair<std::string, std::string>>& values, std::uint32_t colour,
                      const std::string& desktop = zinna::win32::CurrentDesktopName()) {
    zinna::journal::DesktopRecord record;
    record.desktop = desktop;
    for (const auto& [name, text] : values) {
        zinna::journal::SavedValue value;
        value.name = name;
        value.state = zinna::journal::SavedValue::State::Present;
        value.type = REG_SZ;
        value.data.assign(text.begin(), text.end());
        value.data.push_back('\0');
        record.values.push_back(value);
    }
    record.color = colour;
    return zinna::journal::SerializeJournal(record);
}

void WriteJournal(const std::string& text) {
    const std::wstring path = JournalPath();
    CreateDirectoryW(path.substr(0, path.find_last_of(L'\\')).c_str(), nullptr);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// Every journal set aside, and the journal itself, removed.
void RemoveJournals() {
    DeleteFileW(JournalPath().c_str());
    for (int number = 1; number <= zinna::journal::kMaxSetAside; ++number)
        DeleteFileW(zinna::journal::AsideName(JournalPath(), number).c_str());
}

int SetAsideCount() {
    int count = 0;
    for (int number = 1; number <= zinna::journal::kMaxSetAside; ++number)
        count +=
            GetFileAttributesW(zinna::journal::AsideName(JournalPath(), number).c_str()) != INVALID_FILE_ATTRIBUTES;
    return count;
}

// Zinna's own look, as a killed run leaves it.
void DressDesktop() {
    WriteDesktopValue(L"Wallpaper", L"C:\\windows\\LH1024x768.bmp");
    WriteDesktopValue(L"TileWallpaper", L"0");
    WriteDesktopValue(L"WallpaperStyle", L"2");
    const int element = COLOR_DESKTOP;
    const COLORREF black = RGB(0, 0, 0);
    SetSysColors(1, &element, &black);
}

struct RestoreRun {
    std::optional<DWORD> exitCode;
    std::string error;
};

RestoreRun RunRestore() {
    CapturedOutput output(L"zinna-restore-out.txt"), error(L"zinna-restore-err.txt");
    Process zinna(ZinnaExe(), L"/restore", output.handle, error.handle);
    RestoreRun run;
    run.exitCode = zinna.WaitForExit(10000);
    run.error = error.Text();
    return run;
}

const std::string kUserPicture = "C:\\Users\\Zo\xC3\xAB\\Pictures\\mine.bmp";

struct RestoreCase {
    const char* name;
    std::function<void()> arrange;  // the journal (and anything else) a killed run left
    DWORD exitCode;
    const char* told;       // on the standard error; empty: nothing
    bool desktopGivenBack;  // else the dressed desktop stays as it was
};

// Zinna's look on the desktop, what a killed run left arranged, then "zinna.exe /restore".
void CheckRestore(const RestoreCase& row) {
    CAPTURE(std::string(row.name));
    RemoveJournals();
    RemoveDirectoryW(JournalPath().c_str());
    WriteDesktopValue(L"SCRNSAVE.EXE", std::nullopt);
    DressDesktop();
    const DesktopState dressed = ReadDesktop();
    row.arrange();
    const RestoreRun run = RunRestore();
    CAPTURE(run.error);
    CHECK(run.exitCode == std::optional<DWORD>(row.exitCode));
    if (*row.told == '\0')
        CHECK(run.error.empty());
    else
        CHECK(run.error.find(row.told) != std::string::npos);
    if (row.desktopGivenBack) {
        CHECK(ReadDesktopValue(L"Wallpaper") == std::wstring(L"C:\\Users\\Zo\u00EB\\Pictures\\mine.bmp") + L'\0');
        CHECK(DesktopColour() == RGB(0, 128, 128));
        CHECK_FALSE(JournalExists());
    } else {
        CHECK(ReadDesktop() == dressed);
    }
    CHECK_FALSE(ReadDesktopValue(L"SCRNSAVE.EXE").has_value());
    // Nothing is deleted unread: a journal not applied is still there, or set aside.
    if (row.exitCode != 0) CHECK((JournalExists() || SetAsideCount() > 0));
    WriteDesktopValue(L"SCRNSAVE.EXE", std::nullopt);
    RemoveJournals();
    RemoveDirectoryW(JournalPath().c_str());
}

}  // namespace

TEST_CASE("zinna.exe /restore: a journal it cannot trust or apply is never applied, and the exit code says so") {
    const std::string& user = kUserPicture;
    const RestoreCase cases[] = {
        {"no journal", [] {}, 0, "", false},
        {"a journal of this desktop",
         [&] {
             WriteJournal(JournalOf({{"Wallpaper", user}, {"TileWallpaper", "1"}, {"WallpaperStyle", "0"}}, 0x808000));
         },
         0, "restored", true},
        {"a damaged journal",
         [&] {
             std::string text = JournalOf({{"Wallpaper", user}}, 0x808000);
             text[text.size() / 2] ^= 1;
             WriteJournal(text);
         },
         1, "not given back", false},
        {"another user's journal",
         [&] {
             WriteJournal(JournalOf({{"Wallpaper", user}}, 0x808000, "windows:S-1-5-21-1-2-3-1001"));
         },
         1, "not given back", false},
        {"a journal that cannot be read (a folder in its place)",
         [] { CreateDirectoryW(JournalPath().c_str(), nullptr); }, 1, "not given back", false},
    };
    for (const RestoreCase& row : cases) CheckRestore(row);
}

// HACK: a known fault, kept visible: the journal's parser still accepts any value name, so a planted
// SCRNSAVE.EXE is written into the user's key. The shared journal rules (one parser for every
// platform) refuse every value but the three known ones; once they are in, this case passes and the
// should_fail marker goes.
TEST_CASE("zinna.exe /restore: a planted value (SCRNSAVE.EXE) is never written" * doctest::should_fail()) {
    CheckRestore({"a planted value: SCRNSAVE.EXE",
                  [] {
                      WriteJournal(JournalOf(
                          {{"Wallpaper", kUserPicture}, {"SCRNSAVE.EXE", "C:\\Users\\Public\\evil.scr"}}, 0x808000));
                  },
                  1, "not given back", false});
}

namespace {

// Points the user's local application data elsewhere for as long as this lives.
// HACK: Wine takes the folder from the user's shell folders (a process reads them when it asks), so
// a value naming a folder that is not there stands for a profile without %LOCALAPPDATA%.
class LocalAppDataRedirected {
public:
    explicit LocalAppDataRedirected(const std::wstring& folder) {
        REQUIRE(RegOpenKeyExW(HKEY_CURRENT_USER,
                              L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", 0,
                              KEY_READ | KEY_WRITE, &key_) == ERROR_SUCCESS);
        had_ = RegQueryValueExW(key_, kName, nullptr, &savedType_, saved_.data(), &savedSize_) == ERROR_SUCCESS;
        RegSetValueExW(key_, kName, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    }
    ~LocalAppDataRedirected() {
        if (had_)
            RegSetValueExW(key_, kName, 0, savedType_, saved_.data(), savedSize_);
        else
            RegDeleteValueW(key_, kName);
        RegCloseKey(key_);
    }
    LocalAppDataRedirected(const LocalAppDataRedirected&) = delete;
    LocalAppDataRedirected& operator=(const LocalAppDataRedirected&) = delete;

private:
    static constexpr const wchar_t* kName = L"Local AppData";
    HKEY key_ = nullptr;
    std::vector<BYTE> saved_ = std::vector<BYTE>(4096);
    DWORD savedSize_ = 4096, savedType_ = 0;
    bool had_ = false;
};

}  // namespace

TEST_CASE("zinna.exe /restore without a folder for local application data says so and fails") {
    RestoreRun run;
    {
        const LocalAppDataRedirected missing(L"Q:\\no such drive\\AppData\\Local");
        run = RunRestore();
    }
    CAPTURE(run.error);
    CHECK(run.exitCode == std::optional<DWORD>(1));
    CHECK(run.error.find("%LOCALAPPDATA%") != std::string::npos);
}

TEST_CASE("on a full disk her journal cannot be written: she says so, and her Quit gives the desktop back") {
    const char* disk = std::getenv("ZINNA_FULL_DISK");
    if (disk == nullptr || *disk == '\0') {
        MESSAGE("ZINNA_FULL_DISK is not set (with-planted-files.sh makes it as root): left out");
        return;
    }
    SetUserDesktop(L"1", std::nullopt);
    const DesktopState before = ReadDesktop();
    const LocalAppDataRedirected full(zinna::testing::WindowsPathOf(disk));
    CapturedOutput output(L"zinna-full-out.txt"), error(L"zinna-full-err.txt");
    RunningZinna zinna(output.handle, error.handle);
    const std::vector<std::string> log = WaitForLine(zinna.log, kStartUpDone, 30000);
    REQUIRE(std::find(log.begin(), log.end(), kStartUpDone) != log.end());
    zinna.Raise(1, L"Quit");
    CHECK(zinna.process->WaitForExit(10000) == std::optional<DWORD>(0));
    CHECK(ReadDesktop() == before);
    const std::string told = error.Text();
    CAPTURE(told);
    CHECK(told.find("restore journal not-written") != std::string::npos);
}

TEST_CASE(
    "one Zinna per user across sessions: another session's Zinna of this user stops her, another user's does not") {
    DeleteFileW(L"C:\\windows\\zinna.acs");  // a Zinna that starts reports the failed load and ends
    SetUserDesktop(L"1", L"0");
    RemoveJournals();
    const DesktopState before = ReadDesktop();
    struct Case {
        const char* name;
        std::wstring heldMutex;  // what the other Zinna holds
        bool starts;
    };
    const Case cases[] = {
        {"this user's Zinna in another session", zinna::win32::UserInstanceMutexName(), false},
        {"another user's Zinna", L"Global\\Zinna.Companion.SingleInstance.S-1-5-21-1-2-3-1001", true},
        {"an older Zinna's session mutex", L"Local\\Zinna.Companion.SingleInstance", true},
    };
    for (const Case& row : cases) {
        CAPTURE(std::string(row.name));
        const zinna::win32::SingleInstance other(row.heldMutex);
        REQUIRE(other.IsFirst());
        if (row.starts) {
            CHECK(RunZinnaToItsReport(before, 1) == L"Error: Cannot load zinna graphic file");
        } else {
            Process second(ZinnaExe());
            CHECK(second.WaitForExit(10000) == std::optional<DWORD>(0));
            CHECK(ReadDesktop() == before);
            CHECK_FALSE(JournalExists());
        }
    }
}

TEST_CASE("an error escaping WM_DPICHANGED gives the desktop back, ends with 2 and leaves no journal") {
    // The built-in host with the test character as the Windows directory's zinna.acs.
    const std::vector<std::uint8_t> character = zinna::testing::HostTestCharacterFile();
    HANDLE file = CreateFileW(L"C:\\windows\\zinna.acs", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, character.data(), static_cast<DWORD>(character.size()), &written, nullptr);
    CloseHandle(file);
    RemoveJournals();
    SetUserDesktop(L"1", L"0");
    const DesktopState before = ReadDesktop();
    CapturedOutput output(L"zinna-dpi-out.txt"), error(L"zinna-dpi-err.txt");
    Process zinna(ZinnaExe(), L"", output.handle, error.handle);
    HWND window = nullptr;
    for (int waited = 0; waited < 300 && window == nullptr; ++waited) {
        window = FindWindowW(L"ZinnaCharacterWindow", nullptr);
        if (window == nullptr && zinna.WaitForExit(100)) break;
    }
    REQUIRE(window != nullptr);
    for (int waited = 0; waited < 100 && !JournalExists(); ++waited) Sleep(100);
    CHECK(JournalExists());
    // A display change no display can make: 65535 dots per inch.
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(window, WM_DPICHANGED, MAKEWPARAM(0xFFFF, 0xFFFF), 0, SMTO_BLOCK, 5000, &answer);
    CHECK(zinna.WaitForExit(10000) == std::optional<DWORD>(2));
    CHECK(ReadDesktop() == before);
    CHECK_FALSE(JournalExists());
    const std::string told = error.Text();
    CAPTURE(told);
    CHECK(told.find("zinna: an error escaped every handler: no display has a scale of") != std::string::npos);
    DeleteFileW(L"C:\\windows\\zinna.acs");
}
