// The COM client of the installed character control, against a fake control of the test's own:
// what the program's calls look like on the control's side, how failures come back, and how the
// control's events reach the program's handlers.
#include "platform/win32/windows_api.h"
#include <objbase.h>
#include <oleauto.h>

#include "com_test_support.h"
#include "fake_agent_control.h"
#include "platform/win32/agent_com_control.h"
#include "platform/win32/agent_event_sink.h"
#include "platform/win32/late_binding.h"

#include "basic/basic_error.h"

#include <doctest/doctest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using zinna::test::ComApartment;
using zinna::test::ComPtr;
using zinna::test::Dispatch;
using zinna::test::FakeAgent;
using zinna::test::FakeObject;
using zinna::test::InvocationLog;
using zinna::test::kEventIds;
using zinna::test::MakeFake;
using zinna::test::ManualQueue;
using zinna::win32::AgentComControl;

class RecordingEvents final : public zinna::AgentEvents {
public:
    void Command(const std::string& name) override { log.push_back("Command " + name); }
    void DblClick(const std::string& id, zinna::basic::Integer button, zinna::basic::Integer shift,
                  zinna::basic::Integer x, zinna::basic::Integer y) override {
        log.push_back("DblClick " + Mouse(id, button, shift, x, y));
    }
    void DragStart(const std::string& id, zinna::basic::Integer button, zinna::basic::Integer shift,
                   zinna::basic::Integer x, zinna::basic::Integer y) override {
        log.push_back("DragStart " + Mouse(id, button, shift, x, y));
    }
    void DragComplete(const std::string& id, zinna::basic::Integer button, zinna::basic::Integer shift,
                      zinna::basic::Integer x, zinna::basic::Integer y) override {
        log.push_back("DragComplete " + Mouse(id, button, shift, x, y));
    }
    void RequestStart(zinna::RequestId request) override { log.push_back("RequestStart " + std::to_string(request)); }
    void RequestComplete(zinna::RequestId request) override {
        log.push_back("RequestComplete " + std::to_string(request));
    }
    void IdleStart(const std::string& id) override { log.push_back("IdleStart " + id); }
    std::vector<std::string> log;

private:
    static std::string Mouse(const std::string& id, int button, int shift, int x, int y) {
        return id + " " + std::to_string(button) + " " + std::to_string(shift) + " " + std::to_string(x) + " " +
               std::to_string(y);
    }
};

VARIANT Text(const wchar_t* text) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}

VARIANT Short(short value) {
    VARIANT v;
    v.vt = VT_I2;
    v.iVal = value;
    return v;
}

VARIANT Object(const ComPtr<FakeObject>& object) {
    VARIANT v;
    v.vt = VT_DISPATCH;
    v.pdispVal = object.Get();
    return v;
}

}  // namespace

TEST_CASE("calls name their members, pass typed arguments in order, and leave omitted ones out") {
    ComApartment apartment;
    FakeAgent agent;
    ManualQueue queue;
    RecordingEvents events;
    {
        AgentComControl control(Dispatch(agent.control), events, queue);
        control.SetConnected(zinna::basic::True);
        CHECK(control.CharactersLoad("zinna", "C:\\windows\\zinna.acs") == 1);
        zinna::AgentCharacter& character = control.Characters("zinna");
        CHECK(character.MoveTo(448, 320, std::nullopt) == 2);
        character.MoveTo(-5, 740, 1000);
        character.Show();
        character.Play("Dance");
        character.Speak("Lantern Hall \xE2\x80\x94 Zo\xC3\xAB");
        character.Stop();
        character.Hide();
        CHECK(character.Width() == 128);
        CHECK(character.Height() == 96);
        character.SetIdleOn(zinna::basic::False);
        CHECK(character.SoundEffectsOn() == zinna::basic::False);
        character.SetSoundEffectsOn(zinna::basic::True);
        CHECK(character.SoundEffectsOn() == zinna::basic::True);
        character.SetBalloonFontSize(8);
        character.CommandsAdd("Kiss", "&Kiss");
    }
    const InvocationLog expected = {
        "Control.Connected put (BOOL -1)",
        "Control.Characters get ()",
        "Characters.Load call (BSTR \"zinna\", BSTR \"C:\\windows\\zinna.acs\")",
        "Request get ()",
        "Control.Characters get ()",
        "Characters call|get (BSTR \"zinna\")",
        "Character.MoveTo call (I2 448, I2 320)",
        "Request get ()",
        "Character.MoveTo call (I2 -5, I2 740, I2 1000)",
        "Request get ()",
        "Character.Show call ()",
        "Request get ()",
        "Character.Play call (BSTR \"Dance\")",
        "Request get ()",
        "Character.Speak call (BSTR \"Lantern Hall \xE2\x80\x94 Zo\xC3\xAB\")",
        "Request get ()",
        "Character.Stop call ()",
        "Character.Hide call ()",
        "Request get ()",
        "Character.Width get ()",
        "Character.Height get ()",
        "Character.IdleOn put (BOOL 0)",
        "Character.SoundEffectsOn get ()",
        "Character.SoundEffectsOn put (BOOL -1)",
        "Character.SoundEffectsOn get ()",
        "Character.Balloon get ()",
        "Balloon.FontSize put (I4 8)",
        "Character.Commands get ()",
        "Commands.Add call (BSTR \"Kiss\", BSTR \"&Kiss\")",
    };
    CHECK(agent.log == expected);
    CHECK_FALSE(agent.control->HasSink());  // the control's end disconnects its events
}

