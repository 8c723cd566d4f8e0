// The character's pop-up menu: thirteen commands in menu order.
#pragma once

#include <array>

namespace zinna {

struct MenuCommand {
    const char* name;     // what the Command event reports
    const char* caption;  // what the menu shows; "&" marks the access key
};

inline constexpr char kReleaseDate[] = "26 March 2027";
inline constexpr char kSeparatorCaption[] = "----------------";

inline constexpr std::array<MenuCommand, 13> kMenuCommands{{
    {"Lantern Hall", "  &Lantern Hall  "},
    {"EasterEgg1", kSeparatorCaption},
    {"Kiss", "&Kiss"},
    {"Dance", "&Dance"},
    {"FlyRight", "&FlyRight"},
    {"FlyLeft", "Fl&yLeft"},
    {"Random On", "&Random On"},
    {"Random Off", "R&andom Off"},
    {"EasterEgg2", kSeparatorCaption},
    {"UK Release Date", "UK Release Date"},
    {kReleaseDate, kReleaseDate},
    {"EasterEgg3", kSeparatorCaption},
    {"Quit", "&Quit"},
}};

// Not in the menu: switches the character's sound effects.
inline constexpr char kSoundToggleCommand[] = "Sound On/Off";

}  // namespace zinna
