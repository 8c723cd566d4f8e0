// A screen that can show a picture at a later time by itself (an X server holding her requests on
// its own clock) is handed her next frame ahead: she wakes once a wing beat instead of twice, and
// the screen shows the same pictures in the same places at the same times as a screen that is told
// each change when it is due. Whatever comes before a held frame's time reaches the screen right
// after it, never later than kShowAheadMs.
#include "host_test_character.h"

#include "platform/sim/recorded_surface.h"
#include "platform/sim/virtual_clock.h"
#include "stage/acs/acs_writer.h"
#include "stage/host/stage_control.h"
#include "stage/host/stage_presenter.h"

#include <doctest/doctest.h>

#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace zinna;
using namespace zinna::stage;

namespace {

// Her clock: the virtual clock, with the times at which she ran anything written down (her
// wake-ups). The screen's own holds run on the virtual clock itself, as the X server's do.
struct WakeCountingClock final : Clock {
    explicit WakeCountingClock(sim::VirtualClock& inner) : inner(inner) {}
    sim::VirtualClock& inner;
    std::set<std::int64_t> wakeUps;
    std::int64_t NowMs() const override { return inner.NowMs(); }
    ClockTimerId ScheduleAt(std::int64_t timeMs, std::function<void()> callback) override {
        return inner.ScheduleAt(timeMs, [this, callback = std::move(callback)] {
            wakeUps.insert(inner.NowMs());
            callback();
        });
    }
    void Cancel(ClockTimerId id) override { inner.Cancel(id); }
};

// The host's test character with a wing beat, Flap (two frames of 60 ms, images 3 and 4); Glide,
// whose second frame (image 5) comes 150 ms after its first, too long to hand ahead; and Swerve,
// Flap's pictures with a branch on the first frame.
std::vector<std::uint8_t> FlyingCharacterFile() {
    acs::Character character = testing::MakeHostTestCharacter();
    character.animations.push_back(testing::FlapAnimation());
    character.animations.push_back(
        testing::TestAnimation("Glide", {testing::TestFrame(6, 15), testing::TestFrame(5, 15)}));
    acs::Animation swerve = testing::TestAnimation("Swerve", {testing::TestFrame(3, 6), testing::TestFrame(4, 6)});
    swerve.frames[0].branches.push_back({1, 50});
    character.animations.push_back(swerve);
    return acs::WriteAcs(character);
}

// Her on a recorded screen that holds (or cannot), standing at (100, 100) from 1000 ms on.
struct Stage {
    sim::VirtualClock clock;
    WakeCountingClock herClock{clock};
    testing::UnheardEvents events;
    testing::Silence sound;
    StageControl control;
    StageCharacter* her = nullptr;
    sim::RecordedSurface surface;
    std::deque<std::function<void()>> posted;
    std::unique_ptr<StagePresenter> presenter;

    explicit Stage(bool holds)
        : control(
              herClock, events, sound, [](const std::string&) { return FlyingCharacterFile(); }, StageSettings{}),
          surface(true, holds ? &clock : nullptr) {
        REQUIRE(control.CharactersLoad("tester", "C:\\tester.acs") == 1);
        her = control.Loaded();
        her->SetIdleOn(basic::False);
        presenter = std::make_unique<StagePresenter>(
            *her, surface, [this](std::function<void()> work) { posted.push_back(std::move(work)); });
        her->MoveTo(100, 100, std::nullopt);
        her->Show();
        RunTo(1000);
        herClock.wakeUps.clear();
    }
    ~Stage() { presenter.reset(); }
    void RunTo(std::int64_t ms) {
        clock.RunUntil(ms, {});
        while (!posted.empty()) {
            std::function<void()> work = std::move(posted.front());
            posted.pop_front();
            work();
        }
    }
    // Three wing beats, each a short step (10 px in 20 ms) then Flap, as her flights go.
    void Fly() {
        her->MoveTo(110, 100, 1000);
        her->Play("Flap");
        her->MoveTo(120, 100, 1000);
        her->Play("Flap");
        her->MoveTo(130, 100, 1000);
        her->Play("Flap");
    }
    std::string Screen() const {
        if (!surface.PictureShown()) return "hidden";
        return std::to_string(surface.PictureNumber()) + " at " + std::to_string(surface.X()) + "," +
               std::to_string(surface.Y());
    }
};

// What the screen shows at each millisecond from 1000 to `to`, with `act` run at `at`; with the
// wake-ups she made.
struct Watched {
    std::vector<std::string> screen;
    std::set<std::int64_t> wakeUps;
};
Watched Watch(bool holds, std::int64_t to, std::int64_t at = 0, const std::function<void(Stage&)>& act = {}) {
    Stage stage(holds);
    stage.Fly();
    Watched watched;
    for (std::int64_t ms = 1000; ms <= to; ++ms) {
        stage.RunTo(ms);
        if (act && ms == at) {
            act(stage);
            stage.RunTo(ms);
        }
        watched.screen.push_back(stage.Screen());
    }
    watched.wakeUps = stage.herClock.wakeUps;
    return watched;
}

}  // namespace

