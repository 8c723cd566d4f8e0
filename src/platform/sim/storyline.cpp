#include "platform/sim/storyline.h"

#include <algorithm>

namespace zinna::sim {

namespace {

// Chapters listed one by one; later ones are only counted (a day-long run has hundreds).
constexpr std::size_t kListedChapters = 12;
// Requests the control never completes (it was stopped or the run ended) are forgotten past this.
constexpr std::size_t kPendingLimit = 4096;

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// One part of a chapter, from the animations queued after a Hide.
std::string DescribeSegment(const std::vector<std::string>& plays, bool speaks) {
    if (speaks) return "the credits";
    auto count = [&](const char* name) { return std::count(plays.begin(), plays.end(), name); };
    if (std::any_of(plays.begin(), plays.end(), [](const std::string& p) { return StartsWith(p, "FlyRight"); }))
        return "a flight to the right";
    if (std::any_of(plays.begin(), plays.end(), [](const std::string& p) { return StartsWith(p, "FlyLeft"); }))
        return "a flight to the left";
    if (count("Dance") > 2) return "a long dance";
    if (count("Dance") > 0) return "a dance";
    if (count("Kiss") > 0) return "a kiss";
    if (plays.empty()) return "";
    return "\"" + plays.front() + "\"";
}

std::string Join(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) {
        if (part.empty()) continue;
        if (!text.empty()) text += ", ";
        text += part;
    }
    return text;
}

}  // namespace

std::optional<std::int64_t> Chapter::PlayedMs() const {
    if (!firstStartMs || !lastCompleteMs) return std::nullopt;
    return *lastCompleteMs - *firstStartMs;
}

std::string DescribeCall(const TraceEvent& call) {
    const std::string op = call.Text("op");
    if (op == "MoveTo") {
        std::string text = "MoveTo " + std::to_string(call.Number("x").value_or(0)) + "," +
                           std::to_string(call.Number("y").value_or(0));
        if (auto speed = call.Number("speed")) text += " speed=" + std::to_string(*speed);
        return text;
    }
    if (op == "Play") return "Play \"" + call.Text("anim") + "\"";
    if (op == "Speak") return "Speak \"" + call.Text("text") + "\"";
    if (op == "Load") return "Load \"" + call.Text("path") + "\"";
    return op;
}

std::string Storyline::Describe(std::int64_t req) const {
    auto found = pending_.find(req);
    return found == pending_.end() ? std::string() : found->second;
}

bool Storyline::OpensChapter(const TraceEvent& event) const {
    if (chapters_.empty()) return true;
    if (event.ev != "call" || event.Text("op") != "Hide" || !event.Number("req")) return false;
    const Chapter& current = chapters_.back();
    return current.beganMs != event.t || current.title == "start-up";
}

void Storyline::Observe(const TraceEvent& event) {
    if (chapters_.empty()) {
        // Everything before her first performance: reading the desktop, dressing it, loading her.
        chapters_.push_back(Chapter{"start-up", "the desktop dressed, her character loaded", event.t, {}, {}, 0, 0});
    }
    if (event.ev == "event" && event.Text("name") == "Command") {
        lastCommand_ = event.Text("command");
        lastCommandMs_ = event.t;
    } else if (event.ev == "call") {
        auto req = event.Number("req");
        if (!req) return;
        if (pending_.size() >= kPendingLimit) pending_.erase(pending_.begin());
        pending_[*req] = DescribeCall(event);
        if (OpensChapter(event)) {
            OpenChapter(event);
        } else {
            Chapter& current = chapters_.back();
            if (current.firstReq == 0) current.firstReq = *req;
            current.lastReq = *req;
            if (current.title != "start-up") AddToContent(event);
        }
    } else if (event.ev == "start") {
        auto req = event.Number("req");
        if (Chapter* chapter = req ? ChapterOf(*req) : nullptr)
            if (!chapter->firstStartMs) chapter->firstStartMs = event.t;
    } else if (event.ev == "complete") {
        auto req = event.Number("req");
        if (!req) return;
        if (Chapter* chapter = ChapterOf(*req)) chapter->lastCompleteMs = event.t;
        pending_.erase(*req);
    }
}

void Storyline::OpenChapter(const TraceEvent& hide) {
    std::string title;
    if (lastCommandMs_ == hide.t)
        title = lastCommand_ == "Quit" ? "the quit" : "\"" + lastCommand_ + "\" chosen from her menu";
    else if (chapters_.size() == 1)
        title = "the opening";
    else
        title = "a random performance";
    if (chapters_.size() >= kListedChapters) {
        ++others_[chapters_.back().Heading()];
        chapters_.pop_back();
    }
    const std::int64_t req = hide.Number("req").value_or(0);
    chapters_.push_back(Chapter{title, "", hide.t, std::nullopt, std::nullopt, req, req});
    segments_.clear();
    segmentPlays_.clear();
    segmentSpeaks_ = false;
    AddToContent(hide);
}

void Storyline::AddToContent(const TraceEvent& call) {
    const std::string op = call.Text("op");
    if (op == "Hide" && (!segmentPlays_.empty() || segmentSpeaks_)) {
        segments_.push_back(DescribeSegment(segmentPlays_, segmentSpeaks_));
        segmentPlays_.clear();
        segmentSpeaks_ = false;
    }
    if (op == "Play") segmentPlays_.push_back(call.Text("anim"));
    if (op == "Speak") segmentSpeaks_ = true;
    std::vector<std::string> parts = segments_;
    parts.push_back(DescribeSegment(segmentPlays_, segmentSpeaks_));
    std::string content = Join(parts);
    chapters_.back().content = content.empty() ? "she hides" : content;
}

Chapter* Storyline::ChapterOf(std::int64_t req) {
    // Requests belong to one of the last few chapters; older ones have finished long ago.
    for (auto it = chapters_.rbegin(); it != chapters_.rend(); ++it)
        if (it->firstReq != 0 && it->firstReq <= req && req <= it->lastReq) return &*it;
    return nullptr;
}

}  // namespace zinna::sim
