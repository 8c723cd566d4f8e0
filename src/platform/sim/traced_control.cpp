#include "platform/sim/traced_control.h"

#include "basic/basic_error.h"

#include <utility>

namespace zinna::sim {

namespace {

constexpr std::uint32_t kErrorFail = basic::kControlErrFailed;

TraceValue Flag(basic::Boolean value) { return value == basic::True; }

// Runs one call of the program on the control: it fails when the plan says so, and is recorded
// with its arguments and either the request it queued or the error it raised.
template <typename Call>
auto Traced(Trace& trace, FailurePlan& failures, const std::string& op, std::vector<TraceField> fields, Call call) {
    std::vector<TraceField> all{{"op", op}};
    all.insert(all.end(), std::make_move_iterator(fields.begin()), std::make_move_iterator(fields.end()));
    auto record = [&](TraceField last) {
        all.push_back(std::move(last));
        trace.Record("call", std::move(all));
    };
    try {
        if (failures.ShouldFail(op)) basic::RaiseControlError(kErrorFail, "The character control rejected " + op);
        if constexpr (std::is_same_v<decltype(call()), RequestId>) {
            RequestId id = call();
            record({"req", std::int64_t{id}});
            return id;
        } else {
            call();
            trace.Record("call", std::move(all));
        }
    } catch (const basic::BasicError& error) {
        record({"error", std::int64_t{error.Number()}});
        throw;
    }
}

}  // namespace

bool FailurePlan::ShouldFail(const std::string& op) {
    int call = ++calls_[op];
    auto rule = rules_.find(op);
    return rule != rules_.end() && (rule->second == 0 || rule->second == call);
}

// --- events -----------------------------------------------------------------------------------------

void TracedEvents::Command(const std::string& name) {
    trace_.Record("event", {{"name", std::string("Command")}, {"command", name}});
    program_.Command(name);
}

void TracedEvents::DblClick(const std::string& characterId, basic::Integer button, basic::Integer shift,
                            basic::Integer x, basic::Integer y) {
    trace_.Record("event", {{"name", std::string("DblClick")}, {"x", std::int64_t{x}}, {"y", std::int64_t{y}}});
    program_.DblClick(characterId, button, shift, x, y);
}

void TracedEvents::DragStart(const std::string& characterId, basic::Integer button, basic::Integer shift,
                             basic::Integer x, basic::Integer y) {
    trace_.Record("event", {{"name", std::string("DragStart")}, {"x", std::int64_t{x}}, {"y", std::int64_t{y}}});
    program_.DragStart(characterId, button, shift, x, y);
}

void TracedEvents::DragComplete(const std::string& characterId, basic::Integer button, basic::Integer shift,
                                basic::Integer x, basic::Integer y) {
    trace_.Record("event", {{"name", std::string("DragComplete")}, {"x", std::int64_t{x}}, {"y", std::int64_t{y}}});
    program_.DragComplete(characterId, button, shift, x, y);
}

void TracedEvents::RequestStart(RequestId request) {
    trace_.Record("start", {{"req", std::int64_t{request}}});
    program_.RequestStart(request);
}

void TracedEvents::RequestComplete(RequestId request) {
    trace_.Record("complete", {{"req", std::int64_t{request}}});
    program_.RequestComplete(request);
}

void TracedEvents::IdleStart(const std::string& characterId) {
    trace_.Record("event", {{"name", std::string("IdleStart")}});
    program_.IdleStart(characterId);
}

// --- calls ------------------------------------------------------------------------------------------

class TracedControl::TracedCharacter final : public AgentCharacter {
public:
    TracedCharacter(AgentCharacter& inner, Trace& trace, FailurePlan& failures)
        : inner_(inner), trace_(trace), failures_(failures) {}

    RequestId Hide() override {
        return Traced(trace_, failures_, "Hide", {}, [&] { return inner_.Hide(); });
    }
    RequestId Show() override {
        return Traced(trace_, failures_, "Show", {}, [&] { return inner_.Show(); });
    }
    RequestId MoveTo(basic::Integer x, basic::Integer y, std::optional<basic::Integer> speed) override {
        std::vector<TraceField> fields{{"x", std::int64_t{x}}, {"y", std::int64_t{y}}};
        if (speed) fields.push_back({"speed", std::int64_t{*speed}});
        return Traced(trace_, failures_, "MoveTo", std::move(fields), [&] { return inner_.MoveTo(x, y, speed); });
    }
    RequestId Play(const std::string& animation) override {
        return Traced(trace_, failures_, "Play", {{"anim", animation}}, [&] { return inner_.Play(animation); });
    }
    RequestId Speak(const std::string& text) override {
        return Traced(trace_, failures_, "Speak", {{"text", text}}, [&] { return inner_.Speak(text); });
    }
    void Stop() override {
        Traced(trace_, failures_, "Stop", {}, [&] { inner_.Stop(); });
    }
    basic::Integer Width() override {
        if (failures_.ShouldFail("Width")) basic::RaiseControlError(kErrorFail, "The character control rejected Width");
        return inner_.Width();
    }
    basic::Integer Height() override {
        if (failures_.ShouldFail("Height"))
            basic::RaiseControlError(kErrorFail, "The character control rejected Height");
        return inner_.Height();
    }
    void SetIdleOn(basic::Boolean on) override {
        Traced(trace_, failures_, "IdleOn", {{"value", Flag(on)}}, [&] { inner_.SetIdleOn(on); });
    }
    basic::Boolean SoundEffectsOn() override { return inner_.SoundEffectsOn(); }
    void SetSoundEffectsOn(basic::Boolean on) override {
        Traced(trace_, failures_, "SoundEffectsOn", {{"value", Flag(on)}}, [&] { inner_.SetSoundEffectsOn(on); });
    }
    void SetBalloonFontSize(basic::Long points) override {
        Traced(trace_, failures_, "BalloonFontSize", {{"value", std::int64_t{points}}},
               [&] { inner_.SetBalloonFontSize(points); });
    }
    void CommandsAdd(const std::string& name, const std::string& caption) override {
        Traced(trace_, failures_, "CommandsAdd", {{"name", name}, {"caption", caption}},
               [&] { inner_.CommandsAdd(name, caption); });
    }

private:
    AgentCharacter& inner_;
    Trace& trace_;
    FailurePlan& failures_;
};

TracedControl::TracedControl(std::unique_ptr<AgentControl> inner, Trace& trace, std::shared_ptr<FailurePlan> failures)
    : inner_(std::move(inner)),
      trace_(trace),
      failures_(failures ? std::move(failures) : std::make_shared<FailurePlan>()) {}

TracedControl::~TracedControl() = default;

void TracedControl::SetConnected(basic::Boolean connected) {
    Traced(trace_, *failures_, "Connected", {{"value", Flag(connected)}}, [&] { inner_->SetConnected(connected); });
}

RequestId TracedControl::CharactersLoad(const std::string& characterId, const std::string& path) {
    return Traced(trace_, *failures_, "Load", {{"id", characterId}, {"path", path}},
                  [&] { return inner_->CharactersLoad(characterId, path); });
}

AgentCharacter& TracedControl::Characters(const std::string& characterId) {
    AgentCharacter& inner = inner_->Characters(characterId);
    auto& wrapped = characters_[&inner];
    if (!wrapped) wrapped = std::make_unique<TracedCharacter>(inner, trace_, *failures_);
    return *wrapped;
}

}  // namespace zinna::sim
