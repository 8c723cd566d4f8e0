// How RegQueryValueExA hands a stored value to its caller: the type, the size, the bytes, and the
// answers for a buffer that is too small or missing. Every ZinnaModule that holds its values
// itself (the simulated desktop, the Linux desktop, and the Windows layer once it has turned a
// value read with the wide function into UTF-8) copies out through here.
#pragma once

#include <cstdint>
#include <span>

namespace zinna::platform {

inline constexpr std::int32_t kErrorInvalidParameter = 87;  // ERROR_INVALID_PARAMETER

// Copies a stored value out as RegQueryValueExA does:
//  - a buffer without a size pointer is ERROR_INVALID_PARAMETER, and nothing is written;
//  - otherwise the type is set when asked for, and the size is set to the value's size;
//  - no buffer asks for the size: ERROR_SUCCESS;
//  - a buffer smaller than the value: ERROR_MORE_DATA, the buffer untouched;
//  - else the bytes are copied: ERROR_SUCCESS.
std::int32_t CopyOutValue(std::uint32_t storedType, std::span<const std::uint8_t> stored, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* dataSize);

}  // namespace zinna::platform
