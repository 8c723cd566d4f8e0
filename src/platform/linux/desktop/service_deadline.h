// The time a settings service (a D-Bus service, which can hang) is given: one deadline for a whole
// read or change however many calls it takes, and, while one is set from outside, for everything
// until it is cleared (a whole restore). A hung service then costs that long in all, never a
// timeout a property.
#pragma once

#include <algorithm>
#include <chrono>
#include <optional>

namespace zinna::linuxdesk {

class ServiceDeadline {
public:
    using Clock = std::chrono::steady_clock;

    // budget: what one read or change gets of its own when no deadline is set from outside.
    explicit ServiceDeadline(std::chrono::milliseconds budget) : budget_(budget) {}

    void SetOuter(std::optional<Clock::time_point> until) { outer_ = until; }

    // What became of a call: answered (a reply or an error of the service's own), or out of time.
    // Once a call ran out of time, and until one is answered again, a read or change of its own gets
    // only kHungBudget: a hung service costs the budget once, then little for each later step, so
    // that the several steps of a quit together stay within a few seconds.
    void Answered(bool timedOut) { hung_ = timedOut; }
    static constexpr std::chrono::milliseconds kHungBudget{500};

    // While it lives, the calls of one read or change share one deadline; nested ones share the
    // outermost's.
    class Operation {
    public:
        explicit Operation(ServiceDeadline& deadline) : deadline_(deadline), outermost_(!deadline.current_) {
            if (outermost_) deadline_.current_ = deadline_.outer_.value_or(Clock::now() + deadline_.OwnBudget());
        }
        ~Operation() {
            if (outermost_) deadline_.current_.reset();
        }
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

    private:
        ServiceDeadline& deadline_;
        bool outermost_;
    };

    // The milliseconds a call made now may take (for GDBus' timeout): what is left of the running
    // operation's deadline (or of a budget of its own outside one); 0 or less when none is left, and
    // then no call is to be made.
    int CallTimeoutMs() const {
        const auto until = current_.value_or(outer_.value_or(Clock::now() + OwnBudget()));
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        return static_cast<int>(std::clamp<long long>(left, -1, OwnBudget().count()));
    }

private:
    std::chrono::milliseconds OwnBudget() const { return hung_ ? std::min(budget_, kHungBudget) : budget_; }

    std::chrono::milliseconds budget_;
    std::optional<Clock::time_point> outer_;
    std::optional<Clock::time_point> current_;
    bool hung_ = false;
};

}  // namespace zinna::linuxdesk
