// The fixed values of start-up and quit. Nothing here is configurable: the program has no
// configuration and no command line.
#pragma once

namespace zinna {

inline constexpr char kAgentProgId[] = "Agent.Control.2";
inline constexpr char kCharacterName[] = "zinna";
inline constexpr char kWallpaperFile[] = "\\LH1024x768.bmp";  // appended to the Windows directory
inline constexpr char kWallpaperDisplayType[] = "Stretch";
inline constexpr char kDesktopKeyPath[] = "Control Panel\\Desktop";
inline constexpr unsigned kDesktopColorBlack = 0x000000;  // red 0, green 0, blue 0
inline constexpr int kTimerIntervalMs = 1000;

}  // namespace zinna
