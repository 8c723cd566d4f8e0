#include "platform/linux/x11/x11_toolkit.h"

#include "basic/basic_error.h"
#include "platform/layout_units.h"
#include "platform/linux/x11/hosted_agent_control.h"
#include "platform/linux/x11/message_box.h"

#include <X11/Xutil.h>

#include <strings.h>
#include <unistd.h>

#include <climits>
#include <cstdio>

namespace zinna::x11 {

namespace {

// The main window's stored client area, in pixels at 96 dots per inch.
constexpr int kClientWidth = 312;
constexpr int kClientHeight = 213;

}  // namespace

X11Toolkit::X11Toolkit(EventLoop& loop, std::string appTitle, stage::CharacterFileSource files)
    : CoreToolkit(loop.Clock()), loop_(loop), appTitle_(std::move(appTitle)), files_(std::move(files)) {
    XConnection& x = loop_.Connection();
    // Never mapped: the character is the program's only visible presence. It exists for its handle.
    window_ = XCreateSimpleWindow(x.Get(), x.Root(), 0, 0, kClientWidth, kClientHeight, 0, 0, 0);
    XStoreName(x.Get(), window_, "Form1");
    XClassHint classHint{const_cast<char*>("zinna"), const_cast<char*>("Zinna")};
    XSetClassHint(x.Get(), window_, &classHint);
    core_.SetPlatformStop([this](EndReason) { loop_.DropPosted(); });
    core_.SetErrorReport([](const std::string& description) {
        std::fprintf(stderr, "zinna: an error escaped every handler: %s\n", description.c_str());
    });
    loop_.SetGuard([this](const std::function<void()>& work) { core_.Guard(work); });
    loop_.SetSignalHandler([this](int) {
        // The session ends (log out, shut down, kill, Ctrl+C): the user's desktop is put back first.
        if (sessionEnding_) core_.Guard(sessionEnding_);
        End(EndReason::SessionEnd);
    });
}

X11Toolkit::~X11Toolkit() {
    loop_.SetSignalHandler(nullptr);
    loop_.SetGuard(nullptr);
    XDestroyWindow(loop_.Connection().Get(), window_);
}

int X11Toolkit::Dpi() const { return loop_.Connection().Dpi(); }

// The whole layout units per pixel the program rounds to, and the screen as that many per pixel:
// the program's division then gives the true pixels at every scale (1440 / 192 = 7.5 would give
// it a 3600-pixel screen in place of 3840, and place her off centre).
double X11Toolkit::TwipsPerPixelX() { return TwipsPerPixelAt(Dpi()); }

double X11Toolkit::TwipsPerPixelY() { return TwipsPerPixelAt(Dpi()); }

double X11Toolkit::ScreenWidth() { return ScreenTwips(loop_.Connection().ScreenWidth(), Dpi()); }

double X11Toolkit::ScreenHeight() { return ScreenTwips(loop_.Connection().ScreenHeight(), Dpi()); }

void X11Toolkit::MsgBox(const std::string& prompt) {
    ShowMessageBox(loop_, appTitle_, prompt, [this] { return core_.Ended(); });
}

std::string X11Toolkit::AppPath() {
    std::string path(PATH_MAX, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    path.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    const auto slash = path.find_last_of('/');
    path.resize(slash == std::string::npos ? 0 : slash);
    return path.empty() ? "/" : path;
}

std::unique_ptr<AgentControl> X11Toolkit::CreateObject(const std::string& progId, AgentEvents& events) {
    // There is no installed control on Linux: the built-in host answers to the control's name.
    if (strcasecmp(progId.c_str(), kAgentProgId) != 0)
        throw basic::BasicError(basic::kErrCannotCreateObject, "ActiveX component can't create object");
    auto host = std::make_unique<HostedAgentControl>(loop_, events, files_, firstFrame_);
    host_ = host.get();
    return host;
}

int X11Toolkit::RunMessageLoop() {
    loop_.RunUntil([this] { return core_.Ended(); });
    return core_.ExitCode();
}

}  // namespace zinna::x11
