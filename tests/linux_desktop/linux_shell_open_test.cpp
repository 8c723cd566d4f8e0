// xdg-open, as the module starts it for a double-click, starts clean whatever the program's loop
// does with signals: no signal blocked, none ignored, and the address as its one argument.
#include "platform/linux/desktop/shell_open.h"

#include <doctest/doctest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// A folder on PATH whose xdg-open writes its own blocked and ignored signals to the file it is given.
struct ReportingXdgOpen {
    fs::path folder;
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ReportingXdgOpen() {
        folder = fs::temp_directory_path() / ("zinna-xdg-open-" + std::to_string(std::random_device()()));
        fs::create_directories(folder);
        std::ofstream(folder / "xdg-open") << "#!/bin/sh\ngrep -E '^Sig(Blk|Ign):' /proc/self/status > \"$1.part\"\n"
                                              "mv \"$1.part\" \"$1\"\n";
        fs::permissions(folder / "xdg-open", fs::perms::owner_all);
        setenv("PATH", (folder.string() + ":" + oldPath).c_str(), 1);
    }
    ~ReportingXdgOpen() {
        setenv("PATH", oldPath.c_str(), 1);
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
};

void OnSignal(int) {}

constexpr unsigned long long kOrdinarySignals = 0x7FFFFFFFull;  // signals 1 to 31

// The child's report, once it is there (bounded wait).
std::string ReportOf(const fs::path& file) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(file) && std::chrono::steady_clock::now() < end) usleep(10000);
    std::stringstream text;
    text << std::ifstream(file).rdbuf();
    return text.str();
}

}  // namespace

TEST_CASE("xdg-open starts with no signal blocked and none ignored, whatever the program's loop does") {
    ReportingXdgOpen xdgOpen;
    struct Case {
        const char* what;
        void (*prepare)();
    };
    const Case cases[] = {
        {"nothing changed", [] {}},
        {"the loop's signals blocked",
         [] {
             sigset_t loop;
             sigemptyset(&loop);
             for (int signal : {SIGTERM, SIGHUP, SIGINT, SIGCHLD}) sigaddset(&loop, signal);
             pthread_sigmask(SIG_BLOCK, &loop, nullptr);
         }},
        {"signals ignored and handled",
         [] {
             signal(SIGPIPE, SIG_IGN);
             signal(SIGQUIT, SIG_IGN);
             signal(SIGUSR1, OnSignal);
         }},
    };
    sigset_t saved;
    pthread_sigmask(SIG_SETMASK, nullptr, &saved);
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        c.prepare();
        const fs::path report = xdgOpen.folder / (std::string("report of ") + c.what);
        const auto child = zinna::linuxdesk::LaunchXdgOpen(report.string());
        REQUIRE(child);
        int status = 0;
        REQUIRE(waitpid(*child, &status, 0) == *child);
        CHECK(WIFEXITED(status));
        const std::string text = ReportOf(report);
        const auto mask = [&text](const char* name) {
            const auto at = text.find(name);
            REQUIRE(at != std::string::npos);
            return std::stoull(text.substr(at + std::strlen(name)), nullptr, 16);
        };
        CHECK(mask("SigBlk:\t") == 0);
        // The C library's own real-time signals (32 and 33) are its to keep; every ordinary one is default.
        CHECK((mask("SigIgn:\t") & kOrdinarySignals) == 0);
    }
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    signal(SIGPIPE, SIG_DFL);
    signal(SIGQUIT, SIG_DFL);
    signal(SIGUSR1, SIG_DFL);
}
