// What her windows show and when, decided once for every platform: each distinct picture of hers
// handed to the surface once and then only switched to (a wing beat shows a picture the surface
// keeps), the pictures kept within a bound, the picture otherwise at most moved, the outline set
// only when her opaque pixels change, the balloon drawn only when its place or words changed, two presses made a
// double-click by time and distance, and the menu opened after the pointer's handling and its command handed to the
// program only once the menu has closed. A platform draws through a StageSurface and reports the pointer's raw presses,
// moves and releases here.
#pragma once

#include "stage/host/stage_character.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zinna::stage {

// A picture of hers that the surface keeps, from AddPicture until ForgetPicture. A number is never
// given to another picture.
using PictureId = std::uint32_t;

// How many bytes of pictures (4 a pixel) the surface is asked to keep at most: 128 of her 128 x 128
// frames. A platform keeps about that much (an X server's pixmaps with their masks, a Windows
// process's bitmaps); the picture shown is kept whatever its size.
inline constexpr std::size_t kKeptPictureBytes = 8u << 20;

// The drawing a platform does for her, and nothing else.
class StageSurface {
public:
    virtual ~StageSurface() = default;
    // A picture not shown before (or not since it was forgotten): the surface keeps it under id,
    // made ready to be shown and to shape her window without being drawn again.
    virtual void AddPicture(PictureId id, const acs::RgbaImage& picture) = 0;
    // The kept picture is no longer needed (never the one shown, unless another is added and shown
    // right after).
    virtual void ForgetPicture(PictureId id) = 0;
    // Her opaque pixels are now those of the kept picture (the window's shape or region follows them).
    virtual void SetOutline(PictureId id) = 0;
    // Shows the kept picture with its top-left corner at (x, y): a switch, nothing drawn anew.
    virtual void ShowPicture(PictureId id, int x, int y) = 0;
    // The calls after this one take effect delayMs after the screen reaches it; until then the screen
    // keeps what it shows, without the program. Returns false, holding nothing, where the screen
    // cannot do that: the presenter then makes each change when it is due.
    virtual bool HoldFor(int delayMs) {
        (void)delayMs;
        return false;
    }
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

// How long before its time a frame may be handed to a screen that holds it (StageSurface::HoldFor).
// Whatever comes meanwhile (a stop, a drag, the menu, a new request shown) reaches the screen after
// the held frame, so this is also how late it may come: under what the eye takes as at once.
inline constexpr std::int64_t kShowAheadMs = 100;

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
    StagePresenter(StageCharacter& character, StageSurface& surface, Post post, DoubleClickRule rule = {},
                   std::size_t keptPictureBytes = kKeptPictureBytes);
    ~StagePresenter();
    StagePresenter(const StagePresenter&) = delete;
    StagePresenter& operator=(const StagePresenter&) = delete;

    // --- the pointer on her, in screen pixels; timeMs is the press's time on a wrapping millisecond clock
    // Returns true when the press holds the pointer until its release (Windows captures it; on X the
    // server's own grab of a press does that).
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
    // The surface's kept pictures no longer look right (a compositor came or went): every one is
    // forgotten, and the picture shown is added and shown again.
    void PicturesStale();
    bool MenuOpen() const { return menuOpen_; }
    bool Holding() const { return leftHeld_; }
    // How often a picture was handed to the surface to keep, how often one was shown (a switch,
    // or shown again after hiding) and how often the one shown only moved: nothing happens
    // without a change.
    int Additions() const { return additions_; }
    int Drawings() const { return drawings_; }
    int Moves() const { return moves_; }
    // The pictures the surface keeps now, and their bytes (4 a pixel).
    std::size_t KeptPictures() const { return kept_.size(); }
    std::size_t KeptBytes() const { return keptBytes_; }

private:
    struct ShownPicture {
        bool visible = false;
        int x = 0, y = 0;
        PictureId id = 0;
        std::uint64_t outline = 0;
    };
    // A picture the surface keeps, and the frames that show it.
    struct KeptPicture {
        PictureId id = 0;
        std::vector<FrameKey> keys;
        double scale = 1.0;
        std::size_t bytes = 0;
        std::uint64_t pixels = 0;   // a hash of its size and colours: the same picture under another key
        std::uint64_t outline = 0;  // a hash of which pixels are opaque
        std::uint64_t lastShown = 0;
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

    // The frame shown ahead, and what the screen shows until then.
    struct Held {
        std::int64_t untilMs = 0;
        FrameKey before;
        int x = 0, y = 0;
        FrameKey key;
    };

    void ShowPicture();
    void ShowBalloon();
    // Hands her next frame to a screen that can show it at its time, sparing her the wake-up.
    void HandAhead();
    // Whether she still shows what she showed when the frame was handed ahead, and still comes to it.
    bool HeldStands();
    void EndHold();
    KeptPicture* FindKept(const FrameKey& key);
    KeptPicture& Keep(const FrameKey& key);
    void Trim();
    void CancelPendingMove();

    StageCharacter& character_;
    StageSurface& surface_;
    Post post_;
    DoubleClickRule rule_;
    std::optional<ShownPicture> shown_;
    std::optional<std::int64_t> movedMs_;      // when her picture was last moved
    std::optional<ClockTimerId> pendingMove_;  // the move left to the end of that frame
    std::optional<ShownBalloon> balloon_;
    std::optional<Held> held_;
    std::int64_t holdEndsMs_ = 0;  // when the screen's last hold ends
    std::optional<LeftPress> lastLeftPress_;
    bool leftHeld_ = false;
    int lastX_ = 0, lastY_ = 0;
    bool menuOpen_ = false;
    std::size_t keptPictureBytes_;
    std::vector<KeptPicture> kept_;
    std::size_t keptBytes_ = 0;
    PictureId nextId_ = 1;
    std::uint64_t showings_ = 0;
    int additions_ = 0;
    int drawings_ = 0;
    int moves_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // posted work checks it
};

// Hashes of a picture (64 bits, FNV-1a's step on whole words): of its size and every byte, and of
// its size and which pixels are opaque. Equal hashes are taken as equal pictures or outlines.
struct PictureHashes {
    std::uint64_t pixels = 0;
    std::uint64_t outline = 0;
};
PictureHashes HashPicture(const acs::RgbaImage& picture);

}  // namespace zinna::stage
