// acs-make-corpus DIR: writes the regression corpus of malformed character files into DIR, with
// the valid file they are damaged copies of (mini.acs) and a valid hand-made file with raw pixels
// and regions (hand-made-raw.acs); all of them seed the fuzzer.
#include "hand_made_file.h"
#include "malformed_corpus.h"

#include "stage/acs/acs_writer.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: acs-make-corpus DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    zinna::acs::WriteAcsFile(zinna::acs::corpus::MiniCharacter(), dir / "mini.acs");
    std::vector<zinna::acs::corpus::MalformedFile> files = zinna::acs::corpus::MalformedFiles();
    files.push_back({"hand-made-raw.acs", zinna::acs::corpus::HandMadeFile().Assemble(), ""});
    for (const auto& file : files) {
        std::ofstream out(dir / file.fileName, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(file.bytes.data()), static_cast<std::streamsize>(file.bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", file.fileName.c_str());
            return 1;
        }
    }
    return 0;
}
