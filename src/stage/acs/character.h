// The in-memory model of a character: everything a character data file (.acs) holds, in a form
// that is easy to build and to inspect. The reader fills it, the writer stores it, and the
// compositor draws its frames.
//
// Conventions of the model (the file's own conventions are converted at the format boundary):
// - texts are UTF-8 (the file stores UTF-16LE);
// - image pixels are 8-bit palette indices, width × height bytes, rows TOP-DOWN, no row padding
//   (the file stores rows bottom-up, padded to 4 bytes);
// - the palette is RGB (the file stores blue, green, red, 0);
// - region rectangles are in image coordinates, y growing downward, right/bottom exclusive.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zinna::acs {

// A GUID as its 16 bytes in file order (u32, u16, u16 little-endian, then 8 bytes).
struct Guid {
    std::array<std::uint8_t, 16> bytes{};
    bool operator==(const Guid&) const = default;
};

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};

// Style flags of the character-info block.
inline constexpr std::uint32_t kFlagVoiceOff = 0x10;     // no voice block, voice output off
inline constexpr std::uint32_t kFlagVoice = 0x20;        // a voice block is present
inline constexpr std::uint32_t kFlagBalloonOff = 0x100;  // no balloon block
inline constexpr std::uint32_t kFlagBalloon = 0x200;     // a balloon block is present
inline constexpr std::uint32_t kFlagBalloonSizeToText = 0x10000;
inline constexpr std::uint32_t kFlagBalloonNoAutoHide = 0x20000;
inline constexpr std::uint32_t kFlagBalloonNoAutoPace = 0x40000;
inline constexpr std::uint32_t kFlagStandardAnimationSet = 0x100000;

// Text-to-speech settings. Present in the file exactly when flags has kFlagVoice.
struct VoiceInfo {
    Guid engine;
    Guid mode;
    std::uint32_t speed = 0xFFFFFFFF;  // 0xFFFFFFFF: the engine's default
    std::uint16_t pitch = 0xFFFF;      // 0xFFFF: the engine's default
    struct Extra {
        std::uint16_t languageId = 0x0409;
        std::string dialect;
        std::uint16_t gender = 0;  // 1 female, 2 male
        std::uint16_t age = 0;
        std::string style;
        bool operator==(const Extra&) const = default;
    };
    std::optional<Extra> extra;
    bool operator==(const VoiceInfo&) const = default;
};

// Word balloon look. Present in the file exactly when flags has kFlagBalloon.
// Colours are 0x00BBGGRR (red in the low byte).
struct BalloonInfo {
    std::uint8_t lines = 2;
    std::uint8_t charactersPerLine = 32;
    std::uint32_t foreground = 0x00000000;
    std::uint32_t background = 0x00E1FFFF;
    std::uint32_t border = 0x00000000;
    std::string fontName = "MS Sans Serif";
    std::int32_t fontHeight = -13;  // LOGFONT style: negative = character height in pixels
    std::int32_t fontWeight = 400;  // 700 = bold
    bool italic = false;
    bool operator==(const BalloonInfo&) const = default;
};

// The small icon shown in the notification area, kept as the two device-independent bitmaps the
// file stores: a 1-bit AND mask, then a 4-bit colour image (each starting with a 40-byte
// BITMAPINFOHEADER). Not decoded by this library.
struct TrayIcon {
    std::vector<std::uint8_t> mask;
    std::vector<std::uint8_t> color;
    bool operator==(const TrayIcon&) const = default;
};

// A state ("SHOWING", "IDLINGLEVEL1", ...) and the animations the host may pick from for it.
// Names are stored upper-case in files; look them up case-insensitively.
struct State {
    std::string name;
    std::vector<std::string> animations;
    bool operator==(const State&) const = default;
};

// The character's name and description in one language. languageId is a Windows LANGID
// (0x0409 US English); files also hold bare primary ids (0x0009), so match on id & 0x3FF.
struct LocalizedInfo {
    std::uint16_t languageId = 0x0409;
    std::string name;
    std::string description;
    std::string extraData;
    bool operator==(const LocalizedInfo&) const = default;
};

struct CharacterInfo {
    std::uint16_t minorVersion = 1;
    std::uint16_t majorVersion = 2;  // only version 2.x exists
    Guid id;
    std::uint16_t width = 0;  // frame size in pixels
    std::uint16_t height = 0;
    std::uint8_t transparentIndex = 0;  // palette index drawn as fully transparent
    // kFlagVoice must be set exactly when voice has a value, kFlagBalloon exactly when balloon
    // has a value; set kFlagVoiceOff / kFlagBalloonOff for the absent ones, as real files do.
    std::uint32_t flags = kFlagVoiceOff | kFlagBalloon;
    std::optional<VoiceInfo> voice;
    std::optional<BalloonInfo> balloon = BalloonInfo{};
    std::vector<Rgb> palette;  // at most 256 entries; transparentIndex must be below its size
    std::optional<TrayIcon> trayIcon;
    std::vector<State> states;
    std::vector<LocalizedInfo> localized;  // at least one entry: the name lives here
    bool operator==(const CharacterInfo&) const = default;
};

