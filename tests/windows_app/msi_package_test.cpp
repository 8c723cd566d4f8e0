// The installer package under Wine, used as a person would: `msiexec /i` puts zinna.exe, her
// character and wallpaper, the Start-menu shortcut and the "Apps & features" entry in place;
// zinna.exe runs from there; `msiexec /x` takes away exactly what was installed, closes a running
// Zinna, stops when she does not end, repairs the desktop after a killed one and leaves every other
// user whose journal is left a restore at the next logon; a newer package replaces an older one, and
// an older one is refused over a newer one.
// In: ZINNA_MSI and ZINNA_MSI_OLDER (the packages), their versions and product codes,
// ZINNA_MSI_UPGRADE_CODE, ZINNA_EXE (the zinna.exe the packages hold), ZINNA_WINDOWS_FILES (the
// character and wallpaper they hold), ZINNA_ICON, ZINNA_COLOUR_PROBE.
#define DOCTEST_CONFIG_IMPLEMENT
#include "msi_session.h"
#include "platform/win32/stage_windows.h"
#include "platform/win32/win32_handle.h"
#include "platform/win32/win32_toolkit.h"

#include <doctest/doctest.h>

#include <cstdio>
#include <filesystem>
#include <functional>

namespace {

using namespace zinna::testing;

struct Package {
    std::wstring path, version, productCode;
};

Package PackageFromEnvironment(const char* prefix) {
    const std::string name(prefix);
    return {PathFromEnvironment(prefix), Wide(RequiredEnvironment((name + "_VERSION").c_str())),
            L"{" + Wide(RequiredEnvironment((name + "_PRODUCT_CODE").c_str())) + L"}"};
}

const Package& Current() {
    static const Package package = PackageFromEnvironment("ZINNA_MSI");
    return package;
}
const Package& Older() {
    static const Package package = PackageFromEnvironment("ZINNA_MSI_OLDER");
    return package;
}

std::optional<std::string> BuiltFile(const char* name) {
    return FileBytes(PathFromEnvironment("ZINNA_WINDOWS_FILES") + L"\\" + Wide(name));
}

// Each case starts and ends on a machine without Zinna: whatever an earlier run left installed is
// removed, and so are the character and wallpaper that other tests leave in the Windows directory.
struct MachineWithoutZinna {
    MachineWithoutZinna() {
        RemoveEveryZinna();
        DeleteFileW(WindowsFile(L"zinna.acs").c_str());
        DeleteFileW(WindowsFile(L"LH1024x768.bmp").c_str());
        CoInitialize(nullptr);
    }
    ~MachineWithoutZinna() {
        RemoveEveryZinna();
        CoUninitialize();
    }
    static void RemoveEveryZinna() {
        for (const auto& product : InstalledZinnas()) Uninstall(product);
    }
};

// Zinna started from her installed place, with the built-in host.
struct InstalledZinna {
    ChildProcess process{InstalledExe(), L""};

    // Her start-up is done when her window shows (the character was loaded) on the dressed desktop.
    bool WaitUntilShown() const {
        return WaitFor(
            [this] {
                return VisibleWindowOf(process.Id(), zinna::win32::StageWindows::kCharacterClass) != nullptr &&
                       DesktopDressed();
            },
            30000);
    }

    // A hung Zinna, as far as a test can make one: her one thread stopped, so no message reaches her.
    bool Freeze() {
        const HWND form = FindWindowW(zinna::win32::Win32Toolkit::kWindowClass, L"Form1");
        if (form == nullptr) return false;
        thread_.Reset(OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(form, nullptr)));
        return thread_ && SuspendThread(thread_.Get()) != static_cast<DWORD>(-1);
    }
    void Thaw() const {
        if (thread_) ResumeThread(thread_.Get());
    }

private:
    zinna::win32::KernelHandle thread_;
};

void CheckInstalledFiles() {
    CHECK(FileBytes(InstalledExe()) == FileBytes(PathFromEnvironment("ZINNA_EXE")));
    CHECK(FileBytes(WindowsFile(L"zinna.acs")) == BuiltFile("zinna.acs"));
    CHECK(FileBytes(WindowsFile(L"LH1024x768.bmp")) == BuiltFile("LH1024x768.bmp"));
}

