// The program's wallpaper while it runs, and the user's own when it ends.
#include "lifecycle/program_constants.h"
#include "lifecycle/zinna_form.h"

namespace zinna {

namespace {

constexpr std::uint32_t kStoreAndAnnounce = SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE;

struct StyleValues {
    const char* tile;
    const char* style;
};

// "Center", "Tile" or "Stretch", compared exactly; anything else is taken as "Stretch".
StyleValues StyleValuesFor(const std::string& displayType) {
    if (displayType == "Center") return {"0", "0"};
    if (displayType == "Tile") return {"1", "0"};
    return {"0", "2"};
}

}  // namespace

void ZinnaForm::SaveOldWallPaper() {
    sOldWallPaper = GetRegString(HKEY_CURRENT_USER, kDesktopKeyPath, "Wallpaper", &savedWallPaper_);
    sOldTileWallPaper = GetRegString(HKEY_CURRENT_USER, kDesktopKeyPath, "TileWallpaper", &savedTileWallPaper_);
    sOldWallPaperStyle = GetRegString(HKEY_CURRENT_USER, kDesktopKeyPath, "WallpaperStyle", &savedWallPaperStyle_);
}

void ZinnaForm::ChangeWallPaper(const std::string& NewPaper, const std::string& DisplayType) {
    wallpaperChanged_ = true;  // from here on every way out puts the user's wallpaper back
    StyleValues values = StyleValuesFor(DisplayType);
    SetRegString(HKEY_CURRENT_USER, kDesktopKeyPath, "TileWallpaper", values.tile);
    SetRegString(HKEY_CURRENT_USER, kDesktopKeyPath, "WallpaperStyle", values.style);
    // The system stores the new path in the "Wallpaper" value itself.
    module_.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, NewPaper, kStoreAndAnnounce);
}

void ZinnaForm::LoadOldWallPaper() {
    RestoreRegValue("Wallpaper", savedWallPaper_);
    RestoreRegValue("TileWallpaper", savedTileWallPaper_);
    RestoreRegValue("WallpaperStyle", savedWallPaperStyle_);
    switch (savedWallPaper_.outcome) {
        case RegReadOutcome::Read:
            module_.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, sOldWallPaper, kStoreAndAnnounce);
            break;
        case RegReadOutcome::ValueMissing:
            // The user had no wallpaper value: show none, and store nothing that would create one.
            module_.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, "", SPIF_SENDWININICHANGE);
            break;
        case RegReadOutcome::Failed:
            break;
    }
}

}  // namespace zinna
