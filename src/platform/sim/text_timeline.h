// The timeline for people: one line an event, the requests named when they start and complete
// (`start    req=306 Play "Dance"`), a heading over start-up, the opening and every performance, and
// a summary at the end. It writes as the run goes and keeps only what the story needs.
#pragma once

#include "platform/sim/run_summary.h"
#include "platform/sim/storyline.h"
#include "platform/sim/trace.h"

#include <ostream>
#include <string>
#include <vector>

namespace zinna::sim {

class TextTimeline {
public:
    TextTimeline(std::ostream& out, DesktopLook before) : out_(out), summary_(std::move(before)) {}

    void Observe(const TraceEvent& event);
    // Writes what is still held back, then the summary.
    void Finish();

private:
    std::string Line(const TraceEvent& event) const;
    void Release();

    std::ostream& out_;
    Storyline story_;
    RunSummary summary_;
    // A chapter's heading names everything queued at its first moment, so the lines of that moment
    // wait until the clock moves on.
    bool holding_ = false;
    bool headingHeld_ = false;  // the held lines begin a chapter
    std::int64_t heldAtMs_ = 0;
    std::vector<std::string> held_;
};

}  // namespace zinna::sim
