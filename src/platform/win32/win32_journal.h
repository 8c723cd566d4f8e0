// What zinna.exe adds to the restore journal on Windows: which desktop the values belong to (the
// user's security identifier), and where its notices go.
#pragma once

#include "platform/journal/restore_journal.h"

#include <string>

namespace zinna::win32 {

// The user's security identifier as text ("S-1-5-21-..."); empty when it cannot be read.
std::wstring CurrentUserSidText();

// "windows:" and the user's security identifier ("windows:S-1-5-21-..."); "windows" alone when
// it cannot be read.
std::string CurrentDesktopName();

// A notice goes to the standard error (seen when zinna.exe is run from a console or a script) and
// to the debugger's output; never into a window.
void ReportJournalNotice(const journal::JournalNotice& notice);

}  // namespace zinna::win32
