// A simulated Windows desktop behind ZinnaModule: a registry with Windows' answers, the system
// colours, the wallpaper, a taskbar window, the keyboard input stream, the shell and the files of
// the Windows directory. Every call is recorded in the trace.
#pragma once

#include "boundary/zinna_module.h"
#include "platform/sim/trace.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zinna::sim {

inline constexpr char kDesktopKey[] = "HKEY_CURRENT_USER\\Control Panel\\Desktop";

struct SimDesktopConfig {
    std::string windowsDir = "C:\\WINDOWS";
    // The user's wallpaper values before start; nullopt leaves the value out.
    std::optional<std::string> wallpaper = std::string("C:\\WINDOWS\\Clouds.bmp");
    std::optional<std::string> tileWallpaper = std::string("0");
    std::optional<std::string> wallpaperStyle = std::string("2");
    std::uint32_t desktopColor = 0x00808000;  // red 0, green 128, blue 128
    std::optional<Rect> taskbar = Rect{0, 740, 1024, 768};
    bool characterFilePresent = true;
};

struct KeyEvent {
    std::uint8_t virtualKey;
    std::uint32_t flags;
};

struct ShellRequest {
    WindowHandle owner;
    std::string operation, file, parameters, directory;
    int showCommand;
};

class SimDesktop final : public ZinnaModule {
public:
    SimDesktop(const SimDesktopConfig& config, Trace& trace);

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

    // --- The simulated world, for the simulation and its tests ---
    struct RegValue {
        std::uint32_t type = REG_SZ;
        std::vector<std::uint8_t> data;
    };
    void CreateKey(const std::string& path);  // with every parent
    void DeleteKey(const std::string& path);  // with every subkey
    void SetValue(const std::string& path, const std::string& name, RegValue value);
    void SetText(const std::string& path, const std::string& name, const std::string& text);
    std::optional<RegValue> Value(const std::string& path, const std::string& name) const;
    // A string value's text up to its first NUL; nullopt when the value does not exist.
    std::optional<std::string> Text(const std::string& path, const std::string& name) const;

    bool KeyExists(const std::string& path) const;
    // Every key (as created) and every value of a key (names as created), for saving the desktop.
    std::vector<std::string> KeyPaths() const;
    std::vector<std::pair<std::string, RegValue>> ValuesOf(const std::string& path) const;

    std::uint32_t DesktopColor() const { return colors_.at(COLOR_BACKGROUND); }
    const std::string& ShownWallpaper() const { return shownWallpaper_; }
    // The user's desktop set directly, as a saved desktop is loaded: nothing is traced.
    void SetDesktopColor(std::uint32_t color) { colors_[COLOR_BACKGROUND] = color & 0x00FFFFFF; }
    void SetShownWallpaper(std::string path) { shownWallpaper_ = std::move(path); }
    const std::vector<KeyEvent>& KeyEvents() const { return keyEvents_; }
    const std::vector<ShellRequest>& ShellRequests() const { return shellRequests_; }
    bool FileExists(const std::string& path) const;
    void AddFile(const std::string& path);
    void SetWindowsDirectory(const std::string& path) { windowsDir_ = path; }

private:
    struct KeyNode {
        std::string name;                                                // as created, for display
        std::map<std::string, std::pair<std::string, RegValue>> values;  // lower-case name -> (name, value)
    };
    std::optional<std::string> ResolveKey(RegistryKey key, const std::string& subKey) const;
    const std::string* PathOfHandle(RegistryKey key) const;
    std::int32_t OpenKey(RegistryKey key, const std::string& subKey, RegistryKey* result);

    Trace& trace_;
    std::map<std::string, KeyNode> keys_;          // lower-case full path -> key
    std::map<RegistryKey, std::string> openKeys_;  // handle -> lower-case full path
    RegistryKey nextHandle_ = 0x1000;
    std::map<int, std::uint32_t> colors_;
    std::string shownWallpaper_;
    std::optional<Rect> taskbar_;
    std::vector<KeyEvent> keyEvents_;
    std::vector<ShellRequest> shellRequests_;
    std::set<std::string> files_;  // lower-case paths
    std::string windowsDir_;
};

}  // namespace zinna::sim
