#include "platform/sim/sim_world.h"

#include "platform/sim/sim_desktop_file.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <tuple>

namespace zinna::sim {

SimWorld::SimWorld(SimConfig config)
    : config_(std::move(config)),
      trace_(clock_),
      desktop_(config_.desktop, trace_),
      toolkit_(config_.screen, config_.seed, config_.firstRandomNumbers, clock_, trace_,
               [this](AgentEvents& program) { return CreateControl(program); }),
      form_(toolkit_, ProgramModule()) {
    sounds_.trace = &trace_;
    if (config_.stateDir) LoadSimDesktop(desktop_, *config_.stateDir / kSimDesktopFile);
    if (journal_) toolkit_.SetEndHandler([this](EndReason) { journal_->ProgramEnded(); });
    toolkit_.SetDesktopRescue([this] { form_.Dispatch().EndAfterEscapedError(); });
    if (config_.killAtMessageBox) toolkit_.SetMessageBoxHandler([] { throw platform::ProcessKilled{}; });
}

ZinnaModule& SimWorld::ProgramModule() {
    // Without a state folder there is nowhere to keep a journal: the program talks to the desktop.
    if (!config_.stateDir) return desktop_;
    journalFile_ = journal::OpenJournalFile(*config_.stateDir / kSimJournalFile);
    journal_ = std::make_unique<journal::RestoreJournal>(
        *journalFile_, desktop_, kSimDesktopName, [this] { return UserDesktopRecord(); },
        [this](const journal::JournalNotice& notice) {
            trace_.Record("journal",
                          {{"action", std::string(journal::NoticeName(notice.kind))}, {"detail", notice.detail}});
        });
    journaling_ = std::make_unique<journal::JournalingModule>(desktop_, *journal_);
    return *journaling_;
}

journal::DesktopRecord SimWorld::UserDesktopRecord() const {
    // Read from the simulated world directly: the journal's reading is no call of the program's.
    journal::DesktopRecord record;
    record.desktop = kSimDesktopName;
    for (const std::string& name : journal::kJournalledValues) {
        journal::SavedValue saved;
        saved.name = name;
        if (!desktop_.KeyExists(kDesktopKey)) {
            saved.state = journal::SavedValue::State::Unknown;
        } else if (auto value = desktop_.Value(kDesktopKey, name)) {
            saved.state = journal::SavedValue::State::Present;
            saved.type = value->type;
            saved.data = value->data;
        } else {
            saved.state = journal::SavedValue::State::Missing;
        }
        record.values.push_back(std::move(saved));
    }
    record.color = desktop_.DesktopColor();
    return record;
}

std::unique_ptr<AgentControl> SimWorld::CreateControl(AgentEvents& program) {
    tracedEvents_ = std::make_unique<TracedEvents>(trace_, program);
    std::unique_ptr<AgentControl> inner;
    if (config_.characterFile) {
        stage::StageSettings settings;
        settings.screenWidth = config_.screen.widthPixels;
        settings.screenHeight = config_.screen.heightPixels;
        settings.seed = config_.seed;
        settings.reportedFrameSize = config_.reportedFrameSize;
        settings.scale = static_cast<double>(config_.screen.dpi) / kDefaultDpi;
        auto host = std::make_unique<stage::StageControl>(
            clock_, *tracedEvents_, sounds_, [this](const std::string& path) { return ReadCharacterFile(path); },
            settings);
        host_ = host.get();
        inner = std::move(host);
    } else {
        SimCharacterConfig character = config_.character;
        if (config_.reportedFrameSize) std::tie(character.width, character.height) = *config_.reportedFrameSize;
        auto simple = std::make_unique<SimAgentControl>(clock_, desktop_, *tracedEvents_, character);
        simpleControl_ = simple.get();
        inner = std::move(simple);
    }
    return std::make_unique<TracedControl>(std::move(inner), trace_, config_.failures);
}

std::vector<std::uint8_t> SimWorld::ReadCharacterFile(const std::string& path) const {
    // The simulated Windows directory's character file is the real file the run was given.
    if (!desktop_.FileExists(path) || !config_.characterFile)
        throw std::runtime_error("no such file on the simulated desktop");
    std::ifstream file(*config_.characterFile, std::ios::binary);
    if (!file) throw std::runtime_error("cannot open " + config_.characterFile->string());
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {});
}

void SimWorld::RecordedSound::Play(std::span<const std::uint8_t> waveFile) {
    played.push_back(waveFile.size());
    trace->Record("sound", {{"bytes", static_cast<std::int64_t>(waveFile.size())}});
}

void SimWorld::Run(std::int64_t durationMs) {
    if (config_.restoreOnly) {
        RestoreOnly();
        return;
    }
    Start();
    const bool killedFirst = config_.killAtMs && *config_.killAtMs <= durationMs;
    RunUntil(killedFirst ? *config_.killAtMs : durationMs);
    if (killed_) return;
    if (killedFirst && !toolkit_.Ended()) {
        Kill();
        return;
    }
    Finish();
}

