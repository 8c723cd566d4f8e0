// The restore journal on Xfce against a real xfconfd (run-in-private-desktop.sh): a run killed while
// every backdrop wears her look is undone by the next start, however many backdrops there are up
// to the journal's bound; beyond it nothing is changed. An xfconfd that stops answering costs a few
// seconds, the journal stays, and once it answers again "zinna --restore" gives every backdrop back.
#include "linux_desktop_support.h"
#include "xfconf_calls.h"
#include "platform/journal/journaling_module.h"
#include "platform/journal/restore_journal.h"

#include <gio/gio.h>

#include <chrono>
#include <fstream>
#include <map>
#include <optional>
#include <vector>

namespace zinna::linuxdesk::testing {

namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

constexpr auto kRestoreLimit = std::chrono::seconds(5);  // as zinna gives her start's restore

void ClearChannel(GDBusConnection* bus) {
    GVariant* reply = XfconfCall(bus, "ResetProperty", g_variant_new("(ssb)", "xfce4-desktop", "/backdrop", TRUE));
    if (reply) g_variant_unref(reply);
}

void SetXfconf(GDBusConnection* bus, const std::string& property, GVariant* value) {
    GVariant* reply = XfconfCall(bus, "SetProperty", g_variant_new("(ssv)", "xfce4-desktop", property.c_str(), value));
    REQUIRE(reply != nullptr);
    g_variant_unref(reply);
}

// monitors x workspaces backdrops, each with a picture of its own and a style; every third one a colour.
void MakeBackdrops(GDBusConnection* bus, int monitors, int workspaces) {
    ClearChannel(bus);
    for (int m = 0; m < monitors; ++m) {
        for (int w = 0; w < workspaces; ++w) {
            const std::string backdrop =
                "/backdrop/screen0/monitorDP-" + std::to_string(m) + "/workspace" + std::to_string(w) + "/";
            const std::string picture =
                "/home/zöe/Bilder/Monitor " + std::to_string(m) + " Arbeitsfläche " + std::to_string(w) + ".png";
            SetXfconf(bus, backdrop + "last-image", g_variant_new_string(picture.c_str()));
            SetXfconf(bus, backdrop + "image-style", g_variant_new_int32(1 + (m + w) % 6));
            if ((m + w) % 3 == 0) SetXfconf(bus, backdrop + "color-style", g_variant_new_int32(1));
        }
    }
}

// xfconfd stopped (SIGSTOP) while it lives, and answering again afterwards.
class StoppedService {
public:
    explicit StoppedService(pid_t pid) : pid_(pid) { REQUIRE(kill(pid_, SIGSTOP) == 0); }
    ~StoppedService() { kill(pid_, SIGCONT); }

private:
    pid_t pid_;
};

std::string DesktopName() { return "linux:" + std::to_string(getuid()); }

// One run of zinna as far as her journal goes, composed as zinna composes it: her module on Xfce,
// the journal around it, the desktop's own settings kept beside the values.
struct Run {
    std::unique_ptr<ZinnaModule> module;
    std::unique_ptr<journal::JournalFile> file;
    std::vector<journal::JournalNotice> notices;
    std::function<void()> beforeSettingsRestore = [] {};
    std::optional<journal::RestoreJournal> journal;
    std::optional<journal::JournalingModule> journaling;

    Run(const fs::path& dataFolder, const fs::path& journalPath, const char* desktop = "xfce")
        : module(ModuleOn(desktop, dataFolder)), file(journal::OpenJournalFile(journalPath)) {
        const journal::ProgramDesktop program{kDesktopKeyPath, kWallpaperFile};
        journal::RestoreJournal::Hooks hooks;
        hooks.readUserDesktop = [this, program] {
            auto record = journal::ReadDesktopThrough(*module, DesktopName(), program);
            for (const auto& [name, text] : CaptureDesktopState(*module)) record.settings.push_back({name, text});
            return record;
        };
        hooks.report = [this](const journal::JournalNotice& notice) { notices.push_back(notice); };
        hooks.restoreSettings = [this](const std::vector<journal::DesktopSetting>& settings) {
            beforeSettingsRestore();
            DesktopState state;
            for (const auto& setting : settings) state[setting.name] = setting.text;
            return RestoreDesktopState(*module, state);
        };
        // As zinna reaches another backend: the one a journal names, when this session can.
        hooks.reachBackend = [dataFolder](const std::string& backend) -> std::optional<journal::ReachedBackend> {
            std::shared_ptr<ZinnaModule> other = CreateLinuxModuleForBackend(backend, {nullptr, dataFolder.string()});
            if (!other) return std::nullopt;
            return journal::ReachedBackend{other, [other](const std::vector<journal::DesktopSetting>& settings) {
                                               DesktopState state;
                                               for (const auto& setting : settings) state[setting.name] = setting.text;
                                               return RestoreDesktopState(*other, state);
                                           }};
        };
        journal.emplace(*file, *module, journal::JournalDesktop{DesktopName(), BackendNameOf(*module)}, program,
                        std::move(hooks));
        journaling.emplace(*module, *journal);
    }

