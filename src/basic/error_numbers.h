// Every error number the program raises or expects, in one place. The runtime's own errors are
// small positive numbers; a failing call of the character control raises the control's HRESULT,
// which the program sees as a negative 32-bit number (0x80004005 is -2147467259).
#pragma once

#include <cstdint>

namespace zinna::basic {

// --- The runtime's errors, with the runtime's numbers ---
inline constexpr std::int32_t kErrOverflow = 6;              // a conversion or a result out of range
inline constexpr std::int32_t kErrDivisionByZero = 11;       // whole-number division by 0
inline constexpr std::int32_t kErrInternal = 51;             // a fault of the program itself, not of the world
inline constexpr std::int32_t kErrObjectNotSet = 91;         // the character used before it was loaded
inline constexpr std::int32_t kErrCannotCreateObject = 429;  // no control registered under the identifier

// --- The character control's failures (HRESULTs) ---
inline constexpr std::uint32_t kControlErrFailed = 0x80004005;                  // the generic failure, E_FAIL
inline constexpr std::uint32_t kControlErrFileNotFound = 0x80070002;            // the character data file is missing
inline constexpr std::uint32_t kControlErrCharacterInvalid = 0x80042002;        // not a character, or none of that name
inline constexpr std::uint32_t kControlErrAnimationNotFound = 0x80042003;       // the character lacks the animation
inline constexpr std::uint32_t kControlErrCharacterAlreadyLoaded = 0x8004200B;  // a second load under one name

}  // namespace zinna::basic
