#include "host_test_character.h"

#include "platform/sim/virtual_clock.h"
#include "basic/basic_error.h"
#include "stage/host/balloon_layout.h"
#include "stage/host/menu_model.h"
#include "stage/host/stage_control.h"

#include <doctest/doctest.h>

#include <map>

using namespace zinna;
using namespace zinna::stage;
using zinna::sim::VirtualClock;

namespace {

// Records the events the host raises, with their times.
struct EventLog final : AgentEvents {
    VirtualClock* clock = nullptr;
    std::vector<std::string> lines;
    std::map<RequestId, std::int64_t> started, completed;

    void Command(const std::string& name) override { lines.push_back("Command " + name); }
    void DblClick(const std::string&, basic::Integer, basic::Integer, basic::Integer, basic::Integer) override {
        lines.push_back("DblClick");
    }
    void DragStart(const std::string&, basic::Integer, basic::Integer, basic::Integer, basic::Integer) override {
        lines.push_back("DragStart");
    }
    void DragComplete(const std::string&, basic::Integer, basic::Integer, basic::Integer x, basic::Integer y) override {
        lines.push_back("DragComplete " + std::to_string(x) + "," + std::to_string(y));
    }
    void RequestStart(RequestId request) override { started[request] = clock->NowMs(); }
    void RequestComplete(RequestId request) override { completed[request] = clock->NowMs(); }
    void IdleStart(const std::string&) override { lines.push_back("IdleStart@" + std::to_string(clock->NowMs())); }
};

struct SoundLog final : SoundOutput {
    int played = 0;
    void Play(std::span<const std::uint8_t>) override { ++played; }
};

// A host with the test character loaded, idling switched off as the program does.
struct Host {
    VirtualClock clock;
    EventLog events;
    SoundLog sound;
    StageControl control;
    StageCharacter* character = nullptr;
    int wakeUps = 0;

    explicit Host(StageSettings settings = {})
        : control(
              clock, events, sound, [](const std::string&) { return testing::HostTestCharacterFile(); }, settings) {
        events.clock = &clock;
        CHECK(control.CharactersLoad("tester", "C:\\tester.acs") == 1);
        character = control.Loaded();
        character->SetIdleOn(basic::False);
        character->SetChangeListener([this] { ++wakeUps; });
    }
    void RunFor(std::int64_t ms) { clock.RunUntil(clock.NowMs() + ms, {}); }
    void RunUntilIdle() {
        for (int i = 0; i < 1000 && character->QueuedRequests() > 0; ++i) RunFor(100);
        RunFor(10);
    }
};

}  // namespace

TEST_CASE("requests play one after another in the order queued, with ids from the load's on") {
    Host host;
    StageCharacter& c = *host.character;
    RequestId move = c.MoveTo(100, 50, std::nullopt);  // hidden: placed at once
    RequestId show = c.Show();
    RequestId play = c.Play("Blink");
    RequestId hide = c.Hide();
    CHECK(std::vector<RequestId>{move, show, play, hide} == std::vector<RequestId>{2, 3, 4, 5});
    CHECK(host.events.started.empty());  // nothing plays before the calls have returned

    host.RunUntilIdle();
    CHECK(host.events.started.at(2) == 0);
    CHECK(host.events.completed.at(2) == 0);
    CHECK(host.events.completed.at(3) == 200);  // the showing animation: two frames of 100 ms
    CHECK(host.events.started.at(4) == 200);
    CHECK(host.events.completed.at(4) == 200 + 300 + 100);  // Blink, then its return animation Rest
    CHECK(c.ShownAnimation() == "Hiding");
    CHECK(host.events.completed.at(5) == 800);
    CHECK(!c.Visible());
    CHECK(c.X() == 100);
    CHECK(c.Y() == 50);
}

TEST_CASE("an animation the character lacks fails at the call and queues nothing") {
    Host host;
    try {
        host.character->Play("Somersault");
        FAIL("no error");
    } catch (const basic::BasicError& error) {
        CHECK(error.Number() == static_cast<std::int32_t>(kErrAnimationNotFound));
    }
    CHECK(host.character->QueuedRequests() == 0);
    CHECK(host.character->Play("blink") == 2);  // names match without regard to case
}

