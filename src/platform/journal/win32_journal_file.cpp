// The journal file on Windows: written to a temporary file created afresh (CREATE_NEW, never
// through a link planted at its name), flushed with FlushFileBuffers, then moved over the old one
// with MoveFileExW and MOVEFILE_WRITE_THROUGH, which returns only once the move is on the disk. Its
// folder is the user's own, and every path goes to Windows in its extended-length form, so a
// profile deeper than MAX_PATH is protected too.
// The journal library sits below the Windows layer (which uses it), and this file needs none of
// the program's constants, so it takes <windows.h> itself rather than through windows_api.h.
#include <windows.h>
#include <aclapi.h>
#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>

#include "platform/journal/win32_journal_file.h"

#include <vector>

namespace zinna::journal {

namespace {

// Owns one open file handle.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return handle_; }
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    bool Close() {
        if (!*this) return true;
        const bool ok = CloseHandle(handle_) != FALSE;
        handle_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE handle_;
};

// Owns memory that Windows allocated with LocalAlloc (security descriptors).
struct LocalMemory {
    void* memory = nullptr;
    ~LocalMemory() { LocalFree(memory); }
};

std::string Utf8Of(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int length = static_cast<int>(wide.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, text.data(), needed, nullptr, nullptr);
    return text;
}

std::string ErrorText(DWORD error) {
    wchar_t* message = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::wstring text = length > 0 ? std::wstring(message, length) : std::wstring();
    LocalFree(message);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return "error " + std::to_string(error) + (text.empty() ? "" : " (" + Utf8Of(text) + ")");
}

// The user this process runs as: the token's user SID, copied.
std::vector<BYTE> CurrentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    FileHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return {};
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    std::vector<BYTE> copy(GetLengthSid(sid));
    if (!CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid)) return {};
    return copy;
}

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) return {};
    sid.resize(size);
    return sid;
}

// Who may do anything to the folder besides its user: the system itself and the machine's
// administrators, who can take any file anyway.
bool IsTrusted(PSID sid, const std::vector<BYTE>& user) {
    if (!user.empty() && EqualSid(sid, const_cast<BYTE*>(user.data()))) return true;
    for (const WELL_KNOWN_SID_TYPE type : {WinLocalSystemSid, WinBuiltinAdministratorsSid}) {
        std::vector<BYTE> known = WellKnownSid(type);
        if (!known.empty() && EqualSid(sid, known.data())) return true;
    }
    return false;
}

// The folder's private security: a protected DACL (nothing inherited from above) giving full
// access to the user, SYSTEM and the Administrators, inherited by the files made in it.
class PrivateSecurity {
public:
    explicit PrivateSecurity(const std::vector<BYTE>& user) {
        std::vector<std::vector<BYTE>> sids = {user, WellKnownSid(WinLocalSystemSid),
                                               WellKnownSid(WinBuiltinAdministratorsSid)};
        DWORD size = sizeof(ACL);
        for (const auto& sid : sids) {
            if (sid.empty()) return;
            size += sizeof(ACCESS_ALLOWED_ACE) + static_cast<DWORD>(sid.size());
        }
        acl_.resize(size);
        auto* acl = reinterpret_cast<ACL*>(acl_.data());
        if (!InitializeAcl(acl, size, ACL_REVISION)) return;
        for (auto& sid : sids) {
            if (!AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS,
                                       sid.data()))
                return;
        }
        user_ = user;
        ok_ = InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
              SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
              SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED) &&
              SetSecurityDescriptorOwner(&descriptor_, user_.data(), FALSE);
        attributes_ = {sizeof(SECURITY_ATTRIBUTES), &descriptor_, FALSE};
    }
    SECURITY_ATTRIBUTES* Attributes() { return ok_ ? &attributes_ : nullptr; }

private:
    std::vector<BYTE> acl_;
    std::vector<BYTE> user_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
    bool ok_ = false;
};

// Whether the folder's DACL lets anyone but the trusted add, rename or remove files in it (or
// change who may): such a one could plant a link or a journal of their own.
std::optional<std::string> OpenToOthers(const ACL* dacl, const std::vector<BYTE>& user) {
    if (dacl == nullptr) return "has no access list (everyone may write to it)";
    constexpr ACCESS_MASK kChanging = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | FILE_WRITE_DATA |
                                      FILE_APPEND_DATA | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* ace = nullptr;
        if (!GetAce(const_cast<ACL*>(dacl), index, &ace)) return "has an access list that cannot be read";
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & kChanging) != 0 && !IsTrusted(sid, user)) {
            LPWSTR text = nullptr;
            std::string who = "another account";
            if (ConvertSidToStringSidW(sid, &text)) who = Utf8Of(text);
            LocalFree(text);
            return "is open to others (" + who + " may write to it)";
        }
    }
    return std::nullopt;
}

