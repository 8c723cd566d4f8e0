// The desktop environment's own wallpaper and colour settings, behind one interface, so that the
// module answers the program's registry and system calls the same way on every desktop.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace zinna::linuxdesk {

// The stored state of some of the desktop's settings: setting name -> its stored value as text,
// nullopt when the setting holds no value of its own (it shows its default, or it does not exist).
// Putting a state back resets a nullopt setting instead of writing the default's value.
using SettingsState = std::map<std::string, std::optional<std::string>>;

// How the picture covers the screen. ColourOnly: the desktop shows no picture, only its colour.
enum class PictureStyle { Centre, Tile, Stretch, Fit, Fill, Span, ColourOnly };

// What the desktop shows, as the program sees it, and the exact stored state behind it.
template <typename T>
struct Reading {
    T value;
    SettingsState state;
};

class DesktopSettings {
public:
    virtual ~DesktopSettings() = default;

    // For messages: "GNOME (org.gnome.desktop.background)".
    virtual std::string Name() const = 0;

    // Each returns nullopt when the desktop cannot be asked.
    // The picture as the desktop stores it (a URI or a path, unchanged: escapes kept).
    virtual std::optional<Reading<std::string>> ReadPicture() = 0;
    virtual std::optional<Reading<PictureStyle>> ReadStyle() = 0;
    virtual std::optional<Reading<std::uint32_t>> ReadColour() = 0;  // 0x00BBGGRR

    // Puts the settings named in the state back exactly; false when the desktop refused.
    virtual bool Restore(const SettingsState& state) = 0;

    // picture: an absolute host path, a URI (kept as given), or empty for no picture.
    virtual bool SetPicture(const std::string& picture) = 0;
    virtual bool SetStyle(PictureStyle style) = 0;
    // The background colour, shown solid.
    virtual bool SetColour(std::uint32_t colour) = 0;

    // Until it is cleared (nullopt), every call to the settings service ends by this time, all of
    // them together; without one, each read or change above gets a few seconds of its own. For the
    // services that can hang (a D-Bus service); the others answer at once and ignore it.
    virtual void SetDeadline(std::optional<std::chrono::steady_clock::time_point> until) { (void)until; }
};

}  // namespace zinna::linuxdesk
