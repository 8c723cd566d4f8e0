#include "stage/acs/sample_character.h"

#include <cmath>
#include <cstdint>
#include <string>

namespace zinna::acs {

namespace {

enum Colour : std::uint8_t { kClear = 0, kBlack = 1, kWhite = 2, kRed = 3, kGreen = 4, kBlue = 5, kYellow = 6 };

class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height), pixels_(width * height, kClear) {}

    void Set(int x, int y, std::uint8_t colour) {
        if (x >= 0 && y >= 0 && x < width_ && y < height_) pixels_[y * width_ + x] = colour;
    }
    void FillRect(int x0, int y0, int x1, int y1, std::uint8_t colour) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) Set(x, y, colour);
    }
    void FillEllipse(double cx, double cy, double rx, double ry, std::uint8_t colour) {
        PaintEllipse(cx, cy, rx, ry, [colour](int, int) { return colour; });
    }
    // Fills an ellipse with paint(x, y) for each of its pixels.
    template <typename Paint>
    void PaintEllipse(double cx, double cy, double rx, double ry, Paint paint) {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                const double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
                if (dx * dx + dy * dy <= 1.0) Set(x, y, paint(x, y));
            }
    }
    Image ToImage() const {
        return MakeImage(static_cast<std::uint16_t>(width_), static_cast<std::uint16_t>(height_), pixels_,
                         kSampleTransparent);
    }

private:
    int width_;
    int height_;
    std::vector<std::uint8_t> pixels_;
};

std::vector<Rgb> SamplePalette() {
    std::vector<Rgb> palette(256);
    palette[kClear] = {255, 0, 255};
    palette[kBlack] = {0, 0, 0};
    palette[kWhite] = {255, 255, 255};
    palette[kRed] = {220, 30, 30};
    palette[kGreen] = {30, 170, 60};
    palette[kBlue] = {40, 70, 220};
    palette[kYellow] = {250, 210, 40};
    for (int i = 7; i < 256; ++i)
        palette[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                      static_cast<std::uint8_t>(i * 7)};
    return palette;
}

// Body: a yellow ball with a black rim, a red hat on top and green feet below. 69 wide, so rows
// need padding in the file.
Image Body() {
    Canvas c(69, 70);
    c.FillEllipse(34.5, 38, 30, 28, kBlack);
    c.FillEllipse(34.5, 38, 28, 26, kYellow);
    for (int y = 0; y < 14; ++y) c.FillRect(34 - y, y, 35 + y, y + 1, kRed);  // hat: a triangle, point up
    c.FillRect(14, 64, 28, 70, kGreen);
    c.FillRect(41, 64, 55, 70, kGreen);
    return c.ToImage();
}

Image Eyes(bool open) {
    Canvas c(30, 12);
    if (open) {
        c.FillEllipse(7, 6, 6, 6, kWhite);
        c.FillEllipse(23, 6, 6, 6, kWhite);
        c.FillEllipse(9, 6, 2.5, 2.5, kBlue);  // both pupils look right
        c.FillEllipse(25, 6, 2.5, 2.5, kBlue);
    } else {
        c.FillRect(1, 5, 13, 7, kBlack);
        c.FillRect(17, 5, 29, 7, kBlack);
    }
    return c.ToImage();
}

Image Mouth(int shape) {
    static constexpr double kOpen[7] = {0.8, 2, 3, 4, 5, 3, 2};
    static constexpr double kWide[7] = {7, 7, 7, 7, 7, 5, 3};
    Canvas c(16, 11);
    c.FillEllipse(8, 5.5, kWide[shape], kOpen[shape], kBlack);
    if (kOpen[shape] > 1.5) c.FillEllipse(8, 5.5 + kOpen[shape] / 2, kWide[shape] * 0.6, kOpen[shape] / 2, kRed);
    return c.ToImage();
}

