#include "animation_manifest.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace zinna::art {

ManifestError::ManifestError(int line, const std::string& message)
    : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line) {}

namespace {

std::vector<std::string_view> SplitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

// The text after the first word, without surrounding blanks.
std::string RestOfLine(std::string_view line, std::string_view firstWord) {
    std::string_view rest = line.substr(line.find(firstWord) + firstWord.size());
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t' || rest.back() == '\r')) rest.remove_suffix(1);
    return std::string(rest);
}

int ParseNumber(std::string_view word, int line, const char* what, int min, int max) {
    int value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc{} || end != word.data() + word.size())
        throw ManifestError(line, std::string(what) + " is not a whole number: '" + std::string(word) + "'");
    if (value < min || value > max)
        throw ManifestError(line, std::string(what) + " " + std::to_string(value) + " is outside " +
                                      std::to_string(min) + ".." + std::to_string(max));
    return value;
}

bool StartsWith(std::string_view word, std::string_view prefix) { return word.substr(0, prefix.size()) == prefix; }

ManifestFrame ParseFrame(const std::vector<std::string_view>& words, int line) {
    if (words.size() < 3) throw ManifestError(line, "a frame needs an image (or -) and a duration");
    ManifestFrame frame;
    frame.line = line;
    if (words[1] != "-") frame.image = std::string(words[1]);
    frame.duration = ParseNumber(words[2], line, "duration", 0, 65535);
    for (std::size_t i = 3; i < words.size(); ++i) {
        const std::string_view word = words[i];
        if (StartsWith(word, "sound=")) {
            frame.sound = std::string(word.substr(6));
        } else if (word == "exit=end") {
            frame.exitFrame = kExitEnd;
        } else if (StartsWith(word, "exit=")) {
            frame.exitFrame = ParseNumber(word.substr(5), line, "exit frame", 0, 65535);
        } else if (StartsWith(word, "branch=")) {
            const std::string_view value = word.substr(7);
            const std::size_t colon = value.find(':');
            if (colon == std::string_view::npos) throw ManifestError(line, "a branch is TARGET:PERCENT");
            frame.branches.push_back({ParseNumber(value.substr(0, colon), line, "branch target", 0, 65535),
                                      ParseNumber(value.substr(colon + 1), line, "branch percent", 1, 100)});
        } else if (StartsWith(word, "mouths=")) {
            frame.mouthPrefix = std::string(word.substr(7));
        } else {
            throw ManifestError(line, "unknown frame option '" + std::string(word) + "'");
        }
    }
    if (frame.branches.size() > 255) throw ManifestError(line, "too many branches");
    int sum = 0;
    for (const ManifestBranch& branch : frame.branches) sum += branch.percent;
    if (sum > 100) throw ManifestError(line, "branch percentages add up to " + std::to_string(sum) + ", over 100");
    if (frame.image.empty() && !frame.mouthPrefix.empty())
        throw ManifestError(line, "a frame without an image cannot carry mouths");
    return frame;
}

ManifestAnimation ParseAnimationHeader(const std::vector<std::string_view>& words, int line) {
    if (words.size() < 2 || words.size() > 3) throw ManifestError(line, "animation NAME [return=NAME | exit-branches]");
    ManifestAnimation animation;
    animation.name = std::string(words[1]);
    animation.line = line;
    if (words.size() == 3) {
        if (StartsWith(words[2], "return=") && words[2].size() > 7) {
            animation.transition = ManifestTransition::ReturnAnimation;
            animation.returnAnimation = std::string(words[2].substr(7));
        } else if (words[2] == "exit-branches") {
            animation.transition = ManifestTransition::ExitBranches;
        } else {
            throw ManifestError(line, "unknown animation option '" + std::string(words[2]) + "'");
        }
    }
    return animation;
}

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
        return upper(x) == upper(y);
    });
}

const ManifestAnimation* Find(const AnimationManifest& manifest, std::string_view name) {
    for (const ManifestAnimation& animation : manifest.animations)
        if (SameName(animation.name, name)) return &animation;
    return nullptr;
}

