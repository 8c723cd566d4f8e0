// The restore journal when things go wrong on a POSIX system: what its file will not follow, block on
// or write into, what a start does with any journal it finds (applied, kept or set aside, one notice
// each, never a crash), and the one bound on what a journal may hold.
#include "platform/journal/journaling_module.h"
#include "platform/journal/posix_journal_file.h"
#include "platform/journal/restore_journal.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/virtual_clock.h"

#include <doctest/doctest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <map>
#include <optional>
#include <stdexcept>
#include <typeinfo>

using namespace zinna;
using namespace zinna::journal;
namespace fs = std::filesystem;

namespace {

constexpr char kKeyPath[] = "Control Panel\\Desktop";
constexpr char kZinnaBitmap[] = "\\LH1024x768.bmp";
constexpr char kDesktopName[] = "test:desktop";

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string ReadText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

struct TempFolder {
    fs::path path;
    TempFolder() {
        std::random_device random;
        path = fs::temp_directory_path() / ("zinna-journal-faults-" + std::to_string(random()));
        fs::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::permissions(path / "state", fs::perms::owner_all, ignored);
        fs::remove_all(path, ignored);
    }
};

int SetAsideCount(const fs::path& journal) {
    int count = 0;
    for (int number = 1; number <= kMaxSetAside; ++number) count += fs::exists(AsideName(journal, number));
    return count;
}

// Ends a run in the middle of a call, as SIGKILL would: nothing after it runs.
struct Killed {};

// The simulated desktop behind switches: a step can be made to fail, any call to throw, as a
// desktop layer that meets the unexpected might, and the process to be killed at a given change.
class FaultyDesktop final : public ZinnaModule {
public:
    explicit FaultyDesktop(sim::SimDesktop& desktop) : desktop_(desktop) {}
    bool refuseColour = false;
    bool refuseValues = false;
    bool refuseWallpaper = false;
    bool refuseOpen = false;
    bool refuseFlush = false;
    bool throwOnRead = false;
    int killAtChange = -1;  // the number of the change (0 first) the process is killed in, -1 never
    int changes = 0;
    void Heal() {
        refuseColour = refuseValues = refuseWallpaper = refuseOpen = refuseFlush = throwOnRead = false;
        killAtChange = -1;
    }

    std::int32_t RegOpenKeyA(RegistryKey key, const std::string& subKey, RegistryKey* result) override {
        return refuseOpen ? 5 : desktop_.RegOpenKeyA(key, subKey, result);
    }
    std::int32_t RegOpenKeyExA(RegistryKey key, const std::string& subKey, std::uint32_t options, std::uint32_t sam,
                               RegistryKey* result) override {
        return desktop_.RegOpenKeyExA(key, subKey, options, sam, result);
    }
    std::int32_t RegQueryValueExA(RegistryKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                                  std::uint32_t* size) override {
        if (throwOnRead) throw std::runtime_error("the desktop layer gave up");
        return desktop_.RegQueryValueExA(key, name, type, data, size);
    }
    std::int32_t RegSetValueExA(RegistryKey key, const std::string& name, std::uint32_t reserved, std::uint32_t type,
                                const std::uint8_t* data, std::uint32_t size) override {
        Change();
        return refuseValues ? 5 : desktop_.RegSetValueExA(key, name, reserved, type, data, size);
    }
    std::int32_t RegDeleteValueA(RegistryKey key, const std::string& name) override {
        Change();
        return refuseValues ? 5 : desktop_.RegDeleteValueA(key, name);
    }
    std::int32_t RegFlushKey(RegistryKey key) override { return refuseFlush ? 5 : desktop_.RegFlushKey(key); }
    std::int32_t RegCloseKey(RegistryKey key) override { return desktop_.RegCloseKey(key); }
    std::uint32_t GetSysColor(int index) override { return desktop_.GetSysColor(index); }
    bool SetSysColors(int count, const int* elements, const std::uint32_t* colors) override {
        Change();
        return !refuseColour && desktop_.SetSysColors(count, elements, colors);
    }
    bool SystemParametersInfoA(std::uint32_t action, std::uint32_t ui, const std::string& path,
                               std::uint32_t winIni) override {
        Change();
        return !refuseWallpaper && desktop_.SystemParametersInfoA(action, ui, path, winIni);
    }
    WindowHandle FindWindowA(const char* c, const char* w) override { return desktop_.FindWindowA(c, w); }
    bool GetWindowRect(WindowHandle window, Rect* rect) override { return desktop_.GetWindowRect(window, rect); }
    void keybd_event(std::uint8_t k, std::uint8_t s, std::uint32_t f, std::uintptr_t e) override {
        desktop_.keybd_event(k, s, f, e);
    }
    std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) override {
        return desktop_.GetWindowsDirectoryA(buffer, size);
    }
    std::intptr_t ShellExecuteA(WindowHandle o, const std::string& op, const std::string& f, const std::string& p,
                                const std::string& d, int s) override {
        return desktop_.ShellExecuteA(o, op, f, p, d, s);
    }

private:
    void Change() {
        if (changes++ == killAtChange) throw Killed{};
    }
    sim::SimDesktop& desktop_;
};

constexpr char kUsersWallpaper[] = "C:\\WINDOWS\\Clouds.bmp";
constexpr char kZinnaWallpaper[] = "C:\\WINDOWS\\LH1024x768.bmp";
constexpr std::uint32_t kUsersColour = 0x00808000;
constexpr std::uint32_t kDefaultColour = 0x00a56e3a;  // this desktop's own default, unlike the user's

