// acs-info [--json] FILE: prints what a character data file holds, and what in it real character
// files rarely or never have. Every image is decoded, so a file this accepts is wholly readable. A malformed file gives
// exit status 1 and one line saying what is wrong and where.
#include "cli/command_line.h"
#include "stage/acs/acs_error.h"
#include "stage/acs/acs_reader.h"
#include "stage/acs/acs_writer.h"

#include <cstdio>
#include <string>
#include <string_view>

using namespace zinna::acs;

namespace {

std::string GuidText(const Guid& guid) {
    const auto& b = guid.bytes;
    char text[40];
    std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
                  b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

unsigned TotalDuration(const Animation& animation) {
    unsigned hundredths = 0;
    for (const Frame& frame : animation.frames) hundredths += frame.duration;
    return hundredths;
}

void PrintText(const AcsFile& file, const std::vector<std::string>& compatibility) {
    const CharacterInfo& info = file.Info();
    const LocalizedInfo* names = FindLocalization(info);
    std::printf("name:         %s\n", names ? names->name.c_str() : "");
    std::printf("description:  %s\n", names ? names->description.c_str() : "");
    std::printf("id:           %s\n", GuidText(info.id).c_str());
    std::printf("version:      %u.%u\n", info.majorVersion, info.minorVersion);
    std::printf("frame size:   %u x %u\n", info.width, info.height);
    std::printf("palette:      %zu colours, transparent index %u\n", info.palette.size(), info.transparentIndex);
    std::printf("flags:        0x%08X (%s, %s%s)\n", info.flags, info.voice ? "voice" : "no voice",
                info.balloon ? "balloon" : "no balloon", info.trayIcon ? ", tray icon" : "");
    std::printf("images:       %zu\n", file.ImageCount());
    std::printf("sounds:       %zu\n", file.SoundCount());
    std::printf("animations:   %zu\n", file.Animations().size());
    for (const Animation& animation : file.Animations()) {
        const unsigned total = TotalDuration(animation);
        std::printf("  %-28s %4zu frames %7u.%02u s", animation.name.c_str(), animation.frames.size(), total / 100,
                    total % 100);
        if (animation.transition == Transition::ReturnAnimation)
            std::printf("  returns via %s", animation.returnAnimation.c_str());
        else if (animation.transition == Transition::ExitBranches)
            std::printf("  exits by branches");
        std::printf("\n");
    }
    std::printf("states:       %zu\n", info.states.size());
    for (const State& state : info.states) {
        std::printf("  %-28s", state.name.c_str());
        for (std::size_t i = 0; i < state.animations.size(); ++i)
            std::printf("%s%s", i ? ", " : "", state.animations[i].c_str());
        std::printf("\n");
    }
    for (const std::string& warning : file.Warnings()) std::printf("warning: %s\n", warning.c_str());
    for (const std::string& note : compatibility) std::printf("unusual: %s\n", note.c_str());
}

void PrintJson(const AcsFile& file, const std::vector<std::string>& compatibility) {
    const CharacterInfo& info = file.Info();
    const LocalizedInfo* names = FindLocalization(info);
    std::string out = "{";
    // Appends "key":value, with a comma before every member but the first of its object.
    const auto member = [&out](std::string_view key, const std::string& value) {
        if (out.back() != '{' && out.back() != '[') out += ',';
        out += JsonString(key);
        out += ':';
        out += value;
    };
    const auto element = [&out](const std::string& value) {
        if (out.back() != '[') out += ',';
        out += value;
    };
    member("name", JsonString(names ? names->name : ""));
    member("description", JsonString(names ? names->description : ""));
    member("id", JsonString(GuidText(info.id)));
    member("width", std::to_string(info.width));
    member("height", std::to_string(info.height));
    member("paletteSize", std::to_string(info.palette.size()));
    member("transparentIndex", std::to_string(info.transparentIndex));
    member("flags", std::to_string(info.flags));
    member("animations", "{");
    for (const Animation& animation : file.Animations())
        member(animation.name, std::to_string(animation.frames.size()));
    out += '}';
    member("durations", "{");  // hundredths of a second
    for (const Animation& animation : file.Animations())
        member(animation.name, std::to_string(TotalDuration(animation)));
    out += '}';
    member("states", "{");
    for (const State& state : info.states) {
        member(state.name, "[");
        for (const std::string& name : state.animations) element(JsonString(name));
        out += ']';
    }
    out += '}';
    member("images", std::to_string(file.ImageCount()));
    member("sounds", std::to_string(file.SoundCount()));
    member("warnings", "[");
    for (const std::string& warning : file.Warnings()) element(JsonString(warning));
    out += ']';
    member("unusual", "[");
    for (const std::string& note : compatibility) element(JsonString(note));
    out += "]}";
    std::printf("%s\n", out.c_str());
}

}  // namespace

const zinna::cli::ToolSpec kTool{"acs-info",
                                 "usage: acs-info [--json] FILE\n"
                                 "  prints what a character data file holds; exit status 1 for a malformed file\n"
                                 "  --json     one JSON object instead of text\n"
                                 "  --help     this text\n"
                                 "  --version  the version\n",
                                 {{"--json"}},
                                 1,
                                 1};

int main(int argc, char** argv) {
    return zinna::cli::RunTool(kTool, argc, argv, [](const zinna::cli::CommandLine& line) {
        const std::string& path = line.operands[0];
        try {
            AcsFile file = AcsFile::Load(path);
            // Decodes every image, and lists what real character files rarely or never have.
            const std::vector<std::string> compatibility = CompatibilityWarnings(file.ToCharacter());
            line.Has("--json") ? PrintJson(file, compatibility) : PrintText(file, compatibility);
        } catch (const AcsError& e) {
            std::fprintf(stderr, "%s: malformed character file: %s\n", path.c_str(), e.what());
            return 1;
        }
        return 0;
    });
}
