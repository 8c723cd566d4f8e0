#include "platform/linux/x11/event_loop.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace zinna::x11 {

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
}

namespace {

sigset_t SessionSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGINT);
    return set;
}

// Blocks the session's signals for this thread (and the threads it starts later), keeping the
// mask before in previous, and returns a signalfd that reads them.
int BlockedSignalsFd(sigset_t& previous) {
    const sigset_t set = SessionSignals();
    pthread_sigmask(SIG_BLOCK, &set, &previous);
    return signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

}  // namespace

EventLoop::EventLoop(XConnection& connection)
    : connection_(connection),
      timer_(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)),
      signals_(BlockedSignalsFd(previousMask_)) {
    if (timer_.Get() < 0 || signals_.Get() < 0) throw std::runtime_error("cannot create the event loop's timer");
}

EventLoop::~EventLoop() { pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr); }

void EventLoop::SetGuard(Guard guard) {
    guard_ = guard;
    clock_.SetGuard(std::move(guard));
}

void EventLoop::Watch(::Window window, XHandler handler) { handlers_[window] = std::move(handler); }

void EventLoop::Unwatch(::Window window) { handlers_.erase(window); }

void EventLoop::Run(const std::function<void()>& work) {
    if (guard_)
        guard_(work);
    else
        work();
}

void EventLoop::ArmTimer() {
    const std::optional<std::int64_t> due = clock_.NextDueMs();
    if (due == armedFor_) return;
    armedFor_ = due;
    itimerspec spec{};  // all zero disarms
    if (due) {
        // Absolute monotonic time; a time already past fires at once.
        const std::int64_t ns = std::max<std::int64_t>(clock_.EpochNs() + *due * 1000000, 1);
        spec.it_value.tv_sec = ns / 1000000000;
        spec.it_value.tv_nsec = ns % 1000000000;
    }
    timerfd_settime(timer_.Get(), TFD_TIMER_ABSTIME, &spec, nullptr);
}

void EventLoop::DispatchXEvents() {
    Display* display = connection_.Get();
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        const auto handler = handlers_.find(event.xany.window);
        if (handler == handlers_.end()) continue;
        // The handler may unwatch its own window: it runs from a copy.
        const XHandler run = handler->second;
        Run([&] { run(event); });
    }
}

void EventLoop::ReadSignals() {
    signalfd_siginfo info{};
    while (read(signals_.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        const int number = static_cast<int>(info.ssi_signo);
        if (signalHandler_) Run([&] { signalHandler_(number); });
    }
}

bool EventLoop::RunOnce(int timeoutMs) {
    Display* display = connection_.Get();
    XFlush(display);
    ArmTimer();
    const bool ready = !posted_.empty() || XPending(display) > 0;
    pollfd fds[3] = {{connection_.Fd(), POLLIN, 0}, {timer_.Get(), POLLIN, 0}, {signals_.Get(), POLLIN, 0}};
    const int count = poll(fds, 3, ready ? 0 : timeoutMs);
    ++wakeUps_;
    if (count < 0) return true;  // a signal not ours interrupted the wait: go round again
    if (fds[2].revents & POLLIN) ReadSignals();
    if (fds[1].revents & POLLIN) {
        std::uint64_t expirations = 0;
        [[maybe_unused]] const ssize_t got = read(timer_.Get(), &expirations, sizeof expirations);
        armedFor_.reset();
    }
    clock_.RunDue();
    DispatchXEvents();
    // Work posted by what ran above, and by that work in turn, runs now, in order.
    while (!posted_.empty()) {
        std::function<void()> work = std::move(posted_.front());
        posted_.pop_front();
        Run(work);
    }
    return count > 0 || ready;
}

bool EventLoop::RunUntil(const std::function<bool()>& done, int limitMs) {
    const std::int64_t end = clock_.NowMs() + limitMs;
    while (!done()) {
        if (limitMs < 0) {
            RunOnce();
            continue;
        }
        const std::int64_t left = end - clock_.NowMs();
        if (left <= 0) return done();
        RunOnce(static_cast<int>(left));
    }
    return true;
}

}  // namespace zinna::x11