// The user tiles the picture: both style values differ from Zinna's stretched "0" and "2".
sim::SimDesktopConfig UsersDesktop() {
    sim::SimDesktopConfig config;
    config.wallpaper = kUsersWallpaper;
    config.tileWallpaper = "1";
    config.wallpaperStyle = "0";
    config.desktopColor = kUsersColour;
    return config;
}

// One start of the program as far as the journal goes: a desktop, its journal file, the notices.
struct Start {
    sim::VirtualClock clock;
    sim::Trace trace;
    sim::SimDesktop desktop;
    FaultyDesktop faulty{desktop};
    std::unique_ptr<JournalFile> file;
    std::vector<JournalNotice> notices;
    std::function<bool(const std::vector<DesktopSetting>&)> restoreSettings;
    bool keepsSettings;                         // else the backend keeps no settings beyond the values
    std::vector<DesktopSetting> extraSettings;  // the desktop's own settings the record keeps
    // Another backend this session can reach, with the desktop behind it.
    std::string reachable;
    std::optional<sim::SimDesktop> otherDesktop;
    RestoreJournal journal;

    explicit Start(const fs::path& journalPath, std::string backend = "registry", bool keepsSettings = true)
        : trace(clock),
          desktop(UsersDesktop(), trace),
          file(OpenJournalFile(journalPath)),
          keepsSettings(keepsSettings),
          journal(*file, faulty, JournalDesktop{kDesktopName, std::move(backend)},
                  ProgramDesktop{kKeyPath, kZinnaBitmap, kDefaultColour}, Hooks()) {}

    RestoreJournal::Hooks Hooks() {
        RestoreJournal::Hooks hooks;
        hooks.readUserDesktop = [this] {
            DesktopRecord record = ReadDesktopThrough(desktop, kDesktopName, {kKeyPath, kZinnaBitmap});
            record.settings = extraSettings;
            return record;
        };
        hooks.report = [this](const JournalNotice& notice) { notices.push_back(notice); };
        if (keepsSettings)
            hooks.restoreSettings = [this](const std::vector<DesktopSetting>& settings) {
                return restoreSettings ? restoreSettings(settings) : true;
            };
        hooks.reachBackend = [this](const std::string& backend) -> std::optional<ReachedBackend> {
            if (backend != reachable || !otherDesktop) return std::nullopt;
            return ReachedBackend{std::shared_ptr<ZinnaModule>(&*otherDesktop, [](ZinnaModule*) {}),
                                  [](const auto&) { return true; }};
        };
        return hooks;
    }

    // What the program's start-up does to the desktop, in its order (tests/desktop_restore_test.cpp
    // holds the program to it): the two style values, the wallpaper call, then the colour.
    void Dress() {
        JournalingModule module(faulty, journal);
        SetText(module, "TileWallpaper", "0");
        SetText(module, "WallpaperStyle", "2");
        module.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, kZinnaWallpaper,
                                     SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
        const int elements[] = {COLOR_BACKGROUND};
        const std::uint32_t black[] = {0};
        module.SetSysColors(1, elements, black);
    }
    static void SetText(ZinnaModule& module, const std::string& name, const std::string& text) {
        RegistryKey key = 0;
        if (module.RegOpenKeyA(HKEY_CURRENT_USER, kKeyPath, &key) != 0) return;
        module.RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const std::uint8_t*>(text.c_str()),
                              static_cast<std::uint32_t>(text.size() + 1));
        module.RegFlushKey(key);
        module.RegCloseKey(key);
    }
    bool WearsUsersLook() const {
        return desktop.Text(sim::kDesktopKey, "Wallpaper") == kUsersWallpaper &&
               desktop.Text(sim::kDesktopKey, "TileWallpaper") == "1" &&
               desktop.Text(sim::kDesktopKey, "WallpaperStyle") == "0" && desktop.DesktopColor() == kUsersColour;
    }
    bool WearsZinnaLook() const {
        return desktop.Text(sim::kDesktopKey, "Wallpaper") == kZinnaWallpaper &&
               desktop.Text(sim::kDesktopKey, "TileWallpaper") == "0" &&
               desktop.Text(sim::kDesktopKey, "WallpaperStyle") == "2" && desktop.DesktopColor() == 0;
    }
    void WearZinnaLook() {
        desktop.SetText(sim::kDesktopKey, "Wallpaper", kZinnaWallpaper);
        desktop.SetText(sim::kDesktopKey, "TileWallpaper", "0");
        desktop.SetText(sim::kDesktopKey, "WallpaperStyle", "2");
        desktop.SetDesktopColor(0);
    }
};

std::string Resealed(std::string body) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", Crc32(Bytes(body)));
    return body + "checksum " + hex + "\n";
}

// A journal the first start writes, for the next start to find.
std::string GoodJournal(const fs::path& folder) {
    const fs::path path = folder / "writer" / "restore.journal";
    Start writer(path);
    writer.extraSettings = {{"/backdrop/screen0/monitor0/workspace0/last-image", "/home/someone/own.png"}};
    writer.Dress();
    return ReadText(path);
}

}  // namespace

