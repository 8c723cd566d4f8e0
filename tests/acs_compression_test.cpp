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

namespace {

// The decoder as plainly as it can be written: one bit at a time, one byte at a time. The real
// decoder takes whole tokens from a 64-bit buffer and copies with memcpy; both must give the same
// bytes, and fail with the same fault at the same offset.
struct PlainOutcome {
    Bytes bytes;
    std::string fault;  // empty when the block decoded
    std::uint64_t offset = 0;
    bool operator==(const PlainOutcome&) const = default;
};

// What doctest prints of an outcome that differs.
std::string Describe(const PlainOutcome& outcome) {
    if (!outcome.fault.empty()) return outcome.fault + " at " + std::to_string(outcome.offset);
    std::uint32_t hash = 2166136261u;
    for (std::uint8_t b : outcome.bytes) hash = (hash ^ b) * 16777619u;
    return std::to_string(outcome.bytes.size()) + " bytes, hash " + std::to_string(hash);
}

PlainOutcome PlainDecode(const Bytes& block, std::size_t size) {
    PlainOutcome result;
    std::size_t bit = 8;  // block byte 0 is not part of the stream
    const auto fail = [&](const char* fault) {
        result.fault = fault;
        result.offset = bit / 8;
        result.bytes.clear();
        return result;
    };
    // A declared size no block of this length could reach is refused before decoding.
    if (size > MaxDecodedSize(block.size())) {
        result.fault = "cannot decode to";
        return result;
    }
    const auto take = [&](int n, std::uint32_t& value) {
        if (bit + n > block.size() * 8) return false;
        value = 0;
        for (int i = 0; i < n; ++i, ++bit) value |= ((block[bit / 8] >> (bit % 8)) & 1u) << i;
        return true;
    };
    static constexpr int kFieldBits[4] = {6, 9, 12, 20};
    static constexpr std::uint32_t kBase[4] = {1, 65, 577, 4673};
    for (;;) {
        std::uint32_t b = 0;
        if (!take(1, b)) return fail("ends before its end marker");
        if (b == 0) {
            std::uint32_t literal = 0;
            if (!take(8, literal)) return fail("ends before its end marker");
            if (result.bytes.size() == size) return fail("writes past");
            result.bytes.push_back(static_cast<std::uint8_t>(literal));
            continue;
        }
        int tier = 0;
        while (tier < 3) {
            if (!take(1, b)) return fail("ends before its end marker");
            if (b == 0) break;
            ++tier;
        }
        std::uint32_t field = 0;
        if (!take(kFieldBits[tier], field)) return fail("ends before its end marker");
        if (tier == 3 && field == 0xFFFFF) break;
        int k = 0;
        for (;;) {
            if (!take(1, b)) return fail("ends before its end marker");
            if (b == 0) break;
            if (++k > 11) return fail("more than eleven 1-bits");
        }
        std::uint32_t v = 0;
        if (k > 0 && !take(k, v)) return fail("ends before its end marker");
        const std::size_t length = (tier == 3 ? 3 : 2) + ((1u << k) - 1) + v;
        const std::size_t distance = field + kBase[tier];
        if (distance > result.bytes.size()) return fail("bytes back with only");
        if (length > size - result.bytes.size()) return fail("writes past");
        for (std::size_t i = 0; i < length; ++i) result.bytes.push_back(result.bytes[result.bytes.size() - distance]);
    }
    if (result.bytes.size() != size) return fail("ends after");
    return result;
}

PlainOutcome RealDecode(const Bytes& block, std::size_t size) {
    PlainOutcome result;
    try {
        result.bytes = Decompress(block, size, 0);
    } catch (const AcsError& e) {
        const std::string what = e.what();
        for (const char* fault : {"cannot decode to", "ends before its end marker", "writes past",
                                  "more than eleven 1-bits", "bytes back with only", "ends after"})
            if (what.find(fault) != std::string::npos) result.fault = fault;
        if (result.fault.empty()) result.fault = what;
        result.offset = e.Offset();
    }
    return result;
}

// A stream of random tokens that stress the decoder's branches: literals in long and short
// runs, every tier, overlapping copies of short distances, non-overlapping copies, length
// prefixes from 0 to 11 bits. Returns the block and its decoded size.
std::pair<Bytes, std::size_t> RandomTokens(std::uint32_t seed, int tokens) {
    std::uint32_t state = seed;
    const auto next = [&](std::uint32_t below) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % below;
    };
    static constexpr int kFieldBits[4] = {6, 9, 12, 20};
    static constexpr std::uint32_t kBase[4] = {1, 65, 577, 4673};
    BitString bits;
    std::size_t size = 0;
    for (int t = 0; t < tokens; ++t) {
        const std::uint32_t kind = next(10);
        if (size == 0 || kind < 4) {
            bits.Literal(static_cast<std::uint8_t>(next(256)));
            ++size;
            continue;
        }
        // Short distances (overlapping copies) half the time, anywhere in reach otherwise.
        std::size_t distance = kind < 7 ? 1 + next(std::min<std::size_t>(size, 9))
                                        : 1 + next(static_cast<std::uint32_t>(std::min<std::size_t>(size, 70000)));
        int tier = 0;
        while (tier < 3 && distance >= kBase[tier + 1]) ++tier;
        if (tier == 3 && distance - kBase[3] == 0xFFFFF) distance -= 1;  // not the end marker
        const int k = static_cast<int>(next(100) < 70 ? next(4) : next(12));
        const std::uint32_t v = k == 0 ? 0 : next(1u << k);
        bits.Put(1, 1);
        bits.Put((1u << tier) - 1, tier);
        if (tier < 3) bits.Put(0, 1);
        bits.Put(static_cast<std::uint32_t>(distance - kBase[tier]), kFieldBits[tier]);
        bits.Put((1u << k) - 1, k);
        bits.Put(0, 1);
        if (k > 0) bits.Put(v, k);
        size += (tier == 3 ? 3 : 2) + ((1u << k) - 1) + v;
    }
    bits.EndMarker();
    return {bits.bytes, size};
}

}  // namespace

