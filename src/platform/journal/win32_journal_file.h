// The journal file on Windows, and the two rules it keeps that its tests look at directly: the
// folder is the user's own, and every path is given to Windows in its extended-length form.
#pragma once

#include "platform/journal/journal_file.h"

#include <filesystem>
#include <optional>
#include <string>

namespace zinna::journal {

// "\\?\C:\..." for "C:\...", "\\?\UNC\server\share\..." for "\\server\share\...": Windows then
// takes the path as it is, beyond MAX_PATH, without reading "." or ".." in it. A relative path, or
// one already in that form, comes back unchanged (with backslashes).
std::wstring ExtendedLengthPath(const std::filesystem::path& path);

// Makes the folder when it is not there (its parents as Windows makes them, the folder itself with
// a protected DACL that lets only the user, SYSTEM and the Administrators in) and checks the folder
// that is there: a real folder, not a link to one; owned by the user; and no one else (SYSTEM and
// the Administrators apart, who may do anything anyway) may add, rename or remove files in it. The
// reason when it is refused.
std::optional<std::string> PreparePrivateFolder(const std::filesystem::path& folder);

}  // namespace zinna::journal
