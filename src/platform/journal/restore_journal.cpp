#include "platform/journal/restore_journal.h"

#include <algorithm>
#include <exception>
#include <set>

namespace zinna::journal {

namespace {

constexpr std::uint32_t kStoreAndAnnounce = SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE;
constexpr int kMaxReadAttempts = 4;  // the value may grow between two reads
constexpr char kWallpaperValue[] = "Wallpaper";

// One value of an open key, as the program's GetRegString would find it.
SavedValue QueryValue(ZinnaModule& module, RegistryKey key, const std::string& name) {
    SavedValue value;
    value.name = name;
    std::vector<std::uint8_t> buffer(256);
    std::uint32_t size = 0;
    std::uint32_t type = 0;
    std::int32_t status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kMaxReadAttempts && status == ERROR_MORE_DATA; ++attempt) {
        if (attempt > 0) buffer.assign(size, 0);
        size = static_cast<std::uint32_t>(buffer.size());
        status = module.RegQueryValueExA(key, name, &type, buffer.data(), &size);
    }
    if (status == ERROR_SUCCESS) {
        value.state = SavedValue::State::Present;
        value.type = type;
        value.data.assign(buffer.begin(), buffer.begin() + std::min<std::size_t>(size, buffer.size()));
    } else if (status == ERROR_FILE_NOT_FOUND) {
        value.state = SavedValue::State::Missing;
    }
    return value;
}

std::string TextOf(const std::vector<std::uint8_t>& data) {
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return fold(x) == fold(y); });
}

