// A journal file on a POSIX file system: written with fsync and rename, the folder synced after
// the rename so that the new name itself survives a power cut.
#pragma once

#include "platform/journal/journal_file.h"

#include <filesystem>
#include <optional>
#include <string>

namespace zinna::journal {

class PosixJournalFile final : public JournalFile {
public:
    explicit PosixJournalFile(std::filesystem::path path) : path_(std::move(path)) {}

    FileContents Read(std::size_t limit) override;
    bool Write(std::span<const std::uint8_t> bytes) override;
    bool Remove() override;
    bool SetAside() override;
    std::string Describe() const override { return path_.string(); }
    std::string Problem() const override { return problem_; }

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
    std::string problem_;
};

// Makes the folder (0700) when it is not there, and checks that it is the user's own and that no
// one else may add files to it; the reason when it is refused.
std::optional<std::string> PreparePrivateFolder(const std::filesystem::path& folder);

}  // namespace zinna::journal
