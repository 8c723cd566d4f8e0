// acs-sample [--benchmark COUNT SIDE | --large] OUT.acs: writes the synthetic sample character (or
// one of COUNT images of SIDE × SIDE pixels, or the large drawn character, for the benchmark)
// through the character file writer.
#include "cli/command_line.h"
#include "stage/acs/acs_writer.h"
#include "stage/acs/sample_character.h"

#include <cstdio>
#include <exception>
#include <optional>

namespace {

const zinna::cli::ToolSpec kTool{
    "acs-sample",
    "usage: acs-sample [--benchmark COUNT SIDE | --large] OUT.acs\n"
    "  writes the synthetic sample character to OUT.acs\n"
    "  --benchmark COUNT SIDE  a character of COUNT images of SIDE x SIDE pixels instead\n"
    "  --large                 600 drawn frames of 128 x 128 (about 10 MB of pixels) instead\n"
    "  --help                  this text\n"
    "  --version               the version\n",
    {{"--benchmark", 2}, {"--large", 0}},
    1,
    1};

}  // namespace

int main(int argc, char** argv) {
    return zinna::cli::RunTool(kTool, argc, argv, [](const zinna::cli::CommandLine& line) {
        std::optional<zinna::acs::Character> character;
        if (line.Find("--benchmark") && line.Find("--large"))
            throw zinna::cli::UsageError("--benchmark and --large: one or the other");
        if (line.Find("--large")) {
            character = zinna::acs::MakeLargeCharacter();
        } else if (const zinna::cli::ParsedOption* benchmark = line.Find("--benchmark")) {
            const long long count = zinna::cli::WholeNumber(benchmark->values[0], "--benchmark COUNT");
            const long long side = zinna::cli::WholeNumber(benchmark->values[1], "--benchmark SIDE");
            if (count < 1 || count > 100000 || side < 1 || side > 4096)
                throw zinna::cli::UsageError("--benchmark: COUNT 1 to 100000, SIDE 1 to 4096");
            character = zinna::acs::MakeBenchmarkCharacter(static_cast<int>(count), static_cast<int>(side));
        } else {
            character = zinna::acs::MakeSampleCharacter();
        }
        try {
            zinna::acs::WriteAcsFile(*character, line.operands[0]);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "acs-sample: %s\n", e.what());
            return 1;
        }
        return 0;
    });
}
