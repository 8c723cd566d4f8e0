// Zinna on a Linux desktop (X11, or a Wayland session through XWayland): the companion itself. One
// instance per display; the main window's start-up runs, then the loop until the program ends.
#include "lifecycle/zinna_form.h"

// This layer's headers bring the program's declarations in before Xlib (see x_connection.h).
#include "platform/linux/x11/event_loop.h"
#include "platform/linux/x11/hosted_agent_control.h"
#include "platform/linux/x11/single_instance.h"
#include "platform/linux/x11/x11_toolkit.h"

#include "platform/linux/desktop/linux_module.h"

#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

// Where zinna.acs and LH1024x768.bmp are: ZINNA_DATA_DIR, else share/zinna beside the program's
// own bin folder (so an installation works wherever its prefix is).
std::string DataDirectory() {
    if (const char* set = std::getenv("ZINNA_DATA_DIR"); set != nullptr && *set != '\0') return set;
    std::string program(PATH_MAX, '\0');
    const ssize_t length = readlink("/proc/self/exe", program.data(), program.size());
    program.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    const auto bin = program.find_last_of('/');
    const std::string binDir = bin == std::string::npos ? std::string(".") : program.substr(0, bin);
    const auto prefix = binDir.find_last_of('/');
    return (prefix == std::string::npos ? std::string(".") : binDir.substr(0, prefix)) + "/share/zinna";
}

std::int64_t RealTimeNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace

int main() {
    std::optional<zinna::x11::XConnection> x;
    try {
        x.emplace();
    } catch (const std::runtime_error&) {
        std::fprintf(stderr, "zinna: no X display (DISPLAY is not set or cannot be opened)\n");
        return 1;
    }
    zinna::x11::EventLoop loop(*x);
    const std::string dataDir = DataDirectory();
    zinna::x11::X11Toolkit toolkit(loop, "Zinna", [&dataDir](const std::string& path) {
        return zinna::x11::ReadWholeFile(zinna::linuxdesk::HostPathFromProgramPath(path, dataDir));
    });
    // A second Zinna leaves the desktop to the first one and touches nothing.
    if (!zinna::x11::ClaimSingleInstance(*x, static_cast<::Window>(toolkit.hWnd()))) return 0;
    // Start-up measurements (scripts/measure-linux.sh): when her first frame went to the screen.
    if (std::getenv("ZINNA_REPORT_FIRST_FRAME") != nullptr)
        toolkit.SetFirstFrameListener(
            [] { std::fprintf(stderr, "zinna: first frame at %lld ns\n", static_cast<long long>(RealTimeNs())); });

    const std::unique_ptr<zinna::ZinnaModule> module = zinna::linuxdesk::CreateLinuxModule({x->Get(), dataDir});
    zinna::ZinnaForm form(toolkit, *module);
    toolkit.SetSessionEndingHandler([&form] { form.Dispatch().SessionEnding(); });
    form.Dispatch().Start();
    return toolkit.RunMessageLoop();
}
