#include "platform/win32/windows_api.h"
#include <mmsystem.h>

#include "platform/win32/win32_sound.h"

namespace zinna::win32 {

Win32SoundOutput::~Win32SoundOutput() {
    if (!playing_.empty()) PlaySoundW(nullptr, nullptr, 0);
}

void Win32SoundOutput::Play(std::span<const std::uint8_t> waveFile) {
    // The previous sound must stop before its bytes are replaced.
    if (!playing_.empty()) PlaySoundW(nullptr, nullptr, 0);
    playing_.assign(waveFile.begin(), waveFile.end());
    if (playing_.empty()) return;
    // No default beep when the bytes are not a sound Windows can play, and no waiting.
    PlaySoundW(reinterpret_cast<LPCWSTR>(playing_.data()), nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT);
}

}  // namespace zinna::win32
