// The character control's events other than Command.
#include "lifecycle/zinna_form.h"

namespace zinna {

void ZinnaForm::Agent1_DblClick(const std::string&, basic::Integer, basic::Integer, basic::Integer, basic::Integer) {
    LaunchBrowser2();
}

void ZinnaForm::Agent1_DragStart(const std::string&, basic::Integer, basic::Integer, basic::Integer, basic::Integer) {}

void ZinnaForm::Agent1_DragComplete(const std::string&, basic::Integer, basic::Integer, basic::Integer,
                                    basic::Integer) {
    // The drop breaks off whatever the character was doing; it ends its turn where it was dropped.
    Character().Stop();
    Character().Play("DanceFadeOut");
}

void ZinnaForm::Agent1_RequestStart(RequestId) {}

// Nothing is ever recorded as a quit request, so a completed request never ends the program.
void ZinnaForm::Agent1_RequestComplete(RequestId) {}

void ZinnaForm::Agent1_IdleStart(const std::string&) {}

}  // namespace zinna