TEST_CASE("a failing call raises the control's HRESULT and description") {
    ComApartment apartment;
    FakeAgent agent;
    ManualQueue queue;
    RecordingEvents events;
    AgentComControl control(Dispatch(agent.control), events, queue);
    try {
        control.CharactersLoad("zinna", "C:\\windows\\missing.acs");
        FAIL("the load succeeded");
    } catch (const zinna::basic::BasicError& error) {
        CHECK(static_cast<std::uint32_t>(error.Number()) == zinna::basic::kControlErrFileNotFound);
        CHECK(error.Description() == "File not found");
    }
    zinna::AgentCharacter& character = control.Characters("zinna");
    try {
        character.Play("NoSuchAnimation");
        FAIL("the animation played");
    } catch (const zinna::basic::BasicError& error) {
        CHECK(static_cast<std::uint32_t>(error.Number()) == 0x80042006u);
        CHECK(error.Description() == "Animation not found");
    }
    // A member the object does not have.
    try {
        zinna::win32::CallByName(agent.balloon.Get(), L"FontName", zinna::win32::CallKind::PropertyPut, {});
        FAIL("the member was found");
    } catch (const zinna::basic::BasicError& error) {
        CHECK(static_cast<std::uint32_t>(error.Number()) == static_cast<std::uint32_t>(DISP_E_UNKNOWNNAME));
    }
}

TEST_CASE("the control's events reach the handlers after the control's call has returned, in order") {
    ComApartment apartment;
    FakeAgent agent;
    ManualQueue queue;
    RecordingEvents events;
    AgentComControl control(Dispatch(agent.control), events, queue);
    REQUIRE(control.EventsConnected());

    auto userInput = MakeFake("UserInput", {L"Name"}, agent.log,
                              [](const std::string&, WORD, const std::vector<VARIANT>&, VARIANT* result, EXCEPINFO*) {
                                  result->vt = VT_BSTR;
                                  result->bstrVal = SysAllocString(L"Lantern Hall");
                                  return S_OK;
                              });
    VARIANT request;
    REQUIRE(agent.Request(&request) == S_OK);
    const ComPtr<FakeObject> requestObject = ComPtr<FakeObject>::Adopt(static_cast<FakeObject*>(request.pdispVal));
    short dropX = 300;
    VARIANT byReference;
    byReference.vt = VT_I2 | VT_BYREF;
    byReference.piVal = &dropX;

    CHECK(agent.control->Fire(401, {Object(userInput)}) == S_OK);
    CHECK(agent.control->Fire(402, {Text(L"zinna"), Short(1), Short(0), Short(40), Short(50)}) == S_OK);
    CHECK(agent.control->Fire(408, {Text(L"zinna"), Short(1), Short(0), Short(40), Short(50)}) == S_OK);
    CHECK(agent.control->Fire(403, {Text(L"zinna"), Short(1), Short(4), Short(41), Short(51)}) == S_OK);
    CHECK(agent.control->Fire(404, {Text(L"zinna"), Short(1), Short(4), byReference, Short(-2)}) == S_OK);
    CHECK(agent.control->Fire(405, {Object(requestObject)}) == S_OK);
    CHECK(agent.control->Fire(406, {Object(requestObject)}) == S_OK);
    CHECK(agent.control->Fire(407, {Text(L"zinna")}) == S_OK);
    // Not one handler has run inside the control's calls.
    CHECK(events.log.empty());

    queue.RunAll();
    const std::vector<std::string> expected = {
        "Command Lantern Hall",
        "DblClick zinna 1 0 40 50",
        "DragStart zinna 1 4 41 51",
        "DragComplete zinna 1 4 300 -2",
        "RequestStart 1",
        "RequestComplete 1",
        "IdleStart zinna",
    };
    CHECK(events.log == expected);
}

TEST_CASE("an event with arguments the program cannot read is refused, not delivered") {
    ComApartment apartment;
    FakeAgent agent;
    ManualQueue queue;
    RecordingEvents events;
    AgentComControl control(Dispatch(agent.control), events, queue);
    CHECK(FAILED(agent.control->Fire(402, {Text(L"zinna"), Short(1)})));
    CHECK(FAILED(agent.control->Fire(402, {Text(L"zinna"), Text(L"left"), Short(0), Short(1), Short(2)})));
    queue.RunAll();
    CHECK(events.log.empty());
}

TEST_CASE("a control without type information still works; its events are not bound") {
    ComApartment apartment;
    InvocationLog log;
    auto bare = MakeFake("Control", {L"Connected"}, log, [](auto&&...) { return S_OK; });
    bare->OfferEvents({}, zinna::win32::kAgentEventsIid);
    ManualQueue queue;
    RecordingEvents events;
    AgentComControl control(Dispatch(bare), events, queue);
    control.SetConnected(zinna::basic::True);
    CHECK(bare->Fire(401, {Text(L"x")}) == S_OK);
    queue.RunAll();
    CHECK(events.log.empty());
    CHECK(log == InvocationLog{"Control.Connected put (BOOL -1)"});
}
