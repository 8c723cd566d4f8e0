#include "stage/host/stage_control.h"

#include "basic/basic_error.h"
#include "stage/acs/acs_error.h"

#include <cctype>

namespace zinna::stage {

namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

constexpr std::uint32_t kErrCharacterAlreadyLoaded = basic::kControlErrCharacterAlreadyLoaded;

}  // namespace

StageControl::StageControl(Clock& clock, AgentEvents& events, SoundOutput& sound, CharacterFileSource files,
                           StageSettings settings)
    : clock_(clock), events_(events), sound_(sound), files_(std::move(files)), settings_(settings) {}

RequestId StageControl::CharactersLoad(const std::string& characterId, const std::string& path) {
    if (characters_.count(Upper(characterId)))
        basic::RaiseControlError(kErrCharacterAlreadyLoaded, "A character named " + characterId + " is already loaded");
    std::vector<std::uint8_t> bytes;
    try {
        bytes = files_(path);
    } catch (const std::exception& error) {
        basic::RaiseControlError(kErrFileNotFound, "Cannot read the character file " + path + ": " + error.what());
    }
    try {
        auto character = std::make_unique<StageCharacter>(characterId, acs::AcsFile::Parse(std::move(bytes)), clock_,
                                                          events_, sound_, settings_, nextRequestId_);
        order_.push_back(character.get());
        characters_.emplace(Upper(characterId), std::move(character));
    } catch (const acs::AcsError& error) {
        basic::RaiseControlError(kErrCharacterInvalid, "The character file " + path + " is not valid: " + error.what());
    }
    // The load itself is a request, done by the time the call returns.
    RequestId id = nextRequestId_++;
    clock_.ScheduleAt(clock_.NowMs(), [this, id] {
        events_.RequestStart(id);
        events_.RequestComplete(id);
    });
    return id;
}

AgentCharacter& StageControl::Characters(const std::string& characterId) {
    auto it = characters_.find(Upper(characterId));
    if (it == characters_.end())
        basic::RaiseControlError(kErrCharacterInvalid, "No character named " + characterId + " is loaded");
    return *it->second;
}

}  // namespace zinna::stage
