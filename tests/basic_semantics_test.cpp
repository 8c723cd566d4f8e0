#include "basic/basic_error.h"
#include "basic/numeric.h"
#include "basic/random.h"

#include <doctest/doctest.h>

#include <cmath>
#include <set>

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

TEST_CASE("whole-number division truncates toward zero and refuses zero") {
    CHECK(IntDiv(-513, 70) == -7);
    CHECK(IntDiv(513, 70) == 7);
    CHECK(IntDiv(513, -70) == -7);
    CHECK(IntDiv(69, 70) == 0);
    CHECK(IntDiv(-69, 70) == 0);
    CHECK(IntDiv(768, 2) == 384);
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
