// acs-sample OUT.acs [--benchmark COUNT SIDE]: writes the synthetic sample character (or one of
// COUNT images of SIDE × SIDE pixels for the benchmark) through the character file writer.
#include "stage/acs/acs_writer.h"
#include "stage/acs/sample_character.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string_view>

int main(int argc, char** argv) {
    const bool benchmark = argc == 5 && std::string_view(argv[2]) == "--benchmark";
    if (argc != 2 && !benchmark) {
        std::fprintf(stderr, "usage: acs-sample OUT.acs [--benchmark COUNT SIDE]\n");
        return 2;
    }
    try {
        const zinna::acs::Character character =
            benchmark ? zinna::acs::MakeBenchmarkCharacter(std::atoi(argv[3]), std::atoi(argv[4]))
                      : zinna::acs::MakeSampleCharacter();
        zinna::acs::WriteAcsFile(character, argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "acs-sample: %s\n", e.what());
        return 1;
    }
    return 0;
}