void CheckNothingLeft() {
    CHECK(InstalledZinnas().empty());
    CHECK_FALSE(UninstallEntry(Current().productCode, L"DisplayName").has_value());
    CHECK_FALSE(FileExists(InstalledExe()));
    CHECK_FALSE(FileExists(KnownFolder(CSIDL_PROGRAM_FILES) + L"\\Zinna"));
    CHECK(StartMenuShortcuts().empty());
    CHECK_FALSE(FileExists(WindowsFile(L"zinna.acs")));
}

}  // namespace

TEST_CASE("installing puts zinna.exe, her files, the shortcut and the Apps & features entry in place") {
    const MachineWithoutZinna machine;
    REQUIRE(Install(Current().path) == std::optional<DWORD>(ERROR_SUCCESS));

    CheckInstalledFiles();
    CHECK(InstalledZinnas() == std::vector<std::wstring>{Current().productCode});
    const std::wstring& product = Current().productCode;
    CHECK(UninstallEntry(product, L"DisplayName") == L"Zinna");
    CHECK(UninstallEntry(product, L"DisplayVersion") == Current().version);
    CHECK(UninstallEntry(product, L"Publisher") == L"Zinna");
    CHECK(UninstallEntry(product, L"HelpLink") == L"http://lanternhall.example/");
    CHECK(UninstallEntry(product, L"URLInfoAbout") == L"http://lanternhall.example/");
    CHECK(UninstallEntry(product, L"UninstallString").value_or(L"").find(product) != std::wstring::npos);
    // Her icon, kept by the Windows Installer for the entry (Windows also names it as DisplayIcon).
    const std::wstring icon = ProductInfo(product, INSTALLPROPERTY_PRODUCTICON).value_or(L"");
    CHECK(FileBytes(icon) == FileBytes(PathFromEnvironment("ZINNA_ICON")));

    const std::vector<std::wstring> shortcuts = StartMenuShortcuts();
    REQUIRE(shortcuts.size() == 1);
    const auto shortcut = ReadShortcut(shortcuts[0]);
    REQUIRE(shortcut.has_value());
    CHECK(_wcsicmp(shortcut->path.c_str(), InstalledExe().c_str()) == 0);
    CHECK(FileBytes(shortcut->iconPath) == FileBytes(PathFromEnvironment("ZINNA_ICON")));
}

TEST_CASE("zinna.exe started from where it was installed finds her character and wallpaper") {
    const MachineWithoutZinna machine;
    REQUIRE(Install(Current().path) == std::optional<DWORD>(ERROR_SUCCESS));
    SetUserDesktop();
    const DesktopState before = ReadDesktop();
    {
        const InstalledZinna zinna;
        // Without her character she would report the failed load and end instead.
        REQUIRE(zinna.WaitUntilShown());
        CHECK(FileExists(ReadDesktopValue(L"Wallpaper").value_or(L"").c_str()));
        const HWND form = FindWindowW(zinna::win32::Win32Toolkit::kWindowClass, L"Form1");
        REQUIRE(form != nullptr);
        PostMessageW(form, WM_CLOSE, 0, 0);
        CHECK(zinna.process.WaitForExit(10000) == std::optional<DWORD>(0));
    }
    CHECK(ReadDesktop() == before);
}

TEST_CASE("uninstalling takes away what was installed and leaves what was there before") {
    // The Windows directory may already hold a wallpaper of the same name, which is the user's.
    for (const bool wallpaperThereBefore : {false, true}) {
        CAPTURE(wallpaperThereBefore);
        const MachineWithoutZinna machine;
        const std::string usersWallpaper = "BM the user's own bitmap";
        if (wallpaperThereBefore) {
            std::ofstream(WindowsFile(L"LH1024x768.bmp").c_str(), std::ios::binary) << usersWallpaper;
        }
        REQUIRE(Install(Current().path) == std::optional<DWORD>(ERROR_SUCCESS));
        CHECK(FileBytes(WindowsFile(L"zinna.acs")) == BuiltFile("zinna.acs"));
        const auto expectedWallpaper =
            wallpaperThereBefore ? std::optional(usersWallpaper) : BuiltFile("LH1024x768.bmp");
        CHECK(FileBytes(WindowsFile(L"LH1024x768.bmp")) == expectedWallpaper);

        REQUIRE(Uninstall(Current().productCode) == std::optional<DWORD>(ERROR_SUCCESS));
        CheckNothingLeft();
        CHECK(FileBytes(WindowsFile(L"LH1024x768.bmp")) ==
              (wallpaperThereBefore ? std::optional(usersWallpaper) : std::nullopt));
    }
}

