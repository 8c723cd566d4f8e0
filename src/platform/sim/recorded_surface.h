// Her windows on the simulated desktop: what the built-in host's presenter has put on the screen
// (her picture, its place and outline, the balloon, an open menu) and the pictures it keeps, as a
// real surface keeps them, with every drawing call written down in order.
#pragma once

#include "stage/host/opaque_runs.h"
#include "stage/host/stage_presenter.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zinna::sim {

class RecordedSurface final : public stage::StageSurface {
public:
    struct Menu {
        std::vector<std::string> names;   // the visible entries' names, in order
        std::vector<std::size_t> places;  // their places in the model
        int x = 0, y = 0;
    };

    // keepCalls: the calls are written down (tests); a long simulated run keeps only the state.
    // holdClock: the surface holds calls back on that clock as an X server does (HoldFor); without
    // one it cannot, as a Windows desktop cannot.
    explicit RecordedSurface(bool keepCalls = true, Clock* holdClock = nullptr)
        : keepCalls_(keepCalls), holdClock_(holdClock) {}
    ~RecordedSurface() override;
    RecordedSurface(const RecordedSurface&) = delete;
    RecordedSurface& operator=(const RecordedSurface&) = delete;

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

    // What the screen shows now.
    bool PictureShown() const { return pictureShown_; }
    // The picture shown last (empty before any), and its number.
    const acs::RgbaImage& Picture() const { return picture_; }
    stage::PictureId PictureNumber() const { return shownId_; }
    // The pictures kept now, and how many were ever added.
    std::size_t KeptPictures() const { return kept_.size(); }
    int PicturesAdded() const { return added_; }
    int X() const { return x_; }
    int Y() const { return y_; }
    // The outline last set: her opaque pixels as runs.
    const std::vector<stage::PixelRun>& Outline() const { return outline_; }
    const std::optional<stage::BalloonLayout>& Balloon() const { return balloon_; }
    const std::vector<std::string>& BalloonLines() const { return balloonLines_; }
    // The menu on the screen, from its pop-up until it is removed.
    const std::optional<Menu>& OpenMenu() const { return menu_; }
    // The place in the model of the open menu's first visible entry of that name.
    std::optional<std::size_t> PlaceOf(const std::string& name) const;

    // Every call in order, as "add N", "forget N", "outline N", "show N at x,y", "move x,y", "hide",
    // "balloon <lines>", "hide balloon", "menu x,y", "remove menu", "hold MS" (N a picture's number),
    // each when it takes effect; Take hands them over and starts afresh.
    std::vector<std::string> Take();
    // Whether calls are held back now.
    bool Holding() const { return releaseTimer_.has_value(); }

private:
    // A call, or a hold of the calls after it (holdMs >= 0).
    struct Pending {
        int holdMs = -1;
        std::function<void()> call;
    };
    // Runs the call now, or after the holds under way.
    void Apply(std::function<void()> call);
    void StartHold(int delayMs);
    void Release();
    void Record(std::string call);
    // A kept picture; a call for a picture never added, or forgotten, is a fault of the presenter.
    const acs::RgbaImage& Kept(stage::PictureId id) const;

    bool keepCalls_;
    Clock* holdClock_;
    std::optional<ClockTimerId> releaseTimer_;
    std::deque<Pending> pending_;
    std::vector<std::string> calls_;
    bool pictureShown_ = false;
    std::map<stage::PictureId, acs::RgbaImage> kept_;
    int added_ = 0;
    stage::PictureId shownId_ = 0;
    acs::RgbaImage picture_;
    int x_ = 0, y_ = 0;
    std::vector<stage::PixelRun> outline_;
    std::optional<stage::BalloonLayout> balloon_;
    std::vector<std::string> balloonLines_;
    std::optional<Menu> menu_;
};

}  // namespace zinna::sim
