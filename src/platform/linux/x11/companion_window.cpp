#include "platform/linux/x11/companion_window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrender.h>

#include <vector>

namespace zinna::x11 {

namespace {

// The Motif hints' layout: only "no decorations" is set.
struct MotifHints {
    unsigned long flags, functions, decorations;
    long inputMode;
    unsigned long status;
};
constexpr unsigned long kMotifDecorationsFlag = 1UL << 1;

void SetAtoms(XConnection& x, ::Window window, const char* property, const std::vector<Atom>& atoms) {
    XChangeProperty(x.Get(), window, x.Intern(property), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(atoms.data()), static_cast<int>(atoms.size()));
}

}  // namespace

void MarkAsCompanionWindow(XConnection& x, ::Window window, const std::string& title) {
    Display* display = x.Get();
    XStoreName(display, window, title.c_str());
    XChangeProperty(display, window, x.Intern("_NET_WM_NAME"), x.Intern("UTF8_STRING"), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
    XClassHint classHint{const_cast<char*>(kInstanceName), const_cast<char*>(kClassName)};
    XSetClassHint(display, window, &classHint);
    // She never takes the keyboard: a click on her leaves the focus where it was.
    XWMHints hints{};
    hints.flags = InputHint | StateHint;
    hints.input = False;
    hints.initial_state = NormalState;
    XSetWMHints(display, window, &hints);
    XSizeHints size{};
    size.flags = USPosition | PPosition;
    XSetWMNormalHints(display, window, &size);
    MotifHints motif{kMotifDecorationsFlag, 0, 0, 0, 0};
    XChangeProperty(display, window, x.Intern("_MOTIF_WM_HINTS"), x.Intern("_MOTIF_WM_HINTS"), 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&motif), 5);
    SetAtoms(x, window, "_NET_WM_WINDOW_TYPE", {x.Intern("_NET_WM_WINDOW_TYPE_DOCK")});
    SetAtoms(x, window, "_NET_WM_STATE",
             {x.Intern("_NET_WM_STATE_ABOVE"), x.Intern("_NET_WM_STATE_SKIP_TASKBAR"),
              x.Intern("_NET_WM_STATE_SKIP_PAGER")});
    // On every desktop, as a pet on the desktop is.
    const long allDesktops = 0xFFFFFFFF;
    XChangeProperty(display, window, x.Intern("_NET_WM_DESKTOP"), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&allDesktops), 1);
}

WindowVisual ChooseVisual(XConnection& x, bool argb) {
    Display* display = x.Get();
    if (argb) {
        XVisualInfo wanted{};
        wanted.screen = x.Screen();
        wanted.depth = 32;
        wanted.c_class = TrueColor;
        int count = 0;
        XVisualInfo* found =
            XGetVisualInfo(display, VisualScreenMask | VisualDepthMask | VisualClassMask, &wanted, &count);
        for (int i = 0; i < count; ++i) {
            XRenderPictFormat* format = XRenderFindVisualFormat(display, found[i].visual);
            if (format == nullptr || format->type != PictTypeDirect || format->direct.alphaMask == 0) continue;
            WindowVisual chosen{found[i].visual, 32, XCreateColormap(display, x.Root(), found[i].visual, AllocNone),
                                true};
            XFree(found);
            return chosen;
        }
        if (found != nullptr) XFree(found);
    }
    return {DefaultVisual(display, x.Screen()), DefaultDepth(display, x.Screen()), DefaultColormap(display, x.Screen()),
            false};
}

::Window CreateCompanionWindow(XConnection& x, const WindowVisual& visual, long eventMask) {
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = None;
    attributes.border_pixel = 0;
    attributes.colormap = visual.colormap;
    attributes.event_mask = eventMask;
    return XCreateWindow(x.Get(), x.Root(), 0, 0, 1, 1, 0, visual.depth, InputOutput, visual.visual,
                         CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &attributes);
}

}  // namespace zinna::x11
