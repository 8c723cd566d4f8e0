#include "platform/sim/text_timeline.h"

namespace zinna::sim {

void TextTimeline::Observe(const TraceEvent& event) {
    // Named before the story reads it: a completed request is forgotten.
    std::string line = Line(event);
    const bool opens = story_.OpensChapter(event);
    if (holding_ && (event.t != heldAtMs_ || event.ev == "end" || (opens && headingHeld_))) Release();
    story_.Observe(event);
    summary_.Observe(event);
    // A menu command may begin a chapter at the same moment: its line goes under that heading.
    const bool command = event.ev == "event" && event.Text("name") == "Command";
    if ((opens || command) && !holding_) {
        holding_ = true;
        heldAtMs_ = event.t;
    }
    if (opens) headingHeld_ = true;
    if (holding_)
        held_.push_back(std::move(line));
    else
        out_ << line << '\n';
}

void TextTimeline::Finish() {
    Release();
    summary_.Write(out_, story_);
    out_.flush();
}

std::string TextTimeline::Line(const TraceEvent& event) const {
    std::string line = ToTextLine(event);
    if (event.ev == "start" || event.ev == "complete") {
        std::string what = story_.Describe(event.Number("req").value_or(0));
        if (!what.empty()) line += " " + what;
    }
    return line;
}

void TextTimeline::Release() {
    if (!holding_) return;
    holding_ = false;
    const Chapter* chapter = headingHeld_ ? story_.Current() : nullptr;
    headingHeld_ = false;
    if (chapter) {
        out_ << "\n== " << chapter->Heading();
        if (chapter->firstReq != 0) {
            out_ << "  (request" << (chapter->firstReq == chapter->lastReq ? " " : "s ") << chapter->firstReq;
            if (chapter->lastReq != chapter->firstReq) out_ << " to " << chapter->lastReq;
            out_ << ")";
        }
        out_ << '\n';
    }
    for (const std::string& line : held_) out_ << line << '\n';
    held_.clear();
}

}  // namespace zinna::sim