TEST_CASE("the journal's folder is made private, and one open to others or another user's is refused") {
    TempFolder temp;
    const fs::path folder = temp.path / "state";
    auto file = OpenJournalFile(folder / "restore.journal");
    REQUIRE(file->Write(Bytes("first")));
    struct stat status {};
    REQUIRE(::stat(folder.c_str(), &status) == 0);
    CHECK((status.st_mode & 07777) == 0700);
    REQUIRE(::stat((folder / "restore.journal").c_str(), &status) == 0);
    CHECK((status.st_mode & 07777) == 0600);

    struct Case {
        const char* what;
        std::function<void()> spoil;
        const char* problem;
    };
    const std::vector<Case> cases = {
        {"writable by others", [&] { ::chmod(folder.c_str(), 0777); }, "open to others"},
        {"writable by its group", [&] { ::chmod(folder.c_str(), 0770); }, "open to others"},
        {"another user's", [&] { REQUIRE(::chown(folder.c_str(), 4242, 4242) == 0); }, "belongs to another user"},
        {"a link to a folder",
         [&] {
             fs::rename(folder, temp.path / "elsewhere");
             fs::create_directory_symlink(temp.path / "elsewhere", folder);
         },
         "cannot be opened"},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        c.spoil();
        CHECK_FALSE(file->Write(Bytes("second")));
        CHECK(file->Problem().find(c.problem) != std::string::npos);
        CHECK(ReadText(folder / "restore.journal") == "first");  // nothing written there
        // Back to a private folder of the user's own for the next case.
        if (fs::is_symlink(folder)) {
            fs::remove(folder);
            fs::rename(temp.path / "elsewhere", folder);
        }
        REQUIRE(::chown(folder.c_str(), ::geteuid(), ::getegid()) == 0);
        ::chmod(folder.c_str(), 0700);
        REQUIRE(file->Write(Bytes("first")));
    }
}

TEST_CASE("whatever sits at the temporary file's name is never written into") {
    TempFolder temp;
    const fs::path folder = temp.path / "state";
    const fs::path journal = folder / "restore.journal", temporary = folder / "restore.journal.tmp";
    const fs::path victim = temp.path / "victim";
    auto file = OpenJournalFile(journal);
    REQUIRE(file->Write(Bytes("old")));
    struct Case {
        const char* what;
        std::function<void()> plant;
        bool written;
    };
    const std::vector<Case> cases = {
        {"a link to another file", [&] { fs::create_symlink(victim, temporary); }, true},
        {"a link to nowhere", [&] { fs::create_symlink(temp.path / "nowhere", temporary); }, true},
        {"a temporary file a killed write left", [&] { WriteText(temporary, "half a jour"); }, true},
        {"a folder", [&] { fs::create_directory(temporary); }, false},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        WriteText(victim, "the victim's own");
        c.plant();
        CHECK(file->Write(Bytes("new")) == c.written);
        CHECK(ReadText(victim) == "the victim's own");
        CHECK_FALSE(fs::exists(temp.path / "nowhere"));
        CHECK(ReadText(journal) == (c.written ? "new" : "old"));
        if (c.written) CHECK_FALSE(fs::exists(fs::symlink_status(temporary)));
        fs::remove_all(temporary);
        REQUIRE(file->Write(Bytes("old")));
    }
}

TEST_CASE("the journal is read only when it is a regular file of the user's, never through a link or a fifo") {
    TempFolder temp;
    const fs::path folder = temp.path / "state";
    const fs::path journal = folder / "restore.journal";
    auto file = OpenJournalFile(journal);
    REQUIRE(file->Write(Bytes("ours")));
    struct Case {
        const char* what;
        std::function<void()> plant;
        const char* problem;
    };
    const std::vector<Case> cases = {
        {"a link to a journal", [&] { fs::create_symlink(temp.path / "planted", journal); }, "symbolic link"},
        // A fifo with no writer would block an ordinary open for ever.
        {"a fifo", [&] { REQUIRE(::mkfifo(journal.c_str(), 0600) == 0); }, "not a regular file"},
        {"a folder", [&] { fs::create_directory(journal); }, "not a regular file"},
        {"another user's file",
         [&] {
             WriteText(journal, "theirs");
             REQUIRE(::chown(journal.c_str(), 4242, 4242) == 0);
         },
         "another user"},
        {"a file larger than a journal can be", [&] { fs::resize_file(journal, 2048); }, "larger"},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        WriteText(temp.path / "planted", "planted");
        if (std::string(c.what) != "a file larger than a journal can be") fs::remove(journal);
        c.plant();
        const auto started = std::chrono::steady_clock::now();
        FileContents contents = file->Read(1024);
        CHECK(std::chrono::steady_clock::now() - started < std::chrono::seconds(2));
        CHECK(contents.status == FileContents::Status::Unreadable);
        CHECK(contents.problem.find(c.problem) != std::string::npos);
        CHECK(contents.bytes.empty());
        fs::remove_all(journal);
        REQUIRE(file->Write(Bytes("ours")));
    }
}

