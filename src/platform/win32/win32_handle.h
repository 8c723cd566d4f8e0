// Owners of Win32 handles. Each frees its handle once, with the function that matches how the
// handle was obtained (a DC from GetDC is released, one from CreateCompatibleDC deleted), and
// none can be copied; the Windows layer frees no handle by hand.
#pragma once

#include "platform/win32/windows_api.h"

#include <utility>

namespace zinna::win32 {

// Traits name the handle type, its "no handle" value and the function that frees it.
template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::None(); }
    // Gives the handle up without freeing it (when Windows takes it over).
    Handle Release() { return std::exchange(handle_, Traits::None()); }
    void Reset(Handle handle = Traits::None()) {
        const Handle old = std::exchange(handle_, handle);
        if (old != Traits::None()) Traits::Free(old);
    }

private:
    Handle handle_ = Traits::None();
};

template <typename GdiHandle>
struct GdiObjectTraits {
    using Handle = GdiHandle;
    static Handle None() { return nullptr; }
    static void Free(Handle handle) { DeleteObject(handle); }
};
using GdiPen = UniqueHandle<GdiObjectTraits<HPEN>>;
using GdiBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using GdiFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using GdiBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using GdiRegion = UniqueHandle<GdiObjectTraits<HRGN>>;

// A DC from CreateCompatibleDC.
struct MemoryDcTraits {
    using Handle = HDC;
    static Handle None() { return nullptr; }
    static void Free(Handle handle) { DeleteDC(handle); }
};
using MemoryDc = UniqueHandle<MemoryDcTraits>;

struct MenuTraits {
    using Handle = HMENU;
    static Handle None() { return nullptr; }
    static void Free(Handle handle) { DestroyMenu(handle); }
};
using MenuHandle = UniqueHandle<MenuTraits>;

// A kernel object whose creation reports failure as null (a mutex, an event).
struct KernelObjectTraits {
    using Handle = HANDLE;
    static Handle None() { return nullptr; }
    static void Free(Handle handle) { CloseHandle(handle); }
};
using KernelHandle = UniqueHandle<KernelObjectTraits>;

// A file from CreateFile, which reports failure as INVALID_HANDLE_VALUE.
struct FileTraits {
    using Handle = HANDLE;
    static Handle None() { return INVALID_HANDLE_VALUE; }
    static void Free(Handle handle) { CloseHandle(handle); }
};
using FileHandle = UniqueHandle<FileTraits>;

// A window's (or, for a null window, the screen's) DC from GetDC, released to that window.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// A GDI object selected into a DC for as long as this lives; the DC's previous object comes back.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selected() { SelectObject(dc_, previous_); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace zinna::win32
