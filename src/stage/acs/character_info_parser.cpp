// The character-info block: the frame size, the palette, the voice and balloon settings, the tray
// icon, the states and the localized names.
#include "stage/acs/acs_parser.h"

#include "stage/acs/format_rules.h"

namespace zinna::acs {

void AcsParser::ParseCharacterInfo(const Locator& block) {
    ByteCursor in = CursorOver(block, "character info");
    CharacterInfo& info = file_.info_;
    info.minorVersion = in.U16("minor version");
    info.majorVersion = in.U16("major version");
    if (info.majorVersion != 2)
        in.FailAt(
            "version " + std::to_string(info.majorVersion) + "." + std::to_string(info.minorVersion) + " is not 2.x",
            block.offset);
    const std::uint64_t localizedAt = in.Position();
    const Locator localized = ReadLocator(in, "localized-info locator");
    if (localized.offset < block.offset || localized.End() > block.End())
        in.FailAt("localized-info table lies outside the character-info block", localizedAt);
    info.id = in.GuidBytes("character id");
    const std::uint64_t sizeAt = in.Position();
    info.width = in.U16("frame width");
    info.height = in.U16("frame height");
    if (info.width == 0 || info.height == 0 || info.width > kMaxFrameSide || info.height > kMaxFrameSide)
        in.FailAt("frame size " + std::to_string(info.width) + " x " + std::to_string(info.height) +
                      " is not within 1.." + std::to_string(kMaxFrameSide),
                  sizeAt);
    const std::uint64_t transparentAt = in.Position();
    info.transparentIndex = in.U8("transparent index");
    info.flags = in.U32("flags");
    in.U16("animation set major version");
    in.U16("animation set minor version");
    info.voice.reset();
    info.balloon.reset();
    if (info.flags & kFlagVoice) info.voice = ParseVoice(in);
    if (info.flags & kFlagBalloon) info.balloon = ParseBalloon(in);

    const std::uint64_t paletteAt = in.Position();
    const std::uint32_t colours = in.U32("palette count");
    if (colours > 256) in.FailAt("palette count " + std::to_string(colours) + " is more than 256", paletteAt);
    in.CheckedCount(colours, 4, "palette");
    if (info.transparentIndex >= colours)
        in.FailAt("transparent index " + std::to_string(info.transparentIndex) + " is past the " +
                      std::to_string(colours) + "-colour palette",
                  transparentAt);
    info.palette.resize(colours);
    for (Rgb& colour : info.palette) {
        std::span<const std::uint8_t> quad = in.Bytes(4, "palette entry");
        colour = {quad[2], quad[1], quad[0]};  // stored blue, green, red, unused
    }

    if (in.U8("tray icon flag") != 0) {
        const std::uint64_t iconAt = in.Position();
        TrayIcon icon;
        const std::uint32_t maskSize = in.U32("tray icon mask size");
        std::span<const std::uint8_t> mask = in.Bytes(maskSize, "tray icon mask");
        const std::uint32_t colorSize = in.U32("tray icon image size");
        std::span<const std::uint8_t> color = in.Bytes(colorSize, "tray icon image");
        auto problem = IconBitmapProblem(mask, 1);
        if (!problem) problem = IconBitmapProblem(color, 4);
        if (problem) {
            file_.warnings_.push_back("tray icon dropped at " + Hex(iconAt) + ": " + *problem);
        } else {
            icon.mask.assign(mask.begin(), mask.end());
            icon.color.assign(color.begin(), color.end());
            info.trayIcon = std::move(icon);
        }
    }

    const std::uint16_t stateCount = in.U16("state count");
    in.CheckedCount(stateCount, 6, "state");
    info.states.resize(stateCount);
    for (State& state : info.states) {
        state.name = in.String("state name");
        const std::uint16_t count = in.U16("state animation count");
        in.CheckedCount(count, 4, "state animation");
        state.animations.resize(count);
        for (std::string& name : state.animations) name = in.String("state animation name");
    }
    if (in.Position() != localized.offset)
        file_.warnings_.push_back(
            "character info: " +
            std::to_string(static_cast<std::int64_t>(localized.offset) - static_cast<std::int64_t>(in.Position())) +
            " bytes between the state table and the localized table");

    ByteCursor names = CursorOver(localized, "localized info");
    const std::uint16_t count = names.U16("localized entry count");
    names.CheckedCount(count, 14, "localized entry");
    info.localized.resize(count);
    for (LocalizedInfo& entry : info.localized) {
        entry.languageId = names.U16("language id");
        entry.name = names.String("character name");
        entry.description = names.String("character description");
        entry.extraData = names.String("extra data");
    }
    names.ExpectEnd();
}

VoiceInfo AcsParser::ParseVoice(ByteCursor& in) {
    VoiceInfo voice;
    voice.engine = in.GuidBytes("voice engine id");
    voice.mode = in.GuidBytes("voice mode id");
    voice.speed = in.U32("voice speed");
    voice.pitch = in.U16("voice pitch");
    if (in.U8("voice extra flag") != 0) {
        VoiceInfo::Extra extra;
        extra.languageId = in.U16("voice language id");
        extra.dialect = in.String("voice dialect");
        extra.gender = in.U16("voice gender");
        extra.age = in.U16("voice age");
        extra.style = in.String("voice style");
        voice.extra = std::move(extra);
    }
    return voice;
}

BalloonInfo AcsParser::ParseBalloon(ByteCursor& in) {
    BalloonInfo balloon;
    balloon.lines = in.U8("balloon lines");
    balloon.charactersPerLine = in.U8("balloon characters per line");
    balloon.foreground = in.U32("balloon foreground");
    balloon.background = in.U32("balloon background");
    balloon.border = in.U32("balloon border");
    balloon.fontName = in.String("balloon font name");
    balloon.fontHeight = in.I32("balloon font height");
    balloon.fontWeight = in.I32("balloon font weight");
    balloon.italic = in.U8("balloon italic") != 0;
    in.U8("balloon unused byte");
    return balloon;
}

}  // namespace zinna::acs
