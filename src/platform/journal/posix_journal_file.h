// A journal file on a POSIX file system: written with fsync and rename, the folder synced after
// the rename so that the new name itself survives a power cut.
#pragma once

#include "platform/journal/journal_file.h"

#include <filesystem>

namespace zinna::journal {

class PosixJournalFile final : public JournalFile {
public:
    explicit PosixJournalFile(std::filesystem::path path) : path_(std::move(path)) {}

    FileContents Read(std::size_t limit) override;
    bool Write(std::span<const std::uint8_t> bytes) override;
    bool Remove() override;
    bool SetAside() override;
    std::string Describe() const override { return path_.string(); }

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace zinna::journal
