// Her right-click menu on X: a pop-up window with the program's commands in the order added, their
// captions as given ("&" marks the access key, drawn underlined; "&&" shows "&"). It holds the
// pointer and the keyboard while open: arrows move, Enter chooses, Escape closes, an access key
// chooses its entry, a click on an entry chooses it and a click anywhere else closes the menu.
// Another program may hold the pointer or the keyboard (its own menu, a drag): the menu asks again
// for a short while, then closes without a choice, so that the next right-click opens it afresh.
#pragma once

#include "platform/linux/x11/event_loop.h"
#include "platform/linux/x11/xft_text.h"
#include "stage/host/menu_model.h"

#include <functional>
#include <optional>
#include <vector>

namespace zinna::x11 {

inline constexpr const char* kMenuClass = "ZinnaMenu";

class MenuWindow {
public:
    // Called once, when the menu has closed: the entry's place in the model, or nullopt.
    using Closed = std::function<void(std::optional<std::size_t> chosen)>;

    // Opens at (x, y) on the screen (moved inside it); the model must outlive the menu.
    MenuWindow(EventLoop& loop, const stage::MenuModel& model, int x, int y, Closed closed);
    ~MenuWindow();
    MenuWindow(const MenuWindow&) = delete;
    MenuWindow& operator=(const MenuWindow&) = delete;

    ::Window Handle() const { return window_; }
    bool Open() const { return open_; }
    // Whether it holds both the pointer and the keyboard.
    bool Grabbed() const { return pointerGrabbed_ && keyboardGrabbed_; }

    // How long it asks for them before it gives up, and how often.
    static constexpr int kGrabPatienceMs = 300;
    static constexpr int kGrabRetryMs = 30;

private:
    struct Row {
        std::size_t entry;                    // place in the model
        std::string text;                     // as shown
        std::optional<std::size_t> accessAt;  // byte offset of the underlined character in text
        bool enabled;
    };

    void Handle(const XEvent& event);
    void Draw();
    void Highlight(std::optional<std::size_t> row);
    void Move(int step);
    std::optional<std::size_t> RowAt(int x, int y) const;
    void Finish(std::optional<std::size_t> row);
    bool Grab();
    void GrabAgainAt(std::int64_t atMs, std::int64_t deadlineMs);
    void Ungrab();

    EventLoop& loop_;
    XConnection& x_;
    const stage::MenuModel& model_;
    XftText font_;
    Closed closed_;
    std::vector<Row> rows_;
    int width_ = 0, rowHeight_ = 0;
    ::Window window_ = 0;
    GC gc_ = nullptr;
    std::optional<std::size_t> highlighted_;
    bool open_ = true;
    bool pressInside_ = false;
    bool pointerGrabbed_ = false;
    bool keyboardGrabbed_ = false;
    std::optional<ClockTimerId> grabRetry_;
};

}  // namespace zinna::x11
