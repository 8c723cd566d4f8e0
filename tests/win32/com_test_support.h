// What tests of the COM client share: a COM apartment for the test's thread, and a queue that holds
// posted work until the test runs it, as the message loop would after the handler returns.
#pragma once

#include "platform/win32/windows_api.h"
#include <objbase.h>

#include "platform/win32/ui_thread_queue.h"

#include <doctest/doctest.h>

#include <deque>
#include <functional>

namespace zinna::test {

struct ComApartment {
    ComApartment() { REQUIRE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    ~ComApartment() { CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

class ManualQueue final : public win32::UiThreadQueue {
public:
    void Post(std::function<void()> work) override { pending.push_back(std::move(work)); }
    void RunAll() {
        while (!pending.empty()) {
            auto work = std::move(pending.front());
            pending.pop_front();
            work();
        }
    }
    std::deque<std::function<void()>> pending;
};

}  // namespace zinna::test
