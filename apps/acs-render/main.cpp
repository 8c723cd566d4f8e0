// acs-render FILE ANIMATION OUTDIR   writes each frame of the animation as OUTDIR/NAME-NNN.png
// acs-render --sheet OUT.png FILE    writes one contact sheet of every animation's frames
#include "contact_sheet.h"
#include "png/png_file.h"

#include "cli/command_line.h"
#include "stage/acs/acs_error.h"
#include "stage/acs/acs_reader.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

using namespace zinna::acs;

namespace {

// The animation's name as a file name: names come from the file, so anything but letters, digits,
// '-' and '_' (path separators, dots) becomes '_'.
std::string SafeFileName(const std::string& name) {
    std::string safe = name.empty() ? "animation" : name;
    for (char& c : safe)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
    return safe;
}

int RenderAnimation(AcsFile& file, std::string_view name, const std::filesystem::path& outDir) {
    const Animation* animation = nullptr;
    for (const Animation& candidate : file.Animations())
        if (candidate.name.size() == name.size() &&
            std::equal(name.begin(), name.end(), candidate.name.begin(), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
            }))
            animation = &candidate;
    if (!animation) {
        std::fprintf(stderr, "acs-render: no animation named %.*s\n", static_cast<int>(name.size()), name.data());
        return 1;
    }
    std::filesystem::create_directories(outDir);
    for (std::size_t f = 0; f < animation->frames.size(); ++f) {
        char fileName[32];
        std::snprintf(fileName, sizeof fileName, "-%03zu.png", f);
        const RgbaImage frame = ComposeFrame(file.Info(), animation->frames[f], ImagesOf(file));
        zinna::image::WritePng(frame, outDir / (SafeFileName(animation->name) + fileName));
    }
    std::printf("%zu frames written to %s\n", animation->frames.size(), outDir.string().c_str());
    return 0;
}

const zinna::cli::ToolSpec kTool{
    "acs-render",
    "usage: acs-render FILE ANIMATION OUTDIR   writes each frame of the animation as OUTDIR/NAME-NNN.png\n"
    "       acs-render --sheet OUT.png FILE    writes one contact sheet of every animation's frames\n"
    "  --help     this text\n"
    "  --version  the version\n",
    {{"--sheet", 1}},
    1,
    3};

}  // namespace

int main(int argc, char** argv) {
    return zinna::cli::RunTool(kTool, argc, argv, [](const zinna::cli::CommandLine& line) {
        const zinna::cli::ParsedOption* sheet = line.Find("--sheet");
        if (sheet && line.operands.size() != 1) throw zinna::cli::UsageError("--sheet takes one FILE");
        if (!sheet && line.operands.size() != 3) throw zinna::cli::UsageError("missing operand");
        const std::string& path = line.operands[0];
        try {
            AcsFile file = AcsFile::Load(path);
            if (sheet) {
                zinna::image::WritePng(ContactSheet(file), sheet->values[0]);
                return 0;
            }
            return RenderAnimation(file, line.operands[1], line.operands[2]);
        } catch (const AcsError& e) {
            std::fprintf(stderr, "%s: malformed character file: %s\n", path.c_str(), e.what());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "acs-render: %s\n", e.what());
        }
        return 1;
    });
}
