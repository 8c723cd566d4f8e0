// The built-in host's windows on Windows: the character in a layered window of her own, her word
// balloon in another beside her, her right-click menu, and the mouse on her. What they show comes
// from the host's character; they are drawn again only when it reports a change.
#pragma once

#include "platform/win32/windows_api.h"

#include "platform/win32/layered_window.h"
#include "stage/host/stage_character.h"

#include <optional>
#include <string>
#include <vector>

namespace zinna::win32 {

class StageWindows {
public:
    // ownerWindow (the program's hidden main window; may be null) owns her windows.
    StageWindows(HINSTANCE instance, stage::StageCharacter& character, HWND ownerWindow);
    ~StageWindows();
    StageWindows(const StageWindows&) = delete;
    StageWindows& operator=(const StageWindows&) = delete;

    static constexpr const wchar_t* kCharacterClass = L"ZinnaCharacterWindow";
    static constexpr const wchar_t* kBalloonClass = L"ZinnaBalloonWindow";

    HWND CharacterWindow() const { return characterWindow_.Handle(); }
    HWND BalloonWindow() const { return balloonWindow_.Handle(); }
    // How often each window was drawn (benchmarks and tests: nothing is drawn without a change).
    int CharacterDrawings() const { return characterDrawings_; }

private:
    struct ShownCharacter {
        bool visible = false;
        int x = 0, y = 0;
        acs::RgbaImage picture;
    };
    struct ShownBalloon {
        stage::BalloonLayout layout;
        std::vector<std::string> lines;
        bool operator==(const ShownBalloon& other) const;
    };

    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void ShowChanges();
    void ShowCharacter();
    void ShowBalloon();
    void OpenMenu(int x, int y);
    POINT ScreenPoint(HWND window, LPARAM lParam) const;

    HINSTANCE instance_;
    stage::StageCharacter& character_;
    LayeredWindow characterWindow_;
    LayeredWindow balloonWindow_;
    std::optional<ShownCharacter> shownCharacter_;
    std::optional<ShownBalloon> shownBalloon_;
    bool leftHeld_ = false;
    POINT lastPointer_{};
    bool menuOpen_ = false;
    int characterDrawings_ = 0;
};

}  // namespace zinna::win32
