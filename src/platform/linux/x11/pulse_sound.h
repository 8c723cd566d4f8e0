// The character's sound effects through PulseAudio's simple API (which PipeWire serves too). The
// loop never waits for a sound: one worker thread writes the samples, and a new sound stops the one
// playing. Where there is no sound server she is silent, with one line on standard error; where
// none can be there, PulseAudio's libraries are not even loaded.
#pragma once

#include "stage/host/stage_character.h"

#include "platform/linux/x11/wave_clip.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// Xlib's Display, without Xlib.h, whose macros would rename names in the headers after it.
typedef struct _XDisplay Display;

namespace zinna::x11 {

class PulseSoundOutput final : public stage::SoundOutput {
public:
    // display (may be null) is the screen whose root window may name her sound server; it is read
    // on the thread that plays the first sound.
    explicit PulseSoundOutput(Display* display) : display_(display) {}
    ~PulseSoundOutput() override;
    PulseSoundOutput(const PulseSoundOutput&) = delete;
    PulseSoundOutput& operator=(const PulseSoundOutput&) = delete;

    void Play(std::span<const std::uint8_t> waveFile) override;

    // How many sounds were handed to the server, and whether it could not be reached (tests).
    int Played() const;
    bool Silent() const;

private:
    void Work();

    Display* display_;
    bool lookedForServer_ = false;  // the caller's thread only
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<WaveClip> next_;
    bool stopping_ = false;
    bool silent_ = false;
    int played_ = 0;
    std::thread worker_;  // started with the first sound
};

}  // namespace zinna::x11
