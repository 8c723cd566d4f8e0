// acs-bench FILE [ROUNDS]: decodes every image of a character file ROUNDS times (default 5), each
// round from a freshly parsed file so nothing is cached, and prints the decoding speed and a
// digest of every decoded pixel and region (the same digest before and after a change to the
// decoder means it decodes the same); then times writing the character back (compression
// included).
#include "cli/command_line.h"
#include "stage/acs/acs_error.h"
#include "stage/acs/acs_reader.h"
#include "stage/acs/acs_writer.h"
#include "stage/acs/format_rules.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

using namespace zinna::acs;
using Clock = std::chrono::steady_clock;

namespace {

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }
// Processor time of the process (on Linux; Windows' clock() counts wall time): on a busy machine
// it leaves out the time the benchmark waited for a processor.
double ProcessorSecondsSince(std::clock_t start) { return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC; }

const zinna::cli::ToolSpec kTool{
    "acs-bench",
    "usage: acs-bench FILE [ROUNDS]\n"
    "  times decoding every image of FILE, best of ROUNDS rounds (default 5), and writing it\n"
    "  --help     this text\n"
    "  --version  the version\n",
    {},
    1,
    2};

int Bench(const char* path, int rounds);

}  // namespace

int main(int argc, char** argv) {
    return zinna::cli::RunTool(kTool, argc, argv, [](const zinna::cli::CommandLine& line) {
        long long rounds = 5;
        if (line.operands.size() == 2) rounds = zinna::cli::WholeNumber(line.operands[1], "ROUNDS");
        if (rounds < 1 || rounds > 1000) throw zinna::cli::UsageError("ROUNDS: 1 to 1000");
        return Bench(line.operands[0].c_str(), static_cast<int>(rounds));
    });
}

namespace {

int Bench(const char* path, int rounds) {
    try {
        const AcsFile original = AcsFile::Load(path);
        std::size_t images = 0;
        std::uint64_t pixels = 0;
        double best = 1e30;
        double bestProcessor = 1e30;
        for (int round = 0; round < rounds; ++round) {
            AcsFile file = original;
            images = 0;
            pixels = 0;
            const Clock::time_point start = Clock::now();
            const std::clock_t startProcessor = std::clock();
            for (std::size_t i = 0; i < file.ImageCount(); ++i) {
                const Image& image = file.ImageAt(i);
                pixels += image.pixels.size();
                ++images;
            }
            best = std::min(best, SecondsSince(start));
            bestProcessor = std::min(bestProcessor, ProcessorSecondsSince(startProcessor));
        }
        // CRC-32 of each image's pixels and region blob, then of those CRCs in order.
        AcsFile digested = original;
        std::vector<std::uint8_t> crcs;
        for (std::size_t i = 0; i < digested.ImageCount(); ++i) {
            const Image& image = digested.ImageAt(i);
            for (const std::uint32_t crc : {Crc32(image.pixels), Crc32(EncodeRegion(image.region))})
                for (int b = 0; b < 4; ++b) crcs.push_back(static_cast<std::uint8_t>(crc >> (8 * b)));
        }
        std::printf("file:            %s\n", path);
        std::printf("images:          %zu (%.2f MB of pixels)\n", images, pixels / 1e6);
        std::printf("decoded digest:  %08x\n", Crc32(crcs));
        std::printf("decode (best of %d): %.3f ms, %.1f MB/s of decoded pixels, %.1f us per image\n", rounds,
                    best * 1e3, pixels / 1e6 / best, images ? best * 1e6 / images : 0.0);
        std::printf("decode processor time (best of %d): %.3f ms, %.1f MB/s\n", rounds, bestProcessor * 1e3,
                    bestProcessor > 0 ? pixels / 1e6 / bestProcessor : 0.0);

        AcsFile file = original;
        const Character character = file.ToCharacter();
        const Clock::time_point start = Clock::now();
        const std::vector<std::uint8_t> written = WriteAcs(character);
        const double writeSeconds = SecondsSince(start);
        std::printf("write:           %.3f ms, %.1f MB/s of pixels, file %zu bytes (%.1f%% of the raw pixels)\n",
                    writeSeconds * 1e3, pixels / 1e6 / writeSeconds, written.size(),
                    pixels ? 100.0 * written.size() / pixels : 0.0);
    } catch (const AcsError& e) {
        std::fprintf(stderr, "%s: malformed character file: %s\n", path, e.what());
        return 1;
    }
    return 0;
}

}  // namespace
