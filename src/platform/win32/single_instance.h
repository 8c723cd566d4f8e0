// One Zinna per user session: a named mutex, taken before the program touches anything.
#pragma once

#include "platform/win32/windows_api.h"

#include "platform/win32/win32_handle.h"

namespace zinna::win32 {

// The mutex's name, in the session's own namespace.
inline constexpr const wchar_t* kSingleInstanceMutexName = L"Local\\Zinna.Companion.SingleInstance";

class SingleInstance {
public:
    explicit SingleInstance(const wchar_t* mutexName = kSingleInstanceMutexName);
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another process already holds the name.
    bool IsFirst() const { return first_; }

private:
    KernelHandle mutex_;
    bool first_ = false;
};

}  // namespace zinna::win32
