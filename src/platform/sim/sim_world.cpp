#include "platform/sim/sim_world.h"

namespace zinna::sim {

SimWorld::SimWorld(SimConfig config)
    : config_(std::move(config)),
      trace_(clock_),
      desktop_(config_.desktop, trace_),
      toolkit_(config_.screen, config_.seed, config_.firstRandomNumbers, clock_, trace_,
               [this](AgentEvents& events) {
                   auto control = std::make_unique<SimAgentControl>(clock_, trace_, desktop_, events,
                                                                    config_.character, config_.failures);
                   control_ = control.get();
                   return control;
               }),
      form_(toolkit_, desktop_) {}

void SimWorld::Run(std::int64_t durationMs) {
    for (const UserAction& action : config_.script)
        clock_.ScheduleAt(action.timeMs, [this, action] { Perform(action); });
    clock_.ScheduleAt(0, [this] { form_.Dispatch().Start(); });
    clock_.RunUntil(durationMs, [this] { return toolkit_.Ended(); });
    if (!toolkit_.Ended()) trace_.Record("end", {{"reason", std::string("time")}});
    RecordState();
}

void SimWorld::Perform(const UserAction& action) {
    // The user can only act on a character that is there.
    if (toolkit_.Ended() || control_ == nullptr || form_.oCharacter == nullptr) return;
    switch (action.kind) {
        case UserAction::Kind::Command: control_->UserChoosesCommand(action.command); break;
        case UserAction::Kind::DblClick: control_->UserDoubleClicks(); break;
        case UserAction::Kind::Drag: control_->UserDragsTo(action.x, action.y); break;
    }
}

void SimWorld::RecordState() {
    auto text = [this](const char* name) -> TraceValue {
        auto value = desktop_.Text(kDesktopKey, name);
        return value ? TraceValue(*value) : TraceValue(nullptr);
    };
    trace_.Record("state", {{"wallpaper", text("Wallpaper")},
                            {"tile", text("TileWallpaper")},
                            {"style", text("WallpaperStyle")},
                            {"color", std::int64_t{desktop_.DesktopColor()}}});
}

}  // namespace zinna::sim
