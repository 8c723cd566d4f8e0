#include "lifecycle/event_dispatch.h"

#include "lifecycle/zinna_form.h"

namespace zinna {

const char* EndReasonName(EndReason reason) {
    switch (reason) {
        case EndReason::Quit:
            return "quit";
        case EndReason::LoadFailure:
            return "load-failure";
        case EndReason::Error:
            return "error";
        case EndReason::SessionEnd:
            return "session-end";
    }
    return "unknown";
}

void EventDispatch::Run(const std::function<void()>& handler) {
    if (form_.HasEnded() || inErrorReport_) return;
    // Only around the outermost handler: a tick never runs inside another handler.
    const bool outermost = handlersRunning_ == 0;
    if (outermost) toolkit_.CatchUpTimer1();
    RunHandler(handler);
    if (outermost && !form_.HasEnded()) toolkit_.CatchUpTimer1();
}

void EventDispatch::RunHandler(const std::function<void()>& handler) {
    // Nothing reaches the form once it has ended, nor while it reports an error (a modal message box
    // may go on delivering timer ticks and control events).
    if (form_.HasEnded() || inErrorReport_) return;
    struct Running {
        int& count;
        explicit Running(int& c) : count(c) { ++count; }
        ~Running() { --count; }
    } running(handlersRunning_);
    try {
        handler();
    } catch (const ProgramEnded&) {
    } catch (const basic::BasicError& error) {
        ReportUnhandled(error);
    } catch (const std::exception& error) {
        ReportUnhandled(basic::BasicError(basic::kErrInternal, std::string("Internal error: ") + error.what()));
    }
}

void EventDispatch::ReportUnhandled(const basic::BasicError& error) {
    inErrorReport_ = true;
    try {
        form_.EndWithUnhandledError(error);
    } catch (const ProgramEnded&) {}
}

void EventDispatch::Start() {
    Run([&] { form_.Form_Initialize(); });
}
void EventDispatch::SessionEnding() {
    Run([&] { form_.EndSession(); });
}
void EventDispatch::EndAfterEscapedError() {
    // Not through Run: whatever the form's state, the desktop must come back or the caller hear why.
    if (form_.HasEnded()) return;
    try {
        form_.EndAfterEscapedError();
    } catch (const ProgramEnded&) {}
}

void EventDispatch::Timer1_Timer() {
    RunHandler([&] { form_.Timer1_Timer(); });
}
std::int64_t EventDispatch::TicksThatOnlyCount() {
    if (form_.HasEnded() || inErrorReport_) return kEveryTickOnlyCounts;
    return form_.TicksThatOnlyCount();
}
void EventDispatch::Command(const std::string& name) {
    Run([&] { form_.Agent1_Command(name); });
}

void EventDispatch::DblClick(const std::string& characterId, basic::Integer button, basic::Integer shift,
                             basic::Integer x, basic::Integer y) {
    Run([&] { form_.Agent1_DblClick(characterId, button, shift, x, y); });
}

void EventDispatch::DragStart(const std::string& characterId, basic::Integer button, basic::Integer shift,
                              basic::Integer x, basic::Integer y) {
    Run([&] { form_.Agent1_DragStart(characterId, button, shift, x, y); });
}

void EventDispatch::DragComplete(const std::string& characterId, basic::Integer button, basic::Integer shift,
                                 basic::Integer x, basic::Integer y) {
    Run([&] { form_.Agent1_DragComplete(characterId, button, shift, x, y); });
}

void EventDispatch::RequestStart(RequestId request) {
    Run([&] { form_.Agent1_RequestStart(request); });
}
void EventDispatch::RequestComplete(RequestId request) {
    Run([&] { form_.Agent1_RequestComplete(request); });
}
void EventDispatch::IdleStart(const std::string& characterId) {
    Run([&] { form_.Agent1_IdleStart(characterId); });
}

}  // namespace zinna
