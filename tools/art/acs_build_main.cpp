// zinna-acs-build MANIFEST FRAMES_DIR SOUNDS_DIR OUT.acs
// Reads the animation manifest, the frames rendered as FRAMES_DIR/IMAGE.png and the sounds named
// in the manifest from SOUNDS_DIR, and writes the character data file.
#include "animation_manifest.h"
#include "character_builder.h"
#include "png_reader.h"

#include "stage/acs/acs_writer.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

using namespace zinna;

namespace {

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error(path.string() + ": cannot be opened");
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: zinna-acs-build MANIFEST FRAMES_DIR SOUNDS_DIR OUT.acs\n");
        return 2;
    }
    const std::filesystem::path manifestPath = argv[1], framesDir = argv[2], soundsDir = argv[3], outPath = argv[4];
    try {
        art::CharacterSources sources;
        const std::vector<std::uint8_t> text = ReadBytes(manifestPath);
        try {
            sources.manifest =
                art::ParseManifest(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
        } catch (const art::ManifestError& e) {
            std::fprintf(stderr, "%s:%d: %s\n", manifestPath.string().c_str(), e.Line(), e.what());
            return 1;
        }
        for (const std::string& image : art::ImagesUsed(sources.manifest))
            sources.pictures[image] = art::ReadPngRgba(framesDir / (image + ".png"));
        for (const art::ManifestSound& sound : sources.manifest.sounds)
            sources.sounds[sound.name] = ReadBytes(soundsDir / sound.file);
        const acs::Character character = art::BuildCharacter(sources);
        acs::WriteAcsFile(character, outPath);
        std::printf("%s: %zu animations, %zu images, %zu sounds, %ju bytes\n", outPath.string().c_str(),
                    character.animations.size(), character.images.size(), character.sounds.size(),
                    static_cast<std::uintmax_t>(std::filesystem::file_size(outPath)));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zinna-acs-build: %s\n", e.what());
        return 1;
    }
}
