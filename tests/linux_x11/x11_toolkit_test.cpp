// The toolkit on X: the loop wakes only for what is due, Timer1, the session's signals, the message
// box answered with the keyboard, one instance per display, and the small readers it relies on.
#include <doctest/doctest.h>  // before Xlib, whose macros would rename some of its names

#include "basic/basic_error.h"
#include "boundary/window_toolkit.h"

#include "platform/linux/x11/message_box.h"
#include "platform/linux/x11/picture_window.h"
#include "platform/linux/x11/single_instance.h"
#include "platform/linux/x11/wave_clip.h"
#include "platform/linux/x11/x11_toolkit.h"
#include "stage/host/opaque_runs.h"
#include "x11_test_support.h"

#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>

using namespace zinna;
using namespace zinna::testing;

namespace {

std::vector<std::uint8_t> NoFiles(const std::string&) { throw std::runtime_error("no files in this test"); }

struct Ticks final : TimerEvents {
    int count = 0;
    void Timer1_Timer() override { ++count; }
};

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::string text;
    std::getline(file, text);
    return text;
}

}  // namespace

TEST_CASE("the loop runs callbacks in time order and sleeps while nothing is due") {
    x11::XConnection& x = TestConnection();
    x11::EventLoop loop(x);
    std::vector<int> order;
    const std::int64_t now = loop.Clock().NowMs();
    loop.Clock().ScheduleAt(now + 60, [&] { order.push_back(3); });
    loop.Clock().ScheduleAt(now + 20, [&] { order.push_back(1); });
    const ClockTimerId cancelled = loop.Clock().ScheduleAt(now + 30, [&] { order.push_back(99); });
    loop.Clock().ScheduleAt(now + 20, [&] {
        order.push_back(2);
        loop.Post([&] { order.push_back(4); });  // posted work runs after the callback, before sleeping
    });
    loop.Clock().Cancel(cancelled);
    REQUIRE(loop.RunUntil([&] { return order.size() == 4; }, kWaitMs));
    CHECK(order == std::vector<int>{1, 2, 4, 3});
    CHECK(loop.Clock().NowMs() >= now + 60);

    // Nothing scheduled, nothing on the connection: one wait that ends with the time limit.
    const std::uint64_t before = loop.WakeUps();
    CHECK_FALSE(loop.RunOnce(200));
    CHECK(loop.WakeUps() - before == 1);
}

TEST_CASE("the loop wakes once a tick, and handles X events whether a round trip or the poll found them") {
    x11::XConnection& x = TestConnection();
    x11::EventLoop loop(x);
    x11::X11Toolkit toolkit(loop, "Zinna", &NoFiles);
    const ::Window window = XCreateSimpleWindow(x.Get(), x.Root(), 0, 0, 10, 10, 0, 0, 0);
    XSelectInput(x.Get(), window, StructureNotifyMask);
    int configured = 0;
    loop.Watch(window, [&](const XEvent& event) { configured += event.type == ConfigureNotify ? 1 : 0; });
    while (loop.RunOnce(0)) {}  // what making the windows brought

    struct Row {
        const char* what;
        std::function<void()> act;
        int configured;
    };
    const Row rows[] = {
        // The event is in the library's queue and the socket is empty: the loop must not wait.
        {"read by a round trip",
         [&] {
             XMoveWindow(x.Get(), window, 5, 5);
             XSync(x.Get(), False);
         },
         1},
        {"on the socket after a flush",
         [&] {
             XMoveWindow(x.Get(), window, 6, 6);
             XFlush(x.Get());
         },
         2},
        {"left in the output buffer (the loop flushes before it waits)", [&] { XMoveWindow(x.Get(), window, 7, 7); },
         3},
    };
    for (const Row& row : rows) {
        CAPTURE(row.what);
        row.act();
        CHECK(loop.RunOnce(kWaitMs));  // false: it waited out the limit with the event unseen
        CHECK(loop.RunUntil([&] { return configured == row.configured; }, kWaitMs));
    }

    // Timer1 alone: one wake-up a tick, nothing between.
    Ticks ticks;
    const std::uint64_t before = loop.WakeUps();
    toolkit.SetTimer1Interval(25, ticks);
    REQUIRE(loop.RunUntil([&] { return ticks.count == 4; }, kWaitMs));
    CHECK(loop.WakeUps() - before == 4);
    toolkit.SetTimer1Interval(0, ticks);
    loop.Unwatch(window);
    XDestroyWindow(x.Get(), window);
}

