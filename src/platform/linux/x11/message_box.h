// The program's message box on X: a dialog in the middle of the screen with the text, the caption
// as its title and one OK button that Enter, Escape, a click and the window's close all answer.
// It is modal the way the program's message box is: the caller waits while the loop goes on.
#pragma once

#include "platform/linux/x11/event_loop.h"

#include <functional>
#include <string>

namespace zinna::x11 {

// The dialog's window class, by which tests and window managers tell it.
inline constexpr const char* kMessageBoxClass = "ZinnaMessage";

// Shows the dialog and runs the loop until the user has closed it, or until abandoned() is true
// (the program ended meanwhile, for instance with the session).
void ShowMessageBox(EventLoop& loop, const std::string& caption, const std::string& text,
                    const std::function<bool()>& abandoned);

}  // namespace zinna::x11
