#include "platform/linux/x11/event_loop.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <limits>
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

EventLoop::EventLoop(XConnection& connection) : connection_(connection), signals_(BlockedSignalsFd(previousMask_)) {
    if (signals_.Get() < 0) throw std::runtime_error("cannot create the event loop's signal reader");
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

std::optional<std::int64_t> EventLoop::WaitNs(int timeoutMs) const {
    std::optional<std::int64_t> wait;
    if (const std::optional<std::int64_t> due = clock_.NextDueMs())
        wait = std::max<std::int64_t>(clock_.EpochNs() + *due * 1000000 - MonotonicNs(), 0);
    if (timeoutMs >= 0)
        wait = std::min(wait.value_or(std::numeric_limits<std::int64_t>::max()), std::int64_t{timeoutMs} * 1000000);
    return wait;
}

void EventLoop::DispatchXEvents(bool readable) {
    Display* display = connection_.Get();
    // The socket is read only when the poll found something on it; what a round trip or a flush
    // read meanwhile is in the queue already (RunOnce's XPending looked before the wait).
    if (readable) XEventsQueued(display, QueuedAfterReading);
    while (XQLength(display) > 0) {
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
    // Flushes what the handlers asked for, and counts the events already read: those of a round
    // trip, and those the library read while it wrote, which the poll below cannot see.
    const bool ready = !posted_.empty() || XPending(display) > 0;
    const std::optional<std::int64_t> waitNs = ready ? std::optional<std::int64_t>(0) : WaitNs(timeoutMs);
    timespec wait{};
    if (waitNs) {
        wait.tv_sec = static_cast<time_t>(*waitNs / 1000000000);
        wait.tv_nsec = static_cast<long>(*waitNs % 1000000000);
    }
    pollfd fds[2] = {{connection_.Fd(), POLLIN, 0}, {signals_.Get(), POLLIN, 0}};
    const int count = ppoll(fds, 2, waitNs ? &wait : nullptr, nullptr);
    ++wakeUps_;
    if (count < 0) return true;  // a signal not ours interrupted the wait: go round again
    if (fds[1].revents & POLLIN) ReadSignals();
    const std::optional<std::int64_t> due = clock_.NextDueMs();
    const bool callbacks = due && *due <= clock_.NowMs();
    clock_.RunDue();
    DispatchXEvents(fds[0].revents != 0);
    // Work posted by what ran above, and by that work in turn, runs now, in order.
    while (!posted_.empty()) {
        std::function<void()> work = std::move(posted_.front());
        posted_.pop_front();
        Run(work);
    }
    return count > 0 || ready || callbacks;
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
