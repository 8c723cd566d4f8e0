// Zinna on a Linux desktop (X11, or a Wayland session through XWayland): the companion itself. One
// instance per display. A restore journal left by an earlier run that did not end in order is
// applied first; then the main window's start-up runs, then the loop until the program ends.
// "zinna --restore" only applies the journal; --help, --version and a usage mistake are answered
// before the display is opened.
#include "cli/program_command_line.h"
#include "lifecycle/program_constants.h"
#include "lifecycle/zinna_form.h"
#include "platform/journal/journaling_module.h"
#include "platform/journal/posix_journal_file.h"

// This layer's headers bring the program's declarations in before Xlib (see x_connection.h).
#include "platform/linux/x11/event_loop.h"
#include "platform/linux/x11/hosted_agent_control.h"
#include "platform/linux/x11/single_instance.h"
#include "platform/linux/x11/x11_toolkit.h"

#include "platform/linux/desktop/linux_module.h"

#include <time.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

// Where zinna.acs and LH1024x768.bmp are: ZINNA_DATA_DIR, else share/zinna beside the program's
// own bin folder (so an installation works wherever its prefix is).
std::string DataDirectory() {
    if (const char* set = std::getenv("ZINNA_DATA_DIR"); set != nullptr && *set != '\0') return set;
    std::string program(PATH_MAX, '\0');
    const ssize_t length = readlink("/proc/self/exe", program.data(), program.size());
    program.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    const auto bin = program.find_last_of('/');
    const std::string binDir = bin == std::string::npos ? std::string(".") : program.substr(0, bin);
    const auto prefix = binDir.find_last_of('/');
    return (prefix == std::string::npos ? std::string(".") : binDir.substr(0, prefix)) + "/share/zinna";
}

std::int64_t RealTimeNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The journal's values belong to this user's desktop.
std::string CurrentDesktopName() { return "linux:" + std::to_string(getuid()); }

// The user's desktop for the journal: the values as the program reads them, and the desktop's own
// settings behind them, so that a restore from the journal is as exact as the program's own.
// The program's desktop key and wallpaper name, which the journal knows only from here. The default
// colour matters little here: the desktop's own settings are then unset to their defaults as well.
const zinna::journal::ProgramDesktop kProgramDesktop{zinna::kDesktopKeyPath, zinna::kWallpaperFile, 0};

zinna::journal::DesktopRecord ReadUserDesktop(zinna::ZinnaModule& module, const std::string& desktopName) {
    zinna::journal::DesktopRecord record = zinna::journal::ReadDesktopThrough(module, desktopName, kProgramDesktop);
    for (const auto& [name, text] : zinna::linuxdesk::CaptureDesktopState(module))
        record.settings.push_back({name, text});
    return record;
}

bool RestoreUserSettings(zinna::ZinnaModule& module, const std::vector<zinna::journal::DesktopSetting>& settings) {
    zinna::linuxdesk::DesktopState state;
    for (const auto& setting : settings) state[setting.name] = setting.text;
    return zinna::linuxdesk::RestoreDesktopState(module, state);
}

void ReportJournalNotice(const zinna::journal::JournalNotice& notice) {
    std::fputs(zinna::journal::NoticeLine(notice).c_str(), stderr);
}

// How long the settings services get, in all, to give the desktop back: at the session's end (the
// session manager's patience before SIGKILL is about 10 s) and when the X server has gone. What they
// could not take in that time stays in the journal.
constexpr std::chrono::seconds kEndingLimit{5};

// The X server has gone: nothing more may be asked of X, but the desktop's settings live in their
// services (GSettings, xfconf, Plasma's shell), which need no X. The journal gives them back as the
// next start would, now, and goes only when that succeeded; the bare X screen's picture, which
// needs X, cannot come back this way, and its journal stays.
int GiveBackAfterXLoss(zinna::ZinnaModule& module, zinna::journal::RestoreJournal* journal) {
    if (journal == nullptr) {
        std::fputs("zinna: without a restore journal the desktop cannot be given back\n", stderr);
        return zinna::xlib::kXServerLostKeptExitCode;
    }
    const zinna::linuxdesk::DesktopCallLimit limit(module, kEndingLimit);
    const auto recovery = journal->Recover();
    if (recovery == zinna::journal::Recovery::Kept || recovery == zinna::journal::Recovery::SetAside) {
        std::fputs(
            "zinna: the desktop could not be given back without the X server; \"zinna --restore\" gives it "
            "back from the journal\n",
            stderr);
        return zinna::xlib::kXServerLostKeptExitCode;
    }
    std::fputs("zinna: the desktop's settings are given back\n", stderr);
    return zinna::xlib::kXServerLostExitCode;
}

}  // namespace

