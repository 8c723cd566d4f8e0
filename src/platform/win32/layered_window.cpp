#include "platform/win32/windows_api.h"

#include "platform/win32/layered_window.h"

#include "stage/host/opaque_runs.h"

#include <algorithm>
#include <cstring>
#include <vector>
#include <stdexcept>

namespace zinna::win32 {

PremultipliedBitmap::PremultipliedBitmap(int width, int height)
    : width_(std::max(1, width)), height_(std::max(1, height)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_.Reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    dc_.Reset(CreateCompatibleDC(nullptr));
    if (!bitmap_ || !dc_ || bits == nullptr) throw std::runtime_error("cannot create a bitmap for a layered window");
    pixels_ = static_cast<std::uint32_t*>(bits);
    std::fill(pixels_, pixels_ + static_cast<std::size_t>(width_) * height_, 0u);
    selection_.emplace(dc_.Get(), bitmap_.Get());
}

void PremultipliedBitmap::CopyFrom(const acs::RgbaImage& picture) {
    const int width = std::min(width_, picture.width), height = std::min(height_, picture.height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* from = &picture.rgba[static_cast<std::size_t>(y) * picture.width * 4];
        std::uint32_t* to = pixels_ + static_cast<std::size_t>(y) * width_;
        for (int x = 0; x < width; ++x, from += 4) {
            const std::uint32_t alpha = from[3];
            const auto premultiply = [alpha](std::uint32_t colour) { return (colour * alpha + 127) / 255; };
            to[x] = alpha << 24 | premultiply(from[0]) << 16 | premultiply(from[1]) << 8 | premultiply(from[2]);
        }
    }
}

LayeredWindow::LayeredWindow(HINSTANCE instance, const wchar_t* className, const wchar_t* title, void* handler,
                             HWND ownerWindow) {
    window_ = CreateWindowExW(kExtendedStyle, className, title, WS_POPUP, 0, 0, 1, 1, ownerWindow, nullptr, instance,
                              nullptr);
    if (window_ == nullptr) throw std::runtime_error("cannot create a layered window");
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(handler));
}

LayeredWindow::~LayeredWindow() {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
}

void LayeredWindow::Show(const PremultipliedBitmap& bitmap, int x, int y) {
    POINT position{x, y};
    SIZE size{bitmap.Width(), bitmap.Height()};
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(window_, nullptr, &position, &size, bitmap.Dc(), &origin, 0, &blend, ULW_ALPHA);
    if (!shown_) {
        // Shown without activation; the topmost place it was created with is never asserted again.
        ShowWindow(window_, SW_SHOWNOACTIVATE);
        shown_ = true;
    }
}

GdiRegion OpaqueRegion(const acs::RgbaImage& picture) {
    std::vector<RECT> runs;
    for (const stage::PixelRun& run : stage::OpaqueRuns(picture))
        runs.push_back(RECT{run.x, run.y, run.x + run.width, run.y + 1});
    std::vector<std::uint8_t> data(sizeof(RGNDATAHEADER) + runs.size() * sizeof(RECT));
    auto* header = reinterpret_cast<RGNDATAHEADER*>(data.data());
    header->dwSize = sizeof(RGNDATAHEADER);
    header->iType = RDH_RECTANGLES;
    header->nCount = static_cast<DWORD>(runs.size());
    header->nRgnSize = static_cast<DWORD>(runs.size() * sizeof(RECT));
    header->rcBound = RECT{0, 0, picture.width, picture.height};
    if (!runs.empty()) std::memcpy(data.data() + sizeof(RGNDATAHEADER), runs.data(), runs.size() * sizeof(RECT));
    return GdiRegion(
        ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), reinterpret_cast<RGNDATA*>(data.data())));
}

void LayeredWindow::ClipTo(HRGN region) {
    // HACK: Windows hit-tests a layered window by its pixels' alpha, Wine does not: a window region
    // of the opaque pixels gives the same on both (and Wine shapes the X window by it).
    GdiRegion copy(CreateRectRgn(0, 0, 0, 0));
    if (!copy || CombineRgn(copy.Get(), region, nullptr, RGN_COPY) == ERROR) return;
    // Once set, the region belongs to the window.
    if (SetWindowRgn(window_, copy.Get(), FALSE) != 0) copy.Release();
}

void LayeredWindow::MoveTo(int x, int y) {
    SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void LayeredWindow::Hide() {
    if (!shown_) return;
    ShowWindow(window_, SW_HIDE);
    shown_ = false;
}

}  // namespace zinna::win32
