// Writes the test character (every animation the program plays) to the path given, for runs of
// zinna.exe by hand or by the figures script.
#include "host_test_character.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_test_character PATH\n");
        return 2;
    }
    zinna::testing::WriteProgramTestCharacter(argv[1]);
    return 0;
}
