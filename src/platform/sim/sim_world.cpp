#include "platform/sim/sim_world.h"

#include "lifecycle/program_constants.h"
#include "platform/sim/sim_desktop_file.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <tuple>

namespace zinna::sim {

// The built-in host, and once it has loaded her, the presenter that draws her on the recorded
// surface; the presenter goes before the character it watches.
class SimWorld::PresentedHost final : public AgentControl {
public:
    PresentedHost(std::unique_ptr<stage::StageControl> host, RecordedSurface& surface, stage::StagePresenter::Post post)
        : host_(std::move(host)), surface_(surface), post_(std::move(post)) {}

    void SetConnected(basic::Boolean connected) override { host_->SetConnected(connected); }
    RequestId CharactersLoad(const std::string& characterId, const std::string& path) override {
        const RequestId id = host_->CharactersLoad(characterId, path);
        if (!presenter_ && host_->Loaded())
            presenter_ = std::make_unique<stage::StagePresenter>(*host_->Loaded(), surface_, post_);
        return id;
    }
    AgentCharacter& Characters(const std::string& characterId) override { return host_->Characters(characterId); }

    stage::StageControl& Host() { return *host_; }
    stage::StagePresenter* Presenter() { return presenter_.get(); }

private:
    std::unique_ptr<stage::StageControl> host_;
    RecordedSurface& surface_;
    stage::StagePresenter::Post post_;
    std::unique_ptr<stage::StagePresenter> presenter_;
};

stage::StagePresenter* SimWorld::Presenter() const { return presented_ ? presented_->Presenter() : nullptr; }

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
    journal::RestoreJournal::Hooks hooks;
    hooks.readUserDesktop = [this] { return UserDesktopRecord(); };
    hooks.report = [this](const journal::JournalNotice& notice) {
        trace_.Record("journal",
                      {{"action", std::string(journal::NoticeName(notice.kind))}, {"detail", notice.detail}});
    };
    // The simulated desktop stands for Windows' registry; its default colour is the one it starts with.
    journal_ = std::make_unique<journal::RestoreJournal>(
        *journalFile_, desktop_, journal::JournalDesktop{kSimDesktopName, kSimBackendName},
        journal::ProgramDesktop{kDesktopKeyPath, kWallpaperFile, SimDesktopConfig{}.desktopColor}, std::move(hooks));
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
        auto presented = std::make_unique<PresentedHost>(
            std::move(host), surface_, [this](std::function<void()> work) { posted_.push_back(std::move(work)); });
        presented_ = presented.get();
        inner = std::move(presented);
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
    // Whoever reads the program's state after the run reads it as of the run's last moment: the
    // ticks that only counted, left for later, run now, those of that very moment included.
    toolkit_.CatchUpTimer1Through(clock_.NowMs());
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
    stage::StagePresenter* presenter = Presenter();
    if (!character || !presenter) return;
    // The pointer presses her in the middle of her frame, as the presenter hears it from a window.
    const int grabX = character->FrameWidth() / 2, grabY = character->FrameHeight() / 2;
    const int atX = character->X() + grabX, atY = character->Y() + grabY;
    const auto now = static_cast<std::uint32_t>(clock_.NowMs());
    using stage::PointerButton;
    switch (action.kind) {
        case UserAction::Kind::Command: {
            // A right-click on her opens the menu, and the user picks the entry of that name.
            presenter->Press(PointerButton::Right, atX, atY, now);
            presenter->Release(PointerButton::Right, atX, atY);
            RunPosted();
            const std::optional<std::size_t> place = surface_.PlaceOf(action.command);
            if (surface_.OpenMenu()) presenter->MenuClosed(place);
            RunPosted();
            // A name the menu does not offer reaches the program as the control passes on any
            // other command (a voice command).
            if (!place) character->ChooseCommand(action.command);
            break;
        }
        case UserAction::Kind::DblClick:
            for (int press = 0; press < 2; ++press) {
                presenter->Press(PointerButton::Left, atX, atY, now);
                presenter->Release(PointerButton::Left, atX, atY);
            }
            break;
        case UserAction::Kind::Drag:
            presenter->Press(PointerButton::Left, atX, atY, now);
            presenter->Move(action.x + grabX, action.y + grabY);
            presenter->Release(PointerButton::Left, action.x + grabX, action.y + grabY);
            break;
    }
    RunPosted();
}

void SimWorld::RunPosted() {
    while (!posted_.empty()) {
        std::function<void()> work = std::move(posted_.front());
        posted_.pop_front();
        work();
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
    // She and her balloon as the presenter put them on the screen.
    if (Presenter() && surface_.PictureShown()) {
        scene.character = &surface_.Picture();
        scene.characterX = surface_.X();
        scene.characterY = surface_.Y();
        scene.balloon = surface_.Balloon();
        scene.balloonLines = surface_.BalloonLines();
    }
    return PaintScreen(scene);
}

}  // namespace zinna::sim