// The checks that need the whole text: targets, and names used before or after their definition.
void CheckReferences(const AnimationManifest& manifest) {
    std::set<std::string> sounds;
    for (const ManifestSound& sound : manifest.sounds) sounds.insert(sound.name);
    for (const ManifestAnimation& animation : manifest.animations) {
        if (animation.frames.empty())
            throw ManifestError(animation.line, "animation " + animation.name + " has no frames");
        const int count = static_cast<int>(animation.frames.size());
        for (const ManifestFrame& frame : animation.frames) {
            for (const ManifestBranch& branch : frame.branches)
                if (branch.targetFrame >= count)
                    throw ManifestError(frame.line, "branch to frame " + std::to_string(branch.targetFrame) + " but " +
                                                        animation.name + " has " + std::to_string(count) + " frames");
            if (frame.exitFrame >= count)
                throw ManifestError(frame.line, "exit to frame " + std::to_string(frame.exitFrame) + " but " +
                                                    animation.name + " has " + std::to_string(count) + " frames");
            if (!frame.sound.empty() && !sounds.contains(frame.sound))
                throw ManifestError(frame.line, "unknown sound '" + frame.sound + "'");
        }
        if (animation.transition == ManifestTransition::ReturnAnimation && !Find(manifest, animation.returnAnimation))
            throw ManifestError(animation.line, "return animation '" + animation.returnAnimation + "' is not defined");
    }
    for (const ManifestState& state : manifest.states)
        for (const std::string& name : state.animations)
            if (!Find(manifest, name))
                throw ManifestError(state.line, "state " + state.name + " names undefined animation '" + name + "'");
}

}  // namespace

AnimationManifest ParseManifest(std::string_view text) {
    AnimationManifest manifest;
    ManifestAnimation* current = nullptr;
    int lineNumber = 0;
    std::size_t position = 0;
    while (position <= text.size()) {
        const std::size_t end = std::min(text.find('\n', position), text.size());
        std::string_view line = text.substr(position, end - position);
        position = end + 1;
        ++lineNumber;
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
        const std::vector<std::string_view> words = SplitWords(line);
        if (words.empty()) continue;
        const std::string_view keyword = words[0];
        if (keyword == "name" || keyword == "description") {
            std::string value = RestOfLine(line, keyword);
            if (value.empty()) throw ManifestError(lineNumber, std::string(keyword) + " needs a text");
            (keyword == "name" ? manifest.name : manifest.description) = std::move(value);
        } else if (keyword == "guid") {
            if (words.size() != 2) throw ManifestError(lineNumber, "guid XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX");
            manifest.guid = std::string(words[1]);
        } else if (keyword == "frame-size") {
            if (words.size() != 3) throw ManifestError(lineNumber, "frame-size WIDTH HEIGHT");
            manifest.frameWidth = ParseNumber(words[1], lineNumber, "frame width", 1, 2048);
            manifest.frameHeight = ParseNumber(words[2], lineNumber, "frame height", 1, 2048);
        } else if (keyword == "sound") {
            if (words.size() != 3) throw ManifestError(lineNumber, "sound NAME FILE");
            manifest.sounds.push_back({std::string(words[1]), std::string(words[2])});
        } else if (keyword == "animation") {
            ManifestAnimation animation = ParseAnimationHeader(words, lineNumber);
            if (Find(manifest, animation.name))
                throw ManifestError(lineNumber, "animation " + animation.name + " is defined twice");
            manifest.animations.push_back(std::move(animation));
            current = &manifest.animations.back();
        } else if (keyword == "frame") {
            if (!current) throw ManifestError(lineNumber, "a frame outside any animation");
            current->frames.push_back(ParseFrame(words, lineNumber));
        } else if (keyword == "state") {
            if (words.size() < 3) throw ManifestError(lineNumber, "state NAME ANIMATION...");
            ManifestState state{std::string(words[1]), {}, lineNumber};
            for (std::size_t i = 2; i < words.size(); ++i) state.animations.emplace_back(words[i]);
            manifest.states.push_back(std::move(state));
            current = nullptr;
        } else {
            throw ManifestError(lineNumber, "unknown keyword '" + std::string(keyword) + "'");
        }
    }
    if (manifest.name.empty()) throw ManifestError(lineNumber, "the manifest names no character (name ...)");
    if (manifest.frameWidth == 0) throw ManifestError(lineNumber, "the manifest gives no frame-size");
    CheckReferences(manifest);
    return manifest;
}

std::string MouthImage(const std::string& prefix, int shape) { return prefix + std::to_string(shape); }

std::vector<std::string> ImagesUsed(const AnimationManifest& manifest) {
    std::vector<std::string> images;
    auto add = [&images](const std::string& name) {
        if (std::find(images.begin(), images.end(), name) == images.end()) images.push_back(name);
    };
    for (const ManifestAnimation& animation : manifest.animations)
        for (const ManifestFrame& frame : animation.frames) {
            if (!frame.image.empty()) add(frame.image);
            if (!frame.mouthPrefix.empty())
                for (int shape = 0; shape < kMouthShapes; ++shape) add(MouthImage(frame.mouthPrefix, shape));
        }
    return images;
}

}  // namespace zinna::art
