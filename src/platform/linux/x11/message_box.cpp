#include "platform/linux/x11/message_box.h"

#include "platform/linux/x11/xft_text.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <vector>

namespace zinna::x11 {

namespace {

constexpr int kPadding = 16;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 28;
constexpr int kTextPixels = 13;
constexpr std::uint32_t kFace = 0xF0F0F0;
constexpr std::uint32_t kInk = 0x000000;
constexpr std::uint32_t kButtonEdge = 0x707070;
constexpr std::uint32_t kButtonFace = 0xE1E1E1;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (;;) {
        const auto end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return lines;
        start = end + 1;
    }
}

class Dialog {
public:
    Dialog(EventLoop& loop, const std::string& caption, const std::string& text)
        : loop_(loop), x_(loop.Connection()), lines_(Lines(text)), font_(x_.Get(), x_.Screen(), kTextPixels) {
        Display* display = x_.Get();
        int textWidth = 0;
        for (const std::string& line : lines_) textWidth = std::max(textWidth, font_.Width(line));
        width_ = std::max(textWidth, kButtonWidth) + 2 * kPadding;
        width_ = std::max(width_, 240);
        height_ = kPadding + static_cast<int>(lines_.size()) * font_.LineHeight() + kPadding + kButtonHeight + kPadding;
        const int left = (x_.ScreenWidth() - width_) / 2, top = (x_.ScreenHeight() - height_) / 2;

        XSetWindowAttributes attributes{};
        attributes.background_pixel = kFace;
        attributes.event_mask = ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
        window_ = XCreateWindow(display, x_.Root(), left, top, width_, height_, 0, CopyFromParent, InputOutput,
                                CopyFromParent, CWBackPixel | CWEventMask, &attributes);
        XStoreName(display, window_, caption.c_str());
        const Atom utf8 = x_.Intern("UTF8_STRING");
        XChangeProperty(display, window_, x_.Intern("_NET_WM_NAME"), utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(caption.data()), static_cast<int>(caption.size()));
        XClassHint classHint{const_cast<char*>("zinna"), const_cast<char*>(kMessageBoxClass)};
        XSetClassHint(display, window_, &classHint);
        XWMHints hints{};
        hints.flags = InputHint;
        hints.input = True;
        XSetWMHints(display, window_, &hints);
        XSizeHints size{};
        size.flags = PPosition | PMinSize | PMaxSize;
        size.x = left;
        size.y = top;
        size.min_width = size.max_width = width_;
        size.min_height = size.max_height = height_;
        XSetWMNormalHints(display, window_, &size);
        const Atom dialogType = x_.Intern("_NET_WM_WINDOW_TYPE_DIALOG");
        XChangeProperty(display, window_, x_.Intern("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&dialogType), 1);
        deleteWindow_ = x_.Intern("WM_DELETE_WINDOW");
        XSetWMProtocols(display, window_, &deleteWindow_, 1);
        gc_ = XCreateGC(display, window_, 0, nullptr);
        loop_.Watch(window_, [this](const XEvent& event) { Handle(event); });
        XMapRaised(display, window_);
    }

    ~Dialog() {
        loop_.Unwatch(window_);
        XFreeGC(x_.Get(), gc_);
        XDestroyWindow(x_.Get(), window_);
        XFlush(x_.Get());
    }
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    bool Closed() const { return closed_; }

private:
    int ButtonLeft() const { return (width_ - kButtonWidth) / 2; }
    int ButtonTop() const { return height_ - kPadding - kButtonHeight; }

    void Handle(const XEvent& event) {
        switch (event.type) {
            case MapNotify:
                // The dialog answers the keyboard at once, as the program's message box does.
                TakeFocus();
                break;
            case Expose:
                TakeFocus();
                if (event.xexpose.count == 0) Draw();
                break;
            case KeyPress: {
                const KeySym key = XLookupKeysym(const_cast<XKeyEvent*>(&event.xkey), 0);
                if (key == XK_Return || key == XK_KP_Enter || key == XK_Escape || key == XK_space) closed_ = true;
                break;
            }
            case ButtonPress:
                pressedOnButton_ = event.xbutton.button == Button1 && OnButton(event.xbutton.x, event.xbutton.y);
                break;
            case ButtonRelease:
                if (pressedOnButton_ && OnButton(event.xbutton.x, event.xbutton.y)) closed_ = true;
                pressedOnButton_ = false;
                break;
            case ClientMessage:
                if (static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow_) closed_ = true;
                break;
            default:
                break;
        }
    }

    // A window manager may map the dialog inside a frame it shows only later: until then the focus
    // fails (BadMatch, the window is not viewable), and the dialog asks again when it is exposed.
    void TakeFocus() {
        if (focused_) return;
        TrappedXErrors errors(x_.Get());
        XSetInputFocus(x_.Get(), window_, RevertToParent, CurrentTime);
        focused_ = errors.Succeeded();
    }

    bool OnButton(int x, int y) const {
        return x >= ButtonLeft() && x < ButtonLeft() + kButtonWidth && y >= ButtonTop() &&
               y < ButtonTop() + kButtonHeight;
    }

    void Draw() {
        Display* display = x_.Get();
        int y = kPadding + font_.Ascent();
        for (const std::string& line : lines_) {
            font_.Draw(window_, kInk, kPadding, y, line);
            y += font_.LineHeight();
        }
        XSetForeground(display, gc_, kButtonFace);
        XFillRectangle(display, window_, gc_, ButtonLeft(), ButtonTop(), kButtonWidth, kButtonHeight);
        XSetForeground(display, gc_, kButtonEdge);
        XDrawRectangle(display, window_, gc_, ButtonLeft(), ButtonTop(), kButtonWidth - 1, kButtonHeight - 1);
        const std::string ok = "OK";
        font_.Draw(window_, kInk, ButtonLeft() + (kButtonWidth - font_.Width(ok)) / 2,
                   ButtonTop() + (kButtonHeight - font_.LineHeight()) / 2 + font_.Ascent(), ok);
    }

    EventLoop& loop_;
    XConnection& x_;
    std::vector<std::string> lines_;
    XftText font_;
    int width_ = 0, height_ = 0;
    ::Window window_ = 0;
    GC gc_ = nullptr;
    Atom deleteWindow_ = None;
    bool pressedOnButton_ = false;
    bool closed_ = false;
    bool focused_ = false;
};

}  // namespace

void ShowMessageBox(EventLoop& loop, const std::string& caption, const std::string& text,
                    const std::function<bool()>& abandoned) {
    Dialog dialog(loop, caption, text);
    loop.RunUntil([&] { return dialog.Closed() || abandoned(); });
}

}  // namespace zinna::x11