TEST_CASE("Timer1 ticks at its interval until stopped, and the session's signals end the program") {
    x11::XConnection& x = TestConnection();
    x11::EventLoop loop(x);
    x11::X11Toolkit toolkit(loop, "Zinna", &NoFiles);
    Ticks ticks;
    const std::int64_t start = loop.Clock().NowMs();
    toolkit.SetTimer1Interval(40, ticks);
    REQUIRE(loop.RunUntil([&] { return ticks.count == 3; }, kWaitMs));
    CHECK(loop.Clock().NowMs() - start >= 120);
    toolkit.SetTimer1Interval(0, ticks);
    CHECK_FALSE(loop.RunOnce(150));
    CHECK(ticks.count == 3);

    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        CAPTURE(signal);
        x11::X11Toolkit session(loop, "Zinna", &NoFiles);
        int restored = 0;
        // The desktop is put back first, then the program ends, as at the end of a Windows session.
        session.SetSessionEndingHandler([&] {
            ++restored;
            session.End(EndReason::SessionEnd);
        });
        session.SetTimer1Interval(1000, ticks);
        raise(signal);  // blocked on this thread: it waits in the loop's signalfd
        CHECK(session.RunMessageLoop() == 0);
        CHECK(restored == 1);
        CHECK(session.EndedWith() == EndReason::SessionEnd);
    }
}

TEST_CASE("the message box is a dialog captioned with the program's title that Enter and Escape close") {
    x11::XConnection& x = TestConnection();
    x11::EventLoop loop(x);
    x11::X11Toolkit toolkit(loop, "Zinna", &NoFiles);
    const auto captionFile = std::filesystem::temp_directory_path() / ("zinna-msgbox-" + std::to_string(getpid()));
    for (const char* key : {"Return", "Escape", "KP_Enter"}) {
        CAPTURE(key);
        std::filesystem::remove(captionFile);
        // The user: waits for the dialog, reads its title, presses the key in it.
        const std::string user = "(xdotool search --sync --class ZinnaMessage getwindowname %1 > " +
                                 captionFile.string() +
                                 "; xdotool search --class ZinnaMessage windowfocus --sync %1 key " + key + ") &";
        REQUIRE(std::system(user.c_str()) == 0);
        toolkit.MsgBox("Error: Cannot load zinna graphic file");
        CHECK(Slurp(captionFile) == "Zinna");
    }
    std::filesystem::remove(captionFile);

    // The program ending meanwhile (the session's end) closes it too.
    loop.Clock().ScheduleAt(loop.Clock().NowMs() + 50, [&] { toolkit.End(EndReason::SessionEnd); });
    toolkit.MsgBox("Run-time error '5':\n\nInvalid procedure call or argument");
    CHECK(toolkit.EndedWith() == EndReason::SessionEnd);
}

TEST_CASE("the program's object, screen and folder") {
    x11::XConnection& x = TestConnection();
    x11::EventLoop loop(x);
    x11::X11Toolkit toolkit(loop, "Zinna", &NoFiles);
    // Whole layout units per pixel, and a screen that the program's division turns into the true
    // 1024 x 768 pixels of the runner's screen (other DPIs: zinna-scaling.sh, on larger screens).
    const double unitsX = toolkit.TwipsPerPixelX(), unitsY = toolkit.TwipsPerPixelY();
    CHECK(unitsX == std::round(unitsX));
    CHECK(std::lround(toolkit.ScreenWidth()) / std::lround(unitsX) == 1024);
    CHECK(std::lround(toolkit.ScreenHeight()) / std::lround(unitsY) == 768);
    CHECK(toolkit.AppPath() == std::filesystem::canonical("/proc/self/exe").parent_path().string());
    try {
        struct NoEvents final : AgentEvents {
            void Command(const std::string&) override {}
            void DblClick(const std::string&, basic::Integer, basic::Integer, basic::Integer, basic::Integer) override {
            }
            void DragStart(const std::string&, basic::Integer, basic::Integer, basic::Integer,
                           basic::Integer) override {}
            void DragComplete(const std::string&, basic::Integer, basic::Integer, basic::Integer,
                              basic::Integer) override {}
            void RequestStart(RequestId) override {}
            void RequestComplete(RequestId) override {}
            void IdleStart(const std::string&) override {}
        } events;
        toolkit.CreateObject("Some.Other.Control", events);
        FAIL("an unknown object was created");
    } catch (const basic::BasicError& error) {
        CHECK(error.Number() == 429);
    }
}

