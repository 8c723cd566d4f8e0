// What her windows show and when, and how the pointer's raw presses become the control's events:
// the presenter on the built-in host with the test character, drawing on a recorded surface.
#include "host_test_character.h"

#include "platform/sim/recorded_surface.h"
#include "platform/sim/virtual_clock.h"
#include "stage/host/stage_control.h"
#include "stage/host/stage_presenter.h"

#include <doctest/doctest.h>

#include <deque>
#include <functional>

namespace doctest {
template <>
struct StringMaker<std::vector<std::string>> {
    static String convert(const std::vector<std::string>& lines) {
        std::string text = "{";
        for (const std::string& line : lines) text += (text.size() > 1 ? ", \"" : "\"") + line + "\"";
        return (text + "}").c_str();
    }
};
template <>
struct StringMaker<std::vector<std::pair<std::int64_t, std::string>>> {
    static String convert(const std::vector<std::pair<std::int64_t, std::string>>& calls) {
        std::string text = "{";
        for (const auto& [at, call] : calls) text += (text.size() > 1 ? ", " : "") + std::to_string(at) + " " + call;
        return (text + "}").c_str();
    }
};
}  // namespace doctest

using namespace zinna;
using namespace zinna::stage;
using zinna::sim::RecordedSurface;

namespace {

struct EventLog final : AgentEvents {
    std::vector<std::string> lines;
    void Command(const std::string& name) override { lines.push_back("Command " + name); }
    void DblClick(const std::string&, basic::Integer, basic::Integer, basic::Integer x, basic::Integer y) override {
        lines.push_back("DblClick " + std::to_string(x) + "," + std::to_string(y));
    }
    void DragStart(const std::string&, basic::Integer, basic::Integer, basic::Integer x, basic::Integer y) override {
        lines.push_back("DragStart " + std::to_string(x) + "," + std::to_string(y));
    }
    void DragComplete(const std::string&, basic::Integer, basic::Integer, basic::Integer x, basic::Integer y) override {
        lines.push_back("DragComplete " + std::to_string(x) + "," + std::to_string(y));
    }
    void RequestStart(RequestId) override {}
    void RequestComplete(RequestId) override {}
    void IdleStart(const std::string&) override {}
};

struct NoSound final : SoundOutput {
    void Play(std::span<const std::uint8_t>) override {}
};

// The test character, except that image 3 (Blink's first frame) is transparent on its left half.
std::vector<std::uint8_t> CharacterWithHalfImage() {
    acs::Character character = testing::MakeHostTestCharacter();
    constexpr int side = testing::kTestFrameSide;
    std::vector<std::uint8_t> pixels(side * side, 4);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side / 2; ++x) pixels[y * side + x] = character.info.transparentIndex;
    character.images[3] = acs::MakeImage(side, side, pixels, character.info.transparentIndex);
    return acs::WriteAcs(character);
}

// The host with her loaded and shown at (100, 100), idling off, and the presenter drawing her.
struct Presented {
    sim::VirtualClock clock;
    EventLog events;
    NoSound sound;
    StageControl control;
    StageCharacter* her = nullptr;
    RecordedSurface surface;
    std::deque<std::function<void()>> posted;
    std::unique_ptr<StagePresenter> presenter;

    explicit Presented(std::vector<std::uint8_t> file = testing::HostTestCharacterFile(),
                       std::size_t keptBytes = kKeptPictureBytes)
        : control(
              clock, events, sound, [file](const std::string&) { return file; }, StageSettings{}) {
        control.CharactersLoad("tester", "C:\\tester.acs");
        her = control.Loaded();
        her->SetIdleOn(basic::False);
        presenter = std::make_unique<StagePresenter>(
            *her, surface, [this](std::function<void()> work) { posted.push_back(std::move(work)); }, DoubleClickRule{},
            keptBytes);
        her->MoveTo(100, 100, std::nullopt);
        her->Show();
        RunFor(1000);
    }
    void RunFor(std::int64_t ms) { clock.RunUntil(clock.NowMs() + ms, {}); }
    // The platform's handling has returned: what was posted runs.
    void RunPosted() {
        while (!posted.empty()) {
            std::function<void()> work = std::move(posted.front());
            posted.pop_front();
            work();
        }
    }
    std::vector<std::string> Events() {
        RunFor(1);
        std::vector<std::string> taken;
        taken.swap(events.lines);
        return taken;
    }
};

}  // namespace

