#include "platform/linux/x11/pulse_sound.h"

#include <dlfcn.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace zinna::x11 {

namespace {

constexpr std::size_t kChunkBytes = 2048;  // a new sound waits at most this long behind the old

// PulseAudio's simple API, opened with the first sound: its library and the dozens it pulls in
// would otherwise be loaded, and kept resident, before her first frame.
struct PulseSimpleApi {
    decltype(&pa_simple_new) open = nullptr;
    decltype(&pa_simple_write) write = nullptr;
    decltype(&pa_simple_drain) drain = nullptr;
    decltype(&pa_simple_flush) flush = nullptr;
    decltype(&pa_simple_free) close = nullptr;
    decltype(&pa_strerror) describe = nullptr;

    // Null when the library is not installed.
    static const PulseSimpleApi* Load() {
        static const PulseSimpleApi* const loaded = []() -> const PulseSimpleApi* {
            void* library = dlopen("libpulse-simple.so.0", RTLD_NOW | RTLD_LOCAL);
            if (library == nullptr) return nullptr;
            static PulseSimpleApi api;
            api.open = reinterpret_cast<decltype(api.open)>(dlsym(library, "pa_simple_new"));
            api.write = reinterpret_cast<decltype(api.write)>(dlsym(library, "pa_simple_write"));
            api.drain = reinterpret_cast<decltype(api.drain)>(dlsym(library, "pa_simple_drain"));
            api.flush = reinterpret_cast<decltype(api.flush)>(dlsym(library, "pa_simple_flush"));
            api.close = reinterpret_cast<decltype(api.close)>(dlsym(library, "pa_simple_free"));
            api.describe = reinterpret_cast<decltype(api.describe)>(dlsym(library, "pa_strerror"));
            if (!api.open || !api.write || !api.drain || !api.flush || !api.close || !api.describe) return nullptr;
            return &api;
        }();
        return loaded;
    }
};

struct SimpleCloser {
    const PulseSimpleApi* api;
    void operator()(pa_simple* stream) const { api->close(stream); }
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
    const PulseSimpleApi* api = PulseSimpleApi::Load();
    if (api == nullptr) {
        std::fprintf(stderr, "zinna: no PulseAudio library (libpulse-simple.so.0); her sound effects are silent\n");
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
            stream.reset(api->open(nullptr, "Zinna", PA_STREAM_PLAYBACK, nullptr, "sound effect", &spec, nullptr,
                                   nullptr, &error));
            if (!stream) {
                std::fprintf(stderr, "zinna: no sound server (%s); her sound effects are silent\n",
                             api->describe(error));
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
            if (api->write(stream.get(), clip.samples.data() + at, size, &error) < 0) break;
            const std::lock_guard check(mutex_);
            interrupted = stopping_ || next_.has_value();
        }
        int error = 0;
        if (interrupted)
            api->flush(stream.get(), &error);  // the new sound replaces the old at once
        else
            api->drain(stream.get(), &error);
        lock.lock();
        ++played_;
    }
}

}  // namespace zinna::x11
