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
    // False (and no temporary file left) when any step failed; the old file is then unchanged.
    virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
    // True when the file is gone afterwards (also when there was none).
    virtual bool Remove() = 0;
    // Renames the file aside, with ".bad" after its name, replacing an older one of that name.
    virtual bool SetAside() = 0;
    // Where it is, for reports.
    virtual std::string Describe() const = 0;
};

// The platform's own journal file kept at path (POSIX: fsync and rename; Windows:
// FlushFileBuffers and MoveFileExW with MOVEFILE_WRITE_THROUGH).
std::unique_ptr<JournalFile> OpenJournalFile(std::filesystem::path path);

// Where Zinna keeps her journal: on Windows %LOCALAPPDATA%\Zinna\restore.journal; elsewhere
// $XDG_STATE_HOME/zinna/restore.journal, or ~/.local/state/zinna/restore.journal when that is not
// set to an absolute path. nullopt when no such folder is known.
std::optional<std::filesystem::path> DefaultJournalPath();

}  // namespace zinna::journal