TEST_CASE("moves: at once while hidden or at speed 0, otherwise straight and timed by distance") {
    Host host;
    StageCharacter& c = *host.character;
    c.Show();
    host.RunUntilIdle();
    RequestId hidden = c.MoveTo(10, 10, std::nullopt);
    host.RunUntilIdle();
    CHECK(host.events.completed.at(hidden) - host.events.started.at(hidden) > 0);  // she is visible now

    std::int64_t start = host.clock.NowMs();
    RequestId far = c.MoveTo(510, 10, std::nullopt);  // 500 px at the default speed: 1000 ms
    host.RunFor(500);
    CHECK(c.X() > 200);
    CHECK(c.X() < 320);
    CHECK(c.ShownAnimation() == "Walk");  // moving to the screen's right is her left
    host.RunUntilIdle();
    CHECK(host.events.completed.at(far) - start == 1000);
    CHECK(c.X() == 510);

    RequestId step = c.MoveTo(515, 6, 1000);  // a flight's waypoint: 20 ms, the pose kept
    c.Play("Blink");
    host.RunFor(20);
    CHECK(host.events.completed.at(step) - host.events.started.at(step) == 20);
    CHECK(c.ShownAnimation() != "Walk");

    RequestId instant = c.MoveTo(0, 0, 0);
    host.RunUntilIdle();
    CHECK(host.events.completed.at(instant) == host.events.started.at(instant));
    c.Hide();
    host.RunUntilIdle();
    RequestId whileHidden = c.MoveTo(300, 300, 1000);
    host.RunUntilIdle();
    CHECK(host.events.completed.at(whileHidden) == host.events.started.at(whileHidden));
}

TEST_CASE("Stop ends the current request, removes the queued ones, and a loop leaves by its exit branch") {
    Host host;
    StageCharacter& c = *host.character;
    c.Show();
    RequestId loop = c.Play("Loop");
    host.RunFor(5000);
    CHECK(!host.events.completed.count(loop));  // nothing waits behind it: it keeps looping
    RequestId queued = c.Play("Blink");
    CHECK(c.QueuedRequests() == 2);

    c.Stop();
    CHECK(c.QueuedRequests() == 0);
    host.RunFor(1);
    CHECK(host.events.completed.count(loop));
    CHECK(!host.events.started.count(queued));
    host.RunFor(250);
    CHECK(c.ShownAnimation() == "Loop");  // the exit branch leads to the loop's last frame
    CHECK(c.ShownFrameIndex() == 2);

    RequestId after = c.Play("Kiss");
    host.RunUntilIdle();
    CHECK(host.events.completed.count(after));
}

TEST_CASE("a looping animation leaves through its exit branch once another request waits") {
    Host host;
    StageCharacter& c = *host.character;
    c.Show();
    RequestId loop = c.Play("Loop");
    host.RunFor(2000);
    RequestId next = c.Play("Kiss");
    host.RunFor(1000);
    CHECK(host.events.completed.count(loop));
    CHECK(host.events.started.count(next));
}

TEST_CASE("branches are drawn from the host's own numbers, taking each path") {
    Host host;
    StageCharacter& c = *host.character;
    c.Show();
    host.RunUntilIdle();
    int shortPaths = 0, longPaths = 0;
    for (int i = 0; i < 40; ++i) {
        RequestId id = c.Play("Chance");
        host.RunUntilIdle();
        std::int64_t took = host.events.completed.at(id) - host.events.started.at(id);
        (took == 200 ? shortPaths : longPaths)++;
        CHECK((took == 200 || took == 300));
    }
    CHECK(shortPaths > 5);
    CHECK(longPaths > 5);
}

TEST_CASE("frames are composed back to front, the transparent index clear, the mouth over the speaking frame") {
    Host host;
    StageCharacter& c = *host.character;
    c.Show();
    host.RunUntilIdle();
    const acs::RgbaImage& rest = c.FrameImage();
    CHECK(rest.width == testing::kTestFrameSide);
    CHECK((rest.At(5, 5) & 0xFF) == 255);

    c.Speak("Hello there, lantern light");
    host.RunFor(10);
    const acs::RgbaImage& speaking = c.FrameImage();
    CHECK(c.ShownAnimation() == "Talk");
    // The mouth image (colour of image 14) is drawn over the speaking frame (image 13).
    CHECK(speaking.rgba[0] == static_cast<std::uint8_t>(15 * 7));
}

TEST_CASE("speech: the balloon shows the words at a readable pace, then goes") {
    Host host;
    StageCharacter& c = *host.character;
    c.MoveTo(400, 400, std::nullopt);
    c.Show();
    host.RunUntilIdle();
    c.SetBalloonFontSize(8);
    RequestId speech = c.Speak("one two three four");
    host.RunFor(1);
    REQUIRE(c.Balloon());
    CHECK(c.BalloonLinesShown() == std::vector<std::string>{"one"});
    host.RunFor(kSpeechWordMs * 2);
    CHECK(c.BalloonLinesShown() == std::vector<std::string>{"one two three"});
    CHECK(c.Balloon()->rect.bottom <= 400);  // above her
    host.RunUntilIdle();
    CHECK(!c.Balloon());
    CHECK(host.events.completed.at(speech) - host.events.started.at(speech) == 3 * kSpeechWordMs + kSpeechHoldMs);
}

