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
#include <stdexcept>

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

// The simulated desktop behind a switch: a step of the restore can be made to fail, and any call to
// throw, as a desktop layer that meets the unexpected might.
class FaultyDesktop final : public ZinnaModule {
public:
    explicit FaultyDesktop(sim::SimDesktop& desktop) : desktop_(desktop) {}
    bool refuseColour = false;
    bool refuseValues = false;
    bool throwOnRead = false;

    std::int32_t RegOpenKeyA(RegistryKey key, const std::string& subKey, RegistryKey* result) override {
        return desktop_.RegOpenKeyA(key, subKey, result);
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
        return refuseValues ? 5 : desktop_.RegSetValueExA(key, name, reserved, type, data, size);
    }
    std::int32_t RegDeleteValueA(RegistryKey key, const std::string& name) override {
        return refuseValues ? 5 : desktop_.RegDeleteValueA(key, name);
    }
    std::int32_t RegFlushKey(RegistryKey key) override { return desktop_.RegFlushKey(key); }
    std::int32_t RegCloseKey(RegistryKey key) override { return desktop_.RegCloseKey(key); }
    std::uint32_t GetSysColor(int index) override { return desktop_.GetSysColor(index); }
    bool SetSysColors(int count, const int* elements, const std::uint32_t* colors) override {
        return !refuseColour && desktop_.SetSysColors(count, elements, colors);
    }
    bool SystemParametersInfoA(std::uint32_t action, std::uint32_t ui, const std::string& path,
                               std::uint32_t winIni) override {
        return desktop_.SystemParametersInfoA(action, ui, path, winIni);
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
    sim::SimDesktop& desktop_;
};

// One start of the program as far as the journal goes: a desktop, its journal file, the notices.
struct Start {
    sim::VirtualClock clock;
    sim::Trace trace;
    sim::SimDesktop desktop;
    FaultyDesktop faulty{desktop};
    std::unique_ptr<JournalFile> file;
    std::vector<JournalNotice> notices;
    std::function<bool(const std::vector<DesktopSetting>&)> restoreSettings;
    std::vector<DesktopSetting> extraSettings;  // the desktop's own settings the record keeps
    RestoreJournal journal;

    explicit Start(const fs::path& journalPath)
        : trace(clock),
          desktop(sim::SimDesktopConfig{}, trace),
          file(OpenJournalFile(journalPath)),
          journal(
              *file, faulty, kDesktopName, ProgramDesktop{kKeyPath, kZinnaBitmap},
              [this] {
                  DesktopRecord record = ReadDesktopThrough(desktop, kDesktopName, {kKeyPath, kZinnaBitmap});
                  record.settings = extraSettings;
                  return record;
              },
              [this](const JournalNotice& notice) { notices.push_back(notice); },
              [this](const std::vector<DesktopSetting>& settings) {
                  return restoreSettings ? restoreSettings(settings) : true;
              }) {}

