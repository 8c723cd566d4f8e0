// When the built-in host wakes: a boundary that shows nothing (a wing beat's end before the next
// short step) is handled at the next wake-up that shows something, at its own time, so what is
// shown and when stays the same while the wake-ups drop from three a wing beat to two.
#include "host_test_character.h"

#include "platform/sim/virtual_clock.h"
#include "stage/acs/acs_writer.h"
#include "stage/host/stage_control.h"

#include <doctest/doctest.h>

#include <functional>
#include <string>
#include <vector>

using namespace zinna;
using namespace zinna::stage;

namespace {

// The virtual clock, with timers that can be made to fire late, as on a busy machine.
struct LateClock final : Clock {
    sim::VirtualClock inner;
    std::int64_t lateMs = 0;  // a timer set from now on for a later time fires this much late
    std::int64_t NowMs() const override { return inner.NowMs(); }
    ClockTimerId ScheduleAt(std::int64_t timeMs, std::function<void()> callback) override {
        return inner.ScheduleAt(timeMs > NowMs() ? timeMs + lateMs : timeMs, std::move(callback));
    }
    void Cancel(ClockTimerId id) override { inner.Cancel(id); }
};

// The program's events in the order it hears them, with the time it hears each.
struct EventLog final : AgentEvents {
    Clock* clock = nullptr;
    std::vector<std::string> lines;
    std::map<RequestId, std::int64_t> started, completed;

    std::string At() const { return "@" + std::to_string(clock->NowMs()); }
    void Command(const std::string&) override {}
    void DblClick(const std::string&, basic::Integer, basic::Integer, basic::Integer, basic::Integer) override {}
    void DragStart(const std::string&, basic::Integer, basic::Integer, basic::Integer, basic::Integer) override {
        lines.push_back("DragStart" + At());
    }
    void DragComplete(const std::string&, basic::Integer, basic::Integer, basic::Integer, basic::Integer) override {
        lines.push_back("DragComplete" + At());
    }
    void RequestStart(RequestId request) override {
        started[request] = clock->NowMs();
        lines.push_back("Start " + std::to_string(request) + At());
    }
    void RequestComplete(RequestId request) override {
        completed[request] = clock->NowMs();
        lines.push_back("Complete " + std::to_string(request) + At());
    }
    void IdleStart(const std::string&) override {}
};

struct NoSound final : SoundOutput {
    void Play(std::span<const std::uint8_t>) override {}
};

// The host's test character with a wing beat: Flap, two frames of 60 ms (images 3 and 4).
std::vector<std::uint8_t> FlyingCharacterFile() {
    acs::Character character = testing::MakeHostTestCharacter();
    character.animations.push_back(testing::FlapAnimation());
    return acs::WriteAcs(character);
}

// A host standing visible at (100, 100) from 200 ms on, idling off; every change it tells its
// renderer is written down as "time animation#frame x,y".
struct Host {
    LateClock clock;
    EventLog events;
    NoSound sound;
    StageControl control;
    StageCharacter* c = nullptr;
    std::vector<std::string> shown;