// The path the program gives its wallpaper: the Windows directory and the bitmap's name.
std::string ZinnaWallpaperPath(ZinnaModule& module, const std::string& wallpaperFile) {
    std::vector<char> buffer(256, '\0');
    std::uint32_t needed = module.GetWindowsDirectoryA(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    if (needed >= buffer.size()) {
        buffer.assign(needed + 1, '\0');
        module.GetWindowsDirectoryA(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    }
    return std::string(buffer.data()) + wallpaperFile;
}

bool EndsWithIgnoringCase(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && SameIgnoringCase(text.substr(text.size() - tail.size()), tail);
}

bool SameValue(const SavedValue& a, const SavedValue& b) {
    if (a.state != b.state) return false;
    return a.state != SavedValue::State::Present || SameIgnoringCase(TextOf(a.data), TextOf(b.data));
}

}  // namespace

const char* NoticeName(JournalNotice::Kind kind) {
    switch (kind) {
        case JournalNotice::Kind::Restored:
            return "restored";
        case JournalNotice::Kind::Discarded:
            return "discarded";
        case JournalNotice::Kind::SetAside:
            return "set-aside";
        case JournalNotice::Kind::NotWritten:
            return "not-written";
        case JournalNotice::Kind::Kept:
            return "kept";
        case JournalNotice::Kind::Refused:
            return "refused";
        case JournalNotice::Kind::OwnLook:
            return "own-look";
    }
    return "unknown";
}

std::string NoticeLine(const JournalNotice& notice) {
    return std::string("zinna: restore journal ") + NoticeName(notice.kind) + ": " + notice.detail + "\n";
}

DesktopRecord ReadDesktopThrough(ZinnaModule& module, const std::string& desktopName, const ProgramDesktop& program) {
    DesktopRecord record;
    record.desktop = desktopName;
    RegistryKey key = 0;
    const bool opened = module.RegOpenKeyExA(HKEY_CURRENT_USER, program.keyPath, 0, KEY_READ, &key) == ERROR_SUCCESS;
    for (const std::string& name : kJournalledValues) {
        SavedValue value;
        value.name = name;
        record.values.push_back(opened ? QueryValue(module, key, name) : value);
    }
    if (opened) module.RegCloseKey(key);
    record.color = module.GetSysColor(COLOR_BACKGROUND);
    return record;
}

Look LookOf(const SavedValue& wallpaper, const DesktopRecord* journal, const std::string& wallpaperFile,
            const std::function<std::string()>& zinnaWallpaper) {
    if (wallpaper.state == SavedValue::State::Unknown) return Look::Unreadable;
    // The journal's own wallpaper back while the journal is still there: a restore that did not
    // finish, or a start stopped after its record and before (or at) its wallpaper call. Applying
    // the journal then is harmless, and dropping it would leave her style values behind.
    if (journal != nullptr) {
        const SavedValue* journalled = journal->Find(kWallpaperValue);
        if (journalled != nullptr && SameValue(wallpaper, *journalled)) return Look::JournalsOwn;
    }
    if (wallpaper.state != SavedValue::State::Present) return Look::Other;
    const std::string shown = TextOf(wallpaper.data);
    // Only a picture of her bitmap's name can be hers: the Windows directory is asked only then.
    return EndsWithIgnoringCase(shown, wallpaperFile) && SameIgnoringCase(shown, zinnaWallpaper()) ? Look::Zinna
                                                                                                   : Look::Other;
}

DesktopRecord DefaultDesktopRecord(const JournalDesktop& which, const ProgramDesktop& program,
                                   const std::vector<DesktopSetting>& settingsOfBackend) {
    DesktopRecord record;
    record.desktop = which.desktop;
    record.backend = which.backend;
    // No picture is an empty Wallpaper text, as the system stores "None"; the style values unset.
    record.values = {{kWallpaperValue, SavedValue::State::Present, REG_SZ, {0}},
                     {"TileWallpaper", SavedValue::State::Missing, 0, {}},
                     {"WallpaperStyle", SavedValue::State::Missing, 0, {}}};
    record.color = program.defaultColor;
    for (const DesktopSetting& setting : settingsOfBackend) record.settings.push_back({setting.name, std::nullopt});
    return record;
}

RestoreJournal::RestoreJournal(JournalFile& file, ZinnaModule& desktop, JournalDesktop which, ProgramDesktop program,
                               Hooks hooks)
    : file_(file),
      desktop_(desktop),
      which_(std::move(which)),
      program_(std::move(program)),
      hooks_(std::move(hooks)) {}

Recovery RestoreJournal::Recover() {
    recovered_ = true;
    Recovery result = Recovery::SetAside;
    try {
        result = RecoverUnguarded();
    } catch (const std::exception& error) {
        result = SetAside(std::string("reading or applying it failed: ") + error.what());
    } catch (...) {
        result = SetAside("reading or applying it failed");
    }
    if (!keptBecause_) {
        try {
            CheckOwnLook(result == Recovery::Restored ? restoredHere_ : std::nullopt);
        } catch (...) {
            // A desktop that cannot be read now is taken as not wearing her look: the program's own
            // reads then find what they find, as without a journal.
        }
    }
    recovery_ = result;
    return result;
}

bool RestoreJournal::DesktopGivenBack() const {
    if (!recovery_ || ownLook_) return false;
    return *recovery_ == Recovery::NothingToDo || *recovery_ == Recovery::Restored || *recovery_ == Recovery::Discarded;
}

Recovery RestoreJournal::RecoverUnguarded() {
    FileContents contents = file_.Read(kMaxJournalBytes);
    if (contents.status == FileContents::Status::Absent) return Recovery::NothingToDo;
    if (contents.status == FileContents::Status::Unreadable) return SetAside("it cannot be read: " + contents.problem);
    ParsedJournal parsed = ParseJournal(contents.bytes);
    if (!parsed.record) {
        if (parsed.newer) return Keep(parsed.problem + "; it is kept untouched for the Zinna that wrote it");
        return SetAside(parsed.problem);
    }
    DesktopRecord& record = *parsed.record;
    if (record.desktop != which_.desktop)
        return Keep("it belongs to another desktop, " + record.desktop +
                    "; it is kept untouched until Zinna runs there");
    if (record.backend.empty()) record.backend = which_.backend;  // version 1: this desktop's backend, as then
    if (record.backend == which_.backend) return RecoverThrough(desktop_, hooks_.restoreSettings, record, "");
    std::optional<ReachedBackend> reached = hooks_.reachBackend ? hooks_.reachBackend(record.backend) : std::nullopt;
    if (!reached || !reached->module)
        return Keep("it was written through " + record.backend + ", which cannot be reached from this session (" +
                    which_.backend + "); it is kept untouched until Zinna runs on that desktop again");
    return RecoverThrough(*reached->module, reached->restoreSettings, record, " through " + record.backend);
}

Recovery RestoreJournal::RecoverThrough(ZinnaModule& desktop, const RestoreSettings& restoreSettings,
                                        const DesktopRecord& record, const std::string& whose) {
    // A settings backend keeps its settings only where it can put them back; elsewhere they are
    // something the journal should not hold.
    if (!record.settings.empty() && !restoreSettings)
        return SetAside("it holds settings that " + record.backend + " does not keep");
    switch (CurrentLook(desktop, record)) {
        case Look::Unreadable:
            return Keep("the desktop cannot be read now" + whose + "; its journal is kept for the next start");
        case Look::Other:
            if (!file_.Remove())
                return Keep("the wallpaper was changed after Zinna ended, but the journal cannot be removed");
            hooks_.report({JournalNotice::Kind::Discarded, "the wallpaper was changed after Zinna ended" + whose});
            return Recovery::Discarded;
        case Look::Zinna:
        case Look::JournalsOwn:
            break;
    }
    if (!Apply(desktop, restoreSettings, record))
        return Keep("the desktop did not take back every setting" + whose +
                    "; its journal is kept for the next start or \"zinna --restore\"");
    if (!file_.Remove()) return Keep("the desktop was given back" + whose + ", but its journal cannot be removed");
    hooks_.report({JournalNotice::Kind::Restored, "the desktop of an earlier run was given back" + whose});
    if (&desktop == &desktop_) restoredHere_ = record;
    return Recovery::Restored;
}

Recovery RestoreJournal::SetAside(const std::string& problem) {
    // Never removed unread: a journal that cannot be renamed stays where it is, and so does the desktop.
    if (!file_.SetAside()) return Keep(problem + "; it cannot be set aside, so it stays where it is");
    hooks_.report({JournalNotice::Kind::SetAside, file_.Describe() + ": " + problem});
    return Recovery::SetAside;
}

Recovery RestoreJournal::Keep(const std::string& why) {
    keptBecause_ = why;
    hooks_.report({JournalNotice::Kind::Kept, file_.Describe() + ": " + why});
    return Recovery::Kept;
}

std::string RestoreJournal::ZinnaWallpaper(ZinnaModule& desktop) {
    return ZinnaWallpaperPath(desktop, program_.wallpaperFile);
}

Look RestoreJournal::CurrentLook(ZinnaModule& desktop, const DesktopRecord& record) {
    RegistryKey key = 0;
    // A desktop that cannot be asked says nothing of its wallpaper: its service may not be up yet.
    if (desktop.RegOpenKeyExA(HKEY_CURRENT_USER, program_.keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return Look::Unreadable;
    SavedValue wallpaper = QueryValue(desktop, key, kWallpaperValue);
    desktop.RegCloseKey(key);
    return LookOf(wallpaper, &record, program_.wallpaperFile, [&] { return ZinnaWallpaper(desktop); });
}

void RestoreJournal::CheckOwnLook(const std::optional<DesktopRecord>& restored) {
    // Just given back, the desktop is what the journal holds: no need to read it all again.
    if (!restored && !hooks_.readUserDesktop) return;
    const DesktopRecord now = restored ? *restored : hooks_.readUserDesktop();
    const SavedValue* wallpaper = now.Find(kWallpaperValue);
    if (wallpaper == nullptr ||
        LookOf(*wallpaper, nullptr, program_.wallpaperFile, [&] { return ZinnaWallpaper(desktop_); }) != Look::Zinna)
        return;
    ownLook_ = true;
    defaultRecord_ = DefaultDesktopRecord(which_, program_, now.settings);
    hooks_.report({JournalNotice::Kind::OwnLook,
                   "the desktop already wears Zinna's look and no journal says what it was before; she keeps that "
                   "look out of her record, and her quit gives back the desktop's own default (no wallpaper "
                   "picture, the default colour)"});
}

bool RestoreJournal::Apply(ZinnaModule& desktop, const RestoreSettings& restoreSettings, const DesktopRecord& record) {
    // The program's own order: the colour, then the values, then the wallpaper call. The restore
    // stops at the first step that fails: the desktop then still wears her wallpaper or the
    // journal's own, and the next start tries the whole restore again.
    const int elements[] = {COLOR_BACKGROUND};
    const std::uint32_t colors[] = {record.color};
    if (!desktop.SetSysColors(1, elements, colors)) return false;
    for (const SavedValue& value : record.values) {
        if (value.state == SavedValue::State::Unknown) continue;  // unknown: better untouched than a guess
        RegistryKey key = 0;
        if (desktop.RegOpenKeyA(HKEY_CURRENT_USER, program_.keyPath, &key) != ERROR_SUCCESS) return false;
        const std::int32_t status = value.state == SavedValue::State::Present
                                        ? desktop.RegSetValueExA(key, value.name, 0, value.type, value.data.data(),
                                                                 static_cast<std::uint32_t>(value.data.size()))
                                        : desktop.RegDeleteValueA(key, value.name);
        const bool flushed = desktop.RegFlushKey(key) == ERROR_SUCCESS;
        desktop.RegCloseKey(key);
        // A value to delete that is already gone is as it was before.
        const bool absentAsBefore = value.state == SavedValue::State::Missing && status == ERROR_FILE_NOT_FOUND;
        if ((status != ERROR_SUCCESS && !absentAsBefore) || !flushed) return false;
    }
    const SavedValue* wallpaper = record.Find(kWallpaperValue);
    bool done = true;
    if (wallpaper != nullptr && wallpaper->state == SavedValue::State::Present) {
        // The whole text up to its first NUL: one stored without a terminating NUL keeps its last
        // character.
        done = desktop.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, TextOf(wallpaper->data), kStoreAndAnnounce);
    } else if (wallpaper != nullptr && wallpaper->state == SavedValue::State::Missing) {
        // No wallpaper value before: show none, and store nothing that would create one.
        done = desktop.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, "", SPIF_SENDWININICHANGE);
    }
    // The desktop's own settings go back even when the wallpaper call failed: they hold the picture
    // too on some desktops, and each of them back is one less the user has to mend.
    if (restoreSettings && !record.settings.empty()) done = restoreSettings(record.settings) && done;
    return done;
}

bool RestoreJournal::RecordBeforeFirstChange() {
    if (recordTried_) return mayChange_;
    if (!recovered_) Recover();  // a journal already there is never written over unread
    recordTried_ = true;
    if (keptBecause_) {
        mayChange_ = false;
        hooks_.report({JournalNotice::Kind::Refused, "Zinna leaves the desktop as it is while " + file_.Describe() +
                                                         " is kept: a new record must not replace it"});
        return false;
    }
    DesktopRecord record = ownLook_ ? defaultRecord_ : hooks_.readUserDesktop();
    record.desktop = which_.desktop;
    record.backend = which_.backend;
    const std::string text = SerializeJournal(record);
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    // The reader's own checks decide what a journal may hold: what it would reject is never written.
    if (ParsedJournal check = ParseJournal(bytes); !check.record) {
        mayChange_ = false;
        hooks_.report({JournalNotice::Kind::Refused,
                       "the desktop cannot be kept in a journal (" + check.problem + "), so Zinna leaves it as it is"});
        return false;
    }
    written_ = file_.Write(bytes);
    if (!written_) {
        // Without a journal a kill would lose the user's desktop: it is not changed at all.
        mayChange_ = false;
        const std::string why = file_.Problem();
        hooks_.report({JournalNotice::Kind::NotWritten, file_.Describe() + " could not be written" +
                                                            (why.empty() ? "" : ": " + why) +
                                                            "; so Zinna leaves the desktop as it is"});
    }
    return written_;
}

void RestoreJournal::ChangeMade(const std::string& part, bool done, bool sticky) {
    if (!written_) return;  // before the record, or refused: nothing of the user's was changed
    if (sticky) {
        if (!done) stickyFailures_.push_back(part);
        return;
    }
    changes_[part] = done;
}

bool RestoreJournal::ProgramEnded() {
    if (!written_) return true;
    std::vector<std::string> failed = stickyFailures_;
    for (const auto& [part, done] : changes_)
        if (!done) failed.push_back(part);
    // Her look found at the start: the desktop's own settings go back to their defaults as well.
    if (ownLook_ && hooks_.restoreSettings && !defaultRecord_.settings.empty()) {
        bool reset = false;
        try {
            reset = hooks_.restoreSettings(defaultRecord_.settings);
        } catch (...) {}
        if (!reset) failed.push_back("the desktop's own settings");
    }
    if (!failed.empty()) {
        std::string list;
        for (const std::string& part : failed) list += (list.empty() ? "" : ", ") + part;
        hooks_.report({JournalNotice::Kind::Kept, file_.Describe() + ": the desktop did not take every change (" +
                                                      list +
                                                      "); its journal is kept for the next start or \"zinna "
                                                      "--restore\""});
        return false;
    }
    if (!file_.Remove()) {
        hooks_.report({JournalNotice::Kind::Kept,
                       file_.Describe() + ": the desktop was given back, but its journal cannot be removed"});
        return false;
    }
    written_ = false;
    return true;
}

}  // namespace zinna::journal
