// The simulated desktop's recorded surface under the stage surface's contract, with the presenter
// on a virtual clock; what it shows is what the recorded surface keeps.
#include "contract/stage_surface_contract.h"

#include "platform/sim/recorded_surface.h"
#include "platform/sim/virtual_clock.h"
#include "stage/host/stage_control.h"
#include "stage/host/stage_presenter.h"

#include <doctest/doctest.h>

#include <deque>

namespace {

using namespace zinna;

class RecordedStage final : public contract::SurfaceUnderContract {
public:
    RecordedStage()
        : control_(
              clock_, events_, silence_, [](const std::string&) { return contract::StageSurfaceCharacterFile(); },
              stage::StageSettings{}) {
        control_.CharactersLoad("tester", "C:\\tester.acs");
        her_ = control_.Loaded();
        REQUIRE(her_ != nullptr);
        presenter_ = std::make_unique<stage::StagePresenter>(
            *her_, surface_, [this](std::function<void()> work) { posted_.push_back(std::move(work)); });
        contract::StartHer(*her_);
        REQUIRE(RunUntil([this] { return contract::HerStartDone(*her_); }, 5000));
    }

    stage::StageCharacter& Her() override { return *her_; }
    bool RunUntil(const std::function<bool()>& done, std::int64_t timeoutMs) override {
        const std::int64_t until = clock_.NowMs() + timeoutMs;
        // A millisecond at a time, as a platform's loop runs between its wake-ups.
        while (!done() && clock_.NowMs() < until) {
            clock_.RunUntil(clock_.NowMs() + 1, {});
            while (!posted_.empty()) {
                std::function<void()> work = std::move(posted_.front());
                posted_.pop_front();
                work();
            }
        }
        return done();
    }
    int PicturesMade() override { return surface_.PicturesAdded(); }
    std::optional<std::uint32_t> ColourAt(int px, int py) override {
        Settle();
        if (!surface_.PictureShown()) return std::nullopt;
        bool inside = false;
        for (const stage::PixelRun& run : surface_.Outline())
            inside = inside || (run.y == py && px >= run.x && px < run.x + run.width);
        if (!inside) return std::nullopt;
        const acs::RgbaImage& picture = surface_.Picture();
        const std::uint8_t* p = &picture.rgba[(static_cast<std::size_t>(py) * picture.width + px) * 4];
        return static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
    }
    std::optional<std::pair<int, int>> WindowPlace() override {
        Settle();
        if (!surface_.PictureShown()) return std::nullopt;
        return std::pair{surface_.X(), surface_.Y()};
    }

private:
    // As the X server answers a read: once the surface holds nothing back (her own timers due by then
    // run too, on the one virtual clock).
    void Settle() {
        while (surface_.Holding()) clock_.RunUntil(clock_.NowMs() + 1, {});
    }

    sim::VirtualClock clock_;
    contract::UnheardEvents events_;
    contract::Silence silence_;
    stage::StageControl control_;
    stage::StageCharacter* her_ = nullptr;
    sim::RecordedSurface surface_{true, &clock_};  // holds as an X server does
    std::deque<std::function<void()>> posted_;
    std::unique_ptr<stage::StagePresenter> presenter_;
};

}  // namespace

ZINNA_STAGE_SURFACE_CONTRACT(contract::StageSurfaceRegistration{"recorded surface (zinna-sim)",
                                                                [] { return std::make_unique<RecordedStage>(); }})
