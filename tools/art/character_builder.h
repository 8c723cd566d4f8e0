// Builds the character model from its manifest, its rendered frames and its sounds: one shared
// palette for all frames, every image cropped to its opaque pixels and placed at its offset in
// the frame, mouth overlays, states and the character's name.
#pragma once

#include "animation_manifest.h"
#include "rgba_image.h"

#include "stage/acs/character.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zinna::art {

struct CharacterSources {
    AnimationManifest manifest;
    std::map<std::string, RgbaPicture> pictures;              // by image name, each frame-sized
    std::map<std::string, std::vector<std::uint8_t>> sounds;  // by sound name, whole WAVE files
};

// Throws std::runtime_error naming what is missing or inconsistent (a picture not rendered or of
// the wrong size, a picture with nothing opaque, a sound that is not a RIFF WAVE file, a bad guid).
acs::Character BuildCharacter(const CharacterSources& sources);

// "7a1f3c20-5b2e-4c11-9a6d-2f0e8b4c9d31" as the 16 bytes the file stores.
acs::Guid ParseGuid(const std::string& text);

}  // namespace zinna::art
