// The X11 toolkit under the window toolkit's contract, on the runner's Xvfb (1024x768): the user
// answers a message box with the keyboard through xdotool, and a display scale is Xft.dpi in the
// root window's resources, as the desktops set it.
#include <doctest/doctest.h>  // before Xlib, whose macros would rename some of its names

#include "contract/window_toolkit_contract.h"

#include "platform/linux/x11/x11_toolkit.h"
#include "x11_test_support.h"

#include <X11/Xatom.h>

#include <cstdlib>
#include <stdexcept>

namespace {

using namespace zinna;

std::vector<std::uint8_t> NoFiles(const std::string&) { throw std::runtime_error("no files in this contract"); }

class X11ToolkitDriver final : public contract::ToolkitUnderContract {
public:
    explicit X11ToolkitDriver(x11::XConnection& x) : loop_(x), toolkit_(loop_, "Zinna", &NoFiles) {}

    WindowToolkit& Toolkit() override { return toolkit_; }
    std::int64_t NowMs() override { return loop_.Clock().NowMs(); }
    bool RunUntil(const std::function<bool()>& done, std::int64_t timeoutMs) override {
        return loop_.RunUntil(done, static_cast<int>(timeoutMs));
    }
    void Post(std::function<void()> work) override { loop_.Post(std::move(work)); }
    void AnswerNextMessageBox(std::int64_t readMs) override {
        // Once read, the user focuses the dialog and presses Return (the box's loop runs the clock).
        loop_.Clock().ScheduleAt(NowMs() + readMs, [] {
            testing::Xdotool("search --sync --class ZinnaMessage windowfocus --sync %1 key Return");
        });
    }
    void SetEndHandler(std::function<void(EndReason)> handler) override { toolkit_.SetEndHandler(std::move(handler)); }
    void SetDesktopRescue(std::function<void()> rescue) override { toolkit_.SetDesktopRescue(std::move(rescue)); }
    std::optional<EndReason> EndedWith() override { return toolkit_.EndedWith(); }
    int RunMessageLoop() override { return toolkit_.RunMessageLoop(); }

private:
    x11::EventLoop loop_;
    x11::X11Toolkit toolkit_;
};

// The root window's resources while this lives, put back afterwards.
class RootResources {
public:
    RootResources(x11::XConnection& x, const std::string& text) : x_(x), atom_(XA_RESOURCE_MANAGER) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(x_.Get(), x_.Root(), atom_, 0, 1 << 20, False, XA_STRING, &type, &format, &count, &after,
                               &data) == Success &&
            data != nullptr) {
            before_ = std::string(reinterpret_cast<const char*>(data), count);
        }
        if (data != nullptr) XFree(data);
        Set(text);
    }
    ~RootResources() {
        if (before_)
            Set(*before_);
        else {
            XDeleteProperty(x_.Get(), x_.Root(), atom_);
            XSync(x_.Get(), False);
        }
    }
    RootResources(const RootResources&) = delete;
    RootResources& operator=(const RootResources&) = delete;

private:
    void Set(const std::string& text) {
        XChangeProperty(x_.Get(), x_.Root(), atom_, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
        XSync(x_.Get(), False);
    }
    x11::XConnection& x_;
    Atom atom_;
    std::optional<std::string> before_;
};

contract::ScreenReading ScreenAt(int dpi) {
    const RootResources resources(testing::TestConnection(), "Xft.dpi:\t" + std::to_string(dpi) + "\n");
    // A program started now: its own connection reads the resources as they are.
    x11::XConnection x;
    x11::EventLoop loop(x);
    x11::X11Toolkit toolkit(loop, "Zinna", &NoFiles);
    return {toolkit.TwipsPerPixelX(), toolkit.TwipsPerPixelY(), toolkit.ScreenWidth(),
            toolkit.ScreenHeight(),   x.ScreenWidth(),          x.ScreenHeight()};
}

const contract::WindowToolkitRegistration kRegistration{
    "the X11 toolkit",
    [] { return std::make_unique<X11ToolkitDriver>(testing::TestConnection()); },
    &ScreenAt,
    {},
};

}  // namespace

ZINNA_WINDOW_TOOLKIT_CONTRACT(kRegistration)
