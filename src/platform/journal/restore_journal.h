// The restore journal: the user's desktop as it was before Zinna changed it, kept in a file from
// just before her first change until her desktop is given back. A run that ends without giving it
// back (killed, crashed, the power cut) leaves the file, and the next start puts the desktop back
// from it before the program reads anything. The program itself knows nothing of this: the
// platform layer runs the journal around it.
#pragma once

#include "boundary/zinna_module.h"
#include "platform/journal/journal_file.h"
#include "platform/journal/journal_format.h"

#include <functional>
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
        SetAside,    // a journal that is damaged or not this desktop's was renamed to ".bad"
        NotWritten,  // the journal could not be written: the program goes on without one
        Kept,        // the desktop could not be read or given back whole: the journal stays for later
        Refused,     // the desktop holds more than a journal keeps: the program leaves it as it is
    };
    Kind kind;
    std::string detail;
};
// "restored", "discarded", "set-aside", "not-written", "kept", "refused"
const char* NoticeName(JournalNotice::Kind kind);
// The notice as one line for the standard error: "zinna: restore journal restored: ...\n".
std::string NoticeLine(const JournalNotice& notice);

// Kept: the journal is still there, because the desktop could not be read or a step of its
// restore failed; the next start (or "zinna --restore") tries again.
enum class Recovery { NothingToDo, Restored, Discarded, SetAside, Kept };

// What the journal needs to know of the program, handed over by whoever creates the journal: the
// key under HKEY_CURRENT_USER whose values the program changes, and the name the program gives its
// wallpaper (appended to the Windows directory, backslash included), by which a desktop that still
// wears the program's look is recognised.
struct ProgramDesktop {
    std::string keyPath;
    std::string wallpaperFile;
};

// Reads the user's desktop with ZinnaModule's calls, as the program's own start-up reads it: a
// value that does not exist is Missing, one that cannot be read (or whose key cannot be opened)
// Unknown.
DesktopRecord ReadDesktopThrough(ZinnaModule& module, const std::string& desktopName, const ProgramDesktop& program);

class RestoreJournal {
public:
    using ReadUserDesktop = std::function<DesktopRecord()>;
    using Report = std::function<void(const JournalNotice&)>;
    // Puts the desktop's own settings of a record back, after its values (platforms that keep some);
    // false when the desktop refused or did not answer.
    using RestoreSettings = std::function<bool(const std::vector<DesktopSetting>&)>;

    // desktop is where a journal is applied and the current wallpaper looked at; readUserDesktop
    // reads the user's values for the record without anyone seeing it (no trace of its calls).
    RestoreJournal(JournalFile& file, ZinnaModule& desktop, std::string desktopName, ProgramDesktop program,
                   ReadUserDesktop readUserDesktop, Report report, RestoreSettings restoreSettings = nullptr);

    // At start, before the program reads anything: applies a journal an earlier run left, while
    // the desktop still wears Zinna's wallpaper (or the journal's own, from a restore that did not
    // finish); discards it only when the desktop reads back another wallpaper, and keeps it when
    // the desktop cannot be read. It is removed only once every step of its restore succeeded. A
    // journal that cannot be read, fails its checks or belongs to another desktop is set aside,
    // never half applied. Whatever the file holds and whatever throws on the way, this reports
    // once and returns: a journal never stops a start.
    Recovery Recover();
    // Just before the program's first change to the desktop; only the first call records. False
    // when the desktop holds more than a journal can keep: then it must not be changed at all.
    bool RecordBeforeFirstChange();
    // The program ended in an orderly way and has given the desktop back: the journal goes.
    void ProgramEnded();

private:
    enum class Look { Zinna, Other, Unreadable };
    Recovery RecoverUnguarded();
    Look CurrentLook(const DesktopRecord& record);
    bool Apply(const DesktopRecord& record);
    void SetAside(const std::string& problem);

    JournalFile& file_;
    ZinnaModule& desktop_;
    std::string desktopName_;
    ProgramDesktop program_;
    ReadUserDesktop readUserDesktop_;
    Report report_;
    RestoreSettings restoreSettings_;
    bool recordTried_ = false;
    bool mayChange_ = true;
    bool written_ = false;
};

}  // namespace zinna::journal
