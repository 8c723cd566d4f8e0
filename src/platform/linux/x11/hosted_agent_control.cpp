#include "platform/linux/x11/hosted_agent_control.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zinna::x11 {

stage::StageSettings SettingsForScreen(const XConnection& x, double scale) {
    stage::StageSettings settings;
    settings.screenWidth = x.ScreenWidth();
    settings.screenHeight = x.ScreenHeight();
    settings.seed = static_cast<std::uint32_t>(MonotonicNs() / 1000000) ^ static_cast<std::uint32_t>(getpid());
    // The display's scale (Xft.dpi / 96): the host draws her frames and balloon at it.
    settings.scale = scale;
    return settings;
}

HostedAgentControl::HostedAgentControl(EventLoop& loop, AgentEvents& events, stage::CharacterFileSource files,
                                       std::function<void()> firstFrame)
    : loop_(loop),
      sound_(loop.Connection().Get()),
      control_(loop.Clock(), events, sound_, std::move(files),
               SettingsForScreen(loop.Connection(), loop.Connection().DisplayScale())),
      firstFrame_(std::move(firstFrame)) {}

// The windows go before the characters they show.
HostedAgentControl::~HostedAgentControl() { windows_.reset(); }

RequestId HostedAgentControl::CharactersLoad(const std::string& characterId, const std::string& path) {
    const RequestId request = control_.CharactersLoad(characterId, path);
    if (!windows_ && control_.Loaded() != nullptr)
        windows_ = std::make_unique<StageWindows>(loop_, *control_.Loaded(), firstFrame_);
    return request;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot open the file");
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) throw std::runtime_error("cannot read the file");
    return bytes;
}

}  // namespace zinna::x11
