// The program's random generator in the simulation: numbers given on the command line come first,
// then the runtime's own generator from the run's seed.
#pragma once

#include "basic/random.h"

#include <cstddef>
#include <vector>

namespace zinna::sim {

class ScriptedRandom final : public basic::UniformRandom {
public:
    explicit ScriptedRandom(std::vector<float> firstNumbers) : script_(std::move(firstNumbers)) {}

    void Randomize(std::uint32_t seed) override { generator_.Randomize(seed); }
    float Rnd() override {
        ++draws_;
        if (next_ < script_.size()) return script_[next_++];
        return generator_.Rnd();
    }
    std::size_t Draws() const { return draws_; }

private:
    std::vector<float> script_;
    std::size_t next_ = 0;
    std::size_t draws_ = 0;
    basic::BasicRandom generator_;
};

}  // namespace zinna::sim
