// acs-bench FILE [ROUNDS]: decodes every image of a character file ROUNDS times (default 5), each
// round from a freshly parsed file so nothing is cached, and prints the decoding speed; then
// times writing the character back (compression included).
#include "stage/acs/acs_error.h"
#include "stage/acs/acs_reader.h"
#include "stage/acs/acs_writer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

using namespace zinna::acs;
using Clock = std::chrono::steady_clock;

namespace {

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: acs-bench FILE [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc == 3 ? std::max(1, std::atoi(argv[2])) : 5;
    try {
        const AcsFile original = AcsFile::Load(argv[1]);
        std::size_t images = 0;
        std::uint64_t pixels = 0;
        double best = 1e30;
        for (int round = 0; round < rounds; ++round) {
            AcsFile file = original;
            images = 0;
            pixels = 0;
            const Clock::time_point start = Clock::now();
            for (std::size_t i = 0; i < file.ImageCount(); ++i) {
                const Image& image = file.ImageAt(i);
                pixels += image.pixels.size();
                ++images;
            }
            best = std::min(best, SecondsSince(start));
        }
        std::printf("file:            %s\n", argv[1]);
        std::printf("images:          %zu (%.2f MB of pixels)\n", images, pixels / 1e6);
        std::printf("decode (best of %d): %.3f ms, %.1f MB/s of decoded pixels, %.1f us per image\n", rounds,
                    best * 1e3, pixels / 1e6 / best, images ? best * 1e6 / images : 0.0);

        AcsFile file = original;
        const Character character = file.ToCharacter();
        const Clock::time_point start = Clock::now();
        const std::vector<std::uint8_t> written = WriteAcs(character);
        const double writeSeconds = SecondsSince(start);
        std::printf("write:           %.3f ms, %.1f MB/s of pixels, file %zu bytes (%.1f%% of the raw pixels)\n",
                    writeSeconds * 1e3, pixels / 1e6 / writeSeconds, written.size(),
                    pixels ? 100.0 * written.size() / pixels : 0.0);
    } catch (const AcsError& e) {
        std::fprintf(stderr, "%s: malformed character file: %s\n", argv[1], e.what());
        return 1;
    }
    return 0;
}