namespace {

// The three values (nullopt: missing) and the colour: what the user sees of the desktop.
struct Snapshot {
    std::map<std::string, std::optional<sim::SimDesktop::RegValue>> values;
    std::uint32_t colour = 0;
    bool operator==(const Snapshot& other) const {
        if (colour != other.colour) return false;
        for (const auto& [name, value] : values) {
            const auto& theirs = other.values.at(name);
            if (value.has_value() != theirs.has_value()) return false;
            if (value && (value->type != theirs->type || Text(value->data) != Text(theirs->data))) return false;
        }
        return true;
    }
    // A text with or without its terminating NUL is the same text; every other byte counts.
    static std::vector<std::uint8_t> Text(std::vector<std::uint8_t> data) {
        if (!data.empty() && data.back() == 0) data.pop_back();
        return data;
    }
};

Snapshot SnapshotOf(const sim::SimDesktop& desktop) {
    Snapshot snapshot;
    for (const std::string& name : kJournalledValues) snapshot.values[name] = desktop.Value(sim::kDesktopKey, name);
    snapshot.colour = desktop.DesktopColor();
    return snapshot;
}

void Put(sim::SimDesktop& desktop, const Snapshot& snapshot) {
    for (const auto& [name, value] : snapshot.values) {
        if (value) {
            desktop.SetValue(sim::kDesktopKey, name, *value);
        } else {
            RegistryKey key = 0;
            REQUIRE(desktop.RegOpenKeyA(HKEY_CURRENT_USER, kKeyPath, &key) == 0);
            desktop.RegDeleteValueA(key, name);
            desktop.RegCloseKey(key);
        }
    }
    desktop.SetDesktopColor(snapshot.colour);
}

// What the program's quit does with what its start read (its order: the colour, the three values,
// the wallpaper call), ignoring every result as the program does.
void GiveBack(ZinnaModule& module, const DesktopRecord& seen) {
    const int elements[] = {COLOR_BACKGROUND};
    const std::uint32_t colours[] = {seen.color};
    module.SetSysColors(1, elements, colours);
    for (const SavedValue& value : seen.values) {
        if (value.state == SavedValue::State::Unknown) continue;
        RegistryKey key = 0;
        if (module.RegOpenKeyA(HKEY_CURRENT_USER, kKeyPath, &key) != 0) continue;
        if (value.state == SavedValue::State::Present)
            module.RegSetValueExA(key, value.name, 0, value.type, value.data.data(),
                                  static_cast<std::uint32_t>(value.data.size()));
        else
            module.RegDeleteValueA(key, value.name);
        module.RegFlushKey(key);
        module.RegCloseKey(key);
    }
    const SavedValue* wallpaper = seen.Find("Wallpaper");
    if (wallpaper->state == SavedValue::State::Present)
        module.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0,
                                     std::string(wallpaper->data.begin(), wallpaper->data.end() - 1),
                                     SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
    else if (wallpaper->state == SavedValue::State::Missing)
        module.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, "", SPIF_SENDWININICHANGE);
}

// A whole run of the program as the journal sees it: its reads, its start-up, its quit, its end.
struct ProgramRun {
    DesktopRecord seen;
    bool ended = false;
};
ProgramRun RunProgram(Start& start, bool quit = true) {
    JournalingModule module(start.faulty, start.journal);
    ProgramRun run;
    run.seen = ReadDesktopThrough(module, kDesktopName, {kKeyPath, kZinnaBitmap});
    start.Dress();
    if (!quit) return run;
    GiveBack(module, run.seen);
    run.ended = start.journal.ProgramEnded();
    return run;
}

std::string ReplaceLine(const std::string& text, const std::string& start, const std::string& line) {
    const auto at = text.find("\n" + start);
    REQUIRE(at != std::string::npos);
    const auto end = text.find('\n', at + 1);
    return text.substr(0, at + 1) + line + text.substr(end);
}

std::string Hex(const std::string& text) {
    std::string hex;
    for (unsigned char c : text) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", c);
        hex += pair;
    }
    return hex;
}

}  // namespace

