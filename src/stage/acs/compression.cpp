#include "stage/acs/compression.h"

#include "stage/acs/acs_error.h"

#include <algorithm>
#include <string>

namespace zinna::acs {

namespace {

// A back-reference's distance comes in four tiers; the tier is the number of 1-bits (up to
// three) after the token's leading 1.
struct DistanceTier {
    int fieldBits;
    std::uint32_t base;
    std::uint32_t minLength;
};
constexpr DistanceTier kTiers[4] = {{6, 1, 2}, {9, 65, 2}, {12, 577, 2}, {20, 4673, 3}};
constexpr std::uint32_t kEndMarkerField = 0xFFFFF;
constexpr int kMaxLengthPrefix = 11;
constexpr std::uint32_t kMaxLengthExtra = (1u << (kMaxLengthPrefix + 1)) - 2;  // 4094
constexpr std::uint32_t kMaxDistance = kTiers[3].base + kEndMarkerField - 1;

// Bits from the stream, least-significant bit of each byte first.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> stream) : stream_(stream) {}

    // Reads n (≤ 24) bits, first bit read as bit 0. False when the stream has fewer left.
    bool Read(int n, std::uint32_t& value) {
        if (count_ < n) Refill();
        if (count_ < n) return false;
        value = static_cast<std::uint32_t>(buffer_ & ((std::uint64_t{1} << n) - 1));
        buffer_ >>= n;
        count_ -= n;
        return true;
    }

    // Index of the byte that holds the next unread bit.
    std::size_t BytePosition() const { return next_ - static_cast<std::size_t>(count_ + 7) / 8; }

private:
    void Refill() {
        while (count_ <= 56 && next_ < stream_.size()) {
            buffer_ |= std::uint64_t{stream_[next_++]} << count_;
            count_ += 8;
        }
    }

    std::span<const std::uint8_t> stream_;
    std::size_t next_ = 0;
    std::uint64_t buffer_ = 0;
    int count_ = 0;
};

class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    void Write(std::uint32_t value, int n) {
        buffer_ |= std::uint64_t{value} << count_;
        count_ += n;
        while (count_ >= 8) {
            out_.push_back(static_cast<std::uint8_t>(buffer_));
            buffer_ >>= 8;
            count_ -= 8;
        }
    }

    // Fills the current byte with 1-bits, as the old encoder did.
    void PadWithOnes() {
        if (count_ > 0) Write((1u << (8 - count_)) - 1, 8 - count_);
    }

private:
    std::vector<std::uint8_t>& out_;
    std::uint64_t buffer_ = 0;
    int count_ = 0;
};

int TierOf(std::uint32_t distance) {
    for (int t = 0; t < 3; ++t)
        if (distance < kTiers[t + 1].base) return t;
    return 3;
}

std::uint32_t MaxLengthAt(std::uint32_t distance) { return kTiers[TierOf(distance)].minLength + kMaxLengthExtra; }

}  // namespace

std::uint64_t MaxDecodedSize(std::uint64_t blockSize) {
    if (blockSize <= 1) return 0;
    // The densest token is a tier-0 match of the longest length: 31 bits for 4096 bytes.
    const std::uint64_t bits = (blockSize - 1) * 8;
    return (bits / 31 + 1) * (kTiers[0].minLength + kMaxLengthExtra);
}

std::vector<std::uint8_t> Decompress(std::span<const std::uint8_t> block, std::size_t decodedSize,
                                     std::uint64_t blockOffset) {
    if (block.empty()) throw AcsError("compressed block is empty", blockOffset);
    if (block[0] != 0) throw AcsError("compressed block does not start with a 0 byte", blockOffset);
    if (decodedSize > MaxDecodedSize(block.size()))
        throw AcsError("compressed block of " + std::to_string(block.size()) + " bytes cannot decode to the " +
                           std::to_string(decodedSize) + " bytes declared",
                       blockOffset);

    std::vector<std::uint8_t> out(decodedSize);
    std::size_t written = 0;
    BitReader bits(block.subspan(1));
    auto where = [&] { return blockOffset + 1 + bits.BytePosition(); };
    auto read = [&](int n) {
        std::uint32_t value = 0;
        if (!bits.Read(n, value)) throw AcsError("compressed stream ends before its end marker", where());
        return value;
    };

    for (;;) {
        if (read(1) == 0) {
            const std::uint32_t literal = read(8);
            if (written == decodedSize)
                throw AcsError("compressed stream writes past its declared size of " + std::to_string(decodedSize),
                               where());
            out[written++] = static_cast<std::uint8_t>(literal);
            continue;
        }
        int tier = 0;
        while (tier < 3 && read(1) == 1) ++tier;
        const std::uint32_t field = read(kTiers[tier].fieldBits);
        if (tier == 3 && field == kEndMarkerField) break;
        const std::uint32_t distance = field + kTiers[tier].base;

        int prefix = 0;
        while (read(1) == 1)
            if (++prefix > kMaxLengthPrefix)
                throw AcsError("compressed stream has a length prefix of more than eleven 1-bits", where());
        const std::uint32_t extra = prefix == 0 ? 0 : read(prefix);
        const std::size_t length = kTiers[tier].minLength + ((1u << prefix) - 1) + extra;

        if (distance > written)
            throw AcsError("compressed stream refers " + std::to_string(distance) + " bytes back with only " +
                               std::to_string(written) + " written",
                           where());
        if (length > decodedSize - written)
            throw AcsError("compressed stream writes past its declared size of " + std::to_string(decodedSize),
                           where());
        // Byte by byte: the source may overlap the bytes being written.
        std::uint8_t* target = out.data() + written;
        const std::uint8_t* source = target - distance;
        for (std::size_t i = 0; i < length; ++i) target[i] = source[i];
        written += length;
    }
    if (written != decodedSize)
        throw AcsError("compressed stream ends after " + std::to_string(written) + " of its declared " +
                           std::to_string(decodedSize) + " bytes",
                       where());
    return out;
}