// An arrow pointing right, thicker at the tail: mirrored renders show it pointing left.
Image Arrow() {
    Canvas c(40, 17);
    c.FillRect(0, 5, 28, 12, kBlue);
    for (int x = 28; x < 40; ++x) c.FillRect(x, 8 - (39 - x) * 8 / 11, x + 1, 9 + (39 - x) * 8 / 11, kBlue);
    return c.ToImage();
}

Frame Pose(std::vector<FrameImage> images, std::uint16_t duration) {
    Frame frame;
    frame.images = std::move(images);
    frame.duration = duration;
    return frame;
}

Frame Terminator() { return Pose({}, 0); }

// Bitmaps for the tray icon: a 16 x 16 1-bit mask and a 4-bit colour image.
std::vector<std::uint8_t> IconBitmap(int bitsPerPixel) {
    const int stride = ((16 * bitsPerPixel + 31) / 32) * 4;
    std::vector<std::uint8_t> dib(40 + (4 << bitsPerPixel) + stride * 16, 0);
    const auto put32 = [&](int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) dib[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, 16);
    put32(8, 16);
    dib[12] = 1;
    dib[14] = static_cast<std::uint8_t>(bitsPerPixel);
    for (std::size_t i = 40 + (4 << bitsPerPixel); i < dib.size(); ++i) dib[i] = static_cast<std::uint8_t>(i * 37);
    return dib;
}

}  // namespace

Sound MakeSampleWave(int samples) {
    Sound wave;
    // Byte by byte: GCC 12 warns falsely about inserting a range into the empty vector.
    const auto put = [&](const char* tag) {
        for (int i = 0; i < 4; ++i) wave.push_back(static_cast<std::uint8_t>(tag[i]));
    };
    const auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) wave.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const auto put16 = [&](std::uint16_t v) {
        wave.push_back(static_cast<std::uint8_t>(v));
        wave.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    put("RIFF");
    put32(36 + samples);
    put("WAVE");
    put("fmt ");
    put32(16);
    put16(1);  // PCM
    put16(1);  // mono
    put32(8000);
    put32(8000);
    put16(1);
    put16(8);
    put("data");
    put32(samples);
    for (int i = 0; i < samples; ++i) wave.push_back((i / 8) % 2 ? 0xC0 : 0x40);
    return wave;
}

Character MakeSampleCharacter() {
    Character character;
    CharacterInfo& info = character.info;
    info.id.bytes = {0x5A, 0x49, 0x4E, 0x4E, 0x41, 0x00, 0x01, 0x02, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80};
    info.width = 96;
    info.height = 80;
    info.transparentIndex = kSampleTransparent;
    info.flags = kFlagVoice | kFlagBalloon | kFlagBalloonSizeToText | kFlagStandardAnimationSet;
    info.voice = VoiceInfo{};
    info.voice->extra = VoiceInfo::Extra{0x0409, "Standard", 1, 30, "Cheerful"};
    info.balloon = BalloonInfo{};
    info.palette = SamplePalette();
    info.trayIcon = TrayIcon{IconBitmap(1), IconBitmap(4)};
    info.localized = {{0x0409, "Zinna", "A cheerful test character", ""},
                      {0x0407, "Zinna", "Eine Testfigur — grün", "x"}};

    // Images: 0 body, 1 eyes open, 2 eyes closed, 3..9 mouths 0..6, 10 empty slot, 11 arrow.
    character.images.push_back(Body());
    character.images.push_back(Eyes(true));
    character.images.push_back(Eyes(false));
    for (int shape = 0; shape < 7; ++shape) character.images.push_back(Mouth(shape));
    character.images.push_back(Image{});
    character.images.push_back(Arrow());
    character.sounds.push_back(MakeSampleWave(400));

    const FrameImage body{0, 13, 6}, eyesOpen{1, 33, 28}, eyesClosed{2, 33, 28}, arrow{11, 50, 60};
    Animation show{"Show", Transition::None, "", {Pose({eyesOpen, body}, 20), Terminator()}};
    show.frames[0].sound = 0;
    Animation hide{"Hide", Transition::None, "", {Pose({eyesClosed, body}, 20), Terminator()}};

    Animation greet{"Greet", Transition::ExitBranches, "", {}};
    greet.frames = {Pose({eyesOpen, body}, 10), Pose({eyesClosed, body}, 15), Pose({arrow, eyesOpen, body}, 30),
                    Terminator()};
    greet.frames[1].exitFrame = 0;
    greet.frames[2].exitFrame = 1;
    greet.frames[2].branches = {{0, 40}, {1, 25}};
    greet.frames[3].exitFrame = kNoExitBranch;

    Animation rest{"RestPose", Transition::None, "", {Pose({eyesOpen, body}, 10), Terminator()}};
    for (std::uint8_t shape = 0; shape < 7; ++shape)
        rest.frames[0].mouths.push_back(
            {shape, shape == 0, static_cast<std::uint16_t>(3 + shape), 40, 50, 8, 5, 0, {}});

    Animation wave{"Wave", Transition::ReturnAnimation, "RESTPOSE", {Pose({arrow, eyesOpen, body}, 25), Terminator()}};
    wave.frames[0].exitFrame = kExitEndsNow;
    // An empty slot in a frame draws nothing.
    wave.frames[1].images = {{10, 0, 0}};

    character.animations = {show, hide, greet, rest, wave};
    info.states = {{"SHOWING", {"SHOW"}},
                   {"HIDING", {"HIDE"}},
                   {"SPEAKING", {"RESTPOSE"}},
                   {"IDLINGLEVEL1", {"GREET", "RESTPOSE"}}};
    return character;
}