TEST_CASE("a start applies, keeps or sets aside whatever journal it finds, and a kept one stops her changes") {
    TempFolder temp;
    const std::string good = GoodJournal(temp.path);
    REQUIRE_FALSE(good.empty());
    const std::string body = good.substr(0, good.rfind("checksum "));
    const fs::path journal = temp.path / "state" / "restore.journal";
    REQUIRE(fs::create_directories(journal.parent_path()));
    auto resealed = [&](const std::string& start, const std::string& line) {
        return Resealed(ReplaceLine(body, start, line));
    };
    const std::string version1 =
        Resealed(ReplaceLine(body, "version ", "version 1")
                     .erase(body.find("backend registry\n"), std::string("backend registry\n").size()));

    struct Case {
        const char* what;
        std::string contents;
        std::function<void(Start&)> fault;  // what else goes wrong, or is there, at this start
        Recovery result;
        JournalNotice::Kind notice;
        const char* detail;
        bool usersLookAfter;       // else the desktop still wears Zinna's look
        const char* journalAfter;  // "removed", "kept" or "set aside"
    };
    auto none = [](Start&) {};
    auto otherBackendReachable = [](Start& s) {
        s.reachable = "gsettings:gnome";
        s.otherDesktop.emplace(UsersDesktop(), s.trace);
        s.otherDesktop->SetText(sim::kDesktopKey, "Wallpaper", kZinnaWallpaper);
        s.otherDesktop->SetDesktopColor(0);
    };
    using Kind = JournalNotice::Kind;
    const std::vector<Case> cases = {
        {"a good journal", good, none, Recovery::Restored, Kind::Restored, "given back", true, "removed"},
        {"a good journal, another wallpaper chosen since", good,
         [](Start& s) { s.desktop.SetText(sim::kDesktopKey, "Wallpaper", "C:\\mine.bmp"); }, Recovery::Discarded,
         Kind::Discarded, "changed after", false, "removed"},
        {"a good journal, the desktop cannot be read", good, [](Start& s) { s.desktop.DeleteKey(sim::kDesktopKey); },
         Recovery::Kept, Kind::Kept, "cannot be read now", false, "kept"},
        {"a good journal, the colour refused", good, [](Start& s) { s.faulty.refuseColour = true; }, Recovery::Kept,
         Kind::Kept, "did not take back every setting", false, "kept"},
        {"a good journal, the values refused", good, [](Start& s) { s.faulty.refuseValues = true; }, Recovery::Kept,
         Kind::Kept, "did not take back every setting", false, "kept"},
        {"a good journal, the wallpaper call refused", good, [](Start& s) { s.faulty.refuseWallpaper = true; },
         Recovery::Kept, Kind::Kept, "did not take back every setting", true, "kept"},
        {"a good journal, the desktop's own settings refused", good,
         [](Start& s) { s.restoreSettings = [](const auto&) { return false; }; }, Recovery::Kept, Kind::Kept,
         "did not take back every setting", true, "kept"},
        {"a good journal, the desktop layer throws", good, [](Start& s) { s.faulty.throwOnRead = true; },
         Recovery::SetAside, Kind::SetAside, "the desktop layer gave up", false, "set aside"},
        {"a good journal, putting its settings back throws", good,
         [](Start& s) { s.restoreSettings = [](const auto&) -> bool { throw std::bad_alloc(); }; }, Recovery::SetAside,
         Kind::SetAside, "failed", true, "set aside"},
        {"a good journal that cannot be set aside when it throws", good,
         [&](Start& s) {
             s.faulty.throwOnRead = true;
             for (int number = 1; number <= kMaxSetAside; ++number) WriteText(AsideName(journal, number), "older");
         },
         Recovery::Kept, Kind::Kept, "cannot be set aside", false, "kept"},
        {"a version 1 journal, from before backends were named", version1, none, Recovery::Restored, Kind::Restored,
         "given back", true, "removed"},
        {"a newer format", resealed("version ", "version 7"), none, Recovery::Kept, Kind::Kept,
         "format version 7 is newer", false, "kept"},
        {"an older format than any read", resealed("version ", "version 0"), none, Recovery::SetAside, Kind::SetAside,
         "format version 0 is not one", false, "set aside"},
        {"another desktop's", resealed("desktop ", "desktop other:desktop"), none, Recovery::Kept, Kind::Kept,
         "another desktop, other:desktop", false, "kept"},
        {"another backend's, which cannot be reached", resealed("backend ", "backend plasma"), none, Recovery::Kept,
         Kind::Kept, "through plasma, which cannot be reached", false, "kept"},
        {"another backend's, reached from this session", resealed("backend ", "backend gsettings:gnome"),
         otherBackendReachable, Recovery::Restored, Kind::Restored, "given back through gsettings:gnome", false,
         "removed"},
        {"a planted SCRNSAVE.EXE value",
         resealed("value WallpaperStyle ", "value SCRNSAVE.EXE present 1 " + Hex(std::string("evil.scr", 9))), none,
         Recovery::SetAside, Kind::SetAside, "SCRNSAVE.EXE, not one of its own", false, "set aside"},
        {"a value of a type that is no text",
         resealed("value WallpaperStyle ", "value WallpaperStyle present 4 0a000000"), none, Recovery::SetAside,
         Kind::SetAside, "of type 4, not text", false, "set aside"},
        {"a value left out",
         Resealed(body.substr(0, body.find("value WallpaperStyle")) +
                  body.substr(body.find('\n', body.find("value WallpaperStyle")) + 1)),
         none, Recovery::SetAside, Kind::SetAside, "what became of WallpaperStyle", false, "set aside"},
        {"cut short", good.substr(0, good.size() * 2 / 3), none, Recovery::SetAside, Kind::SetAside, "", false,
         "set aside"},
        {"a byte changed", good.substr(0, 40) + "#" + good.substr(41), none, Recovery::SetAside, Kind::SetAside, "",
         false, "set aside"},
        {"binary noise", std::string("\0\xff\x01 Zinna", 10), none, Recovery::SetAside, Kind::SetAside, "", false,
         "set aside"},
        {"empty", "", none, Recovery::SetAside, Kind::SetAside, "empty", false, "set aside"},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        for (int number = 1; number <= kMaxSetAside; ++number) fs::remove(AsideName(journal, number));
        WriteText(journal, c.contents);
        Start start(journal);
        start.WearZinnaLook();
        c.fault(start);
        Recovery result = Recovery::NothingToDo;
        CHECK_NOTHROW(result = start.journal.Recover());
        CHECK(result == c.result);
        REQUIRE_FALSE(start.notices.empty());
        CHECK(start.notices[0].kind == c.notice);
        CHECK(start.notices[0].detail.find(c.detail) != std::string::npos);
        CHECK(start.WearsUsersLook() == c.usersLookAfter);
        // One notice, and a second only to say that the desktop still wears her look.
        CHECK(start.notices.size() == (start.WearsZinnaLook() && c.result != Recovery::Kept ? 2u : 1u));
        if (start.notices.size() == 2) CHECK(start.notices[1].kind == Kind::OwnLook);
        if (c.fault.target_type() == typeid(otherBackendReachable)) {
            CHECK(start.otherDesktop->Text(sim::kDesktopKey, "Wallpaper") == kUsersWallpaper);
            CHECK(start.otherDesktop->DesktopColor() == kUsersColour);
        }
        const std::string after = fs::exists(journal) ? "kept" : SetAsideCount(journal) == 1 ? "set aside" : "removed";
        CHECK(after == c.journalAfter);
        if (after == "kept") CHECK(ReadText(journal) == c.contents);  // untouched, for the next try
        if (after == "set aside") CHECK(ReadText(AsideName(journal, 1)) == c.contents);

        // Her start-up after it: a kept journal is never replaced, and the desktop is then not changed.
        start.faulty.Heal();
        start.notices.clear();
        const Snapshot before = SnapshotOf(start.desktop);
        start.Dress();
        if (after == "kept") {
            CHECK(ReadText(journal) == c.contents);
            CHECK(SnapshotOf(start.desktop) == before);
            REQUIRE(start.notices.size() == 1);
            CHECK(start.notices[0].kind == Kind::Refused);
            CHECK(start.notices[0].detail.find("leaves the desktop as it is") != std::string::npos);
        } else {
            CHECK(start.WearsZinnaLook());
            const auto parsed = ParseJournal(Bytes(ReadText(journal)));
            REQUIRE(parsed.record);
            CHECK(parsed.record->backend == "registry");
            // Her own look is never what the journal keeps as the user's.
            CHECK(parsed.record->Find("Wallpaper")->data !=
                  std::vector<std::uint8_t>(kZinnaWallpaper, std::end(kZinnaWallpaper)));
        }
    }
}
TEST_CASE("a journal kept because the desktop could not take it back is applied by a later start") {
    TempFolder temp;
    const fs::path journal = temp.path / "state" / "restore.journal";
    fs::create_directories(journal.parent_path());
    WriteText(journal, GoodJournal(temp.path));
    {
        // The colour is refused: her wallpaper stays, so that the next start knows to try again.
        Start first(journal);
        first.WearZinnaLook();
        first.faulty.refuseColour = true;
        CHECK(first.journal.Recover() == Recovery::Kept);
        CHECK(first.desktop.Text(sim::kDesktopKey, "Wallpaper") == "C:\\WINDOWS\\LH1024x768.bmp");
    }
    Start second(journal);
    second.WearZinnaLook();
    CHECK(second.journal.Recover() == Recovery::Restored);
    CHECK(second.WearsUsersLook());
    CHECK_FALSE(fs::exists(journal));
}

