// The built-in host's windows on X: her picture in a window of its own, her word balloon in
// another, her right-click menu, and the mouse on her. The presenter decides what is drawn and
// when; this surface only draws, and reports the pointer's raw presses, moves and releases. It also
// follows a compositor's coming and going (the owner of _NET_WM_CM_S<screen>), so that her window
// is shaped whenever nothing blends it.
#pragma once

#include "stage/host/stage_presenter.h"

#include "platform/linux/x11/balloon_window.h"
#include "platform/linux/x11/event_loop.h"
#include "platform/linux/x11/menu_window.h"
#include "platform/linux/x11/picture_window.h"

#include <functional>
#include <memory>
#include <optional>

namespace zinna::x11 {

// Two presses of the left button this close in time and place make a double-click (X has no
// setting of its own for them).
inline constexpr stage::DoubleClickRule kDoubleClick{500, 4};

class StageWindows final : private stage::StageSurface {
public:
    // firstFrame (may be empty) is called once, after her first frame has gone to the server.
    StageWindows(EventLoop& loop, stage::StageCharacter& character, std::function<void()> firstFrame = {});
    ~StageWindows() override;
    StageWindows(const StageWindows&) = delete;
    StageWindows& operator=(const StageWindows&) = delete;

    ::Window CharacterHandle() const { return characterWindow_.Handle(); }
    ::Window BalloonHandle() const { return balloonWindow_.Handle(); }
    bool CharacterArgb() const { return characterWindow_.Argb(); }
    // Whether a compositor blends her window now (it came, or has not gone, since she was made).
    bool CharacterBlended() const { return characterWindow_.Blended(); }
    const MenuWindow* Menu() const { return menu_.get(); }
    // How often her picture was drawn and how often her window only moved (benchmarks and tests:
    // nothing is drawn without a change).
    int CharacterDrawings() const { return presenter_ ? presenter_->Drawings() : 0; }
    int CharacterMoves() const { return presenter_ ? presenter_->Moves() : 0; }
    // Whether a left press on her is held (read, and its release not yet).
    bool PointerHeld() const { return presenter_ && presenter_->Holding(); }
    // How many of her pictures went to the server, how many it keeps now, and their bytes there.
    int CharacterUploads() const { return characterWindow_.Uploads(); }
    std::size_t KeptPictures() const { return characterWindow_.KeptPictures(); }
    std::size_t KeptServerBytes() const { return characterWindow_.KeptServerBytes(); }

private:
    // stage::StageSurface
    void AddPicture(stage::PictureId id, const acs::RgbaImage& picture) override;
    void ForgetPicture(stage::PictureId id) override;
    void SetOutline(stage::PictureId id) override;
    void ShowPicture(stage::PictureId id, int x, int y) override;
    void MovePicture(int x, int y) override;
    bool HoldFor(int delayMs) override;
    void HidePicture() override;
    void ShowBalloon(const stage::BalloonLayout& layout, const std::vector<std::string>& lines) override;
    void HideBalloon() override;
    void PopUpMenu(const stage::MenuModel& menu, int x, int y) override;
    void RemoveMenu() override;

    void Handle(const XEvent& event);
    void WatchCompositor();

    EventLoop& loop_;
    stage::StageCharacter& character_;
    PictureWindow characterWindow_;
    BalloonWindow balloonWindow_;
    std::function<void()> firstFrame_;
    std::unique_ptr<MenuWindow> menu_;
    int fixesEventBase_ = -1;  // XFixes' first event number, when the server has it
    Atom compositorSelection_ = 0;
    // The Sync extension's SERVERTIME counter, looked up at the first hold (None: the server has none).
    std::optional<XID> serverTime_;
    std::unique_ptr<stage::StagePresenter> presenter_;  // last: it draws on the windows above
};

}  // namespace zinna::x11
