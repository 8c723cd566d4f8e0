#include "stage/host/speech.h"

#include <algorithm>
#include <iterator>
#include <sstream>
#include <utility>

namespace zinna::stage {

namespace {

// Mouth shapes cycled while words appear: open wide, medium, narrow, closed between.
constexpr int kMouthCycle[] = {2, 5, 1, 6, 3, 0};
constexpr int kMouthClosed = 0;

}  // namespace

void Speech::Start(const std::string& text, BalloonLayout balloon, std::int64_t startMs) {
    End();
    balloon_ = std::move(balloon);
    mouth_ = kMouthCycle[0];
    std::istringstream words(text);
    for (std::string word; words >> word;) words_.push_back(word);
    shown_ = words_.empty() ? 0 : 1;
    nextWordMs_ = startMs + kSpeechWordMs;
    endMs_ = words_.size() <= 1 ? startMs + kSpeechHoldMs : 0;
    nextMouthMs_ = startMs + kMouthChangeMs;
}

void Speech::Update(std::int64_t now) {
    while (shown_ < words_.size() && now >= nextWordMs_) {
        ++shown_;
        if (shown_ == words_.size()) endMs_ = nextWordMs_ + kSpeechHoldMs;
        nextWordMs_ += kSpeechWordMs;
    }
    const bool talking = shown_ < words_.size();
    if (!talking) {
        mouth_ = kMouthClosed;
    } else if (now >= nextMouthMs_) {
        mouthStep_ = (mouthStep_ + 1) % static_cast<int>(std::size(kMouthCycle));
        nextMouthMs_ = now + kMouthChangeMs;
        mouth_ = kMouthCycle[mouthStep_];
    }
}

std::optional<std::int64_t> Speech::NextChangeMs() const {
    if (shown_ < words_.size()) return std::min(nextWordMs_, nextMouthMs_);
    if (endMs_ > 0) return endMs_;
    return std::nullopt;
}

std::vector<std::string> Speech::LinesShown() const {
    if (!balloon_) return {};
    // The lines hold the words in order; show as many of them as have appeared.
    std::size_t remaining = shown_;
    std::vector<std::string> lines;
    for (const std::string& line : balloon_->lines) {
        if (remaining == 0) break;
        std::istringstream words(line);
        std::string shownLine;
        for (std::string word; remaining > 0 && words >> word; --remaining)
            shownLine += (shownLine.empty() ? "" : " ") + word;
        lines.push_back(shownLine);
    }
    return lines;
}

}  // namespace zinna::stage
