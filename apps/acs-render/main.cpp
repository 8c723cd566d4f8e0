// acs-render FILE ANIMATION OUTDIR   writes each frame of the animation as OUTDIR/NAME-NNN.png
// acs-render FILE --sheet OUT.png    writes one contact sheet of every animation's frames
#include "contact_sheet.h"
#include "png/png_file.h"

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
            std::equal(name.begin(), name.end(), candidate.name.begin(),
                       [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b)); }))
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
        WritePng(frame, outDir / (SafeFileName(animation->name) + fileName));
    }
    std::printf("%zu frames written to %s\n", animation->frames.size(), outDir.string().c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: acs-render FILE ANIMATION OUTDIR\n       acs-render FILE --sheet OUT.png\n");
        return 2;
    }
    try {
        AcsFile file = AcsFile::Load(argv[1]);
        if (std::string_view(argv[2]) == "--sheet") {
            WritePng(ContactSheet(file), argv[3]);
            return 0;
        }
        return RenderAnimation(file, argv[2], argv[3]);
    } catch (const AcsError& e) {
        std::fprintf(stderr, "%s: malformed character file: %s\n", argv[1], e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "acs-render: %s\n", e.what());
    }
    return 1;
}
