// The built-in host's windows on Windows: the character in a layered window of her own, her word
// balloon in another beside her, her right-click menu, and the mouse on her. The presenter decides
// what is drawn and when; this surface only draws, and reports the mouse's raw messages.
#pragma once

#include "platform/win32/windows_api.h"

#include "platform/win32/layered_window.h"
#include "platform/win32/win32_clock.h"
#include "stage/host/stage_presenter.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zinna::win32 {

class StageWindows final : private stage::StageSurface {
public:
    // ownerWindow (the program's hidden main window; may be null) owns her windows. Every message
    // is handled through guard, as the clock's callbacks are: an error never crosses Windows'
    // message dispatch (which would end the process with the desktop still dressed).
    StageWindows(HINSTANCE instance, stage::StageCharacter& character, HWND ownerWindow, Win32Clock::Guard guard);
    ~StageWindows() override;
    StageWindows(const StageWindows&) = delete;
    StageWindows& operator=(const StageWindows&) = delete;

    static constexpr const wchar_t* kCharacterClass = L"ZinnaCharacterWindow";
    static constexpr const wchar_t* kBalloonClass = L"ZinnaBalloonWindow";

    HWND CharacterWindow() const { return characterWindow_.Handle(); }
    HWND BalloonWindow() const { return balloonWindow_.Handle(); }
    // How often each window was drawn (benchmarks and tests: nothing is drawn without a change).
    int CharacterDrawings() const { return presenter_ ? presenter_->Drawings() : 0; }
    // How many of her pictures were made into bitmaps, and how many are kept now.
    int CharacterBitmapsMade() const { return bitmapsMade_; }
    std::size_t KeptPictures() const { return kept_.size(); }
    // The bitmap her window was last given (tests read what it shows), or null before any.
    const PremultipliedBitmap* ShownBitmap() const;

private:
    // stage::StageSurface
    void AddPicture(stage::PictureId id, const acs::RgbaImage& picture) override;
    void ForgetPicture(stage::PictureId id) override;
    void SetOutline(stage::PictureId id) override;
    void ShowPicture(stage::PictureId id, int x, int y) override;
    void MovePicture(int x, int y) override;
    // No HoldFor: a layered window cannot be told to change later, so she wakes for each frame.
    void HidePicture() override;
    void ShowBalloon(const stage::BalloonLayout& layout, const std::vector<std::string>& lines) override;
    void HideBalloon() override;
    void PopUpMenu(const stage::MenuModel& menu, int x, int y) override;
    void RemoveMenu() override {}  // the menu went when TrackPopupMenuEx returned

    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    POINT ScreenPoint(HWND window, LPARAM lParam) const;
    void Post(std::function<void()> work);
    void RunPosted();

    HINSTANCE instance_;
    stage::StageCharacter& character_;
    Win32Clock::Guard guard_;
    LayeredWindow characterWindow_;
    LayeredWindow balloonWindow_;
    std::deque<std::function<void()>> posted_;
    // Each kept picture: its bitmap, premultiplied once, and its region (three GDI objects: the
    // bitmap, its memory DC and the region).
    struct KeptPicture {
        std::unique_ptr<PremultipliedBitmap> bitmap;
        GdiRegion outline;
    };
    std::map<stage::PictureId, KeptPicture> kept_;
    int bitmapsMade_ = 0;
    std::optional<stage::PictureId> shownId_;
    std::unique_ptr<stage::StagePresenter> presenter_;  // last: it draws on the windows above
};

}  // namespace zinna::win32
