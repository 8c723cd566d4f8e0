// A COM server DLL that stands in for the old character control in zinna.exe's end-to-end test.
// Registered (by the test, in the Wine prefix) as "Agent.Control.2", it lets zinna.exe run its
// whole start-up and message loop. It appends every invocation to the file named by
// ZINNA_FAKE_AGENT_LOG, and a message-only window "ZinnaFakeAgentTrigger" raises the control's
// events on request: WM_COPYDATA with dwData 1 raises Command with the UTF-16 name it carries,
// dwData 2 raises DblClick.
#include "platform/win32/windows_api.h"
#include <objbase.h>

#include "fake_agent_control.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using zinna::test::FakeAgent;

// {5A1E0003-2A7E-4C11-9A10-00005A112A03}
const CLSID kFakeControlClass = {0x5A1E0003, 0x2A7E, 0x4C11, {0x9A, 0x10, 0x00, 0x00, 0x5A, 0x11, 0x2A, 0x03}};
constexpr DWORD kRaiseCommand = 1;
constexpr DWORD kRaiseDblClick = 2;

// The control's one instance and what reaches it. A DLL's entry points carry no context, so the
// server's state lives here, made on the first CreateInstance (on the program's one thread).
struct Server {
    FakeAgent agent;
    std::FILE* log = nullptr;
    HWND trigger = nullptr;
};
Server* g_server = nullptr;

LRESULT CALLBACK TriggerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA && g_server != nullptr) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data->dwData == kRaiseCommand) {
            const std::wstring name(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t));
            return SUCCEEDED(g_server->agent.FireCommand(name));
        }
        if (data->dwData == kRaiseDblClick) return SUCCEEDED(g_server->agent.FireDblClick(40, 50));
        return FALSE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

Server& TheServer() {
    if (g_server != nullptr) return *g_server;
    g_server = new Server;  // lives until the process ends, as the control does
    if (const wchar_t* path = _wgetenv(L"ZINNA_FAKE_AGENT_LOG")) g_server->log = _wfopen(path, L"ab");
    g_server->agent.onLogged = [](const std::string& entry) {
        if (g_server->log == nullptr) return;
        std::fputs((entry + "\n").c_str(), g_server->log);
        std::fflush(g_server->log);
    };
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = TriggerProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ZinnaFakeAgentTrigger";
    RegisterClassW(&windowClass);
    g_server->trigger = CreateWindowExW(0, L"ZinnaFakeAgentTrigger", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    return *g_server;
}

class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // a static object
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return TheServer().agent.control->QueryInterface(riid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

ClassFactory g_factory;

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    DllGetClassObject(REFCLSID classId, REFIID riid, void** object) {
    if (!IsEqualCLSID(classId, kFakeControlClass)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, object);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }
