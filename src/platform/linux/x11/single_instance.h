// One Zinna per X display: the first one owns a selection of its own name on the screen, and a
// second one finds it owned and leaves the desktop to the first. And one Zinna per user, whatever
// the display: the desktop's settings and the restore journal are the user's, not the screen's.
#pragma once

#include "platform/linux/x11/x_connection.h"

#include <filesystem>
#include <string>

namespace zinna::x11 {

inline constexpr const char* kInstanceSelection = "_ZINNA_COMPANION_S";

// Takes the selection for owner; false when another process holds it.
bool ClaimSingleInstance(XConnection& x, ::Window owner);

// An exclusive flock on a file of the user's private state folder, held while it lives: the kernel
// lets it go however the process ends, killed too, so a stale lock never keeps her away.
class UserInstanceLock {
public:
    enum class State {
        Held,           // this process is the user's one Zinna
        HeldByAnother,  // another process of the user holds it
        Unavailable,    // the file cannot be opened or locked: problem says why
    };
    explicit UserInstanceLock(const std::filesystem::path& file);
    ~UserInstanceLock();
    UserInstanceLock(const UserInstanceLock&) = delete;
    UserInstanceLock& operator=(const UserInstanceLock&) = delete;

    State Claimed() const { return state_; }
    const std::string& Problem() const { return problem_; }

private:
    int fd_ = -1;
    State state_ = State::Unavailable;
    std::string problem_;
};

}  // namespace zinna::x11
