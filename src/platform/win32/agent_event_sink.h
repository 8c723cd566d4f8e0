// The event sink of the installed character control: a COM object implementing the control's event
// interface (_AgentEvents) as IDispatch. It reads each event's arguments while the control's call is
// on, then hands the event to the user-interface thread's queue, so that the program's handlers
// never run inside a call the program itself made to the control.
#pragma once

#include "platform/win32/windows_api.h"
#include <oaidl.h>

#include "boundary/agent_control.h"
#include "platform/win32/ui_thread_queue.h"

#include <map>

namespace zinna::win32 {

// The events the program handles.
enum class AgentEventKind { Command, DblClick, DragStart, DragComplete, RequestStart, RequestComplete, IdleStart };

// The control's event interface: {F5BE8BD4-7DE6-11D0-91FE-00C04FD701A5}.
extern const IID kAgentEventsIid;

// Looks the events' member ids up by name in the event interface of the control's type library.
// Events the library does not name are left out.
std::map<DISPID, AgentEventKind> ResolveAgentEventIds(IDispatch* control);

class AgentEventSink final : public IDispatch {
public:
    AgentEventSink(AgentEvents& events, UiThreadQueue& queue, std::map<DISPID, AgentEventKind> ids);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* badArgument) override;

private:
    ~AgentEventSink() = default;
    void Deliver(AgentEventKind kind, const DISPPARAMS& params);

    LONG references_ = 1;
    AgentEvents& events_;
    UiThreadQueue& queue_;
    std::map<DISPID, AgentEventKind> ids_;
};

}  // namespace zinna::win32