TEST_CASE("a newer package replaces an older one, and an older one is refused over a newer one") {
    const MachineWithoutZinna machine;
    REQUIRE(Install(Older().path) == std::optional<DWORD>(ERROR_SUCCESS));
    CHECK(InstalledZinnas() == std::vector<std::wstring>{Older().productCode});

    REQUIRE(Install(Current().path) == std::optional<DWORD>(ERROR_SUCCESS));
    CHECK(InstalledZinnas() == std::vector<std::wstring>{Current().productCode});
    CHECK(UninstallEntry(Current().productCode, L"DisplayVersion") == Current().version);
    CHECK_FALSE(UninstallEntry(Older().productCode, L"DisplayName").has_value());
    // The older one's removal comes before the newer one's files: none of them is lost.
    CheckInstalledFiles();

    // Opened as a person opens it (not quietly), the older package says why it stops.
    const ChildProcess refused(Msiexec(), L"/i \"" + Older().path + L"\"");
    CHECK(AnswerMessageBox(refused, 60000) ==
          L"A newer version of Zinna is already installed. To go back to this version, uninstall Zinna first.");
    CHECK(refused.WaitForExit(60000) == std::optional<DWORD>(ERROR_INSTALL_FAILURE));
    CHECK(InstalledZinnas() == std::vector<std::wstring>{Current().productCode});
    CheckInstalledFiles();
}

namespace {

// The uninstall's cases below.
constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* kLogonRestoreValue = L"Zinna restore";

std::optional<std::wstring> RegistryText(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t value[2048] = {};
    DWORD size = sizeof(value);
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, value,
                     &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

void SetRegistryText(HKEY root, const std::wstring& key, const wchar_t* name, DWORD type, const std::wstring& text) {
    HKEY opened = nullptr;
    REQUIRE(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) ==
            ERROR_SUCCESS);
    RegSetValueExW(opened, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
}

// For the failure messages only.
std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (const wchar_t c : text) narrow += c < 128 ? static_cast<char>(c) : '?';
    return narrow;
}

std::wstring OwnJournal() { return KnownFolder(CSIDL_LOCAL_APPDATA) + L"\\Zinna\\restore.journal"; }

// Wine grants every privilege but, as Windows, only an enabled one counts.
void EnablePrivilege(const wchar_t* name) {
    HANDLE token = nullptr;
    REQUIRE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid);
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
}

// Another user of the machine, as far as Wine can have one (Wine runs everything as one user): a
// profile in the ProfileList with its own folder and, while she is logged on, her own registry
// loaded under HKEY_USERS, as Windows loads a logged-on user's.
class SecondUser {
public:
    static constexpr const wchar_t* kSid = L"S-1-5-21-0-0-0-1001";
    static constexpr const wchar_t* kProfileKey =
        L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1001";

    explicit SecondUser(bool loggedOn) {
        Remove();
        for (const wchar_t* sub : {L"", L"\\AppData", L"\\AppData\\Local", L"\\AppData\\Local\\Zinna"})
            CreateDirectoryW((Folder() + sub).c_str(), nullptr);
        SetRegistryText(HKEY_LOCAL_MACHINE, kProfileKey, L"ProfileImagePath", REG_EXPAND_SZ, Folder());
        if (!loggedOn) return;
        // Her registry starts empty: a saved empty key, loaded as hers.
        EnablePrivilege(L"SeBackupPrivilege");
        EnablePrivilege(L"SeRestorePrivilege");
        const std::wstring emptyKey = L"Software\\Zinna.TestEmptyHive";
        HKEY empty = nullptr;
        REQUIRE(RegCreateKeyW(HKEY_CURRENT_USER, emptyKey.c_str(), &empty) == ERROR_SUCCESS);
        const LONG saved = RegSaveKeyW(empty, (Folder() + L"\\NTUSER.DAT").c_str(), nullptr);
        RegCloseKey(empty);
        RegDeleteKeyW(HKEY_CURRENT_USER, emptyKey.c_str());
        REQUIRE(saved == ERROR_SUCCESS);
        REQUIRE(RegLoadKeyW(HKEY_USERS, kSid, (Folder() + L"\\NTUSER.DAT").c_str()) == ERROR_SUCCESS);
    }
    ~SecondUser() { Remove(); }
    SecondUser(const SecondUser&) = delete;
    SecondUser& operator=(const SecondUser&) = delete;

