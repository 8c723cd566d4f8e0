// Start-up: the main window's initialise and load events, in their fixed order.
#include "lifecycle/program_constants.h"
#include "lifecycle/screen_metrics.h"
#include "lifecycle/zinna_form.h"

#include <vector>

namespace zinna {

using basic::False;
using basic::True;

ZinnaForm::ZinnaForm(WindowToolkit& toolkit, ZinnaModule& module)
    : toolkit_(toolkit), module_(module), dispatch_(*this) {}

void ZinnaForm::Form_Initialize() {
    toolkit_.Randomize();                                             // 1. the only seeding
    LocateStartBar();                                                 // 2
    SaveOldWallPaper();                                               // 3
    GetWindowsHome();                                                 // 4
    ChangeWallPaper(sWindowsDir + kWallpaperFile, kWallpaperDisplayType);  // 5
    Agent1 = toolkit_.CreateObject(kAgentProgId, dispatch_);          // 6
    Agent1->SetConnected(True);                                       // 7
    LoadAgent(kCharacterName);                                        // 8: ends the program on failure
    AddMenuCommands();                                                // 9
    lOldDesktopColor = static_cast<basic::Long>(module_.GetSysColor(COLOR_BACKGROUND));  // 10
    lScreenWidth = ScreenWidthPixels(toolkit_);                       // 11
    lScreenHeight = ScreenHeightPixels(toolkit_);                     // 12
    iEggCount = 0;                                                    // 13
    MinimizeAllOpenWindows();                                         // 14
    Character().SetIdleOn(False);                                     // 15
    SetTimer1Interval(kTimerIntervalMs);                              // 16: loads the window (Form_Load)
    iTickCount = 0;                                                   // 17
    bRandom = True;
    Character().SetSoundEffectsOn(True);                              // 18
}

void ZinnaForm::Form_Load() {
    const int elements[] = {COLOR_BACKGROUND};
    const std::uint32_t colors[] = {kDesktopColorBlack};
    desktopColorChanged_ = true;  // from here on the quit must put the user's colour back
    module_.SetSysColors(1, elements, colors);
    PlayOpening();
}

void ZinnaForm::GetWindowsHome() {
    // The path may be longer than the customary 255 characters: size the buffer from what the call
    // reports instead of cutting the path.
    std::vector<char> buffer(255, ' ');
    std::uint32_t needed = module_.GetWindowsDirectoryA(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    if (needed >= buffer.size()) {
        buffer.assign(needed + 1, ' ');
        module_.GetWindowsDirectoryA(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    }
    std::string text(buffer.begin(), buffer.end());
    sWindowsDir = text.substr(0, text.find('\0'));
}

void ZinnaForm::SetTimer1Interval(basic::Long intervalMs) {
    // The first use of the window's own timer loads the window, so the load event runs here.
    if (!formLoaded_) {
        formLoaded_ = true;
        Form_Load();
    }
    toolkit_.SetTimer1Interval(intervalMs, dispatch_);
}

AgentCharacter& ZinnaForm::Character() {
    if (oCharacter == nullptr) throw basic::BasicError(91, "Object variable or With block variable not set");
    return *oCharacter;
}

void ZinnaForm::End(EndReason reason) {
    ended_ = true;
    toolkit_.End(reason);
    throw ProgramEnded{reason};
}

}  // namespace zinna
