#include "basic/basic_error.h"
#include "basic/numeric.h"
#include "basic/random.h"

#include <doctest/doctest.h>

#include <cmath>
#include <set>
#include <vector>

using namespace zinna::basic;

static std::int32_t ErrorNumberOf(auto&& action) {
    try {
        action();
    } catch (const BasicError& e) {
        return e.Number();
    }
    return 0;
}

TEST_CASE("conversion to 16 bits rounds to nearest with ties to even") {
    CHECK(CInt(256.5) == 256);
    CHECK(CInt(257.5) == 258);
    CHECK(CInt(-256.5) == -256);
    CHECK(CInt(-257.5) == -258);
    CHECK(CInt(0.5) == 0);
    CHECK(CInt(1.5) == 2);
    CHECK(CInt(2.4999) == 2);
    CHECK(CInt(-0.4) == 0);
    CHECK(CInt(32767.49) == 32767);
    CHECK(CInt(-32768.5) == -32768);  // a tie that rounds to the even bound stays in range
}

TEST_CASE("conversion to 16 bits overflows outside -32768..32767") {
    CHECK(ErrorNumberOf([] { CInt(32767.5); }) == kErrOverflow);  // rounds to 32768
    CHECK(ErrorNumberOf([] { CInt(-32769.0); }) == kErrOverflow);
    CHECK(ErrorNumberOf([] { CInt(std::nan("")); }) == kErrOverflow);
    CHECK(ErrorNumberOf([] { CInt(INFINITY); }) == kErrOverflow);
    CHECK(ErrorNumberOf([] { ToInteger(32768); }) == kErrOverflow);
    CHECK(ErrorNumberOf([] { ToInteger(-32769); }) == kErrOverflow);
    CHECK(ToInteger(-32768) == -32768);
    CHECK(ErrorNumberOf([] { ToLong(2147483648LL); }) == kErrOverflow);
    CHECK(ErrorNumberOf([] { CLng(2147483647.5); }) == kErrOverflow);
    CHECK(CLng(2147483646.5) == 2147483646);
}

TEST_CASE("every half rounds to the even neighbour, on both sides of zero and at the 16-bit bounds") {
    struct Tie {
        double value;
        Integer rounded;
    };
    for (const Tie& tie : {Tie{-3.5, -4}, Tie{-2.5, -2}, Tie{-1.5, -2}, Tie{-0.5, 0}, Tie{0.5, 0}, Tie{1.5, 2},
                           Tie{2.5, 2}, Tie{3.5, 4}, Tie{32766.5, 32766}, Tie{-32767.5, -32768}}) {
        CAPTURE(tie.value);
        CHECK(CInt(tie.value) == tie.rounded);
    }
    CHECK(CLng(-2.5) == -2);
    CHECK(CLng(3.5) == 4);
    CHECK(CLng(-2147483648.5) == -2147483647 - 1);  // the tie rounds to the even bound
    CHECK(ErrorNumberOf([] { CLng(-2147483649.0); }) == kErrOverflow);
}

TEST_CASE("whole-number division truncates toward zero and refuses zero") {
    CHECK(IntDiv(-513, 70) == -7);
    CHECK(IntDiv(513, 70) == 7);
    CHECK(IntDiv(513, -70) == -7);
    CHECK(IntDiv(69, 70) == 0);
    CHECK(IntDiv(-69, 70) == 0);
    CHECK(IntDiv(768, 2) == 384);
    CHECK(IntDiv(-7, -2) == 3);
    CHECK(IntDiv(-2147483647 - 1, 1) == -2147483647 - 1);
    CHECK(IntDiv(-2147483647 - 1, 2) == -1073741824);
    CHECK(ErrorNumberOf([] { IntDiv(5, 0); }) == kErrDivisionByZero);
    CHECK(ErrorNumberOf([] { IntDiv(-2147483647 - 1, -1); }) == kErrOverflow);
}

TEST_CASE("Int rounds down and Booleans are 16-bit with True = -1") {
    CHECK(Int(1.9999) == 1.0);
    CHECK(Int(-0.5) == -1.0);
    CHECK(Int(-1.0) == -1.0);
    CHECK(True == -1);
    CHECK(False == 0);
    CHECK(ToBoolean(true) == -1);
    static_assert(sizeof(Boolean) == 2);
}

// The generator's numbers as whole 24-bit states: Rnd is state / 2^24, exact in single precision.
// The expected states were worked out apart from the code, from the runtime's documented step
// state = (state * 0x43FD43FD + 0xC39EC3) mod 2^24 and the start state 0x50000; the first one
// unseeded is the runtime's well-known first number 0.7055475.
static std::vector<std::uint32_t> StatesOf(BasicRandom& random, int count) {
    std::vector<std::uint32_t> states;
    for (int i = 0; i < count; ++i) states.push_back(static_cast<std::uint32_t>(random.Rnd() * 16777216.0f));
    return states;
}

TEST_CASE("the generator's first numbers are the runtime's, unseeded and after seeding") {
    BasicRandom unseeded;
    CHECK(StatesOf(unseeded, 5) == std::vector<std::uint32_t>{11837123, 8949370, 9722709, 4858052, 5065847});
    BasicRandom first;
    CHECK(first.Rnd() == doctest::Approx(0.7055475).epsilon(1e-7));

    // Randomize folds the seed's top byte into its low bits and the start state into the rest:
    // state = (seed ^ (seed >> 24) ^ 0x50000) mod 2^24. Seed 0 is therefore the unseeded sequence.
    struct Seeded {
        std::uint32_t seed;
        std::vector<std::uint32_t> states;
    };
    for (const Seeded& row :
         {Seeded{0, {11837123, 8949370, 9722709}}, Seeded{1, {11657920, 11073155, 12224314}},
          Seeded{7, {10582702, 7038649, 10456728}}, Seeded{12345, {14168600, 4286587, 5181778}},
          Seeded{0x12345678, {15057797, 7514164, 8222247}}, Seeded{0xFFFFFFFF, {9347523, 13010298, 7763541}}}) {
        CAPTURE(row.seed);
        BasicRandom random;
        random.Rnd();  // seeding replaces the state, whatever was drawn before
        random.Randomize(row.seed);
        CHECK(StatesOf(random, 3) == row.states);
    }
}

TEST_CASE("the generator gives single-precision numbers in [0, 1), repeatable from a seed") {
    BasicRandom a, b;
    a.Randomize(12345);
    b.Randomize(12345);
    std::set<float> seen;
    for (int i = 0; i < 10000; ++i) {
        float x = a.Rnd();
        CHECK(x == b.Rnd());
        REQUIRE(x >= 0.0f);
        REQUIRE(x < 1.0f);
        seen.insert(x);
    }
    CHECK(seen.size() > 9900);  // a 24-bit generator repeats only after 2^24 draws

    BasicRandom c;
    c.Randomize(54321);
    int differing = 0;
    a.Randomize(12345);
    for (int i = 0; i < 10; ++i) differing += (a.Rnd() != c.Rnd());
    CHECK(differing > 5);
}

TEST_CASE("the generator is close to uniform over five choices") {
    BasicRandom r;
    r.Randomize(7);
    int counts[5] = {};
    const int draws = 50000;
    for (int i = 0; i < draws; ++i) counts[static_cast<int>(Int(r.Rnd() * 5))]++;
    for (int c : counts) CHECK(std::abs(c - draws / 5) < draws / 50);  // within 10% of 1/5
}