TEST_CASE("the balloon stands above the character, below her near the top, always inside the screen") {
    const std::string text = "Lantern Hall, made by the people who light the lanterns every night.";
    BalloonLayout middle = LayOutBalloon(text, 10, 32, {448, 320, 576, 448}, 1024, 768);
    CHECK(middle.pointsDown);
    CHECK(middle.rect.bottom + kBalloonPointerHeight == 320);
    CHECK((middle.rect.left + middle.rect.right) / 2 == 512);
    CHECK(middle.lines.size() == 3);
    for (const auto& line : middle.lines) CHECK(line.size() <= 32);

    BalloonLayout top = LayOutBalloon(text, 10, 32, {448, 10, 576, 138}, 1024, 768);
    CHECK(!top.pointsDown);
    CHECK(top.rect.top == 138 + kBalloonPointerHeight);

    BalloonLayout left = LayOutBalloon(text, 10, 32, {-100, 300, 28, 428}, 1024, 768);
    CHECK(left.rect.left == 0);
    BalloonLayout right = LayOutBalloon(text, 10, 32, {990, 300, 1118, 428}, 1024, 768);
    CHECK(right.rect.right == 1024);
    CHECK(right.pointerX <= right.rect.right - kBalloonPadding);

    BalloonLayout offscreen = LayOutBalloon(text, 10, 32, {400, -128, 528, 0}, 1024, 768);
    CHECK(offscreen.rect.top >= 0);
    CHECK(WrapText("abcdefghij", 4) == std::vector<std::string>{"abcd", "efgh", "ij"});
    CHECK(FontPixelsForPoints(8) == 11);
}

TEST_CASE("the pointer: a press becomes a drag past the threshold, the frame follows, the drop raises DragComplete") {
    Host host;
    StageCharacter& c = *host.character;
    c.MoveTo(100, 100, std::nullopt);
    c.Show();
    host.RunUntilIdle();

    PointerInput& pointer = c.Pointer();
    pointer.Press(PointerButton::Left, 116, 116, c.X(), c.Y());
    pointer.Move(118, 119);  // under the threshold: still a press
    host.RunFor(1);
    CHECK(host.events.lines.empty());
    CHECK(c.X() == 100);
    pointer.Move(216, 316);
    CHECK(c.X() == 200);  // the grab point stays under the pointer
    CHECK(c.Y() == 300);
    pointer.Release(PointerButton::Left, 316, 416);
    host.RunFor(1);
    CHECK(host.events.lines == std::vector<std::string>{"DragStart", "DragComplete 316,416"});
    CHECK(c.X() == 300);

    host.events.lines.clear();
    pointer.Press(PointerButton::Left, 310, 410, c.X(), c.Y());
    pointer.Release(PointerButton::Left, 310, 410);
    pointer.DoubleClick(PointerButton::Left, 310, 410);
    pointer.Release(PointerButton::Left, 310, 410);
    host.RunFor(1);
    CHECK(host.events.lines == std::vector<std::string>{"DblClick"});

    int menuAt = -1;
    c.SetMenuListener([&](int x, int) { menuAt = x; });
    pointer.Press(PointerButton::Right, 320, 420, c.X(), c.Y());
    pointer.Release(PointerButton::Right, 320, 420);
    CHECK(menuAt == 320);
    c.ChooseCommand("Dance");
    host.RunFor(1);
    CHECK(host.events.lines.back() == "Command Dance");
}

TEST_CASE("menu entries keep their order and captions; access keys follow the ampersand") {
    Host host;
    StageCharacter& c = *host.character;
    c.CommandsAdd("Lantern Hall", "  &Lantern Hall  ");
    c.CommandsAdd("FlyLeft", "Fl&yLeft");
    c.CommandsAdd("EasterEgg1", "----------------");
    const auto& entries = c.Menu().Entries();
    REQUIRE(entries.size() == 3);
    CHECK(entries[1].name == "FlyLeft");
    CHECK(MenuModel::DisplayText(entries[0].caption) == "  Lantern Hall  ");
    CHECK(MenuModel::AccessKey("Fl&yLeft") == 'y');
    CHECK(MenuModel::AccessKey("Fish && &Chips") == 'c');
    CHECK(!MenuModel::AccessKey("----------------"));
    CHECK(c.Menu().EntryForKey('Y')->name == "FlyLeft");
    CHECK(c.Menu().EntryForKey('q') == nullptr);
}

TEST_CASE("sound effects play with their frames only while switched on") {
    Host host;
    StageCharacter& c = *host.character;
    c.Show();
    c.Play("Kiss");
    host.RunUntilIdle();
    CHECK(host.sound.played == 1);
    c.SetSoundEffectsOn(basic::False);
    c.Play("Kiss");
    host.RunUntilIdle();
    CHECK(host.sound.played == 1);
}

TEST_CASE("idling: with IdleOn the character idles after a while; without it the host sleeps") {
    Host host;
    StageCharacter& c = *host.character;
    c.Show();
    host.RunUntilIdle();
    CHECK(!c.NextChangeMs());  // nothing to do, idling off: no wake-ups at all
    int before = host.wakeUps;
    host.RunFor(60000);
    CHECK(host.wakeUps == before);

    c.SetIdleOn(basic::True);
    host.RunFor(10500);
    REQUIRE(!host.events.lines.empty());
    CHECK(host.events.lines[0].rfind("IdleStart@", 0) == 0);
    CHECK(c.ShownAnimation() == "Idle");
}
