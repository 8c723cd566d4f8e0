#include "stage/acs/compression.h"

#include "stage/acs/acs_error.h"

#include <algorithm>
#include <bit>
#include <cstring>
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

namespace {

// Where the decoder is: the bits loaded and not yet taken (next bit lowest), how many of them
// are the stream's, how many stream bytes have been loaded, and how many bytes are written. A
// plain value, so that the decoding loop keeps it in registers.
struct DecodeState {
    std::uint64_t buffer = 0;
    int count = 0;
    std::size_t next = 0;
    std::size_t written = 0;

    void Skip(int n) {
        buffer >>= n;
        count -= n;
    }
    // The stream byte that holds the next unread bit. Counted from bits taken, so that an error
    // names the same byte however the buffer was filled.
    std::size_t BytePosition() const { return next - static_cast<std::size_t>(count + 7) / 8; }
};

// The longest token: a tier-3 reference (1 + 3 + 20 bits), a length prefix of eleven 1-bits and
// its 0, then eleven bits of length. A malformed prefix gives up after its twelfth 1-bit.
constexpr int kTokenBits = 1 + 3 + 20 + 12 + 11;

// Fills the buffer to 56 bits or more with one 8-byte load; needs 8 stream bytes from s.next.
// The bits past s.count that an earlier load left in the buffer are the same stream bytes at the
// same places, so OR-ing them in again changes nothing.
inline void RefillWord(DecodeState& s, const std::uint8_t* stream) {
    std::uint64_t word = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&word, stream + s.next, 8);
    } else {
        for (int i = 7; i >= 0; --i) word = (word << 8) | stream[s.next + i];
    }
    s.buffer |= word << s.count;
    s.next += static_cast<std::size_t>(63 - s.count) >> 3;
    s.count |= 56;
}

// Fills the buffer byte by byte from the stream's last bytes.
void RefillBytes(DecodeState& s, std::span<const std::uint8_t> stream) {
    while (s.count <= 56 && s.next < stream.size()) {
        s.buffer |= std::uint64_t{stream[s.next++]} << s.count;
        s.count += 8;
    }
}

// The faults, out of the decoding loop's way.
[[noreturn, gnu::cold, gnu::noinline]] void FailTruncated(std::uint64_t at) {
    throw AcsError("compressed stream ends before its end marker", at);
}
[[noreturn, gnu::cold, gnu::noinline]] void FailPastSize(std::size_t size, std::uint64_t at) {
    throw AcsError("compressed stream writes past its declared size of " + std::to_string(size), at);
}
[[noreturn, gnu::cold, gnu::noinline]] void FailLongPrefix(std::uint64_t at) {
    throw AcsError("compressed stream has a length prefix of more than eleven 1-bits", at);
}
[[noreturn, gnu::cold, gnu::noinline]] void FailBeforeStart(std::size_t distance, std::size_t written,
                                                            std::uint64_t at) {
    throw AcsError("compressed stream refers " + std::to_string(distance) + " bytes back with only " +
                       std::to_string(written) + " written",
                   at);
}

// Bytes past the declared size that the decoder may scribble on: copies go in whole 8- or
// 16-byte chunks, so the last chunk of a copy may reach up to 15 bytes past its end.
constexpr std::size_t kCopySlack = 16;

// Copies length bytes from distance back; the source may overlap the bytes being written, which
// repeats the last distance bytes. Needs kCopySlack writable bytes past target + length.
inline void CopyBack(std::uint8_t* target, std::size_t distance, std::size_t length) {
    const std::uint8_t* source = target - distance;
    if (distance >= 16) {
        // Each chunk's source ends before the chunk starts, so it has been written already.
        for (std::size_t i = 0; i < length; i += 16) std::memcpy(target + i, source + i, 16);
    } else if (distance == 1) {
        if (length <= 16) {
            // A short run: two stores of the byte repeated, rather than a call.
            const std::uint64_t run = *source * std::uint64_t{0x0101010101010101};
            std::memcpy(target, &run, 8);
            std::memcpy(target + 8, &run, 8);
        } else {
            std::memset(target, *source, length);
        }
    } else if (distance >= 8) {
        for (std::size_t i = 0; i < length; i += 8) std::memcpy(target + i, source + i, 8);
    } else {
        for (std::size_t i = 0; i < length; ++i) target[i] = source[i];
    }
}

