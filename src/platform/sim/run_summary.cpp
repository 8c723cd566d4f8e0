#include "platform/sim/run_summary.h"

#include <cstdio>

namespace zinna::sim {

namespace {

std::optional<std::string> OptionalText(const TraceEvent& event, const std::string& key) {
    const TraceValue* value = event.Find(key);
    if (value == nullptr || !std::holds_alternative<std::string>(*value)) return std::nullopt;
    return std::get<std::string>(*value);
}

std::string Quoted(const std::optional<std::string>& text) { return text ? "\"" + *text + "\"" : "missing"; }

std::string Colour(std::uint32_t color) {
    return std::to_string(color & 0xFF) + "," + std::to_string((color >> 8) & 0xFF) + "," +
           std::to_string((color >> 16) & 0xFF);
}

std::string Seconds(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
    return text;
}

std::string Time(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%9.3f", static_cast<double>(ms) / 1000.0);
    return text;
}

}  // namespace

DesktopLook LookOfState(const TraceEvent& state) {
    return DesktopLook{OptionalText(state, "wallpaper"), OptionalText(state, "tile"), OptionalText(state, "style"),
                       static_cast<std::uint32_t>(state.Number("color").value_or(0))};
}

std::vector<std::string> Differences(const DesktopLook& before, const DesktopLook& after) {
    std::vector<std::string> out;
    auto compare = [&](const char* name, const std::optional<std::string>& a, const std::optional<std::string>& b) {
        if (a != b) out.push_back(std::string(name) + " " + Quoted(a) + " is now " + Quoted(b));
    };
    compare("wallpaper", before.wallpaper, after.wallpaper);
    compare("tile", before.tile, after.tile);
    compare("style", before.style, after.style);
    if (before.color != after.color) out.push_back("colour " + Colour(before.color) + " is now " + Colour(after.color));
    return out;
}

std::string Describe(const DesktopLook& look) {
    return "wallpaper " + Quoted(look.wallpaper) + ", tile " + Quoted(look.tile) + ", style " + Quoted(look.style) +
           ", colour " + Colour(look.color);
}

void RunSummary::Observe(const TraceEvent& event) {
    if (event.ev == "os") {
        const std::string fn = event.Text("fn");
        if (fn == "SystemParametersInfo" && !dressedWallpaper_) dressedWallpaper_ = event.Text("path");
        if (fn == "SetSysColors" && !dressedColor_)
            dressedColor_ = static_cast<std::uint32_t>(event.Number("color").value_or(0));
    } else if (event.ev == "end") {
        endReason_ = event.Text("reason");
        endMs_ = event.t;
    } else if (event.ev == "state") {
        after_ = LookOfState(event);
    }
}

void RunSummary::Write(std::ostream& out, const Storyline& story) const {
    out << "\n== summary\n";
    out << "  what she did, and how long the control played each part:\n";
    for (const Chapter& chapter : story.Chapters()) {
        out << "  " << Time(chapter.beganMs) << "  " << chapter.Heading();
        if (auto played = chapter.PlayedMs()) out << " (" << Seconds(*played) << ")";
        out << "\n";
    }
    for (const auto& [heading, count] : story.Others()) out << "  " << count << " more times: " << heading << "\n";
    out << "  the run ended at " << Seconds(endMs_) << ": " << endReason_ << "\n";
    out << "  the desktop before:  " << Describe(before_) << "\n";
    if (dressedWallpaper_ || dressedColor_) {
        out << "  while she ran:       wallpaper " << Quoted(dressedWallpaper_);
        if (dressedColor_) out << ", colour " << Colour(*dressedColor_);
        out << "\n";
    }
    if (!after_) return;
    out << "  the desktop after:   " << Describe(*after_) << "\n";
    const std::vector<std::string> differences = Differences(before_, *after_);
    if (differences.empty()) {
        out << "  given back exactly\n";
        return;
    }
    out << "  not given back";
    if (endReason_ == "time") out << " (she was still there when the time ran out)";
    out << ":";
    for (std::size_t i = 0; i < differences.size(); ++i) out << (i ? "; " : " ") << differences[i];
    out << "\n";
}

}  // namespace zinna::sim