    journal::Recovery Recover() {
        const DesktopCallLimit limit(*module, kRestoreLimit);
        return journal->Recover();
    }
};

// "zinna --restore" itself, on the private desktop's screen; its exit status.
int ZinnaRestore(const fs::path& dataFolder, const fs::path& stateFolder) {
    std::string program = ZINNA_PROGRAM, option = "--restore";
    char* argv[] = {program.data(), option.data(), nullptr};
    std::vector<std::string> variables = {"ZINNA_DESKTOP=xfce", "ZINNA_DATA_DIR=" + dataFolder.string(),
                                          "XDG_STATE_HOME=" + stateFolder.string()};
    for (char** variable = environ; *variable; ++variable) {
        const std::string text = *variable;
        if (!text.starts_with("ZINNA_DESKTOP=") && !text.starts_with("ZINNA_DATA_DIR=") &&
            !text.starts_with("XDG_STATE_HOME="))
            variables.push_back(text);
    }
    std::vector<char*> envp;
    for (auto& text : variables) envp.push_back(text.data());
    envp.push_back(nullptr);
    pid_t child = 0;
    REQUIRE(posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, envp.data()) == 0);
    int status = 0;
    REQUIRE(waitpid(child, &status, 0) == child);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TEST_CASE("a killed run on Xfce is undone by the next start, every backdrop, up to the journal's bound") {
    const auto dataFolder = MakeDataFolder();
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    REQUIRE(bus != nullptr);
    struct Case {
        const char* what;
        int monitors, workspaces;
        bool journalled;
    };
    const Case cases[] = {
        {"2 monitors x 4 workspaces", 2, 4, true},
        {"16 monitors x 32 workspaces", 16, 32, true},
        {"28 monitors x 32 workspaces, beyond the bound", 28, 32, false},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        const fs::path state = dataFolder.parent_path() / ("state-" + std::to_string(c.monitors));
        const fs::path journalPath = state / "zinna" / "restore.journal";
        MakeBackdrops(bus, c.monitors, c.workspaces);
        const auto users = XfconfBackdrops(bus);
        {
            Run killed(dataFolder, journalPath);
            ProgramOnDesktop program(*killed.journaling);
            program.Start();
            // Killed: no quit, nothing given back.
            CHECK(fs::exists(journalPath) == c.journalled);
            if (!c.journalled) {
                CHECK(XfconfBackdrops(bus) == users);  // not journalled: not changed at all
                REQUIRE(killed.notices.size() == 1);
                CHECK(killed.notices[0].kind == journal::JournalNotice::Kind::Refused);
                continue;
            }
            const auto dressed = XfconfBackdrops(bus);
            CHECK(dressed != users);
            int wearing = 0;
            for (const auto& [name, value] : dressed)
                wearing += name.ends_with("/last-image") && value.find("LH1024x768.bmp") != std::string::npos;
            CHECK(wearing == c.monitors * c.workspaces);
        }
        Run next(dataFolder, journalPath);
        const auto started = SteadyClock::now();
        CHECK(next.Recover() == journal::Recovery::Restored);
        CHECK(SteadyClock::now() - started < kRestoreLimit);
        CHECK(XfconfBackdrops(bus) == users);
        CHECK_FALSE(fs::exists(journalPath));
    }
    g_object_unref(bus);
}

TEST_CASE("an xfconfd that stops answering costs a few seconds, keeps the journal, and zinna --restore ends it") {
    const auto dataFolder = MakeDataFolder();
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    REQUIRE(bus != nullptr);
    struct Case {
        const char* what;
        bool stopBeforeModule;  // else stopped once the module has found xfconf
        bool stopMidRestore;    // stopped between the values and the backdrops' own settings
        const char* notice;
    };
    const Case cases[] = {
        {"stopped before the start", true, false, "cannot be read now"},
        {"stopped before the restore", false, false, "cannot be read now"},
        {"stopped in the middle of the restore", false, true, "did not take back every setting"},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        const fs::path state = dataFolder.parent_path() / "state-stopped";
        const fs::path journalPath = state / "zinna" / "restore.journal";
        fs::remove_all(state);
        MakeBackdrops(bus, 2, 4);
        const auto users = XfconfBackdrops(bus);
        {
            Run killed(dataFolder, journalPath);
            ProgramOnDesktop(*killed.journaling).Start();
        }
        const auto dressed = XfconfBackdrops(bus);
        REQUIRE(fs::exists(journalPath));
        const std::string journalText = [&] {
            std::ifstream in(journalPath, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        }();
        const pid_t xfconfd = XfconfdPid(bus);
        {
            const auto started = SteadyClock::now();
            std::optional<StoppedService> stopped;
            if (c.stopBeforeModule) stopped.emplace(xfconfd);
            Run hung(dataFolder, journalPath);
            if (!c.stopBeforeModule && !c.stopMidRestore) stopped.emplace(xfconfd);
            if (c.stopMidRestore) hung.beforeSettingsRestore = [&] { stopped.emplace(xfconfd); };
            CHECK(hung.Recover() == journal::Recovery::Kept);
            // The module's first look for xfconf and the restore's own limit, nothing more.
            CHECK(SteadyClock::now() - started < kRestoreLimit + std::chrono::seconds(4));
            REQUIRE(hung.notices.size() == 1);
            CHECK(hung.notices[0].kind == journal::JournalNotice::Kind::Kept);
            CHECK(hung.notices[0].detail.find(c.notice) != std::string::npos);
            CHECK(fs::exists(journalPath));
        }  // SIGCONT
        std::ifstream in(journalPath, std::ios::binary);
        CHECK(std::string(std::istreambuf_iterator<char>(in), {}) == journalText);  // kept as it was
        if (!c.stopMidRestore) CHECK(XfconfBackdrops(bus) == dressed);              // nothing was changed
        CHECK(ZinnaRestore(dataFolder, state) == 0);
        CHECK(XfconfBackdrops(bus) == users);
        CHECK_FALSE(fs::exists(journalPath));
    }
    g_object_unref(bus);
}

TEST_CASE("the program's own quit with a hung settings service costs a few seconds in all") {
    // Its restore takes four steps (the colour, both style values, the picture), some of them a read
    // and a change: a service found hung costs the first call its budget (3 s) and each later one
    // little (0.5 s), 5 s in all where each step's own budget made 15 s; and the desktop reports
    // that it did not take them back, so her journal stays.
    const auto dataFolder = MakeDataFolder();
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    REQUIRE(bus != nullptr);
    const fs::path reply = dataFolder / "reply.txt", log = dataFolder / "scripts.log";
    std::ofstream(reply) << "org.kde.image file%3A%2F%2F%2Fa.png 2 %23123456\n";
    for (const std::string desktop : {"xfce", "kde"}) {
        CAPTURE(desktop);
        if (desktop == "xfce") MakeBackdrops(bus, 2, 4);
        std::optional<PlasmaStandIn> plasma;
        if (desktop == "kde") plasma.emplace(log, reply);
        const fs::path journalPath = dataFolder.parent_path() / ("state-quit-" + desktop) / "zinna" / "restore.journal";
        Run run(dataFolder, journalPath, desktop.c_str());
        ProgramOnDesktop program(*run.journaling);
        program.Start();
        REQUIRE(fs::exists(journalPath));
        {
            StoppedService stopped(plasma ? plasma->Pid() : XfconfdPid(bus));
            const auto began = SteadyClock::now();
            program.Quit();
            const auto took = SteadyClock::now() - began;
            CHECK(took < std::chrono::milliseconds(7500));
            CHECK_FALSE(run.journal->ProgramEnded());
            CHECK(fs::exists(journalPath));
        }
        // Answering again, the next change gets its full budget and is taken: the journal goes.
        program.Quit();
        CHECK(run.journal->ProgramEnded());
        CHECK_FALSE(fs::exists(journalPath));
    }
    g_object_unref(bus);
}

TEST_CASE("zinna --restore fails while the journal cannot be given back, and keeps it") {
    const auto dataFolder = MakeDataFolder();
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    REQUIRE(bus != nullptr);
    const fs::path state = dataFolder.parent_path() / "state-restore";
    const fs::path journalPath = state / "zinna" / "restore.journal";
    MakeBackdrops(bus, 1, 2);
    const auto users = XfconfBackdrops(bus);
    {
        Run killed(dataFolder, journalPath);
        ProgramOnDesktop(*killed.journaling).Start();
    }
    {
        StoppedService stopped(XfconfdPid(bus));
        CHECK(ZinnaRestore(dataFolder, state) == 1);
        CHECK(fs::exists(journalPath));
    }
    CHECK(ZinnaRestore(dataFolder, state) == 0);
    CHECK(XfconfBackdrops(bus) == users);
    CHECK(ZinnaRestore(dataFolder, state) == 0);  // nothing left to do
    g_object_unref(bus);
}

namespace {

struct GnomeBackground {
    std::string picture, colour;
    bool operator==(const GnomeBackground&) const = default;
};

GnomeBackground ReadGnome() {
    GSettings* settings = g_settings_new("org.gnome.desktop.background");
    gchar* picture = g_settings_get_string(settings, "picture-uri");
    gchar* colour = g_settings_get_string(settings, "primary-color");
    GnomeBackground background{picture, colour};
    g_free(picture);
    g_free(colour);
    g_object_unref(settings);
    return background;
}

void SetGnome(const GnomeBackground& background) {
    GSettings* settings = g_settings_new("org.gnome.desktop.background");
    g_settings_set_string(settings, "picture-uri", background.picture.c_str());
    g_settings_set_string(settings, "primary-color", background.colour.c_str());
    g_settings_sync();
    g_object_unref(settings);
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST_CASE("a journal of another desktop is given back through its own backend, or kept untouched until it can be") {
    const auto dataFolder = MakeDataFolder();
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    REQUIRE(bus != nullptr);
    const GnomeBackground gnomeUsers{"file:///home/zoe/Bilder/eigen.png", "#123456"};
    struct Case {
        const char* what;
        const char* killedOn;   // the desktop of the killed run
        const char* startedOn;  // the desktop of the next start
        journal::Recovery result;
        const char* detail;
    };
    const Case cases[] = {
        {"killed under GNOME, started on the bare X screen", "gnome", "x11", journal::Recovery::Restored,
         "through gsettings:gnome"},
        {"killed under GNOME, started on Xfce", "gnome", "xfce", journal::Recovery::Restored,
         "through gsettings:gnome"},
        {"killed on Xfce, started under GNOME", "xfce", "gnome", journal::Recovery::Kept,
         "through xfconf, which cannot be reached"},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        const fs::path state = dataFolder.parent_path() / "state-foreign";
        const fs::path journalPath = state / "zinna" / "restore.journal";
        fs::remove_all(state);
        SetGnome(gnomeUsers);
        MakeBackdrops(bus, 1, 2);
        const auto xfceUsers = XfconfBackdrops(bus);
        {
            Run killed(dataFolder, journalPath, c.killedOn);
            ProgramOnDesktop(*killed.journaling).Start();
        }
        REQUIRE(fs::exists(journalPath));
        const std::string journalText = ReadAll(journalPath);
        const GnomeBackground gnomeDressed = ReadGnome();
        const auto xfceDressed = XfconfBackdrops(bus);
        CHECK((std::string(c.killedOn) == "gnome" ? gnomeDressed != gnomeUsers : xfceDressed != xfceUsers));

        Run next(dataFolder, journalPath, c.startedOn);
        CHECK(next.Recover() == c.result);
        REQUIRE_FALSE(next.notices.empty());
        CHECK(next.notices[0].detail.find(c.detail) != std::string::npos);
        if (c.result == journal::Recovery::Restored) {
            CHECK(ReadGnome() == gnomeUsers);
            CHECK_FALSE(fs::exists(journalPath));
            continue;
        }
        // Kept: byte for byte, and her start on this desktop changes nothing while it is.
        CHECK(ReadAll(journalPath) == journalText);
        ProgramOnDesktop(*next.journaling).Start();
        CHECK(ReadGnome() == gnomeUsers);
        CHECK(ReadAll(journalPath) == journalText);
        CHECK(next.notices.back().kind == journal::JournalNotice::Kind::Refused);
        // Back on its own desktop, it is given back.
        Run home(dataFolder, journalPath, c.killedOn);
        CHECK(home.Recover() == journal::Recovery::Restored);
        CHECK(XfconfBackdrops(bus) == xfceUsers);
        CHECK_FALSE(fs::exists(journalPath));
    }
    g_object_unref(bus);
}

}  // namespace zinna::linuxdesk::testing