    static std::wstring Folder() {
        const std::wstring own = KnownFolder(CSIDL_PROFILE);
        return own.substr(0, own.rfind(L'\\')) + L"\\zinna-second";
    }
    static std::wstring LocalAppData() { return Folder() + L"\\AppData\\Local"; }
    static std::wstring Journal() { return LocalAppData() + L"\\Zinna\\restore.journal"; }
    static std::wstring Restorer() { return LocalAppData() + L"\\Zinna\\zinna-restore.exe"; }
    static std::optional<std::wstring> LogonRestore() {
        return RegistryText(HKEY_USERS, std::wstring(kSid) + L"\\" + kRunKey, kLogonRestoreValue);
    }

private:
    static void Remove() {
        RegUnLoadKeyW(HKEY_USERS, kSid);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kProfileKey);
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(Folder()), ignored);
    }
};

// Her next logon, as far as Wine can show it: the Wine user takes on her local application data
// folder and her Run value, and the value's command runs as Windows runs it at a logon.
std::optional<DWORD> LogOnAs(const std::wstring& localAppData, const std::wstring& command) {
    const std::wstring shellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    const std::optional<std::wstring> own = RegistryText(HKEY_CURRENT_USER, shellFolders, L"Local AppData");
    SetRegistryText(HKEY_CURRENT_USER, shellFolders, L"Local AppData", REG_EXPAND_SZ, localAppData);
    SetRegistryText(HKEY_CURRENT_USER, kRunKey, kLogonRestoreValue, REG_SZ, command);
    const ChildProcess logon(command);
    const std::optional<DWORD> code = logon.WaitForExit(60000);
    SetRegistryText(HKEY_CURRENT_USER, shellFolders, L"Local AppData", REG_EXPAND_SZ,
                    own.value_or(L"%USERPROFILE%\\AppData\\Local"));
    return code;
}

