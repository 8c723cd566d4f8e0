// Zinna killed wherever she stands, then started again: the next start gives the user's desktop
// back from the restore journal before the program reads it, so that after a Quit the desktop is
// the one from before the first start, every value with its type, missing ones still missing, and
// the colour. The simulated desktop and the journal live in a state folder between the runs.
#include "sim_test_support.h"

#include "platform/sim/sim_desktop_file.h"

#include <doctest/doctest.h>

#include <algorithm>

#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <random>

using namespace zinna::testing;
using zinna::sim::kDesktopKey;
using zinna::sim::SimDesktop;
namespace fs = std::filesystem;

namespace {

constexpr const char* kZinnaWallpaper = "C:\\WINDOWS\\LH1024x768.bmp";

struct StateFolder {
    fs::path path;
    StateFolder() {
        std::random_device random;
        path = fs::temp_directory_path() / ("zinna-state-test-" + std::to_string(random()));
        fs::create_directories(path);
    }
    ~StateFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path Journal() const { return path / zinna::sim::kSimJournalFile; }
};

// The user's desktop as far as Zinna is concerned: the three values (nullopt: missing) and the colour.
struct UserDesktop {
    std::map<std::string, std::optional<SimDesktop::RegValue>> values;
    std::uint32_t color = 0;
    bool operator==(const UserDesktop& other) const {
        if (color != other.color || values.size() != other.values.size()) return false;
        for (const auto& [name, value] : values) {
            const auto& theirs = other.values.at(name);
            if (value.has_value() != theirs.has_value()) return false;
            if (value && (value->type != theirs->type || value->data != theirs->data)) return false;
        }
        return true;
    }
};

std::string Describe(const UserDesktop& desktop) {
    std::string text;
    for (const auto& [name, value] : desktop.values) {
        text += name + "=";
        if (!value) {
            text += "(missing) ";
            continue;
        }
        text += "type " + std::to_string(value->type) + " '";
        for (std::uint8_t b : value->data)
            text += b >= 0x20 && b < 0x7F ? std::string(1, char(b)) : "\\x" + std::to_string(b);
        text += "' ";
    }
    char color[16];
    std::snprintf(color, sizeof color, "%06x", desktop.color);
    return text + "color " + color;
}

// A simulated desktop on its own, for writing and reading the state folder's desktop.
struct LooseDesktop {
    zinna::sim::VirtualClock clock;
    zinna::sim::Trace trace{clock};
    SimDesktop desktop{zinna::sim::SimDesktopConfig{}, trace};
};

UserDesktop SavedDesktop(const StateFolder& folder) {
    LooseDesktop loose;
    REQUIRE(zinna::sim::LoadSimDesktop(loose.desktop, folder.path / zinna::sim::kSimDesktopFile));
    UserDesktop user;
    for (const char* name : {"Wallpaper", "TileWallpaper", "WallpaperStyle"})
        user.values[name] = loose.desktop.Value(kDesktopKey, name);
    user.color = loose.desktop.DesktopColor();
    return user;
}

// Writes the user's desktop into the folder, as it is before Zinna's first start.
void SaveDesktop(const StateFolder& folder, const UserDesktop& user) {
    LooseDesktop loose;
    loose.desktop.DeleteKey(kDesktopKey);
    loose.desktop.CreateKey(kDesktopKey);
    for (const auto& [name, value] : user.values)
        if (value) loose.desktop.SetValue(kDesktopKey, name, *value);
    loose.desktop.SetDesktopColor(user.color);
    zinna::sim::SaveSimDesktop(loose.desktop, folder.path / zinna::sim::kSimDesktopFile);
}

SimDesktop::RegValue Text(const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return {zinna::REG_SZ, data};
}

// Two users: one with ordinary values, one with a path outside ASCII, a missing value and a style
// stored as an expandable text.
const UserDesktop kPlainUser{
    {{"Wallpaper", Text("C:\\WINDOWS\\Clouds.bmp")}, {"TileWallpaper", Text("0")}, {"WallpaperStyle", Text("2")}},
    0x00808000};
const UserDesktop kUnusualUser{{{"Wallpaper", Text("C:\\Users\\Zo\xC3\xAB\\Pictures\\\xE5\xA3\x81.bmp")},
                                {"TileWallpaper", std::nullopt},
                                {"WallpaperStyle", SimDesktop::RegValue{2, {'1', '0', 0}}}},
                               0x00996633};

// A value's text as the program reads it: the bytes before the last.
std::string TextOf(const std::optional<SimDesktop::RegValue>& value) {
    if (!value || value->data.empty()) return "";
    return std::string(value->data.begin(), value->data.end() - 1);
}

SimRun RunIn(const StateFolder& folder, Setup setup, const std::string& script = "") {
    return RunSim(setup.StateDir(folder.path).Seed(1), script);
}

// The events before the program's own first step (its random seeding): the recovery's.
std::vector<std::string> BeforeStartUp(const SimRun& run) {
    std::vector<std::string> out;
    for (const auto& e : run.Events()) {
        if (e.ev == "randomize") break;
        if (e.ev == "os") out.push_back(e.Text("fn") + (e.Text("name").empty() ? "" : " " + e.Text("name")));
        if (e.ev == "journal") out.push_back("journal " + e.Text("action"));
    }
    return out;
}

const std::vector<std::string> kRecoveryCalls = {
    "RegQueryValue Wallpaper",      "GetWindowsDirectory",        "SetSysColors",         "RegSetValue Wallpaper",
    "RegDeleteValue TileWallpaper", "RegSetValue WallpaperStyle", "SystemParametersInfo", "journal restored"};
const std::vector<std::string> kPlainRecoveryCalls = {
    "RegQueryValue Wallpaper",   "GetWindowsDirectory",        "SetSysColors",         "RegSetValue Wallpaper",
    "RegSetValue TileWallpaper", "RegSetValue WallpaperStyle", "SystemParametersInfo", "journal restored"};

}  // namespace

