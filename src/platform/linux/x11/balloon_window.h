// Her word balloon on X: a window of the screen's visual shaped to a rounded body with a pointer
// towards her, where the host's balloon layout puts it, with the lines drawn by Xft in the balloon
// font's pixel size, black on the pale yellow of tooltips.
#pragma once

#include "platform/linux/x11/companion_window.h"
#include "stage/host/balloon_layout.h"

#include <optional>
#include <string>
#include <vector>

namespace zinna::x11 {

class BalloonWindow {
public:
    explicit BalloonWindow(XConnection& x);
    ~BalloonWindow();
    BalloonWindow(const BalloonWindow&) = delete;
    BalloonWindow& operator=(const BalloonWindow&) = delete;

    ::Window Handle() const { return window_; }
    bool Shown() const { return shown_; }
    // Draws the balloon of the layout with the lines shown so far.
    void Show(const stage::BalloonLayout& layout, const std::vector<std::string>& lines);
    void Hide();

private:
    XConnection& x_;
    ::Window window_ = 0;
    bool shown_ = false;
};

}  // namespace zinna::x11
