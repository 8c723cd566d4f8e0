// Work handed to the user-interface thread to run later, after the current handler has returned.
#pragma once

#include <functional>

namespace zinna::win32 {

class UiThreadQueue {
public:
    virtual ~UiThreadQueue() = default;
    // Runs the work on the user-interface thread, after every work posted before it. Work posted
    // after the program has ended is dropped.
    virtual void Post(std::function<void()> work) = 0;
};

}  // namespace zinna::win32
