#include "basic/numeric.h"

#include "basic/basic_error.h"

#include <cmath>
#include <limits>

namespace zinna::basic {

namespace {

// Rounds to the nearest whole number with ties to even, independent of the FPU's rounding mode.
double RoundHalfEven(double value) {
    double floor = std::floor(value);
    double fraction = value - floor;
    if (fraction > 0.5) return floor + 1.0;
    if (fraction < 0.5) return floor;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

}  // namespace

Integer CInt(double value) {
    if (!std::isfinite(value)) RaiseOverflow();
    double rounded = RoundHalfEven(value);
    if (rounded < -32768.0 || rounded > 32767.0) RaiseOverflow();
    return static_cast<Integer>(rounded);
}

Long CLng(double value) {
    if (!std::isfinite(value)) RaiseOverflow();
    double rounded = RoundHalfEven(value);
    if (rounded < -2147483648.0 || rounded > 2147483647.0) RaiseOverflow();
    return static_cast<Long>(rounded);
}

Integer ToInteger(std::int64_t value) {
    if (value < std::numeric_limits<Integer>::min() || value > std::numeric_limits<Integer>::max()) RaiseOverflow();
    return static_cast<Integer>(value);
}

Long ToLong(std::int64_t value) {
    if (value < std::numeric_limits<Long>::min() || value > std::numeric_limits<Long>::max()) RaiseOverflow();
    return static_cast<Long>(value);
}

Long IntDiv(Long dividend, Long divisor) {
    if (divisor == 0) RaiseDivisionByZero();
    // C++ division already truncates toward zero; only this quotient does not fit.
    if (dividend == std::numeric_limits<Long>::min() && divisor == -1) RaiseOverflow();
    return dividend / divisor;
}

double Int(double value) { return std::floor(value); }

}  // namespace zinna::basic