TEST_CASE(
    "each picture is added once and then switched to, moved when only her place changed, shaped when her outline did") {
    Presented p(CharacterWithHalfImage());
    // Shown at first: Showing's two frames are one picture, added and shown once.
    CHECK(p.surface.Take() == std::vector<std::string>{"add 1", "outline 1", "show 1 at 100,100"});
    CHECK(p.surface.PictureShown());
    CHECK(p.presenter->Drawings() == 1);

    struct Row {
        const char* what;
        std::function<void(Presented&)> act;
        std::vector<std::string> calls;
    };
    const Row rows[] = {
        {"nothing changes: nothing is drawn", [](Presented& p) { p.RunFor(2000); }, {}},
        {"dragged: the same picture only moves, and a drop where it already is moves nothing",
         [](Presented& p) {
             p.presenter->Press(PointerButton::Left, 110, 110, 0);
             p.presenter->Move(150, 130);
             p.presenter->Release(PointerButton::Left, 150, 130);
         },
         {"move 140,120"}},
        // Blink: image 3 (left half clear), 4, 5 (square), back to the resting frame (image 0).
        {"new pictures are added; a new outline is shaped before the picture is shown, the same one is not",
         [](Presented& p) {
             p.her->Play("Blink");
             p.RunFor(2000);
         },
         {"add 2", "outline 2", "show 2 at 140,120", "add 3", "outline 3", "show 3 at 140,120", "add 4",
          "show 4 at 140,120", "add 5", "show 5 at 140,120"}},
        {"blinking again: every picture is kept, each is only switched to",
         [](Presented& p) {
             p.her->Play("Blink");
             p.RunFor(2000);
         },
         {"outline 2", "show 2 at 140,120", "outline 3", "show 3 at 140,120", "show 4 at 140,120",
          "show 5 at 140,120"}},
        {"another animation's frame of the same images is the same picture: nothing to draw",
         [](Presented& p) {
             p.her->Play("Kiss");
             p.RunFor(2000);
         },
         {}},
        {"hidden: the picture goes once (after Hiding's frames)",
         [](Presented& p) {
             p.her->Hide();
             p.RunFor(2000);
         },
         {"add 6", "show 6 at 140,120", "hide"}},
        {"moved while hidden: nothing on the screen",
         [](Presented& p) {
             p.her->MoveTo(300, 200, std::nullopt);
             p.RunFor(500);
         },
         {}},
        {"shown again: the kept picture shown at the new place, its outline as it was",
         [](Presented& p) {
             p.her->Show();
             p.RunFor(2000);
         },
         {"show 1 at 300,200"}},
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.what));
        row.act(p);
        CHECK(p.surface.Take() == row.calls);
    }
    CHECK(p.surface.X() == 300);
    CHECK(p.surface.Outline().size() == static_cast<std::size_t>(testing::kTestFrameSide));  // one run a row
    CHECK(p.surface.KeptPictures() == 6);
    CHECK(p.presenter->KeptPictures() == 6);
    CHECK(p.presenter->KeptBytes() == 6u * testing::kTestFrameSide * testing::kTestFrameSide * 4);
    // What the surface shows is the frame's own picture.
    CHECK(p.surface.Picture().rgba == p.her->FrameImage().rgba);
}

