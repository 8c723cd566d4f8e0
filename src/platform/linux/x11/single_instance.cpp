#include "platform/linux/x11/single_instance.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>

namespace zinna::x11 {

bool ClaimSingleInstance(XConnection& x, ::Window owner) {
    Display* display = x.Get();
    const Atom selection = x.Intern(kInstanceSelection + std::to_string(x.Screen()));
    // Nobody else may take it between the look and the claim.
    XGrabServer(display);
    const bool free = XGetSelectionOwner(display, selection) == None;
    if (free) XSetSelectionOwner(display, selection, owner, CurrentTime);
    XUngrabServer(display);
    XFlush(display);
    return free && XGetSelectionOwner(display, selection) == owner;
}

UserInstanceLock::UserInstanceLock(const std::filesystem::path& file) {
    // Never through a link: the file is the folder's own (the folder is the user's and private).
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd_ < 0) {
        problem_ = file.string() + " cannot be opened: " + std::strerror(errno);
        return;
    }
    int result = 0;
    do {
        result = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        state_ = State::Held;
    } else if (errno == EWOULDBLOCK) {
        state_ = State::HeldByAnother;
    } else {
        problem_ = file.string() + " cannot be locked: " + std::strerror(errno);
    }
}

UserInstanceLock::~UserInstanceLock() {
    if (fd_ >= 0) ::close(fd_);  // closing the last descriptor lets the lock go
}

}  // namespace zinna::x11
