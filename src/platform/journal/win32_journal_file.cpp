// The journal file on Windows: written to a temporary file, flushed with FlushFileBuffers, then
// moved over the old one with MoveFileExW and MOVEFILE_WRITE_THROUGH, which returns only once the
// move is on the disk.
// The journal library sits below the Windows layer (which uses it), and this file needs none of
// the program's constants, so it takes <windows.h> itself rather than through windows_api.h.
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/journal/journal_file.h"

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
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Close() {
        if (handle_ == INVALID_HANDLE_VALUE) return true;
        const bool ok = CloseHandle(handle_) != FALSE;
        handle_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE handle_;
};

std::string Utf8Of(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int length = static_cast<int>(wide.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, text.data(), needed, nullptr, nullptr);
    return text;
}

class Win32JournalFile final : public JournalFile {
public:
    explicit Win32JournalFile(std::filesystem::path path) : path_(std::move(path)) {}

    FileContents Read(std::size_t limit) override {
        FileContents contents;
        FileHandle file(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return contents;
            contents.status = FileContents::Status::Unreadable;
            contents.problem = "error " + std::to_string(error);
            return contents;
        }
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 ||
            static_cast<unsigned long long>(size.QuadPart) > limit) {
            contents.status = FileContents::Status::Unreadable;
            contents.problem = "larger than a journal can be";
            return contents;
        }
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
        DWORD got = 0;
        if (!bytes.empty() && (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
                               got != bytes.size())) {
            contents.status = FileContents::Status::Unreadable;
            contents.problem = "error " + std::to_string(GetLastError());
            return contents;
        }
        contents.status = FileContents::Status::Read;
        contents.bytes = std::move(bytes);
        return contents;
    }

    bool Write(std::span<const std::uint8_t> bytes) override {
        std::error_code error;
        std::filesystem::create_directories(path_.parent_path(), error);
        if (error) return false;
        std::filesystem::path temporary = path_;
        temporary += L".tmp";
        FileHandle file(
            CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD written = 0;
        bool ok = WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size() && FlushFileBuffers(file.Get());
        ok = file.Close() && ok;
        ok = ok && MoveFileExW(temporary.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (!ok) DeleteFileW(temporary.c_str());
        return ok;
    }

    bool Remove() override {
        if (DeleteFileW(path_.c_str())) return true;
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }

    bool SetAside() override {
        for (int number = 1; number <= kMaxSetAside; ++number) {
            // Without MOVEFILE_REPLACE_EXISTING: an earlier journal set aside under that name stays.
            if (MoveFileExW(path_.c_str(), AsideName(path_, number).c_str(), MOVEFILE_WRITE_THROUGH)) return true;
            const DWORD error = GetLastError();
            if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
        }
        return false;
    }

    std::string Describe() const override { return Utf8Of(path_.wstring()); }

private:
    std::filesystem::path path_;
};

}  // namespace

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
