// The restore journal's contents and its file format: the user's desktop as it was before Zinna
// changed it, kept on disk while she runs so that a killed run can be undone at the next start.
//
// The format is text, one item a line, so that a person can read it:
//   Zinna restore journal
//   version 2
//   desktop <which desktop the values belong to: the user and the platform>
//   backend <the settings service that holds them: gsettings:gnome, xfconf, plasma, x11-root, registry...>
//   value <name> present <type> <bytes in hex, or -> | value <name> missing | value <name> unknown
//     (Wallpaper, TileWallpaper and WallpaperStyle, each once; a present one is REG_SZ or REG_EXPAND_SZ)
//   color <8 hex digits>
//   setting <name in hex> <text in hex, or -> | setting <name in hex> unset     (none or more)
//   checksum <CRC-32 of every byte before this line, 8 hex digits>
// Parsing is strict: any deviation, however small, rejects the whole journal. Version 1 (no backend
// line) is still read: its values belong to whatever backend the desktop has now, as they did when
// it was written. A newer version is not understood, and is reported as such so that it is kept
// untouched for the Zinna that wrote it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zinna::journal {

inline constexpr int kJournalVersion = 2;
inline constexpr int kOldestJournalVersion = 1;
// The one bound of a journal, checked by the reader and, through the reader, before a journal is
// written: a desktop beyond it is not changed. Real desktops fit with room to spare: Xfce keeps five
// settings a backdrop (16 monitors x 32 workspaces: 2560), Plasma four a desktop (64: 256).
inline constexpr std::size_t kMaxJournalSettings = 4096;
inline constexpr std::size_t kMaxJournalBytes = 4 * 1024 * 1024;

// One saved value, as the program's own read found it.
struct SavedValue {
    enum class State {
        Present,  // type and bytes exactly as stored
        Missing,  // the value did not exist: the restore removes it
        Unknown,  // it could not be read: the restore leaves it alone rather than guess
    };
    std::string name;
    State state = State::Unknown;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;

    bool operator==(const SavedValue&) const = default;
};

// One of the desktop's own settings behind the values, where the platform keeps more than the
// values say (a second picture for dark mode, a colour gradient): nullopt when it was not set.
struct DesktopSetting {
    std::string name;
    std::optional<std::string> text;

    bool operator==(const DesktopSetting&) const = default;
};

struct DesktopRecord {
    std::string desktop;  // which desktop the values belong to (the user and the platform)
    std::string backend;  // the settings service that holds them; empty in a version 1 journal
    std::vector<SavedValue> values;
    std::uint32_t color = 0;               // the desktop colour, 0x00BBGGRR
    std::vector<DesktopSetting> settings;  // put back after the values, so the restore is exact

    bool operator==(const DesktopRecord&) const = default;
    const SavedValue* Find(const std::string& name) const;
};

std::string SerializeJournal(const DesktopRecord& record);

struct ParsedJournal {
    std::optional<DesktopRecord> record;
    std::string problem;  // why it was rejected, for the report; empty when accepted
    bool newer = false;   // rejected because a later Zinna wrote it: not damaged, only not understood
};
ParsedJournal ParseJournal(std::span<const std::uint8_t> bytes);

// CRC-32 (the common reflected polynomial 0xEDB88320).
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

}  // namespace zinna::journal
