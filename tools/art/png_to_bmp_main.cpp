// zinna-png-to-bmp IN.png OUT.bmp   converts a picture to a 24-bit Windows bitmap.
#include "bmp_writer.h"
#include "png_reader.h"

#include <cstdio>
#include <stdexcept>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: zinna-png-to-bmp IN.png OUT.bmp\n");
        return 2;
    }
    try {
        zinna::art::WriteBmp24(zinna::art::ReadPngRgba(argv[1]), argv[2]);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zinna-png-to-bmp: %s\n", e.what());
        return 1;
    }
}
