// The COM client of the installed character control under the character control's contract,
// against the test's fake control. The fake answers calls and raises the events it is told to; it
// does not play requests, so the cases about playing are the installed control's own business.
#include "platform/win32/windows_api.h"
#include <objbase.h>

#include "contract/agent_control_contract.h"
#include "com_test_support.h"
#include "fake_agent_control.h"
#include "platform/win32/agent_com_control.h"

#include <doctest/doctest.h>

namespace {

using namespace zinna;

VARIANT Short(short value) {
    VARIANT v;
    v.vt = VT_I2;
    v.iVal = value;
    return v;
}

class ComControl final : public contract::ControlUnderContract {
public:
    explicit ComControl(AgentEvents& events) : control_(test::Dispatch(agent_.control), events, queue_) {}

    AgentControl& Control() override { return control_; }
    std::string LoadablePath() override { return "C:\\windows\\zinna.acs"; }
    std::string MissingPath() override { return "C:\\missing\\zinna.acs"; }  // the fake fails "missing"
    std::string Animation() override { return "Dance"; }
    void RunFor(std::int64_t) override { queue_.RunAll(); }
    std::int64_t NowMs() override { return 0; }
    bool Visible() override { return false; }
    std::pair<int, int> Position() override { return {0, 0}; }
    void UserChoosesCommand(const std::string& name) override {
        CHECK(agent_.FireCommand(std::wstring(name.begin(), name.end())) == S_OK);
    }
    void UserDoubleClicks() override { CHECK(agent_.FireDblClick(40, 50) == S_OK); }
    void UserDragsTo(int frameX, int frameY) override {
        VARIANT id;
        id.vt = VT_BSTR;
        id.bstrVal = SysAllocString(L"zinna");
        CHECK(agent_.control->Fire(test::kEventIds.at(L"DragStart"), {id, Short(1), Short(0), Short(40), Short(50)}) ==
              S_OK);
        CHECK(agent_.control->Fire(test::kEventIds.at(L"DragComplete"),
                                   {id, Short(1), Short(0), Short(static_cast<short>(frameX + 40)),
                                    Short(static_cast<short>(frameY + 50))}) == S_OK);
        SysFreeString(id.bstrVal);
    }

private:
    test::ComApartment apartment_;
    test::FakeAgent agent_;
    test::ManualQueue queue_;  // posted events arrive when the contract lets time pass
    win32::AgentComControl control_;
};

constexpr char kPlaysItself[] = "the installed control plays requests itself; the fake control only answers";

}  // namespace

ZINNA_AGENT_CONTROL_CONTRACT(zinna::contract::AgentControlRegistration{
    "the COM client against the fake control",
    [](zinna::AgentEvents& events) { return std::make_unique<ComControl>(events); },
    {
        {"not-loaded", "a character's id is checked by the installed control; the fake answers for any id"},
        {"load-request", kPlaysItself},
        {"queue-order", kPlaysItself},
        {"show-hide", kPlaysItself},
        {"move-timing", kPlaysItself},
        {"stop", kPlaysItself},
        {"stop-mid-move", kPlaysItself},
        {"drop-places", kPlaysItself},
    },
})
