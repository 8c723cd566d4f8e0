#include "platform/sim/recorded_surface.h"

#include <stdexcept>

namespace zinna::sim {

namespace {

std::string Place(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }

}  // namespace

RecordedSurface::~RecordedSurface() {
    if (releaseTimer_) holdClock_->Cancel(*releaseTimer_);
}

void RecordedSurface::Apply(std::function<void()> call) {
    if (releaseTimer_)
        pending_.push_back(Pending{-1, std::move(call)});
    else
        call();
}

bool RecordedSurface::HoldFor(int delayMs) {
    if (!holdClock_) return false;
    if (releaseTimer_)
        pending_.push_back(Pending{delayMs, nullptr});  // it starts when the holds before it end
    else
        StartHold(delayMs);
    return true;
}

void RecordedSurface::StartHold(int delayMs) {
    Record("hold " + std::to_string(delayMs));
    releaseTimer_ = holdClock_->ScheduleAt(holdClock_->NowMs() + delayMs, [this] { Release(); });
}

void RecordedSurface::Release() {
    releaseTimer_.reset();
    while (!pending_.empty()) {
        Pending next = std::move(pending_.front());
        pending_.pop_front();
        if (next.holdMs >= 0) {
            StartHold(next.holdMs);
            return;
        }
        next.call();
    }
}

void RecordedSurface::Record(std::string call) {
    if (keepCalls_) calls_.push_back(std::move(call));
}

const acs::RgbaImage& RecordedSurface::Kept(stage::PictureId id) const {
    const auto found = kept_.find(id);
    if (found == kept_.end()) throw std::logic_error("picture " + std::to_string(id) + " is not kept");
    return found->second;
}

void RecordedSurface::AddPicture(stage::PictureId id, const acs::RgbaImage& picture) {
    Apply([=, this] {
        if (!kept_.emplace(id, picture).second)
            throw std::logic_error("picture " + std::to_string(id) + " is added a second time");
        ++added_;
        Record("add " + std::to_string(id));
    });
}

void RecordedSurface::ForgetPicture(stage::PictureId id) {
    Apply([=, this] {
        Kept(id);
        kept_.erase(id);
        Record("forget " + std::to_string(id));
    });
}

void RecordedSurface::SetOutline(stage::PictureId id) {
    Apply([=, this] {
        outline_ = stage::OpaqueRuns(Kept(id));
        Record("outline " + std::to_string(id));
    });
}

void RecordedSurface::ShowPicture(stage::PictureId id, int x, int y) {
    Apply([=, this] {
        picture_ = Kept(id);
        shownId_ = id;
        x_ = x;
        y_ = y;
        pictureShown_ = true;
        Record("show " + std::to_string(id) + " at " + Place(x, y));
    });
}

void RecordedSurface::MovePicture(int x, int y) {
    Apply([=, this] {
        x_ = x;
        y_ = y;
        Record("move " + Place(x, y));
    });
}

void RecordedSurface::HidePicture() {
    Apply([=, this] {
        pictureShown_ = false;
        Record("hide");
    });
}

void RecordedSurface::ShowBalloon(const stage::BalloonLayout& layout, const std::vector<std::string>& lines) {
    Apply([=, this] {
        balloon_ = layout;
        balloonLines_ = lines;
        std::string text;
        for (const std::string& line : lines) text += (text.empty() ? "" : "|") + line;
        Record("balloon " + text);
    });
}

void RecordedSurface::HideBalloon() {
    Apply([=, this] {
        balloon_.reset();
        balloonLines_.clear();
        Record("hide balloon");
    });
}

void RecordedSurface::PopUpMenu(const stage::MenuModel& menu, int x, int y) {
    Apply([=, this] {
        Menu open;
        open.x = x;
        open.y = y;
        const std::vector<stage::MenuEntry>& entries = menu.Entries();
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (!entries[i].visible) continue;
            open.names.push_back(entries[i].name);
            open.places.push_back(i);
        }
        menu_ = std::move(open);
        Record("menu " + Place(x, y));
    });
}

void RecordedSurface::RemoveMenu() {
    Apply([=, this] {
        menu_.reset();
        Record("remove menu");
    });
}

std::optional<std::size_t> RecordedSurface::PlaceOf(const std::string& name) const {
    if (!menu_) return std::nullopt;
    for (std::size_t i = 0; i < menu_->names.size(); ++i)
        if (menu_->names[i] == name) return menu_->places[i];
    return std::nullopt;
}

std::vector<std::string> RecordedSurface::Take() {
    std::vector<std::string> taken;
    taken.swap(calls_);
    return taken;
}

}  // namespace zinna::sim
