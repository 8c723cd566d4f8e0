// The program's own desktop procedures run against the Linux layer on a private desktop (see
// run-in-private-desktop.sh: Xvfb, a private session bus, GSettings in a private keyfile).
#pragma once

#include "lifecycle/program_constants.h"
#include "lifecycle/zinna_form.h"
#include "platform/linux/desktop/linux_module.h"
#include "platform/sim/sim_toolkit.h"

#include <doctest/doctest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

extern "C" char** environ;

namespace zinna::linuxdesk::testing {

// A data folder whose name has a space and a non-ASCII letter, holding a 2x2 wallpaper bitmap:
// red, green on the top row; blue, white below.
inline std::filesystem::path MakeDataFolder() {
    const char* base = std::getenv("ZINNA_TEST_DIR");
    REQUIRE_MESSAGE(base != nullptr, "run the test through run-in-private-desktop.sh");
    const std::filesystem::path folder = std::filesystem::path(base) / "Zinna Daten ä";
    std::filesystem::create_directories(folder);
    const unsigned char bmp[] = {
        'B', 'M', 70,  0,   0,   0,   0, 0, 0, 0, 54, 0, 0, 0,                     // file header
        40,  0,   0,   0,   2,   0,   0, 0, 2, 0, 0,  0, 1, 0, 24, 0, 0, 0, 0, 0,  // info header: 2x2, 24 bits
        16,  0,   0,   0,   0,   0,   0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0,
        255, 0,   0,   255, 255, 255, 0, 0,  // bottom row: blue, white (BGR)
        0,   0,   255, 0,   255, 0,   0, 0,  // top row: red, green
    };
    std::ofstream(folder / "LH1024x768.bmp", std::ios::binary).write(reinterpret_cast<const char*>(bmp), sizeof bmp);
    return folder;
}

// A module on the desktop ZINNA_DESKTOP names, the way the program creates it: one call.
inline std::unique_ptr<ZinnaModule> ModuleOn(const char* desktop, const std::filesystem::path& dataFolder) {
    setenv("ZINNA_DESKTOP", desktop, 1);
    return CreateLinuxModule(LinuxDesktopContext{nullptr, dataFolder.string()});
}

// Everything written on standard error while it lives.
class CapturedStderr {
public:
    CapturedStderr() : path_(std::filesystem::path(std::getenv("ZINNA_TEST_DIR")) / "stderr.txt") {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        std::FILE* file = std::fopen(path_.c_str(), "w");
        dup2(fileno(file), STDERR_FILENO);
        std::fclose(file);
    }
    ~CapturedStderr() { Text(); }
    // What was written so far; standard error goes back to where it was.
    std::string Text() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            dup2(saved_, STDERR_FILENO);
            close(saved_);
            saved_ = -1;
        }
        std::stringstream text;
        text << std::ifstream(path_).rdbuf();
        return text.str();
    }

private:
    std::filesystem::path path_;
    int saved_ = -1;
};

// The Plasma stand-in (plasma_stand_in.cpp) on the private bus, from its "ready" until Stop().
class PlasmaStandIn {
public:
    PlasmaStandIn(const std::filesystem::path& log, const std::filesystem::path& reply) {
        int ready[2];
        REQUIRE(pipe(ready) == 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ready[1], STDOUT_FILENO);
        std::string program = ZINNA_PLASMA_STAND_IN, logArg = log.string(), replyArg = reply.string();
        char* argv[] = {program.data(), logArg.data(), replyArg.data(), nullptr};
        const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(ready[1]);
        char word[6] = {};
        const bool isReady = spawned == 0 && read(ready[0], word, 5) == 5;  // once it owns the name
        close(ready[0]);
        REQUIRE(isReady);
    }
    ~PlasmaStandIn() { Stop(); }
    pid_t Pid() const { return pid_; }
    void Stop() {
        if (pid_ > 0) kill(pid_, SIGCONT);  // a stand-in a test stopped ends too
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

private:
    pid_t pid_ = 0;
};

// The program's start-up and quit, as far as they touch the desktop, in the program's own code.
class ProgramOnDesktop {
public:
    explicit ProgramOnDesktop(ZinnaModule& module)
        : trace_(clock_),
          toolkit_({}, 1, {}, clock_, trace_, [](AgentEvents&) { return std::unique_ptr<AgentControl>(); }),
          module_(module),
          form_(toolkit_, module) {}

    void Start() {
        form_.SaveOldWallPaper();
        form_.GetWindowsHome();
        form_.ChangeWallPaper(form_.sWindowsDir + kWallpaperFile, kWallpaperDisplayType);
        oldColour_ = module_.GetSysColor(COLOR_BACKGROUND);
        SetColour(kDesktopColorBlack);
    }

    void Quit() {
        SetColour(oldColour_);
        form_.LoadOldWallPaper();
    }

    ZinnaForm& Form() { return form_; }

private:
    void SetColour(std::uint32_t colour) {
        const int elements[] = {COLOR_BACKGROUND};
        const std::uint32_t colours[] = {colour};
        module_.SetSysColors(1, elements, colours);
    }

    sim::VirtualClock clock_;
    sim::Trace trace_;
    sim::SimToolkit toolkit_;
    ZinnaModule& module_;
    ZinnaForm form_;
    std::uint32_t oldColour_ = 0;
};

}  // namespace zinna::linuxdesk::testing
