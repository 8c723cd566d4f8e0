// The character's requests in the order the program queued them: the one being carried out and
// those waiting behind it. Request ids count across all the control's characters, so the counter
// belongs to the control.
#pragma once

#include "boundary/agent_control.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <string>

namespace zinna::stage {

inline constexpr int kDefaultMoveSpeed = 1000;

enum class RequestKind { Show, Hide, Move, Play, Speak };

struct Request {
    RequestId id = 0;
    RequestKind kind = RequestKind::Play;
    int x = 0, y = 0, speed = kDefaultMoveSpeed;
    std::string text;  // the animation, or the words spoken
};

class RequestQueue {
public:
    explicit RequestQueue(RequestId& nextRequestId) : nextRequestId_(nextRequestId) {}

    // Gives the request the next id and puts it at the end of the queue.
    RequestId Add(Request request);
    bool AnyWaiting() const { return !waiting_.empty(); }
    // The request that starts next; nullptr when none waits.
    const Request* NextWaiting() const { return waiting_.empty() ? nullptr : &waiting_.front(); }
    // The requests waiting and the one being carried out.
    std::size_t Count() const { return waiting_.size() + (current_ ? 1 : 0); }

    const std::optional<Request>& Current() const { return current_; }
    bool CurrentIs(RequestKind kind) const { return current_ && current_->kind == kind; }
    // The first waiting request becomes the current one.
    const Request& StartNext();
    // The current request is over; it is returned for its ending.
    Request FinishCurrent();

    // Stop: the waiting requests go, and the current one ends where it is; its id is returned.
    void DropWaiting() { waiting_.clear(); }
    std::optional<RequestId> InterruptCurrent();

private:
    RequestId& nextRequestId_;
    std::deque<Request> waiting_;
    std::optional<Request> current_;
};

}  // namespace zinna::stage