// How an animation ends when the host moves on to something else.
enum class Transition : std::uint8_t {
    ReturnAnimation = 0,  // play returnAnimation
    ExitBranches = 1,     // follow the frames' exit branches
    None = 2,
};

// One image of a frame, placed at x, y (frame coordinates, top-left origin).
struct FrameImage {
    std::uint32_t imageIndex = 0;
    std::int16_t x = 0;
    std::int16_t y = 0;
    bool operator==(const FrameImage&) const = default;
};

// After this frame, go to targetFrame with this probability (percent). Branches are tried in
// order with one draw; sums never exceed 100.
struct Branch {
    std::uint16_t targetFrame = 0;
    std::uint16_t probability = 0;
    bool operator==(const Branch&) const = default;
};

// A mouth image drawn while speaking, chosen by the current mouth shape.
struct MouthOverlay {
    std::uint8_t shape = 0;         // 0 closed, 1-4 wide open 1-4, 5 medium, 6 narrow
    bool replacesTopImage = false;  // true: drawn instead of the frame's first image; false: on top
    std::uint16_t imageIndex = 0;
    std::int16_t x = 0;  // frame coordinates
    std::int16_t y = 0;
    std::uint16_t centerX = 0;  // centre of the first mouth image's region, or 0, 0
    std::uint16_t centerY = 0;
    std::uint8_t unknown = 0;                         // a byte of unknown meaning, 0 in practice; kept as read
    std::optional<std::vector<std::uint8_t>> region;  // optional raw region blob, rare
    bool operator==(const MouthOverlay&) const = default;
};

inline constexpr std::int16_t kNoSound = -1;
inline constexpr std::int16_t kExitEndsNow = -1;   // exitFrame: end the animation now
inline constexpr std::int16_t kNoExitBranch = -2;  // exitFrame: continue normally

struct Frame {
    // Drawn from the last to the first, so the first listed image is on top.
    std::vector<FrameImage> images;
    std::int16_t sound = kNoSound;           // index into Character::sounds, or kNoSound
    std::uint16_t duration = 10;             // hundredths of a second
    std::int16_t exitFrame = kNoExitBranch;  // a frame index, kExitEndsNow or kNoExitBranch
    std::vector<Branch> branches;
    std::vector<MouthOverlay> mouths;
    bool operator==(const Frame&) const = default;
};

struct Animation {
    std::string name;  // authored case; the file also keeps an upper-case copy
    Transition transition = Transition::None;
    std::string returnAnimation;  // used with Transition::ReturnAnimation, else empty
    std::vector<Frame> frames;
    bool operator==(const Animation&) const = default;
};

struct RegionRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;   // exclusive
    std::int32_t bottom = 0;  // exclusive
    bool operator==(const RegionRect&) const = default;
};

// An image: palette indices, top-down, width × height bytes. An image of width or height 0 is
// an empty slot (the file stores it as one byte) and draws nothing.
struct Image {
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::vector<std::uint8_t> pixels;  // top-down rows, row r at pixels[r * width]
    // The image's outline: rectangles covering exactly its non-transparent pixels, sorted
    // top-to-bottom, left-to-right. Used for the window shape and hit testing. MakeImage fills it.
    std::vector<RegionRect> region;

    bool IsEmptySlot() const { return width == 0 || height == 0; }
    std::uint8_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    bool operator==(const Image&) const = default;
};

// A sound: the bytes of a complete RIFF WAVE file.
using Sound = std::vector<std::uint8_t>;

struct Character {
    CharacterInfo info;
    std::vector<Animation> animations;
    std::vector<Image> images;
    std::vector<Sound> sounds;
    bool operator==(const Character&) const = default;
};

// An image from top-down pixels, with its region computed: one rectangle per run of
// non-transparent pixels in each row. pixels.size() must be width × height.
Image MakeImage(std::uint16_t width, std::uint16_t height, std::vector<std::uint8_t> pixels,
                std::uint8_t transparentIndex);

// The region rectangles of an image's non-transparent pixels (one per run per row).
std::vector<RegionRect> OpaqueRegion(const Image& image, std::uint8_t transparentIndex);

// Case-insensitive (ASCII) lookups; nullptr when absent.
const Animation* FindAnimation(const Character& character, std::string_view name);
const State* FindState(const CharacterInfo& info, std::string_view name);

// The localization that matches languageId (on id & 0x3FF), else the first one, else nullptr.
const LocalizedInfo* FindLocalization(const CharacterInfo& info, std::uint16_t languageId = 0x0409);

}  // namespace zinna::acs
