#include "platform/win32/windows_api.h"
#include <oaidl.h>
#include <oleauto.h>

#include "platform/win32/agent_event_sink.h"

#include "basic/basic_error.h"
#include "platform/win32/com_ptr.h"
#include "platform/win32/late_binding.h"

#include <exception>
#include <string>

namespace zinna::win32 {

const IID kAgentEventsIid = {0xF5BE8BD4, 0x7DE6, 0x11D0, {0x91, 0xFE, 0x00, 0xC0, 0x4F, 0xD7, 0x01, 0xA5}};

namespace {

struct EventName {
    const wchar_t* name;
    AgentEventKind kind;
};

constexpr EventName kEventNames[] = {
    {L"Command", AgentEventKind::Command},           {L"DblClick", AgentEventKind::DblClick},
    {L"DragStart", AgentEventKind::DragStart},       {L"DragComplete", AgentEventKind::DragComplete},
    {L"RequestStart", AgentEventKind::RequestStart}, {L"RequestComplete", AgentEventKind::RequestComplete},
    {L"IdleStart", AgentEventKind::IdleStart},
};

// The event's arguments in their natural order, by-reference values dereferenced.
class EventArguments {
public:
    explicit EventArguments(const DISPPARAMS& params) : params_(params) {}

    const Variant& At(UINT index) {
        if (index >= params_.cArgs) basic::RaiseControlError(DISP_E_BADPARAMCOUNT, "Argument not optional");
        auto& slot = values_[index];
        VariantCopyInd(slot.Out(), &params_.rgvarg[params_.cArgs - 1 - index]);
        return slot;
    }

private:
    const DISPPARAMS& params_;
    std::map<UINT, Variant> values_;
};

struct MouseEvent {
    std::string characterId;
    basic::Integer button, shift, x, y;
};

MouseEvent ReadMouseEvent(EventArguments& args) {
    return MouseEvent{args.At(0).AsText(), args.At(1).AsInt16(), args.At(2).AsInt16(), args.At(3).AsInt16(),
                      args.At(4).AsInt16()};
}

// A request's default value is its id.
RequestId ReadRequest(EventArguments& args) {
    const ComPtr<IDispatch> request = args.At(0).AsDispatch();
    return CallById(request.Get(), DISPID_VALUE, CallKind::PropertyGet, {}).AsInt32();
}

}  // namespace

std::map<DISPID, AgentEventKind> ResolveAgentEventIds(IDispatch* control) {
    std::map<DISPID, AgentEventKind> ids;
    ComPtr<ITypeInfo> controlInfo;
    if (control == nullptr || FAILED(control->GetTypeInfo(0, LOCALE_USER_DEFAULT, controlInfo.Receive())) ||
        !controlInfo) {
        return ids;
    }
    ComPtr<ITypeLib> library;
    UINT index = 0;
    if (FAILED(controlInfo->GetContainingTypeLib(library.Receive(), &index)) || !library) return ids;
    ComPtr<ITypeInfo> eventsInfo;
    if (FAILED(library->GetTypeInfoOfGuid(kAgentEventsIid, eventsInfo.Receive())) || !eventsInfo) return ids;
    for (const EventName& event : kEventNames) {
        std::wstring name = event.name;
        LPOLESTR names[] = {name.data()};
        MEMBERID id = MEMBERID_NIL;
        if (SUCCEEDED(eventsInfo->GetIDsOfNames(names, 1, &id))) ids[id] = event.kind;
    }
    return ids;
}

AgentEventSink::AgentEventSink(AgentEvents& events, UiThreadQueue& queue, std::map<DISPID, AgentEventKind> ids)
    : events_(events), queue_(queue), ids_(std::move(ids)) {}

HRESULT STDMETHODCALLTYPE AgentEventSink::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, kAgentEventsIid)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE AgentEventSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG STDMETHODCALLTYPE AgentEventSink::Release() {
    const LONG remaining = InterlockedDecrement(&references_);
    if (remaining == 0) delete this;
    return static_cast<ULONG>(remaining);
}

HRESULT STDMETHODCALLTYPE AgentEventSink::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE AgentEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE AgentEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE AgentEventSink::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                                 EXCEPINFO*, UINT*) {
    const auto found = ids_.find(member);
    if (found == ids_.end()) return S_OK;  // an event the program does not handle
    if (params == nullptr) return E_INVALIDARG;
    try {
        Deliver(found->second, *params);
        return S_OK;
    } catch (const basic::BasicError& error) {
        return static_cast<HRESULT>(error.Number());
    } catch (...) {
        return E_UNEXPECTED;
    }
}

void AgentEventSink::Deliver(AgentEventKind kind, const DISPPARAMS& params) {
    EventArguments args(params);
    AgentEvents& events = events_;
    switch (kind) {
        case AgentEventKind::Command: {
            // Only the user input's Name is read.
            const ComPtr<IDispatch> userInput = args.At(0).AsDispatch();
            std::string name = CallByName(userInput.Get(), L"Name", CallKind::PropertyGet, {}).AsText();
            queue_.Post([&events, name] { events.Command(name); });
            break;
        }
        case AgentEventKind::DblClick: {
            const MouseEvent e = ReadMouseEvent(args);
            queue_.Post([&events, e] { events.DblClick(e.characterId, e.button, e.shift, e.x, e.y); });
            break;
        }
        case AgentEventKind::DragStart: {
            const MouseEvent e = ReadMouseEvent(args);
            queue_.Post([&events, e] { events.DragStart(e.characterId, e.button, e.shift, e.x, e.y); });
            break;
        }
        case AgentEventKind::DragComplete: {
            const MouseEvent e = ReadMouseEvent(args);
            queue_.Post([&events, e] { events.DragComplete(e.characterId, e.button, e.shift, e.x, e.y); });
            break;
        }
        case AgentEventKind::RequestStart: {
            const RequestId request = ReadRequest(args);
            queue_.Post([&events, request] { events.RequestStart(request); });
            break;
        }
        case AgentEventKind::RequestComplete: {
            const RequestId request = ReadRequest(args);
            queue_.Post([&events, request] { events.RequestComplete(request); });
            break;
        }
        case AgentEventKind::IdleStart: {
            std::string characterId = args.At(0).AsText();
            queue_.Post([&events, characterId] { events.IdleStart(characterId); });
            break;
        }
    }
}

}  // namespace zinna::win32
