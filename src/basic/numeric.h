// The old runtime's numeric types and conversions. The program's arithmetic uses only these, so
// that rounding, truncation and overflow are exactly those of the original runtime.
#pragma once

#include <cstdint>

namespace zinna::basic {

using Integer = std::int16_t;  // 16-bit signed whole number
using Long = std::int32_t;     // 32-bit signed whole number
using Boolean = std::int16_t;  // 16-bit Boolean: True is -1, False is 0

inline constexpr Boolean True = -1;
inline constexpr Boolean False = 0;

inline constexpr Boolean ToBoolean(bool value) { return value ? True : False; }

// Floating point to 16-bit: nearest, ties to even (256.5 -> 256, 257.5 -> 258). Raises overflow
// (error 6) outside -32768..32767 and for values that are not numbers.
Integer CInt(double value);

// Floating point to 32-bit, rounded the same way; overflow outside the 32-bit range.
Long CLng(double value);

// A whole number narrowed to 16 bits; overflow outside -32768..32767.
Integer ToInteger(std::int64_t value);

// A whole number narrowed to 32 bits; overflow outside the 32-bit range.
Long ToLong(std::int64_t value);

// Whole-number division, quotient truncated toward zero (-513 \ 70 = -7); division by zero is
// error 11. The one overflowing case, -2147483648 \ -1, is error 6.
Long IntDiv(Long dividend, Long divisor);

// Int: rounds down, toward minus infinity (Int(-0.5) = -1).
double Int(double value);

}  // namespace zinna::basic