// Creates every missing folder above path, as Windows makes folders (the folder itself is made
// by the caller, privately).
bool CreateParents(const std::filesystem::path& folder) {
    if (!folder.has_parent_path() || folder.parent_path() == folder) return true;
    const std::filesystem::path parent = folder.parent_path();
    if (parent == parent.root_path()) return true;
    const std::wstring extended = ExtendedLengthPath(parent);
    const DWORD attributes = GetFileAttributesW(extended.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return CreateParents(parent) &&
           (CreateDirectoryW(extended.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
}

// The attributes of whatever is at a path, the thing itself and never what a link points to.
std::optional<BY_HANDLE_FILE_INFORMATION> InformationOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information)) return std::nullopt;
    return information;
}

// The path Windows resolved for an open handle, without "\\?\" (and "\\?\UNC\" as "\\").
std::optional<std::wstring> FinalPath(HANDLE handle) {
    std::wstring path(512, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD length =
            GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), VOLUME_NAME_DOS);
        if (length == 0) return std::nullopt;
        if (length < path.size()) {
            path.resize(length);
            if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
            if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
            return path;
        }
        path.resize(length + 1);
    }
    return std::nullopt;
}

bool SameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// Whether what the handle opened is the name itself, not what a link at the name points to. Windows
// opens a link itself with FILE_FLAG_OPEN_REPARSE_POINT and marks it as a reparse point; Wine follows
// a symbolic link whatever the flag says and marks nothing, but resolves the handle's path to the
// link's target, so the opened file's path and its folder's path and name then differ. Links above
// the folder (a redirected profile) are no concern: both paths go through them alike.
bool OpenedItself(HANDLE handle, const std::filesystem::path& path) {
    FileHandle parent(CreateFileW(ExtendedLengthPath(path.parent_path()).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!parent) return false;
    const std::optional<std::wstring> opened = FinalPath(handle);
    const std::optional<std::wstring> folder = FinalPath(parent.Get());
    // HACK: Wine gives no resolved path beyond MAX_PATH; the reparse-point attribute (Windows' own
    // answer) is then the only check.
    if (!opened || !folder) return true;
    std::wstring expected = *folder;
    if (expected.empty() || expected.back() != L'\\') expected += L'\\';
    expected += path.filename().wstring();
    return SameIgnoringCase(*opened, expected);
}

class Win32JournalFile final : public JournalFile {
public:
    explicit Win32JournalFile(std::filesystem::path path)
        : path_(std::move(path)),
          extended_(ExtendedLengthPath(path_)),
          temporary_(ExtendedLengthPath(std::filesystem::path(path_) += L".tmp")) {}

    FileContents Read(std::size_t limit) override {
        FileContents contents;
        auto unreadable = [&contents](std::string problem) {
            contents.status = FileContents::Status::Unreadable;
            contents.problem = std::move(problem);
            return contents;
        };
        // The name itself, never what a link at it points to.
        FileHandle file(CreateFileW(extended_.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file) {
            const DWORD error = GetLastError();
            // Something there that cannot be opened as a file (a folder) is no absent journal.
            if ((error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) &&
                GetFileAttributesW(extended_.c_str()) == INVALID_FILE_ATTRIBUTES)
                return contents;
            return unreadable(ErrorText(error));
        }
        const auto information = InformationOf(file.Get());
        if (!information) return unreadable(ErrorText(GetLastError()));
        if ((information->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || !OpenedItself(file.Get(), path_))
            return unreadable("it is a link (a reparse point)");
        if ((information->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return unreadable("it is a folder");
        const unsigned long long size =
            (static_cast<unsigned long long>(information->nFileSizeHigh) << 32) | information->nFileSizeLow;
        if (size > limit) return unreadable("larger than a journal can be");
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
        DWORD got = 0;
        if (!bytes.empty() && (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
                               got != bytes.size()))
            return unreadable(ErrorText(GetLastError()));
        contents.status = FileContents::Status::Read;
        contents.bytes = std::move(bytes);
        return contents;
    }

    bool Write(std::span<const std::uint8_t> bytes) override {
        problem_.clear();
        if (auto refused = PreparePrivateFolder(path_.parent_path())) {
            problem_ = *refused;
            return false;
        }
        FileHandle file(CreateTemporary());
        if (!file) return false;
        // Belt and braces: what was opened is a plain file of its own.
        const auto information = InformationOf(file.Get());
        if (!information ||
            (information->dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
            problem_ = Utf8Of(temporary_) + " is not a plain file";
            file.Close();
            DeleteFileW(temporary_.c_str());
            return false;
        }
        DWORD written = 0;
        bool ok = WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size() && FlushFileBuffers(file.Get());
        DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        ok = file.Close() && ok;
        if (ok &&
            !MoveFileExW(temporary_.c_str(), extended_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            ok = false;
            error = GetLastError();
        }
        if (!ok) {
            problem_ = ErrorText(error == ERROR_SUCCESS ? GetLastError() : error);
            DeleteFileW(temporary_.c_str());
        }
        return ok;
    }

    bool Remove() override {
        if (DeleteFileW(extended_.c_str())) return true;
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }

    bool SetAside() override {
        for (int number = 1; number <= kMaxSetAside; ++number) {
            // Without MOVEFILE_REPLACE_EXISTING: an earlier journal set aside under that name stays.
            const std::wstring aside = ExtendedLengthPath(AsideName(path_, number));
            if (MoveFileExW(extended_.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
            const DWORD error = GetLastError();
            if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
        }
        return false;
    }

    std::string Describe() const override { return Utf8Of(path_.wstring()); }
    std::string Problem() const override { return problem_; }

private:
    // A new file under the first free temporary name: "restore.journal.tmp", then ".2.tmp"... A
    // name that is taken (a file a killed write left, a link or a folder planted there) is left as
    // it is: nothing there is written into, followed or removed (Wine's DeleteFileW on a symbolic
    // link removes the file it points to).
    HANDLE CreateTemporary() {
        DWORD error = ERROR_SUCCESS;
        for (int number = 1; number <= kMaxSetAside; ++number) {
            std::filesystem::path name = path_;
            if (number > 1) name += "." + std::to_string(number);
            name += ".tmp";
            temporary_ = ExtendedLengthPath(name);
            HANDLE file = CreateFileW(temporary_.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                if (OpenedItself(file, name)) return file;
                // Created through a link after all: it goes, through its handle, never by name.
                FILE_DISPOSITION_INFO remove{TRUE};
                SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof(remove));
                CloseHandle(file);
                error = ERROR_CANT_RESOLVE_FILENAME;
                continue;
            }
            error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) break;
        }
        problem_ = Utf8Of(temporary_) + " cannot be created: " + ErrorText(error);
        return INVALID_HANDLE_VALUE;
    }

    std::filesystem::path path_;
    std::wstring extended_;
    std::wstring temporary_;
    std::string problem_;
};

}  // namespace

std::wstring ExtendedLengthPath(const std::filesystem::path& path) {
    std::wstring text = path.wstring();
    for (wchar_t& c : text)
        if (c == L'/') c = L'\\';
    if (text.rfind(L"\\\\?\\", 0) == 0) return text;
    if (text.size() >= 3 && text[1] == L':' && text[2] == L'\\') return L"\\\\?\\" + text;
    if (text.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + text.substr(2);
    return text;
}

std::optional<std::string> PreparePrivateFolder(const std::filesystem::path& folder) {
    const std::string name = Utf8Of(folder.wstring());
    const std::vector<BYTE> user = CurrentUserSid();
    if (user.empty()) return "the user's identity cannot be read, so its folder " + name + " cannot be checked";
    const std::wstring extended = ExtendedLengthPath(folder);
    if (GetFileAttributesW(extended.c_str()) == INVALID_FILE_ATTRIBUTES) {
        PrivateSecurity security(user);
        if (!CreateParents(folder) ||
            (!CreateDirectoryW(extended.c_str(), security.Attributes()) && GetLastError() != ERROR_ALREADY_EXISTS))
            return "its folder " + name + " cannot be made: " + ErrorText(GetLastError());
    }
    // Looked at through a handle of the folder itself, never through a link to another.
    FileHandle handle(CreateFileW(extended.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle) return "its folder " + name + " cannot be opened: " + ErrorText(GetLastError());
    const auto information = InformationOf(handle.Get());
    if (!information) return "its folder " + name + ": " + ErrorText(GetLastError());
    if ((information->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || !OpenedItself(handle.Get(), folder))
        return "its folder " + name + " is a link (a junction or a symbolic link)";
    if ((information->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return name + " is not a folder";
    PSID owner = nullptr;
    PACL dacl = nullptr;
    LocalMemory descriptor;
    const DWORD status =
        GetSecurityInfo(handle.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &dacl, nullptr, reinterpret_cast<PSECURITY_DESCRIPTOR*>(&descriptor.memory));
    if (status != ERROR_SUCCESS) return "its folder " + name + "'s owner cannot be read: " + ErrorText(status);
    if (owner == nullptr || !EqualSid(owner, const_cast<BYTE*>(user.data())))
        return "its folder " + name + " belongs to another user";
    if (auto open = OpenToOthers(dacl, user)) return "its folder " + name + " " + *open;
    return std::nullopt;
}

std::unique_ptr<JournalFile> OpenJournalFile(std::filesystem::path path) {
    return std::make_unique<Win32JournalFile>(std::move(path));
}

std::optional<std::filesystem::path> DefaultJournalPath() {
    PWSTR folder = nullptr;
    std::optional<std::filesystem::path> path;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder)))
        path = std::filesystem::path(folder) / L"Zinna" / L"restore.journal";
    CoTaskMemFree(folder);
    return path;
}

}  // namespace zinna::journal
