// The restore journal: the user's desktop as it was before Zinna changed it, kept in a file from
// just before her first change until her desktop is given back. A run that ends without giving it
// back (killed, crashed, the power cut) leaves the file, and the next start puts the desktop back
// from it before the program reads anything. The program itself knows nothing of this: the
// platform layer runs the journal around it. The rules live here once, for every platform:
//  - a journal names the desktop and the settings backend that wrote it, and is applied only
//    through that backend; one of another desktop or backend is kept untouched until it can be;
//  - it is dropped only when the desktop positively reads back another wallpaper, and removed only
//    when every step of the restore (the program's own quit included) succeeded;
//  - while a journal is kept, or none can be written, the desktop is not changed at all, so that a
//    kept journal is never overwritten by a record of a desktop that may wear Zinna's look;
//  - a desktop that already wears her look is never recorded as the user's: the run then gives
//    back the desktop's own default.
#pragma once

#include "boundary/zinna_module.h"
#include "platform/journal/journal_file.h"
#include "platform/journal/journal_format.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zinna::journal {

// The values under HKEY_CURRENT_USER\Control Panel\Desktop that the program changes.
inline const std::vector<std::string> kJournalledValues = {"Wallpaper", "TileWallpaper", "WallpaperStyle"};

// Something the user or a developer may want to know about the journal; never shown in a window.
struct JournalNotice {
    enum class Kind {
        Restored,    // a journal from an earlier run was applied
        Discarded,   // the user chose another wallpaper since: their choice stands
        SetAside,    // a journal that is damaged was renamed to ".bad"
        NotWritten,  // the journal could not be written: the desktop is left as it is
        Kept,        // a journal stays for later (not this desktop's, not read, not given back whole)
        Refused,     // the desktop is not changed: it holds more than a journal keeps, or a journal is kept
        OwnLook,     // the desktop already wears Zinna's look: its default is what goes back
    };
    Kind kind;
    std::string detail;
};
// "restored", "discarded", "set-aside", "not-written", "kept", "refused", "own-look"
const char* NoticeName(JournalNotice::Kind kind);
// The notice as one line for the standard error: "zinna: restore journal restored: ...\n".
std::string NoticeLine(const JournalNotice& notice);

// Kept: the journal is still there (the desktop could not be read, a step of its restore failed,
// it belongs to a desktop that cannot be reached, a newer Zinna wrote it, or it could not be set
// aside); the next start (or "zinna --restore") tries again.
enum class Recovery { NothingToDo, Restored, Discarded, SetAside, Kept };

// What the journal needs to know of the program, handed over by whoever creates the journal: the
// key under HKEY_CURRENT_USER whose values the program changes, the name the program gives its
// wallpaper (appended to the Windows directory, backslash included), by which a desktop that still
// wears the program's look is recognised, and the desktop's own default colour, given back when
// what the user had is unknown.
struct ProgramDesktop {
    std::string keyPath;
    std::string wallpaperFile;
    std::uint32_t defaultColor = 0;
};

// Which desktop this run styles, as a journal names it: the user and platform ("linux:1000",
// "windows:S-1-5-21-..."), and the settings backend that holds the values ("gsettings:gnome",
// "xfconf", "plasma", "x11-root", "registry").
struct JournalDesktop {
    std::string desktop;
    std::string backend;
};

// Reads the user's desktop with ZinnaModule's calls, as the program's own start-up reads it: a
// value that does not exist is Missing, one that cannot be read (or whose key cannot be opened)
// Unknown.
DesktopRecord ReadDesktopThrough(ZinnaModule& module, const std::string& desktopName, const ProgramDesktop& program);

// What a desktop wears, by the one check every decision uses: its Wallpaper value against the
// journal's (a restore, or a start, cut short between two of its steps: the style values or the
// colour may be hers while the picture is not yet) and against Zinna's own picture, the Windows
// directory and wallpaperFile, which zinnaWallpaper gives and is asked only for a picture of that
// name. Unreadable: the desktop could not say; Other: it positively reads back another wallpaper.
// Her look is the whole of it (the picture, both style values and the colour go together): a
// desktop that wears her picture has her style and colour too, and none of them is the user's.
enum class Look { Zinna, JournalsOwn, Other, Unreadable };
Look LookOf(const SavedValue& wallpaper, const DesktopRecord* journal, const std::string& wallpaperFile,
            const std::function<std::string()>& zinnaWallpaper);

// The desktop's own default as a record: no wallpaper picture, the style values unset, the default
// colour, and every one of the backend's settings unset.
DesktopRecord DefaultDesktopRecord(const JournalDesktop& which, const ProgramDesktop& program,
                                   const std::vector<DesktopSetting>& settingsOfBackend);

