// Another program that holds the keyboard or the pointer (as a screen locker, a key chord of the
// window manager or another program's menu does) until its standard input closes. Prints "held"
// once it has it; exits 1 when it cannot get it.
//   x11_grab_holder keyboard|pointer
#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    const bool pointer = argc > 1 && std::strcmp(argv[1], "pointer") == 0;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return 1;
    const Window root = DefaultRootWindow(display);
    const Window window = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    XChangeWindowAttributes(display, window, CWOverrideRedirect, &attributes);
    XMapWindow(display, window);
    XSync(display, False);
    const int status = pointer ? XGrabPointer(display, window, False, ButtonPressMask, GrabModeAsync, GrabModeAsync,
                                              None, None, CurrentTime)
                               : XGrabKeyboard(display, window, False, GrabModeAsync, GrabModeAsync, CurrentTime);
    XSync(display, False);
    if (status != GrabSuccess) return 1;
    std::puts("held");
    std::fflush(stdout);
    while (std::getchar() != EOF) {}
    XCloseDisplay(display);  // lets go
    return 0;
}
