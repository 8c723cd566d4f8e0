#include "platform/linux/x11/pulse_sound.h"

#include "platform/linux/loaded_library.h"
#include "platform/linux/x11/sound_server.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace zinna::x11 {

namespace {

constexpr const char* kPulseLibrary = "libpulse-simple.so.0";
constexpr std::size_t kChunkBytes = 2048;  // a new sound waits at most this long behind the old

// PulseAudio's simple API, opened by the worker with the first sound: its library and the dozens it
// pulls in (codecs, D-Bus, systemd) would otherwise be loaded before her first frame. Once loaded
// they stay mapped, even where no sound server answers: PulseAudio's libraries are marked so.
// clang-format off
#define ZINNA_PULSE_FUNCTIONS(X) \
    X(pa_simple_new)    \
    X(pa_simple_write)  \
    X(pa_simple_drain)  \
    X(pa_simple_flush)  \
    X(pa_simple_free)   \
    X(pa_strerror)
// clang-format on

struct PulseSimpleApi {
    ZINNA_PULSE_FUNCTIONS(ZINNA_LIBRARY_MEMBER)

    // nullopt, with the loader's reason in *problem, when the library is not installed.
    static std::optional<PulseSimpleApi> Open(std::string* problem) {
        PulseSimpleApi api;
        api.library_ = linuxlib::LoadedLibrary::Open(kPulseLibrary, problem);
        if (!api.library_ || !api.Find(*api.library_, problem)) return std::nullopt;
        return api;
    }

private:
    bool Find(const linuxlib::LoadedLibrary& library, std::string* problem) {
        ZINNA_PULSE_FUNCTIONS(ZINNA_LIBRARY_FIND)
        return true;
    }

    std::optional<linuxlib::LoadedLibrary> library_;
};

struct SimpleCloser {
    const PulseSimpleApi* api;
    void operator()(pa_simple* stream) const { api->pa_simple_free(stream); }
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
    }
    if (!lookedForServer_) {
        lookedForServer_ = true;
        if (!FindSoundServer(display_)) {
            std::fprintf(stderr, "zinna: no sound server (none named and no socket); her sound effects are silent\n");
            const std::lock_guard lock(mutex_);
            silent_ = true;
            return;
        }
    }
    {
        const std::lock_guard lock(mutex_);
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
    std::string reason;
    const std::optional<PulseSimpleApi> loaded = PulseSimpleApi::Open(&reason);
    const PulseSimpleApi* api = loaded ? &*loaded : nullptr;
    if (api == nullptr) {
        std::fprintf(stderr, "zinna: no PulseAudio library (%s); her sound effects are silent\n", reason.c_str());
        const std::lock_guard lock(mutex_);
        silent_ = true;
        return;
    }
    SimpleStream stream(nullptr, SimpleCloser{api});
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
            stream.reset(api->pa_simple_new(nullptr, "Zinna", PA_STREAM_PLAYBACK, nullptr, "sound effect", &spec,
                                            nullptr, nullptr, &error));
            if (!stream) {
                std::fprintf(stderr, "zinna: no sound server (%s); her sound effects are silent\n",
                             api->pa_strerror(error));
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
            if (api->pa_simple_write(stream.get(), clip.samples.data() + at, size, &error) < 0) break;
            const std::lock_guard check(mutex_);
            interrupted = stopping_ || next_.has_value();
        }
        int error = 0;
        if (interrupted)
            api->pa_simple_flush(stream.get(), &error);  // the new sound replaces the old at once
        else
            api->pa_simple_drain(stream.get(), &error);
        lock.lock();
        ++played_;
    }
}

}  // namespace zinna::x11
