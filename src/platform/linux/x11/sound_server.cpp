#include "platform/linux/x11/sound_server.h"

#include <X11/Xlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace zinna::x11 {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The settings of client.conf that can name a server; empty when no file sets them.
struct ClientSettings {
    std::string defaultServer;
    std::string autospawn;
    std::string daemonBinary;
    std::string autoConnectLocalhost;
    std::string autoConnectDisplay;
};

// One file's "name = value" lines, ';' or '#' starting a comment; a later file's value wins.
void ReadSettings(const std::filesystem::path& path, ClientSettings& settings) {
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        line = line.substr(0, line.find_first_of(";#"));
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string name = Trimmed(line.substr(0, equals));
        const std::string value = Trimmed(line.substr(equals + 1));
        if (name == "default-server") settings.defaultServer = value;
        if (name == "autospawn") settings.autospawn = value;
        if (name == "daemon-binary") settings.daemonBinary = value;
        if (name == "auto-connect-localhost") settings.autoConnectLocalhost = value;
        if (name == "auto-connect-display") settings.autoConnectDisplay = value;
    }
}

// A folder's *.conf files in alphabetical order.
void ReadSettingsFolder(const std::filesystem::path& folder, ClientSettings& settings) {
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".conf") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) ReadSettings(file, settings);
}

// The user's file if there is one (in the folder of old, ~/.pulse, or the configuration folder),
// else the system's; then the client.conf.d files beside the system's and the user's.
ClientSettings ReadClientSettings() {
    std::vector<std::filesystem::path> userFolders;
    const std::string home = Environment("HOME");
    if (!home.empty()) userFolders.push_back(std::filesystem::path(home) / ".pulse");
    if (const std::string config = Environment("XDG_CONFIG_HOME"); !config.empty())
        userFolders.push_back(std::filesystem::path(config) / "pulse");
    if (!home.empty()) userFolders.push_back(std::filesystem::path(home) / ".config" / "pulse");
    std::filesystem::path userFolder;
    std::error_code error;
    for (const auto& folder : userFolders) {
        if (std::filesystem::exists(folder / "client.conf", error)) {
            userFolder = folder;
            break;
        }
    }
    const std::filesystem::path systemFolder = "/etc/pulse";
    ClientSettings settings;
    ReadSettings((userFolder.empty() ? systemFolder : userFolder) / "client.conf", settings);
    ReadSettingsFolder(systemFolder / "client.conf.d", settings);
    for (const auto& folder : userFolders) ReadSettingsFolder(folder / "client.conf.d", settings);
    return settings;
}

bool Yes(const std::string& value) { return value == "yes" || value == "true" || value == "on" || value == "1"; }
bool No(const std::string& value) { return value == "no" || value == "false" || value == "off" || value == "0"; }

// Whether something accepts connections on the unix socket at path. A socket file left behind by a
// server that has gone refuses; a server whose queue is full is there all the same.
bool Listening(const std::string& path) {
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof(address.sun_path)) return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket < 0) return false;
    const bool accepted =
        ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 || errno == EAGAIN;
    ::close(socket);
    return accepted;
}

// The root window's PULSE_SERVER property, which a server sets for the clients on its display.
std::string RootProperty(Display* display) {
    if (display == nullptr) return "";
    // Only an existing atom: a screen that never had the property needs no new name interned.
    const Atom property = XInternAtom(display, "PULSE_SERVER", True);
    if (property == None) return "";
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string value;
    if (XGetWindowProperty(display, DefaultRootWindow(display), property, 0, 1024, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data != nullptr) {
        if (format == 8) value.assign(reinterpret_cast<const char*>(data), count);
        XFree(data);
    }
    return value;
}

}  // namespace

std::optional<std::string> FindSoundServer(Display* display) {
    if (const std::string server = Environment("PULSE_SERVER"); !server.empty()) return "PULSE_SERVER=" + server;
    if (const std::string server = RootProperty(display); !server.empty())
        return "the root window's PULSE_SERVER " + server;
    const ClientSettings settings = ReadClientSettings();
    if (!settings.defaultServer.empty()) return "client.conf's default-server " + settings.defaultServer;

    std::string runtime = Environment("PULSE_RUNTIME_PATH");
    if (runtime.empty() && !Environment("XDG_RUNTIME_DIR").empty()) runtime = Environment("XDG_RUNTIME_DIR") + "/pulse";
    if (!runtime.empty() && Listening(runtime + "/native")) return runtime + "/native";
    if (Listening("/run/pulse/native")) return "/run/pulse/native";

    if (Yes(settings.autoConnectLocalhost)) return "client.conf's auto-connect-localhost";
    if (Yes(settings.autoConnectDisplay)) {
        const std::string host = Environment("DISPLAY").substr(0, Environment("DISPLAY").find(':'));
        if (!host.empty()) return "client.conf's auto-connect-display " + host;
    }
    // autospawn defaults to yes, and the daemon to the one installed with the library.
    const std::string daemon = settings.daemonBinary.empty() ? "/usr/bin/pulseaudio" : settings.daemonBinary;
    if (!No(settings.autospawn) && ::access(daemon.c_str(), X_OK) == 0) return "the daemon to start, " + daemon;
    return std::nullopt;
}

}  // namespace zinna::x11