TEST_CASE("the kept pictures stay within their bound, the one shown always; another scale's go") {
    constexpr std::size_t picture = std::size_t{testing::kTestFrameSide} * testing::kTestFrameSide * 4;
    // Blink's three frames and the resting one, with room for two pictures.
    Presented p(CharacterWithHalfImage(), 2 * picture);
    p.surface.Take();
    struct Row {
        const char* what;
        std::function<void(Presented&)> act;
        std::vector<std::string> calls;
        std::size_t kept;
    };
    const Row rows[] = {
        {"past the bound, the picture shown longest ago goes once the new one is shown",
         [](Presented& p) {
             p.her->Play("Blink");
             p.RunFor(2000);
         },
         {"add 2", "outline 2", "show 2 at 100,100", "add 3", "outline 3", "show 3 at 100,100", "forget 1", "add 4",
          "show 4 at 100,100", "forget 2", "add 5", "show 5 at 100,100", "forget 3"},
         2},
        {"a forgotten picture comes back under a new number",
         [](Presented& p) {
             p.her->Play("Showing");
             p.RunFor(2000);
         },
         {"add 6", "show 6 at 100,100", "forget 4"},
         2},
        {"the picture shown before it is still kept: a switch",
         [](Presented& p) {
             p.her->Play("Rest");
             p.RunFor(2000);
         },
         {"show 5 at 100,100"},
         2},
        {"a picture larger than the bound is kept while it is shown; the smaller scale's go",
         [](Presented& p) {
             p.her->SetScale(3.0);
             p.RunFor(10);
         },
         {"add 7", "outline 7", "show 7 at 100,100", "forget 5", "forget 6"},
         1},
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.what));
        row.act(p);
        CHECK(p.surface.Take() == row.calls);
        CHECK(p.surface.KeptPictures() == row.kept);
        CHECK(p.presenter->KeptPictures() == row.kept);
    }
}

TEST_CASE("pictures of the same pixels are one; a new scale replaces the kept pictures; stale ones are sent again") {
    // Blink's second and third images are the same square of one colour under two numbers.
    acs::Character character = testing::MakeHostTestCharacter();
    character.images[5] = character.images[4];
    Presented p(acs::WriteAcs(character));
    p.surface.Take();
    p.her->Play("Blink");
    p.RunFor(2000);
    CHECK(p.surface.Take() == std::vector<std::string>{"add 2", "show 2 at 100,100", "add 3", "show 3 at 100,100",
                                                       "add 4", "show 4 at 100,100"});
    CHECK(p.presenter->KeptPictures() == 4);

    // On a display of twice the scale: her picture and outline at that scale, and the others go.
    p.her->SetScale(2.0);
    p.RunFor(10);
    CHECK(p.surface.Take() == std::vector<std::string>{"add 5", "outline 5", "show 5 at 100,100", "forget 1",
                                                       "forget 2", "forget 3", "forget 4"});
    CHECK(p.surface.Picture().width == 2 * testing::kTestFrameSide);
    CHECK(p.presenter->KeptPictures() == 1);

    // The platform's kept pictures went stale (a compositor came): the one shown is sent again.
    p.presenter->PicturesStale();
    CHECK(p.surface.Take() == std::vector<std::string>{"forget 5", "add 6", "outline 6", "show 6 at 100,100"});
    // Hidden, they go stale again: nothing is sent until she is shown.
    p.her->Hide();
    p.RunFor(2000);
    p.surface.Take();
    p.presenter->PicturesStale();
    CHECK(p.surface.Take().size() == 2);  // the two kept pictures forgotten
    p.her->Show();
    p.RunFor(2000);
    CHECK(p.surface.Take() == std::vector<std::string>{"add 8", "outline 8", "show 8 at 100,100"});
}

TEST_CASE("a picture's hashes tell any changed byte apart; its outline's only a change of opacity or size") {
    // 3 x 3 pixels: 36 bytes, so the last pixel falls outside the hash's whole 8-byte words.
    const acs::RgbaImage base{3, 3, std::vector<std::uint8_t>(36, 0x80)};
    const PictureHashes hashed = HashPicture(base);
    for (std::size_t byte = 0; byte < base.rgba.size(); ++byte) {
        CAPTURE(byte);
        acs::RgbaImage changed = base;
        changed.rgba[byte] ^= 0x01;
        const PictureHashes other = HashPicture(changed);
        CHECK(other.pixels != hashed.pixels);
        CHECK(other.outline == hashed.outline);  // alpha 0x81 is as opaque as 0x80
        if (byte % 4 == 3) {
            changed.rgba[byte] = 0;  // now transparent there
            CHECK(HashPicture(changed).outline != hashed.outline);
        }
    }
    CHECK(HashPicture(base).pixels == hashed.pixels);
    const acs::RgbaImage wider{9, 1, base.rgba};  // the same bytes in another shape
    CHECK(HashPicture(wider).pixels != hashed.pixels);
    CHECK(HashPicture(wider).outline != hashed.outline);
}