    Host()
        : control(
              clock, events, sound, [](const std::string&) { return FlyingCharacterFile(); }, StageSettings{}) {
        events.clock = &clock;
        REQUIRE(control.CharactersLoad("tester", "C:\\tester.acs") == 1);
        c = control.Loaded();
        c->SetIdleOn(basic::False);
        c->SetChangeListener([this] {
            shown.push_back(std::to_string(clock.NowMs()) + " " + c->ShownAnimation() + "#" +
                            std::to_string(c->ShownFrameIndex()) + " " + std::to_string(c->X()) + "," +
                            std::to_string(c->Y()));
        });
        c->MoveTo(100, 100, std::nullopt);
        c->Show();
        RunUntil(1000);
        shown.clear();
        events.lines.clear();
    }
    void RunUntil(std::int64_t ms) { clock.inner.RunUntil(ms, {}); }
    // Three wing beats, each a short step (10 px in 20 ms) then Flap: the opening's flight.
    std::vector<RequestId> Fly() {
        return {c->MoveTo(110, 100, 1000), c->Play("Flap"),           c->MoveTo(120, 100, 1000),
                c->Play("Flap"),           c->MoveTo(130, 105, 1000), c->Play("Flap")};
    }
};

// The flight from 1000 ms on as it is shown: a step's end places her and shows the next beat's
// first frame, 60 ms later its second frame; the beat's end 60 ms after that shows nothing (the
// next step's only placement is at its end) and has no wake-up of its own.
const std::vector<std::string> kFlight = {
    "1000 Showing#1 100,100",  // the first step sets off at once: nothing to show until its end
    "1020 Flap#0 110,100",    "1080 Flap#1 110,100", "1160 Flap#0 120,100",
    "1220 Flap#1 120,100",    "1300 Flap#0 130,105", "1360 Flap#1 130,105",
    "1420 Flap#1 130,105",  // the last beat ends with nothing behind it: woken at its end
};

}  // namespace

TEST_CASE("a flight wakes the host twice a wing beat, showing each frame and place at its time") {
    Host host;
    const std::vector<RequestId> ids = host.Fly();
    host.RunUntil(3000);
    CHECK(host.shown == kFlight);
    // Each request still starts when the one before it ends; the program hears of a start or an
    // end at a beat's end with the next wake-up, 20 ms later.
    CHECK(host.events.started.at(ids[0]) == 1000);
    CHECK(host.events.completed.at(ids[0]) == 1020);
    CHECK(host.events.started.at(ids[1]) == 1020);
    CHECK(host.events.completed.at(ids[1]) == 1160);  // ended at 1140
    CHECK(host.events.started.at(ids[2]) == 1160);    // set off at 1140
    CHECK(host.events.completed.at(ids[5]) == 1420);
    CHECK(host.c->QueuedRequests() == 0);
}

TEST_CASE("calls from outside in the middle of a boundary left for later see her up to date") {
    struct Case {
        std::string what;
        std::int64_t at;  // between the first beat's end (1140) and the next wake-up (1160)
        std::function<void(Host&)> call;
        std::function<void(Host&)> check;
    };
    const std::vector<Case> cases = {
        {"Stop interrupts the step that set off at the beat's end, where it has brought her", 1150,
         [](Host& host) { host.c->Stop(); },
         [](Host& host) {
             CHECK(host.c->X() == 115);  // halfway through the step from 110 to 120
             CHECK(host.c->QueuedRequests() == 0);
             CHECK(host.events.lines == std::vector<std::string>{"Start 4@1000", "Complete 4@1020", "Start 5@1020",
                                                                 "Complete 5@1150", "Start 6@1150", "Complete 6@1150"});
             CHECK(host.shown.back() == "1150 Flap#1 115,100");  // shown where the step stopped
         }},
        {"a request queued then does not push the flight back", 1150, [](Host& host) { host.c->Play("Kiss"); },
         [](Host& host) {
             std::vector<std::string> expected = kFlight;
             expected.back() = "1420 Kiss#0 130,105";  // the queued animation follows the flight
             expected.push_back("1520 Kiss#0 130,105");
             CHECK(host.shown == expected);
         }},
        {"a drag hears of the boundary's events first, and wakes the host at each boundary while it lasts", 1150,
         [](Host& host) {
             PointerInput& pointer = host.c->Pointer();
             pointer.Press(PointerButton::Left, 115, 105, host.c->X(), host.c->Y());
             pointer.Move(150, 150);
         },
         [](Host& host) {
             REQUIRE(host.events.lines.size() >= 6);
             CHECK(std::vector<std::string>(host.events.lines.begin() + 3, host.events.lines.begin() + 6) ==
                   std::vector<std::string>{"Complete 5@1150", "Start 6@1150", "DragStart@1150"});
             CHECK(std::find(host.shown.begin(), host.shown.end(), "1280 Flap#1 120,100") != host.shown.end());
         }},
    };
    for (const Case& test : cases) {
        CAPTURE(test.what);
        Host host;
        host.Fly();
        host.RunUntil(test.at);
        CHECK(host.shown.back() == "1080 Flap#1 110,100");  // the beat's end has not been handled yet
        test.call(host);
        host.RunUntil(3000);
        test.check(host);
    }
}

