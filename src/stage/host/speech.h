// Words spoken in a balloon: they appear one by one at a readable pace, the mouth moves while they
// appear, and the whole text stays a while after the last word.
#pragma once

#include "stage/host/balloon_layout.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zinna::stage {

inline constexpr std::int64_t kSpeechWordMs = 300;   // words appear at a readable pace
inline constexpr std::int64_t kSpeechHoldMs = 1500;  // the whole text stays this long
inline constexpr std::int64_t kMouthChangeMs = 120;  // the mouth moves while words appear
inline constexpr int kDefaultBalloonFontSize = 10;

class Speech {
public:
    // Starts at startMs with the first word shown, in a balloon laid out for the whole text.
    void Start(const std::string& text, BalloonLayout balloon, std::int64_t startMs);
    // The speech ends (done or stopped): the balloon goes.
    void End() { *this = Speech(); }
    bool Active() const { return balloon_.has_value(); }

    // Shows the words, and the mouth, that are due by now.
    void Update(std::int64_t now);
    bool DoneAt(std::int64_t now) const { return endMs_ > 0 && now >= endMs_; }
    // When the words or the mouth change next, or the speech ends; nullopt when nothing is due.
    std::optional<std::int64_t> NextChangeMs() const;

    // The mouth shape to show: one of the talking shapes while words appear, then closed.
    int Mouth() const { return mouth_; }
    // The balloon while the speech lasts.
    const std::optional<BalloonLayout>& Balloon() const { return balloon_; }
    // The balloon's lines with only the words that have appeared (none without a speech).
    std::vector<std::string> LinesShown() const;

private:
    std::optional<BalloonLayout> balloon_;
    std::vector<std::string> words_;
    std::size_t shown_ = 0;
    std::int64_t nextWordMs_ = 0;
    std::int64_t endMs_ = 0;  // 0 until the last word has appeared
    std::int64_t nextMouthMs_ = 0;
    int mouthStep_ = 0;
    int mouth_ = 0;
};

}  // namespace zinna::stage