TEST_CASE("one instance per display") {
    x11::XConnection& first = TestConnection();
    x11::XConnection second;
    const ::Window a = XCreateSimpleWindow(first.Get(), first.Root(), 0, 0, 1, 1, 0, 0, 0);
    const ::Window b = XCreateSimpleWindow(second.Get(), second.Root(), 0, 0, 1, 1, 0, 0, 0);
    CHECK(x11::ClaimSingleInstance(first, a));
    CHECK_FALSE(x11::ClaimSingleInstance(second, b));
    XDestroyWindow(first.Get(), a);  // the first one ends: the display is free again
    XSync(first.Get(), False);
    CHECK(x11::ClaimSingleInstance(second, b));
}

TEST_CASE("sounds: 8- and 16-bit PCM wave files are read, anything else is silence") {
    const auto wave = [](std::uint16_t format, std::uint16_t channels, std::uint16_t bits,
                         std::vector<std::uint8_t> data) {
        std::vector<std::uint8_t> file;
        const auto put = [&](std::uint32_t value, int bytes) {
            for (int i = 0; i < bytes; ++i) file.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        };
        const auto text = [&](const char* tag) { file.insert(file.end(), tag, tag + 4); };
        text("RIFF");
        put(4 + 8 + 16 + 8 + 4 + 8 + static_cast<std::uint32_t>(data.size()), 4);
        text("WAVE");
        text("fmt ");
        put(16, 4);
        put(format, 2);
        put(channels, 2);
        put(11025, 4);
        put(11025u * channels * bits / 8, 4);
        put(channels * bits / 8u, 2);
        put(bits, 2);
        text("LIST");  // a chunk to pass over, of odd size with its pad byte
        put(3, 4);
        file.insert(file.end(), {1, 2, 3, 0});
        text("data");
        put(static_cast<std::uint32_t>(data.size()), 4);
        file.insert(file.end(), data.begin(), data.end());
        return file;
    };
    const auto clip = x11::ReadWaveClip(wave(1, 1, 8, {128, 130, 126}));
    REQUIRE(clip);
    CHECK(clip->rate == 11025);
    CHECK(clip->bitsPerSample == 8);
    CHECK(clip->samples == std::vector<std::uint8_t>{128, 130, 126});
    CHECK(x11::ReadWaveClip(wave(1, 2, 16, {0, 0, 1, 0}))->channels == 2);
    CHECK_FALSE(x11::ReadWaveClip(wave(2, 1, 4, {1, 2})));  // compressed
    CHECK_FALSE(x11::ReadWaveClip(wave(1, 1, 24, {1, 2, 3})));
    std::vector<std::uint8_t> cut = wave(1, 1, 8, {1, 2, 3, 4});
    cut.erase(cut.end() - 2, cut.end());  // the data chunk claims more than the file has
    CHECK_FALSE(x11::ReadWaveClip(cut));
    CHECK_FALSE(x11::ReadWaveClip(std::vector<std::uint8_t>{'R', 'I', 'F', 'F'}));
}

TEST_CASE("her outline for the pointer: the opaque pixels of each row as runs") {
    acs::RgbaImage picture;
    picture.width = 5;
    picture.height = 2;
    picture.rgba.assign(5 * 2 * 4, 0);
    for (const int opaque : {0, 1, 3, 9}) picture.rgba[static_cast<std::size_t>(opaque) * 4 + 3] = 255;
    const auto runs = stage::OpaqueRuns(picture);
    REQUIRE(runs.size() == 3);
    CHECK((runs[0].x == 0 && runs[0].y == 0 && runs[0].width == 2));
    CHECK((runs[1].x == 3 && runs[1].y == 0 && runs[1].width == 1));
    CHECK((runs[2].x == 4 && runs[2].y == 1 && runs[2].width == 1));
}