TEST_CASE("a wake-up that comes late catches up at each boundary's own time: the flight is not stretched") {
    Host host;
    const std::vector<RequestId> ids = host.Fly();
    host.RunUntil(1079);
    host.clock.lateMs = 150;  // the wake-up set at 1080 (for 1160) comes at 1310
    host.RunUntil(1081);
    host.clock.lateMs = 0;
    host.RunUntil(3000);
    CHECK(host.shown == std::vector<std::string>{"1000 Showing#1 100,100", "1020 Flap#0 110,100", "1080 Flap#1 110,100",
                                                 "1310 Flap#0 130,105",  // as shown from 1300 on
                                                 "1360 Flap#1 130,105", "1420 Flap#1 130,105"});
    CHECK(host.events.completed.at(ids[5]) == 1420);
}

TEST_CASE("only a boundary that shows nothing waits: the wake-ups after animations of every kind") {
    struct Case {
        std::string what;
        std::function<void(Host&)> queue;
        std::vector<std::string> shown;
    };
    const std::vector<Case> cases = {
        {"a return animation shows at the animation's end; its own end is left to the step's",
         [](Host& host) {
             host.c->Play("Blink");
             host.c->MoveTo(110, 100, 1000);
         },
         {"1000 Blink#0 100,100", "1100 Blink#1 100,100", "1200 Blink#2 100,100", "1300 Rest#0 100,100",
          "1420 Rest#0 110,100"}},
        {"her showing animation's end, as in the opening, is left to the first step's",
         [](Host& host) {
             host.c->Hide();
             host.c->Show();
             host.c->MoveTo(110, 100, 1000);
         },
         {"1000 Hiding#0 100,100", "1100 Hiding#1 100,100", "1200 Showing#0 100,100", "1300 Showing#1 100,100",
          "1420 Showing#1 110,100"}},
        {"a loop leaves by its exit branch once the step waits; the branch's frame shows",
         [](Host& host) {
             host.c->Play("Loop");
             host.RunUntil(1250);
             host.c->MoveTo(110, 100, 1000);
         },
         {"1000 Loop#0 100,100", "1100 Loop#1 100,100", "1200 Loop#0 100,100", "1300 Loop#1 100,100",
          "1400 Loop#2 100,100", "1520 Loop#2 110,100"}},
        {"a longer move shows her walking from the animation's end",
         [](Host& host) {
             host.c->Play("Kiss");
             host.c->MoveTo(400, 100, 1000);
         },
         {"1000 Kiss#0 100,100", "1100 Walk#0 100,100", "1116 Walk#0 108,100"}},
        {"a step to where she stands ends at once, and nothing waits behind it",
         [](Host& host) {
             host.c->Play("Kiss");
             host.c->MoveTo(100, 100, 1000);
         },
         {"1000 Kiss#0 100,100", "1100 Kiss#0 100,100"}},
        {"an animation followed by another shows the next one's first frame",
         [](Host& host) {
             host.c->Play("Kiss");
             host.c->Play("Flap");
         },
         {"1000 Kiss#0 100,100", "1100 Flap#0 100,100", "1160 Flap#1 100,100", "1220 Flap#1 100,100"}},
    };
    for (const Case& test : cases) {
        CAPTURE(test.what);
        Host host;
        test.queue(host);
        host.RunUntil(3000);
        std::vector<std::string> shown = host.shown;
        if (shown.size() > test.shown.size()) shown.resize(test.shown.size());
        CHECK(shown == test.shown);
    }
}