TEST_CASE("damaged journals set aside one after another each keep a name of their own") {
    TempFolder temp;
    const fs::path journal = temp.path / "state" / "restore.journal";
    fs::create_directories(journal.parent_path());
    for (const char* damaged : {"first damaged", "second damaged", "third damaged"}) {
        WriteText(journal, damaged);
        Start start(journal);
        CHECK(start.journal.Recover() == Recovery::SetAside);
        CHECK(start.notices.size() == 1);
    }
    CHECK(ReadText(AsideName(journal, 1)) == "first damaged");
    CHECK(ReadText(AsideName(journal, 2)) == "second damaged");
    CHECK(ReadText(AsideName(journal, 3)) == "third damaged");
    CHECK_FALSE(fs::exists(journal));
}

TEST_CASE("a desktop journals up to the one bound; beyond it the desktop is left as it is, with one notice") {
    TempFolder temp;
    const fs::path journal = temp.path / "state" / "restore.journal";
    auto settings = [](std::size_t count) {
        // An Xfce-like property name and a picture's path for each.
        std::vector<DesktopSetting> list;
        for (std::size_t i = 0; i < count; ++i)
            list.push_back({"/backdrop/screen0/monitorHDMI-" + std::to_string(i / 160) + "/workspace" +
                                std::to_string(i / 5 % 32) + "/setting" + std::to_string(i % 5),
                            "/home/someone/Pictures/Wallpapers/a rather long file name of a picture " +
                                std::to_string(i) + ".jpg"});
        return list;
    };
    struct Case {
        const char* what;
        std::size_t settings;
        bool journalled;
    };
    const std::vector<Case> cases = {
        {"none", 0, true},
        {"16 monitors x 32 workspaces of Xfce, five settings each", 16 * 32 * 5, true},
        {"64 Plasma desktops, four settings each", 64 * 4, true},
        {"exactly the bound", kMaxJournalSettings, true},
        {"one more than the bound", kMaxJournalSettings + 1, false},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        fs::remove_all(journal.parent_path());
        Start start(journal);
        start.extraSettings = settings(c.settings);
        start.Dress();
        CHECK(fs::exists(journal) == c.journalled);
        CHECK(start.WearsUsersLook() == !c.journalled);  // not journalled: not changed at all
        if (c.journalled) {
            auto parsed = ParseJournal(Bytes(ReadText(journal)));
            REQUIRE_MESSAGE(parsed.record, parsed.problem);
            CHECK(parsed.record->settings == start.extraSettings);
            CHECK(start.notices.empty());
        } else {
            REQUIRE(start.notices.size() == 1);
            CHECK(start.notices[0].kind == JournalNotice::Kind::Refused);
            CHECK(start.notices[0].detail.find("leaves it as it is") != std::string::npos);
        }
    }
}

