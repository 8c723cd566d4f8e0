#include "platform/win32/windows_api.h"
#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>
#include <olectl.h>

#include "fake_agent_control.h"

#include "platform/win32/wide_text.h"

#include <algorithm>

namespace zinna::test {

namespace {
constexpr DISPID kFirstMemberId = 1000;
constexpr DWORD kCookie = 7;

std::string KindName(WORD flags) {
    switch (flags) {
        case DISPATCH_METHOD:
            return "call";
        case DISPATCH_PROPERTYGET:
            return "get";
        case DISPATCH_PROPERTYPUT:
            return "put";
        case DISPATCH_METHOD | DISPATCH_PROPERTYGET:
            return "call|get";
        default:
            return "flags " + std::to_string(flags);
    }
}
}  // namespace

std::string Describe(const VARIANT& value) {
    const VARIANT* v = &value;
    std::string prefix;
    if ((value.vt & VT_BYREF) != 0) {
        prefix = "BYREF ";
        if (value.vt == (VT_I2 | VT_BYREF)) return prefix + "I2 " + std::to_string(*value.piVal);
    }
    switch (v->vt) {
        case VT_I2:
            return "I2 " + std::to_string(v->iVal);
        case VT_I4:
            return "I4 " + std::to_string(v->lVal);
        case VT_BOOL:
            return "BOOL " + std::to_string(v->boolVal);
        case VT_BSTR:
            return "BSTR \"" + win32::Utf8FromWide({v->bstrVal, SysStringLen(v->bstrVal)}) + "\"";
        case VT_DISPATCH:
            return "DISPATCH";
        case VT_ERROR:
            return v->scode == DISP_E_PARAMNOTFOUND ? "MISSING" : "ERROR";
        default:
            return prefix + "VT " + std::to_string(v->vt);
    }
}

FakeObject::FakeObject(std::string name, std::vector<std::wstring> members, InvocationLog& log, Answer answer)
    : name_(std::move(name)), members_(std::move(members)), log_(log), answer_(std::move(answer)) {}

ComPtr<FakeObject> MakeFake(std::string name, std::vector<std::wstring> members, InvocationLog& log, Answer answer) {
    return ComPtr<FakeObject>::Adopt(new FakeObject(std::move(name), std::move(members), log, std::move(answer)));
}

void FakeObject::OfferEvents(ComPtr<ITypeInfo> typeInfo, const IID& eventsIid) {
    typeInfo_ = std::move(typeInfo);
    eventsIid_ = eventsIid;
    offersEvents_ = true;
}

HRESULT FakeObject::Fire(DISPID event, std::vector<VARIANT> args) {
    if (!sink_) return E_FAIL;
    std::reverse(args.begin(), args.end());
    DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    return sink_->Invoke(event, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

HRESULT STDMETHODCALLTYPE FakeObject::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
        *object = static_cast<IDispatch*>(this);
    } else if (offersEvents_ && IsEqualIID(riid, IID_IConnectionPointContainer)) {
        *object = static_cast<IConnectionPointContainer*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE FakeObject::AddRef() { return static_cast<ULONG>(++references_); }

ULONG STDMETHODCALLTYPE FakeObject::Release() {
    const LONG remaining = --references_;
    if (remaining == 0) delete this;
    return static_cast<ULONG>(remaining);
}

HRESULT STDMETHODCALLTYPE FakeObject::GetTypeInfoCount(UINT* count) {
    *count = typeInfo_ ? 1 : 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    *info = nullptr;
    if (index != 0 || !typeInfo_) return DISP_E_BADINDEX;
    *info = typeInfo_.Get();
    (*info)->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (count != 1) return E_INVALIDARG;
    const auto found = std::find(members_.begin(), members_.end(), std::wstring(names[0]));
    if (found == members_.end()) {
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    ids[0] = kFirstMemberId + static_cast<DISPID>(found - members_.begin());
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeObject::Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                             VARIANT* result, EXCEPINFO* exception, UINT*) {
    std::string memberName;
    if (member != DISPID_VALUE) {
        const DISPID index = member - kFirstMemberId;
        if (index < 0 || index >= static_cast<DISPID>(members_.size())) return DISP_E_MEMBERNOTFOUND;
        memberName = win32::Utf8FromWide(members_[static_cast<size_t>(index)]);
    }
    std::vector<VARIANT> args;
    UINT positional = params->cArgs;
    if (flags == DISPATCH_PROPERTYPUT) {
        if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
            log_.push_back(name_ + "." + memberName + " put without DISPID_PROPERTYPUT");
            return DISP_E_PARAMNOTOPTIONAL;
        }
    } else if (params->cNamedArgs != 0) {
        log_.push_back(name_ + "." + memberName + " with named arguments");
        return DISP_E_NONAMEDARGS;
    }
    for (UINT i = positional; i > 0; --i) args.push_back(params->rgvarg[i - 1]);

    std::string entry = name_ + (memberName.empty() ? "" : "." + memberName) + " " + KindName(flags) + " (";
    for (size_t i = 0; i < args.size(); ++i) entry += (i == 0 ? "" : ", ") + Describe(args[i]);
    log_.push_back(entry + ")");

    VARIANT ignored;
    VariantInit(&ignored);
    const HRESULT hr = answer_(memberName, flags, args, result != nullptr ? result : &ignored, exception);
    VariantClear(&ignored);
    return hr;
}

HRESULT STDMETHODCALLTYPE FakeObject::EnumConnectionPoints(IEnumConnectionPoints** points) {
    *points = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FakeObject::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    *point = nullptr;
    if (!IsEqualIID(riid, eventsIid_)) return CONNECT_E_NOCONNECTION;
    *point = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeObject::GetConnectionInterface(IID* iid) {
    *iid = eventsIid_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeObject::GetConnectionPointContainer(IConnectionPointContainer** container) {
    *container = static_cast<IConnectionPointContainer*>(this);
    AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeObject::Advise(IUnknown* sink, DWORD* cookie) {
    if (sink_) return CONNECT_E_ADVISELIMIT;
    // The control calls its sink through the event interface, as a dispatch interface.
    IDispatch* events = nullptr;
    if (FAILED(sink->QueryInterface(eventsIid_, reinterpret_cast<void**>(&events)))) return CONNECT_E_CANNOTCONNECT;
    sink_ = ComPtr<IDispatch>::Adopt(events);
    *cookie = kCookie;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeObject::Unadvise(DWORD cookie) {
    if (cookie != kCookie || !sink_) return CONNECT_E_NOCONNECTION;
    sink_.Reset();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeObject::EnumConnections(IEnumConnections** connections) {
    *connections = nullptr;
    return E_NOTIMPL;
}

ComPtr<ITypeInfo> BuildControlTypeInfo(const IID& eventsIid, const std::map<std::wstring, DISPID>& eventIds) {
    ComPtr<ICreateTypeLib2> library;
    if (FAILED(CreateTypeLib2(SYS_WIN64, L"ZinnaFakeAgent.tlb", library.Receive()))) return {};
    library->SetName(const_cast<LPOLESTR>(L"ZinnaFakeAgentObjects"));
    const GUID libraryId = {0x5A1E0001, 0x2A7E, 0x4C11, {0x9A, 0x10, 0x00, 0x00, 0x5A, 0x11, 0x2A, 0x01}};
    library->SetGuid(libraryId);

    ComPtr<ICreateTypeInfo> events;
    if (FAILED(library->CreateTypeInfo(const_cast<LPOLESTR>(L"_AgentEvents"), TKIND_DISPATCH, events.Receive()))) {
        return {};
    }
    events->SetGuid(eventsIid);
    UINT index = 0;
    for (const auto& [name, id] : eventIds) {
        FUNCDESC function{};
        function.memid = id;
        function.funckind = FUNC_DISPATCH;
        function.invkind = INVOKE_FUNC;
        function.callconv = CC_STDCALL;
        function.elemdescFunc.tdesc.vt = VT_VOID;
        if (FAILED(events->AddFuncDesc(index, &function))) return {};
        std::wstring copy = name;
        LPOLESTR names[] = {copy.data()};
        if (FAILED(events->SetFuncAndParamNames(index, names, 1))) return {};
        ++index;
    }
    events->LayOut();

    ComPtr<ICreateTypeInfo> control;
    if (FAILED(
            library->CreateTypeInfo(const_cast<LPOLESTR>(L"IZinnaFakeAgentCtl"), TKIND_DISPATCH, control.Receive()))) {
        return {};
    }
    const GUID controlId = {0x5A1E0002, 0x2A7E, 0x4C11, {0x9A, 0x10, 0x00, 0x00, 0x5A, 0x11, 0x2A, 0x02}};
    control->SetGuid(controlId);
    control->LayOut();

    ComPtr<ITypeInfo> info;
    control->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(info.Receive()));
    return info;
}

const IID kControlEventsIid = {0xF5BE8BD4, 0x7DE6, 0x11D0, {0x91, 0xFE, 0x00, 0xC0, 0x4F, 0xD7, 0x01, 0xA5}};

const std::map<std::wstring, DISPID> kEventIds = {
    {L"Click", 408},        {L"Command", 401},      {L"DblClick", 402},        {L"DragStart", 403},
    {L"DragComplete", 404}, {L"RequestStart", 405}, {L"RequestComplete", 406}, {L"IdleStart", 407},
};

ComPtr<IDispatch> Dispatch(const ComPtr<FakeObject>& object) {
    return ComPtr<IDispatch>::Share(static_cast<IDispatch*>(object.Get()));
}

namespace {

void ReturnObject(VARIANT* result, const ComPtr<FakeObject>& object) {
    result->vt = VT_DISPATCH;
    result->pdispVal = object.Get();
    object->AddRef();
}

HRESULT Fail(EXCEPINFO* exception, HRESULT code, const wchar_t* description) {
    if (exception != nullptr) {
        *exception = EXCEPINFO{};
        exception->scode = code;
        exception->bstrDescription = SysAllocString(description);
    }
    return DISP_E_EXCEPTION;
}

HRESULT Ok(const std::string&, WORD, const std::vector<VARIANT>&, VARIANT*, EXCEPINFO*) { return S_OK; }

VARIANT Value(short value) {
    VARIANT v;
    v.vt = VT_I2;
    v.iVal = value;
    return v;
}

}  // namespace

ComPtr<FakeObject> FakeAgent::Make(std::string name, std::vector<std::wstring> members, Answer answer) {
    return MakeFake(std::move(name), std::move(members), log,
                    [this, answer](const std::string& member, WORD kind, const std::vector<VARIANT>& args,
                                   VARIANT* result, EXCEPINFO* exception) {
                        if (onLogged) onLogged(log.back());
                        return answer(member, kind, args, result, exception);
                    });
}

FakeAgent::FakeAgent() {
    balloon = Make("Balloon", {L"FontSize"}, Ok);
    commands = Make("Commands", {L"Add"},
                    [this](const std::string&, WORD, const std::vector<VARIANT>&, VARIANT* result, EXCEPINFO*) {
                        ReturnObject(result, Make("Command", {}, Ok));
                        return S_OK;
                    });
    character = Make("Character",
                     {L"Hide", L"Show", L"MoveTo", L"Play", L"Speak", L"Stop", L"Width", L"Height", L"IdleOn",
                      L"SoundEffectsOn", L"Balloon", L"Commands"},
                     [this](const std::string& member, WORD kind, const std::vector<VARIANT>& args, VARIANT* result,
                            EXCEPINFO* exception) { return Character(member, kind, args, result, exception); });
    characters = Make("Characters", {L"Load"},
                      [this](const std::string& member, WORD, const std::vector<VARIANT>& args, VARIANT* result,
                             EXCEPINFO* exception) -> HRESULT {
                          if (member.empty()) {
                              ReturnObject(result, character);
                              return S_OK;
                          }
                          const std::wstring path(args.at(1).bstrVal);
                          if (path.find(L"missing") != std::wstring::npos) {
                              return Fail(exception, static_cast<HRESULT>(0x80070002), L"File not found");
                          }
                          return Request(result);
                      });
    control = Make("Control", {L"Connected", L"Characters"},
                   [this](const std::string& member, WORD, const std::vector<VARIANT>&, VARIANT* result, EXCEPINFO*) {
                       if (member == "Characters") ReturnObject(result, characters);
                       return S_OK;
                   });
    control->OfferEvents(BuildControlTypeInfo(kControlEventsIid, kEventIds), kControlEventsIid);
}

HRESULT FakeAgent::Request(VARIANT* result) {
    const int id = nextRequest_++;
    ReturnObject(result, Make("Request", {L"Status"},
                              [id](const std::string&, WORD, const std::vector<VARIANT>&, VARIANT* value, EXCEPINFO*) {
                                  value->vt = VT_I4;
                                  value->lVal = id;
                                  return S_OK;
                              }));
    return S_OK;
}

HRESULT FakeAgent::Character(const std::string& member, WORD kind, const std::vector<VARIANT>& args, VARIANT* result,
                             EXCEPINFO* exception) {
    if (member == "Width") {
        result->vt = VT_I2;
        result->iVal = 128;
    } else if (member == "Height") {
        result->vt = VT_I4;  // a control may answer in a wider type; the client converts
        result->lVal = 96;
    } else if (member == "SoundEffectsOn" && kind == DISPATCH_PROPERTYGET) {
        result->vt = VT_BOOL;
        result->boolVal = soundOn_ ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (member == "SoundEffectsOn") {
        soundOn_ = args.at(0).boolVal == VARIANT_TRUE;
    } else if (member == "Balloon") {
        ReturnObject(result, balloon);
    } else if (member == "Commands") {
        ReturnObject(result, commands);
    } else if (member == "Play" && std::wstring(args.at(0).bstrVal) == L"NoSuchAnimation") {
        return Fail(exception, static_cast<HRESULT>(0x80042006), L"Animation not found");
    } else if (member != "Stop" && member != "IdleOn") {
        return Request(result);
    }
    return S_OK;
}

HRESULT FakeAgent::FireCommand(const std::wstring& name) {
    const std::wstring copy = name;
    auto userInput = Make("UserInput", {L"Name"},
                          [copy](const std::string&, WORD, const std::vector<VARIANT>&, VARIANT* result, EXCEPINFO*) {
                              result->vt = VT_BSTR;
                              result->bstrVal = SysAllocString(copy.c_str());
                              return S_OK;
                          });
    VARIANT input;
    input.vt = VT_DISPATCH;
    input.pdispVal = userInput.Get();
    return control->Fire(kEventIds.at(L"Command"), {input});
}

HRESULT FakeAgent::FireDblClick(short x, short y) {
    VARIANT id;
    id.vt = VT_BSTR;
    id.bstrVal = SysAllocString(L"zinna");
    const HRESULT hr = control->Fire(kEventIds.at(L"DblClick"), {id, Value(1), Value(0), Value(x), Value(y)});
    SysFreeString(id.bstrVal);
    return hr;
}

}  // namespace zinna::test
