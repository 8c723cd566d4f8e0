// Errors as the old runtime raises them: a number and a description. Every numeric failure and
// every failing call of the character control becomes one of these.
#pragma once

#include "basic/error_numbers.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zinna::basic {

class BasicError : public std::runtime_error {
public:
    BasicError(std::int32_t number, const std::string& description)
        : std::runtime_error(description), number_(number) {}

    std::int32_t Number() const { return number_; }
    std::string Description() const { return what(); }

private:
    std::int32_t number_;
};

[[noreturn]] void RaiseOverflow();
[[noreturn]] void RaiseDivisionByZero();

// A failing call of a COM object reports its HRESULT as the error number (a negative 32-bit value).
[[noreturn]] void RaiseControlError(std::uint32_t hresult, const std::string& description);

}  // namespace zinna::basic
