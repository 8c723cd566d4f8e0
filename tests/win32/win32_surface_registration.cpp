// Her layered window in a Windows process under the stage surface's contract: the presenter's
// pictures made into bitmaps, read back from the bitmap her window was given and from its region.
#include "platform/win32/windows_api.h"

#include "contract/stage_surface_contract.h"

#include "platform/win32/stage_windows.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_handle.h"
#include "stage/host/stage_control.h"

#include <doctest/doctest.h>

#include <functional>

namespace {

using namespace zinna;

class StageOnWindows final : public contract::SurfaceUnderContract {
public:
    StageOnWindows()
        : control_(
              clock_, events_, silence_, [](const std::string&) { return contract::StageSurfaceCharacterFile(); },
              stage::StageSettings{}) {
        control_.CharactersLoad("tester", "C:\\tester.acs");
        her_ = control_.Loaded();
        REQUIRE(her_ != nullptr);
        // No guard of the program's here: an error fails the case.
        windows_ = std::make_unique<win32::StageWindows>(GetModuleHandleW(nullptr), *her_, nullptr,
                                                         [](const std::function<void()>& work) { work(); });
        contract::StartHer(*her_);
        REQUIRE(RunUntil([this] { return contract::HerStartDone(*her_); }, 5000));
    }
    ~StageOnWindows() override { windows_.reset(); }

    stage::StageCharacter& Her() override { return *her_; }
    bool RunUntil(const std::function<bool()>& done, std::int64_t timeoutMs) override {
        const DWORD start = GetTickCount();
        while (!done()) {
            const DWORD waited = GetTickCount() - start;
            if (waited >= static_cast<DWORD>(timeoutMs)) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(timeoutMs) - waited, QS_ALLINPUT);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        }
        return true;
    }
    int PicturesMade() override { return windows_->CharacterBitmapsMade(); }
    std::optional<std::uint32_t> ColourAt(int px, int py) override {
        if (!WindowPlace()) return std::nullopt;
        win32::GdiRegion region(CreateRectRgn(0, 0, 0, 0));
        if (GetWindowRgn(windows_->CharacterWindow(), region.Get()) == ERROR || !PtInRegion(region.Get(), px, py))
            return std::nullopt;
        const win32::PremultipliedBitmap* bitmap = windows_->ShownBitmap();
        REQUIRE(bitmap != nullptr);
        REQUIRE(px < bitmap->Width());
        REQUIRE(py < bitmap->Height());
        const std::uint32_t pixel = bitmap->Pixels()[static_cast<std::size_t>(py) * bitmap->Width() + px];
        return pixel & 0xFFFFFF;  // her opaque pixels are whole: premultiplied by 255, as they are
    }
    std::optional<std::pair<int, int>> WindowPlace() override {
        if (!IsWindowVisible(windows_->CharacterWindow())) return std::nullopt;
        RECT r{};
        GetWindowRect(windows_->CharacterWindow(), &r);
        return std::pair{static_cast<int>(r.left), static_cast<int>(r.top)};
    }

private:
    win32::Win32Clock clock_{GetModuleHandleW(nullptr), [](const std::function<void()>& work) { work(); }};
    contract::UnheardEvents events_;
    contract::Silence silence_;
    stage::StageControl control_;
    stage::StageCharacter* her_ = nullptr;
    std::unique_ptr<win32::StageWindows> windows_;
};

}  // namespace

ZINNA_STAGE_SURFACE_CONTRACT(contract::StageSurfaceRegistration{
    "Windows layered windows",
    [] { return std::make_unique<StageOnWindows>(); },
    {{"frame-handed-ahead", "a layered window cannot be told to change later: she wakes for each frame"}}})
