#include "platform/win32/windows_api.h"

#include "platform/win32/single_instance.h"

namespace zinna::win32 {

SingleInstance::SingleInstance(const wchar_t* mutexName) {
    mutex_.Reset(CreateMutexW(nullptr, FALSE, mutexName));
    // Opening an existing mutex succeeds too; only a newly created one makes this the first.
    first_ = mutex_ && GetLastError() != ERROR_ALREADY_EXISTS;
}

}  // namespace zinna::win32
