#include "platform/linux/desktop/gio_library.h"

#include <cstdio>
#include <cstdlib>

namespace zinna::linuxdesk {

namespace {

// dlsym through GIO's handle finds GLib's and GObject's functions too: they are its dependencies.
bool Fill(GioLibrary& table, std::string* problem) {
    auto opened = linuxlib::LoadedLibrary::Open(kGioLibrary, problem);
    if (!opened) return false;
    const linuxlib::LoadedLibrary& library = *opened;
#define ZINNA_GIO_FIND(name) \
    if (!library.Find(#name, table.name, problem)) return false;
    ZINNA_GIO_FUNCTIONS(ZINNA_GIO_FIND)
#undef ZINNA_GIO_FIND
    table.library.emplace(std::move(*opened));
    return true;
}

}  // namespace

const GioLibrary* LoadGio(std::string* problem) {
    static std::string reason;
    static const GioLibrary* const loaded = []() -> const GioLibrary* {
        static GioLibrary table;
        return Fill(table, &reason) ? &table : nullptr;
    }();
    if (loaded == nullptr && problem != nullptr) *problem = "GIO cannot be loaded (" + reason + ")";
    return loaded;
}

const GioLibrary& Gio() {
    const GioLibrary* gio = LoadGio(nullptr);
    if (gio == nullptr) {
        std::fprintf(stderr, "zinna: %s is needed here and cannot be loaded\n", kGioLibrary);
        std::abort();
    }
    return *gio;
}

}  // namespace zinna::linuxdesk
