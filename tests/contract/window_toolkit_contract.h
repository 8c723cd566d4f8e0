// The contract of the window toolkit: what every implementation of WindowToolkit shares (the screen
// at every scale, Timer1, work posted by a handler, the message box, the program's end and an error
// that escapes every handler), written once as a table of cases (window_toolkit_contract.cpp) and
// run against each implementation from that same source.
//
// An implementation joins by one registration file of its own (see sim_toolkit_registration.cpp):
// a factory giving a fresh toolkit driven as its platform drives it, the screen as the toolkit
// reports it at a given DPI, and the cases where it differs on purpose, one line each.
#pragma once

#include "boundary/window_toolkit.h"
#include "contract/contract_runner.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zinna::contract {

// A toolkit under the contract, with what the cases need around it: its loop, its time, and a user
// who answers message boxes.
class ToolkitUnderContract {
public:
    virtual ~ToolkitUnderContract() = default;
    virtual WindowToolkit& Toolkit() = 0;
    // The toolkit's time in milliseconds (the clock its Timer1 runs on).
    virtual std::int64_t NowMs() = 0;
    // Runs the toolkit's loop until done() is true or timeoutMs of its time have passed; says
    // whether done() came. The loop's own end (the program ended) does not stop it early.
    virtual bool RunUntil(const std::function<bool()>& done, std::int64_t timeoutMs) = 0;
    // Work posted as the platform posts it: it runs on the loop after the caller has returned.
    virtual void Post(std::function<void()> work) = 0;
    // The user answers the next message box with OK after reading it for about readMs.
    virtual void AnswerNextMessageBox(std::int64_t readMs) = 0;
    // The end handler (the restore journal's ending), and the desktop's rescue after an escaped error.
    virtual void SetEndHandler(std::function<void(EndReason)> handler) = 0;
    virtual void SetDesktopRescue(std::function<void()> rescue) = 0;
    virtual std::optional<EndReason> EndedWith() = 0;
    // The platform's message loop, once the program has ended: it returns the process's exit code.
    virtual int RunMessageLoop() = 0;
};

// The screen as a toolkit reports it while the display has some DPI, and the display's real pixels.
struct ScreenReading {
    double twipsPerPixelX = 0, twipsPerPixelY = 0;
    double screenWidth = 0, screenHeight = 0;  // layout units
    int pixelsWide = 0, pixelsHigh = 0;        // the display's own figures
};

struct WindowToolkitRegistration {
    std::string implementation;
    std::function<std::unique_ptr<ToolkitUnderContract>()> makeFresh;
    // The screen of a fresh toolkit while the display has the given DPI.
    std::function<ScreenReading(int dpi)> screenAt;
    std::vector<KnownDifference> differences;
    // Cases this implementation fails today, each with the one line that says why; the main run
    // leaves them out, and RunWindowToolkitCase runs one where a test expects it to fail.
    std::vector<KnownDifference> expectedToFail = {};
};

void RunWindowToolkitContract(const WindowToolkitRegistration& registration);
// Runs one case alone (an expected failure, under doctest::should_fail).
void RunWindowToolkitCase(const WindowToolkitRegistration& registration, const std::string& caseId);

}  // namespace zinna::contract

#define ZINNA_WINDOW_TOOLKIT_CONTRACT(...) \
    TEST_CASE("window toolkit contract") { ::zinna::contract::RunWindowToolkitContract(__VA_ARGS__); }
