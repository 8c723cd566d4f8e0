#include "platform/journal/posix_journal_file.h"

#include <cerrno>
#include <cstdio>
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
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Close();
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
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
    auto unreadable = [&contents](std::string problem) {
        contents.status = FileContents::Status::Unreadable;
        contents.problem = std::move(problem);
        return contents;
    };
    // Never through a link, and never waiting: a fifo planted at its name must not hang the start.
    UniqueFd fd(::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT) return contents;
        if (errno == ELOOP) return unreadable("it is a symbolic link");
        return unreadable(std::strerror(errno));
    }
    struct stat status {};
    if (::fstat(fd.Get(), &status) != 0) return unreadable(std::strerror(errno));
    if (!S_ISREG(status.st_mode)) return unreadable("it is not a regular file");
    if (status.st_uid != ::geteuid()) return unreadable("it belongs to another user");
    if (static_cast<std::uint64_t>(status.st_size) > limit) return unreadable("larger than a journal can be");
    std::vector<std::uint8_t> buffer(limit + 1);
    std::size_t got = 0;
    while (got < buffer.size()) {
        ssize_t n = ::read(fd.Get(), buffer.data() + got, buffer.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return unreadable(std::strerror(errno));
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got > limit) return unreadable("larger than a journal can be");
    buffer.resize(got);
    contents.status = FileContents::Status::Read;
    contents.bytes = std::move(buffer);
    return contents;
}

std::optional<std::string> PreparePrivateFolder(const std::filesystem::path& folder) {
    std::error_code error;
    if (folder.has_parent_path()) std::filesystem::create_directories(folder.parent_path(), error);
    if (::mkdir(folder.c_str(), S_IRWXU) != 0 && errno != EEXIST)
        return "its folder " + folder.string() + " cannot be made: " + std::strerror(errno);
    // Looked at through a descriptor of the folder itself, never through a link to another.
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir) return "its folder " + folder.string() + " cannot be opened: " + std::strerror(errno);
    struct stat status {};
    if (::fstat(dir.Get(), &status) != 0) return "its folder " + folder.string() + ": " + std::strerror(errno);
    if (status.st_uid != ::geteuid()) return "its folder " + folder.string() + " belongs to another user";
    // Others who may add or rename files there could plant a link or a journal of their own.
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return "its folder " + folder.string() + " is open to others (writable by group or others)";
    return std::nullopt;
}

bool PosixJournalFile::Write(std::span<const std::uint8_t> bytes) {
    problem_.clear();
    const std::filesystem::path folder = FolderOf(path_);
    if (auto refused = PreparePrivateFolder(folder)) {
        problem_ = *refused;
        return false;
    }
    std::filesystem::path temporary = path_;
    temporary += ".tmp";
    // Created afresh, never through a link: whatever sits at its name is not written into.
    auto create = [&temporary] {
        return UniqueFd(
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR));
    };
    UniqueFd fd = create();
    if (!fd && errno == EEXIST) {
        // A temporary file a killed write left, or a link: the name goes (unlink removes a link,
        // never what it points to); anything else there (a folder) is left and the write fails.
        struct stat status {};
        if (::lstat(temporary.c_str(), &status) == 0 &&
            ((S_ISREG(status.st_mode) && status.st_uid == ::geteuid()) || S_ISLNK(status.st_mode)) &&
            ::unlink(temporary.c_str()) == 0)
            fd = create();
    }
    if (!fd) {
        problem_ = temporary.string() + " cannot be created: " + std::strerror(errno);
        return false;
    }
    bool ok = WriteAll(fd.Get(), bytes) && ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(temporary.c_str(), path_.c_str()) == 0;
    if (!ok) {
        problem_ = path_.string() + " cannot be written: " + std::strerror(errno);
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
    for (int number = 1; number <= kMaxSetAside; ++number) {
        const std::filesystem::path aside = AsideName(path_, number);
        // RENAME_NOREPLACE: an earlier journal set aside under that name stays as it is.
        if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
            SyncFolder(FolderOf(path_));
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
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
