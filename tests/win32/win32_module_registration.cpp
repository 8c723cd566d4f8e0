// The Windows layer under the ZinnaModule contract, against Wine's (or Windows') real functions.
// It runs inside a virtual desktop with a shell, so that the taskbar exists.
#include "platform/win32/windows_api.h"

#include "contract/zinna_module_contract.h"
#include "platform/win32/win32_module.h"

#include <doctest/doctest.h>

namespace {

constexpr const wchar_t* kTestsKey = L"Software\\Zinna Tests";

// The module, and the contract's key created empty and removed afterwards.
struct WindowsDesktop {
    WindowsDesktop() {
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestsKey);
        HKEY created = nullptr;
        REQUIRE(RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\Zinna Tests\\Contract", &created) == ERROR_SUCCESS);
        RegCloseKey(created);
    }
    ~WindowsDesktop() { RegDeleteTreeW(HKEY_CURRENT_USER, kTestsKey); }
    zinna::win32::Win32Module module;
};

}  // namespace

ZINNA_MODULE_CONTRACT(zinna::contract::ZinnaModuleRegistration{
    "the Windows layer",
    [] {
        auto desktop = std::make_shared<WindowsDesktop>();
        return std::shared_ptr<zinna::ZinnaModule>(desktop, &desktop->module);
    },
    {},
})
