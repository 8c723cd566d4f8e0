// Every file of the malformed corpus (tests/data/acs-malformed) is rejected with an error that
// says what is wrong, and the valid file they were made from reads.
#include "acs_corpus/hand_made_file.h"
#include "acs_corpus/malformed_corpus.h"

#include "stage/acs/acs_error.h"
#include "stage/acs/acs_reader.h"

#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

using namespace zinna::acs;

namespace {

const std::filesystem::path kCorpusDir = std::filesystem::path(ZINNA_TEST_DATA_DIR) / "acs-malformed";

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    REQUIRE_MESSAGE(in.good(), "missing " << path.string() << ": run acs-make-corpus tests/data/acs-malformed");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST_CASE("the valid files of the corpus read") {
    CHECK(ReadAcs(ReadFile(kCorpusDir / "mini.acs")) == corpus::MiniCharacter());
    const std::vector<std::uint8_t> handMade = ReadFile(kCorpusDir / "hand-made-raw.acs");
    CHECK(handMade == corpus::HandMadeFile().Assemble());
    CHECK(ReadAcs(handMade).images[0].pixels == std::vector<std::uint8_t>{6, 7, 8, 9, 10, 1, 2, 3, 4, 5});
}

TEST_CASE("every malformed file is rejected with a clear error") {
    for (const corpus::MalformedFile& expected : corpus::MalformedFiles()) {
        CAPTURE(expected.fileName);
        const std::vector<std::uint8_t> bytes = ReadFile(kCorpusDir / expected.fileName);
        // The committed file is the one the corpus describes (regenerate with acs-make-corpus).
        CHECK(bytes == expected.bytes);
        std::string error;
        try {
            ReadAcs(bytes);
        } catch (const AcsError& e) {
            error = e.what();
        }
        CAPTURE(error);
        CHECK(error.find(expected.expectedError) != std::string::npos);
        CHECK(error.find("at offset 0x") != std::string::npos);
    }
}

TEST_CASE("the corpus directory holds exactly the described files") {
    std::set<std::string> described = {"mini.acs", "hand-made-raw.acs"};
    for (const corpus::MalformedFile& file : corpus::MalformedFiles()) described.insert(file.fileName);
    std::set<std::string> present;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpusDir))
        present.insert(entry.path().filename().string());
    CHECK(present == described);
}
