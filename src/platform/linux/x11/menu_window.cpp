#include "platform/linux/x11/menu_window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>

namespace zinna::x11 {

namespace {

constexpr int kTextPixels = 13;
constexpr int kPaddingX = 20;
constexpr int kPaddingY = 4;
constexpr int kBorder = 1;
constexpr unsigned long kFace = 0xF0F0F0;
constexpr unsigned long kEdge = 0x979797;
constexpr unsigned long kHighlight = 0x3399FF;
constexpr std::uint32_t kInk = 0x000000;
constexpr std::uint32_t kHighlightInk = 0xFFFFFF;
constexpr std::uint32_t kGrayInk = 0x6D6D6D;

// The caption as shown and the byte offset of the character its single "&" marks.
std::pair<std::string, std::optional<std::size_t>> ShownCaption(const std::string& caption) {
    std::string text;
    std::optional<std::size_t> accessAt;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) {
            ++i;
            if (caption[i] != '&' && !accessAt) accessAt = text.size();
        }
        text += caption[i];
    }
    return {text, accessAt};
}

// The length in bytes of the UTF-8 character that starts with this byte.
std::size_t Utf8Length(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

}  // namespace

MenuWindow::MenuWindow(EventLoop& loop, const stage::MenuModel& model, int x, int y, Closed closed)
    : loop_(loop),
      x_(loop.Connection()),
      model_(model),
      font_(x_.Get(), x_.Screen(), kTextPixels),
      closed_(std::move(closed)) {
    const std::vector<stage::MenuEntry>& entries = model_.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].visible) continue;
        auto [text, accessAt] = ShownCaption(entries[i].caption);
        rows_.push_back({i, std::move(text), accessAt, entries[i].enabled});
    }
    int widest = 0;
    for (const Row& row : rows_) widest = std::max(widest, font_.Width(row.text));
    width_ = widest + 2 * kPaddingX + 2 * kBorder;
    rowHeight_ = font_.LineHeight() + 2 * kPaddingY;
    const int height = std::max(1, static_cast<int>(rows_.size()) * rowHeight_ + 2 * kBorder);
    // Inside the screen: to the left of or above the pointer where there is no room right or below.
    const int left = x + width_ <= x_.ScreenWidth() ? x : std::max(0, x - width_);
    const int top = y + height <= x_.ScreenHeight() ? y : std::max(0, y - height);

    Display* display = x_.Get();
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;  // a pop-up: the window manager neither frames nor moves it
    attributes.background_pixel = kFace;
    attributes.save_under = True;
    attributes.event_mask =
        ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | LeaveWindowMask;
    window_ = XCreateWindow(display, x_.Root(), left, top, static_cast<unsigned>(width_), static_cast<unsigned>(height),
                            0, CopyFromParent, InputOutput, CopyFromParent,
                            CWOverrideRedirect | CWBackPixel | CWSaveUnder | CWEventMask, &attributes);
    XClassHint classHint{const_cast<char*>("zinna"), const_cast<char*>(kMenuClass)};
    XSetClassHint(display, window_, &classHint);
    const Atom type = x_.Intern("_NET_WM_WINDOW_TYPE_POPUP_MENU");
    XChangeProperty(display, window_, x_.Intern("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&type), 1);
    gc_ = XCreateGC(display, window_, 0, nullptr);
    loop_.Watch(window_, [this](const XEvent& event) { Handle(event); });
    XMapRaised(display, window_);
    if (!Grab()) {
        const std::int64_t now = loop_.Clock().NowMs();
        GrabAgainAt(now + kGrabRetryMs, now + kGrabPatienceMs);
    }
}

MenuWindow::~MenuWindow() {
    Display* display = x_.Get();
    loop_.Unwatch(window_);
    if (grabRetry_) loop_.Clock().Cancel(*grabRetry_);
    Ungrab();
    XFreeGC(display, gc_);
    XDestroyWindow(display, window_);
    XFlush(display);
}

std::optional<std::size_t> MenuWindow::RowAt(int x, int y) const {
    if (x < 0 || x >= width_ || y < kBorder) return std::nullopt;
    const auto row = static_cast<std::size_t>((y - kBorder) / rowHeight_);
    if (row >= rows_.size()) return std::nullopt;
    return row;
}

void MenuWindow::Handle(const XEvent& event) {
    if (!open_) return;
    switch (event.type) {
        case Expose:
            if (event.xexpose.count == 0) Draw();
            break;
        case MotionNotify:
            Highlight(RowAt(event.xmotion.x, event.xmotion.y));
            break;
        case LeaveNotify:
            Highlight(std::nullopt);
            break;
        case ButtonPress:
            pressInside_ = RowAt(event.xbutton.x, event.xbutton.y).has_value();
            if (!pressInside_) Finish(std::nullopt);  // a click elsewhere closes the menu
            break;
        case ButtonRelease: {
            // A release on an entry chooses it (the right button too, as menus opened by it do).
            const std::optional<std::size_t> row = RowAt(event.xbutton.x, event.xbutton.y);
            if (row && rows_[*row].enabled) Finish(row);
            break;
        }
        case KeyPress: {
            const KeySym key = XLookupKeysym(const_cast<XKeyEvent*>(&event.xkey), 0);
            if (key == XK_Escape) {
                Finish(std::nullopt);
            } else if (key == XK_Up || key == XK_KP_Up) {
                Move(-1);
            } else if (key == XK_Down || key == XK_KP_Down) {
                Move(+1);
            } else if (key == XK_Return || key == XK_KP_Enter || key == XK_space) {
                if (highlighted_ && rows_[*highlighted_].enabled) Finish(highlighted_);
            } else if (key >= 0x20 && key <= 0x7E) {
                const stage::MenuEntry* entry = model_.EntryForKey(static_cast<char>(key));
                if (entry == nullptr) break;
                for (std::size_t row = 0; row < rows_.size(); ++row)
                    if (&model_.Entries()[rows_[row].entry] == entry) Finish(row);
            }
            break;
        }
        default:
            break;
    }
}

void MenuWindow::Move(int step) {
    if (rows_.empty()) return;
    const auto count = static_cast<int>(rows_.size());
    int row = highlighted_ ? static_cast<int>(*highlighted_) : (step > 0 ? -1 : count);
    // Grayed entries are passed over, as the keys pass over them in other menus.
    for (int tried = 0; tried < count; ++tried) {
        row = (row + step + count) % count;
        if (rows_[static_cast<std::size_t>(row)].enabled) break;
    }
    Highlight(static_cast<std::size_t>(row));
}

void MenuWindow::Highlight(std::optional<std::size_t> row) {
    if (row == highlighted_) return;
    highlighted_ = row;
    Draw();
}

void MenuWindow::Draw() {
    Display* display = x_.Get();
    const int height = static_cast<int>(rows_.size()) * rowHeight_ + 2 * kBorder;
    XSetForeground(display, gc_, kFace);
    XFillRectangle(display, window_, gc_, 0, 0, static_cast<unsigned>(width_), static_cast<unsigned>(height));
    XSetForeground(display, gc_, kEdge);
    XDrawRectangle(display, window_, gc_, 0, 0, static_cast<unsigned>(width_ - 1), static_cast<unsigned>(height - 1));
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const Row& row = rows_[i];
        const int top = kBorder + static_cast<int>(i) * rowHeight_;
        const bool lit = highlighted_ == i;
        if (lit) {
            XSetForeground(display, gc_, kHighlight);
            XFillRectangle(display, window_, gc_, kBorder, top, static_cast<unsigned>(width_ - 2 * kBorder),
                           static_cast<unsigned>(rowHeight_));
        }
        const std::uint32_t ink = !row.enabled ? kGrayInk : lit ? kHighlightInk : kInk;
        const int baseline = top + kPaddingY + font_.Ascent();
        font_.Draw(window_, ink, kPaddingX, baseline, row.text);
        if (row.accessAt && *row.accessAt < row.text.size()) {
            const std::string before = row.text.substr(0, *row.accessAt);
            const std::string marked =
                row.text.substr(*row.accessAt, Utf8Length(static_cast<unsigned char>(row.text[*row.accessAt])));
            const int left = kPaddingX + font_.Width(before);
            XSetForeground(display, gc_, ink);
            XDrawLine(display, window_, gc_, left, baseline + 2, left + std::max(1, font_.Width(marked)) - 1,
                      baseline + 2);
        }
    }
}