// Decodes one token into out (which has kCopySlack bytes past size), field by field, checking
// that each is there; false at the end marker. For a stream's last bits, where a token may be cut
// short: decoding then stops where a reader taking the fields one by one stops. It has taken
// every bit of a run of 1-bits that the stream ends in (the tier and the length prefix are read
// bit by bit), and none of a fixed-width field that does not fit.
bool DecodeCheckedToken(DecodeState& s, std::uint8_t* out, std::size_t size, std::uint64_t blockOffset) {
    const auto at = [&] { return blockOffset + 1 + s.BytePosition(); };
    const auto need = [&](int n, bool bitByBit) {
        if (s.count >= n) return;
        if (bitByBit) s.Skip(s.count);
        FailTruncated(at());
    };

    std::uint64_t v = s.buffer;
    need(1, false);
    if ((v & 1) == 0) {
        s.Skip(1);
        need(8, false);
        s.Skip(8);
        if (s.written == size) FailPastSize(size, at());
        out[s.written++] = static_cast<std::uint8_t>(v >> 1);
        return true;
    }
    // The tier: up to three 1-bits after the leading 1, ended by a 0 unless there are three.
    const int tier = std::countr_one(static_cast<unsigned>((v >> 1) & 7));
    const int head = tier < 3 ? tier + 2 : 4;
    s.Skip(1);
    need(head - 1, true);
    s.Skip(head - 1);
    v >>= head;
    const int fieldBits = kTiers[tier].fieldBits;
    need(fieldBits, false);
    s.Skip(fieldBits);
    const auto field = static_cast<std::uint32_t>(v & ((1u << fieldBits) - 1));
    v >>= fieldBits;
    if (tier == 3 && field == kEndMarkerField) return false;
    const std::size_t distance = field + kTiers[tier].base;

    // The length: k 1-bits and a 0, then k bits.
    const int prefix = std::countr_one(static_cast<unsigned>(v & 0xFFF));
    if (prefix > kMaxLengthPrefix) {
        s.Skip(kMaxLengthPrefix + 1);
        FailLongPrefix(at());
    }
    need(prefix + 1, true);
    s.Skip(prefix + 1);
    need(prefix, false);
    s.Skip(prefix);
    const auto extra = static_cast<std::uint32_t>((v >> (prefix + 1)) & ((1u << prefix) - 1));
    const std::size_t length = kTiers[tier].minLength + ((1u << prefix) - 1) + extra;

    if (distance > s.written) FailBeforeStart(distance, s.written, at());
    if (length > size - s.written) FailPastSize(size, at());
    CopyBack(out + s.written, distance, length);
    s.written += length;
    return true;
}