namespace {

// One frame of the large character: animation `animation`, `phase` of 30. A fairy with beating
// wings, a shaded body, a textured head and a dithered lantern glow, every part moving a little
// from frame to frame as drawn animation does.
Image LargeCharacterFrame(int animation, int phase, std::uint32_t& noise) {
    constexpr double kPi = 3.14159265358979;
    const double beat = std::sin(2 * kPi * phase / 30.0);
    const double bob = 3 * std::sin(2 * kPi * (phase + animation) / 15.0);
    const auto tint = static_cast<std::uint8_t>(8 * (animation % 5));
    Canvas c(128, 128);
    // Wings behind: outlined, with feather bands.
    for (int side : {-1, 1}) {
        const double cx = 64 + side * (30 + 4 * beat), cy = 50 + bob, rx = 22 + 7 * beat, ry = 30 - 4 * beat;
        c.FillEllipse(cx, cy, rx + 1.5, ry + 1.5, kBlack);
        c.PaintEllipse(cx, cy, rx, ry, [&](int x, int y) {
            return static_cast<std::uint8_t>(((y / 3 + x / 9) % 2 ? 200 : 208) + tint / 8);
        });
    }
    // Body: a vertical gradient in bands of four rows.
    c.FillEllipse(64, 82 + bob, 27.5, 35.5, kBlack);
    c.PaintEllipse(64, 82 + bob, 26, 34, [&](int, int y) { return static_cast<std::uint8_t>(40 + tint + y / 4); });
    // Head with textured hair and eyes that look about.
    c.FillEllipse(64, 36 + bob, 21.5, 21.5, kBlack);
    c.FillEllipse(64, 36 + bob, 20, 20, kYellow);
    c.PaintEllipse(64, 26 + bob, 19, 10, [&](int x, int y) {
        noise = noise * 1103515245u + 12345u;
        return static_cast<std::uint8_t>(120 + (x + y) % 4 + ((noise >> 16) % 7 == 0 ? 6 : 0));
    });
    const double look = 3 * std::cos(2 * kPi * (phase + 3 * animation) / 30.0);
    for (int side : {-1, 1}) {
        c.FillEllipse(64 + side * 8, 40 + bob, 5, 6, kWhite);
        c.FillEllipse(64 + side * 8 + look, 41 + bob, 2.5, 3, kBlue);
    }
    c.FillRect(58, static_cast<int>(50 + bob), 70, static_cast<int>(52 + bob), kRed);
    // A lantern swinging below, its glow dithered between two colours.
    const double lx = 64 + 34 * std::sin(2 * kPi * (phase / 30.0 + animation / 20.0)), ly = 108;
    c.PaintEllipse(lx, ly, 16, 16, [](int x, int y) { return static_cast<std::uint8_t>((x + y) % 2 ? 230 : 231); });
    c.FillRect(static_cast<int>(lx) - 5, static_cast<int>(ly) - 7, static_cast<int>(lx) + 5, static_cast<int>(ly) + 7,
               kRed);
    return c.ToImage();
}

}  // namespace

