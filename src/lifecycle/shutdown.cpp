// The ways the program ends once start-up has changed the desktop: each one gives the user's
// desktop back first.
#include "lifecycle/program_constants.h"
#include "lifecycle/zinna_form.h"

#include <cstdio>
#include <optional>

namespace zinna {

void ZinnaForm::RestoreAndQuit() {
    // A hide the control refuses must not keep the user's colour and wallpaper from coming back;
    // its error is reported once the desktop is restored.
    std::optional<basic::BasicError> hideError;
    try {
        Character().Hide();
    } catch (const basic::BasicError& error) {
        hideError = error;
    }
    RestoreDesktop();
    if (hideError) throw *hideError;
    End(EndReason::Quit);
}

void ZinnaForm::EndSession() {
    RestoreDesktop();
    End(EndReason::SessionEnd);
}

void ZinnaForm::EndWithUnhandledError(const basic::BasicError& error) {
    RestoreDesktop();
    std::string number = std::to_string(error.Number());
    if (error.Number() < 0) {  // a control's HRESULT, shown as the runtime shows it
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08X", static_cast<std::uint32_t>(error.Number()));
        number += std::string(" (") + hex + ")";
    }
    toolkit_.MsgBox("Run-time error '" + number + "':\n\n" + error.Description());
    End(EndReason::Error);
}

void ZinnaForm::EndAfterEscapedError() {
    RestoreDesktop();
    End(EndReason::Error);
}

void ZinnaForm::RestoreDesktop() {
    // The colour before the wallpaper; each only if start-up changed it, and only once. A part
    // counts as done only when it returned: one that an error interrupted is tried again by the
    // next ending, and until then the desktop is not back.
    if (desktopColorChanged_) {
        const int elements[] = {COLOR_BACKGROUND};
        const std::uint32_t colors[] = {static_cast<std::uint32_t>(lOldDesktopColor)};
        module_.SetSysColors(1, elements, colors);
        desktopColorChanged_ = false;
    }
    if (wallpaperChanged_) {
        LoadOldWallPaper();
        wallpaperChanged_ = false;
    }
}

}  // namespace zinna