TEST_CASE("a move is placed at most once a display frame, and only when her place changes") {
    // Moves from (100, 100); times from the request. Under kShortMoveMs she keeps her pose.
    struct Row {
        const char* what;
        int toX, toY, speed;
        std::vector<std::pair<std::int64_t, std::string>> calls;
        int wakeUps;  // the clock's callbacks at most: the moves, the request's start and end, her frames
    };
    const Row rows[] = {
        // 20 ms: a step at 16 ms and the end at 20 would be two moves within one frame.
        {"10 px in 20 ms: one move, at the end", 110, 100, 1000, {{20, "move 110,100"}}, 4},
        {"40 px in 80 ms: one move a frame",
         140,
         100,
         1000,
         {{16, "move 108,100"}, {32, "move 116,100"}, {48, "move 124,100"}, {64, "move 132,100"}, {80, "move 140,100"}},
         8},
        {"30 px in 60 ms: the end comes less than a frame after the third frame, and takes its place",
         100,
         130,
         1000,
         {{16, "move 100,108"}, {32, "move 100,116"}, {60, "move 100,130"}},
         6},
        // 5 px in 600 ms, shown moving: her place changes every 120 ms, and is shown at the frame
        // after; a placement every frame would be 38 wake-ups.
        {"slow: a move for each pixel, on the frame after it",
         95,
         100,
         30000,
         {{0, "add 2"},
          {0, "show 2 at 100,100"},
          {128, "move 99,100"},
          {240, "move 98,100"},
          {368, "move 97,100"},
          {480, "move 96,100"},
          {600, "move 95,100"}},
         11},
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.what));
        Presented p;
        p.surface.Take();
        const std::int64_t start = p.clock.NowMs();
        p.her->MoveTo(row.toX, row.toY, row.speed);
        std::vector<std::pair<std::int64_t, std::string>> calls;
        int wakeUps = 0;
        p.clock.RunUntil(start + 2000, [&] {
            ++wakeUps;
            for (std::string& call : p.surface.Take()) calls.emplace_back(p.clock.NowMs() - start, std::move(call));
            return false;
        });
        CHECK(calls == row.calls);
        CHECK(wakeUps <= row.wakeUps);
    }
}

TEST_CASE("a drag's pointer moves within one frame make one move, at the frame's end, to her latest place") {
    Presented p;
    p.surface.Take();
    struct Step {
        const char* what;
        std::function<void(Presented&)> act;
        std::vector<std::string> calls;
    };
    const Step steps[] = {
        {"the first move of the drag is made at once",
         [](Presented& p) {
             p.presenter->Press(PointerButton::Left, 110, 110, 0);
             p.presenter->Move(150, 130);
         },
         {"move 140,120"}},
        {"two more within the same frame: nothing yet",
         [](Presented& p) {
             p.presenter->Move(160, 130);
             p.presenter->Move(170, 140);
         },
         {}},
        {"the frame's end: one move, to where the last put her",
         [](Presented& p) { p.RunFor(kMoveStepMs); },
         {"move 160,130"}},
        {"nothing more while the pointer rests", [](Presented& p) { p.RunFor(500); }, {}},
        {"a frame after the last move: at once again",
         [](Presented& p) { p.presenter->Move(180, 150); },
         {"move 170,140"}},
        {"dropped within that frame: her window follows at its end",
         [](Presented& p) {
             p.presenter->Move(190, 150);
             p.presenter->Release(PointerButton::Left, 190, 150);
             p.RunFor(kMoveStepMs - 1);
         },
         {}},
        {"...one millisecond later", [](Presented& p) { p.RunFor(1); }, {"move 180,140"}},
        // Hiding's first frame is drawn at once, where she is: the move waiting for the frame's end goes.
        {"drawn while a move waits: the drawing places her, and no move follows",
         [](Presented& p) {
             p.RunFor(100);
             p.presenter->Press(PointerButton::Left, 190, 150, 5000);
             p.presenter->Move(230, 150);
             p.presenter->Move(240, 150);
             p.presenter->Release(PointerButton::Left, 240, 150);
             p.her->Hide();
             p.RunFor(2000);
         },
         {"move 220,140", "add 2", "show 2 at 230,140", "hide"}},
    };
    for (const Step& step : steps) {
        CAPTURE(std::string(step.what));
        step.act(p);
        CHECK(p.surface.Take() == step.calls);
    }
    CHECK(p.surface.X() == 230);
    CHECK(p.presenter->Moves() == 5);
}