TEST_CASE("a journal that cannot be written stops her first change, with one line saying why") {
    TempFolder temp;
    const fs::path folder = temp.path / "state";
    struct Case {
        const char* what;
        std::function<void()> spoil;
        const char* why;
    };
    const std::vector<Case> cases = {
        {"its folder open to others", [&] { ::chmod(folder.c_str(), 0777); }, "open to others"},
        {"a folder where its temporary file goes", [&] { fs::create_directory(folder / "restore.journal.tmp"); },
         "could not be written"},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        fs::remove_all(folder);
        fs::create_directories(folder);
        ::chmod(folder.c_str(), 0700);
        c.spoil();
        Start start(folder / "restore.journal");
        CHECK(start.journal.Recover() == Recovery::NothingToDo);
        const ProgramRun run = RunProgram(start);
        CHECK(start.WearsUsersLook());  // nothing changed, so nothing to lose
        CHECK(start.faulty.changes == 0);
        CHECK(run.ended);
        REQUIRE(start.notices.size() == 1);
        CHECK(start.notices[0].kind == JournalNotice::Kind::NotWritten);
        CHECK(start.notices[0].detail.find(c.why) != std::string::npos);
        CHECK(start.notices[0].detail.find("leaves the desktop as it is") != std::string::npos);
        CHECK_FALSE(fs::exists(folder / "restore.journal"));
    }
}

TEST_CASE("her own look is never recorded as the user's: the start says so and the quit gives the default back") {
    TempFolder temp;
    const fs::path journal = temp.path / "state" / "restore.journal";
    struct Case {
        const char* what;
        std::optional<std::string> wallpaper;  // on the desktop at the start, with her style and colour
        std::string journalFound;              // what lies at the journal's place: nothing, or damage
        bool ownLook;
    };
    const std::vector<Case> cases = {
        {"her picture, no journal (the profile roamed without it)", kZinnaWallpaper, "", true},
        {"her picture, the journal damaged and set aside", kZinnaWallpaper, "damaged", true},
        {"her picture, spelt in other letter case", "c:\\windows\\lh1024X768.BMP", "", true},
        {"a picture of her bitmap's name elsewhere", "D:\\Pictures\\LH1024x768.bmp", "", false},
        {"the user's own picture with her style and colour", kUsersWallpaper, "", false},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        fs::remove_all(journal.parent_path());
        fs::create_directories(journal.parent_path());
        if (!c.journalFound.empty()) WriteText(journal, c.journalFound);
        Snapshot users;
        {
            Start start(journal);
            start.WearZinnaLook();
            start.desktop.SetText(sim::kDesktopKey, "Wallpaper", *c.wallpaper);
            users = SnapshotOf(start.desktop);
            start.journal.Recover();
            CHECK(start.journal.AnswersWithDefault() == c.ownLook);
            const bool toldOwnLook =
                !start.notices.empty() && start.notices.back().kind == JournalNotice::Kind::OwnLook;
            CHECK(toldOwnLook == c.ownLook);
            // "zinna --restore" then reports the desktop as not given back, on every platform.
            CHECK(start.journal.DesktopGivenBack() == !c.ownLook);

            const ProgramRun run = RunProgram(start, false);
            if (c.ownLook) {
                // The program reads the desktop's default, and that is what the journal keeps.
                CHECK(run.seen.Find("Wallpaper")->data == std::vector<std::uint8_t>{0});
                CHECK(run.seen.Find("Wallpaper")->type == REG_SZ);
                CHECK(run.seen.Find("TileWallpaper")->state == SavedValue::State::Missing);
                CHECK(run.seen.Find("WallpaperStyle")->state == SavedValue::State::Missing);
                CHECK(run.seen.color == kDefaultColour);
            } else {
                CHECK(run.seen.Find("Wallpaper")->data == users.values.at("Wallpaper")->data);
                CHECK(run.seen.color == 0);
            }
            const auto parsed = ParseJournal(Bytes(ReadText(journal)));
            REQUIRE(parsed.record);
            CHECK(parsed.record->values == run.seen.values);
            CHECK(parsed.record->color == run.seen.color);
            CHECK(start.WearsZinnaLook());
            // Killed here: the next start gives back what the journal keeps, never her look again.
        }
        Start next(journal);
        next.WearZinnaLook();
        CHECK(next.journal.Recover() == Recovery::Restored);
        const Snapshot after = SnapshotOf(next.desktop);
        if (c.ownLook) {
            CHECK(next.desktop.Text(sim::kDesktopKey, "Wallpaper") == "");
            CHECK_FALSE(after.values.at("TileWallpaper"));
            CHECK_FALSE(after.values.at("WallpaperStyle"));
            CHECK(after.colour == kDefaultColour);
        } else {
            CHECK(after == users);
        }
        CHECK_FALSE(fs::exists(journal));
    }
}

