#include "platform/journal/posix_journal_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zinna::journal {

namespace {

// Owns one open file descriptor.
class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Close(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // The result of close(), which reports a failed delayed write.
    bool Close() {
        if (fd_ < 0) return true;
        bool ok = ::close(fd_) == 0;
        fd_ = -1;
        return ok;
    }

private:
    int fd_;
};

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

// Makes a rename or an unlink in the folder durable.
void SyncFolder(const std::filesystem::path& folder) {
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ::fsync(dir.Get());
}

std::filesystem::path FolderOf(const std::filesystem::path& path) {
    return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

}  // namespace

FileContents PosixJournalFile::Read(std::size_t limit) {
    FileContents contents;
    UniqueFd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT) return contents;
        contents.status = FileContents::Status::Unreadable;
        contents.problem = std::strerror(errno);
        return contents;
    }
    std::vector<std::uint8_t> buffer(limit + 1);
    std::size_t got = 0;
    while (got < buffer.size()) {
        ssize_t n = ::read(fd.Get(), buffer.data() + got, buffer.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            contents.status = FileContents::Status::Unreadable;
            contents.problem = std::strerror(errno);
            return contents;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got > limit) {
        contents.status = FileContents::Status::Unreadable;
        contents.problem = "larger than a journal can be";
        return contents;
    }
    buffer.resize(got);
    contents.status = FileContents::Status::Read;
    contents.bytes = std::move(buffer);
    return contents;
}

bool PosixJournalFile::Write(std::span<const std::uint8_t> bytes) {
    const std::filesystem::path folder = FolderOf(path_);
    std::error_code error;
    const bool created = std::filesystem::create_directories(folder, error);
    if (error) return false;
    // Only the user reads what their desktop was.
    if (created) ::chmod(folder.c_str(), S_IRWXU);

    std::filesystem::path temporary = path_;
    temporary += ".tmp";
    UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (!fd) return false;
    bool ok = WriteAll(fd.Get(), bytes) && ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(temporary.c_str(), path_.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    SyncFolder(folder);
    return true;
}

bool PosixJournalFile::Remove() {
    if (::unlink(path_.c_str()) != 0 && errno != ENOENT) return false;
    SyncFolder(FolderOf(path_));
    return true;
}

bool PosixJournalFile::SetAside() {
    std::filesystem::path aside = path_;
    aside += ".bad";
    if (::rename(path_.c_str(), aside.c_str()) != 0) return false;
    SyncFolder(FolderOf(path_));
    return true;
}

std::unique_ptr<JournalFile> OpenJournalFile(std::filesystem::path path) {
    return std::make_unique<PosixJournalFile>(std::move(path));
}

std::optional<std::filesystem::path> DefaultJournalPath() {
    // XDG_STATE_HOME must be an absolute path; a relative value is ignored, as the XDG convention says.
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') return std::filesystem::path(state) / "zinna" / "restore.journal";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') return std::nullopt;
    return std::filesystem::path(home) / ".local" / "state" / "zinna" / "restore.journal";
}

}  // namespace zinna::journal
