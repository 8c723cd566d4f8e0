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

constexpr UINT kOpenMenuMessage = WM_APP + 1;  // the menu opens after the pointer's handling returns

void RegisterClassOnce(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, UINT style) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = style;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.lpszClassName = name;
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("cannot register a window class of the character host");
}

// Registers both window classes; returns the instance, so that it can run before the windows exist.
HINSTANCE WithClassesRegistered(HINSTANCE instance, WNDPROC procedure) {
    RegisterClassOnce(instance, StageWindows::kCharacterClass, procedure, CS_DBLCLKS);
    RegisterClassOnce(instance, StageWindows::kBalloonClass, procedure, 0);
    return instance;
}

bool SameOpaquePixels(const acs::RgbaImage& a, const acs::RgbaImage& b) {
    if (a.width != b.width || a.height != b.height || a.rgba.size() != b.rgba.size()) return false;
    for (std::size_t i = 3; i < a.rgba.size(); i += 4)
        if ((a.rgba[i] == 0) != (b.rgba[i] == 0)) return false;
    return true;
}

}  // namespace

bool StageWindows::ShownBalloon::operator==(const ShownBalloon& other) const {
    return layout.rect == other.layout.rect && layout.pointsDown == other.layout.pointsDown &&
           layout.pointerX == other.layout.pointerX && layout.fontPixels == other.layout.fontPixels &&
           lines == other.lines;
}

StageWindows::StageWindows(HINSTANCE instance, stage::StageCharacter& character, HWND ownerWindow)
    : instance_(WithClassesRegistered(instance, &StageWindows::WindowProcedure)),
      character_(character),
      characterWindow_(instance_, kCharacterClass, L"Zinna", this, ownerWindow),
      balloonWindow_(instance_, kBalloonClass, L"Zinna balloon", this, ownerWindow) {
    character_.SetChangeListener([this] { ShowChanges(); });
    character_.SetMenuListener([this](int x, int y) {
        PostMessageW(characterWindow_.Handle(), kOpenMenuMessage, static_cast<WPARAM>(x), static_cast<LPARAM>(y));
    });
    ShowChanges();
}

StageWindows::~StageWindows() {
    character_.SetChangeListener(nullptr);
    character_.SetMenuListener(nullptr);
}

