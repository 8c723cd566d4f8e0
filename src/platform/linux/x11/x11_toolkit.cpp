#include "platform/linux/x11/x11_toolkit.h"

#include "basic/basic_error.h"
#include "platform/layout_units.h"
#include "platform/linux/x11/hosted_agent_control.h"
#include "platform/linux/x11/message_box.h"

#include <X11/Xutil.h>

#include <strings.h>
#include <time.h>
#include <unistd.h>

#include <climits>

namespace zinna::x11 {

namespace {

// The main window's stored client area, in pixels at 96 dots per inch.
constexpr int kClientWidth = 312;
constexpr int kClientHeight = 213;

}  // namespace

int ExitCodeOf(EndReason reason) {
    if (reason == EndReason::LoadFailure) return 1;
    if (reason == EndReason::Error) return 2;
    return 0;  // the user quit, or the session ended
}

X11Toolkit::X11Toolkit(EventLoop& loop, std::string appTitle, stage::CharacterFileSource files)
    : loop_(loop), appTitle_(std::move(appTitle)), files_(std::move(files)) {
    XConnection& x = loop_.Connection();
    // Never mapped: the character is the program's only visible presence. It exists for its handle.
    window_ = XCreateSimpleWindow(x.Get(), x.Root(), 0, 0, kClientWidth, kClientHeight, 0, 0, 0);
    XStoreName(x.Get(), window_, "Form1");
    XClassHint classHint{const_cast<char*>("zinna"), const_cast<char*>("Zinna")};
    XSetClassHint(x.Get(), window_, &classHint);
    loop_.SetGuard([this](const std::function<void()>& work) { RunGuarded(work); });
    loop_.SetSignalHandler([this](int) {
        // The session ends (log out, shut down, kill, Ctrl+C): the user's desktop is put back first.
        if (!endReason_ && sessionEnding_) sessionEnding_();
        if (!endReason_) End(EndReason::SessionEnd);
    });
}

X11Toolkit::~X11Toolkit() {
    if (nextTick_) loop_.Clock().Cancel(*nextTick_);
    loop_.SetSignalHandler(nullptr);
    loop_.SetGuard(nullptr);
    XDestroyWindow(loop_.Connection().Get(), window_);
}

void X11Toolkit::RunGuarded(const std::function<void()>& work) {
    // Handlers report their own errors through the dispatch point; whatever still escapes ends the
    // program, and nothing runs after the end.
    if (endReason_) return;
    try {
        work();
    } catch (...) {
        if (!endReason_) End(EndReason::Error);
    }
}

int X11Toolkit::Dpi() const { return loop_.Connection().Dpi(); }

// The whole layout units per pixel the program rounds to, and the screen as that many per pixel:
// the program's division then gives the true pixels at every scale (1440 / 192 = 7.5 would give
// it a 3600-pixel screen in place of 3840, and place her off centre).
double X11Toolkit::TwipsPerPixelX() { return TwipsPerPixelAt(Dpi()); }

double X11Toolkit::TwipsPerPixelY() { return TwipsPerPixelAt(Dpi()); }

double X11Toolkit::ScreenWidth() { return ScreenTwips(loop_.Connection().ScreenWidth(), Dpi()); }

double X11Toolkit::ScreenHeight() { return ScreenTwips(loop_.Connection().ScreenHeight(), Dpi()); }

void X11Toolkit::SetTimer1Interval(basic::Long intervalMs, TimerEvents& handler) {
    if (nextTick_) loop_.Clock().Cancel(*nextTick_);
    nextTick_.reset();
    timerHandler_ = &handler;
    timerInterval_ = intervalMs;
    if (intervalMs > 0 && !endReason_) ScheduleTick(loop_.Clock().NowMs() + intervalMs);
}

void X11Toolkit::ScheduleTick(std::int64_t atMs) {
    nextTick_ = loop_.Clock().ScheduleAt(atMs, [this, atMs] {
        nextTick_.reset();
        if (endReason_ || timerInterval_ <= 0) return;
        // Ticks keep their rhythm; one missed while the machine slept is not made up.
        const std::int64_t now = loop_.Clock().NowMs();
        std::int64_t next = atMs + timerInterval_;
        if (next <= now) next = now + timerInterval_;
        ScheduleTick(next);
        // A tick that comes while the previous one is still running (inside a message box) is skipped.
        if (inTimerHandler_ || timerHandler_ == nullptr) return;
        inTimerHandler_ = true;
        TimerEvents* handler = timerHandler_;
        try {
            handler->Timer1_Timer();
        } catch (...) {
            inTimerHandler_ = false;
            throw;
        }
        inTimerHandler_ = false;
    });
}

void X11Toolkit::MsgBox(const std::string& prompt) {
    ShowMessageBox(loop_, appTitle_, prompt, [this] { return endReason_.has_value(); });
}

std::string X11Toolkit::AppPath() {
    std::string path(PATH_MAX, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    path.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    const auto slash = path.find_last_of('/');
    path.resize(slash == std::string::npos ? 0 : slash);
    return path.empty() ? "/" : path;
}

void X11Toolkit::Randomize() {
    // Seeded from the time of day, in milliseconds since midnight, as the old runtime's timer.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    const auto msSinceMidnight = static_cast<std::uint32_t>(
        ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + now.tv_nsec / 1000000);
    random_.Randomize(msSinceMidnight);
}

std::unique_ptr<AgentControl> X11Toolkit::CreateObject(const std::string& progId, AgentEvents& events) {
    // There is no installed control on Linux: the built-in host answers to the control's name.
    if (strcasecmp(progId.c_str(), kAgentProgId) != 0)
        throw basic::BasicError(basic::kErrCannotCreateObject, "ActiveX component can't create object");
    auto host = std::make_unique<HostedAgentControl>(loop_, events, files_, firstFrame_);
    host_ = host.get();
    return host;
}

void X11Toolkit::End(EndReason reason) {
    if (endReason_) return;
    endReason_ = reason;
    if (nextTick_) loop_.Clock().Cancel(*nextTick_);
    nextTick_.reset();
    loop_.DropPosted();
    if (endHandler_) endHandler_(reason);
}

int X11Toolkit::RunMessageLoop() {
    loop_.RunUntil([this] { return endReason_.has_value(); });
    return ExitCodeOf(*endReason_);
}

}  // namespace zinna::x11
