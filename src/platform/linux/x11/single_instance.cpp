#include "platform/linux/x11/single_instance.h"

#include <string>

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

}  // namespace zinna::x11