int main(int argc, char** argv) {
    using zinna::cli::ProgramAction;
    const zinna::cli::ProgramCommand command =
        zinna::cli::ParseProgramCommandLine({argv + 1, argv + argc}, zinna::cli::OptionStyle::Posix);
    if (command.action == ProgramAction::Print)
        return std::fputs(command.text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
    if (command.action == ProgramAction::Refuse) {
        std::fputs(command.text.c_str(), stderr);
        return 2;
    }

    std::optional<zinna::x11::XConnection> x;
    try {
        x.emplace();
    } catch (const std::runtime_error&) {
        std::fprintf(stderr, "zinna: no X display (DISPLAY is not set or cannot be opened)\n");
        return 1;
    }
    zinna::x11::EventLoop loop(*x);
    const std::string dataDir = DataDirectory();
    zinna::x11::X11Toolkit toolkit(loop, "Zinna", [&dataDir](const std::string& path) {
        return zinna::x11::ReadWholeFile(zinna::linuxdesk::HostPathFromProgramPath(path, dataDir));
    });
    // A second Zinna leaves the desktop to the first one and touches nothing.
    if (!zinna::x11::ClaimSingleInstance(*x, static_cast<::Window>(toolkit.hWnd()))) return 0;
    // And one per user, whatever the display: the settings and the journal are the user's. Without
    // a folder for it (no home) Zinna runs as she did before journals.
    const auto journalPath = zinna::journal::DefaultJournalPath();
    std::optional<zinna::x11::UserInstanceLock> userLock;
    if (journalPath) {
        if (const auto refused = zinna::journal::PreparePrivateFolder(journalPath->parent_path())) {
            std::fprintf(stderr, "zinna: restore journal %s\n", refused->c_str());
        } else {
            userLock.emplace(journalPath->parent_path() / "instance.lock");
            if (userLock->Claimed() == zinna::x11::UserInstanceLock::State::HeldByAnother) {
                std::fprintf(stderr,
                             "zinna: another Zinna of this user is running; this one leaves the desktop to "
                             "her and changes nothing\n");
                return 0;
            }
            if (userLock->Claimed() == zinna::x11::UserInstanceLock::State::Unavailable)
                std::fprintf(stderr, "zinna: %s\n", userLock->Problem().c_str());
        }
    }
    // Start-up measurements (scripts/measure-linux.sh): when her first frame went to the screen.
    if (std::getenv("ZINNA_REPORT_FIRST_FRAME") != nullptr)
        toolkit.SetFirstFrameListener(
            [] { std::fprintf(stderr, "zinna: first frame at %lld ns\n", static_cast<long long>(RealTimeNs())); });

    const std::unique_ptr<zinna::ZinnaModule> module = zinna::linuxdesk::CreateLinuxModule({x->Get(), dataDir});
    const std::unique_ptr<zinna::journal::JournalFile> journalFile =
        journalPath ? zinna::journal::OpenJournalFile(*journalPath) : nullptr;
    std::optional<zinna::journal::RestoreJournal> journal;
    if (journalFile) {
        const std::string desktopName = CurrentDesktopName();
        zinna::journal::RestoreJournal::Hooks hooks;
        hooks.readUserDesktop = [&module, desktopName] { return ReadUserDesktop(*module, desktopName); };
        hooks.report = ReportJournalNotice;
        hooks.restoreSettings = [&module](const auto& settings) { return RestoreUserSettings(*module, settings); };
        // A journal of another backend is given back through it when it can be reached from here.
        hooks.reachBackend = [&x,
                              &dataDir](const std::string& backend) -> std::optional<zinna::journal::ReachedBackend> {
            std::shared_ptr<zinna::ZinnaModule> other =
                zinna::linuxdesk::CreateLinuxModuleForBackend(backend, {x->Get(), dataDir});
            if (!other) return std::nullopt;
            zinna::journal::ReachedBackend reached;
            reached.restoreSettings = [other](const auto& settings) { return RestoreUserSettings(*other, settings); };
            reached.module = other;
            return reached;
        };
        journal.emplace(*journalFile, *module,
                        zinna::journal::JournalDesktop{desktopName, zinna::linuxdesk::BackendNameOf(*module)},
                        kProgramDesktop, std::move(hooks));
        // A settings service that hangs costs a few seconds in all; the journal then stays for later.
        const zinna::linuxdesk::DesktopCallLimit limit(*module, std::chrono::seconds(5));
        journal->Recover();  // before the program reads anything
    }
    // "zinna --restore" fails when the desktop is not given back (a journal left that it could not
    // give back or had to set aside, her look with no journal), and when there is no folder to look in.
    if (command.action == ProgramAction::Restore) {
        if (!journal) {
            std::fprintf(stderr, "zinna: no folder for a restore journal is known (no home)\n");
            return 1;
        }
        if (journal->DesktopGivenBack()) return 0;
        std::fprintf(stderr, "zinna: the desktop was not given back whole; its restore journal: %s\n",
                     journalPath->c_str());
        return 1;
    }

    std::optional<zinna::journal::JournalingModule> journaling;
    if (journal) journaling.emplace(*module, *journal);
    zinna::ZinnaModule& programModule = journaling ? static_cast<zinna::ZinnaModule&>(*journaling) : *module;
    zinna::ZinnaForm form(toolkit, programModule);
    // A hung settings service costs kEndingLimit in all, however many settings the restore takes.
    toolkit.SetSessionEndingHandler([&form, &module] {
        const zinna::linuxdesk::DesktopCallLimit limit(*module, kEndingLimit);
        form.Dispatch().SessionEnding();
    });
    toolkit.SetDesktopRescue([&form, &module] {
        const zinna::linuxdesk::DesktopCallLimit limit(*module, kEndingLimit);
        form.Dispatch().EndAfterEscapedError();
    });
    // The journal goes only when the desktop took every change of her quit; otherwise it stays for
    // the next start, and the user hears so (the journal watches every change the program makes).
    if (journal) toolkit.SetEndHandler([&journal](zinna::EndReason) { journal->ProgramEnded(); });
    zinna::xlib::SetXServerLostAction(
        [&module, &journal] { return GiveBackAfterXLoss(*module, journal ? &*journal : nullptr); });
    // The action goes before what it uses: a server lost while the rest closes finds none.
    struct ForgetXLossAction {
        ~ForgetXLossAction() { zinna::xlib::SetXServerLostAction(nullptr); }
    } forgetAction;
    form.Dispatch().Start();
    return toolkit.RunMessageLoop();
}
