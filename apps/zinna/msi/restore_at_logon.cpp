// The package's custom action that leaves, for every user whose desktop Zinna still holds, a way to
// give it back at that user's next logon. The package is per machine, but only the user who
// uninstalls gets zinna.exe /restore during the uninstall; another user's journal (a run of hers
// that was killed, or a Zinna still running in another session) would lose its restorer with the
// files. So, running as LocalSystem (which may read every profile and load its registry), the
// action looks for %LOCALAPPDATA%\Zinna\restore.journal in every profile. For each one found it
// copies zinna.exe into that folder as zinna-restore.exe, and adds to that user's own registry a
// Run value that runs the copy with /restore at each logon, and removes the value and the copy once
// a restore ended with nothing left to give back (exit code 0). Nothing is left for the users who
// have no journal, nor anything per machine. A profile for which this cannot be done stops the
// uninstall, with the profile named: removing the files would leave that desktop orphaned.
#include "platform/win32/windows_api.h"

#include "installer_session.h"

#include <string>
#include <vector>

namespace {

using zinna::msi::RegistryKey;

constexpr const wchar_t* kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* kRunValue = L"Zinna restore";

struct Profile {
    std::wstring sid, folder;
};

// Every profile the machine knows: its owner's security identifier and its folder.
std::vector<Profile> Profiles() {
    std::vector<Profile> profiles;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileList, 0, KEY_READ | KEY_WOW64_64KEY, &opened) != ERROR_SUCCESS)
        return profiles;
    const RegistryKey list(opened);
    wchar_t sid[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(list.Get(), i, sid, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        wchar_t raw[MAX_PATH] = {};
        DWORD size = sizeof(raw);
        if (RegGetValueW(list.Get(), sid, L"ProfileImagePath", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                         nullptr, raw, &size) != ERROR_SUCCESS)
            continue;
        wchar_t folder[MAX_PATH] = {};
        const DWORD expanded = ExpandEnvironmentStringsW(raw, folder, MAX_PATH);
        if (expanded == 0 || expanded > MAX_PATH || folder[0] == L'\0') continue;
        profiles.push_back({sid, folder});
    }
    return profiles;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A folder of the user's that is a folder, not a link the user planted to make LocalSystem write
// elsewhere.
bool IsPlainFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// The restorer in the user's Zinna folder: a fresh copy of zinna.exe, never written through a link.
bool CopyRestorer(const std::wstring& profileFolder, const std::wstring& exe, const std::wstring& copy) {
    for (const wchar_t* sub : {L"\\AppData", L"\\AppData\\Local", L"\\AppData\\Local\\Zinna"})
        if (!IsPlainFolder(profileFolder + sub)) return false;
    DeleteFileW(copy.c_str());  // an older copy, or a planted link (the link itself goes)
    return CopyFileW(exe.c_str(), copy.c_str(), TRUE) != FALSE;
}

// What the user's logon runs. The value and the copy go only after a restore that gave everything
// back (exit code 0); otherwise the journal stays and so does this, for the next logon. `start
// /wait` because cmd does not wait for a windowed program otherwise; `if not errorlevel 1`, not
// `&&`, because Wine's cmd runs what follows `&&` whatever the exit code.
std::wstring LogonCommand(const std::wstring& copy) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring folder(system);
    return L"\"" + folder + L"\\cmd.exe\" /d /c start \"\" /wait \"" + copy + L"\" /restore & if not errorlevel 1 (\"" +
           folder + L"\\reg.exe\" delete \"HKCU\\" + kRunKey + L"\" /v \"" + kRunValue + L"\" /f & del \"" + copy +
           L"\")";
}

bool EnablePrivilege(const wchar_t* name) {
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &opened)) return false;
    const zinna::win32::KernelHandle token(opened);
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) return false;
    return AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr) &&
           GetLastError() == ERROR_SUCCESS;
}

bool SetRunValue(HKEY hive, const std::wstring& command) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(hive, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) != ERROR_SUCCESS)
        return false;
    const RegistryKey run(opened);
    return RegSetValueExW(run.Get(), kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                          static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// The Run value in the user's own registry: under HKEY_USERS while the user is logged on, else in
// the profile's NTUSER.DAT, loaded for the moment.
bool AddLogonRestore(const Profile& profile, const std::wstring& command) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_USERS, profile.sid.c_str(), 0, KEY_CREATE_SUB_KEY, &opened) == ERROR_SUCCESS) {
        const RegistryKey hive(opened);
        return SetRunValue(hive.Get(), command);
    }
    if (!EnablePrivilege(SE_RESTORE_NAME) || !EnablePrivilege(SE_BACKUP_NAME)) return false;
    const std::wstring mountName = L"Zinna.RestoreAtLogon." + profile.sid;
    const std::wstring hiveFile = profile.folder + L"\\NTUSER.DAT";
    if (RegLoadKeyW(HKEY_USERS, mountName.c_str(), hiveFile.c_str()) != ERROR_SUCCESS) return false;
    bool set = false;
    if (RegOpenKeyExW(HKEY_USERS, mountName.c_str(), 0, KEY_CREATE_SUB_KEY, &opened) == ERROR_SUCCESS) {
        const RegistryKey hive(opened);
        set = SetRunValue(hive.Get(), command);
    }
    return RegUnLoadKeyW(HKEY_USERS, mountName.c_str()) == ERROR_SUCCESS && set;
}

}  // namespace

// CustomActionData: the installed zinna.exe. ERROR_INSTALL_FAILURE when a user's desktop would be
// orphaned.
extern "C" __declspec(dllexport) UINT __stdcall RestoreAtLogon(MSIHANDLE installer) {
    const std::wstring exe = zinna::msi::CustomActionData(installer);
    std::wstring orphaned;
    for (const Profile& profile : Profiles()) {
        const std::wstring zinnaFolder = profile.folder + L"\\AppData\\Local\\Zinna";
        if (!Exists(zinnaFolder + L"\\restore.journal")) continue;
        const std::wstring copy = zinnaFolder + L"\\zinna-restore.exe";
        const bool copied = !exe.empty() && CopyRestorer(profile.folder, exe, copy);
        if (copied && AddLogonRestore(profile, LogonCommand(copy))) {
            zinna::msi::Tell(installer, INSTALLMESSAGE_INFO,
                             L"Zinna gives the desktop back at the next logon of the user of " + profile.folder);
            continue;
        }
        if (copied) DeleteFileW(copy.c_str());
        orphaned += L"\n" + profile.folder;
    }
    if (orphaned.empty()) return ERROR_SUCCESS;
    zinna::msi::Tell(installer, INSTALLMESSAGE_ERROR,
                     L"Zinna still holds the desktop of the users of these profiles, and it could not be arranged "
                     L"to give it back at their next logon, so she was not uninstalled:" +
                         orphaned + L"\nEach of them can run \"zinna.exe /restore\"; then uninstall her again.");
    return ERROR_INSTALL_FAILURE;
}
