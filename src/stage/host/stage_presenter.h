// What her windows show and when, decided once for every platform: the picture drawn again only
// when it changed and otherwise at most moved, and moved at most once a display frame (a drag's
// pointer may report far more often: the moves within a frame become one at its end), the outline made again only when
// her opaque pixels changed, the balloon drawn only when its place or words changed, two presses made a double-click by
// time and distance, and the menu opened after the pointer's handling and its command handed to the program only once
// the menu has closed. A platform draws through a StageSurface and reports the pointer's raw presses, moves and
// releases here.
#pragma once

#include "stage/host/stage_character.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zinna::stage {

// The drawing a platform does for her, and nothing else.
class StageSurface {
public:
    virtual ~StageSurface() = default;
    // Her opaque pixels are now those of picture (the window's shape or region follows them).
    virtual void SetOutline(const acs::RgbaImage& picture) = 0;
    // Draws the picture with its top-left corner at (x, y) and shows it.
    virtual void ShowPicture(const acs::RgbaImage& picture, int x, int y) = 0;
    // The picture shown is moved without being drawn again.
    virtual void MovePicture(int x, int y) = 0;
    virtual void HidePicture() = 0;
    virtual void ShowBalloon(const BalloonLayout& layout, const std::vector<std::string>& lines) = 0;
    virtual void HideBalloon() = 0;
    // Opens the menu's visible entries at (x, y); when it closes, however it closes, the platform
    // calls StagePresenter::MenuClosed once (during this call or later).
    virtual void PopUpMenu(const MenuModel& menu, int x, int y) = 0;
    // The closed menu's resources go; called after MenuClosed has returned, never from inside it.
    virtual void RemoveMenu() = 0;
};

// When two presses of the left button make a double-click: the second comes at most intervalMs
// after the first and at most distance pixels away from it in each direction. Each platform
// gives its system's values.
struct DoubleClickRule {
    std::uint32_t intervalMs = 500;
    int distance = 4;
};

class StagePresenter {
public:
    // Runs work after the platform's current handling has returned, in the order posted.
    using Post = std::function<void(std::function<void()> work)>;

    // Shows her at once and then after every change the character reports.
    StagePresenter(StageCharacter& character, StageSurface& surface, Post post, DoubleClickRule rule = {});
    ~StagePresenter();
    StagePresenter(const StagePresenter&) = delete;
    StagePresenter& operator=(const StagePresenter&) = delete;

    // --- the pointer on her, in screen pixels; timeMs is the press's time on a wrapping millisecond clock
    // Returns true when the press holds the pointer until its release (the platform grabs it).
    bool Press(PointerButton button, int x, int y, std::uint32_t timeMs);
    void Move(int x, int y);
    void Release(PointerButton button, int x, int y);
    // Another window took the pointer during a press: the press ends where the pointer last was.
    void PressLost();
    // The menu has closed, with the chosen entry's place in the model or nullopt.
    void MenuClosed(std::optional<std::size_t> chosen);
    // Opens the menu at once, as a right-click's release does after the pointer's handling.
    void OpenMenu(int x, int y);

    // Whether she is shown and what is on the screen.
    void ShowChanges();
    bool MenuOpen() const { return menuOpen_; }
    bool Holding() const { return leftHeld_; }
    // How often her picture was drawn and how often it only moved (nothing is drawn without a change).
    int Drawings() const { return drawings_; }
    int Moves() const { return moves_; }

private:
    struct ShownPicture {
        bool visible = false;
        int x = 0, y = 0;
        acs::RgbaImage picture;
    };
    struct ShownBalloon {
        BalloonLayout layout;
        std::vector<std::string> lines;
        bool operator==(const ShownBalloon&) const = default;
    };
    struct LeftPress {
        std::uint32_t timeMs;
        int x, y;
    };

    void ShowPicture();
    void ShowBalloon();
    void CancelPendingMove();

    StageCharacter& character_;
    StageSurface& surface_;
    Post post_;
    DoubleClickRule rule_;
    std::optional<ShownPicture> shown_;
    std::optional<std::int64_t> movedMs_;      // when her picture was last moved
    std::optional<ClockTimerId> pendingMove_;  // the move left to the end of that frame
    std::optional<ShownBalloon> balloon_;
    std::optional<LeftPress> lastLeftPress_;
    bool leftHeld_ = false;
    int lastX_ = 0, lastY_ = 0;
    bool menuOpen_ = false;
    int drawings_ = 0;
    int moves_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // posted work checks it
};

// Whether two pictures of the same size are opaque at the same pixels (their colours may differ).
bool SameOpaquePixels(const acs::RgbaImage& a, const acs::RgbaImage& b);

}  // namespace zinna::stage
