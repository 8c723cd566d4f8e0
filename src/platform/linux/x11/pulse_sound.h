// The character's sound effects through PulseAudio's simple API (which PipeWire serves too). The
// loop never waits for a sound: one worker thread writes the samples, and a new sound stops the one
// playing. Where there is no sound server she is silent, with one line on standard error.
#pragma once

#include "stage/host/stage_character.h"

#include "platform/linux/x11/wave_clip.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace zinna::x11 {

class PulseSoundOutput final : public stage::SoundOutput {
public:
    PulseSoundOutput() = default;
    ~PulseSoundOutput() override;
    PulseSoundOutput(const PulseSoundOutput&) = delete;
    PulseSoundOutput& operator=(const PulseSoundOutput&) = delete;

    void Play(std::span<const std::uint8_t> waveFile) override;

    // How many sounds were handed to the server, and whether it could not be reached (tests).
    int Played() const;
    bool Silent() const;

private:
    void Work();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<WaveClip> next_;
    bool stopping_ = false;
    bool silent_ = false;
    int played_ = 0;
    std::thread worker_;  // started with the first sound
};

}  // namespace zinna::x11
