// The module over one desktop's settings. CreateLinuxModule detects the desktop; tests hand their
// own settings in.
#pragma once

#include "platform/linux/desktop/desktop_settings.h"
#include "platform/linux/desktop/linux_module.h"
#include "platform/linux/desktop/x11_shell.h"

#include <map>
#include <set>
#include <sys/types.h>
#include <vector>

namespace zinna::linuxdesk {

// The desktop states behind the values the program was given, by value. Writing a value back puts
// its whole state back, so the restore is exact even where one value stands for many settings;
// but only once the module has changed those settings since: before that, writing the value read
// is an ordinary write (the program's black on a desktop whose colour is a black gradient must
// still make it solid black).
template <typename Value>
class RememberedReadings {
public:
    void Remember(const Value& value, const SettingsState& state) { readings_.emplace(value, Entry{state, false}); }
    void MarkChanged() {
        for (auto& [value, entry] : readings_) entry.changedSince = true;
    }
    // The state to put back for value, or nullptr when writing it is an ordinary write.
    const SettingsState* StateToRestore(const Value& value) const {
        const auto found = readings_.find(value);
        return found != readings_.end() && found->second.changedSince ? &found->second.state : nullptr;
    }

private:
    struct Entry {
        SettingsState state;
        bool changedSince;
    };
    std::map<Value, Entry> readings_;
};

class LinuxModule final : public ZinnaModule {
public:
    // settings may be null: no desktop to style, every wallpaper and colour call leaves it alone.
    LinuxModule(std::unique_ptr<DesktopSettings> settings, Display* display, std::string dataDir);
    ~LinuxModule() override;

    DesktopSettings* Settings() const { return settings_.get(); }
    // The backend's name in a restore journal (see BackendNameOf).
    void SetBackendName(std::string name) { backendName_ = std::move(name); }
    const std::string& BackendName() const { return backendName_; }

    std::int32_t RegOpenKeyA(RegistryKey key, const std::string& subKey, RegistryKey* result) override;
    std::int32_t RegOpenKeyExA(RegistryKey key, const std::string& subKey, std::uint32_t options,
                               std::uint32_t samDesired, RegistryKey* result) override;
    std::int32_t RegQueryValueExA(RegistryKey key, const std::string& valueName, std::uint32_t* type,
                                  std::uint8_t* data, std::uint32_t* dataSize) override;
    std::int32_t RegSetValueExA(RegistryKey key, const std::string& valueName, std::uint32_t reserved,
                                std::uint32_t type, const std::uint8_t* data, std::uint32_t dataSize) override;
    std::int32_t RegDeleteValueA(RegistryKey key, const std::string& valueName) override;
    std::int32_t RegFlushKey(RegistryKey key) override;
    std::int32_t RegCloseKey(RegistryKey key) override;

    std::uint32_t GetSysColor(int index) override;
    bool SetSysColors(int count, const int* elements, const std::uint32_t* colors) override;
    bool SystemParametersInfoA(std::uint32_t action, std::uint32_t uiParam, const std::string& path,
                               std::uint32_t winIni) override;
    WindowHandle FindWindowA(const char* className, const char* windowName) override;
    bool GetWindowRect(WindowHandle window, Rect* rect) override;
    void keybd_event(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                     std::uintptr_t extraInfo) override;
    std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) override;
    std::intptr_t ShellExecuteA(WindowHandle owner, const std::string& operation, const std::string& file,
                                const std::string& parameters, const std::string& directory, int showCommand) override;

private:
    struct StoredValue {
        std::uint32_t type;
        std::vector<std::uint8_t> data;
    };
    enum class StyleValue { Tile, Style };

    bool IsDesktopKey(RegistryKey key) const;
    std::string ProgramPathOf(const std::string& picture) const;
    // ERROR_SUCCESS with *value filled, ERROR_FILE_NOT_FOUND, or the error of a desktop that cannot be asked.
    std::int32_t ReadValue(const std::string& lowerName, StoredValue* value);
    std::int32_t WriteValue(const std::string& lowerName, std::optional<std::string> text);
    bool ApplyStyleValue(StyleValue which, std::optional<std::string> text);
    bool ApplyPicture(const std::string& text);
    void ReapLaunchedChildren();

    std::unique_ptr<DesktopSettings> settings_;
    X11Shell shell_;
    std::string dataDir_;
    std::set<RegistryKey> openKeys_;
    RegistryKey nextHandle_ = 0x2000;
    RememberedReadings<std::string> pictureReadings_;
    RememberedReadings<std::pair<std::string, std::string>> styleReadings_;  // TileWallpaper, WallpaperStyle
    RememberedReadings<std::uint32_t> colourReadings_;
    // The style values as the program last wrote them (nullopt: as the desktop has it).
    std::optional<std::string> tileValue_, styleValue_;
    // Values of other names live for the run only, as in a registry nobody else reads.
    std::map<std::string, StoredValue> otherValues_;
    std::vector<pid_t> launched_;
    bool windowsKeyDown_ = false;
    std::string backendName_ = "none";
};

}  // namespace zinna::linuxdesk