void SimWorld::Start() {
    for (const UserAction& action : config_.script)
        clock_.ScheduleAt(action.timeMs, [this, action] { Perform(action); });
    clock_.ScheduleAt(0, [this] {
        if (journal_) journal_->Recover();  // before the program reads anything
        form_.Dispatch().Start();
    });
}

void SimWorld::RunUntil(std::int64_t timeMs) {
    if (toolkit_.Ended() || killed_) return;
    try {
        clock_.RunUntil(timeMs, [this] { return toolkit_.Ended(); });
    } catch (const platform::ProcessKilled&) {
        Kill();
    }
}

void SimWorld::Finish() {
    if (killed_) return;
    if (!toolkit_.Ended()) trace_.Record("end", {{"reason", std::string("time")}});
    RecordState();
    SaveState();
}

void SimWorld::Kill() {
    killed_ = true;
    trace_.Record("end", {{"reason", std::string("killed")}});
    RecordState();
    SaveState();
}

void SimWorld::RestoreOnly() {
    if (journal_) journal_->Recover();
    trace_.Record("end", {{"reason", std::string("restore")}});
    RecordState();
    SaveState();
}

void SimWorld::SaveState() {
    if (config_.stateDir) SaveSimDesktop(desktop_, *config_.stateDir / kSimDesktopFile);
}

void SimWorld::Perform(const UserAction& action) {
    // The user can only act on a character that is there.
    if (toolkit_.Ended() || form_.oCharacter == nullptr) return;
    if (simpleControl_) {
        switch (action.kind) {
            case UserAction::Kind::Command:
                simpleControl_->UserChoosesCommand(action.command);
                break;
            case UserAction::Kind::DblClick:
                simpleControl_->UserDoubleClicks();
                break;
            case UserAction::Kind::Drag:
                simpleControl_->UserDragsTo(action.x, action.y);
                break;
        }
        return;
    }
    stage::StageCharacter* character = host_ ? host_->Loaded() : nullptr;
    if (!character) return;
    // The pointer grabs her in the middle of her frame.
    int grabX = character->FrameWidth() / 2, grabY = character->FrameHeight() / 2;
    int atX = character->X() + grabX, atY = character->Y() + grabY;
    stage::PointerInput& pointer = character->Pointer();
    switch (action.kind) {
        case UserAction::Kind::Command:
            character->ChooseCommand(action.command);
            break;
        case UserAction::Kind::DblClick:
            pointer.DoubleClick(stage::PointerButton::Left, atX, atY);
            break;
        case UserAction::Kind::Drag:
            pointer.Press(stage::PointerButton::Left, atX, atY, character->X(), character->Y());
            pointer.Move(action.x + grabX, action.y + grabY);
            pointer.Release(stage::PointerButton::Left, action.x + grabX, action.y + grabY);
            break;
    }
}

DesktopLook SimWorld::DesktopNow() const {
    return DesktopLook{desktop_.Text(kDesktopKey, "Wallpaper"), desktop_.Text(kDesktopKey, "TileWallpaper"),
                       desktop_.Text(kDesktopKey, "WallpaperStyle"), desktop_.DesktopColor()};
}

void SimWorld::RecordState() {
    const DesktopLook look = DesktopNow();
    auto text = [](const std::optional<std::string>& value) {
        return value ? TraceValue(*value) : TraceValue(nullptr);
    };
    trace_.Record("state", {{"wallpaper", text(look.wallpaper)},
                            {"tile", text(look.tile)},
                            {"style", text(look.style)},
                            {"color", std::int64_t{look.color}}});
}

acs::RgbaImage SimWorld::PictureOfScreen() {
    ScreenScene scene;
    scene.width = config_.screen.widthPixels;
    scene.height = config_.screen.heightPixels;
    scene.desktopColor = desktop_.DesktopColor();
    scene.tileWallpaper = desktop_.Text(kDesktopKey, "TileWallpaper").value_or("");
    scene.wallpaperStyle = desktop_.Text(kDesktopKey, "WallpaperStyle").value_or("");
    // Only the program's own bitmap exists as a real file; the user's wallpaper is imaginary.
    std::string programPaper = form_.sWindowsDir + "\\LH1024x768.bmp";
    if (config_.wallpaperFile && !form_.sWindowsDir.empty() && desktop_.ShownWallpaper() == programPaper) {
        if (!wallpaperPicture_) wallpaperPicture_ = ReadBitmapFile(*config_.wallpaperFile);
        if (*wallpaperPicture_) scene.wallpaper = &**wallpaperPicture_;
    }
    if (const auto& bar = config_.desktop.taskbar)
        scene.taskbar = stage::ScreenRect{bar->Left, bar->Top, bar->Right, bar->Bottom};
    stage::StageCharacter* character = host_ ? host_->Loaded() : nullptr;
    if (character && character->Visible()) {
        scene.character = &character->FrameImage();
        scene.characterX = character->X();
        scene.characterY = character->Y();
        scene.balloon = character->Balloon();
        scene.balloonLines = character->BalloonLinesShown();
    }
    return PaintScreen(scene);
}

}  // namespace zinna::sim
