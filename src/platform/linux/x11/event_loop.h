// The program's one loop on Linux: one poll over the X connection and a signalfd for the signals
// that end a session (SIGTERM, SIGHUP, SIGINT), its timeout the clock's earliest callback. It sleeps
// until one of them has something; work posted from a handler runs after it returns. A wake-up for
// a callback alone costs that poll, one look at the connection and the callback: nothing is re-armed
// and the connection is read only when the poll says it has something.
#pragma once

#include "platform/linux/x11/loop_clock.h"
#include "platform/linux/x11/x_connection.h"

#include <csignal>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>

namespace zinna::x11 {

// A file descriptor closed when its owner goes.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

class EventLoop {
public:
    using Guard = LoopClock::Guard;
    using XHandler = std::function<void(const XEvent&)>;

    // Blocks SIGTERM, SIGHUP and SIGINT for the thread (they arrive through the loop instead) until
    // the loop goes.
    explicit EventLoop(XConnection& connection);
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    XConnection& Connection() { return connection_; }
    LoopClock& Clock() { return clock_; }

    // Every handler, posted work and clock callback runs through guard.
    void SetGuard(Guard guard);
    // The X events of a window go to its handler; a window without one has its events dropped.
    void Watch(::Window window, XHandler handler);
    void Unwatch(::Window window);
    // Called with the signal's number when one of the session's signals comes.
    void SetSignalHandler(std::function<void(int signal)> handler) { signalHandler_ = std::move(handler); }
    // Runs the work after the current handler has returned, after every work posted before it.
    void Post(std::function<void()> work) { posted_.push_back(std::move(work)); }
    void DropPosted() { posted_.clear(); }

    // Waits until something is due, and handles all that is. timeoutMs < 0: no limit; returns
    // false when the time ran out with nothing to do.
    bool RunOnce(int timeoutMs = -1);
    // Runs until done() is true; with a limit, false when the time ran out first (tests).
    bool RunUntil(const std::function<bool()>& done, int limitMs = -1);

    // How often poll returned (benchmarks count the thread's wake-ups).
    std::uint64_t WakeUps() const { return wakeUps_; }

private:
    void Run(const std::function<void()>& work);
    // The wait's limit: the clock's earliest callback, or timeoutMs if that comes first (< 0: none).
    std::optional<std::int64_t> WaitNs(int timeoutMs) const;
    void DispatchXEvents(bool readable);
    void ReadSignals();

    XConnection& connection_;
    LoopClock clock_;
    Guard guard_;
    sigset_t previousMask_{};  // before signals_: making that one blocks the signals and fills this
    FileDescriptor signals_;
    std::map<::Window, XHandler> handlers_;
    std::function<void(int)> signalHandler_;
    std::deque<std::function<void()>> posted_;
    std::uint64_t wakeUps_ = 0;
};

}  // namespace zinna::x11
