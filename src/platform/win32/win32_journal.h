// What zinna.exe adds to the restore journal on Windows: which desktop the values belong to (the
// user's security identifier), where its notices go, and the recovery command.
#pragma once

#include "platform/journal/restore_journal.h"

#include <string>

namespace zinna::win32 {

// "windows:" and the user's security identifier ("windows:S-1-5-21-..."); "windows" alone when
// it cannot be read.
std::string CurrentDesktopName();

// A notice goes to the standard error (seen when zinna.exe is run from a console or a script) and
// to the debugger's output; never into a window.
void ReportJournalNotice(const journal::JournalNotice& notice);

// Whether the command line asks only for the recovery: "/restore" (any letter case) or "--restore".
bool IsRestoreCommand(const wchar_t* commandLine);

}  // namespace zinna::win32
