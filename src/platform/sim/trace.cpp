#include "platform/sim/trace.h"

#include <cstdio>

namespace zinna::sim {

const TraceValue* TraceEvent::Find(const std::string& key) const {
    for (const TraceField& field : fields)
        if (field.key == key) return &field.value;
    return nullptr;
}

std::string TraceEvent::Text(const std::string& key) const {
    const TraceValue* value = Find(key);
    if (value == nullptr) return {};
    if (const auto* text = std::get_if<std::string>(value)) return *text;
    return {};
}

std::optional<std::int64_t> TraceEvent::Number(const std::string& key) const {
    const TraceValue* value = Find(key);
    if (value == nullptr) return std::nullopt;
    if (const auto* number = std::get_if<std::int64_t>(value)) return *number;
    return std::nullopt;
}

void Trace::Record(std::string ev, std::vector<TraceField> fields) {
    const TraceEvent event{clock_.NowMs(), std::move(ev), std::move(fields)};
    for (const Listener& listener : listeners_) listener(event);
}

namespace {

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);  // UTF-8 passes through unchanged
                }
        }
    }
    return out + "\"";
}

std::string JsonValue(const TraceValue& value) {
    if (std::holds_alternative<std::nullptr_t>(value)) return "null";
    if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "true" : "false";
    if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
    return JsonString(std::get<std::string>(value));
}

}  // namespace

std::string ToJsonLine(const TraceEvent& event) {
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on chains of string additions.
    std::string line = "{\"t\":";
    line += std::to_string(event.t);
    line += ",\"ev\":";
    line += JsonString(event.ev);
    for (const TraceField& field : event.fields) {
        line += ',';
        line += JsonString(field.key);
        line += ':';
        line += JsonValue(field.value);
    }
    line += '}';
    return line;
}

std::string ToTextLine(const TraceEvent& event) {
    char time[32];
    std::snprintf(time, sizeof time, "%9.3f  ", static_cast<double>(event.t) / 1000.0);
    std::string line = time + event.ev;
    while (line.size() < 19) line += ' ';
    for (const TraceField& field : event.fields) {
        // The operation or function names the line; the other fields follow as key=value.
        if (field.key == "op" || field.key == "fn" || field.key == "name") {
            const auto* text = std::get_if<std::string>(&field.value);
            line += " " + (text ? *text : JsonValue(field.value));
        } else {
            std::string value = JsonValue(field.value);
            line += " " + field.key + "=" + value;
        }
    }
    return line;
}

}  // namespace zinna::sim
