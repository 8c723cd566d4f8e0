#include "platform/linux/desktop/x11_root_desktop.h"

#include "platform/linux/desktop/wallpaper_picture.h"
#include "platform/linux/xlib/x_connection.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <memory>
#include <set>
#include <span>
#include <vector>

namespace zinna::linuxdesk {

namespace {

constexpr char kRootPixmap[] = "_XROOTPMAP_ID";
constexpr char kSetRootPixmap[] = "ESETROOT_PMAP_ID";
// X keeps no picture path, style or colour: this layer holds them for the run.
constexpr char kPictureSetting[] = "picture";
constexpr char kStyleSetting[] = "style";
constexpr char kColourSetting[] = "colour";

std::optional<std::string> PixmapProperty(Display* display, const char* name) {
    const auto items = xlib::ReadCardinals(display, DefaultRootWindow(display), name);
    if (!items || items->empty()) return std::nullopt;
    return std::to_string((*items)[0]);
}

void WritePixmapProperty(Display* display, const char* name, const std::optional<std::string>& value) {
    const Atom atom = XInternAtom(display, name, False);
    const Window root = DefaultRootWindow(display);
    if (!value) {
        XDeleteProperty(display, root, atom);
        return;
    }
    const unsigned long pixmap = std::stoul(*value);
    XChangeProperty(display, root, atom, XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pixmap), 1);
}

bool PixmapExists(Display* display, Pixmap pixmap) {
    Window root = 0;
    int x = 0, y = 0;
    unsigned int width = 0, height = 0, border = 0, depth = 0;
    xlib::TrappedXErrors errors(display);
    const Status found = XGetGeometry(display, pixmap, &root, &x, &y, &width, &height, &border, &depth);
    return errors.Succeeded() && found;
}

// What the shown pixmap of this layer's draws, kept on the root beside it, so that a later run
// (after this one was killed) knows the desktop wears it: "<pixmap> <style> <colour> <picture>".
constexpr char kShownProperty[] = "_ZINNA_ROOT_PICTURE";

struct ShownPicture {
    Pixmap pixmap = None;
    int style = 0;
    std::uint32_t colour = 0;
    std::string picture;
};

void WriteShownPicture(Display* display, const ShownPicture& shown) {
    const std::string text = std::to_string(shown.pixmap) + " " + std::to_string(shown.style) + " " +
                             std::to_string(shown.colour) + " " + shown.picture;
    XChangeProperty(display, DefaultRootWindow(display), XInternAtom(display, kShownProperty, False),
                    XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
}

std::optional<ShownPicture> ReadShownPicture(Display* display) {
    const Atom atom = XInternAtom(display, kShownProperty, True);
    if (atom == None) return std::nullopt;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), atom, 0, 4096, False, AnyPropertyType, &type, &format,
                           &count, &left, &data) != Success ||
        data == nullptr) {
        return std::nullopt;
    }
    const std::string text(reinterpret_cast<const char*>(data), format == 8 ? count : 0);
    XFree(data);
    ShownPicture shown;
    unsigned long pixmap = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%lu %d %u %n", &pixmap, &shown.style, &shown.colour, &used) != 3) {
        return std::nullopt;
    }
    shown.pixmap = pixmap;
    shown.picture = text.substr(static_cast<std::size_t>(used));
    return shown;
}

