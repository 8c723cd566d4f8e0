// A window of hers that shows one of the RGBA pictures it keeps in the X server: with a compositor,
// in a 32-bit ARGB window with the picture's own alpha; without one, in a window of the screen's
// visual shaped to the picture's opaque pixels. Either way the pointer reaches the windows below
// through her transparent pixels (the input shape). Each picture is uploaded once, when it is kept:
// a pixmap of the window's depth, which the server shows by itself as the window's background (so
// exposure needs no redrawing), and a 1-bit mask of its opaque pixels, which shapes the window.
// Showing a kept picture, or shaping the window to it, is a request of a few bytes. A compositor may
// leave or come while she runs: whenever none blends her ARGB window, it too is shaped to her opaque
// pixels (an unblended ARGB window is an opaque box), and its pictures are uploaded again, their
// colours premultiplied or whole.
#pragma once

#include "stage/acs/frame_compositor.h"

#include "platform/linux/x11/companion_window.h"

#include "stage/host/stage_presenter.h"

#include <cstddef>
#include <cstdint>
#include <map>

namespace zinna::x11 {

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
    // Uploads the picture to the server and keeps it under id until Forget.
    void Keep(stage::PictureId id, const acs::RgbaImage& picture);
    void Forget(stage::PictureId id);
    // Shapes the window to the kept picture's opaque pixels (the input shape; the bounding one too
    // where no compositor blends her).
    void SetOutline(stage::PictureId id);
    // Shows the kept picture with its top-left corner at (x, y).
    void Show(stage::PictureId id, int x, int y);
    // A compositor came or went. Returns whether the kept pictures must be uploaded again (an ARGB
    // window's colours are premultiplied only while a compositor blends them).
    bool SetCompositorRunning(bool running);
    // Moves the window without drawing it again.
    void MoveTo(int x, int y);
    void Hide();

    // How many pictures were uploaded, how many are kept in the server now, and the bytes their
    // pixmaps and masks take there.
    int Uploads() const { return uploads_; }
    std::size_t KeptPictures() const { return kept_.size(); }
    std::size_t KeptServerBytes() const;

private:
    struct Kept {
        Pixmap pixels = None;
        Pixmap mask = None;  // None where the server has no shapes
        int width = 0, height = 0;
        std::size_t serverBytes = 0;
    };

    const Kept& Find(stage::PictureId id) const;
    Pixmap Upload(const acs::RgbaImage& picture, std::size_t& serverBytes);
    void ApplyBounding();

    XConnection& x_;
    WindowVisual visual_;
    ::Window window_ = 0;
    GC gc_ = nullptr;
    int width_ = 0, height_ = 0;
    int left_ = 0, top_ = 0;
    bool shown_ = false;
    bool compositor_ = false;
    std::map<stage::PictureId, Kept> kept_;
    int uploads_ = 0;
    Pixmap outline_ = None;  // the mask the window is shaped to now (kept pictures own it)
};

}  // namespace zinna::x11
