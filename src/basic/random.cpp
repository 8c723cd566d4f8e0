#include "basic/random.h"

namespace zinna::basic {

namespace {
constexpr std::uint32_t kModulusMask = (1u << 24) - 1;
}

void BasicRandom::Randomize(std::uint32_t seed) {
    // Fold the whole seed into the 24-bit state so that seeds differing only in high bits differ.
    state_ = (seed ^ (seed >> 24) ^ 0x50000u) & kModulusMask;
}

float BasicRandom::Rnd() {
    state_ = (state_ * 1140671485u + 12820163u) & kModulusMask;
    // state < 2^24 fits a float's mantissa exactly, so the result is exact and below 1.
    return static_cast<float>(state_) / 16777216.0f;
}

}  // namespace zinna::basic
