// Zinna on Windows: the companion itself. One instance per session; the main window's start-up
// runs, then the message loop until the program ends.
#include "platform/win32/windows_api.h"
#include <objbase.h>

#include "lifecycle/zinna_form.h"
#include "platform/win32/single_instance.h"
#include "platform/win32/win32_module.h"
#include "platform/win32/win32_toolkit.h"

namespace {

// The character control is an apartment-threaded COM object living on this one thread.
class ComApartment {
public:
    ComApartment() : initialised_(SUCCEEDED(OleInitialize(nullptr))) {}
    ~ComApartment() {
        if (initialised_) OleUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialised_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // A second Zinna leaves the desktop to the first one and touches nothing.
    const zinna::win32::SingleInstance singleInstance;
    if (!singleInstance.IsFirst()) return 0;

    const ComApartment apartment;
    zinna::win32::Win32Module module;
    zinna::win32::Win32Toolkit toolkit(instance, "Zinna");
    zinna::ZinnaForm form(toolkit, module);
    toolkit.SetSessionEndingHandler([&form] { form.Dispatch().SessionEnding(); });

    form.Dispatch().Start();
    return toolkit.RunMessageLoop();
}
