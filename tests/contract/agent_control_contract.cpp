// The cases of the character control's contract: the behaviours the program relies on whichever
// control plays its requests. Each case starts from a fresh control with nothing loaded.
#include "contract/agent_control_contract.h"

#include "basic/basic_error.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <map>
#include <sstream>

namespace zinna::contract {

namespace {

constexpr char kId[] = "zinna";
constexpr std::int64_t kUntilIdle = 60000;  // longer than any case's requests take together

struct Timing {
    std::map<RequestId, std::int64_t> started, completed;
    std::vector<RequestId> startOrder, completeOrder;
};

// The start and complete events, by request; each must come once.
Timing TimingOf(const RecordedEvents& events) {
    Timing timing;
    for (const std::string& line : events.lines) {
        std::istringstream in(line);
        std::string what, at;
        RequestId id = 0;
        if (!(in >> what >> id >> at) || (what != "start" && what != "complete")) continue;
        auto& times = what == "start" ? timing.started : timing.completed;
        CHECK_MESSAGE(!times.count(id), "request " << id << " has a second " << what);
        times[id] = std::stoll(at.substr(1));
        (what == "start" ? timing.startOrder : timing.completeOrder).push_back(id);
    }
    return timing;
}

std::int64_t DurationOf(const Timing& timing, RequestId id) {
    REQUIRE(timing.started.count(id));
    REQUIRE(timing.completed.count(id));
    return timing.completed.at(id) - timing.started.at(id);
}

std::uint32_t ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const basic::BasicError& error) {
        return static_cast<std::uint32_t>(error.Number());
    }
    return 0;
}

// The character loaded as the program loads it: the control's own idle animations off.
AgentCharacter& Loaded(ControlUnderContract& subject) {
    subject.Control().CharactersLoad(kId, subject.LoadablePath());
    AgentCharacter& character = subject.Control().Characters(kId);
    character.SetIdleOn(basic::False);
    return character;
}

// The character loaded, placed and shown, every request so far played.
AgentCharacter& ShownAt(ControlUnderContract& subject, int x, int y) {
    AgentCharacter& character = Loaded(subject);
    character.MoveTo(static_cast<basic::Integer>(x), static_cast<basic::Integer>(y), std::nullopt);
    character.Show();
    subject.RunFor(kUntilIdle);
    REQUIRE(subject.Visible());
    return character;
}

struct ControlCase {
    const char* id;
    const char* behaviour;
    void (*run)(ControlUnderContract& subject, RecordedEvents& events);
};

