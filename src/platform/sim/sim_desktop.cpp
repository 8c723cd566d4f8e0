#include "platform/sim/sim_desktop.h"

#include "platform/core/registry_copy_out.h"

#include <algorithm>
#include <cstring>

namespace zinna::sim {

namespace {

constexpr WindowHandle kTaskbarWindow = 0x00010020;
constexpr char kRootName[] = "HKEY_CURRENT_USER";

// Registry key and value names, and file names, compare without regard to letter case.
std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

std::string TextOf(const std::vector<std::uint8_t>& data) {
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
}

std::vector<std::uint8_t> BytesOf(const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

}  // namespace

SimDesktop::SimDesktop(const SimDesktopConfig& config, Trace& trace)
    : trace_(trace), taskbar_(config.taskbar), windowsDir_(config.windowsDir) {
    CreateKey(kDesktopKey);
    if (config.wallpaper) SetText(kDesktopKey, "Wallpaper", *config.wallpaper);
    if (config.tileWallpaper) SetText(kDesktopKey, "TileWallpaper", *config.tileWallpaper);
    if (config.wallpaperStyle) SetText(kDesktopKey, "WallpaperStyle", *config.wallpaperStyle);
    colors_[COLOR_BACKGROUND] = config.desktopColor;
    shownWallpaper_ = config.wallpaper.value_or("");
    AddFile(config.windowsDir + "\\LH1024x768.bmp");
    if (config.characterFilePresent) AddFile(config.windowsDir + "\\zinna.acs");
}

// --- the registry -----------------------------------------------------------------------------

void SimDesktop::CreateKey(const std::string& path) {
    std::string sofar;
    size_t start = 0;
    while (true) {
        size_t end = path.find('\\', start);
        sofar = path.substr(0, end);
        KeyNode& node = keys_[Lower(sofar)];
        if (node.name.empty()) node.name = sofar;
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

void SimDesktop::DeleteKey(const std::string& path) {
    std::string lower = Lower(path);
    for (auto it = keys_.begin(); it != keys_.end();) {
        bool inside = it->first == lower || it->first.rfind(lower + "\\", 0) == 0;
        it = inside ? keys_.erase(it) : std::next(it);
    }
}

void SimDesktop::SetValue(const std::string& path, const std::string& name, RegValue value) {
    CreateKey(path);
    keys_[Lower(path)].values[Lower(name)] = {name, std::move(value)};
}

void SimDesktop::SetText(const std::string& path, const std::string& name, const std::string& text) {
    SetValue(path, name, RegValue{REG_SZ, BytesOf(text)});
}

std::optional<SimDesktop::RegValue> SimDesktop::Value(const std::string& path, const std::string& name) const {
    auto key = keys_.find(Lower(path));
    if (key == keys_.end()) return std::nullopt;
    auto value = key->second.values.find(Lower(name));
    if (value == key->second.values.end()) return std::nullopt;
    return value->second.second;
}

std::optional<std::string> SimDesktop::Text(const std::string& path, const std::string& name) const {
    auto value = Value(path, name);
    if (!value) return std::nullopt;
    return TextOf(value->data);
}

bool SimDesktop::KeyExists(const std::string& path) const { return keys_.count(Lower(path)) > 0; }

std::vector<std::string> SimDesktop::KeyPaths() const {
    std::vector<std::string> paths;
    for (const auto& [lower, node] : keys_) paths.push_back(node.name);
    return paths;
}

std::vector<std::pair<std::string, SimDesktop::RegValue>> SimDesktop::ValuesOf(const std::string& path) const {
    std::vector<std::pair<std::string, RegValue>> values;
    auto key = keys_.find(Lower(path));
    if (key != keys_.end())
        for (const auto& [lower, named] : key->second.values) values.push_back(named);
    return values;
}

const std::string* SimDesktop::PathOfHandle(RegistryKey key) const {
    static const std::string root = Lower(kRootName);
    if (key == HKEY_CURRENT_USER) return &root;
    auto it = openKeys_.find(key);
    return it == openKeys_.end() ? nullptr : &it->second;
}

std::optional<std::string> SimDesktop::ResolveKey(RegistryKey key, const std::string& subKey) const {
    const std::string* base = PathOfHandle(key);
    if (base == nullptr) return std::nullopt;
    std::string path = subKey.empty() ? *base : *base + "\\" + Lower(subKey);
    if (!keys_.count(path)) return std::nullopt;
    return path;
}

std::int32_t SimDesktop::OpenKey(RegistryKey key, const std::string& subKey, RegistryKey* result) {
    *result = 0;  // as Windows does: a failed open leaves no stale handle behind
    if (PathOfHandle(key) == nullptr) return ERROR_INVALID_HANDLE;
    auto path = ResolveKey(key, subKey);
    if (!path) return ERROR_FILE_NOT_FOUND;  // a missing key is not created
    RegistryKey handle = nextHandle_;
    nextHandle_ += 4;
    openKeys_[handle] = *path;
    *result = handle;
    return ERROR_SUCCESS;
}

std::int32_t SimDesktop::RegOpenKeyA(RegistryKey key, const std::string& subKey, RegistryKey* result) {
    return OpenKey(key, subKey, result);
}

std::int32_t SimDesktop::RegOpenKeyExA(RegistryKey key, const std::string& subKey, std::uint32_t, std::uint32_t,
                                       RegistryKey* result) {
    return OpenKey(key, subKey, result);
}

std::int32_t SimDesktop::RegQueryValueExA(RegistryKey key, const std::string& valueName, std::uint32_t* type,
                                          std::uint8_t* data, std::uint32_t* dataSize) {
    const std::string* path = PathOfHandle(key);
    auto node = path ? keys_.find(*path) : keys_.end();
    std::int32_t status = ERROR_SUCCESS;
    TraceValue result = nullptr;
    std::optional<RegValue> value;
    if (node == keys_.end()) {
        status = ERROR_INVALID_HANDLE;
    } else if (value = Value(node->second.name, valueName); !value) {
        status = ERROR_FILE_NOT_FOUND;
    } else {
        status = platform::CopyOutValue(value->type, value->data, type, data, dataSize);
        if (status == ERROR_SUCCESS && data != nullptr) result = TextOf(value->data);
    }
    trace_.Record("os", {{"fn", std::string("RegQueryValue")},
                         {"key", node != keys_.end() ? node->second.name : std::string()},
                         {"name", valueName},
                         {"result", result},
                         {"status", std::int64_t{status}}});
    return status;
}

std::int32_t SimDesktop::RegSetValueExA(RegistryKey key, const std::string& valueName, std::uint32_t,
                                        std::uint32_t type, const std::uint8_t* data, std::uint32_t dataSize) {
    const std::string* path = PathOfHandle(key);
    if (path == nullptr || !keys_.count(*path)) return ERROR_INVALID_HANDLE;
    RegValue value{type, std::vector<std::uint8_t>(data, data + dataSize)};
    const std::string keyName = keys_.at(*path).name;
    trace_.Record("os", {{"fn", std::string("RegSetValue")},
                         {"key", keyName},
                         {"name", valueName},
                         {"data", TextOf(value.data)},
                         {"type", std::int64_t{type}}});
    SetValue(keyName, valueName, std::move(value));
    return ERROR_SUCCESS;
}

std::int32_t SimDesktop::RegDeleteValueA(RegistryKey key, const std::string& valueName) {
    const std::string* path = PathOfHandle(key);
    if (path == nullptr || !keys_.count(*path)) return ERROR_INVALID_HANDLE;
    KeyNode& node = keys_.at(*path);
    trace_.Record("os", {{"fn", std::string("RegDeleteValue")}, {"key", node.name}, {"name", valueName}});
    return node.values.erase(Lower(valueName)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

std::int32_t SimDesktop::RegFlushKey(RegistryKey key) {
    return PathOfHandle(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

std::int32_t SimDesktop::RegCloseKey(RegistryKey key) {
    return openKeys_.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// --- colours, wallpaper, taskbar, keys, shell ---------------------------------------------------

std::uint32_t SimDesktop::GetSysColor(int index) {
    std::uint32_t color = colors_.count(index) ? colors_.at(index) : 0;
    trace_.Record(
        "os", {{"fn", std::string("GetSysColor")}, {"index", std::int64_t{index}}, {"result", std::int64_t{color}}});
    return color;
}

bool SimDesktop::SetSysColors(int count, const int* elements, const std::uint32_t* colors) {
    for (int i = 0; i < count; ++i) {
        trace_.Record("os", {{"fn", std::string("SetSysColors")},
                             {"index", std::int64_t{elements[i]}},
                             {"color", std::int64_t{colors[i]}}});
        colors_[elements[i]] = colors[i] & 0x00FFFFFF;
    }
    return true;
}

bool SimDesktop::SystemParametersInfoA(std::uint32_t action, std::uint32_t, const std::string& path,
                                       std::uint32_t winIni) {
    trace_.Record("os", {{"fn", std::string("SystemParametersInfo")},
                         {"action", std::int64_t{action}},
                         {"path", path},
                         {"flags", std::int64_t{winIni}}});
    if (action != SPI_SETDESKWALLPAPER) return false;
    shownWallpaper_ = path;
    // Windows stores the path in the user's profile itself when asked to update it.
    if (winIni & SPIF_UPDATEINIFILE) SetText(kDesktopKey, "Wallpaper", path);
    return true;
}

WindowHandle SimDesktop::FindWindowA(const char* className, const char* windowName) {
    bool classMatches = className == nullptr || Lower(className) == "shell_traywnd";
    bool titleMatches = windowName == nullptr || std::strlen(windowName) == 0;  // the taskbar has no title
    WindowHandle found = taskbar_ && classMatches && titleMatches ? kTaskbarWindow : 0;
    trace_.Record("os", {{"fn", std::string("FindWindow")},
                         {"class", className ? TraceValue(std::string(className)) : TraceValue(nullptr)},
                         {"title", windowName ? TraceValue(std::string(windowName)) : TraceValue(nullptr)},
                         {"result", std::int64_t(found)}});
    return found;
}

bool SimDesktop::GetWindowRect(WindowHandle window, Rect* rect) {
    if (window != kTaskbarWindow || !taskbar_) return false;  // the rectangle is left as it was
    *rect = *taskbar_;
    return true;
}

void SimDesktop::keybd_event(std::uint8_t virtualKey, std::uint8_t, std::uint32_t flags, std::uintptr_t) {
    keyEvents_.push_back({virtualKey, flags});
    trace_.Record(
        "os", {{"fn", std::string("keybd_event")}, {"vk", std::int64_t{virtualKey}}, {"flags", std::int64_t{flags}}});
}

std::uint32_t SimDesktop::GetWindowsDirectoryA(char* buffer, std::uint32_t size) {
    auto length = static_cast<std::uint32_t>(windowsDir_.size());
    std::uint32_t answer = length;
    if (length + 1 > size) {
        answer = length + 1;  // too small: nothing copied, the size needed returned
    } else {
        std::memcpy(buffer, windowsDir_.c_str(), length + 1);
    }
    trace_.Record("os", {{"fn", std::string("GetWindowsDirectory")},
                         {"size", std::int64_t{size}},
                         {"result", answer == length ? TraceValue(windowsDir_) : TraceValue(nullptr)},
                         {"returned", std::int64_t{answer}}});
    return answer;
}

std::intptr_t SimDesktop::ShellExecuteA(WindowHandle owner, const std::string& operation, const std::string& file,
                                        const std::string& parameters, const std::string& directory, int showCommand) {
    shellRequests_.push_back({owner, operation, file, parameters, directory, showCommand});
    trace_.Record("os", {{"fn", std::string("ShellExecute")},
                         {"verb", operation},
                         {"file", file},
                         {"params", parameters},
                         {"dir", directory},
                         {"show", std::int64_t{showCommand}}});
    return 33;  // the shell took the request
}

bool SimDesktop::FileExists(const std::string& path) const { return files_.count(Lower(path)) > 0; }

void SimDesktop::AddFile(const std::string& path) { files_.insert(Lower(path)); }

}  // namespace zinna::sim
