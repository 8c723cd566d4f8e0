// A borderless, topmost tool window drawn with per-pixel alpha: only the picture's own pixels show,
// and where the picture is transparent the pointer reaches the windows below. It takes no focus,
// has no taskbar button, and is made topmost once, when it is created.
#pragma once

#include "platform/win32/windows_api.h"

#include "platform/win32/win32_handle.h"
#include "stage/acs/frame_compositor.h"

#include <cstdint>
#include <optional>

namespace zinna::win32 {

// A 32-bit top-down DIB section with premultiplied alpha and its own memory DC.
class PremultipliedBitmap {
public:
    PremultipliedBitmap(int width, int height);  // every pixel transparent

    int Width() const { return width_; }
    int Height() const { return height_; }
    HDC Dc() const { return dc_.Get(); }
    // Pixels as 0xAARRGGBB, row by row from the top.
    std::uint32_t* Pixels() { return pixels_; }
    const std::uint32_t* Pixels() const { return pixels_; }
    // Copies an RGBA picture of the same size, premultiplying its colours by their alpha.
    void CopyFrom(const acs::RgbaImage& picture);

private:
    int width_, height_;
    // Destroyed in reverse: the bitmap leaves the DC, then the DC goes, then the bitmap.
    GdiBitmap bitmap_;
    MemoryDc dc_;
    std::optional<Selected> selection_;
    std::uint32_t* pixels_ = nullptr;
};

// The picture's pixels that are not transparent, as a region (null when Windows cannot make it).
GdiRegion OpaqueRegion(const acs::RgbaImage& picture);

class LayeredWindow {
public:
    // className must have been registered with the window procedure that handles this window;
    // handler is stored as the window's user data for it. ownerWindow (may be null) owns the window:
    // an owned window never gets a taskbar button, even from shells that ignore WS_EX_TOOLWINDOW.
    LayeredWindow(HINSTANCE instance, const wchar_t* className, const wchar_t* title, void* handler, HWND ownerWindow);
    ~LayeredWindow();
    LayeredWindow(const LayeredWindow&) = delete;
    LayeredWindow& operator=(const LayeredWindow&) = delete;

    HWND Handle() const { return window_; }
    bool Shown() const { return shown_; }
    // Shows the bitmap with its top-left corner at (x, y) on the screen, in physical pixels.
    void Show(const PremultipliedBitmap& bitmap, int x, int y);
    // Limits the window, for the pointer, to the region (a copy of it: the caller keeps its own).
    void ClipTo(HRGN region);
    // Moves the window without drawing it again.
    void MoveTo(int x, int y);
    void Hide();

    // The styles every layered window of the host has.
    static constexpr DWORD kExtendedStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_LAYERED | WS_EX_NOACTIVATE;

private:
    HWND window_ = nullptr;
    bool shown_ = false;
};

}  // namespace zinna::win32
