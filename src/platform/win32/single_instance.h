// One Zinna per user, whatever session she runs in: a named mutex in the machine's global
// namespace, named with the user's security identifier, taken before the program touches anything.
// A console session and a remote one of the same user share one registry and one journal file, so
// a Zinna in each would undo each other's desktop; two users never share either.
#pragma once

#include "platform/win32/windows_api.h"

#include "platform/win32/win32_handle.h"

#include <string>

namespace zinna::win32 {

// "Global\Zinna.Companion.SingleInstance.S-1-5-21-..." for the user this process runs as.
std::wstring UserInstanceMutexName();

class SingleInstance {
public:
    explicit SingleInstance(const std::wstring& mutexName = UserInstanceMutexName());
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another process already holds the name, or holds it so that this user cannot
    // open it (then that process is the one Zinna may not disturb).
    bool IsFirst() const { return first_; }

private:
    KernelHandle mutex_;
    bool first_ = false;
};

}  // namespace zinna::win32
