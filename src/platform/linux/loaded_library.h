// A shared library opened when what needs it is first used, not when the program starts: each
// library a desktop or a feature may never use (GIO, Xft with fontconfig and FreeType, PulseAudio)
// would otherwise be mapped, and partly resident, for the whole run.
#pragma once

#include <dlfcn.h>

#include <optional>
#include <string>
#include <utility>

namespace zinna::linuxlib {

class LoadedLibrary {
public:
    // The library by its soname, or nullopt with the loader's reason in *problem. Closing drops
    // the handle, but the code stays mapped to the process's end (NODELETE): threads and hooks the
    // libraries install (GDBus's worker, Xft's close-display hook) may still run in them after
    // their last caller is gone, and GIO, GLib and PulseAudio are marked so themselves.
    static std::optional<LoadedLibrary> Open(const char* soname, std::string* problem) {
        void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (handle == nullptr) {
            const char* reason = dlerror();
            *problem = reason ? reason : soname;
            return std::nullopt;
        }
        return LoadedLibrary(handle);
    }

    LoadedLibrary(LoadedLibrary&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    LoadedLibrary& operator=(LoadedLibrary&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;
    ~LoadedLibrary() {
        if (handle_ != nullptr) dlclose(handle_);
    }

    // Sets function to the library's symbol; false, naming the symbol in *problem, when it has none.
    template <typename Function>
    bool Find(const char* symbol, Function*& function, std::string* problem) const {
        function = reinterpret_cast<Function*>(dlsym(handle_, symbol));
        if (function == nullptr) *problem = std::string("no ") + symbol + " in the library";
        return function != nullptr;
    }

private:
    explicit LoadedLibrary(void* handle) : handle_(handle) {}
    void* handle_;
};

}  // namespace zinna::linuxlib

// A table's member for each function of a list: ZINNA_LIBRARY_FUNCTIONS(X) names them as X(name).
#define ZINNA_LIBRARY_MEMBER(name) decltype(&::name) name = nullptr;
// Inside a loader with a LoadedLibrary `library` and std::string* `problem`, returning false on failure.
#define ZINNA_LIBRARY_FIND(name) \
    if (!library.Find(#name, name, problem)) return false;