LRESULT CALLBACK StageWindows::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* windows = reinterpret_cast<StageWindows*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (windows == nullptr) {
        // Before the owner is known, and for ever: the host's windows never take the focus.
        if (message == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return windows->Handle(window, message, wParam, lParam);
}

POINT StageWindows::ScreenPoint(HWND window, LPARAM lParam) const {
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ClientToScreen(window, &point);
    return point;
}

LRESULT StageWindows::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    using stage::PointerButton;
    stage::PointerInput& pointer = character_.Pointer();
    const bool onCharacter = window == characterWindow_.Handle();
    switch (message) {
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_LBUTTONDOWN:
            if (!onCharacter) break;
            lastPointer_ = ScreenPoint(window, lParam);
            leftHeld_ = true;
            SetCapture(window);  // the drag goes on wherever the pointer goes
            pointer.Press(PointerButton::Left, lastPointer_.x, lastPointer_.y, character_.X(), character_.Y());
            return 0;
        case WM_MOUSEMOVE:
            if (!onCharacter || !leftHeld_) break;
            lastPointer_ = ScreenPoint(window, lParam);
            pointer.Move(lastPointer_.x, lastPointer_.y);
            return 0;
        case WM_LBUTTONUP:
            if (!onCharacter) break;
            lastPointer_ = ScreenPoint(window, lParam);
            if (leftHeld_) {
                leftHeld_ = false;
                pointer.Release(PointerButton::Left, lastPointer_.x, lastPointer_.y);
            }
            if (GetCapture() == window) ReleaseCapture();
            return 0;
        case WM_CAPTURECHANGED:
            // Another window took the mouse during a press: the press ends where the pointer was.
            if (onCharacter && leftHeld_) {
                leftHeld_ = false;
                pointer.Release(PointerButton::Left, lastPointer_.x, lastPointer_.y);
            }
            return 0;
        case WM_LBUTTONDBLCLK: {
            if (!onCharacter) break;
            const POINT at = ScreenPoint(window, lParam);
            pointer.DoubleClick(PointerButton::Left, at.x, at.y);
            return 0;
        }
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK: {  // a second right-click soon after the first is a press all the same
            if (!onCharacter) break;
            const POINT at = ScreenPoint(window, lParam);
            pointer.Press(PointerButton::Right, at.x, at.y, character_.X(), character_.Y());
            return 0;
        }
        case WM_RBUTTONUP: {
            if (!onCharacter) break;
            const POINT at = ScreenPoint(window, lParam);
            pointer.Release(PointerButton::Right, at.x, at.y);
            return 0;
        }
        case kOpenMenuMessage:
            OpenMenu(static_cast<int>(wParam), static_cast<int>(lParam));
            return 0;
        case WM_DPICHANGED:
            // She was moved onto a monitor of another scale: drawn again at it, where she stands (the
            // host places her; the suggested rectangle is not needed).
            if (onCharacter) character_.SetScale(LOWORD(wParam) / 96.0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void StageWindows::ShowChanges() {
    ShowCharacter();
    ShowBalloon();
}

void StageWindows::ShowCharacter() {
    if (!character_.Visible()) {
        characterWindow_.Hide();
        if (shownCharacter_) shownCharacter_->visible = false;
        return;
    }
    const acs::RgbaImage& picture = character_.FrameImage();
    const int x = character_.X(), y = character_.Y();
    if (shownCharacter_ && shownCharacter_->visible && shownCharacter_->picture.width == picture.width &&
        shownCharacter_->picture.height == picture.height && shownCharacter_->picture.rgba == picture.rgba) {
        // The same picture: at most a move.
        if (shownCharacter_->x != x || shownCharacter_->y != y) characterWindow_.MoveTo(x, y);
        shownCharacter_->x = x;
        shownCharacter_->y = y;
        return;
    }
    PremultipliedBitmap bitmap(picture.width, picture.height);
    bitmap.CopyFrom(picture);
    if (!shownCharacter_ || !SameOpaquePixels(shownCharacter_->picture, picture))
        characterWindow_.ClipToOpaquePixels(picture);
    characterWindow_.Show(bitmap, x, y);
    ++characterDrawings_;
    shownCharacter_ = ShownCharacter{true, x, y, picture};
}

void StageWindows::ShowBalloon() {
    const std::optional<stage::BalloonLayout>& layout = character_.Balloon();
    if (!layout || !character_.Visible()) {
        balloonWindow_.Hide();
        shownBalloon_.reset();
        return;
    }
    ShownBalloon wanted{*layout, character_.BalloonLinesShown()};
    if (shownBalloon_ && *shownBalloon_ == wanted && balloonWindow_.Shown()) return;

    const PaintedBalloon painted = PaintBalloon(*layout, wanted.lines);
    balloonWindow_.Show(*painted.bitmap, painted.topLeft.x, painted.topLeft.y);
    shownBalloon_ = std::move(wanted);
}

void StageWindows::OpenMenu(int x, int y) {
    if (menuOpen_) return;
    const std::vector<stage::MenuEntry>& entries = character_.Menu().Entries();
    const MenuHandle menu(CreatePopupMenu());
    if (!menu) return;
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
    menuOpen_ = true;
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenuEx(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, x, y, owner, nullptr));
    menuOpen_ = false;
    PostMessageW(owner, WM_NULL, 0, 0);
    // The entries may have changed while the menu was open; the name is read now.
    const std::vector<stage::MenuEntry>& now = character_.Menu().Entries();
    if (chosen >= 1 && chosen <= now.size()) character_.ChooseCommand(now[chosen - 1].name);
}

}  // namespace zinna::win32