TEST_CASE("the decoder agrees with a bit-by-bit reading on random token streams") {
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        CAPTURE(seed);
        auto [block, size] = RandomTokens(seed, 1 + static_cast<int>(seed % 97) * 3);
        const PlainOutcome plain = PlainDecode(block, size);
        REQUIRE(plain.fault.empty());
        CHECK(Describe(RealDecode(block, size)) == Describe(plain));
        // The encoder's trailer (1-bit padding, three 0xFF bytes) changes nothing.
        block.insert(block.end(), {0xFF, 0xFF, 0xFF});
        CHECK(Describe(RealDecode(block, size)) == Describe(plain));
    }
}

TEST_CASE("the decoder fails like a bit-by-bit reading on damaged streams") {
    // Each damage, on streams of several lengths, so that the fault falls both where whole
    // tokens are read from the 64-bit buffer and in the stream's last bytes.
    const std::vector<std::pair<const char*, void (*)(Bytes&, std::size_t&, std::uint32_t)>> damages = {
        {"cut short", [](Bytes& b, std::size_t&, std::uint32_t r) { b.resize(1 + r % (b.size() - 1)); }},
        {"one bit flipped", [](Bytes& b, std::size_t&, std::uint32_t r) { b[1 + r % (b.size() - 1)] ^= 1 << (r % 8); }},
        {"one byte replaced", [](Bytes& b, std::size_t&,
                                 std::uint32_t r) { b[1 + r % (b.size() - 1)] = static_cast<std::uint8_t>(r >> 8); }},
        {"declared size one short", [](Bytes&, std::size_t& size, std::uint32_t) { size -= size > 0 ? 1 : 0; }},
        {"declared size one long", [](Bytes&, std::size_t& size, std::uint32_t) { ++size; }},
        {"a run of 1-bits from a random byte on",
         [](Bytes& b, std::size_t&, std::uint32_t r) {
             for (std::size_t i = 1 + r % (b.size() - 1); i < b.size(); ++i) b[i] = 0xFF;
         }},
    };
    int failures = 0;
    for (const auto& [name, damage] : damages)
        for (std::uint32_t seed = 1; seed <= 150; ++seed) {
            const std::string damageName = name;
            CAPTURE(damageName);
            CAPTURE(seed);
            auto [block, size] = RandomTokens(seed * 7919, 1 + static_cast<int>(seed % 41) * 2);
            damage(block, size, seed * 2654435761u);
            const PlainOutcome plain = PlainDecode(block, size);
            failures += plain.fault.empty() ? 0 : 1;
            CHECK(Describe(RealDecode(block, size)) == Describe(plain));
        }
    // Most damages break the stream; the comparison above covers the fault and its offset.
    CHECK(failures > 500);
}