// Her main window on the desktop "ZinnaElsewhere"; nullptr when she does not run there.
HWND ZinnaElsewhere() {
    const HDESK desktop = OpenDesktopW(L"ZinnaElsewhere", 0, FALSE, DESKTOP_READOBJECTS | DESKTOP_ENUMERATE);
    if (desktop == nullptr) return nullptr;
    HWND found = nullptr;
    EnumDesktopWindows(
        desktop,
        [](HWND window, LPARAM context) -> BOOL {
            wchar_t className[64] = {};
            GetClassNameW(window, className, 64);
            if (std::wcscmp(className, zinna::win32::Win32Toolkit::kWindowClass) != 0) return TRUE;
            *reinterpret_cast<HWND*>(context) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    CloseDesktop(desktop);
    return found;
}

constexpr const wchar_t* kStillRunning =
    L"Zinna is still running and did not close, so she was not uninstalled. Close her (answer her message box "
    L"first if one is open), then uninstall her again.";

// What an uninstall case sets up; the table's rows fill it in.
struct UninstallScene {
    std::optional<InstalledZinna> zinna;
    std::optional<SecondUser> second;
    std::optional<ChildProcess> otherDesktop;

    void StartZinnaAndKillHer() {
        zinna.emplace();
        REQUIRE(zinna->WaitUntilShown());
        zinna->process.Kill();
        REQUIRE(DesktopDressed());  // nobody put it back
        REQUIRE(FileExists(OwnJournal()));
    }
};

enum class DesktopAfter { GivenBack, StillDressed };

struct UninstallCase {
    const char* name;
    std::function<void(UninstallScene&)> arrange;
    DWORD exitCode;
    std::wstring message;  // what msiexec shows; empty: nothing
    bool filesStay;
    // A stopped uninstall leaves the product installed. Wine: only when it stopped before its
    // script ran; when a deferred action stops it, Wine's rollback keeps the files but not the
    // product's registration (Windows rolls back both).
    bool registrationStays;
    DesktopAfter desktop;
    bool secondUsersLogonRestore;
    // What follows: for a stopped uninstall, what lets the next one through; else, further checks.
    std::function<void(UninstallScene&, const DesktopState& before)> then;
};

}  // namespace

// The uninstall, run as a person runs it (msiexec /x, not quiet, so that what it says shows), for
// each state the machine may be in. Each case starts from a fresh installation and the user's own
// desktop, and ends with Zinna uninstalled.
TEST_CASE("uninstalling: a Zinna that runs, closes, was killed or will not close, and another user's journal" *
          doctest::test_suite("uninstall")) {
    const std::vector<UninstallCase> cases = {
        {"Zinna runs and closes when asked",
         [](UninstallScene& scene) {
             scene.zinna.emplace();
             REQUIRE(scene.zinna->WaitUntilShown());
         },
         ERROR_SUCCESS, L"", false, false, DesktopAfter::GivenBack, false,
         [](UninstallScene& scene, const DesktopState&) {
             CHECK(scene.zinna->process.WaitForExit(0) == std::optional<DWORD>(0));
         }},
        {"Zinna runs in another session of the user's",
         [](UninstallScene& scene) {
             // Wine has one session; a desktop of its own stands for another one: the uninstall
             // cannot see her windows there, while her mutex is the user's.
             scene.otherDesktop.emplace(KnownFolder(CSIDL_WINDOWS) + L"\\explorer.exe",
                                        L"/desktop=ZinnaElsewhere,640x480 \"" + InstalledExe() + L"\"");
             REQUIRE(WaitFor([] { return ZinnaElsewhere() != nullptr && DesktopDressed(); }, 30000));
         },
         ERROR_INSTALL_FAILURE,
         L"Zinna is still running in another session of yours, so she was not uninstalled. Quit her there, then "
         L"uninstall her again.",
         true, true, DesktopAfter::GivenBack, false,
         [](UninstallScene&, const DesktopState&) {
             const HWND form = ZinnaElsewhere();
             REQUIRE(form != nullptr);  // left alone, still running
             PostMessageW(form, WM_CLOSE, 0, 0);
             CHECK(WaitFor([] { return ZinnaElsewhere() == nullptr; }, 30000));
         }},
        {"Zinna was killed: the user's own journal", [](UninstallScene& scene) { scene.StartZinnaAndKillHer(); },
         ERROR_SUCCESS, L"", false, false, DesktopAfter::GivenBack, false,
         [](UninstallScene&, const DesktopState&) { CHECK_FALSE(FileExists(OwnJournal())); }},
        {"Zinna's error box is open: she still closes when asked",
         [](UninstallScene& scene) {
             // Without her character her start fails with a message box, which stays open.
             REQUIRE(DeleteFileW(WindowsFile(L"zinna.acs").c_str()));
             scene.zinna.emplace();
             REQUIRE(FindMessageBox(scene.zinna->process, 30000) != nullptr);
         },
         ERROR_SUCCESS, L"", false, false, DesktopAfter::GivenBack, false,
         [](UninstallScene& scene, const DesktopState&) { CHECK(scene.zinna->process.WaitForExit(0).has_value()); }},
        {"Zinna hangs: she does not end in time",
         [](UninstallScene& scene) {
             scene.zinna.emplace();
             REQUIRE(scene.zinna->WaitUntilShown());
             REQUIRE(scene.zinna->Freeze());
         },
         ERROR_INSTALL_FAILURE, kStillRunning, true, true, DesktopAfter::GivenBack, false,
         [](UninstallScene& scene, const DesktopState&) {
             CHECK(DesktopDressed());  // she still wears it, and her files are still there
             CHECK_FALSE(scene.zinna->process.WaitForExit(0).has_value());
             // Woken, she takes the close she was sent and ends; the next uninstall goes through.
             scene.zinna->Thaw();
             CHECK(scene.zinna->process.WaitForExit(30000) == std::optional<DWORD>(0));
         }},
        {"another user's journal, she is logged on",
         [](UninstallScene& scene) {
             // A killed Zinna's journal, moved into the other profile: the dressed desktop stands for
             // hers, which the uninstalling user's own /restore must leave alone.
             scene.StartZinnaAndKillHer();
             scene.second.emplace(true);
             REQUIRE(MoveFileW(OwnJournal().c_str(), SecondUser::Journal().c_str()));
         },
         ERROR_SUCCESS, L"", false, false, DesktopAfter::StillDressed, true,
         [](UninstallScene&, const DesktopState& before) {
             CHECK(FileBytes(SecondUser::Restorer()) == FileBytes(PathFromEnvironment("ZINNA_EXE")));
             const std::wstring command = SecondUser::LogonRestore().value_or(L"");
             CHECK(command.find(L"\"" + SecondUser::Restorer() + L"\" /restore") != std::wstring::npos);
             // Her next logon gives her desktop back, and the restorer removes itself.
             CHECK(LogOnAs(SecondUser::LocalAppData(), command) == std::optional<DWORD>(0));
             CHECK(ReadDesktop() == before);
             CHECK_FALSE(FileExists(SecondUser::Journal()));
             CHECK_FALSE(FileExists(SecondUser::Restorer()));
             CHECK_FALSE(RegistryText(HKEY_CURRENT_USER, kRunKey, kLogonRestoreValue).has_value());
         }},
        {"another user's damaged journal: her restore at logon does not give her desktop back",
         [](UninstallScene& scene) {
             scene.second.emplace(true);
             std::ofstream(SecondUser::Journal().c_str(), std::ios::binary) << "a damaged journal of hers";
         },
         ERROR_SUCCESS, L"", false, false, DesktopAfter::GivenBack, true,
         [](UninstallScene&, const DesktopState&) {
             const std::wstring command = SecondUser::LogonRestore().value_or(L"");
             // Her first logon: /restore sets the journal aside and fails, so the restorer stays.
             CHECK(LogOnAs(SecondUser::LocalAppData(), command).has_value());
             CHECK_FALSE(FileExists(SecondUser::Journal()));
             CHECK(FileExists(SecondUser::Restorer()));
             CHECK(RegistryText(HKEY_CURRENT_USER, kRunKey, kLogonRestoreValue) == command);
             // Her next logon finds nothing left to give back, and the restorer goes.
             CHECK(LogOnAs(SecondUser::LocalAppData(), command).has_value());
             CHECK_FALSE(FileExists(SecondUser::Restorer()));
             CHECK_FALSE(RegistryText(HKEY_CURRENT_USER, kRunKey, kLogonRestoreValue).has_value());
         }},
        {"another user's journal, and her registry cannot be loaded",
         [](UninstallScene& scene) {
             scene.second.emplace(false);  // logged off, and no NTUSER.DAT to load
             std::ofstream(SecondUser::Journal().c_str(), std::ios::binary) << "a journal of hers";
         },
         ERROR_INSTALL_FAILURE,
         L"Zinna still holds the desktop of the users of these profiles, and it could not be arranged to give it "
         L"back at their next logon, so she was not uninstalled:\n" +
             SecondUser::Folder() + L"\nEach of them can run \"zinna.exe /restore\"; then uninstall her again.",
         true, false, DesktopAfter::GivenBack, false,
         [](UninstallScene&, const DesktopState&) {
             CHECK(FileExists(SecondUser::Journal()));
             CHECK_FALSE(FileExists(SecondUser::Restorer()));
             DeleteFileW(SecondUser::Journal().c_str());  // as if she had run /restore
         }},
    };
    for (const UninstallCase& row : cases) {
        INFO(row.name);
        const MachineWithoutZinna machine;
        REQUIRE(Install(Current().path) == std::optional<DWORD>(ERROR_SUCCESS));
        SetUserDesktop();
        const DesktopState before = ReadDesktop();
        UninstallScene scene;
        row.arrange(scene);

        const MsiexecOutcome outcome = RunMsiexecShown(L"/x " + Current().productCode);
        INFO("msiexec ended with " << (outcome.exitCode ? std::to_string(*outcome.exitCode) : "nothing (still running)")
                                   << " and said: " << Narrow(outcome.message.value_or(L"(nothing)")));
        CHECK(outcome.exitCode == std::optional<DWORD>(row.exitCode));
        CHECK(outcome.message.value_or(L"") == row.message);
        if (row.filesStay) {
            CHECK(FileBytes(InstalledExe()) == FileBytes(PathFromEnvironment("ZINNA_EXE")));
            CHECK(FileBytes(WindowsFile(L"LH1024x768.bmp")) == BuiltFile("LH1024x768.bmp"));
            CHECK((InstalledZinnas() == std::vector<std::wstring>{Current().productCode}) == row.registrationStays);
        } else {
            CheckNothingLeft();
        }
        CHECK(SecondUser::LogonRestore().has_value() == row.secondUsersLogonRestore);
        // Nothing is left for the uninstalling user, whose desktop /restore gave back.
        CHECK_FALSE(RegistryText(HKEY_CURRENT_USER, kRunKey, kLogonRestoreValue).has_value());
        if (!row.filesStay) CHECK((ReadDesktop() == before) == (row.desktop == DesktopAfter::GivenBack));
        row.then(scene, before);
        if (row.filesStay) {
            // Under Wine, registered again when its rollback lost the registration.
            if (!row.registrationStays) REQUIRE(Install(Current().path) == std::optional<DWORD>(ERROR_SUCCESS));
            REQUIRE(Uninstall(Current().productCode) == std::optional<DWORD>(ERROR_SUCCESS));
            CheckNothingLeft();
            CHECK(ReadDesktop() == before);
        }
    }
}

TEST_CASE("a newer Zinna replaces an older one while another user's journal is left" *
          doctest::test_suite("uninstall")) {
    const MachineWithoutZinna machine;
    REQUIRE(Install(Older().path) == std::optional<DWORD>(ERROR_SUCCESS));
    const SecondUser second(true);
    std::ofstream(SecondUser::Journal().c_str(), std::ios::binary) << "a journal of hers";

    REQUIRE(Install(Current().path) == std::optional<DWORD>(ERROR_SUCCESS));
    CHECK(InstalledZinnas() == std::vector<std::wstring>{Current().productCode});
    CheckInstalledFiles();
    CHECK(FileExists(SecondUser::Journal()));  // for her next start of the newer Zinna
    // Windows tells the older one's removal that it is an upgrade (UPGRADINGPRODUCTCODE), and it
    // leaves her nothing. Wine's RemoveExistingProducts runs it as a plain removal, which leaves
    // her the restore at logon as well (harmless: it applies her journal and removes itself).
    CHECK(FileExists(SecondUser::Restorer()));
    CHECK(SecondUser::LogonRestore().has_value());
}

// The uninstall runs `zinna.exe /restore`, which ends at once with nothing to repair. A zinna.exe
// that does not know the command starts as usual instead, and an uninstall would wait for it for
// ever: then these tests cannot run, and say so (ctest counts the exit code 77 as skipped).
bool ZinnaExeKnowsRestore() {
    const ChildProcess zinna(PathFromEnvironment("ZINNA_EXE"), L"/restore");
    HWND form = nullptr;
    const bool ended = WaitFor(
        [&] {
            if (zinna.WaitForExit(0)) return true;
            form = FindWindowW(zinna::win32::Win32Toolkit::kWindowClass, L"Form1");
            DWORD owner = 0;
            if (form != nullptr) GetWindowThreadProcessId(form, &owner);
            return form != nullptr && owner == zinna.Id();
        },
        30000);
    if (!ended) return false;
    if (const auto code = zinna.WaitForExit(0)) return *code == 0;
    PostMessageW(form, WM_CLOSE, 0, 0);  // her gentle end puts the desktop back
    zinna.WaitForExit(10000);
    return false;
}

int main(int argc, char** argv) {
    if (!ZinnaExeKnowsRestore()) {
        std::puts("zinna.exe does not know /restore yet: the package's uninstall cannot be tested");
        return 77;
    }
    doctest::Context context(argc, argv);
    return context.run();
}