Character MakeLargeCharacter() {
    Character character = MakeSampleCharacter();
    character.info.width = character.info.height = 128;
    const std::vector<Image> sampleImages = character.images;
    character.images.clear();
    character.animations.clear();
    std::uint32_t noise = 2024;
    constexpr int kAnimations = 20, kFrames = 30;
    for (int a = 0; a < kAnimations; ++a) {
        Animation animation{"Move" + std::to_string(a), Transition::None, "", {}};
        for (int p = 0; p < kFrames; ++p) {
            animation.frames.push_back(Pose({{static_cast<std::uint32_t>(character.images.size()), 0, 0}}, 10));
            character.images.push_back(LargeCharacterFrame(a, p, noise));
        }
        animation.frames.push_back(Terminator());
        character.animations.push_back(std::move(animation));
    }
    // The sample's mouths, on the first animation's last drawn frame.
    const auto firstMouth = static_cast<std::uint16_t>(character.images.size());
    for (int shape = 0; shape < 7; ++shape) character.images.push_back(sampleImages[3 + shape]);
    for (std::uint8_t shape = 0; shape < 7; ++shape)
        character.animations[0].frames[kFrames - 1].mouths.push_back(
            {shape, false, static_cast<std::uint16_t>(firstMouth + shape), 56, 46, 8, 5, 0, {}});
    character.info.states = {{"SHOWING", {"MOVE0"}}, {"HIDING", {"MOVE1"}}, {"SPEAKING", {"MOVE0"}}};
    return character;
}

Character MakeBenchmarkCharacter(int imageCount, int imageSide) {
    Character character = MakeSampleCharacter();
    character.images.clear();
    character.animations.clear();
    character.info.states.clear();
    std::uint32_t noise = 12345;
    for (int i = 0; i < imageCount; ++i) {
        Canvas c(imageSide, imageSide);
        const double r = imageSide * (0.3 + 0.02 * (i % 7));
        c.FillEllipse(imageSide / 2.0, imageSide / 2.0, r + 2, r + 2, kBlack);
        c.FillEllipse(imageSide / 2.0, imageSide / 2.0, r, r, static_cast<std::uint8_t>(kYellow + i % 3));
        // Shading and a little noise, as drawn art has.
        for (int y = imageSide / 3; y < imageSide * 2 / 3; ++y)
            for (int x = imageSide / 4; x < imageSide * 3 / 4; ++x) {
                noise = noise * 1103515245u + 12345u;
                if ((noise >> 16) % 5 == 0) c.Set(x, y, static_cast<std::uint8_t>(7 + (x + y + i) % 32));
            }
        c.FillRect(imageSide / 3, imageSide / 8, imageSide * 2 / 3, imageSide / 5, kRed);
        character.images.push_back(c.ToImage());
    }
    Animation all{"All", Transition::None, "", {}};
    for (int i = 0; i < imageCount; ++i) all.frames.push_back(Pose({{static_cast<std::uint32_t>(i), 0, 0}}, 10));
    character.animations.push_back(all);
    character.info.width = character.info.height = static_cast<std::uint16_t>(imageSide);
    return character;
}

}  // namespace zinna::acs
