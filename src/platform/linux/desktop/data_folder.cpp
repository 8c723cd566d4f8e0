// The data folder (the Windows directory of the program) and the paths the program builds in it.
#include "platform/linux/desktop/linux_module.h"

#include <cstdlib>

namespace zinna::linuxdesk {

namespace {

std::string InstalledDataFolder() {
#ifdef ZINNA_INSTALLED_DATA_DIR
    return ZINNA_INSTALLED_DATA_DIR;
#else
    return "/usr/share/zinna";
#endif
}

}  // namespace

std::string DataFolderOf(const LinuxDesktopContext& context) {
    std::string folder = context.dataDir;
    if (folder.empty()) {
        const char* fromEnvironment = std::getenv("ZINNA_DATA_DIR");
        folder = fromEnvironment && *fromEnvironment ? fromEnvironment : InstalledDataFolder();
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::string HostPathFromProgramPath(std::string_view programPath, const std::string& dataDir) {
    std::string path(programPath);
    const bool insideDataFolder = !dataDir.empty() && path.size() > dataDir.size() &&
                                  path.compare(0, dataDir.size(), dataDir) == 0 &&
                                  (path[dataDir.size()] == '\\' || path[dataDir.size()] == '/');
    if (!insideDataFolder && !path.empty() && path[0] == '/') return path;  // already a host path
    const size_t start = insideDataFolder ? dataDir.size() : 0;
    for (size_t i = start; i < path.size(); ++i) {
        if (path[i] == '\\') path[i] = '/';
    }
    return path;
}

}  // namespace zinna::linuxdesk
