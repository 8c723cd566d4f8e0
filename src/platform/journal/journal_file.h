// Where a journal is kept: one small file, replaced whole and atomically, so that a reader finds
// either the old contents or the new, never a mixture, whatever moment the writer is stopped at.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zinna::journal {

struct FileContents {
    enum class Status { Absent, Read, Unreadable };
    Status status = Status::Absent;
    std::vector<std::uint8_t> bytes;
    std::string problem;  // why it could not be read
};

class JournalFile {
public:
    virtual ~JournalFile() = default;

    // Reads at most limit bytes; a larger file is Unreadable.
    virtual FileContents Read(std::size_t limit) = 0;
    // Writes a temporary file beside it, flushes it to the disk, then renames it over the file.
    // False (and no temporary file left) when any step failed; the old file is then unchanged, and
    // Problem() says why.
    virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
    // True when the file is gone afterwards (also when there was none).
    virtual bool Remove() = 0;
    // Renames the file aside under the first free name of AsideName(path, 1), (path, 2)...: an
    // earlier file set aside is never replaced, so each damaged journal can still be looked at.
    virtual bool SetAside() = 0;
    // Where it is, for reports.
    virtual std::string Describe() const = 0;
    // Why the last Write failed, for the report; empty when it did not.
    virtual std::string Problem() const { return {}; }
};

// How many journals are kept aside at most; beyond that a damaged one is removed.
inline constexpr int kMaxSetAside = 64;

// "restore.journal.bad", then "restore.journal.2.bad", "restore.journal.3.bad"...
inline std::filesystem::path AsideName(const std::filesystem::path& path, int number) {
    std::filesystem::path aside = path;
    if (number > 1) aside += "." + std::to_string(number);
    aside += ".bad";
    return aside;
}

// The platform's own journal file kept at path (POSIX: fsync and rename; Windows:
// FlushFileBuffers and MoveFileExW with MOVEFILE_WRITE_THROUGH).
std::unique_ptr<JournalFile> OpenJournalFile(std::filesystem::path path);

// Where Zinna keeps her journal: on Windows %LOCALAPPDATA%\Zinna\restore.journal; elsewhere
// $XDG_STATE_HOME/zinna/restore.journal, or ~/.local/state/zinna/restore.journal when that is not
// set to an absolute path. nullopt when no such folder is known.
std::optional<std::filesystem::path> DefaultJournalPath();

}  // namespace zinna::journal
