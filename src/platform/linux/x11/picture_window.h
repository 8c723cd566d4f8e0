// A window of hers that shows one RGBA picture: with a compositor, in a 32-bit ARGB window with the
// picture's own alpha; without one, in a window of the screen's visual shaped to the picture's
// opaque pixels. Either way the pointer reaches the windows below through her transparent pixels
// (the input shape). The picture lives in a pixmap the server shows by itself, so exposure needs
// no redrawing. A compositor may leave or come while she runs: whenever none blends her ARGB
// window, it too is shaped to her opaque pixels (an unblended ARGB window is an opaque box).
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
    // Whether a compositor blends the window's alpha now (never for a window of the screen's visual).
    bool Blended() const { return visual_.argb && compositor_; }
    // Shapes the window to the picture's opaque pixels (the input shape; the bounding one too where
    // no compositor blends her).
    void SetOutline(const acs::RgbaImage& picture);
    // Shows the picture with its top-left corner at (x, y).
    void Show(const acs::RgbaImage& picture, int x, int y);
    // A compositor came or went: the bounding shape and the pixels follow.
    void SetCompositorRunning(bool running);
    // Moves the window without drawing it again.
    void MoveTo(int x, int y);
    void Hide();

private:
    void Upload(const acs::RgbaImage& picture);
    void ApplyBounding();

    XConnection& x_;
    WindowVisual visual_;
    ::Window window_ = 0;
    Pixmap pixmap_ = None;
    GC gc_ = nullptr;
    int width_ = 0, height_ = 0;
    bool shown_ = false;
    bool compositor_ = false;
    std::vector<std::uint32_t> pixels_;
    std::vector<XRectangle> outline_;  // her opaque pixels
    acs::RgbaImage picture_;           // shown last, uploaded again when the compositor changes
};

}  // namespace zinna::x11