bool MenuWindow::Grab() {
    // The menu holds the pointer and the keys, so a click anywhere else reaches it (and closes it).
    // Without them it would stay open, deaf to clicks elsewhere, and refuse every later right-click.
    Display* display = x_.Get();
    if (!pointerGrabbed_) {
        pointerGrabbed_ = XGrabPointer(display, window_, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                                       GrabModeAsync, GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
    }
    if (!keyboardGrabbed_) {
        keyboardGrabbed_ =
            XGrabKeyboard(display, window_, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
    }
    return Grabbed();
}

void MenuWindow::GrabAgainAt(std::int64_t atMs, std::int64_t deadlineMs) {
    grabRetry_ = loop_.Clock().ScheduleAt(atMs, [this, atMs, deadlineMs] {
        grabRetry_.reset();
        if (!open_ || Grab()) return;
        if (atMs >= deadlineMs) {
            std::fputs("zinna: another program holds the pointer or the keyboard; her menu closed\n", stderr);
            Finish(std::nullopt);
            return;
        }
        GrabAgainAt(atMs + kGrabRetryMs, deadlineMs);
    });
}

void MenuWindow::Ungrab() {
    Display* display = x_.Get();
    if (pointerGrabbed_) XUngrabPointer(display, CurrentTime);
    if (keyboardGrabbed_) XUngrabKeyboard(display, CurrentTime);
    pointerGrabbed_ = keyboardGrabbed_ = false;
}

void MenuWindow::Finish(std::optional<std::size_t> row) {
    if (!open_) return;
    open_ = false;
    Display* display = x_.Get();
    if (grabRetry_) loop_.Clock().Cancel(*grabRetry_);
    grabRetry_.reset();
    Ungrab();
    XUnmapWindow(display, window_);
    XFlush(display);
    const std::optional<std::size_t> entry = row ? std::optional<std::size_t>(rows_[*row].entry) : std::nullopt;
    // The owner may destroy the menu from here: nothing of it is touched after.
    Closed closed = std::move(closed_);
    closed(entry);
}

}  // namespace zinna::x11
