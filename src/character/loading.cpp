// Loading the character from its data file, centring it on the screen and showing it.
#include "lifecycle/zinna_form.h"

#include <optional>

namespace zinna {

using basic::IntDiv;

void ZinnaForm::LoadAgent(const std::string& sAgentName) {
    // Only the outcome of the load is examined; errors after a successful load are passed over.
    std::optional<basic::BasicError> loadError;
    try {
        Agent1->CharactersLoad(sAgentName, sWindowsDir + "\\" + sAgentName + ".acs");
    } catch (const basic::BasicError& error) {
        loadError = error;
    }

    if (!loadError) {
        try {
            oCharacter = &Agent1->Characters(sAgentName);
        } catch (const basic::BasicError&) {}
        try {
            CenterAgent(sAgentName);
        } catch (const basic::BasicError&) {}
        try {
            Character().Show();
        } catch (const basic::BasicError&) {}
        return;
    }

    // The wallpaper is already changed at this point: give it back before the program ends.
    RestoreDesktop();
    toolkit_.MsgBox("Error: Cannot load " + sAgentName + " graphic file");
    End(EndReason::LoadFailure);
}

void ZinnaForm::CenterAgent(const std::string& sAgentName) {
    oCharacter = &Agent1->Characters(sAgentName);
    basic::Long wu = basic::CLng(toolkit_.ScreenWidth());
    basic::Long hu = basic::CLng(toolkit_.ScreenHeight());
    basic::Long px = basic::CLng(toolkit_.TwipsPerPixelX());
    basic::Long py = basic::CLng(toolkit_.TwipsPerPixelY());
    basic::Integer w = Character().Width();
    basic::Integer h = Character().Height();
    basic::Long x = basic::ToLong(std::int64_t{IntDiv(IntDiv(wu, 2), px)} - IntDiv(w, 2));
    basic::Long y = basic::ToLong(std::int64_t{IntDiv(IntDiv(hu, 2), py)} - IntDiv(h, 2));
    Character().MoveTo(basic::ToInteger(x), basic::ToInteger(y), std::nullopt);
}

}  // namespace zinna