// DecodeCheckedToken for a token known to be whole in the buffer (kTokenBits bits or more), taken
// apart for speed: every field is read from the bits the token started with and the token's bits
// are skipped at once, so each token waits for one shift of the buffer rather than five, and no
// field is checked for length.
[[gnu::always_inline]] inline bool DecodeWholeToken(DecodeState& s, std::uint8_t* out, std::size_t size,
                                                    std::uint64_t blockOffset) {
    const std::uint64_t v = s.buffer;
    if ((v & 1) == 0) {
        s.Skip(9);
        if (s.written == size) FailPastSize(size, blockOffset + 1 + s.BytePosition());
        out[s.written++] = static_cast<std::uint8_t>(v >> 1);
        return true;
    }
    const int tier = std::countr_one(static_cast<unsigned>((v >> 1) & 7));
    const int head = tier < 3 ? tier + 2 : 4;
    const int fieldBits = kTiers[tier].fieldBits;
    const auto field = static_cast<std::uint32_t>((v >> head) & ((1u << fieldBits) - 1));
    const int lengthAt = head + fieldBits;
    if (tier == 3 && field == kEndMarkerField) {
        s.Skip(lengthAt);
        return false;
    }
    const int prefix = std::countr_one(static_cast<unsigned>((v >> lengthAt) & 0xFFF));
    if (prefix > kMaxLengthPrefix) {
        s.Skip(lengthAt + kMaxLengthPrefix + 1);
        FailLongPrefix(blockOffset + 1 + s.BytePosition());
    }
    const auto extra = static_cast<std::uint32_t>((v >> (lengthAt + prefix + 1)) & ((1u << prefix) - 1));
    s.Skip(lengthAt + 2 * prefix + 1);
    const std::size_t distance = field + kTiers[tier].base;
    const std::size_t length = kTiers[tier].minLength + ((1u << prefix) - 1) + extra;
    if (distance > s.written) FailBeforeStart(distance, s.written, blockOffset + 1 + s.BytePosition());
    if (length > size - s.written) FailPastSize(size, blockOffset + 1 + s.BytePosition());
    CopyBack(out + s.written, distance, length);
    s.written += length;
    return true;
}

// Decodes from the stream's last bytes on, where a token may be cut short; returns where the
// end marker left the decoder.
[[gnu::noinline]] DecodeState DecodeTail(std::uint64_t buffer, int count, std::size_t next, std::size_t written,
                                         std::span<const std::uint8_t> stream, std::uint8_t* out, std::size_t size,
                                         std::uint64_t blockOffset) {
    DecodeState s{buffer, count, next, written};
    for (;;) {
        RefillBytes(s, stream);
        if (!DecodeCheckedToken(s, out, size, blockOffset)) return s;
    }
}

}  // namespace

std::vector<std::uint8_t> Decompress(std::span<const std::uint8_t> block, std::size_t decodedSize,
                                     std::uint64_t blockOffset) {
    if (block.empty()) throw AcsError("compressed block is empty", blockOffset);
    if (block[0] != 0) throw AcsError("compressed block does not start with a 0 byte", blockOffset);
    if (decodedSize > MaxDecodedSize(block.size()))
        throw AcsError("compressed block of " + std::to_string(block.size()) + " bytes cannot decode to the " +
                           std::to_string(decodedSize) + " bytes declared",
                       blockOffset);

    std::vector<std::uint8_t> out(decodedSize + kCopySlack);
    // Taken once: the loop's byte stores could otherwise be the vector's own pointer, reloaded.
    std::uint8_t* const output = out.data();
    const std::span<const std::uint8_t> stream = block.subspan(1);
    DecodeState s;
    bool ended = false;
    // While eight stream bytes are left, every token is whole in the buffer after one load.
    while (!ended) {
        if (s.count < kTokenBits) {
            if (s.next + 8 > stream.size()) break;
            RefillWord(s, stream.data());
        }
        ended = !DecodeWholeToken(s, output, decodedSize, blockOffset);
    }
    // s goes to the tail by its fields, and nothing is copied into it: its address is never
    // taken, so the loop above keeps it in registers.
    std::size_t written = s.written;
    std::size_t position = s.BytePosition();
    if (!ended) {
        const DecodeState end =
            DecodeTail(s.buffer, s.count, s.next, s.written, stream, output, decodedSize, blockOffset);
        written = end.written;
        position = end.BytePosition();
    }
    if (written != decodedSize)
        throw AcsError("compressed stream ends after " + std::to_string(written) + " of its declared " +
                           std::to_string(decodedSize) + " bytes",
                       blockOffset + 1 + position);
    out.resize(decodedSize);
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
