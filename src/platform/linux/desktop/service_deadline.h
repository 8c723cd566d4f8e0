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

    // While it lives, the calls of one read or change share one deadline; nested ones share the
    // outermost's.
    class Operation {
    public:
        explicit Operation(ServiceDeadline& deadline) : deadline_(deadline), outermost_(!deadline.current_) {
            if (outermost_) deadline_.current_ = deadline_.outer_.value_or(Clock::now() + deadline_.budget_);
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
        const auto until = current_.value_or(outer_.value_or(Clock::now() + budget_));
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        return static_cast<int>(std::clamp<long long>(left, -1, budget_.count()));
    }

private:
    std::chrono::milliseconds budget_;
    std::optional<Clock::time_point> outer_;
    std::optional<Clock::time_point> current_;
};

}  // namespace zinna::linuxdesk
