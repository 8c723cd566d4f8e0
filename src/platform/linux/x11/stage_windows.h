// The built-in host's windows on X: her picture in a window of its own, her word balloon in
// another, her right-click menu, and the mouse on her. What they show comes from the host's
// character; they are drawn again only when it reports a change, and a move alone is a move.
#pragma once

#include "stage/host/stage_character.h"

#include "platform/linux/x11/balloon_window.h"
#include "platform/linux/x11/event_loop.h"
#include "platform/linux/x11/menu_window.h"
#include "platform/linux/x11/picture_window.h"

#include <functional>
#include <memory>
#include <optional>

namespace zinna::x11 {

// Two presses of the left button this close in time and place make a double-click.
inline constexpr unsigned long kDoubleClickMs = 500;
inline constexpr int kDoubleClickDistance = 4;

class StageWindows {
public:
    // firstFrame (may be empty) is called once, after her first frame has gone to the server.
    StageWindows(EventLoop& loop, stage::StageCharacter& character, std::function<void()> firstFrame = {});
    ~StageWindows();
    StageWindows(const StageWindows&) = delete;
    StageWindows& operator=(const StageWindows&) = delete;

    ::Window CharacterHandle() const { return characterWindow_.Handle(); }
    ::Window BalloonHandle() const { return balloonWindow_.Handle(); }
    bool CharacterArgb() const { return characterWindow_.Argb(); }
    const MenuWindow* Menu() const { return menu_.get(); }
    // How often her picture was drawn and how often her window only moved (benchmarks and tests:
    // nothing is drawn without a change).
    int CharacterDrawings() const { return characterDrawings_; }
    int CharacterMoves() const { return characterMoves_; }

private:
    struct ShownCharacter {
        bool visible = false;
        int x = 0, y = 0;
        acs::RgbaImage picture;
    };

    void Handle(const XEvent& event);
    void ShowChanges();
    void ShowCharacter();
    void ShowBalloon();
    void OpenMenu(int x, int y);
    void EndPress(int x, int y);

    EventLoop& loop_;
    stage::StageCharacter& character_;
    PictureWindow characterWindow_;
    BalloonWindow balloonWindow_;
    std::function<void()> firstFrame_;
    std::unique_ptr<MenuWindow> menu_;
    std::optional<ShownCharacter> shown_;
    bool leftHeld_ = false;
    Time lastLeftPress_ = 0;
    int lastLeftX_ = 0, lastLeftY_ = 0;
    int characterDrawings_ = 0;
    int characterMoves_ = 0;
};

}  // namespace zinna::x11