TEST_CASE("killed anywhere, the next start gives the desktop back first, and after Quit it is the one before") {
    struct Scenario {
        const char* name;
        Setup setup;
        std::string script;
        const UserDesktop* user;
        bool dressedWhenKilled;  // the kill came before the program gave the desktop back itself
    };
    const std::vector<Scenario> scenarios = {
        {"right after the desktop changed", Setup().KillAt(0), "", &kUnusualUser, true},
        {"mid-flight", Setup().KillAt(5), "", &kPlainUser, true},
        {"mid-dance", Setup().KillAt(13), "", &kUnusualUser, true},
        {"during a dance the user chose", Setup().KillAt(41), "40 command Dance\n", &kPlainUser, true},
        {"while the error report is shown", Setup().Fail("Play", 78).KillAtMessageBox(), "40 command Dance\n",
         &kUnusualUser, false},
        {"while the load-failure message is shown", Setup().NoCharacter().KillAtMessageBox(), "", &kPlainUser, false},
    };
    for (const Scenario& s : scenarios) {
        CAPTURE(std::string(s.name));
        StateFolder folder;
        SaveDesktop(folder, *s.user);

        SimRun killed = RunIn(folder, s.setup, s.script);
        CHECK(killed.EndReason() == "killed");
        CHECK(killed.Events().at(killed.Events().size() - 2).Text("reason") == "killed");
        CHECK(fs::exists(folder.Journal()));  // only an orderly ending removes it
        if (s.dressedWhenKilled) {
            CHECK(SavedDesktop(folder).values.at("Wallpaper")->data == Text(kZinnaWallpaper).data);
            CHECK(SavedDesktop(folder).color == 0);
        } else {
            CHECK(SavedDesktop(folder) == *s.user);  // given back before the message, then killed
        }

        SimRun again = RunIn(folder, Setup().Seconds(60), "30 command Quit\n");
        if (s.dressedWhenKilled) {
            CHECK(BeforeStartUp(again) == (s.user == &kUnusualUser ? kRecoveryCalls : kPlainRecoveryCalls));
        } else {
            // Given back before the kill, the journal still there: the desktop shows the journal's own
            // wallpaper, as after a restore cut short, and the journal is applied once more (no change).
            std::vector<std::string> calls = s.user == &kUnusualUser ? kRecoveryCalls : kPlainRecoveryCalls;
            calls.erase(std::find(calls.begin(), calls.end(), "GetWindowsDirectory"));
            std::string seen;
            for (const auto& call : BeforeStartUp(again)) seen += call + "; ";
            CAPTURE(seen);
            CHECK(BeforeStartUp(again) == calls);
        }
        CHECK(again.world->Form().sOldWallPaper == TextOf(s.user->values.at("Wallpaper")));
        CHECK(again.EndReason() == "quit");
        CHECK(again.Select("msgbox").empty());
        const UserDesktop after = SavedDesktop(folder);
        CAPTURE(Describe(after));
        CHECK(after == *s.user);
        CHECK_FALSE(fs::exists(folder.Journal()));
    }
}

