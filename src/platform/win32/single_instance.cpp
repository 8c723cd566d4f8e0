#include "platform/win32/windows_api.h"
#include <sddl.h>

#include "platform/win32/single_instance.h"

#include "platform/win32/win32_journal.h"

namespace zinna::win32 {

std::wstring UserInstanceMutexName() { return L"Global\\Zinna.Companion.SingleInstance." + CurrentUserSidText(); }

SingleInstance::SingleInstance(const std::wstring& mutexName) {
    // Only the user (and the system) may open it: another account cannot take it over and keep it.
    SECURITY_ATTRIBUTES* attributes = nullptr;
    SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    const std::wstring sid = CurrentUserSidText();
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring sddl = L"D:P(A;;GA;;;" + sid + L")(A;;GA;;;SY)";
    if (!sid.empty() &&
        ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        security.lpSecurityDescriptor = descriptor;
        attributes = &security;
    }
    mutex_.Reset(CreateMutexW(attributes, FALSE, mutexName.c_str()));
    // Opening an existing mutex succeeds too; only a newly created one makes this the first. One
    // that exists but cannot be opened (ERROR_ACCESS_DENIED) is someone else's: not first either.
    first_ = mutex_ && GetLastError() != ERROR_ALREADY_EXISTS;
    LocalFree(descriptor);
}

}  // namespace zinna::win32