int ChannelShift(unsigned long mask) {
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

class X11RootDesktop final : public DesktopSettings {
public:
    explicit X11RootDesktop(Display* display) : connection_(display) {
        // The root still shows what a killed run of the program drew: this run takes it over.
        Display* shownOn = connection_.Get();
        const auto shown = shownOn ? ReadShownPicture(shownOn) : std::nullopt;
        const auto current = shownOn ? PixmapProperty(shownOn, kSetRootPixmap) : std::nullopt;
        if (shown && current && std::stoul(*current) == shown->pixmap && PixmapExists(shownOn, shown->pixmap)) {
            picture_ = shown->picture;
            style_ = static_cast<PictureStyle>(shown->style);
            colour_ = shown->colour;
            ours_.insert(shown->pixmap);
        }
    }

    ~X11RootDesktop() override = default;

    std::string Name() const override { return "X (the root window)"; }

    std::optional<Reading<std::string>> ReadPicture() override {
        Display* display = connection_.Get();
        if (display == nullptr) return std::nullopt;
        SettingsState state{{kRootPixmap, PixmapProperty(display, kRootPixmap)},
                            {kSetRootPixmap, PixmapProperty(display, kSetRootPixmap)},
                            {kPictureSetting, picture_}};
        return Reading<std::string>{picture_, std::move(state)};
    }

    std::optional<Reading<PictureStyle>> ReadStyle() override {
        return Reading<PictureStyle>{style_, {{kStyleSetting, std::to_string(static_cast<int>(style_))}}};
    }

    std::optional<Reading<std::uint32_t>> ReadColour() override {
        return Reading<std::uint32_t>{colour_, {{kColourSetting, std::to_string(colour_)}}};
    }

    bool Restore(const SettingsState& state) override {
        Display* display = connection_.Get();
        if (display == nullptr) return false;
        if (auto style = state.find(kStyleSetting); style != state.end()) {
            style_ = style->second ? static_cast<PictureStyle>(std::stoi(*style->second)) : PictureStyle::Stretch;
        }
        const auto root = state.find(kRootPixmap);
        const auto setRoot = state.find(kSetRootPixmap);
        const bool namesRoot = root != state.end() && setRoot != state.end();
        if (auto colour = state.find(kColourSetting); colour != state.end()) {
            colour_ = colour->second ? static_cast<std::uint32_t>(std::stoul(*colour->second)) : 0;
            // The colour alone shows around the program's picture; a whole state says what the root shows.
            if (!namesRoot && !ShowsForeignPixmap(display)) return Render(display);
        }
        if (auto picture = state.find(kPictureSetting); picture != state.end()) picture_ = picture->second.value_or("");
        if (!namesRoot) return true;

        // The user's pixmap comes back, if it still exists; else the screen shows the colour.
        const Pixmap former = root->second ? std::stoul(*root->second) : None;
        const Window rootWindow = DefaultRootWindow(display);
        if (former != None && PixmapExists(display, former)) {
            WritePixmapProperty(display, kRootPixmap, root->second);
            WritePixmapProperty(display, kSetRootPixmap, setRoot->second);
            XSetWindowBackgroundPixmap(display, rootWindow, former);
        } else {
            WritePixmapProperty(display, kRootPixmap, std::nullopt);
            WritePixmapProperty(display, kSetRootPixmap, std::nullopt);
            XSetWindowBackground(display, rootWindow, PixelOf(display, colour_));
        }
        XDeleteProperty(display, rootWindow, XInternAtom(display, kShownProperty, False));
        XClearWindow(display, rootWindow);
        FreeOurPixmaps(display, former);
        XSync(display, False);
        return true;
    }

    bool SetPicture(const std::string& picture) override {
        picture_ = picture;
        Display* display = connection_.Get();
        return display != nullptr && Render(display);
    }

    bool SetStyle(PictureStyle style) override {
        style_ = style;  // shown with the next picture, as Windows shows the style with the wallpaper call
        return true;
    }

    bool SetColour(std::uint32_t colour) override {
        colour_ = colour;
        Display* display = connection_.Get();
        if (display == nullptr) return false;
        // Behind someone else's picture the colour does not show; around the program's it does.
        return ShowsForeignPixmap(display) || Render(display);
    }

private:
    bool ShowsForeignPixmap(Display* display) {
        const auto shown = PixmapProperty(display, kSetRootPixmap);
        return shown && !ours_.count(std::stoul(*shown));
    }

    static unsigned long PixelOf(Display* display, std::uint32_t colour) {
        XColor exact{};
        exact.red = static_cast<unsigned short>((colour & 0xFF) * 257);
        exact.green = static_cast<unsigned short>((colour >> 8 & 0xFF) * 257);
        exact.blue = static_cast<unsigned short>((colour >> 16 & 0xFF) * 257);
        exact.flags = DoRed | DoGreen | DoBlue;
        if (!XAllocColor(display, DefaultColormap(display, DefaultScreen(display)), &exact)) {
            return BlackPixel(display, DefaultScreen(display));
        }
        return exact.pixel;
    }

    // Small enough that the band comes from the allocator's free lists, not a mapping of its own.
    static constexpr int kBandPixels = 16384;

    struct ImageDestroyer {
        void operator()(XImage* image) const {
            image->data = nullptr;  // the band's memory is the caller's
            XDestroyImage(image);
        }
    };

    // Composes the screen into pixmap a band of rows at a time; a visual that holds 0x00RRGGBB
    // pixels takes the composed band as it is, any other gets each pixel converted.
    void DrawWallpaper(Display* owner, Pixmap pixmap, Visual* visual, unsigned depth, int width, int height,
                       const BmpFile* picture) const {
        const int bandRows = std::clamp(kBandPixels / std::max(width, 1), 1, std::max(height, 1));
        std::vector<std::uint32_t> band(static_cast<std::size_t>(width) * static_cast<std::size_t>(bandRows));
        std::unique_ptr<XImage, ImageDestroyer> image(XCreateImage(owner, visual, depth, ZPixmap, 0, nullptr,
                                                                   static_cast<unsigned>(width),
                                                                   static_cast<unsigned>(bandRows), 32, 0));
        if (!image) return;
        const int hostOrder = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
        const bool direct = image->bits_per_pixel == 32 && image->byte_order == hostOrder &&
                            image->bytes_per_line == width * 4 && visual->red_mask == 0xFF0000 &&
                            visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
        std::vector<char> converted(direct ? 0 : static_cast<std::size_t>(image->bytes_per_line) * bandRows);
        image->data = direct ? reinterpret_cast<char*>(band.data()) : converted.data();
        const int redShift = ChannelShift(visual->red_mask), greenShift = ChannelShift(visual->green_mask),
                  blueShift = ChannelShift(visual->blue_mask);
        GC gc = XCreateGC(owner, pixmap, 0, nullptr);
        for (int top = 0; top < height; top += bandRows) {
            const int rows = std::min(bandRows, height - top);
            ComposeWallpaperRows(picture, style_, colour_, width, height, top,
                                 std::span(band.data(), static_cast<std::size_t>(width) * rows));
            if (!direct) {
                for (int y = 0; y < rows; ++y) {
                    for (int x = 0; x < width; ++x) {
                        const std::uint32_t rgb = band[static_cast<std::size_t>(y) * width + x];
                        XPutPixel(image.get(), x, y,
                                  ((rgb >> 16 & 0xFFul) << redShift & visual->red_mask) |
                                      ((rgb >> 8 & 0xFFul) << greenShift & visual->green_mask) |
                                      ((rgb & 0xFFul) << blueShift & visual->blue_mask));
                    }
                }
            }
            XPutImage(owner, pixmap, gc, image.get(), 0, 0, 0, top, static_cast<unsigned>(width),
                      static_cast<unsigned>(rows));
        }
        XFreeGC(owner, gc);
    }

    // Draws picture_ in style_ on colour_ into a new pixmap that outlives this connection (other
    // programs read it through the root's properties), and shows it. The screen is composed once,
    // a band of rows at a time, straight from the mapped bitmap: no screen-sized copy is made.
    bool Render(Display* display) {
        std::optional<BmpFile> picture;
        if (!picture_.empty()) {
            picture = BmpFile::Open(picture_);
            if (!picture) std::fprintf(stderr, "zinna: cannot show %s on the X root window\n", picture_.c_str());
        }
        Display* owner = XOpenDisplay(DisplayString(display));
        if (owner == nullptr) return false;
        const int screen = DefaultScreen(owner);
        const Window root = RootWindow(owner, screen);
        const int width = DisplayWidth(owner, screen), height = DisplayHeight(owner, screen);
        const auto depth = static_cast<unsigned>(DefaultDepth(owner, screen));
        Visual* visual = DefaultVisual(owner, screen);
        const Pixmap pixmap =
            XCreatePixmap(owner, root, static_cast<unsigned>(width), static_cast<unsigned>(height), depth);
        DrawWallpaper(owner, pixmap, visual, depth, width, height, picture ? &*picture : nullptr);

        const std::string id = std::to_string(pixmap);
        WritePixmapProperty(owner, kRootPixmap, id);
        WritePixmapProperty(owner, kSetRootPixmap, id);
        WriteShownPicture(owner, {pixmap, static_cast<int>(style_), colour_, picture_});
        XSetWindowBackgroundPixmap(owner, root, pixmap);
        XClearWindow(owner, root);
        XSetCloseDownMode(owner, RetainPermanent);
        XCloseDisplay(owner);

        // The program's former pixmap goes; the user's stays, so that the restore can show it again.
        FreeOurPixmaps(display, pixmap);
        ours_.insert(pixmap);
        XSync(display, False);
        return true;
    }

    // Frees every pixmap this layer made except keep (each was made by its own connection).
    void FreeOurPixmaps(Display* display, Pixmap keep) {
        for (auto it = ours_.begin(); it != ours_.end();) {
            if (*it == keep) {
                ++it;
                continue;
            }
            xlib::TrappedXErrors errors(display);
            XKillClient(display, *it);
            errors.Succeeded();
            it = ours_.erase(it);
        }
    }

    xlib::XConnectionWhenNeeded connection_;
    std::string picture_;
    PictureStyle style_ = PictureStyle::Stretch;
    std::uint32_t colour_ = 0;
    std::set<Pixmap> ours_;
};

}  // namespace

std::unique_ptr<DesktopSettings> CreateX11RootDesktop(Display* display, std::string* problem) {
    auto desktop = std::make_unique<X11RootDesktop>(display);
    if (!desktop->ReadPicture()) {
        *problem = "no X display to draw the desktop on";
        return nullptr;
    }
    return desktop;
}

}  // namespace zinna::linuxdesk