TEST_CASE("a wallpaper the user chose after the kill stands, and the journal is dropped") {
    StateFolder folder;
    SaveDesktop(folder, kPlainUser);
    RunIn(folder, Setup().KillAt(5));
    UserDesktop changed = SavedDesktop(folder);
    changed.values["Wallpaper"] = Text("C:\\Users\\me\\Beach.bmp");
    SaveDesktop(folder, changed);

    SimRun again = RunIn(folder, Setup().Seconds(60), "30 command Quit\n");
    // Not a picture of her bitmap's name: the Windows directory is not even asked.
    CHECK(BeforeStartUp(again) == std::vector<std::string>{"RegQueryValue Wallpaper", "journal discarded"});
    CHECK(again.world->Form().sOldWallPaper == "C:\\Users\\me\\Beach.bmp");
    CHECK(SavedDesktop(folder) == changed);
    CHECK_FALSE(fs::exists(folder.Journal()));
}

TEST_CASE("a journal that cannot be trusted is set aside, reported once, and never half applied") {
    struct Scenario {
        const char* name;
        std::function<void(const fs::path&)> spoil;
        const char* reported;
    };
    auto rewrite = [](const fs::path& path, const std::function<void(std::string&)>& change) {
        std::string text;
        {
            std::ifstream in(path, std::ios::binary);
            text.assign(std::istreambuf_iterator<char>(in), {});
        }
        change(text);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    };
    const std::vector<Scenario> scenarios = {
        {"one byte of a value changed",
         [&](const fs::path& p) { rewrite(p, [](std::string& t) { t[t.find("present 1 ") + 10] ^= 1; }); },
         "checksum does not match"},
        {"cut short", [&](const fs::path& p) { rewrite(p, [](std::string& t) { t.resize(t.size() / 2); }); }, ""},
        {"an older format",
         [&](const fs::path& p) {
             std::ofstream(p, std::ios::binary | std::ios::trunc)
                 << "Zinna restore journal\nversion 0\nWallpaper=C:\\WINDOWS\\Clouds.bmp\n";
         },
         "format version 0 is not one this Zinna reads"},
    };
    for (const Scenario& s : scenarios) {
        CAPTURE(std::string(s.name));
        StateFolder folder;
        SaveDesktop(folder, kPlainUser);
        RunIn(folder, Setup().KillAt(5));
        s.spoil(folder.Journal());
        const UserDesktop dressed = SavedDesktop(folder);

        SimRun again = RunIn(folder, Setup().Seconds(2));
        // No value touched; the desktop is found wearing her look.
        CHECK(BeforeStartUp(again) ==
              std::vector<std::string>{"journal set-aside", "GetWindowsDirectory", "journal own-look"});
        CHECK(again.Select("journal")[0].Text("detail").find(s.reported) != std::string::npos);
        CHECK(again.Select("msgbox").empty());
        CHECK(fs::exists(folder.Journal().string() + ".bad"));
        // Her look is not taken for the user's: the program reads the desktop's default, and its quit
        // gives that back (no picture, the default colour) instead of her look.
        CHECK(dressed.values.at("Wallpaper")->data == Text(kZinnaWallpaper).data);
        CHECK(again.world->Form().sOldWallPaper == "");
        again.world->Form().Dispatch().Command("Quit");
        CHECK(again.world->Desktop().Text(kDesktopKey, "Wallpaper") == "");
        CHECK(again.world->Desktop().DesktopColor() == zinna::sim::SimDesktopConfig{}.desktopColor);
        CHECK_FALSE(again.world->Desktop().Value(kDesktopKey, "TileWallpaper"));
        CHECK_FALSE(fs::exists(folder.Journal()));
    }
}