TEST_CASE("the journal outlives a quit whose changes the desktop refused, and says which") {
    TempFolder temp;
    const fs::path journal = temp.path / "state" / "restore.journal";
    struct Case {
        const char* what;
        std::function<void(FaultyDesktop&)> atQuit;  // from the quit on
        const char* failed;                          // nullptr: every change taken, the journal removed
        bool refusedAtStartToo = false;
    };
    const std::vector<Case> cases = {
        {"nothing refused", [](FaultyDesktop&) {}, nullptr},
        {"the colour refused", [](FaultyDesktop& d) { d.refuseColour = true; }, "the desktop colour"},
        {"the values refused", [](FaultyDesktop& d) { d.refuseValues = true; }, "value Wallpaper"},
        {"the wallpaper call refused", [](FaultyDesktop& d) { d.refuseWallpaper = true; }, "the wallpaper call"},
        {"the key will not open", [](FaultyDesktop& d) { d.refuseOpen = true; }, "opening Control Panel"},
        {"the writes not stored", [](FaultyDesktop& d) { d.refuseFlush = true; }, "value TileWallpaper"},
        {"the colour refused at the start only", [](FaultyDesktop& d) { d.refuseColour = false; }, nullptr, true},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        fs::remove_all(journal.parent_path());
        {
            Start start(journal);
            CHECK(start.journal.Recover() == Recovery::NothingToDo);
            JournalingModule module(start.faulty, start.journal);
            const DesktopRecord seen = ReadDesktopThrough(module, kDesktopName, {kKeyPath, kZinnaBitmap});
            start.faulty.refuseColour = c.refusedAtStartToo;
            start.Dress();
            REQUIRE(fs::exists(journal));
            c.atQuit(start.faulty);
            GiveBack(module, seen);
            CHECK(start.journal.ProgramEnded() == (c.failed == nullptr));
            CHECK(fs::exists(journal) == (c.failed != nullptr));
            if (c.failed == nullptr) {
                CHECK(start.notices.empty());
                CHECK(start.WearsUsersLook());
                continue;
            }
            REQUIRE(start.notices.size() == 1);
            CHECK(start.notices[0].kind == JournalNotice::Kind::Kept);
            CHECK(start.notices[0].detail.find(c.failed) != std::string::npos);
            CHECK(start.notices[0].detail.find("--restore") != std::string::npos);
        }
        // The desktop this test leaves is lost with its Start; the next one wears what a failed quit
        // leaves at worst (her look), and the kept journal gives the user's back.
        Start next(journal);
        next.WearZinnaLook();
        CHECK(next.journal.Recover() == Recovery::Restored);
        CHECK(next.WearsUsersLook());
    }
}

TEST_CASE("killed at any change of the start or the quit, the next start gives the user's desktop back exactly") {
    TempFolder temp;
    const fs::path journal = temp.path / "state" / "restore.journal";
    struct User {
        const char* what;
        std::function<void(sim::SimDesktop&)> make;
    };
    const std::vector<User> users = {
        {"a user with a picture, tiled", [](sim::SimDesktop&) {}},
        {"a user with no Wallpaper value at all",
         [](sim::SimDesktop& d) {
             Snapshot snapshot = SnapshotOf(d);
             snapshot.values["Wallpaper"].reset();
             Put(d, snapshot);
         }},
        {"a user whose wallpaper text has no terminating NUL",
         [](sim::SimDesktop& d) {
             d.SetValue(sim::kDesktopKey, "Wallpaper", {REG_SZ, {'C', ':', '\\', 'a', '.', 'b', 'm', 'p'}});
         }},
    };
    // Four changes at the start (two style values, the wallpaper call, the colour), five at the quit.
    constexpr int kChanges = 9;
    for (const User& user : users) {
        for (int killAt = 0; killAt <= kChanges; ++killAt) {
            for (bool wallpaperRefused : {false, true}) {
                CAPTURE(std::string(user.what));
                CAPTURE(killAt);
                CAPTURE(wallpaperRefused);
                fs::remove_all(journal.parent_path());
                Snapshot before, left;
                {
                    Start start(journal);
                    user.make(start.desktop);
                    before = SnapshotOf(start.desktop);
                    start.journal.Recover();
                    start.faulty.killAtChange = killAt;
                    start.faulty.refuseWallpaper = wallpaperRefused;
                    try {
                        const ProgramRun run = RunProgram(start);
                        CHECK(killAt == kChanges);  // only a run killed at no change ends
                        // A refused wallpaper call in the quit leaves the journal for the next start.
                        CHECK(run.ended == !wallpaperRefused);
                    } catch (const Killed&) {}
                    left = SnapshotOf(start.desktop);
                }
                Start next(journal);
                Put(next.desktop, left);
                const Recovery result = next.journal.Recover();
                CHECK((result == Recovery::Restored || (result == Recovery::NothingToDo && left == before)));
                CHECK(SnapshotOf(next.desktop) == before);
                CHECK_FALSE(fs::exists(journal));
                CHECK((next.notices.empty() || next.notices[0].kind == JournalNotice::Kind::Restored));
            }
        }
    }
}

TEST_CASE("a text stored without its terminating NUL reaches the program whole") {
    TempFolder temp;
    Start start(temp.path / "state" / "restore.journal");
    start.desktop.SetValue(sim::kDesktopKey, "Wallpaper", {2u, {'%', 'U', '%', '\\', 'a'}});
    start.desktop.SetValue(sim::kDesktopKey, "TileWallpaper", {REG_SZ, {'1'}});
    start.journal.Recover();
    JournalingModule module(start.faulty, start.journal);
    RegistryKey key = 0;
    REQUIRE(module.RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) == 0);
    struct Case {
        const char* name;
        std::uint32_t buffer;
        std::int32_t status;
        std::uint32_t size;
        std::vector<std::uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"Wallpaper", 255, 0, 6, {'%', 'U', '%', '\\', 'a', 0}},
        {"Wallpaper", 5, ERROR_MORE_DATA, 6, {}},  // exactly its bytes: no room for the NUL
        {"TileWallpaper", 255, 0, 2, {'1', 0}},
        {"WallpaperStyle", 255, 0, 2, {'0', 0}},  // stored with its NUL: as it is
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.name));
        CAPTURE(c.buffer);
        std::vector<std::uint8_t> buffer(c.buffer, 0xEE);
        std::uint32_t size = c.buffer, type = 0;
        CHECK(module.RegQueryValueExA(key, c.name, &type, buffer.data(), &size) == c.status);
        CHECK(size == c.size);
        if (c.status == 0) CHECK(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + size) == c.bytes);
    }
    module.RegCloseKey(key);
}
