// The fault table: zinna itself, the program as users run it, against the private desktop's real
// services (run-in-private-desktop.sh: Xvfb, a session bus with a real xfconfd, GSettings in a
// keyfile), one fault at a time. Each row is a fault, then what follows it (the next start,
// "zinna --restore", or nothing), then the state after: the desktop's settings compared with the
// user's from before, the journal (removed, kept, set aside as .bad) and what zinna said.
//
// SIGKILL lands on every OS call of her start-up and of her quit in turn, without any hook in the
// program: strace stops her at the Nth call of one kind (a D-Bus message, a call on the journal's
// files, a rename or fsync of the settings) and kills her there; each N is a row, until a run
// passes all such calls and ends in order.
//
// The rows are printed as a Markdown table; with ZINNA_FAULT_TABLE set they are also written to
// that file (scripts/fault-table.sh puts them into docs/linux.md).
#include "linux_desktop_support.h"
#include "xfconf_calls.h"
#include "platform/journal/journal_file.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <thread>
#include <vector>

namespace zinna::linuxdesk::testing {

namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;
using Settings = std::map<std::string, std::string>;

constexpr auto kPoll = std::chrono::milliseconds(25);
constexpr auto kStartLimit = std::chrono::seconds(40);  // a debug or sanitizer build, traced
constexpr auto kEndLimit = std::chrono::seconds(20);
constexpr auto kQuitLimit = std::chrono::seconds(10);  // her SIGTERM restore, whatever hangs
constexpr int kMaxKillPoints = 400;                    // a bound on each family of rows, never reached

fs::path TestDir() { return fs::path(std::getenv("ZINNA_TEST_DIR")); }

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Polls until done() or the deadline; false at the deadline.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = SteadyClock::now() + limit;
    while (!done()) {
        if (SteadyClock::now() > end) return false;
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

// A process of the test's, with its own environment additions and its standard error in a file;
// killed and reaped by the destructor if it still runs.
class Process {
public:
    Process(const std::vector<std::string>& args, const std::vector<std::string>& environment, const fs::path& errors) {
        std::vector<std::string> variables = environment;
        for (char** variable = environ; *variable; ++variable) {
            const std::string text = *variable;
            const std::string name = text.substr(0, text.find('=') + 1);
            bool replaced = false;
            for (const auto& own : environment) replaced = replaced || own.starts_with(name);
            if (!replaced) variables.push_back(text);
        }
        std::vector<char*> argv, envp;
        std::vector<std::string> argsCopy = args;
        for (auto& arg : argsCopy) argv.push_back(arg.data());
        argv.push_back(nullptr);
        for (auto& text : variables) envp.push_back(text.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        const int spawned = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        REQUIRE_MESSAGE(spawned == 0, args[0]);
    }
    ~Process() {
        if (!status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t Pid() const { return pid_; }
    bool Ended() {
        if (status_) return true;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
        return status_.has_value();
    }
    // The wait status, or nothing at the deadline.
    std::optional<int> Wait(std::chrono::milliseconds limit) {
        WaitUntil([this] { return Ended(); }, limit);
        return status_;
    }

private:
    pid_t pid_ = 0;
    std::optional<int> status_;
};

std::string StatusText(std::optional<int> status) {
    if (!status) return "still running";
    if (WIFEXITED(*status)) return "exit " + std::to_string(WEXITSTATUS(*status));
    return std::string("killed by ") + sigabbrev_np(WTERMSIG(*status));
}

// A command's standard output (for gsettings, xdotool).
std::string Output(const std::string& command) {
    std::string text;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
        pclose(pipe);
    }
    return text;
}

bool HerWindowShown(const std::string& display) {
    return std::system(
               ("DISPLAY=" + display + " xdotool search --onlyvisible --class '^Zinna$' >/dev/null 2>&1").c_str()) == 0;
}

// The settings zinna may change on a desktop, as the desktop's own tools read them.
struct Desktop {
    const char* name;  // ZINNA_DESKTOP
    std::function<Settings()> read;
    std::function<void()> dressAsUser;
};

GDBusConnection* Bus() {
    static GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    REQUIRE(bus != nullptr);
    return bus;
}

void SetXfconf(const std::string& property, GVariant* value) {
    GVariant* reply =
        XfconfCall(Bus(), "SetProperty", g_variant_new("(ssv)", "xfce4-desktop", property.c_str(), value));
    REQUIRE(reply != nullptr);
    g_variant_unref(reply);
}

void XfceBackdrops(int monitors, int workspaces) {
    if (GVariant* reply =
            XfconfCall(Bus(), "ResetProperty", g_variant_new("(ssb)", "xfce4-desktop", "/backdrop", TRUE)))
        g_variant_unref(reply);
    for (int m = 0; m < monitors; ++m)
        for (int w = 0; w < workspaces; ++w) {
            const std::string backdrop =
                "/backdrop/screen0/monitorDP-" + std::to_string(m) + "/workspace" + std::to_string(w) + "/";
            SetXfconf(backdrop + "last-image",
                      g_variant_new_string(
                          ("/home/zöe/Bilder/M" + std::to_string(m) + " W" + std::to_string(w) + ".png").c_str()));
            SetXfconf(backdrop + "image-style", g_variant_new_int32(1 + (m + w) % 6));
        }
}

Desktop Xfce(int monitors, int workspaces) {
    return {"xfce", [] { return XfconfBackdrops(Bus()); },
            [monitors, workspaces] { XfceBackdrops(monitors, workspaces); }};
}

Desktop Gnome() {
    return {"gnome",
            [] {
                Settings settings;
                std::istringstream lines(Output("gsettings list-recursively org.gnome.desktop.background"));
                for (std::string line; std::getline(lines, line);) {
                    const auto key = line.find(' '), value = line.find(' ', key + 1);
                    settings[line.substr(0, value)] = line.substr(value + 1);
                }
                return settings;
            },
            [] {
                REQUIRE(std::system("gsettings set org.gnome.desktop.background picture-uri "
                                    "'file:///home/zöe/Bilder/Berge am Morgen.jpg' && "
                                    "gsettings set org.gnome.desktop.background picture-options 'spanned' && "
                                    "gsettings set org.gnome.desktop.background primary-color '#2e5c8a'") == 0);
            }};
}

// The bare X screen: its root's picture properties, which the user's own tools (xsetroot, feh,
// Esetroot) set and zinna replaces.
Desktop BareScreen() {
    return {"x11",
            [] {
                Settings settings;
                for (const char* property : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"})
                    settings[property] = Output(std::string("xprop -root ") + property + " 2>&1");
                return settings;
            },
            [] {}};
}

// "the user's exactly", or how many settings differ and one of them.
std::string Compare(const Settings& users, const Settings& now) {
    int differ = 0;
    std::string example;
    for (const auto& [name, value] : users) {
        const auto found = now.find(name);
        if (found != now.end() && found->second == value) continue;
        ++differ;
        if (example.empty()) example = name + " = " + (found == now.end() ? "(none)" : found->second);
    }
    for (const auto& [name, value] : now)
        if (!users.contains(name)) {
            ++differ;
            if (example.empty()) example = name + " = " + value + " (new)";
        }
    if (differ == 0) return "the user's exactly";
    const auto slash = example.rfind('/', example.find(" = "));
    if (slash != std::string::npos) example = "…" + example.substr(slash);  // the key's last part
    return std::to_string(differ) + " settings differ from the user's " + std::to_string(users.size()) + " (" +
           example + ")";
}

std::string JournalState(const fs::path& journal) {
    std::string state;
    if (fs::exists(fs::symlink_status(journal))) state = "kept";
    int aside = 0;
    for (int n = 1; fs::exists(journal::AsideName(journal, n)); ++n) ++aside;
    if (aside > 0) state += std::string(state.empty() ? "" : ", ") + ".bad";
    return state.empty() ? "removed" : state;
}

// What zinna told the user on standard error, one notice after another, without the test's paths
// and the sound server's absence (no sound server runs here).
std::string Told(const fs::path& errors) {
    std::istringstream lines(ReadText(errors));
    std::string told;
    const std::string base = TestDir().string();
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("zinna: ") || line.find("no sound server") != std::string::npos) continue;
        // Her journal's path, which holds the test's folder, is the same word in every row.
        for (std::size_t at; (at = line.find(base)) != std::string::npos;) {
            const auto end = line.find("restore.journal", at);
            line.replace(at, end == std::string::npos ? base.size() : end - at, "");
        }
        told += (told.empty() ? "" : " / ") + line.substr(7);
    }
    return told.empty() ? "nothing" : told;
}

// One row of the table.
struct Row {
    std::string fault;
    std::string then;
    std::string desktop;
    std::string journal;
    std::string told;
};

// Checks the row, prints it, and adds it to ZINNA_FAULT_TABLE's file when that is set (the first
// row of a run starts the file afresh).
void Report(const Row& row, bool sound, const std::string& why) {
    if (!sound)
        FAIL_CHECK(row.fault << " -> " << row.then << ": " << why << "; desktop " << row.desktop << ", journal "
                             << row.journal << ", told: " << row.told);
    const std::string line =
        "| " + row.fault + " | " + row.then + " | " + row.desktop + " | " + row.journal + " | " + row.told + " |\n";
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
    static bool started = false;
    if (const char* target = std::getenv("ZINNA_FAULT_TABLE")) {
        std::ofstream out(target, started ? std::ios::app : std::ios::trunc);
        if (!started)
            out << "| Fault | Then | The desktop after | The journal | What she said |\n|---|---|---|---|---|\n";
        out << line;
        started = true;
    }
}

// Where one case keeps her state folder, and how she is started there.
struct Scene {
    Desktop desktop;
    fs::path state;
    std::string display = std::getenv("DISPLAY");
    std::vector<std::string> extraEnvironment;

    Scene(Desktop d, const std::string& name) : desktop(std::move(d)), state(TestDir() / ("state " + name)) {
        fs::remove_all(state);
    }
    fs::path Journal() const { return state / "zinna" / "restore.journal"; }
    std::vector<std::string> Environment() const {
        std::vector<std::string> environment = {std::string("ZINNA_DESKTOP=") + desktop.name,
                                                "ZINNA_DATA_DIR=" ZINNA_TEST_DATA_DIR,
                                                "XDG_STATE_HOME=" + state.string(), "DISPLAY=" + display};
        environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
        return environment;
    }
    // The same under strace: LeakSanitizer, in a sanitizer build, cannot run in a traced process
    // and would end it with 1 (the untraced runs still look for leaks).
    std::vector<std::string> TracedEnvironment() const {
        std::vector<std::string> environment = Environment();
        const char* asan = std::getenv("ASAN_OPTIONS");
        environment.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") + "detect_leaks=0");
        return environment;
    }
    // Her start: her window on the screen, the desktop changed (when she may change it) and the
    // journal written; false when she ended first.
    bool WaitUp(Process& zinna, const Settings& users, bool changes = true) {
        const bool up = WaitUntil(
            [&] {
                return zinna.Ended() ||
                       (HerWindowShown(display) && (!changes || (fs::exists(Journal()) && desktop.read() != users)));
            },
            kStartLimit);
        REQUIRE_MESSAGE(up, "zinna did not come up on the screen");
        return !zinna.Ended();
    }
    // "zinna --restore"; its status.
    int Restore(const fs::path& errors) {
        Process restore({ZINNA_PROGRAM, "--restore"}, Environment(), errors);
        const auto status = restore.Wait(kEndLimit);
        REQUIRE_MESSAGE(status, "zinna --restore did not end");
        return WIFEXITED(*status) ? WEXITSTATUS(*status) : 128 + WTERMSIG(*status);
    }
};

// The zinna process strace runs, once it runs zinna (strace forks short-lived children of its own
// first, to learn what ptrace can do here).
pid_t TracedChild(pid_t strace) {
    pid_t found = 0;
    WaitUntil(
        [&] {
            std::istringstream children(
                ReadText("/proc/" + std::to_string(strace) + "/task/" + std::to_string(strace) + "/children"));
            for (pid_t child = 0; children >> child;)
                if (ReadText("/proc/" + std::to_string(child) + "/comm") == "zinna\n") found = child;
            return found > 0;
        },
        kEndLimit);
    return found;
}

// The call strace stopped her at: its name and what it was for, from strace's own log.
std::string KilledAt(const fs::path& log, const std::string& syscall) {
    std::istringstream lines(ReadText(log));
    std::string last;
    for (std::string line; std::getline(lines, line);)
        if (line.find(syscall + "(") != std::string::npos) last = line;
    if (syscall == "sendmsg") {
        for (const char* member : {"GetAllProperties", "SetProperty", "GetProperty", "ResetProperty", "PropertyExists",
                                   "ListChannels", "AddMatch", "RemoveMatch", "Hello"})
            if (last.find(member) != std::string::npos) return std::string("the D-Bus call ") + member;
        return "a D-Bus message";
    }
    // The last path on the line is the call's own (strace -y also names the working folder first).
    std::string file;
    const std::regex path(R"(/([^/<>"]+)[>"])");
    for (auto match = std::sregex_iterator(last.begin(), last.end(), path); match != std::sregex_iterator(); ++match)
        file = (*match)[1].str();
    // GLib writes the settings' keyfile through a temporary file of a random name.
    if (file.starts_with(".goutputstream-")) file = "the settings keyfile's new copy";
    return file.empty() ? syscall : syscall + " of " + file;
}

struct KillFamily {
    std::string syscall;
    bool journalFilesOnly;  // counted on the journal's files alone (strace -P)
};

// SIGKILL at the Nth call of one kind, N = 1, 2, ... until a run ends in order; after each kill,
// "zinna --restore", then every setting compared with the user's.
void KillAtEveryCall(const Desktop& desktop, const std::string& where, const KillFamily& family, bool& orderlyRow) {
    for (int n = 1; n <= kMaxKillPoints; ++n) {
        Scene scene(desktop, "kill");
        desktop.dressAsUser();
        const Settings users = desktop.read();
        const fs::path errors = TestDir() / "errors.txt", log = TestDir() / "strace.log";
        fs::remove(errors);
        std::vector<std::string> args = {"strace", "-f", "-qq", "-y", "-s", "256", "-o", log.string()};
        if (family.journalFilesOnly)
            for (const fs::path& path :
                 {scene.Journal(), fs::path(scene.Journal().string() + ".tmp"), scene.Journal().parent_path()})
                args.insert(args.end(), {"-P", path.string()});
        args.insert(args.end(), {"-e", "trace=" + family.syscall, "-e",
                                 "inject=" + family.syscall + ":signal=KILL:when=" + std::to_string(n), ZINNA_PROGRAM});
        std::string phase = "start-up";
        std::optional<int> status;
        {
            Process traced(args, scene.TracedEnvironment(), errors);
            if (scene.WaitUp(traced, users)) {
                phase = "quit";
                const pid_t zinna = TracedChild(traced.Pid());
                REQUIRE(zinna > 0);
                kill(zinna, SIGTERM);
            }
            status = traced.Wait(kEndLimit);
            REQUIRE_MESSAGE(status, "zinna did not end after SIGTERM");
        }
        const bool killed = WIFSIGNALED(*status) && WTERMSIG(*status) == SIGKILL;
        if (!killed) {
            // Past every such call: the run ended in order, and its quit gave the desktop back.
            CHECK_MESSAGE(n > 1, "strace killed nothing at the first " << family.syscall);
            if (!orderlyRow) {
                orderlyRow = true;
                Row row{"none: SIGTERM while she runs (" + where + ")", "nothing", Compare(users, desktop.read()),
                        JournalState(scene.Journal()), Told(errors) + " (" + StatusText(status) + ")"};
                Report(row, row.desktop == "the user's exactly" && row.journal == "removed" && *status == 0,
                       "an orderly end did not give the desktop back");
            }
            return;
        }
        const std::string step = KilledAt(log, family.syscall);
        fs::remove(errors);
        const int restored = scene.Restore(errors);
        Row row{"SIGKILL at the " + phase + ", " + family.syscall + " #" + std::to_string(n) + ": " + step + " (" +
                    where + ")",
                "zinna --restore", Compare(users, desktop.read()), JournalState(scene.Journal()),
                Told(errors) + " (exit " + std::to_string(restored) + ")"};
        Report(row, row.desktop == "the user's exactly" && row.journal == "removed" && restored == 0,
               "the killed run was not undone");
    }
    FAIL("more than " << kMaxKillPoints << " " << family.syscall << " calls: no run ended in order");
}

// Her journal at its latest: killed while she wears the desktop, the journal as she left it.
Settings KilledWhileUp(Scene& scene, const Settings& users) {
    Process zinna({ZINNA_PROGRAM}, scene.Environment(), TestDir() / "killed-errors.txt");
    REQUIRE(scene.WaitUp(zinna, users));
    kill(zinna.Pid(), SIGKILL);
    REQUIRE(zinna.Wait(kEndLimit));
    return scene.desktop.read();
}

// xfconfd keeps its channels in memory and saves them a few seconds after a change; killed, it
// comes back (through the bus) with what it saved. The user's settings are on its disk before she
// starts, as they would be in a real session.
void WaitSavedByXfconfd() {
    const fs::path saved =
        fs::path(std::getenv("XDG_CONFIG_HOME")) / "xfce4" / "xfconf" / "xfce-perchannel-xml" / "xfce4-desktop.xml";
    const Settings users = XfconfBackdrops(Bus());
    REQUIRE(WaitUntil(
        [&] {
            const std::string xml = ReadText(saved);
            int images = 0;
            for (auto at = xml.find("\"last-image\""); at != std::string::npos; at = xml.find("\"last-image\"", at + 1))
                ++images;
            int userImages = 0;
            for (const auto& [name, value] : users) userImages += name.ends_with("/last-image");
            return images == userImages && xml.find("LH1024") == std::string::npos;
        },
        std::chrono::seconds(30)));
}

// A second X screen of the test's own; killed by the destructor if still there.
class OwnScreen {
public:
    OwnScreen() {
        const fs::path number = TestDir() / "display-number";
        fs::remove(number);
        const std::string command =
            "exec 3>'" + number.string() + "'; exec Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset";
        server_.emplace(std::vector<std::string>{"sh", "-c", command}, std::vector<std::string>{},
                        TestDir() / "xvfb.log");
        REQUIRE(WaitUntil([&] { return !ReadText(number).empty() && ReadText(number).back() == '\n'; }, kEndLimit));
        display_ = ":" + ReadText(number).substr(0, ReadText(number).size() - 1);
    }
    const std::string& Display() const { return display_; }
    void Kill() { kill(server_->Pid(), SIGKILL), server_->Wait(kEndLimit); }

private:
    std::optional<Process> server_;
    std::string display_;
};

}  // namespace

TEST_CASE("SIGKILL at every OS call of her start-up and her quit: the next --restore gives back the user's desktop") {
    REQUIRE_MESSAGE(std::system("strace -o /dev/null true") == 0, "strace is needed (scripts/install-deps.sh)");
    bool orderly = false;
    // Xfce: one monitor with two workspaces, every D-Bus message to xfconfd, every call on the journal.
    for (const KillFamily& family :
         {KillFamily{"sendmsg", false}, KillFamily{"openat", true}, KillFamily{"write", true},
          KillFamily{"fsync", true}, KillFamily{"rename", true}, KillFamily{"unlink", true}}) {
        CAPTURE(family.syscall);
        KillAtEveryCall(Xfce(1, 2), "Xfce", family, orderly);
    }
    // GNOME's settings in their keyfile: every rename and fsync, the settings' and the journal's.
    orderly = false;
    for (const KillFamily& family : {KillFamily{"rename", false}, KillFamily{"fsync", false}}) {
        CAPTURE(family.syscall);
        KillAtEveryCall(Gnome(), "GNOME", family, orderly);
    }
}

TEST_CASE("her settings service stopped or killed, her X server lost") {
    const Desktop xfce = Xfce(2, 4);
    const fs::path errors = TestDir() / "errors.txt";
    SUBCASE("xfconfd stopped (SIGSTOP) while she runs, then her quit") {
        Scene scene(xfce, "stopped");
        xfce.dressAsUser();
        const Settings users = xfce.read();
        fs::remove(errors);
        Process zinna({ZINNA_PROGRAM}, scene.Environment(), errors);
        REQUIRE(scene.WaitUp(zinna, users));
        const pid_t xfconfd = XfconfdPid(Bus());
        kill(xfconfd, SIGSTOP);
        const auto asked = SteadyClock::now();
        kill(zinna.Pid(), SIGTERM);
        const auto status = zinna.Wait(kQuitLimit + std::chrono::seconds(15));
        const auto took = SteadyClock::now() - asked;
        const std::string journalAtQuit = JournalState(scene.Journal());
        kill(xfconfd, SIGCONT);
        const int restored = scene.Restore(errors);
        const auto tenths = std::chrono::duration_cast<std::chrono::milliseconds>(took).count() / 100;
        Row row{"xfconfd stopped (SIGSTOP) while she runs; her quit (SIGTERM)", "xfconfd continued, zinna --restore",
                Compare(users, xfce.read()), journalAtQuit + " at the quit, then " + JournalState(scene.Journal()),
                Told(errors) + " (quit: " + StatusText(status) + " after " + std::to_string(tenths / 10) + "." +
                    std::to_string(tenths % 10) + " s, --restore: exit " + std::to_string(restored) + ")"};
        Report(row,
               status && took < kQuitLimit && journalAtQuit == "kept" && row.desktop == "the user's exactly" &&
                   JournalState(scene.Journal()) == "removed" && restored == 0,
               "the quit did not keep the journal within 10 s, or --restore did not end it");
    }
    SUBCASE("xfconfd killed while she runs, then her quit") {
        Scene scene(xfce, "xfconfd killed");
        xfce.dressAsUser();
        const Settings users = xfce.read();
        WaitSavedByXfconfd();
        fs::remove(errors);
        Process zinna({ZINNA_PROGRAM}, scene.Environment(), errors);
        REQUIRE(scene.WaitUp(zinna, users));
        kill(XfconfdPid(Bus()), SIGKILL);
        kill(zinna.Pid(), SIGTERM);
        const auto status = zinna.Wait(kQuitLimit + std::chrono::seconds(5));
        // Her quit's first call may meet the old xfconfd's end rather than the new one: then that
        // step failed, and she keeps the journal for the next start, which is as sound.
        const std::string journalAtQuit = JournalState(scene.Journal());
        const bool toldAtQuit = journalAtQuit == "removed" || ReadText(errors).find("kept") != std::string::npos;
        const int restored = scene.Restore(errors);
        Row row{"xfconfd killed (SIGKILL) while she runs; her quit (SIGTERM)", "zinna --restore",
                Compare(users, xfce.read()), journalAtQuit + " at the quit, then " + JournalState(scene.Journal()),
                Told(errors) + " (quit: " + StatusText(status) + ", --restore: exit " + std::to_string(restored) + ")"};
        Report(row,
               toldAtQuit && row.desktop == "the user's exactly" && JournalState(scene.Journal()) == "removed" &&
                   restored == 0,
               "the bus's new xfconfd did not get the user's settings back");
    }
    SUBCASE("xfconfd killed in the middle of zinna --restore") {
        Scene scene(xfce, "mid-restore");
        xfce.dressAsUser();
        const Settings users = xfce.read();
        const fs::path log = TestDir() / "restore-strace.log";
        WaitSavedByXfconfd();
        KilledWhileUp(scene, users);
        fs::remove(errors);
        fs::remove(log);
        std::optional<int> status;
        {
            // strace stops her (SIGSTOP) as each D-Bus message leaves; the test lets her go on until
            // the message that left is her first change, and kills xfconfd before she goes on.
            Process restore({"strace", "-f", "-qq", "-s", "256", "-o", log.string(), "-e", "trace=sendmsg", "-e",
                             "inject=sendmsg:signal=STOP", ZINNA_PROGRAM, "--restore"},
                            scene.TracedEnvironment(), errors);
            const pid_t zinna = TracedChild(restore.Pid());
            REQUIRE(zinna > 0);
            struct Release {  // never left stopped, whatever fails
                pid_t pid;
                ~Release() { kill(pid, SIGKILL); }
            } release{zinna};
            auto stopped = [&] {
                const std::string stat = ReadText("/proc/" + std::to_string(zinna) + "/stat");
                const auto state = stat.find(") ");
                return state != std::string::npos && (stat[state + 2] == 'T' || stat[state + 2] == 't');
            };
            // Let go after each stop; once a change has left, xfconfd dies before she goes on.
            bool killedService = false;
            const bool ended = WaitUntil(
                [&] {
                    if (!stopped()) return restore.Ended();
                    if (!killedService && ReadText(log).find("SetProperty") != std::string::npos) {
                        kill(XfconfdPid(Bus()), SIGKILL);
                        killedService = true;
                    }
                    kill(zinna, SIGCONT);
                    return false;
                },
                kEndLimit);
            {
                std::string lastLines = ReadText(log);
                if (lastLines.size() > 600) lastLines = lastLines.substr(lastLines.size() - 600);
                REQUIRE_MESSAGE(ended, "zinna --restore neither stopped nor ended: "
                                           << ReadText("/proc/" + std::to_string(zinna) + "/stat") << " wchan "
                                           << ReadText("/proc/" + std::to_string(zinna) + "/wchan")
                                           << "; strace: " << lastLines << "; stderr: " << ReadText(errors));
            }
            REQUIRE_MESSAGE(killedService, "the restore ended before its first change was seen");
            status = restore.Wait(kEndLimit);
        }
        const Settings afterFirst = xfce.read();
        const std::string journalThen = JournalState(scene.Journal());
        const int again = scene.Restore(errors);
        Row row{"xfconfd killed while zinna --restore sends its first change", "zinna --restore once more",
                Compare(users, xfce.read()), journalThen + " after the first, then " + JournalState(scene.Journal()),
                Told(errors) + " (first: " + StatusText(status) + ", then exit " + std::to_string(again) + ")"};
        // Whether xfconfd took that change before it died is a race: either the restore failed there
        // and kept its journal for the next, or the bus's new xfconfd took the rest and all is back.
        const bool keptForNext = status && WIFEXITED(*status) && WEXITSTATUS(*status) == 1 && journalThen == "kept";
        const bool doneThrough = status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0 &&
                                 journalThen == "removed" && afterFirst == users;
        Report(row,
               (keptForNext || doneThrough) && row.desktop == "the user's exactly" &&
                   JournalState(scene.Journal()) == "removed" && again == 0,
               "the interrupted restore was not kept and finished by the next");
    }
    SUBCASE("the X server killed while she runs") {
        Scene scene(xfce, "x lost");
        xfce.dressAsUser();
        const Settings users = xfce.read();
        fs::remove(errors);
        OwnScreen screen;
        scene.display = screen.Display();
        Process zinna({ZINNA_PROGRAM}, scene.Environment(), errors);
        REQUIRE(scene.WaitUp(zinna, users));
        screen.Kill();
        const auto status = zinna.Wait(kQuitLimit + std::chrono::seconds(5));
        Row row{"the X server killed while she runs (Xfce)", "nothing", Compare(users, xfce.read()),
                JournalState(scene.Journal()), Told(errors) + " (" + StatusText(status) + ")"};
        const bool ownCode = status && WIFEXITED(*status) && WEXITSTATUS(*status) > 2;
        Report(row, ownCode && row.desktop == "the user's exactly" && row.journal == "removed",
               "the settings were not given back through their service, or no exit code of its own");
        scene.display = std::getenv("DISPLAY");
        scene.Restore(errors);
    }
}

TEST_CASE("her journal's disk full, a link planted at its name, a damaged or another desktop's journal") {
    const Desktop xfce = Xfce(1, 2);
    const fs::path errors = TestDir() / "errors.txt";
    SUBCASE("the journal's disk full") {
        Scene scene(xfce, "full");
        fs::create_directories(scene.state);
        const bool mounted = mount("zinna-full", scene.state.c_str(), "tmpfs", 0, "size=64k") == 0;
        struct Unmount {
            fs::path folder;
            bool mounted;
            ~Unmount() {
                if (mounted) umount2(folder.c_str(), MNT_DETACH);
            }
        } unmount{scene.state, mounted};
        fs::create_directory(scene.state / "zinna");
        fs::permissions(scene.state / "zinna", fs::perms::owner_all);
        std::string how = "a full tmpfs";
        if (mounted) {
            // Fills it: the folder and its lock can still be made, no byte can be written.
            const int filler = ::open((scene.state / "filler").c_str(), O_WRONLY | O_CREAT, 0600);
            const std::vector<char> block(4096, 'x');
            while (::write(filler, block.data(), block.size()) > 0) {}
            ::close(filler);
        } else {
            how = "a read-only folder (no tmpfs without root)";
            fs::permissions(scene.state / "zinna", fs::perms::owner_read | fs::perms::owner_exec);
        }
        xfce.dressAsUser();
        const Settings users = xfce.read();
        fs::remove(errors);
        std::optional<int> status;
        {
            Process zinna({ZINNA_PROGRAM}, scene.Environment(), errors);
            REQUIRE(scene.WaitUp(zinna, users, false));
            REQUIRE(
                WaitUntil([&] { return ReadText(errors).find("restore journal") != std::string::npos; }, kEndLimit));
            kill(zinna.Pid(), SIGKILL);
            status = zinna.Wait(kEndLimit);
        }
        Row row{"the journal's disk full (" + how + "); SIGKILL while she runs", "nothing", Compare(users, xfce.read()),
                JournalState(scene.Journal()), Told(errors)};
        Report(row, row.desktop == "the user's exactly" && row.journal == "removed",
               "she changed a desktop she could not journal");
        fs::permissions(scene.state / "zinna", fs::perms::owner_all);
        scene.Restore(errors);
    }
    SUBCASE("many Xfce backdrops, up to the bound and beyond") {
        for (const auto& [monitors, journalled] : {std::pair{16, true}, std::pair{28, false}}) {
            const Desktop many = Xfce(monitors, 32);
            Scene scene(many, "many");
            many.dressAsUser();
            const Settings users = many.read();
            fs::remove(errors);
            const std::string fault = std::to_string(monitors) + " monitors x 32 workspaces of Xfce (" +
                                      std::to_string(users.size()) + " settings)";
            if (journalled) {
                KilledWhileUp(scene, users);
                const int restored = scene.Restore(errors);
                Row row{fault + "; SIGKILL while she runs", "zinna --restore", Compare(users, many.read()),
                        JournalState(scene.Journal()), Told(errors) + " (exit " + std::to_string(restored) + ")"};
                Report(row, row.desktop == "the user's exactly" && row.journal == "removed" && restored == 0,
                       "the killed run was not undone");
            } else {
                Process zinna({ZINNA_PROGRAM}, scene.Environment(), errors);
                REQUIRE(scene.WaitUp(zinna, users, false));
                const Settings whileUp = many.read();
                kill(zinna.Pid(), SIGTERM);
                const auto status = zinna.Wait(kEndLimit);
                Row row{fault + ", beyond the journal's bound", "her quit (SIGTERM)", Compare(users, whileUp),
                        JournalState(scene.Journal()), Told(errors) + " (" + StatusText(status) + ")"};
                Report(row,
                       row.desktop == "the user's exactly" && row.journal == "removed" &&
                           row.told.find("refused") != std::string::npos,
                       "a desktop beyond the bound was changed");
            }
        }
    }
    SUBCASE("a link planted at restore.journal.tmp") {
        Scene scene(xfce, "link");
        fs::create_directories(scene.state / "zinna");
        fs::permissions(scene.state / "zinna", fs::perms::owner_all);
        const fs::path victim = TestDir() / "victim.txt";
        WriteText(victim, "the user's own file\n");
        fs::create_symlink(victim, scene.state / "zinna" / "restore.journal.tmp");
        xfce.dressAsUser();
        const Settings users = xfce.read();
        fs::remove(errors);
        std::optional<int> status;
        {
            Process zinna({ZINNA_PROGRAM}, scene.Environment(), errors);
            REQUIRE(scene.WaitUp(zinna, users));
            kill(zinna.Pid(), SIGTERM);
            status = zinna.Wait(kEndLimit);
        }
        const bool victimIntact = ReadText(victim) == "the user's own file\n";
        Row row{"a symbolic link planted at restore.journal.tmp", "her quit (SIGTERM)", Compare(users, xfce.read()),
                JournalState(scene.Journal()) +
                    (victimIntact ? "; the linked file untouched" : "; the linked file WRITTEN"),
                Told(errors) + " (" + StatusText(status) + ")"};
        Report(row, victimIntact && row.desktop == "the user's exactly" && JournalState(scene.Journal()) == "removed",
               "the link was followed, or the desktop not given back");
    }
    SUBCASE("a truncated, a corrupt and a newer-version journal") {
        struct Damage {
            const char* what;
            std::function<std::string(std::string)> apply;
            bool damaged;  // else a sound journal of a newer Zinna: kept, untouched, for her
        };
        const Damage damages[] = {
            {"truncated to half", [](std::string text) { return text.substr(0, text.size() / 2); }, true},
            {"with one digit of a value changed (its checksum no longer matches)",
             [](std::string text) {
                 const auto at = text.find("\nsetting ") + 9;  // the first hex digit of a setting's name
                 text[at] = text[at] == '0' ? '1' : '0';
                 return text;
             },
             true},
            {"of a newer format version",
             [](std::string text) {
                 const auto at = text.find("\nversion ") + 9;
                 return text.replace(at, text.find('\n', at) - at, "99");
             },
             false},
        };
        for (const Damage& damage : damages) {
            Scene scene(xfce, "damaged");
            xfce.dressAsUser();
            const Settings users = xfce.read();
            const Settings hers = KilledWhileUp(scene, users);
            const std::string damaged = damage.apply(ReadText(scene.Journal()));
            WriteText(scene.Journal(), damaged);
            fs::remove(errors);
            const int restored = scene.Restore(errors);
            const Settings after = xfce.read();
            Row row{std::string("SIGKILL while she runs, then her journal ") + damage.what, "zinna --restore",
                    after == hers ? "hers, as the killed run left it: " + Compare(users, after) : Compare(users, after),
                    JournalState(scene.Journal()), Told(errors) + " (exit " + std::to_string(restored) + ")"};
            if (damage.damaged) {
                Report(row,
                       (after == hers || after == users) && row.journal == ".bad" && restored == 1 &&
                           row.told.find("set-aside") != std::string::npos,
                       "a damaged journal was not set aside with one message");
            } else {
                row.journal += ReadText(scene.Journal()) == damaged ? ", untouched" : ", changed";
                Report(row,
                       after == hers && row.journal == "kept, untouched" && restored == 1 &&
                           row.told.find("kept") != std::string::npos,
                       "a newer Zinna's journal was not kept untouched with one message");
            }
            fs::remove(scene.Journal());
        }
    }
    SUBCASE("a journal of another desktop: killed under GNOME, then started on the bare X screen") {
        const Desktop gnome = Gnome();
        Scene scene(gnome, "foreign");
        gnome.dressAsUser();
        const Settings users = gnome.read();
        KilledWhileUp(scene, users);
        const std::string journalText = ReadText(scene.Journal());
        fs::remove(errors);
        Scene bare(Desktop{"x11", gnome.read, [] {}}, "unused");
        bare.state = scene.state;
        const int onBare = bare.Restore(errors);
        const bool keptOrGivenBack = (ReadText(scene.Journal()) == journalText && onBare != 0) ||
                                     (!fs::exists(scene.Journal()) && gnome.read() == users);
        const std::string onBareState = JournalState(scene.Journal());
        const int restored = scene.Restore(errors);
        Row row{"SIGKILL under GNOME, then zinna --restore on the bare X screen", "zinna --restore under GNOME",
                Compare(users, gnome.read()),
                onBareState + " on the bare screen, then " + JournalState(scene.Journal()),
                Told(errors) + " (bare screen: exit " + std::to_string(onBare) + ", GNOME: exit " +
                    std::to_string(restored) + ")"};
        Report(row,
               keptOrGivenBack && row.desktop == "the user's exactly" && JournalState(scene.Journal()) == "removed",
               "the other desktop's journal was not kept until its desktop came back");
    }
    SUBCASE("killed on the bare X screen") {
        const Desktop bare = BareScreen();
        Scene scene(bare, "bare");
        const Settings users = bare.read();
        KilledWhileUp(scene, users);
        fs::remove(errors);
        const int restored = scene.Restore(errors);
        Row row{"SIGKILL while she runs on the bare X screen", "zinna --restore", Compare(users, bare.read()),
                JournalState(scene.Journal()), Told(errors) + " (exit " + std::to_string(restored) + ")"};
        Report(row, row.desktop == "the user's exactly" && row.journal == "removed" && restored == 0,
               "the killed run was not undone");
    }
    SUBCASE("two displays of the same user") {
        Scene scene(xfce, "two displays");
        xfce.dressAsUser();
        const Settings users = xfce.read();
        fs::remove(errors);
        Process first({ZINNA_PROGRAM}, scene.Environment(), errors);
        REQUIRE(scene.WaitUp(first, users));
        const Settings hers = xfce.read();
        const std::string journalText = ReadText(scene.Journal());
        OwnScreen other;
        Scene second(xfce, "second");
        second.state = scene.state;
        second.display = other.Display();
        Process again({ZINNA_PROGRAM}, second.Environment(), errors);
        const auto secondStatus = again.Wait(kEndLimit);
        const bool untouched =
            xfce.read() == hers && ReadText(scene.Journal()) == journalText && !HerWindowShown(other.Display());
        kill(first.Pid(), SIGTERM);
        const auto firstStatus = first.Wait(kEndLimit);
        Row row{"a second zinna of the same user on another display", "the first one's quit (SIGTERM)",
                Compare(users, xfce.read()), JournalState(scene.Journal()),
                Told(errors) + " (second: " + StatusText(secondStatus) + ", first: " + StatusText(firstStatus) + ")"};
        Report(row,
               secondStatus && *secondStatus == 0 && untouched && row.desktop == "the user's exactly" &&
                   row.journal == "removed",
               "the second one touched the desktop or the journal, or the first did not give it back");
    }
}

}  // namespace zinna::linuxdesk::testing