const ControlCase kCases[] = {
    {"load-missing", "a missing data file fails the load with the file-not-found error",
     [](ControlUnderContract& subject, RecordedEvents&) {
         CHECK(ErrorOf([&] { subject.Control().CharactersLoad(kId, subject.MissingPath()); }) ==
               basic::kControlErrFileNotFound);
     }},
    {"not-loaded", "asking for a character that is not loaded fails with the invalid-character error",
     [](ControlUnderContract& subject, RecordedEvents&) {
         CHECK(ErrorOf([&] { subject.Control().CharactersLoad(kId, subject.MissingPath()); }) != 0);
         CHECK(ErrorOf([&] { subject.Control().Characters(kId); }) == basic::kControlErrCharacterInvalid);
         Loaded(subject);
         CHECK(ErrorOf([&] { subject.Control().Characters("nobody"); }) == basic::kControlErrCharacterInvalid);
     }},
    {"load-request", "the load is a request too: it starts and completes once, after the call has returned",
     [](ControlUnderContract& subject, RecordedEvents& events) {
         const RequestId load = subject.Control().CharactersLoad(kId, subject.LoadablePath());
         CHECK(events.lines.empty());
         subject.RunFor(kUntilIdle);
         const Timing timing = TimingOf(events);
         CHECK(timing.started.count(load));
         CHECK(timing.completed.count(load));
     }},
    {"request-ids", "every call returns its request's id at once, counting on from the load's; nothing plays yet",
     [](ControlUnderContract& subject, RecordedEvents& events) {
         const RequestId load = subject.Control().CharactersLoad(kId, subject.LoadablePath());
         CHECK(load >= 1);
         AgentCharacter& character = subject.Control().Characters(kId);
         character.SetIdleOn(basic::False);
         const std::vector<RequestId> ids = {character.Show(), character.Play(subject.Animation()),
                                             character.MoveTo(10, 20, std::nullopt), character.Speak("Hello there"),
                                             character.Hide()};
         CHECK(ids == std::vector<RequestId>{load + 1, load + 2, load + 3, load + 4, load + 5});
         CHECK(events.lines.empty());  // no event from inside a call
     }},
    {"queue-order", "requests play one at a time in the order queued, each started and completed once",
     [](ControlUnderContract& subject, RecordedEvents& events) {
         AgentCharacter& character = Loaded(subject);
         const std::vector<RequestId> ids = {character.Show(),
                                             character.Play(subject.Animation()),
                                             character.MoveTo(200, 100, 500),
                                             character.Speak("Hello there"),
                                             character.Play(subject.Animation()),
                                             character.Hide()};
         subject.RunFor(kUntilIdle);
         const Timing timing = TimingOf(events);
         auto queued = [&](std::vector<RequestId> order) {  // without the load's request
             std::erase_if(order, [&](RequestId id) { return std::find(ids.begin(), ids.end(), id) == ids.end(); });
             return order;
         };
         CHECK(queued(timing.startOrder) == ids);
         CHECK(queued(timing.completeOrder) == ids);
         for (std::size_t i = 1; i < ids.size(); ++i) {
             CAPTURE(ids[i]);
             CHECK(timing.started.at(ids[i]) >= timing.completed.at(ids[i - 1]));
         }
     }},
    {"show-hide", "Show makes the character visible, Hide hides it, each once played",
     [](ControlUnderContract& subject, RecordedEvents&) {
         AgentCharacter& character = Loaded(subject);
         CHECK_FALSE(subject.Visible());  // a loaded character starts hidden
         character.Show();
         subject.RunFor(kUntilIdle);
         CHECK(subject.Visible());
         character.Hide();
         subject.RunFor(kUntilIdle);
         CHECK_FALSE(subject.Visible());
     }},
    {"move-timing", "a move is at once while hidden or at speed 0, else max(|dx|, |dy|, 10) x speed / 500 ms",
     [](ControlUnderContract& subject, RecordedEvents& events) {
         AgentCharacter& character = Loaded(subject);
         const RequestId hidden = character.MoveTo(300, 200, 1000);
         subject.RunFor(kUntilIdle);
         CHECK(subject.Position() == std::pair{300, 200});
         character.Show();
         const RequestId far = character.MoveTo(800, 200, std::nullopt);  // 500 px at the default 1000
         const RequestId waypoint = character.MoveTo(805, 196, 1000);     // under 10 px: counted as 10
         const RequestId fast = character.MoveTo(705, 46, 2000);          // 150 px at 2000
         const RequestId instant = character.MoveTo(0, 0, 0);
         subject.RunFor(kUntilIdle);
         const Timing timing = TimingOf(events);
         CHECK(DurationOf(timing, hidden) == 0);
         CHECK(DurationOf(timing, far) == 1000);
         CHECK(DurationOf(timing, waypoint) == 20);
         CHECK(DurationOf(timing, fast) == 600);
         CHECK(DurationOf(timing, instant) == 0);
         CHECK(subject.Position() == std::pair{0, 0});
     }},
    {"stop", "Stop completes the current request after the call, drops the queued ones unplayed, and frees the queue",
     [](ControlUnderContract& subject, RecordedEvents& events) {
         AgentCharacter& character = ShownAt(subject, 0, 0);
         const RequestId playing = character.Play(subject.Animation());
         const RequestId dropped1 = character.Speak("one two three");
         const RequestId dropped2 = character.Play(subject.Animation());
         subject.RunFor(1);
         REQUIRE(TimingOf(events).started.count(playing));
         REQUIRE_FALSE(TimingOf(events).completed.count(playing));
         const std::size_t before = events.lines.size();
         character.Stop();
         CHECK(events.lines.size() == before);  // no event from inside the call
         subject.RunFor(kUntilIdle);
         Timing timing = TimingOf(events);
         CHECK(timing.completed.count(playing));
         for (RequestId dropped : {dropped1, dropped2}) {
             CAPTURE(dropped);
             CHECK_FALSE(timing.started.count(dropped));
             CHECK_FALSE(timing.completed.count(dropped));
         }
         const RequestId next = character.Play(subject.Animation());
         subject.RunFor(kUntilIdle);
         timing = TimingOf(events);
         CHECK(timing.completed.count(next));
     }},
    {"stop-mid-move", "Stop during a move leaves the frame part of the way, where it then stays",
     [](ControlUnderContract& subject, RecordedEvents&) {
         AgentCharacter& character = ShownAt(subject, 0, 100);
         character.MoveTo(500, 100, std::nullopt);  // 1000 ms
         subject.RunFor(500);
         character.Stop();
         subject.RunFor(kUntilIdle);
         const auto [x, y] = subject.Position();
         CHECK(x > 0);
         CHECK(x < 500);
         CHECK(y == 100);
     }},
    {"user-events", "the user's command, double-click and drag reach the program in order, after the action",
     [](ControlUnderContract& subject, RecordedEvents& events) {
         Loaded(subject);
         subject.RunFor(kUntilIdle);
         events.lines.clear();
         subject.UserChoosesCommand("Dance");
         subject.UserDoubleClicks();
         subject.UserDragsTo(200, 300);
         subject.RunFor(1);
         CHECK(events.lines ==
               std::vector<std::string>{"Command Dance", "DblClick zinna", "DragStart zinna", "DragComplete zinna"});
     }},
    {"drop-places", "the frame follows the pointer: where she is dropped she stays",
     [](ControlUnderContract& subject, RecordedEvents&) {
         ShownAt(subject, 100, 100);
         subject.UserDragsTo(200, 300);
         subject.RunFor(kUntilIdle);
         CHECK(subject.Position() == std::pair{200, 300});
     }},
};

}  // namespace

void RunAgentControlContract(const AgentControlRegistration& registration) {
    RunCases<ControlCase>("character control", registration.implementation, kCases, registration.differences,
                          [&](const ControlCase& c) {
                              ControlUnderContract* current = nullptr;
                              RecordedEvents events([&] { return current ? current->NowMs() : std::int64_t{-1}; });
                              const std::unique_ptr<ControlUnderContract> subject = registration.makeFresh(events);
                              REQUIRE(subject != nullptr);
                              current = subject.get();
                              subject->Control().SetConnected(basic::True);
                              c.run(*subject, events);
                          });
}

}  // namespace zinna::contract
