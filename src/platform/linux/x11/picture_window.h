// A window of hers that shows one RGBA picture: with a compositor, in a 32-bit ARGB window with the
// picture's own alpha; without one, in a window of the screen's visual shaped to the picture's
// opaque pixels. Either way the pointer reaches the windows below through her transparent pixels
// (the input shape). The picture lives in a pixmap the server shows by itself, so exposure needs
// no redrawing.
#pragma once

#include "stage/acs/frame_compositor.h"

#include "platform/linux/x11/companion_window.h"

#include "stage/host/opaque_runs.h"

#include <cstdint>
#include <vector>

namespace zinna::x11 {

using stage::OpaqueRuns;
using stage::PixelRun;

class PictureWindow {
public:
    // argb: use the compositor's alpha when one runs.
    PictureWindow(XConnection& x, const std::string& title, bool argb, long eventMask);
    ~PictureWindow();
    PictureWindow(const PictureWindow&) = delete;
    PictureWindow& operator=(const PictureWindow&) = delete;

    ::Window Handle() const { return window_; }
    bool Argb() const { return visual_.argb; }
    bool Shown() const { return shown_; }
    // Shows the picture with its top-left corner at (x, y); the shapes are made again only when
    // outlineChanged (or the size did).
    void Show(const acs::RgbaImage& picture, int x, int y, bool outlineChanged);
    // Moves the window without drawing it again.
    void MoveTo(int x, int y);
    void Hide();

private:
    void Upload(const acs::RgbaImage& picture);
    void ShapeTo(const acs::RgbaImage& picture);

    XConnection& x_;
    WindowVisual visual_;
    ::Window window_ = 0;
    Pixmap pixmap_ = None;
    GC gc_ = nullptr;
    int width_ = 0, height_ = 0;
    bool shown_ = false;
    std::vector<std::uint32_t> pixels_;
};

}  // namespace zinna::x11
