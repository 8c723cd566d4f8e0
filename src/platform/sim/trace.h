// The record of everything the program did on the simulated desktop: its calls on the character
// control, the control playing them, the events reaching the program, the operating-system calls.
#pragma once

#include "boundary/clock.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace zinna::sim {

using TraceValue = std::variant<std::nullptr_t, bool, std::int64_t, std::string>;

struct TraceField {
    std::string key;
    TraceValue value;
};

struct TraceEvent {
    std::int64_t t = 0;  // virtual milliseconds since start
    std::string ev;
    std::vector<TraceField> fields;

    const TraceValue* Find(const std::string& key) const;
    // The field as text or number; empty / nullopt when missing or of another type.
    std::string Text(const std::string& key) const;
    std::optional<std::int64_t> Number(const std::string& key) const;
};

// Hands every event to its listeners as it happens and keeps none: a run of any length uses the
// same memory. Whoever needs events later (a test) keeps them in its own listener.
class Trace {
public:
    using Listener = std::function<void(const TraceEvent&)>;

    explicit Trace(const Clock& clock) : clock_(clock) {}

    void Record(std::string ev, std::vector<TraceField> fields = {});
    // Listeners are called in the order they were added.
    void AddListener(Listener listener) { listeners_.push_back(std::move(listener)); }

private:
    const Clock& clock_;
    std::vector<Listener> listeners_;
};

// One JSON object on one line: {"t":...,"ev":...,<fields in order>}.
std::string ToJsonLine(const TraceEvent& event);
// One line for people: the time in seconds, the event, its fields.
std::string ToTextLine(const TraceEvent& event);

}  // namespace zinna::sim
