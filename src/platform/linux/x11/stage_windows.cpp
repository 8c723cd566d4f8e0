#include "platform/linux/x11/stage_windows.h"

#include <X11/extensions/Xfixes.h>
#include <X11/extensions/sync.h>

#include <cstring>

namespace zinna::x11 {

namespace {

// No Expose: her window's background pixmap repaints it. Asked for, every wing beat's new shape would
// send one back, to be read and thrown away (a read and a turn of the loop each).
constexpr long kCharacterEvents = ButtonPressMask | ButtonReleaseMask | ButtonMotionMask;

// The server's millisecond clock as a Sync counter, or None.
XID FindServerTime(Display* display) {
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XSyncQueryExtension(display, &eventBase, &errorBase) || !XSyncInitialize(display, &major, &minor)) return None;
    XID found = None;
    int count = 0;
    XSyncSystemCounter* counters = XSyncListSystemCounters(display, &count);
    for (int i = 0; i < count; ++i)
        if (std::strcmp(counters[i].name, "SERVERTIME") == 0) found = counters[i].counter;
    if (counters) XSyncFreeSystemCounterList(counters);
    return found;
}

}  // namespace

StageWindows::StageWindows(EventLoop& loop, stage::StageCharacter& character, std::function<void()> firstFrame)
    : loop_(loop),
      character_(character),
      characterWindow_(loop.Connection(), "Zinna", true, kCharacterEvents),
      balloonWindow_(loop.Connection()),
      firstFrame_(std::move(firstFrame)) {
    loop_.Watch(characterWindow_.Handle(), [this](const XEvent& event) { Handle(event); });
    WatchCompositor();
    stage::StageSurface& surface = *this;
    presenter_ = std::make_unique<stage::StagePresenter>(
        character_, surface, [this](std::function<void()> work) { loop_.Post(std::move(work)); }, kDoubleClick);
}

StageWindows::~StageWindows() {
    presenter_.reset();
    loop_.Unwatch(characterWindow_.Handle());
}

void StageWindows::WatchCompositor() {
    Display* display = loop_.Connection().Get();
    int errorBase = 0, major = 5, minor = 0;
    if (!XFixesQueryExtension(display, &fixesEventBase_, &errorBase) || !XFixesQueryVersion(display, &major, &minor)) {
        fixesEventBase_ = -1;
        return;
    }
    compositorSelection_ = loop_.Connection().Intern("_NET_WM_CM_S" + std::to_string(loop_.Connection().Screen()));
    // The selection's events come to her own window, which this class watches already.
    XFixesSelectSelectionInput(display, characterWindow_.Handle(), compositorSelection_,
                               XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                   XFixesSelectionClientCloseNotifyMask);
    // A compositor that came or went between her window's making and now.
    characterWindow_.SetCompositorRunning(loop_.Connection().CompositorRunning());
}

void StageWindows::Handle(const XEvent& event) {
    using stage::PointerButton;
    Display* display = loop_.Connection().Get();
    if (fixesEventBase_ >= 0 && event.type == fixesEventBase_ + XFixesSelectionNotify) {
        const auto& notice = reinterpret_cast<const XFixesSelectionNotifyEvent&>(event);
        if (notice.selection == compositorSelection_ &&
            characterWindow_.SetCompositorRunning(notice.subtype == XFixesSetSelectionOwnerNotify &&
                                                  notice.owner != None) &&
            presenter_)
            presenter_->PicturesStale();
        return;
    }
    switch (event.type) {
        case ButtonPress: {
            const XButtonEvent& press = event.xbutton;
            const PointerButton button = press.button == Button1   ? PointerButton::Left
                                         : press.button == Button3 ? PointerButton::Right
                                                                   : PointerButton::Middle;
            if (button == PointerButton::Middle) return;
            // The server's own grab of the press brings her the moves and the release wherever the
            // pointer goes, over other windows too, and ends with the release. No grab of hers: one
            // taken when the press is read outlasts its release until that is read too, and a busy
            // loop reads it after the second press of a double-click, which that grab would swallow.
            presenter_->Press(button, press.x_root, press.y_root, static_cast<std::uint32_t>(press.time));
            return;
        }
        case MotionNotify: {
            if (!presenter_->Holding()) return;
            // Only the latest position counts: the ones queued behind it are taken now.
            XEvent latest = event;
            while (XCheckTypedWindowEvent(display, characterWindow_.Handle(), MotionNotify, &latest)) {}
            presenter_->Move(latest.xmotion.x_root, latest.xmotion.y_root);
            return;
        }
        case ButtonRelease: {
            const XButtonEvent& release = event.xbutton;
            if (release.button == Button1) {
                presenter_->Release(PointerButton::Left, release.x_root, release.y_root);
            } else if (release.button == Button3) {
                presenter_->Release(PointerButton::Right, release.x_root, release.y_root);
            }
            return;
        }
        default:
            return;
    }
}

void StageWindows::AddPicture(stage::PictureId id, const acs::RgbaImage& picture) {
    characterWindow_.Keep(id, picture);
}

void StageWindows::ForgetPicture(stage::PictureId id) { characterWindow_.Forget(id); }

void StageWindows::SetOutline(stage::PictureId id) { characterWindow_.SetOutline(id); }

void StageWindows::ShowPicture(stage::PictureId id, int x, int y) {
    const bool first = !characterWindow_.Shown() && firstFrame_;
    characterWindow_.Show(id, x, y);
    if (first) {
        XFlush(loop_.Connection().Get());
        std::function<void()> once = std::move(firstFrame_);
        firstFrame_ = nullptr;
        once();
    }
}

void StageWindows::MovePicture(int x, int y) { characterWindow_.MoveTo(x, y); }

// The server itself holds back her requests that follow (Sync's Await on its own clock), so the held
// frame shows at its time while she sleeps through it.
bool StageWindows::HoldFor(int delayMs) {
    Display* display = loop_.Connection().Get();
    if (!serverTime_) serverTime_ = FindServerTime(display);
    if (*serverTime_ == None) return false;
    XSyncWaitCondition condition{};
    condition.trigger.counter = *serverTime_;
    condition.trigger.value_type = XSyncRelative;  // from the time the server reaches the request
    XSyncIntToValue(&condition.trigger.wait_value, delayMs);
    condition.trigger.test_type = XSyncPositiveComparison;
    // A CounterNotify comes back when the counter passes the wait value by at least the threshold:
    // with the greatest value none does (each would wake her only to be read and thrown away).
    XSyncIntsToValue(&condition.event_threshold, 0xffffffffu, 0x7fffffff);
    XSyncAwait(display, &condition, 1);
    return true;
}

void StageWindows::HidePicture() { characterWindow_.Hide(); }

void StageWindows::ShowBalloon(const stage::BalloonLayout& layout, const std::vector<std::string>& lines) {
    balloonWindow_.Show(layout, lines);
}

void StageWindows::HideBalloon() { balloonWindow_.Hide(); }

void StageWindows::PopUpMenu(const stage::MenuModel& menu, int x, int y) {
    menu_ = std::make_unique<MenuWindow>(loop_, menu, x, y,
                                         [this](std::optional<std::size_t> chosen) { presenter_->MenuClosed(chosen); });
}

void StageWindows::RemoveMenu() { menu_.reset(); }

}  // namespace zinna::x11
