#include "platform/journal/restore_journal.h"

#include <algorithm>
#include <exception>

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

RestoreJournal::RestoreJournal(JournalFile& file, ZinnaModule& desktop, std::string desktopName, ProgramDesktop program,
                               ReadUserDesktop readUserDesktop, Report report, RestoreSettings restoreSettings)
    : file_(file),
      desktop_(desktop),
      desktopName_(std::move(desktopName)),
      program_(std::move(program)),
      readUserDesktop_(std::move(readUserDesktop)),
      report_(std::move(report)),
      restoreSettings_(std::move(restoreSettings)) {}

Recovery RestoreJournal::Recover() {
    try {
        return RecoverUnguarded();
    } catch (const std::exception& error) {
        SetAside(std::string("reading or applying it failed: ") + error.what());
    } catch (...) {
        SetAside("reading or applying it failed");
    }
    return Recovery::SetAside;
}

Recovery RestoreJournal::RecoverUnguarded() {
    FileContents contents = file_.Read(kMaxJournalBytes);
    if (contents.status == FileContents::Status::Absent) return Recovery::NothingToDo;
    if (contents.status == FileContents::Status::Unreadable) {
        SetAside("it cannot be read: " + contents.problem);
        return Recovery::SetAside;
    }
    ParsedJournal parsed = ParseJournal(contents.bytes);
    if (!parsed.record) {
        SetAside(parsed.problem);
        return Recovery::SetAside;
    }
    if (parsed.record->desktop != desktopName_) {
        SetAside("it belongs to another desktop, " + parsed.record->desktop);
        return Recovery::SetAside;
    }
    switch (CurrentLook(*parsed.record)) {
        case Look::Unreadable:
            report_({JournalNotice::Kind::Kept,
                     file_.Describe() + ": the desktop cannot be read now; its journal is kept for the next start"});
            return Recovery::Kept;
        case Look::Other:
            file_.Remove();
            report_({JournalNotice::Kind::Discarded, "the wallpaper was changed after Zinna ended"});
            return Recovery::Discarded;
        case Look::Zinna:
            break;
    }
    if (!Apply(*parsed.record)) {
        report_({JournalNotice::Kind::Kept, file_.Describe() +
                                                ": the desktop did not take back every setting; its journal is "
                                                "kept for the next start or \"zinna --restore\""});
        return Recovery::Kept;
    }
    if (!file_.Remove()) {
        report_({JournalNotice::Kind::Kept, file_.Describe() + ": the desktop was given back, but its journal "
                                                               "cannot be removed"});
        return Recovery::Kept;
    }
    report_({JournalNotice::Kind::Restored, "the desktop of an earlier run was given back"});
    return Recovery::Restored;
}

void RestoreJournal::SetAside(const std::string& problem) {
    // A file that can be neither renamed nor removed is reported again at the next start.
    if (!file_.SetAside()) file_.Remove();
    report_({JournalNotice::Kind::SetAside, file_.Describe() + ": " + problem});
}

RestoreJournal::Look RestoreJournal::CurrentLook(const DesktopRecord& record) {
    RegistryKey key = 0;
    // A desktop that cannot be asked says nothing of its wallpaper: its service may not be up yet.
    if (desktop_.RegOpenKeyExA(HKEY_CURRENT_USER, program_.keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return Look::Unreadable;
    SavedValue wallpaper = QueryValue(desktop_, key, kWallpaperValue);
    desktop_.RegCloseKey(key);
    if (wallpaper.state == SavedValue::State::Unknown) return Look::Unreadable;
    if (wallpaper.state != SavedValue::State::Present) return Look::Other;
    const std::string shown = TextOf(wallpaper.data);
    // The journal's own wallpaper back, but the journal still there: a restore that did not finish
    // (or a run killed between its restore and the journal's removal). Applying it again is harmless.
    const SavedValue* journalled = record.Find(kWallpaperValue);
    const bool halfRestored = journalled != nullptr && journalled->state == SavedValue::State::Present &&
                              SameIgnoringCase(shown, TextOf(journalled->data));
    return halfRestored || SameIgnoringCase(shown, ZinnaWallpaperPath(desktop_, program_.wallpaperFile)) ? Look::Zinna
                                                                                                         : Look::Other;
}

bool RestoreJournal::Apply(const DesktopRecord& record) {
    // The program's own order: the colour, then the values, then the wallpaper call. Zinna's wallpaper
    // is what tells a later start that the journal still applies, so the restore stops at the first
    // step that fails: a desktop that refuses the colour still wears her wallpaper, and the next
    // start tries the whole restore again.
    const int elements[] = {COLOR_BACKGROUND};
    const std::uint32_t colors[] = {record.color};
    if (!desktop_.SetSysColors(1, elements, colors)) return false;
    for (const SavedValue& value : record.values) {
        if (value.state == SavedValue::State::Unknown) continue;  // unknown: better untouched than a guess
        RegistryKey key = 0;
        if (desktop_.RegOpenKeyA(HKEY_CURRENT_USER, program_.keyPath, &key) != ERROR_SUCCESS) return false;
        const std::int32_t status = value.state == SavedValue::State::Present
                                        ? desktop_.RegSetValueExA(key, value.name, 0, value.type, value.data.data(),
                                                                  static_cast<std::uint32_t>(value.data.size()))
                                        : desktop_.RegDeleteValueA(key, value.name);
        const bool flushed = desktop_.RegFlushKey(key) == ERROR_SUCCESS;
        desktop_.RegCloseKey(key);
        // A value to delete that is already gone is as it was before.
        const bool absentAsBefore = value.state == SavedValue::State::Missing && status == ERROR_FILE_NOT_FOUND;
        if ((status != ERROR_SUCCESS && !absentAsBefore) || !flushed) return false;
    }
    const SavedValue* wallpaper = record.Find(kWallpaperValue);
    bool done = true;
    if (wallpaper != nullptr && wallpaper->state == SavedValue::State::Present) {
        done = desktop_.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, TextOf(wallpaper->data), kStoreAndAnnounce);
    } else if (wallpaper != nullptr && wallpaper->state == SavedValue::State::Missing) {
        // No wallpaper value before: show none, and store nothing that would create one.
        done = desktop_.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, "", SPIF_SENDWININICHANGE);
    }
    // The desktop's own settings go back even when the wallpaper call failed: they hold the picture
    // too on some desktops, and each of them back is one less the user has to mend.
    if (restoreSettings_ && !record.settings.empty()) done = restoreSettings_(record.settings) && done;
    return done;
}

bool RestoreJournal::RecordBeforeFirstChange() {
    if (recordTried_) return mayChange_;
    recordTried_ = true;
    const std::string text = SerializeJournal(readUserDesktop_());
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    // The reader's own checks decide what a journal may hold: what it would reject is never written.
    if (ParsedJournal check = ParseJournal(bytes); !check.record) {
        mayChange_ = false;
        report_({JournalNotice::Kind::Refused,
                 "the desktop cannot be kept in a journal (" + check.problem + "), so Zinna leaves it as it is"});
        return false;
    }
    written_ = file_.Write(bytes);
    if (!written_) {
        const std::string why = file_.Problem();
        report_({JournalNotice::Kind::NotWritten,
                 file_.Describe() + " could not be written" + (why.empty() ? "" : ": " + why)});
    }
    return true;
}

void RestoreJournal::ProgramEnded() {
    if (written_ && file_.Remove()) written_ = false;
}

}  // namespace zinna::journal