    // What the program's start-up does to the desktop: the colour, then the wallpaper.
    void Dress() {
        JournalingModule module(faulty, journal);
        const int elements[] = {COLOR_BACKGROUND};
        const std::uint32_t black[] = {0};
        module.SetSysColors(1, elements, black);
        module.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, "C:\\WINDOWS\\LH1024x768.bmp",
                                     SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
    }
    bool WearsUsersLook() const {
        return desktop.Text(sim::kDesktopKey, "Wallpaper") == "C:\\WINDOWS\\Clouds.bmp" &&
               desktop.DesktopColor() == 0x00808000;
    }
    void WearZinnaLook() {
        desktop.SetText(sim::kDesktopKey, "Wallpaper", "C:\\WINDOWS\\LH1024x768.bmp");
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

TEST_CASE("a start applies, keeps or sets aside whatever journal it finds, with one notice, and never throws") {
    TempFolder temp;
    const std::string good = GoodJournal(temp.path);
    REQUIRE_FALSE(good.empty());
    const std::string body = good.substr(0, good.rfind("checksum "));
    const fs::path journal = temp.path / "state" / "restore.journal";
    REQUIRE(fs::create_directories(journal.parent_path()));

    struct Case {
        const char* what;
        std::string contents;
        std::function<void(Start&)> fault;  // what else goes wrong at this start
        Recovery result;
        JournalNotice::Kind notice;
        const char* detail;
        bool usersLookAfter;       // else the desktop still wears Zinna's look
        const char* journalAfter;  // "removed", "kept" or "set aside"
    };
    auto none = [](Start&) {};
    const std::vector<Case> cases = {
        {"a good journal", good, none, Recovery::Restored, JournalNotice::Kind::Restored, "given back", true,
         "removed"},
        {"a good journal, another wallpaper chosen since", good,
         [](Start& s) { s.desktop.SetText(sim::kDesktopKey, "Wallpaper", "C:\\mine.bmp"); }, Recovery::Discarded,
         JournalNotice::Kind::Discarded, "changed after", false, "removed"},
        {"a good journal, the desktop cannot be read", good, [](Start& s) { s.desktop.DeleteKey(sim::kDesktopKey); },
         Recovery::Kept, JournalNotice::Kind::Kept, "cannot be read now", false, "kept"},
        {"a good journal, the colour refused", good, [](Start& s) { s.faulty.refuseColour = true; }, Recovery::Kept,
         JournalNotice::Kind::Kept, "did not take back every setting", false, "kept"},
        {"a good journal, the values refused", good, [](Start& s) { s.faulty.refuseValues = true; }, Recovery::Kept,
         JournalNotice::Kind::Kept, "did not take back every setting", false, "kept"},
        {"a good journal, the desktop's own settings refused", good,
         [](Start& s) { s.restoreSettings = [](const auto&) { return false; }; }, Recovery::Kept,
         JournalNotice::Kind::Kept, "did not take back every setting", true, "kept"},
        {"a good journal, the desktop layer throws", good, [](Start& s) { s.faulty.throwOnRead = true; },
         Recovery::SetAside, JournalNotice::Kind::SetAside, "the desktop layer gave up", false, "set aside"},
        {"a good journal, putting its settings back throws", good,
         [](Start& s) { s.restoreSettings = [](const auto&) -> bool { throw std::bad_alloc(); }; }, Recovery::SetAside,
         JournalNotice::Kind::SetAside, "failed", true, "set aside"},
        {"cut short", good.substr(0, good.size() * 2 / 3), none, Recovery::SetAside, JournalNotice::Kind::SetAside, "",
         false, "set aside"},
        {"a byte changed", good.substr(0, 40) + "#" + good.substr(41), none, Recovery::SetAside,
         JournalNotice::Kind::SetAside, "", false, "set aside"},
        {"a newer format",
         Resealed(body.substr(0, body.find("version 1")) + "version 7" + body.substr(body.find("version 1") + 9)), none,
         Recovery::SetAside, JournalNotice::Kind::SetAside, "format version 7", false, "set aside"},
        {"another desktop's",
         Resealed(body.substr(0, body.find(kDesktopName)) + "other:desktop" +
                  body.substr(body.find(kDesktopName) + sizeof kDesktopName - 1)),
         none, Recovery::SetAside, JournalNotice::Kind::SetAside, "another desktop", false, "set aside"},
        {"binary noise", std::string("\0\xff\x01 Zinna", 10), none, Recovery::SetAside, JournalNotice::Kind::SetAside,
         "", false, "set aside"},
        {"empty", "", none, Recovery::SetAside, JournalNotice::Kind::SetAside, "empty", false, "set aside"},
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
        REQUIRE(start.notices.size() == 1);
        CHECK(start.notices[0].kind == c.notice);
        CHECK(start.notices[0].detail.find(c.detail) != std::string::npos);
        CHECK(start.WearsUsersLook() == c.usersLookAfter);
        const std::string after = fs::exists(journal) ? "kept" : SetAsideCount(journal) == 1 ? "set aside" : "removed";
        CHECK(after == c.journalAfter);
        if (after == "kept") CHECK(ReadText(journal) == c.contents);  // untouched, for the next try
        if (after == "set aside") CHECK(ReadText(AsideName(journal, 1)) == c.contents);
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

TEST_CASE("a journal that cannot be written says why, and the program goes on without one") {
    TempFolder temp;
    const fs::path folder = temp.path / "state";
    fs::create_directories(folder);
    ::chmod(folder.c_str(), 0777);
    Start start(folder / "restore.journal");
    start.Dress();
    REQUIRE(start.notices.size() == 1);
    CHECK(start.notices[0].kind == JournalNotice::Kind::NotWritten);
    CHECK(start.notices[0].detail.find("open to others") != std::string::npos);
    CHECK_FALSE(fs::exists(folder / "restore.journal"));
}
