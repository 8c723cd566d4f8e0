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
    };
    Kind kind;
    std::string detail;
};
const char* NoticeName(JournalNotice::Kind kind);  // "restored", "discarded", "set-aside", "not-written"
// The notice as one line for the standard error: "zinna: restore journal restored: ...\n".
std::string NoticeLine(const JournalNotice& notice);

enum class Recovery { NothingToDo, Restored, Discarded, SetAside };

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
    // Puts the desktop's own settings of a record back, after its values (platforms that keep some).
    using RestoreSettings = std::function<void(const std::vector<DesktopSetting>&)>;

    // desktop is where a journal is applied and the current wallpaper looked at; readUserDesktop
    // reads the user's values for the record without anyone seeing it (no trace of its calls).
    RestoreJournal(JournalFile& file, ZinnaModule& desktop, std::string desktopName, ProgramDesktop program,
                   ReadUserDesktop readUserDesktop, Report report, RestoreSettings restoreSettings = nullptr);

    // At start, before the program reads anything: applies a journal an earlier run left, while
    // the desktop still wears Zinna's wallpaper; otherwise discards it. A journal that cannot be
    // read, fails its checks or belongs to another desktop is set aside, never half applied.
    Recovery Recover();
    // Just before the program's first change to the desktop; only the first call records.
    void RecordBeforeFirstChange();
    // The program ended in an orderly way and has given the desktop back: the journal goes.
    void ProgramEnded();

private:
    bool WearsZinnaLook();
    void Apply(const DesktopRecord& record);
    void SetAside(const std::string& problem);

    JournalFile& file_;
    ZinnaModule& desktop_;
    std::string desktopName_;
    ProgramDesktop program_;
    ReadUserDesktop readUserDesktop_;
    Report report_;
    RestoreSettings restoreSettings_;
    bool recordTried_ = false;
    bool written_ = false;
};

}  // namespace zinna::journal
