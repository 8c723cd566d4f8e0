#include "platform/win32/windows_api.h"
#include <objbase.h>

#include "platform/win32/hosted_agent_control.h"

#include "platform/win32/wide_text.h"
#include "platform/win32/win32_handle.h"

#include <stdexcept>

namespace zinna::win32 {

namespace {

stage::StageSettings SettingsForThisScreen() {
    stage::StageSettings settings;
    // The process is aware of each monitor's DPI: these are physical pixels, as are all positions.
    settings.screenWidth = GetSystemMetrics(SM_CXSCREEN);
    settings.screenHeight = GetSystemMetrics(SM_CYSCREEN);
    settings.seed = GetTickCount();
    // Her frames are drawn for 96 dots per inch; she is shown at the primary display's scale, where
    // the program places her. The display's DPI is the system's for a per-monitor aware process.
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    settings.scale = dpi > 0 ? dpi / 96.0 : 1.0;
    return settings;
}

}  // namespace

HostedAgentControl::HostedAgentControl(HINSTANCE instance, AgentEvents& events, Win32Clock::Guard guard,
                                       HWND ownerWindow)
    : instance_(instance),
      ownerWindow_(ownerWindow),
      guard_(guard),
      clock_(instance, std::move(guard)),
      control_(clock_, events, sound_, &ReadWholeFile, SettingsForThisScreen()) {}

// The windows go before the characters they show.
HostedAgentControl::~HostedAgentControl() { windows_.reset(); }

RequestId HostedAgentControl::CharactersLoad(const std::string& characterId, const std::string& path) {
    const RequestId request = control_.CharactersLoad(characterId, path);
    if (!windows_ && control_.Loaded() != nullptr)
        windows_ = std::make_unique<StageWindows>(instance_, *control_.Loaded(), ownerWindow_, guard_);
    return request;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    const FileHandle file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw std::runtime_error("cannot open the file");
    LARGE_INTEGER size{};
    std::vector<std::uint8_t> bytes;
    bool complete = GetFileSizeEx(file.Get(), &size) != FALSE && size.QuadPart < (std::int64_t{1} << 31);
    if (complete) {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD read = 0;
        complete = bytes.empty() ||
                   (ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) != FALSE &&
                    read == bytes.size());
    }
    if (!complete) throw std::runtime_error("cannot read the file");
    return bytes;
}

bool ProgIdIsRegistered(const std::string& progId) {
    CLSID classId{};
    const HRESULT result = CLSIDFromProgID(WideFromUtf8(progId).c_str(), &classId);
    return result != CO_E_CLASSSTRING && result != REGDB_E_CLASSNOTREG;
}

}  // namespace zinna::win32
