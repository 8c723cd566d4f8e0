#include "platform/linux/x11/stage_windows.h"

#include <cstdlib>

namespace zinna::x11 {

namespace {

constexpr long kCharacterEvents = ButtonPressMask | ButtonReleaseMask | ButtonMotionMask | ExposureMask;

bool SameOpaquePixels(const acs::RgbaImage& a, const acs::RgbaImage& b) {
    if (a.width != b.width || a.height != b.height || a.rgba.size() != b.rgba.size()) return false;
    for (std::size_t i = 3; i < a.rgba.size(); i += 4)
        if ((a.rgba[i] == 0) != (b.rgba[i] == 0)) return false;
    return true;
}

}  // namespace

StageWindows::StageWindows(EventLoop& loop, stage::StageCharacter& character, std::function<void()> firstFrame)
    : loop_(loop),
      character_(character),
      characterWindow_(loop.Connection(), "Zinna", true, kCharacterEvents),
      balloonWindow_(loop.Connection()),
      firstFrame_(std::move(firstFrame)) {
    loop_.Watch(characterWindow_.Handle(), [this](const XEvent& event) { Handle(event); });
    character_.SetChangeListener([this] { ShowChanges(); });
    // The menu opens after the pointer's handling has returned.
    character_.SetMenuListener([this](int x, int y) { loop_.Post([this, x, y] { OpenMenu(x, y); }); });
    ShowChanges();
}

StageWindows::~StageWindows() {
    character_.SetChangeListener(nullptr);
    character_.SetMenuListener(nullptr);
    loop_.Unwatch(characterWindow_.Handle());
}

void StageWindows::Handle(const XEvent& event) {
    using stage::PointerButton;
    stage::PointerInput& pointer = character_.Pointer();
    Display* display = loop_.Connection().Get();
    switch (event.type) {
        case ButtonPress: {
            const XButtonEvent& press = event.xbutton;
            if (press.button == Button1) {
                const bool second = lastLeftPress_ != 0 && press.time - lastLeftPress_ <= kDoubleClickMs &&
                                    std::abs(press.x_root - lastLeftX_) <= kDoubleClickDistance &&
                                    std::abs(press.y_root - lastLeftY_) <= kDoubleClickDistance;
                if (second) {
                    lastLeftPress_ = 0;  // a third press starts afresh
                    leftHeld_ = false;
                    pointer.DoubleClick(PointerButton::Left, press.x_root, press.y_root);
                    return;
                }
                lastLeftPress_ = press.time;
                lastLeftX_ = press.x_root;
                lastLeftY_ = press.y_root;
                leftHeld_ = true;
                // The drag goes on wherever the pointer goes, over other windows too.
                XGrabPointer(display, characterWindow_.Handle(), False, ButtonMotionMask | ButtonReleaseMask,
                             GrabModeAsync, GrabModeAsync, None, None, press.time);
                pointer.Press(PointerButton::Left, press.x_root, press.y_root, character_.X(), character_.Y());
            } else if (press.button == Button3) {
                pointer.Press(PointerButton::Right, press.x_root, press.y_root, character_.X(), character_.Y());
            }
            return;
        }
        case MotionNotify: {
            if (!leftHeld_) return;
            // Only the latest position counts: the ones queued behind it are taken now.
            XEvent latest = event;
            while (XCheckTypedWindowEvent(display, characterWindow_.Handle(), MotionNotify, &latest)) {}
            pointer.Move(latest.xmotion.x_root, latest.xmotion.y_root);
            return;
        }
        case ButtonRelease: {
            const XButtonEvent& release = event.xbutton;
            if (release.button == Button1) {
                if (leftHeld_) EndPress(release.x_root, release.y_root);
            } else if (release.button == Button3) {
                pointer.Release(PointerButton::Right, release.x_root, release.y_root);
            }
            return;
        }
        default:
            return;
    }
}

void StageWindows::EndPress(int x, int y) {
    leftHeld_ = false;
    XUngrabPointer(loop_.Connection().Get(), CurrentTime);
    character_.Pointer().Release(stage::PointerButton::Left, x, y);
}

void StageWindows::ShowChanges() {
    ShowCharacter();
    ShowBalloon();
}

void StageWindows::ShowCharacter() {
    if (!character_.Visible()) {
        characterWindow_.Hide();
        if (shown_) shown_->visible = false;
        return;
    }
    const acs::RgbaImage& picture = character_.FrameImage();
    const int x = character_.X(), y = character_.Y();
    if (shown_ && shown_->visible && characterWindow_.Shown() && shown_->picture.width == picture.width &&
        shown_->picture.height == picture.height && shown_->picture.rgba == picture.rgba) {
        if (shown_->x != x || shown_->y != y) {
            characterWindow_.MoveTo(x, y);
            ++characterMoves_;
        }
        shown_->x = x;
        shown_->y = y;
        return;
    }
    const bool outlineChanged = !shown_ || !SameOpaquePixels(shown_->picture, picture);
    characterWindow_.Show(picture, x, y, outlineChanged);
    ++characterDrawings_;
    shown_ = ShownCharacter{true, x, y, picture};
    if (characterDrawings_ == 1 && firstFrame_) {
        XFlush(loop_.Connection().Get());
        firstFrame_();
    }
}

void StageWindows::ShowBalloon() {
    const std::optional<stage::BalloonLayout>& layout = character_.Balloon();
    if (!layout || !character_.Visible()) {
        balloonWindow_.Hide();
        return;
    }
    balloonWindow_.Show(*layout, character_.BalloonLinesShown());
}

void StageWindows::OpenMenu(int x, int y) {
    if (menu_) return;
    menu_ = std::make_unique<MenuWindow>(loop_, character_.Menu(), x, y, [this](std::optional<std::size_t> chosen) {
        // The menu goes after its own handler has returned; the command's name is read then, as
        // the entries may have changed while the menu was open.
        loop_.Post([this, chosen] {
            menu_.reset();
            const std::vector<stage::MenuEntry>& entries = character_.Menu().Entries();
            if (chosen && *chosen < entries.size()) character_.ChooseCommand(entries[*chosen].name);
        });
    });
}

}  // namespace zinna::x11
