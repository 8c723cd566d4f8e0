// An in-process stand-in for the installed character control: automation objects that answer by
// name through IDispatch, record every invocation (member, kind, arguments with their types, the
// property put's named argument), and raise the control's events through a connection point whose
// event ids come from a type library of their own.
#pragma once

#include "platform/win32/windows_api.h"
#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>

#include "platform/win32/com_ptr.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zinna::test {

using win32::ComPtr;

// What one invocation looked like, e.g. `Character.MoveTo call (I2 448, I2 320)`.
using InvocationLog = std::vector<std::string>;

// Answers an invocation: the member's name ("" for the default member), the kind flags, the
// arguments in their natural order; fills the result. Returns the HRESULT to give back.
using Answer = std::function<HRESULT(const std::string& member, WORD kind, const std::vector<VARIANT>& args,
                                     VARIANT* result, EXCEPINFO* exception)>;

class FakeObject : public IDispatch, public IConnectionPointContainer, public IConnectionPoint {
public:
    // members get ids 1000, 1001, ... so that only a lookup by name finds them.
    FakeObject(std::string name, std::vector<std::wstring> members, InvocationLog& log, Answer answer);

    // The control's side: its type information and its event connection point.
    void OfferEvents(ComPtr<ITypeInfo> typeInfo, const IID& eventsIid);
    // Raises an event on the connected sink, arguments in their natural order.
    HRESULT Fire(DISPID event, std::vector<VARIANT> args);
    bool HasSink() const { return static_cast<bool>(sink_); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* badArgument) override;

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

private:
    virtual ~FakeObject() = default;

    LONG references_ = 1;
    std::string name_;
    std::vector<std::wstring> members_;
    InvocationLog& log_;
    Answer answer_;
    ComPtr<ITypeInfo> typeInfo_;
    IID eventsIid_{};
    bool offersEvents_ = false;
    ComPtr<IDispatch> sink_;
};

// Makes a new fake object; the caller owns the one reference.
ComPtr<FakeObject> MakeFake(std::string name, std::vector<std::wstring> members, InvocationLog& log, Answer answer);

// A type library holding the event interface with the given event ids by name, and a dispatch
// interface for the control itself; returns the control's type information.
ComPtr<ITypeInfo> BuildControlTypeInfo(const IID& eventsIid, const std::map<std::wstring, DISPID>& eventIds);

// The control's event interface, _AgentEvents.
extern const IID kControlEventsIid;

// The event ids the fake's type library gives; deliberately not the real control's.
extern const std::map<std::wstring, DISPID> kEventIds;

ComPtr<IDispatch> Dispatch(const ComPtr<FakeObject>& object);

// A whole fake control: a character "zinna" 128 x 96 pixels whose requests are numbered from 1,
// with its balloon and command collection. Loading a path that contains "missing" fails with
// 0x80070002, and so does playing "NoSuchAnimation" with 0x80042006.
class FakeAgent {
public:
    FakeAgent();
    FakeAgent(const FakeAgent&) = delete;
    FakeAgent& operator=(const FakeAgent&) = delete;

    // Gives a new request object as the result.
    HRESULT Request(VARIANT* result);
    // Raises the Command event with a user input whose Name is the given text.
    HRESULT FireCommand(const std::wstring& name);
    // Raises DblClick on the character with the left button at (x, y).
    HRESULT FireDblClick(short x, short y);

    InvocationLog log;
    // Called with each entry as it is logged, before the call is answered.
    std::function<void(const std::string&)> onLogged;
    ComPtr<FakeObject> balloon, commands, character, characters, control;

private:
    ComPtr<FakeObject> Make(std::string name, std::vector<std::wstring> members, Answer answer);
    HRESULT Character(const std::string& member, WORD kind, const std::vector<VARIANT>& args, VARIANT* result,
                      EXCEPINFO* exception);

    int nextRequest_ = 1;
    bool soundOn_ = false;
};

// How a VARIANT shows in the log: `I2 448`, `BSTR "Dance"`, `BOOL -1`, `DISPATCH`.
std::string Describe(const VARIANT& value);

}  // namespace zinna::test
