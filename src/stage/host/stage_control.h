// The built-in character host behind the program's character-control interface: it loads
// characters from their data files and hands out the characters it has loaded.
#pragma once

#include "boundary/agent_control.h"
#include "boundary/clock.h"
#include "stage/host/stage_character.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zinna::stage {

// Reads a character data file by the path the program gives; throws std::runtime_error when the
// file is missing or cannot be read.
using CharacterFileSource = std::function<std::vector<std::uint8_t>(const std::string& path)>;

// The control's error codes for loading.
inline constexpr std::uint32_t kErrCharacterInvalid = basic::kControlErrCharacterInvalid;
inline constexpr std::uint32_t kErrFileNotFound = basic::kControlErrFileNotFound;

class StageControl final : public AgentControl {
public:
    StageControl(Clock& clock, AgentEvents& events, SoundOutput& sound, CharacterFileSource files,
                 StageSettings settings);

    void SetConnected(basic::Boolean connected) override { connected_ = connected; }
    RequestId CharactersLoad(const std::string& characterId, const std::string& path) override;
    AgentCharacter& Characters(const std::string& characterId) override;

    // The character loaded first, for renderers; null before a load.
    StageCharacter* Loaded() { return characters_.empty() ? nullptr : order_.front(); }

private:
    Clock& clock_;
    AgentEvents& events_;
    SoundOutput& sound_;
    CharacterFileSource files_;
    StageSettings settings_;
    basic::Boolean connected_ = basic::False;
    RequestId nextRequestId_ = 1;
    std::map<std::string, std::unique_ptr<StageCharacter>> characters_;  // by upper-case id
    std::vector<StageCharacter*> order_;
};

}  // namespace zinna::stage