TEST_CASE("a screen that holds shows her flight exactly as one told each change, with one wake-up a wing beat") {
    const Watched told = Watch(false, 1600);
    const Watched held = Watch(true, 1600);
    CHECK(held.screen == told.screen);
    // Told: each beat's placement and its second frame; the first beat's second frame is a picture
    // not made yet, so it is made at its time. Held: the second frame of every later beat is handed
    // over with the placement before it.
    CHECK(told.wakeUps == std::set<std::int64_t>{1000, 1020, 1080, 1160, 1220, 1300, 1360, 1420});
    CHECK(held.wakeUps == std::set<std::int64_t>{1000, 1020, 1080, 1160, 1300, 1420});
}

TEST_CASE(
    "what comes before a held frame's time reaches the screen right after it, and she is told each change again") {
    // The second beat's placement (1160) hands its second frame over for 1220.
    struct Case {
        const char* what;
        std::function<void(Stage&)> act;  // at 1190
    };
    const Case cases[] = {
        {"stopped: the beat's first frame stays where the stop found her", [](Stage& s) { s.her->Stop(); }},
        {"dragged: she follows the pointer",
         [](Stage& s) {
             s.presenter->Press(PointerButton::Left, 130, 110, 0);
             s.presenter->Move(160, 140);
         }},
        {"hidden by the program at once",
         [](Stage& s) {
             s.her->Stop();
             s.her->Hide();
         }},
        {"a request queued behind the flight changes nothing shown", [](Stage& s) { s.her->Play("Flap"); }},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        const Watched told = Watch(false, 2000, 1190, c.act);
        const Watched held = Watch(true, 2000, 1190, c.act);
        // Before the call and from the held frame's time on, the two screens agree; between them the
        // held screen still shows what it showed when the frame was handed over.
        std::vector<std::string> toldOutside, heldOutside, heldBetween;
        for (std::size_t i = 0; i < told.screen.size(); ++i) {
            const std::size_t ms = 1000 + i;
            if (ms < 1190 || ms >= 1220) {
                toldOutside.push_back(std::to_string(ms) + " " + told.screen[i]);
                heldOutside.push_back(std::to_string(ms) + " " + held.screen[i]);
            } else {
                heldBetween.push_back(held.screen[i]);
            }
        }
        CHECK(heldOutside == toldOutside);
        CHECK(heldBetween == std::vector<std::string>(30, held.screen[189]));
    }
}

TEST_CASE("a frame is held only when it is certain, near and already made") {
    struct Case {
        const char* what;
        std::function<void(Stage&)> play;
        bool held;
    };
    const Case cases[] = {
        {"the wing beat's second frame, made at the first beat",
         [](Stage& s) {
             s.her->Play("Flap");
             s.RunTo(1200);
             s.her->Play("Flap");
         },
         true},
        {"a frame not made yet is made at its time", [](Stage& s) { s.her->Play("Flap"); }, false},
        {"a frame more than kShowAheadMs away",
         [](Stage& s) {
             s.her->Play("Glide");
             s.RunTo(1400);
             s.her->Play("Glide");
         },
         false},
        {"a frame after a branch",
         [](Stage& s) {
             s.her->Play("Flap");
             s.RunTo(1200);
             s.her->Play("Swerve");
         },
         false},
        {"while the pointer holds her",
         [](Stage& s) {
             s.her->Play("Flap");
             s.RunTo(1200);
             s.presenter->Press(PointerButton::Left, 110, 110, 0);
             s.her->Play("Flap");
         },
         false},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        Stage stage(true);
        c.play(stage);
        stage.surface.Take();
        bool held = false;
        const std::int64_t from = stage.clock.NowMs();
        for (std::int64_t ms = from; ms < from + 400 && !held; ++ms) {
            stage.RunTo(ms);
            for (const std::string& call : stage.surface.Take()) held = held || call.rfind("hold ", 0) == 0;
        }
        CHECK(held == c.held);
    }
}
