// The character's sound effects through Windows' own sound functions: played from memory,
// asynchronously, so the message loop never waits for a sound.
#pragma once

#include "stage/host/stage_character.h"

#include <cstdint>
#include <span>
#include <vector>

namespace zinna::win32 {

class Win32SoundOutput final : public stage::SoundOutput {
public:
    Win32SoundOutput() = default;
    ~Win32SoundOutput() override;
    Win32SoundOutput(const Win32SoundOutput&) = delete;
    Win32SoundOutput& operator=(const Win32SoundOutput&) = delete;

    // Stops the sound still playing, if any, and starts this one.
    void Play(std::span<const std::uint8_t> waveFile) override;

private:
    // The playing sound's bytes: Windows reads them while it plays, so they live until the next
    // sound or the end.
    std::vector<std::uint8_t> playing_;
};

}  // namespace zinna::win32