TEST_CASE("two left presses make a double-click only close enough in time and place") {
    struct Row {
        const char* what;
        std::uint32_t firstMs, secondMs;
        int secondX, secondY;
        bool doubleClick;
    };
    const Row rows[] = {
        {"soon, same place", 1000, 1300, 110, 110, true},
        {"at the time limit, at the distance limit", 1000, 1500, 114, 106, true},
        {"a millisecond too late", 1000, 1501, 110, 110, false},
        {"a pixel too far across", 1000, 1100, 115, 110, false},
        {"a pixel too far down", 1000, 1100, 110, 105, false},
        {"across the millisecond clock's wrap", 0xFFFFFF00u, 100, 110, 110, true},
        {"a second press earlier than the first", 1000, 900, 110, 110, false},
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.what));
        Presented p;
        p.Events();
        CHECK(p.presenter->Press(PointerButton::Left, 110, 110, row.firstMs));
        p.presenter->Release(PointerButton::Left, 110, 110);
        const bool held = p.presenter->Press(PointerButton::Left, row.secondX, row.secondY, row.secondMs);
        p.presenter->Release(PointerButton::Left, row.secondX, row.secondY);
        CHECK(held == !row.doubleClick);  // a press that is no double-click holds the pointer
        const std::vector<std::string> wanted =
            row.doubleClick ? std::vector<std::string>{"DblClick " + std::to_string(row.secondX) + "," +
                                                       std::to_string(row.secondY)}
                            : std::vector<std::string>{};
        CHECK(p.Events() == wanted);
    }
}

TEST_CASE("a third quick press starts afresh, and a fourth makes the next double-click") {
    Presented p;
    p.Events();
    for (std::uint32_t t : {100u, 200u, 300u, 400u}) {
        p.presenter->Press(PointerButton::Left, 110, 110, t);
        p.presenter->Release(PointerButton::Left, 110, 110);
    }
    CHECK(p.Events() == std::vector<std::string>{"DblClick 110,110", "DblClick 110,110"});
}

TEST_CASE("a press becomes a drag only past the threshold; a lost press ends where the pointer was") {
    struct Row {
        const char* what;
        int dx, dy;
        std::vector<std::string> events;
        int herX, herY;
    };
    const Row rows[] = {
        {"three pixels each way: still a click", 3, 3, {}, 100, 100},
        {"four across: a drag", 4, 0, {"DragStart 110,110", "DragComplete 114,110"}, 104, 100},
        {"four up: a drag", 0, -4, {"DragStart 110,110", "DragComplete 110,106"}, 100, 96},
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.what));
        Presented p;
        p.Events();
        p.presenter->Press(PointerButton::Left, 110, 110, 0);
        p.presenter->Move(110 + row.dx, 110 + row.dy);
        p.presenter->Release(PointerButton::Left, 110 + row.dx, 110 + row.dy);
        CHECK(p.Events() == row.events);
        CHECK(p.her->X() == row.herX);
        CHECK(p.her->Y() == row.herY);
        CHECK_FALSE(p.presenter->Holding());
    }

    Presented p;
    p.Events();
    p.presenter->Press(PointerButton::Left, 110, 110, 0);
    p.presenter->Move(200, 150);
    p.presenter->PressLost();  // another window took the pointer
    p.presenter->Move(400, 400);
    p.presenter->Release(PointerButton::Left, 400, 400);
    CHECK(p.Events() == std::vector<std::string>{"DragStart 110,110", "DragComplete 200,150"});
    CHECK(p.her->X() == 190);
    // Motion without a press moves nothing.
    p.presenter->Move(10, 10);
    CHECK(p.her->X() == 190);
}

