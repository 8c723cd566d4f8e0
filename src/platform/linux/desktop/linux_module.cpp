#include "platform/linux/desktop/desktop_module.h"

#include "platform/linux/desktop/setting_text.h"
#include "platform/linux/desktop/shell_open.h"

#include "platform/core/registry_copy_out.h"

#include <algorithm>
#include <cstring>

namespace zinna::linuxdesk {

namespace {

constexpr char kDesktopKeyPath[] = "control panel\\desktop";
constexpr std::int32_t kErrorAccessDenied = 5;  // the desktop refused the value
constexpr std::int32_t kErrorGenFailure = 31;   // the desktop could not be asked
constexpr std::int32_t kErrorInvalidParameter = 87;
constexpr WindowHandle kTaskbarWindow = 0x00010020;
constexpr std::uint8_t kVirtualKeyRightWindows = 0x5C;
constexpr std::uint8_t kVirtualKeyM = 0x4D;

// Registry key and value names compare without regard to letter case.
std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

std::vector<std::uint8_t> StringBytes(const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

// The two style values Windows keeps for each way of showing the picture.
std::pair<std::string, std::string> StyleValuesOf(PictureStyle style) {
    switch (style) {
        case PictureStyle::Tile:
            return {"1", "0"};
        case PictureStyle::Centre:
        case PictureStyle::ColourOnly:
            return {"0", "0"};
        case PictureStyle::Stretch:
            return {"0", "2"};
        case PictureStyle::Fit:
            return {"0", "6"};
        case PictureStyle::Fill:
            return {"0", "10"};
        case PictureStyle::Span:
            return {"0", "22"};
    }
    return {"0", "2"};
}

// nullopt for a style value Windows does not know: the desktop's style then stays as it is.
std::optional<PictureStyle> StyleOfValues(const std::string& tile, const std::string& style) {
    if (tile == "1") return PictureStyle::Tile;
    if (style == "0") return PictureStyle::Centre;
    if (style == "2") return PictureStyle::Stretch;
    if (style == "6") return PictureStyle::Fit;
    if (style == "10") return PictureStyle::Fill;
    if (style == "22") return PictureStyle::Span;
    return std::nullopt;
}

SettingsState ResetStateOf(SettingsState state) {
    for (auto& [name, value] : state) value.reset();
    return state;
}

}  // namespace

LinuxModule::LinuxModule(std::unique_ptr<DesktopSettings> settings, Display* display, std::string dataDir)
    : settings_(std::move(settings)), shell_(display), dataDir_(std::move(dataDir)) {}

LinuxModule::~LinuxModule() { ReapLaunchedChildren(); }

// A picture of the data folder reads back as the program wrote it ("<windows directory>\\name"), as
// the registry gives back the text it was given: so a later run knows the desktop wears Zinna's look.
std::string LinuxModule::ProgramPathOf(const std::string& picture) const {
    const std::string path = PictureAsPath(picture);
    const bool inDataFolder = !dataDir_.empty() && path.size() > dataDir_.size() + 1 &&
                              path.compare(0, dataDir_.size(), dataDir_) == 0 && path[dataDir_.size()] == '/' &&
                              path.find('/', dataDir_.size() + 1) == std::string::npos;
    return inDataFolder ? dataDir_ + "\\" + path.substr(dataDir_.size() + 1) : picture;
}

// --- the registry: the one key the program uses, backed by the desktop's settings --------------

bool LinuxModule::IsDesktopKey(RegistryKey key) const { return openKeys_.count(key) > 0; }

std::int32_t LinuxModule::RegOpenKeyA(RegistryKey key, const std::string& subKey, RegistryKey* result) {
    if (result) *result = 0;  // a failed open gives a null key, as in Windows
    if (key != HKEY_CURRENT_USER && !IsDesktopKey(key)) return ERROR_INVALID_HANDLE;
    const bool names = key == HKEY_CURRENT_USER ? Lower(subKey) == kDesktopKeyPath : subKey.empty();
    // Without a desktop to style there is no key: the program then leaves every value alone.
    if (!names || !settings_) return ERROR_FILE_NOT_FOUND;
    const RegistryKey handle = nextHandle_;
    nextHandle_ += 4;
    openKeys_.insert(handle);
    if (result) *result = handle;
    return ERROR_SUCCESS;
}

std::int32_t LinuxModule::RegOpenKeyExA(RegistryKey key, const std::string& subKey, std::uint32_t, std::uint32_t,
                                        RegistryKey* result) {
    return RegOpenKeyA(key, subKey, result);
}

std::int32_t LinuxModule::ReadValue(const std::string& lowerName, StoredValue* value) {
    if (lowerName == "wallpaper") {
        auto reading = settings_->ReadPicture();
        if (!reading) return kErrorGenFailure;
        const std::string text = ProgramPathOf(reading->value);
        pictureReadings_.Remember(text, reading->state);
        *value = StoredValue{REG_SZ, StringBytes(text)};
        return ERROR_SUCCESS;
    }
    if (lowerName == "tilewallpaper" || lowerName == "wallpaperstyle") {
        auto reading = settings_->ReadStyle();
        if (!reading) return kErrorGenFailure;
        auto [tile, style] = StyleValuesOf(reading->value);
        // What the program wrote reads back as it wrote it, as in the registry.
        tile = tileValue_.value_or(tile);
        style = styleValue_.value_or(style);
        styleReadings_.Remember(std::pair{tile, style}, reading->state);
        *value = StoredValue{REG_SZ, StringBytes(lowerName == "tilewallpaper" ? tile : style)};
        return ERROR_SUCCESS;
    }
    auto other = otherValues_.find(lowerName);
    if (other == otherValues_.end()) return ERROR_FILE_NOT_FOUND;
    *value = other->second;
    return ERROR_SUCCESS;
}

std::int32_t LinuxModule::RegQueryValueExA(RegistryKey key, const std::string& valueName, std::uint32_t* type,
                                           std::uint8_t* data, std::uint32_t* dataSize) {
    if (!IsDesktopKey(key)) return ERROR_INVALID_HANDLE;
    StoredValue value;
    if (const std::int32_t status = ReadValue(Lower(valueName), &value); status != ERROR_SUCCESS) return status;
    return platform::CopyOutValue(value.type, value.data, type, data, dataSize);
}

std::int32_t LinuxModule::RegSetValueExA(RegistryKey key, const std::string& valueName, std::uint32_t,
                                         std::uint32_t type, const std::uint8_t* data, std::uint32_t dataSize) {
    if (!IsDesktopKey(key)) return ERROR_INVALID_HANDLE;
    if (data == nullptr && dataSize > 0) return kErrorInvalidParameter;
    const std::string lowerName = Lower(valueName);
    std::vector<std::uint8_t> bytes(data, data + dataSize);
    if (lowerName != "wallpaper" && lowerName != "tilewallpaper" && lowerName != "wallpaperstyle") {
        otherValues_[lowerName] = StoredValue{type, std::move(bytes)};
        return ERROR_SUCCESS;
    }
    // The desktop reads the text up to its first NUL, as Windows' desktop does.
    std::string text(bytes.begin(), bytes.end());
    return WriteValue(lowerName, text.substr(0, text.find('\0')));
}

std::int32_t LinuxModule::RegDeleteValueA(RegistryKey key, const std::string& valueName) {
    if (!IsDesktopKey(key)) return ERROR_INVALID_HANDLE;
    const std::string lowerName = Lower(valueName);
    if (lowerName != "wallpaper" && lowerName != "tilewallpaper" && lowerName != "wallpaperstyle") {
        return otherValues_.erase(lowerName) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    }
    return WriteValue(lowerName, std::nullopt);
}

// text nullopt: the value is deleted, and the desktop's setting goes back to its default.
std::int32_t LinuxModule::WriteValue(const std::string& lowerName, std::optional<std::string> text) {
    bool done = false;
    if (lowerName == "wallpaper") {
        if (text) {
            done = ApplyPicture(*text);
        } else {
            const auto reading = settings_->ReadPicture();
            done = reading && settings_->Restore(ResetStateOf(reading->state));
            pictureReadings_.MarkChanged();
            pictureTaken_ = done;
        }
    } else {
        done = ApplyStyleValue(lowerName == "tilewallpaper" ? StyleValue::Tile : StyleValue::Style, std::move(text));
        styleTaken_ = done;
    }
    return done ? ERROR_SUCCESS : kErrorAccessDenied;
}

bool LinuxModule::ApplyPicture(const std::string& text) {
    const SettingsState* former = pictureReadings_.StateToRestore(text);
    const std::string picture = text.empty() || IsUri(text) ? text : HostPathFromProgramPath(text, dataDir_);
    const bool done = former ? settings_->Restore(*former) : settings_->SetPicture(picture);
    pictureReadings_.MarkChanged();
    pictureTaken_ = done;
    return done;
}

bool LinuxModule::ApplyStyleValue(StyleValue which, std::optional<std::string> text) {
    (which == StyleValue::Tile ? tileValue_ : styleValue_) = std::move(text);
    const auto reading = settings_->ReadStyle();
    if (!reading) return false;
    bool done = true;
    const auto [desktopTile, desktopStyle] = StyleValuesOf(reading->value);
    const std::pair<std::string, std::string> values{tileValue_.value_or(desktopTile),
                                                     styleValue_.value_or(desktopStyle)};
    if (!tileValue_ && !styleValue_) {
        done = settings_->Restore(ResetStateOf(reading->state));
    } else if (const SettingsState* former = styleReadings_.StateToRestore(values)) {
        done = settings_->Restore(*former);
    } else if (const auto style = StyleOfValues(values.first, values.second); style && *style != reading->value) {
        // Half of a pair written: the desktop's style changes only when the pair means another one.
        done = settings_->SetStyle(*style);
    }
    styleReadings_.MarkChanged();
    return done;
}

std::int32_t LinuxModule::RegFlushKey(RegistryKey key) {
    return IsDesktopKey(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;  // every write is stored at once
}

std::int32_t LinuxModule::RegCloseKey(RegistryKey key) {
    return openKeys_.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// --- the desktop colour and the wallpaper call ---------------------------------------------------

std::uint32_t LinuxModule::GetSysColor(int index) {
    if (index != COLOR_BACKGROUND || !settings_) return 0;
    const auto reading = settings_->ReadColour();
    if (!reading) return 0;
    colourReadings_.Remember(reading->value, reading->state);
    return reading->value;
}

bool LinuxModule::SetSysColors(int count, const int* elements, const std::uint32_t* colors) {
    if (!settings_) return false;
    bool done = true;
    for (int i = 0; i < count; ++i) {
        if (elements[i] != COLOR_BACKGROUND) continue;  // the desktop has no other system colours
        const std::uint32_t colour = colors[i] & 0x00FFFFFF;
        const SettingsState* former = colourReadings_.StateToRestore(colour);
        const bool taken = former ? settings_->Restore(*former) : settings_->SetColour(colour);
        colourReadings_.MarkChanged();
        colourTaken_ = taken;
        done = taken && done;
    }
    return done;
}

bool LinuxModule::SystemParametersInfoA(std::uint32_t action, std::uint32_t, const std::string& path, std::uint32_t) {
    // The desktop shows what its settings hold, so the picture is stored whatever the flags say.
    if (action != SPI_SETDESKWALLPAPER || !settings_) return false;
    return ApplyPicture(path);
}

// --- the taskbar, the key chord, the Windows directory, the shell ------------------------------------

WindowHandle LinuxModule::FindWindowA(const char* className, const char* windowName) {
    const bool classMatches = className == nullptr || Lower(className) == "shell_traywnd";
    const bool titleMatches = windowName == nullptr || windowName[0] == '\0';  // the taskbar has no title
    return classMatches && titleMatches && shell_.HasDisplay() ? kTaskbarWindow : 0;
}

bool LinuxModule::GetWindowRect(WindowHandle window, Rect* rect) {
    if (window != kTaskbarWindow) return false;  // the rectangle is left as it was
    const auto taskbar = shell_.TaskbarRect();
    if (!taskbar) return false;
    if (rect) *rect = *taskbar;
    return true;
}

void LinuxModule::keybd_event(std::uint8_t virtualKey, std::uint8_t, std::uint32_t flags, std::uintptr_t) {
    const bool down = (flags & KEYEVENTF_KEYUP) == 0;
    if (virtualKey == VK_LWIN || virtualKey == kVirtualKeyRightWindows) {
        windowsKeyDown_ = down;
    } else if (virtualKey == kVirtualKeyM && down && windowsKeyDown_) {
        shell_.ShowDesktop();  // Windows key + M: minimise everything
    }
}

std::uint32_t LinuxModule::GetWindowsDirectoryA(char* buffer, std::uint32_t size) {
    const auto length = static_cast<std::uint32_t>(dataDir_.size());
    if (buffer == nullptr || size < length + 1) return length + 1;
    std::memcpy(buffer, dataDir_.c_str(), length + 1);
    return length;
}

std::intptr_t LinuxModule::ShellExecuteA(WindowHandle, const std::string& operation, const std::string& file,
                                         const std::string&, const std::string&, int) {
    constexpr std::intptr_t kShellTookIt = 42, kFileNotFound = 2, kNoAssociation = 31;
    ReapLaunchedChildren();
    if (!operation.empty() && Lower(operation) != "open") return kNoAssociation;
    const auto child = LaunchXdgOpen(file);
    if (!child) return kFileNotFound;
    launched_.push_back(*child);
    return kShellTookIt;
}

// --- the desktop's own settings, for the restore journal ------------------------------------------

DesktopState CaptureDesktopState(ZinnaModule& module) {
    const auto* ours = dynamic_cast<LinuxModule*>(&module);
    DesktopSettings* settings = ours ? ours->Settings() : nullptr;
    if (settings == nullptr) return {};
    const auto picture = settings->ReadPicture();
    const auto style = settings->ReadStyle();
    const auto colour = settings->ReadColour();
    // A setting that cannot be read is left out: the restore then leaves it as the values make it.
    DesktopState state;
    if (picture) state.insert(picture->state.begin(), picture->state.end());
    if (style) state.insert(style->state.begin(), style->state.end());
    if (colour) state.insert(colour->state.begin(), colour->state.end());
    return state;
}

bool RestoreDesktopState(ZinnaModule& module, const DesktopState& state) {
    const auto* ours = dynamic_cast<LinuxModule*>(&module);
    DesktopSettings* settings = ours ? ours->Settings() : nullptr;
    return settings != nullptr && settings->Restore(state);
}

bool DesktopChangesTaken(ZinnaModule& module) {
    const auto* ours = dynamic_cast<LinuxModule*>(&module);
    return ours == nullptr || ours->LastChangesTaken();
}

DesktopCallLimit::DesktopCallLimit(ZinnaModule& module, std::chrono::milliseconds limit) : module_(module) {
    const auto* ours = dynamic_cast<LinuxModule*>(&module_);
    if (DesktopSettings* settings = ours ? ours->Settings() : nullptr)
        settings->SetDeadline(std::chrono::steady_clock::now() + limit);
}

DesktopCallLimit::~DesktopCallLimit() {
    const auto* ours = dynamic_cast<LinuxModule*>(&module_);
    if (DesktopSettings* settings = ours ? ours->Settings() : nullptr) settings->SetDeadline(std::nullopt);
}

void LinuxModule::ReapLaunchedChildren() { launched_ = ReapExited(std::move(launched_)); }

}  // namespace zinna::linuxdesk
