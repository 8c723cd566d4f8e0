// Start-up: the main window's initialise and load events, in their fixed order.
#include "lifecycle/program_constants.h"
#include "lifecycle/screen_metrics.h"
#include "lifecycle/zinna_form.h"

#include <vector>

namespace zinna {

using basic::False;
using basic::True;

ZinnaForm::ZinnaForm(WindowToolkit& toolkit, ZinnaModule& module)
    : toolkit_(toolkit), module_(module), dispatch_(*this, toolkit) {}

void ZinnaForm::Form_Initialize() {
    // Seeded here and nowhere else: every draw of the run (flights, performances, the timer's
    // choice) comes from this one generator, so a run is repeatable from its seed.
    toolkit_.Randomize();

    // The taskbar's rectangle is where the opening dance lands; it must be known before the opening.
    LocateStartBar();
    // The user's wallpaper values are saved before anything overwrites them: the quit puts them back.
    SaveOldWallPaper();
    // The title's wallpaper and the character file both live in the Windows directory.
    GetWindowsHome();
    ChangeWallPaper(sWindowsDir + kWallpaperFile, kWallpaperDisplayType);

    // From here on the control's events reach the program's handlers.
    Agent1 = toolkit_.CreateObject(kAgentProgId, dispatch_);
    Agent1->SetConnected(True);
    // Loads, centres and shows her; a character that cannot be loaded ends the program right here,
    // so nothing below runs without a character.
    LoadAgent(kCharacterName);
    AddMenuCommands();

    // Read before the load event paints the desktop black, so that this is the user's own colour.
    lOldDesktopColor = static_cast<basic::Long>(module_.GetSysColor(COLOR_BACKGROUND));
    // The opening's flight plan is built from the screen size, so both are set before the load event.
    lScreenWidth = ScreenWidthPixels(toolkit_);
    lScreenHeight = ScreenHeightPixels(toolkit_);
    iEggCount = 0;
    // Windows+M clears the desktop for her performance on the title's wallpaper.
    MinimizeAllOpenWindows();
    // The control's own idle animations would break into the program's choreography.
    Character().SetIdleOn(False);

    // The first use of the window's own timer loads the window: the load event (black desktop, the
    // opening queued) runs inside this call, before the lines below. The first tick comes 1000 ms
    // later at the earliest, so the tick count and random mode set below are in place for it.
    SetTimer1Interval(kTimerIntervalMs);
    iTickCount = 0;
    bRandom = True;
    Character().SetSoundEffectsOn(True);
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
    if (oCharacter == nullptr)
        throw basic::BasicError(basic::kErrObjectNotSet, "Object variable or With block variable not set");
    return *oCharacter;
}

void ZinnaForm::End(EndReason reason) {
    ended_ = true;
    toolkit_.End(reason);
    throw ProgramEnded{reason};
}

}  // namespace zinna
