// Her windows on an X screen under the stage surface's contract: the presenter's pictures uploaded
// to the server, and read back from the screen's own pixels and her window's input shape.
#include <doctest/doctest.h>  // before Xlib, whose macros would rename some of its names

#include "contract/stage_surface_contract.h"

#include "platform/linux/x11/stage_windows.h"
#include "x11_test_support.h"

#include <X11/extensions/shape.h>

namespace {

using namespace zinna;

class StageOnX final : public contract::SurfaceUnderContract {
public:
    StageOnX()
        : control_(
              loop_.Clock(), events_, silence_,
              [](const std::string&) { return contract::StageSurfaceCharacterFile(); }, stage::StageSettings{}) {
        control_.CharactersLoad("tester", "/tester.acs");
        her_ = control_.Loaded();
        REQUIRE(her_ != nullptr);
        windows_ = std::make_unique<x11::StageWindows>(loop_, *her_);
        contract::StartHer(*her_);
        REQUIRE(RunUntil([this] { return contract::HerStartDone(*her_); }, testing::kWaitMs));
    }
    ~StageOnX() override { windows_.reset(); }

    stage::StageCharacter& Her() override { return *her_; }
    bool RunUntil(const std::function<bool()>& done, std::int64_t timeoutMs) override {
        return loop_.RunUntil(done, static_cast<int>(timeoutMs));
    }
    int PicturesMade() override { return windows_->CharacterUploads(); }
    std::optional<std::uint32_t> ColourAt(int px, int py) override {
        const std::optional<std::pair<int, int>> place = WindowPlace();
        if (!place) return std::nullopt;
        int count = 0, ordering = 0;
        XRectangle* rectangles =
            XShapeGetRectangles(x_.Get(), windows_->CharacterHandle(), ShapeInput, &count, &ordering);
        bool inside = false;
        for (int i = 0; i < count; ++i) {
            const XRectangle& r = rectangles[i];
            inside = inside || (px >= r.x && px < r.x + r.width && py >= r.y && py < r.y + r.height);
        }
        if (rectangles != nullptr) XFree(rectangles);
        if (!inside) return std::nullopt;
        return testing::ScreenPixel(x_, place->first + px, place->second + py);
    }
    std::optional<std::pair<int, int>> WindowPlace() override {
        XSync(x_.Get(), False);
        const testing::Placement placement = testing::PlacementOf(x_, windows_->CharacterHandle());
        if (!placement.viewable) return std::nullopt;
        return std::pair{placement.x, placement.y};
    }

private:
    x11::XConnection& x_ = testing::TestConnection();
    x11::EventLoop loop_{x_};
    contract::UnheardEvents events_;
    contract::Silence silence_;
    stage::StageControl control_;
    stage::StageCharacter* her_ = nullptr;
    std::unique_ptr<x11::StageWindows> windows_;
};

}  // namespace

ZINNA_STAGE_SURFACE_CONTRACT(contract::StageSurfaceRegistration{"X11 windows",
                                                                [] { return std::make_unique<StageOnX>(); }})
