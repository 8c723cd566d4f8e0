#include "stage/host/request_queue.h"

#include <utility>

namespace zinna::stage {

RequestId RequestQueue::Add(Request request) {
    request.id = nextRequestId_++;
    waiting_.push_back(std::move(request));
    return waiting_.back().id;
}

const Request& RequestQueue::StartNext() {
    current_ = std::move(waiting_.front());
    waiting_.pop_front();
    return *current_;
}

Request RequestQueue::FinishCurrent() {
    Request done = std::move(*current_);
    current_.reset();
    return done;
}

std::optional<RequestId> RequestQueue::InterruptCurrent() {
    if (!current_) return std::nullopt;
    const RequestId interrupted = current_->id;
    current_.reset();
    return interrupted;
}

}  // namespace zinna::stage