namespace {

// Finds back-references with hash chains over 3-byte sequences, plus a short scan for 2-byte
// matches nearby (they still save bits over two literals).
class MatchFinder {
public:
    explicit MatchFinder(std::span<const std::uint8_t> data)
        : data_(data), head_(kHashSize, -1), previous_(data.size(), -1) {}

    void Insert(std::size_t pos) {
        if (pos + 2 >= data_.size()) return;
        const std::uint32_t h = Hash(pos);
        previous_[pos] = head_[h];
        head_[h] = static_cast<std::int32_t>(pos);
    }

    struct Match {
        std::uint32_t length = 0;
        std::uint32_t distance = 0;
    };

    Match Find(std::size_t pos) const {
        Match best;
        const std::size_t available = data_.size() - pos;
        if (available < 2) return best;
        if (available >= 3) {
            std::int32_t candidate = head_[Hash(pos)];
            for (int depth = 0; candidate >= 0 && depth < kMaxChain; ++depth) {
                const auto distance = static_cast<std::uint32_t>(pos - static_cast<std::size_t>(candidate));
                if (distance > kMaxDistance) break;
                const std::size_t limit = std::min<std::size_t>(available, MaxLengthAt(distance));
                if (best.length < limit && data_[candidate + best.length] == data_[pos + best.length]) {
                    std::size_t length = 0;
                    while (length < limit && data_[candidate + length] == data_[pos + length]) ++length;
                    if (length > best.length && length >= kTiers[TierOf(distance)].minLength) {
                        best = {static_cast<std::uint32_t>(length), distance};
                        if (length == limit) break;
                    }
                }
                candidate = previous_[candidate];
            }
        }
        if (best.length < 2) {
            const std::size_t reach = std::min<std::size_t>(pos, kTiers[1].base - 1);
            for (std::size_t distance = 1; distance <= reach; ++distance)
                if (data_[pos - distance] == data_[pos] && data_[pos - distance + 1] == data_[pos + 1])
                    return {2, static_cast<std::uint32_t>(distance)};
        }
        return best;
    }

private:
    static constexpr std::size_t kHashSize = 1 << 16;
    static constexpr int kMaxChain = 48;

    std::uint32_t Hash(std::size_t pos) const {
        const std::uint32_t v = data_[pos] | (data_[pos + 1] << 8) | (data_[pos + 2] << 16);
        return (v * 2654435761u) >> 16;
    }

    std::span<const std::uint8_t> data_;
    std::vector<std::int32_t> head_;
    std::vector<std::int32_t> previous_;
};

void WriteMatch(BitWriter& bits, std::uint32_t length, std::uint32_t distance) {
    const int tier = TierOf(distance);
    bits.Write(1, 1);
    // Tier t: t 1-bits, then a 0 unless t is 3.
    bits.Write((1u << tier) - 1, tier);
    if (tier < 3) bits.Write(0, 1);
    bits.Write(distance - kTiers[tier].base, kTiers[tier].fieldBits);
    const std::uint32_t extra = length - kTiers[tier].minLength;
    int prefix = 0;
    while (extra + 1 >= (2u << prefix)) ++prefix;  // the largest prefix with 2^prefix - 1 <= extra
    bits.Write((1u << prefix) - 1, prefix);
    bits.Write(0, 1);
    if (prefix > 0) bits.Write(extra - ((1u << prefix) - 1), prefix);
}

}  // namespace

std::vector<std::uint8_t> Compress(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> out;
    out.reserve(data.size() / 2 + 16);
    out.push_back(0);
    BitWriter bits(out);
    MatchFinder finder(data);

    std::size_t pos = 0;
    while (pos < data.size()) {
        MatchFinder::Match match = finder.Find(pos);
        if (match.length >= 2 && match.length < 64 && pos + 1 < data.size()) {
            // One step of lazy matching: a longer match at the next byte is worth a literal.
            finder.Insert(pos);
            const MatchFinder::Match next = finder.Find(pos + 1);
            if (next.length > match.length + 1) {
                bits.Write(0, 1);
                bits.Write(data[pos], 8);
                ++pos;
                continue;
            }
        } else {
            finder.Insert(pos);
        }
        if (match.length >= 2) {
            WriteMatch(bits, match.length, match.distance);
            for (std::size_t i = 1; i < match.length; ++i) finder.Insert(pos + i);
            pos += match.length;
        } else {
            bits.Write(0, 1);
            bits.Write(data[pos], 8);
            ++pos;
        }
    }
    // End marker: a tier-3 reference with the largest field.
    bits.Write(1, 1);
    bits.Write(0x7, 3);
    bits.Write(kEndMarkerField, 20);
    bits.PadWithOnes();
    out.insert(out.end(), {0xFF, 0xFF, 0xFF});
    return out;
}

}  // namespace zinna::acs