TEST_CASE("the menu opens after the pointer's handling, and its command reaches the program after it closed") {
    Presented p;
    p.her->CommandsAdd("Kiss", "&Kiss");
    p.her->CommandsAdd("Dance", "&Dance");
    p.surface.Take();
    p.Events();

    struct Step {
        const char* what;
        std::function<void(Presented&)> act;
        std::vector<std::string> calls;
        std::vector<std::string> events;
    };
    const Step steps[] = {
        {"a right-click asks for the menu: nothing opens yet",
         [](Presented& p) {
             p.presenter->Press(PointerButton::Right, 120, 130, 0);
             p.presenter->Release(PointerButton::Right, 120, 130);
         },
         {},
         {}},
        {"the handling returned: the menu opens where the pointer was",
         [](Presented& p) { p.RunPosted(); },
         {"menu 120,130"},
         {}},
        {"a second right-click while it is open opens no second menu",
         [](Presented& p) {
             p.presenter->Press(PointerButton::Right, 150, 150, 10);
             p.presenter->Release(PointerButton::Right, 150, 150);
             p.RunPosted();
         },
         {},
         {}},
        {"an entry chosen: the menu is still there inside its own handling",
         [](Presented& p) { p.presenter->MenuClosed(1); },
         {},
         {}},
        {"then the menu goes, and the program hears the command after it",
         [](Presented& p) { p.RunPosted(); },
         {"remove menu"},
         {"Command Dance"}},
        {"opened again and dismissed: it goes, and no command comes",
         [](Presented& p) {
             p.presenter->Press(PointerButton::Right, 120, 130, 20);
             p.presenter->Release(PointerButton::Right, 120, 130);
             p.RunPosted();
             p.presenter->MenuClosed(std::nullopt);
             p.RunPosted();
         },
         {"menu 120,130", "remove menu"},
         {}},
        {"a place past the entries chooses nothing",
         [](Presented& p) {
             p.presenter->OpenMenu(5, 5);
             p.presenter->MenuClosed(7);
             p.RunPosted();
         },
         {"menu 5,5", "remove menu"},
         {}},
        {"a close reported twice is heard once",
         [](Presented& p) {
             p.presenter->OpenMenu(5, 5);
             p.presenter->MenuClosed(0);
             p.RunPosted();
             p.presenter->MenuClosed(1);
             p.RunPosted();
         },
         {"menu 5,5", "remove menu"},
         {"Command Kiss"}},
    };
    for (const Step& step : steps) {
        CAPTURE(std::string(step.what));
        step.act(p);
        CHECK(p.surface.Take() == step.calls);
        CHECK(p.Events() == step.events);
    }
    CHECK_FALSE(p.presenter->MenuOpen());
    CHECK_FALSE(p.surface.OpenMenu());
}

TEST_CASE("the balloon is drawn when its words change, not between, and goes with the speech or with her") {
    Presented p;
    p.her->SetBalloonFontSize(8);
    p.surface.Take();
    p.her->Speak("one two three");
    struct Row {
        const char* what;
        std::int64_t runMs;
        std::vector<std::string> calls;  // balloon calls only
    };
    const Row rows[] = {
        {"the first word", 1, {"balloon one"}},
        {"no new word yet: nothing drawn", kSpeechWordMs / 2, {}},
        {"the second word", kSpeechWordMs, {"balloon one two"}},
        {"the third", kSpeechWordMs, {"balloon one two three"}},
        {"the whole text stays", kSpeechHoldMs / 2, {}},
        {"the speech ends: the balloon goes", kSpeechHoldMs, {"hide balloon"}},
        {"gone stays gone", 1000, {}},
    };
    const auto balloonCalls = [&p] {
        std::vector<std::string> calls;
        for (std::string& call : p.surface.Take())
            if (call.rfind("balloon", 0) == 0 || call == "hide balloon") calls.push_back(std::move(call));
        return calls;
    };
    for (const Row& row : rows) {
        CAPTURE(std::string(row.what));
        p.RunFor(row.runMs);
        CHECK(balloonCalls() == row.calls);
    }

    p.her->Speak("four five six seven");
    p.RunFor(kSpeechWordMs + 1);
    CHECK(balloonCalls() == std::vector<std::string>{"balloon four", "balloon four five"});
    // Stopped mid-speech: the balloon goes at once, with nothing else to come.
    p.her->Stop();
    p.RunFor(100);
    CHECK(balloonCalls() == std::vector<std::string>{"hide balloon"});
    CHECK_FALSE(p.surface.Balloon());
    p.her->Hide();
    p.RunFor(2000);
    CHECK(balloonCalls().empty());
    CHECK_FALSE(p.surface.Balloon());
}
