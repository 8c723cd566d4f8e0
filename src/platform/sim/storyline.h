// Reads a run's trace as it happens and tells its story: what each request is, and the chapters
// the requests form (start-up, the opening, each performance, the quit) with how long each took.
// It keeps only what the story needs, never the trace: a day-long run uses the same memory.
#pragma once

#include "platform/sim/trace.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zinna::sim {

struct Chapter {
    std::string title;    // "start-up", "the opening", "a random performance", "Dance chosen from her menu", "the quit"
    std::string content;  // what she does in it: "a flight to the right, a dance, a kiss"
    std::int64_t beganMs = 0;                  // when its first request was queued
    std::optional<std::int64_t> firstStartMs;  // when the control began playing it
    std::optional<std::int64_t> lastCompleteMs;
    std::int64_t firstReq = 0, lastReq = 0;  // its requests; none when firstReq is 0

    std::string Heading() const { return content.empty() ? title : title + ": " + content; }
    // How long the control played it, when it played at all.
    std::optional<std::int64_t> PlayedMs() const;
};

class Storyline {
public:
    // Reads the next event. A Hide queued by the program begins a chapter: every performance, the
    // opening's flight and the quit start by hiding her; the calls queued with it at the same moment
    // belong to the same chapter.
    void Observe(const TraceEvent& event);

    // Whether the event, read next, begins a chapter.
    bool OpensChapter(const TraceEvent& event) const;
    const Chapter* Current() const { return chapters_.empty() ? nullptr : &chapters_.back(); }
    // Every chapter so far, in order (the earliest ones only, once there are many: see Others).
    const std::deque<Chapter>& Chapters() const { return chapters_; }
    // Chapters no longer listed one by one, counted by heading.
    const std::map<std::string, int>& Others() const { return others_; }
    // What request `req` is, as "Play \"Dance\"" or "MoveTo 448,320"; empty when unknown.
    std::string Describe(std::int64_t req) const;

private:
    void OpenChapter(const TraceEvent& call);
    void AddToContent(const TraceEvent& call);
    Chapter* ChapterOf(std::int64_t req);

    std::deque<Chapter> chapters_;
    std::map<std::string, int> others_;
    std::map<std::int64_t, std::string> pending_;  // requests queued and not completed, by id
    std::string lastCommand_;                      // the last menu command and when it arrived
    std::int64_t lastCommandMs_ = -1;
    // The part of the current chapter being read: the animations queued since its last Hide.
    std::vector<std::string> segmentPlays_;
    bool segmentSpeaks_ = false;
    std::vector<std::string> segments_;
};

// A request call as people read it: `Play "Dance"`, `MoveTo 448,320`, `Show`.
std::string DescribeCall(const TraceEvent& call);

}  // namespace zinna::sim
