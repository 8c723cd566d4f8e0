// The runtime's uniform random generator: single-precision numbers in [0, 1), seeded once.
#pragma once

#include <cstdint>

namespace zinna::basic {

// A source of the program's random numbers. The program draws from exactly one, so a run with the
// same seed (or the same scripted numbers) is the same run.
class UniformRandom {
public:
    virtual ~UniformRandom() = default;
    virtual void Randomize(std::uint32_t seed) = 0;
    virtual float Rnd() = 0;  // a number in [0, 1)
};

// The classic 24-bit linear congruential generator of the BASIC runtimes:
// state = (state * 1140671485 + 12820163) mod 2^24, and Rnd = state / 2^24.
class BasicRandom final : public UniformRandom {
public:
    void Randomize(std::uint32_t seed) override;
    float Rnd() override;

private:
    std::uint32_t state_ = 0x50000;  // the runtime's state before any seeding
};

}  // namespace zinna::basic
