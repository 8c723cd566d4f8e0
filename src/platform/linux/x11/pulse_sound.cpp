#include "platform/linux/x11/pulse_sound.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace zinna::x11 {

namespace {

constexpr std::size_t kChunkBytes = 2048;  // a new sound waits at most this long behind the old

struct SimpleCloser {
    void operator()(pa_simple* stream) const { pa_simple_free(stream); }
};
using SimpleStream = std::unique_ptr<pa_simple, SimpleCloser>;

pa_sample_spec SpecOf(const WaveClip& clip) {
    pa_sample_spec spec{};
    spec.format = clip.bitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
    spec.rate = static_cast<std::uint32_t>(clip.rate);
    spec.channels = static_cast<std::uint8_t>(clip.channels);
    return spec;
}

}  // namespace

PulseSoundOutput::~PulseSoundOutput() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (worker_.joinable()) worker_.join();
}

void PulseSoundOutput::Play(std::span<const std::uint8_t> waveFile) {
    std::optional<WaveClip> clip = ReadWaveClip(waveFile);
    if (!clip) return;
    {
        const std::lock_guard lock(mutex_);
        if (silent_) return;
        next_ = std::move(clip);
    }
    if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
    wake_.notify_one();
}

int PulseSoundOutput::Played() const {
    const std::lock_guard lock(mutex_);
    return played_;
}

bool PulseSoundOutput::Silent() const {
    const std::lock_guard lock(mutex_);
    return silent_;
}

void PulseSoundOutput::Work() {
    SimpleStream stream;
    std::optional<pa_sample_spec> streamSpec;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || next_.has_value(); });
        if (stopping_) return;
        WaveClip clip = std::move(*next_);
        next_.reset();
        lock.unlock();

        const pa_sample_spec spec = SpecOf(clip);
        if (!stream || !streamSpec || streamSpec->format != spec.format || streamSpec->rate != spec.rate ||
            streamSpec->channels != spec.channels) {
            stream.reset();
            int error = 0;
            stream.reset(pa_simple_new(nullptr, "Zinna", PA_STREAM_PLAYBACK, nullptr, "sound effect", &spec, nullptr,
                                       nullptr, &error));
            if (!stream) {
                std::fprintf(stderr, "zinna: no sound server (%s); her sound effects are silent\n", pa_strerror(error));
                lock.lock();
                silent_ = true;
                return;
            }
            streamSpec = spec;
        }
        bool interrupted = false;
        for (std::size_t at = 0; at < clip.samples.size() && !interrupted; at += kChunkBytes) {
            const std::size_t size = std::min(kChunkBytes, clip.samples.size() - at);
            int error = 0;
            if (pa_simple_write(stream.get(), clip.samples.data() + at, size, &error) < 0) break;
            const std::lock_guard check(mutex_);
            interrupted = stopping_ || next_.has_value();
        }
        int error = 0;
        if (interrupted)
            pa_simple_flush(stream.get(), &error);  // the new sound replaces the old at once
        else
            pa_simple_drain(stream.get(), &error);
        lock.lock();
        ++played_;
    }
}

}  // namespace zinna::x11
