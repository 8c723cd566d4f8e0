// The cases of the window toolkit's contract. Each starts from a fresh toolkit; every wait is for a
// value, bounded by kWaitMs of the toolkit's time.
#include "contract/window_toolkit_contract.h"

#include "lifecycle/screen_metrics.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace zinna::contract {

namespace {

constexpr std::int64_t kWaitMs = 5000;

// Timer1's handler as a test sees it: when each tick came, how deep ticks were nested, and what a
// tick does besides.
class TickRecorder final : public TimerEvents {
public:
    TickRecorder(ToolkitUnderContract& driver, std::function<void(int tick)> onTick = nullptr)
        : driver_(driver), onTick_(std::move(onTick)) {}
    void Timer1_Timer() override {
        ++depth_;
        deepest = std::max(deepest, depth_);
        times.push_back(driver_.NowMs());
        const int tick = static_cast<int>(times.size());
        struct Leave {
            int& depth;
            ~Leave() { --depth; }
        } leave{depth_};
        if (onTick_) onTick_(tick);
    }
    // How many of the coming ticks only count, asked with the number of ticks run so far (by
    // default the next tick matters).
    std::int64_t TicksThatOnlyCount() override { return counting ? counting(Count()) : 0; }
    int Count() const { return static_cast<int>(times.size()); }
    std::vector<std::int64_t> times;
    int deepest = 0;
    std::function<std::int64_t(int ticksSoFar)> counting;

private:
    ToolkitUnderContract& driver_;
    std::function<void(int)> onTick_;
    int depth_ = 0;
};

// The screen figures alone, so that the program's own arithmetic can be run on a reading.
class ScreenOnly final : public WindowToolkit {
public:
    explicit ScreenOnly(const ScreenReading& reading) : reading_(reading) {}
    double ScreenWidth() override { return reading_.screenWidth; }
    double ScreenHeight() override { return reading_.screenHeight; }
    double TwipsPerPixelX() override { return reading_.twipsPerPixelX; }
    double TwipsPerPixelY() override { return reading_.twipsPerPixelY; }
    void SetTimer1Interval(basic::Long, TimerEvents&) override { Unused(); }
    void CatchUpTimer1() override { Unused(); }
    void MsgBox(const std::string&) override { Unused(); }
    std::string AppTitle() override { Unused(); }
    std::string AppPath() override { Unused(); }
    WindowHandle hWnd() override { Unused(); }
    void Randomize() override { Unused(); }
    float Rnd() override { Unused(); }
    std::unique_ptr<AgentControl> CreateObject(const std::string&, AgentEvents&) override { Unused(); }
    void End(EndReason) override { Unused(); }

private:
    [[noreturn]] static void Unused() { throw std::logic_error("only the screen is read"); }
    ScreenReading reading_;
};

// Lets the loop run for a while in which nothing is expected to happen.
void RunIdle(ToolkitUnderContract& driver, std::int64_t ms) {
    driver.RunUntil([] { return false; }, ms);
}

struct EndReasonRow {
    EndReason reason;
    int exitCode;
};

// How an escaped error's rescue behaves, and whether the end handler (the journal's ending) hears it.
enum class Rescue { GivesBack, Fails, EndsItself, None };
struct EscapeRow {
    const char* what;
    Rescue rescue;
    bool fromPostedWork;
    bool endHandlerHears;
};

struct ToolkitCase {
    const char* id;
    const char* behaviour;
    void (*run)(const WindowToolkitRegistration& registration);
};

const ToolkitCase kCases[] = {
    {"dpi-table",
     "at every common scale the layout units per pixel are the whole figure the program uses, and the program's "
     "arithmetic gives the display's real pixels",
     [](const WindowToolkitRegistration& registration) {
         // 1440 / DPI rounded to a whole number, halves to even: 7.5 gives 8, 8.57 gives 9, 3.75 gives 4.
         const struct {
             int dpi;
             double twipsPerPixel;
         } kTable[] = {{96, 15}, {120, 12}, {144, 10}, {168, 9}, {192, 8}, {240, 6}, {288, 5}, {384, 4}};
         for (const auto& row : kTable) {
             CAPTURE(row.dpi);
             const ScreenReading reading = registration.screenAt(row.dpi);
             REQUIRE(reading.pixelsWide > 0);
             CHECK(reading.twipsPerPixelX == row.twipsPerPixel);
             CHECK(reading.twipsPerPixelY == row.twipsPerPixel);
             ScreenOnly screen(reading);
             CHECK(ScreenWidthPixels(screen) == reading.pixelsWide);
             CHECK(ScreenHeightPixels(screen) == reading.pixelsHigh);
         }
     }},
    {"timer-interval", "Timer1 ticks at its interval, in rhythm, and an interval of 0 stops it",
     [](const WindowToolkitRegistration& registration) {
         auto driver = registration.makeFresh();
         TickRecorder ticks(*driver);
         const std::int64_t start = driver->NowMs();
         driver->Toolkit().SetTimer1Interval(100, ticks);
         REQUIRE(driver->RunUntil([&] { return ticks.Count() == 5; }, kWaitMs));
         // Real timers may come a few milliseconds early on a coarse clock, never a tick early.
         CHECK(ticks.times[0] - start >= 90);
         CHECK(ticks.times[4] - start >= 490);
         CHECK(ticks.times[4] - start < 2000);
         CHECK(ticks.deepest == 1);
         driver->Toolkit().SetTimer1Interval(0, ticks);
         RunIdle(*driver, 350);
         CHECK(ticks.Count() == 5);
         CHECK_FALSE(driver->EndedWith().has_value());
     }},
    {"timer-reentrancy",
     "a tick that comes while a tick's handler still runs (inside a message box) is skipped, and ticks go on after",
     [](const WindowToolkitRegistration& registration) {
         auto driver = registration.makeFresh();
         std::int64_t boxClosedAt = -1;
         TickRecorder ticks(*driver, [&](int tick) {
             if (tick != 1) return;
             driver->AnswerNextMessageBox(400);
             driver->Toolkit().MsgBox("Run-time error '6':\n\nOverflow");
             boxClosedAt = driver->NowMs();
         });
         driver->Toolkit().SetTimer1Interval(50, ticks);
         REQUIRE(driver->RunUntil([&] { return ticks.Count() >= 3; }, kWaitMs));
         REQUIRE(boxClosedAt >= 0);
         CHECK(ticks.deepest == 1);
         // While the box was up (about 8 intervals) no tick ran; the next ones came after it closed.
         CHECK(boxClosedAt - ticks.times[0] >= 350);
         CHECK(ticks.times[1] >= boxClosedAt);
         driver->Toolkit().SetTimer1Interval(0, ticks);
     }},
    {"timer-counting-ticks",
     "ticks that only count do not wake the process: each runs, in order, once its time has come, at the next "
     "catch-up or right before the tick that matters, which comes at its own time",
     [](const WindowToolkitRegistration& registration) {
         constexpr std::int64_t kEvery = TimerEvents::kEveryTickOnlyCounts;
         struct Row {
             const char* what;
             std::int64_t countingAhead;   // what the handler says before its first tick
             std::int64_t catchUpAfterMs;  // a catch-up this long after the start (0: none)
             int ticksAtCatchUp;           // how many ticks have run right after it (-1: as many as came)
             std::int64_t mattersAtMs;     // the first tick that wakes the process (0: none)
         };
         const Row kRows[] = {
             {"four that only count, then the fifth matters", 4, 0, 0, 250},
             {"a catch-up runs those whose time came", 4, 130, -1, 250},
             {"none matters: only a catch-up runs them", kEvery, 330, -1, 0},
             {"the next one matters: as without counting ticks", 0, 0, 0, 50},
         };
         for (const Row& row : kRows) {
             CAPTURE(row.what);
             auto driver = registration.makeFresh();
             TickRecorder ticks(*driver);
             // The ticks before the one that matters only count; from it on each tick matters.
             ticks.counting = [&](int ticksSoFar) {
                 if (row.countingAhead == kEvery) return kEvery;
                 return std::max<std::int64_t>(0, row.countingAhead - ticksSoFar);
             };
             const std::int64_t start = driver->NowMs();
             driver->Toolkit().SetTimer1Interval(50, ticks);
             driver->Toolkit().CatchUpTimer1();  // the handler that set the interval is done
             if (row.catchUpAfterMs > 0) {
                 RunIdle(*driver, row.catchUpAfterMs);
                 const std::int64_t before = driver->NowMs() - start;
                 CHECK(ticks.Count() == 0);  // none woke the process
                 driver->Toolkit().CatchUpTimer1();
                 const std::int64_t after = driver->NowMs() - start;
                 // Those whose time had come, no more (the clock moved on meanwhile by a little).
                 const auto capped = [&](std::int64_t ms) {
                     return static_cast<int>(std::min<std::int64_t>(ms / 50, row.countingAhead));
                 };
                 CHECK(ticks.Count() >= capped(before - 10));
                 CHECK(ticks.Count() <= capped(after));
                 for (int i = 0; i < ticks.Count(); ++i) CHECK(ticks.times[i] - start >= before - 1);
             }
             if (row.mattersAtMs == 0) {
                 const int caughtUp = ticks.Count();
                 RunIdle(*driver, 300);
                 CHECK(ticks.Count() == caughtUp);
             } else {
                 const int upTo = static_cast<int>(row.mattersAtMs / 50);
                 REQUIRE(driver->RunUntil([&] { return ticks.Count() >= upTo; }, kWaitMs));
                 // The one that matters came at its own time, not before, and so did those left for
                 // later that had not been caught up: all right before it.
                 CHECK(ticks.times[upTo - 1] - start >= row.mattersAtMs - 10);
                 CHECK(ticks.times[upTo - 1] - start < row.mattersAtMs + 1500);
                 if (row.catchUpAfterMs == 0) CHECK(ticks.times[0] - start >= row.mattersAtMs - 10);
                 // After it every tick matters again: the next comes an interval later.
                 REQUIRE(driver->RunUntil([&] { return ticks.Count() == upTo + 1; }, kWaitMs));
                 CHECK(ticks.times[upTo] - ticks.times[upTo - 1] >= 30);
             }
             CHECK(std::is_sorted(ticks.times.begin(), ticks.times.end()));
             CHECK(ticks.deepest == 1);
             driver->Toolkit().SetTimer1Interval(0, ticks);
         }
     }},
    {"timer-counting-stop", "ticks left for later do not outlive a stop of Timer1, a new interval or the program's end",
     [](const WindowToolkitRegistration& registration) {
         enum class Stop { IntervalZero, NewInterval, End };
         const Stop kRows[] = {Stop::IntervalZero, Stop::NewInterval, Stop::End};
         for (const Stop stop : kRows) {
             CAPTURE(static_cast<int>(stop));
             auto driver = registration.makeFresh();
             TickRecorder ticks(*driver);
             ticks.counting = [](int) { return TimerEvents::kEveryTickOnlyCounts; };
             driver->Toolkit().SetTimer1Interval(40, ticks);
             driver->Toolkit().CatchUpTimer1();
             RunIdle(*driver, 100);
             driver->Toolkit().CatchUpTimer1();  // the ticks whose time came run now
             const int caughtUp = ticks.Count();
             CHECK(caughtUp >= 2);
             RunIdle(*driver, 130);  // more come due, left for later
             TickRecorder second(*driver);
             switch (stop) {
                 case Stop::IntervalZero:
                     driver->Toolkit().SetTimer1Interval(0, ticks);
                     break;
                 case Stop::NewInterval:
                     driver->Toolkit().SetTimer1Interval(60, second);  // every tick of it matters
                     break;
                 case Stop::End:
                     driver->Toolkit().End(EndReason::Quit);
                     break;
             }
             driver->Toolkit().CatchUpTimer1();
             const std::int64_t stoppedAt = driver->NowMs();
             if (stop == Stop::NewInterval) {
                 REQUIRE(driver->RunUntil([&] { return second.Count() == 2; }, kWaitMs));
                 CHECK(second.times[0] - stoppedAt >= 50);
             } else {
                 RunIdle(*driver, 200);
             }
             CHECK(ticks.Count() == caughtUp);
             driver->Toolkit().SetTimer1Interval(0, second);
         }
     }},
    {"posted-work", "work posted by a handler runs after the handler returned, in the order posted",
     [](const WindowToolkitRegistration& registration) {
         auto driver = registration.makeFresh();
         std::vector<std::string> order;
         TickRecorder ticks(*driver, [&](int tick) {
             if (tick != 1) return;
             driver->Post([&] { order.push_back("first"); });
             driver->Post([&] {
                 order.push_back("second");
                 driver->Post([&] { order.push_back("posted by posted work"); });
             });
             order.push_back("handler returns");
         });
         driver->Toolkit().SetTimer1Interval(50, ticks);
         REQUIRE(driver->RunUntil([&] { return order.size() == 4; }, kWaitMs));
         driver->Toolkit().SetTimer1Interval(0, ticks);
         CHECK(order == std::vector<std::string>{"handler returns", "first", "second", "posted by posted work"});
     }},
    {"message-box", "a message box returns once the user has answered it, and the program goes on",
     [](const WindowToolkitRegistration& registration) {
         auto driver = registration.makeFresh();
         bool returned = false;
         std::int64_t shownAt = 0, returnedAt = 0;
         driver->Post([&] {
             driver->AnswerNextMessageBox(200);
             shownAt = driver->NowMs();
             driver->Toolkit().MsgBox("Error: Cannot load zinna graphic file");
             returnedAt = driver->NowMs();
             returned = true;
         });
         REQUIRE(driver->RunUntil([&] { return returned; }, kWaitMs));
         CHECK(returnedAt - shownAt >= 150);  // not before the user answered
         CHECK_FALSE(driver->EndedWith().has_value());
         TickRecorder ticks(*driver);
         driver->Toolkit().SetTimer1Interval(50, ticks);
         CHECK(driver->RunUntil([&] { return ticks.Count() == 2; }, kWaitMs));
         driver->Toolkit().SetTimer1Interval(0, ticks);
     }},
    {"end-reasons",
     "every end reason gives its exit code; the end handler hears the first end once; nothing runs after the end",
     [](const WindowToolkitRegistration& registration) {
         const EndReasonRow kRows[] = {
             {EndReason::Quit, 0}, {EndReason::LoadFailure, 1}, {EndReason::Error, 2}, {EndReason::SessionEnd, 0}};
         for (const EndReasonRow& row : kRows) {
             CAPTURE(EndReasonName(row.reason));
             auto driver = registration.makeFresh();
             std::vector<EndReason> heard;
             driver->SetEndHandler([&](EndReason reason) { heard.push_back(reason); });
             bool postedRan = false;
             TickRecorder ticks(*driver, [&](int tick) {
                 if (tick != 2) return;
                 driver->Post([&] { postedRan = true; });  // posted before the end: dropped
                 driver->Toolkit().End(row.reason);
                 driver->Toolkit().End(EndReason::Quit);  // only the first end counts
             });
             driver->Toolkit().SetTimer1Interval(40, ticks);
             REQUIRE(driver->RunUntil([&] { return driver->EndedWith().has_value(); }, kWaitMs));
             CHECK(driver->EndedWith() == row.reason);
             CHECK(heard == std::vector<EndReason>{row.reason});
             driver->Post([&] { postedRan = true; });
             RunIdle(*driver, 250);
             CHECK(ticks.Count() == 2);
             CHECK_FALSE(postedRan);
             CHECK(driver->RunMessageLoop() == row.exitCode);
         }
     }},
    {"escaped-error",
     "an error that escapes a handler ends the program with the error's exit code; the end handler (the journal's "
     "ending) hears it only when the desktop was given back",
     [](const WindowToolkitRegistration& registration) {
         const EscapeRow kRows[] = {
             {"from a tick, the desktop given back", Rescue::GivesBack, false, true},
             {"from posted work, the desktop given back", Rescue::GivesBack, true, true},
             {"the rescue fails: the journal stays", Rescue::Fails, false, false},
             {"no rescue: the journal stays", Rescue::None, true, false},
             {"the rescue ends the program itself", Rescue::EndsItself, false, true},
         };
         for (const EscapeRow& row : kRows) {
             INFO(std::string(row.what));
             auto driver = registration.makeFresh();
             std::vector<EndReason> heard;
             int rescues = 0;
             driver->SetEndHandler([&](EndReason reason) { heard.push_back(reason); });
             if (row.rescue != Rescue::None) {
                 driver->SetDesktopRescue([&, rescue = row.rescue] {
                     ++rescues;
                     if (rescue == Rescue::Fails) throw std::runtime_error("the desktop refused the wallpaper");
                     if (rescue == Rescue::EndsItself) driver->Toolkit().End(EndReason::Error);
                 });
             }
             bool afterRan = false;
             TickRecorder ticks(*driver, [&](int tick) {
                 if (tick != 1) return;
                 if (row.fromPostedWork) {
                     driver->Post([] { throw std::runtime_error("escaped from posted work"); });
                     driver->Post([&] { afterRan = true; });
                 } else {
                     throw std::runtime_error("escaped from a tick");
                 }
             });
             driver->Toolkit().SetTimer1Interval(40, ticks);
             REQUIRE(driver->RunUntil([&] { return driver->EndedWith().has_value(); }, kWaitMs));
             CHECK(driver->EndedWith() == EndReason::Error);
             CHECK(rescues == (row.rescue == Rescue::None ? 0 : 1));
             CHECK(heard ==
                   (row.endHandlerHears ? std::vector<EndReason>{EndReason::Error} : std::vector<EndReason>{}));
             RunIdle(*driver, 200);
             CHECK(ticks.Count() == 1);
             CHECK_FALSE(afterRan);
             CHECK(driver->RunMessageLoop() == 2);
         }
     }},
};

std::vector<KnownDifference> LeftOut(const WindowToolkitRegistration& registration) {
    std::vector<KnownDifference> leftOut = registration.differences;
    for (const KnownDifference& failing : registration.expectedToFail)
        leftOut.push_back({failing.caseId, "expected to fail: " + failing.why});
    return leftOut;
}

}  // namespace

void RunWindowToolkitContract(const WindowToolkitRegistration& registration) {
    RunCases<ToolkitCase>("WindowToolkit", registration.implementation, kCases, LeftOut(registration),
                          [&](const ToolkitCase& c) { c.run(registration); });
}

void RunWindowToolkitCase(const WindowToolkitRegistration& registration, const std::string& caseId) {
    const auto found =
        std::find_if(std::begin(kCases), std::end(kCases), [&](const ToolkitCase& c) { return caseId == c.id; });
    REQUIRE(found != std::end(kCases));
    INFO(registration.implementation << ": " << std::string(found->behaviour));
    found->run(registration);
}

}  // namespace zinna::contract