TEST_CASE("a journal of another desktop is kept untouched, and while it is kept her start changes nothing") {
    StateFolder folder;
    SaveDesktop(folder, kPlainUser);
    RunIn(folder, Setup().KillAt(5));
    std::string text;
    {
        std::ifstream in(folder.Journal(), std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    auto body = text.substr(0, text.rfind("checksum "));
    body.replace(body.find("desktop zinna-sim"), 17, "desktop other-one");
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x",
                  zinna::journal::Crc32({reinterpret_cast<const std::uint8_t*>(body.data()), body.size()}));
    const std::string foreign = body + "checksum " + hex + "\n";
    std::ofstream(folder.Journal(), std::ios::binary | std::ios::trunc) << foreign;
    const UserDesktop dressed = SavedDesktop(folder);

    SimRun again = RunIn(folder, Setup().Seconds(60), "30 command Quit\n");
    std::vector<std::string> journalEvents;
    for (const auto& e : again.Select("journal")) journalEvents.push_back(e.Text("action"));
    CHECK(journalEvents == std::vector<std::string>{"kept", "refused"});
    CHECK(again.Select("journal")[0].Text("detail").find("another desktop, other-one") != std::string::npos);
    CHECK(again.Select("os", "SetSysColors").empty());  // not one change
    CHECK(again.Select("os", "SystemParametersInfo").empty());
    CHECK(SavedDesktop(folder) == dressed);
    std::ifstream in(folder.Journal(), std::ios::binary);
    CHECK(std::string(std::istreambuf_iterator<char>(in), {}) == foreign);
    CHECK_FALSE(fs::exists(folder.Journal().string() + ".bad"));
}

TEST_CASE("a desktop with a value a journal cannot keep is not changed at all") {
    StateFolder folder;
    UserDesktop numbered = kPlainUser;
    numbered.values["WallpaperStyle"] = SimDesktop::RegValue{4, {10, 0, 0, 0}};  // a number, not a text
    SaveDesktop(folder, numbered);
    SimRun killed = RunIn(folder, Setup().KillAt(5));
    CHECK(killed.Select("journal").size() == 1);
    CHECK(killed.Select("journal")[0].Text("action") == "refused");
    CHECK(SavedDesktop(folder) == numbered);
    CHECK_FALSE(fs::exists(folder.Journal()));
}

TEST_CASE("a journal that cannot be written stops every change, so a kill loses nothing") {
    StateFolder folder;
    SaveDesktop(folder, kPlainUser);
    fs::create_directory(folder.Journal().string() + ".tmp");  // where the temporary file would go
    SimRun killed = RunIn(folder, Setup().KillAt(5));
    std::vector<std::string> journalEvents;
    for (const auto& e : killed.Select("journal")) journalEvents.push_back(e.Text("action"));
    CHECK(journalEvents == std::vector<std::string>{"not-written"});
    CHECK(killed.Select("msgbox").empty());
    StateFolder plain;
    SaveDesktop(plain, kPlainUser);
    CHECK(killed.Requests() == RunIn(plain, Setup().KillAt(5)).Requests());  // the same companion
    CHECK_FALSE(fs::exists(folder.Journal()));

    CHECK(SavedDesktop(folder) == kPlainUser);
    CHECK(killed.Select("os", "SystemParametersInfo").empty());

    fs::remove(folder.Journal().string() + ".tmp");
    SimRun again = RunIn(folder, Setup().Seconds(60), "30 command Quit\n");
    CHECK(BeforeStartUp(again).empty());
    CHECK(SavedDesktop(folder) == kPlainUser);
}

TEST_CASE("--restore applies a journal and stops; with none it only ends") {
    StateFolder folder;
    SaveDesktop(folder, kUnusualUser);
    RunIn(folder, Setup().KillAt(13));

    SimRun restore = RunIn(folder, Setup().RestoreOnly());
    CHECK(BeforeStartUp(restore) == kRecoveryCalls);
    const auto& events = restore.Events();
    REQUIRE(events.size() >= 2);
    CHECK(events[events.size() - 2].ev == "end");
    CHECK(events[events.size() - 2].Text("reason") == "restore");
    CHECK(events.back().ev == "state");
    CHECK(restore.Select("call").empty());  // no character
    CHECK(SavedDesktop(folder) == kUnusualUser);
    CHECK_FALSE(fs::exists(folder.Journal()));

    SimRun nothing = RunIn(folder, Setup().RestoreOnly());
    REQUIRE(nothing.Events().size() == 2);
    CHECK(nothing.EndReason() == "restore");
    CHECK(SavedDesktop(folder) == kUnusualUser);
}

TEST_CASE("with a state folder, an ordinary run's trace is the same as without one, and leaves no journal") {
    StateFolder folder;
    SimRun withFolder = RunIn(folder, Setup().Seconds(60), "30 command Quit\n");
    SimRun without = RunSim(Setup().Seconds(60).Seed(1), "30 command Quit\n");
    REQUIRE(withFolder.Events().size() == without.Events().size());
    for (std::size_t i = 0; i < without.Events().size(); ++i) {
        CAPTURE(i);
        CHECK(zinna::sim::ToJsonLine(withFolder.Events()[i]) == zinna::sim::ToJsonLine(without.Events()[i]));
    }
    CHECK_FALSE(fs::exists(folder.Journal()));
    CHECK(fs::exists(folder.path / zinna::sim::kSimDesktopFile));
}