// A settings backend other than the one this run styles, reached to give a journal of its own back.
struct ReachedBackend {
    std::shared_ptr<ZinnaModule> module;  // shared with restoreSettings, which may use it too
    std::function<bool(const std::vector<DesktopSetting>&)> restoreSettings;  // may be empty
};

class RestoreJournal {
public:
    using ReadUserDesktop = std::function<DesktopRecord()>;
    using Report = std::function<void(const JournalNotice&)>;
    // Puts the desktop's own settings of a record back, after its values (platforms that keep some);
    // false when the desktop refused or did not answer.
    using RestoreSettings = std::function<bool(const std::vector<DesktopSetting>&)>;
    // The backend a journal names, when it is not this run's and can be reached from this session
    // (GSettings need no session of their desktop); nullopt when it cannot.
    using ReachBackend = std::function<std::optional<ReachedBackend>(const std::string& backend)>;

    struct Hooks {
        ReadUserDesktop readUserDesktop;  // the user's values for the record, without anyone seeing it
        Report report;
        RestoreSettings restoreSettings;  // empty: the desktop keeps no settings beyond the values
        ReachBackend reachBackend;        // empty: no other backend can be reached
    };

    // desktop is where a journal is applied and the current wallpaper looked at.
    RestoreJournal(JournalFile& file, ZinnaModule& desktop, JournalDesktop which, ProgramDesktop program, Hooks hooks);

    // At start, before the program reads anything: applies a journal an earlier run left, unless
    // the desktop positively reads back another wallpaper (then it is dropped); keeps it when the
    // desktop cannot be read, when a step of its restore fails, when it belongs to a desktop or
    // backend that cannot be reached, or when a newer Zinna wrote it. A journal that cannot be read
    // or fails its checks is set aside, never half applied, and never removed unread. Then, unless
    // a journal is kept, it looks whether the desktop already wears Zinna's look. Whatever the file
    // holds and whatever throws on the way, this reports and returns: a journal never stops a start.
    Recovery Recover();
    // Just before the program's first change to the desktop; only the first call records. False
    // when the desktop must not be changed at all: a journal is kept, none could be written, or the
    // desktop holds more than a journal can keep.
    bool RecordBeforeFirstChange();
    // True once the desktop was found wearing Zinna's look at this start: the program's reads of
    // the values and the colour are then answered with the desktop's default.
    bool AnswersWithDefault() const { return ownLook_; }
    // Whether the user's desktop is back as it was, as "zinna --restore" reports it on every
    // platform: nothing was left to give back, or the journal was applied or found outdated, and the
    // desktop does not wear Zinna's look with no journal to say what it was. A kept or set-aside
    // journal, and her look with no record, are not.
    bool DesktopGivenBack() const;
    const DesktopRecord& DefaultRecord() const { return defaultRecord_; }
    const std::string& KeyPath() const { return program_.keyPath; }
    // A change the program made to the desktop after the record, and whether the desktop took it:
    // part names what it changed ("colour", "wallpaper", "value Wallpaper"...), and the last change
    // of each part decides. sticky: a failure no later change can mend (a key that would not open).
    void ChangeMade(const std::string& part, bool done, bool sticky = false);
    // The program ended in an orderly way and has given the desktop back: the journal goes, unless
    // a change of its quit failed; then it stays, and the failure is reported. False when it stays.
    bool ProgramEnded();

private:
    Recovery RecoverUnguarded();
    Recovery RecoverThrough(ZinnaModule& desktop, const RestoreSettings& restoreSettings, const DesktopRecord& record,
                            const std::string& whose);
    Look CurrentLook(ZinnaModule& desktop, const DesktopRecord& record);
    bool Apply(ZinnaModule& desktop, const RestoreSettings& restoreSettings, const DesktopRecord& record);
    Recovery SetAside(const std::string& problem);
    Recovery Keep(const std::string& why);
    void CheckOwnLook(const std::optional<DesktopRecord>& restored);
    std::string ZinnaWallpaper(ZinnaModule& desktop);

    JournalFile& file_;
    ZinnaModule& desktop_;
    JournalDesktop which_;
    ProgramDesktop program_;
    Hooks hooks_;
    bool recovered_ = false;
    std::optional<std::string> keptBecause_;     // a journal is kept: no change, no record
    std::optional<DesktopRecord> restoredHere_;  // the journal this start gave back to this desktop
    bool ownLook_ = false;
    std::optional<Recovery> recovery_;  // what Recover found
    DesktopRecord defaultRecord_;
    bool recordTried_ = false;
    bool mayChange_ = true;
    bool written_ = false;
    std::map<std::string, bool> changes_;  // part -> whether its last change was taken
    std::vector<std::string> stickyFailures_;
};

}  // namespace zinna::journal
