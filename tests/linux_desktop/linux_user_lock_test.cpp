// One Zinna per user: the lock in her state folder, held by the first, refused to a second, and let
// go however the holder ends (killed too), never followed through a link.
// doctest before Xlib, whose macros (None) would break it.
#include <doctest/doctest.h>

#include "platform/linux/x11/single_instance.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <random>

namespace {

namespace fs = std::filesystem;
using Lock = zinna::x11::UserInstanceLock;

struct TempFolder {
    fs::path path = fs::temp_directory_path() / ("zinna-lock-" + std::to_string(std::random_device()()));
    TempFolder() { fs::create_directories(path); }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

// Another process holding the lock until it is killed.
pid_t HolderProcess(const fs::path& file) {
    int ready[2];
    REQUIRE(pipe(ready) == 0);
    const pid_t child = fork();
    REQUIRE(child >= 0);
    if (child == 0) {
        close(ready[0]);
        Lock lock(file);
        const char state = lock.Claimed() == Lock::State::Held ? 'H' : 'N';
        if (write(ready[1], &state, 1) != 1) _exit(2);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char state = 0;
    REQUIRE(read(ready[0], &state, 1) == 1);
    close(ready[0]);
    REQUIRE(state == 'H');
    return child;
}

}  // namespace

TEST_CASE("the user's lock goes to one Zinna at a time, and comes free however she ends") {
    TempFolder folder;
    const fs::path file = folder.path / "instance.lock";
    SUBCASE("in this process") {
        std::optional<Lock> first(file);
        CHECK(first->Claimed() == Lock::State::Held);
        CHECK(Lock(file).Claimed() == Lock::State::HeldByAnother);
        first.reset();  // ended in order
        CHECK(Lock(file).Claimed() == Lock::State::Held);
    }
    SUBCASE("held by another process, then that one killed") {
        const pid_t holder = HolderProcess(file);
        CHECK(Lock(file).Claimed() == Lock::State::HeldByAnother);
        kill(holder, SIGKILL);
        REQUIRE(waitpid(holder, nullptr, 0) == holder);
        CHECK(Lock(file).Claimed() == Lock::State::Held);  // no stale lock after a kill
    }
}

TEST_CASE("a link planted at the lock's name is not followed") {
    TempFolder folder;
    const fs::path file = folder.path / "instance.lock", target = folder.path / "elsewhere";
    fs::create_symlink(target, file);
    Lock lock(file);
    CHECK(lock.Claimed() == Lock::State::Unavailable);
    CHECK(lock.Problem().find("cannot be opened") != std::string::npos);
    CHECK_FALSE(fs::exists(target));
}
