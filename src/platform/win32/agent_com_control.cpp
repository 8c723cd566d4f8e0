#include "platform/win32/windows_api.h"
#include <objbase.h>
#include <ocidl.h>

#include "platform/win32/agent_com_control.h"

#include "basic/basic_error.h"
#include "platform/win32/agent_event_sink.h"
#include "platform/win32/late_binding.h"
#include "platform/win32/wide_text.h"

namespace zinna::win32 {

namespace {

// A request object's default value is its id; a control that gives none gives 0.
RequestId RequestIdOf(const Variant& request) {
    if (request.Get().vt != VT_DISPATCH || request.Get().pdispVal == nullptr) return 0;
    try {
        return CallById(request.Get().pdispVal, DISPID_VALUE, CallKind::PropertyGet, {}).AsInt32();
    } catch (const basic::BasicError&) {
        return 0;
    }
}

template <typename... Rest>
std::vector<Variant> Args(Variant first, Rest... rest) {
    std::vector<Variant> args;
    args.push_back(std::move(first));
    (args.push_back(std::move(rest)), ...);
    return args;
}

ComPtr<IDispatch> PropertyObject(IDispatch* owner, const wchar_t* property) {
    return CallByName(owner, property, CallKind::PropertyGet, {}).AsDispatch();
}

}  // namespace

RequestId AgentComCharacter::Hide() { return RequestIdOf(CallByName(character_.Get(), L"Hide", CallKind::Method, {})); }

RequestId AgentComCharacter::Show() { return RequestIdOf(CallByName(character_.Get(), L"Show", CallKind::Method, {})); }

RequestId AgentComCharacter::MoveTo(basic::Integer x, basic::Integer y, std::optional<basic::Integer> speed) {
    std::vector<Variant> args = Args(Variant::Int16(x), Variant::Int16(y));
    if (speed) args.push_back(Variant::Int16(*speed));
    return RequestIdOf(CallByName(character_.Get(), L"MoveTo", CallKind::Method, args));
}

RequestId AgentComCharacter::Play(const std::string& animation) {
    return RequestIdOf(CallByName(character_.Get(), L"Play", CallKind::Method, Args(Variant::Text(animation))));
}

RequestId AgentComCharacter::Speak(const std::string& text) {
    return RequestIdOf(CallByName(character_.Get(), L"Speak", CallKind::Method, Args(Variant::Text(text))));
}

void AgentComCharacter::Stop() { CallByName(character_.Get(), L"Stop", CallKind::Method, {}); }

basic::Integer AgentComCharacter::Width() {
    return CallByName(character_.Get(), L"Width", CallKind::PropertyGet, {}).AsInt16();
}

basic::Integer AgentComCharacter::Height() {
    return CallByName(character_.Get(), L"Height", CallKind::PropertyGet, {}).AsInt16();
}

void AgentComCharacter::SetIdleOn(basic::Boolean on) {
    CallByName(character_.Get(), L"IdleOn", CallKind::PropertyPut, Args(Variant::Bool(on != basic::False)));
}

basic::Boolean AgentComCharacter::SoundEffectsOn() {
    return basic::ToBoolean(CallByName(character_.Get(), L"SoundEffectsOn", CallKind::PropertyGet, {}).AsInt16() != 0);
}

void AgentComCharacter::SetSoundEffectsOn(basic::Boolean on) {
    CallByName(character_.Get(), L"SoundEffectsOn", CallKind::PropertyPut, Args(Variant::Bool(on != basic::False)));
}

void AgentComCharacter::SetBalloonFontSize(basic::Long points) {
    const ComPtr<IDispatch> balloon = PropertyObject(character_.Get(), L"Balloon");
    CallByName(balloon.Get(), L"FontSize", CallKind::PropertyPut, Args(Variant::Int32(points)));
}

void AgentComCharacter::CommandsAdd(const std::string& name, const std::string& caption) {
    const ComPtr<IDispatch> commands = PropertyObject(character_.Get(), L"Commands");
    CallByName(commands.Get(), L"Add", CallKind::Method, Args(Variant::Text(name), Variant::Text(caption)));
}

AgentComControl::AgentComControl(ComPtr<IDispatch> control, AgentEvents& events, UiThreadQueue& queue)
    : control_(std::move(control)) {
    ComPtr<IConnectionPointContainer> container;
    if (FAILED(
            control_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container.Receive())))) {
        return;
    }
    ComPtr<IConnectionPoint> point;
    if (FAILED(container->FindConnectionPoint(kAgentEventsIid, point.Receive()))) return;
    const auto sink =
        ComPtr<AgentEventSink>::Adopt(new AgentEventSink(events, queue, ResolveAgentEventIds(control_.Get())));
    if (SUCCEEDED(point->Advise(sink.Get(), &adviseCookie_))) connectionPoint_ = point;
}

AgentComControl::~AgentComControl() {
    if (connectionPoint_) connectionPoint_->Unadvise(adviseCookie_);
}

void AgentComControl::SetConnected(basic::Boolean connected) {
    CallByName(control_.Get(), L"Connected", CallKind::PropertyPut, Args(Variant::Bool(connected != basic::False)));
}

RequestId AgentComControl::CharactersLoad(const std::string& characterId, const std::string& path) {
    const ComPtr<IDispatch> characters = PropertyObject(control_.Get(), L"Characters");
    return RequestIdOf(
        CallByName(characters.Get(), L"Load", CallKind::Method, Args(Variant::Text(characterId), Variant::Text(path))));
}

AgentCharacter& AgentComControl::Characters(const std::string& characterId) {
    const ComPtr<IDispatch> characters = PropertyObject(control_.Get(), L"Characters");
    // Characters(name): the collection's default member with the name.
    ComPtr<IDispatch> character =
        CallById(characters.Get(), DISPID_VALUE, CallKind::Item, Args(Variant::Text(characterId))).AsDispatch();
    auto& slot = characters_[characterId];
    if (slot) {
        slot->Rebind(std::move(character));
    } else {
        slot = std::make_unique<AgentComCharacter>(std::move(character));
    }
    return *slot;
}

std::unique_ptr<AgentControl> CreateAgentControl(const std::string& progId, AgentEvents& events, UiThreadQueue& queue) {
    CLSID classId{};
    if (FAILED(CLSIDFromProgID(WideFromUtf8(progId).c_str(), &classId))) {
        throw basic::BasicError(basic::kErrCannotCreateObject, "ActiveX component can't create object");
    }
    ComPtr<IDispatch> control;
    if (FAILED(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(control.Receive()))) ||
        !control) {
        throw basic::BasicError(basic::kErrCannotCreateObject, "ActiveX component can't create object");
    }
    return std::make_unique<AgentComControl>(std::move(control), events, queue);
}

}  // namespace zinna::win32
