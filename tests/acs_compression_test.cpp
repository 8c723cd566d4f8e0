// The bit-stream compression: the documented example, exact round trips across every distance
// tier and length, and a decoder that stops cleanly on every kind of broken stream.
#include "stage/acs/acs_error.h"
#include "stage/acs/compression.h"

#include <doctest/doctest.h>

#include <string>

using namespace zinna::acs;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string DecodeErrorOf(const Bytes& block, std::size_t size) {
    try {
        Decompress(block, size, 0x100);
    } catch (const AcsError& e) {
        return e.what();
    }
    return "";
}

// Bits written least-significant first, for hand-made streams.
struct BitString {
    Bytes bytes{0};
    int used = 8;
    void Put(std::uint32_t value, int n) {
        for (int i = 0; i < n; ++i) {
            if (used == 8) bytes.push_back(0), used = 0;
            if ((value >> i) & 1) bytes.back() |= static_cast<std::uint8_t>(1 << used);
            ++used;
        }
    }
    void Literal(std::uint8_t byte) { Put(0, 1), Put(byte, 8); }
    void EndMarker() { Put(1, 1), Put(7, 3), Put(0xFFFFF, 20); }
};

Bytes Pseudorandom(std::size_t size, std::uint32_t seed, int alphabet) {
    Bytes data(size);
    for (std::uint8_t& byte : data) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>((seed >> 16) % alphabet);
    }
    return data;
}

}  // namespace

TEST_CASE("the documented example block decodes to ABABABAB") {
    const Bytes block = {0x00, 0x82, 0x08, 0x15, 0xAC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const Bytes decoded = Decompress(block, 8, 0);
    CHECK(std::string(decoded.begin(), decoded.end()) == "ABABABAB");
}

TEST_CASE("compression ends like the old encoder: marker, 1-bit padding, three 0xFF bytes") {
    const Bytes empty = Compress({});
    CHECK(empty == Bytes{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    const Bytes text = {'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B'};
    // The example's tokens are the shortest encoding, so the encoder produces it exactly.
    CHECK(Compress(text) == Bytes{0x00, 0x82, 0x08, 0x15, 0xAC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
}

TEST_CASE("compression round-trips data of every kind") {
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"one byte", Bytes{7}},
        {"two equal bytes", Bytes{7, 7}},
        {"all byte values",
         [] {
             Bytes b;
             for (int i = 0; i < 256; ++i) b.push_back(static_cast<std::uint8_t>(i));
             return b;
         }()},
        {"a long run (longest lengths)", Bytes(20000, 0x55)},
        {"noise", Pseudorandom(5000, 1, 256)},
        {"few symbols", Pseudorandom(30000, 2, 3)},
    };
    for (const auto& testCase : cases) {
        const char* name = testCase.first;
        const Bytes& data = testCase.second;
        CAPTURE(name);
        CHECK(Decompress(Compress(data), data.size(), 0) == data);
    }
}

TEST_CASE("back-references of every distance tier round-trip") {
    // A random block, a run of zeros, and the block again, so that the repeat lies exactly
    // `distance` back: each tier, its boundaries and the farthest distance there is.
    for (std::size_t distance : {2u, 64u, 65u, 576u, 577u, 4672u, 4673u, 70000u, 1053247u}) {
        CAPTURE(distance);
        const std::size_t blockSize = std::min<std::size_t>(distance, 300);
        const Bytes block = Pseudorandom(blockSize, static_cast<std::uint32_t>(distance), 256);
        Bytes data = block;
        data.resize(distance, 0);
        const std::size_t withoutRepeat = Compress(data).size();
        data.insert(data.end(), block.begin(), block.end());
        const Bytes compressed = Compress(data);
        CHECK(Decompress(compressed, data.size(), 0) == data);
        // The repeat is one back-reference, far cheaper than its literals (9 bits each).
        if (distance >= 300) CHECK(compressed.size() < withoutRepeat + 20);
    }
}

TEST_CASE("the largest possible decoded size bounds what a block can declare") {
    const Bytes zeros(100000, 0);
    const Bytes block = Compress(zeros);
    CHECK(MaxDecodedSize(block.size()) >= zeros.size());
    CHECK(MaxDecodedSize(1) == 0);
    CHECK(DecodeErrorOf(block, MaxDecodedSize(block.size()) + 1).find("cannot decode to") != std::string::npos);
}

TEST_CASE("broken streams are rejected with what is wrong and where") {
    SUBCASE("first byte not zero") {
        CHECK(DecodeErrorOf({0x01, 0xFF, 0xFF, 0xFF}, 0).find("does not start with a 0 byte (at offset 0x100)") !=
              std::string::npos);
    }
    SUBCASE("stream ends before its end marker") {
        Bytes block = Compress(Bytes(50, 3));
        block.resize(block.size() - 6);
        CHECK(DecodeErrorOf(block, 50).find("ends before its end marker") != std::string::npos);
    }
    SUBCASE("reference before the start of the output") {
        BitString bits;
        bits.Literal('A');
        bits.Put(1, 1), bits.Put(0, 1), bits.Put(4, 6), bits.Put(0, 1);  // distance 5, length 2
        bits.EndMarker();
        CHECK(DecodeErrorOf(bits.bytes, 3).find("refers 5 bytes back with only 1 written") != std::string::npos);
    }
    SUBCASE("a match that would write past the declared size") {
        const Bytes block = Compress(Bytes(1000, 9));
        CHECK(DecodeErrorOf(block, 999).find("writes past its declared size of 999") != std::string::npos);
    }
    SUBCASE("a literal that would write past the declared size") {
        CHECK(DecodeErrorOf(Compress(Bytes{1, 2, 3}), 2).find("writes past its declared size") != std::string::npos);
    }
    SUBCASE("length prefix of twelve 1-bits") {
        BitString bits;
        bits.Literal('A');
        bits.Put(1, 1), bits.Put(0, 1), bits.Put(0, 6), bits.Put(0xFFF, 12);
        bits.Put(0, 1);
        bits.EndMarker();
        CHECK(DecodeErrorOf(bits.bytes, 5000).find("more than eleven 1-bits") != std::string::npos);
    }
    SUBCASE("end marker before the declared size is reached") {
        CHECK(DecodeErrorOf(Compress(Bytes{1, 2, 3}), 4).find("ends after 3 of its declared 4 bytes") !=
              std::string::npos);
    }
    SUBCASE("an empty block") { CHECK(DecodeErrorOf({}, 0).find("empty") != std::string::npos); }
}
