#include "platform/win32/windows_api.h"
#include <windowsx.h>

#include "platform/win32/stage_windows.h"

#include "platform/win32/balloon_painter.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_handle.h"

#include <algorithm>
#include <stdexcept>

namespace zinna::win32 {

namespace {

constexpr UINT kRunPostedMessage = WM_APP + 1;  // the presenter's work, after the mouse's handling returns

void RegisterClassOnce(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    // No CS_DBLCLKS: every press comes as a press, and the presenter tells a double-click.
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.lpszClassName = name;
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("cannot register a window class of the character host");
}

// Registers both window classes; returns the instance, so that it can run before the windows exist.
HINSTANCE WithClassesRegistered(HINSTANCE instance, WNDPROC procedure) {
    RegisterClassOnce(instance, StageWindows::kCharacterClass, procedure);
    RegisterClassOnce(instance, StageWindows::kBalloonClass, procedure);
    return instance;
}

// The user's double-click settings: the time, and the rectangle centred on the first press.
stage::DoubleClickRule SystemDoubleClick() {
    return stage::DoubleClickRule{GetDoubleClickTime(), GetSystemMetrics(SM_CXDOUBLECLK) / 2};
}

}  // namespace

StageWindows::StageWindows(HINSTANCE instance, stage::StageCharacter& character, HWND ownerWindow,
                           Win32Clock::Guard guard)
    : instance_(WithClassesRegistered(instance, &StageWindows::WindowProcedure)),
      character_(character),
      guard_(std::move(guard)),
      characterWindow_(instance_, kCharacterClass, L"Zinna", this, ownerWindow),
      balloonWindow_(instance_, kBalloonClass, L"Zinna balloon", this, ownerWindow) {
    stage::StageSurface& surface = *this;
    presenter_ = std::make_unique<stage::StagePresenter>(
        character_, surface, [this](std::function<void()> work) { Post(std::move(work)); }, SystemDoubleClick());
}

StageWindows::~StageWindows() { presenter_.reset(); }

void StageWindows::Post(std::function<void()> work) {
    posted_.push_back(std::move(work));
    PostMessageW(characterWindow_.Handle(), kRunPostedMessage, 0, 0);
}

void StageWindows::RunPosted() {
    // Everything posted so far (a message taken off the queue by someone else loses no work); work
    // posted meanwhile waits for its own message.
    for (std::size_t due = posted_.size(); due > 0 && !posted_.empty(); --due) {
        std::function<void()> work = std::move(posted_.front());
        posted_.pop_front();
        work();
    }
}

LRESULT CALLBACK StageWindows::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* windows = reinterpret_cast<StageWindows*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (windows == nullptr) {
        // Before the owner is known, and for ever: the host's windows never take the focus.
        if (message == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // A message the guard did not let through (the program has ended, or the handling threw) gets
    // Windows' own answer; her windows still never take the focus.
    std::optional<LRESULT> result;
    const auto handle = [&] { result = windows->Handle(window, message, wParam, lParam); };
    if (windows->guard_)
        windows->guard_(handle);
    else
        handle();
    if (result) return *result;
    if (message == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
    return DefWindowProcW(window, message, wParam, lParam);
}

POINT StageWindows::ScreenPoint(HWND window, LPARAM lParam) const {
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ClientToScreen(window, &point);
    return point;
}

LRESULT StageWindows::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    using stage::PointerButton;
    const bool onCharacter = window == characterWindow_.Handle();
    if (message == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
    if (!onCharacter || !presenter_) return DefWindowProcW(window, message, wParam, lParam);
    const auto time = static_cast<std::uint32_t>(GetMessageTime());
    switch (message) {
        case WM_LBUTTONDOWN: {
            const POINT at = ScreenPoint(window, lParam);
            if (presenter_->Press(PointerButton::Left, at.x, at.y, time))
                SetCapture(window);  // the drag goes on wherever the pointer goes
            return 0;
        }
        case WM_MOUSEMOVE: {
            const POINT at = ScreenPoint(window, lParam);
            presenter_->Move(at.x, at.y);
            return 0;
        }
        case WM_LBUTTONUP: {
            const POINT at = ScreenPoint(window, lParam);
            presenter_->Release(PointerButton::Left, at.x, at.y);
            if (GetCapture() == window) ReleaseCapture();
            return 0;
        }
        case WM_CAPTURECHANGED:
            // Another window took the mouse during a press: the press ends where the pointer was.
            presenter_->PressLost();
            return 0;
        case WM_RBUTTONDOWN: {
            const POINT at = ScreenPoint(window, lParam);
            presenter_->Press(PointerButton::Right, at.x, at.y, time);
            return 0;
        }
        case WM_RBUTTONUP: {
            const POINT at = ScreenPoint(window, lParam);
            presenter_->Release(PointerButton::Right, at.x, at.y);
            return 0;
        }
        case kRunPostedMessage:
            RunPosted();
            return 0;
        case WM_DPICHANGED:
            // She was moved onto a monitor of another scale: drawn again at it, where she stands (the
            // host places her; the suggested rectangle is not needed).
            character_.SetScale(LOWORD(wParam) / 96.0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void StageWindows::SetOutline(const acs::RgbaImage& picture) { characterWindow_.ClipToOpaquePixels(picture); }

void StageWindows::ShowPicture(const acs::RgbaImage& picture, int x, int y) {
    PremultipliedBitmap bitmap(picture.width, picture.height);
    bitmap.CopyFrom(picture);
    characterWindow_.Show(bitmap, x, y);
}

void StageWindows::MovePicture(int x, int y) { characterWindow_.MoveTo(x, y); }

void StageWindows::HidePicture() { characterWindow_.Hide(); }

void StageWindows::ShowBalloon(const stage::BalloonLayout& layout, const std::vector<std::string>& lines) {
    const PaintedBalloon painted = PaintBalloon(layout, lines);
    balloonWindow_.Show(*painted.bitmap, painted.topLeft.x, painted.topLeft.y);
}

void StageWindows::HideBalloon() { balloonWindow_.Hide(); }

void StageWindows::PopUpMenu(const stage::MenuModel& model, int x, int y) {
    const std::vector<stage::MenuEntry>& entries = model.Entries();
    const MenuHandle menu(CreatePopupMenu());
    if (!menu) {
        presenter_->MenuClosed(std::nullopt);
        return;
    }
    // Item ids are the entries' places plus one; Windows reads "&" in captions as the access key.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].visible) continue;
        const std::wstring caption = WideFromUtf8(entries[i].caption);
        AppendMenuW(menu.Get(), MF_STRING | (entries[i].enabled ? 0 : MF_GRAYED), i + 1, caption.c_str());
    }
    // HACK: a pop-up menu gets the keyboard and closes on a click elsewhere only when its owner is
    // the foreground window; the user asked for it with a click on her, so that is no stolen focus.
    const HWND owner = characterWindow_.Handle();
    SetForegroundWindow(owner);
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenuEx(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, x, y, owner, nullptr));
    PostMessageW(owner, WM_NULL, 0, 0);
    presenter_->MenuClosed(chosen >= 1 ? std::optional<std::size_t>(chosen - 1) : std::nullopt);
}

}  // namespace zinna::win32
