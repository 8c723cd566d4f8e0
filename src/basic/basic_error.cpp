#include "basic/basic_error.h"

namespace zinna::basic {

void RaiseOverflow() { throw BasicError(kErrOverflow, "Overflow"); }

void RaiseDivisionByZero() { throw BasicError(kErrDivisionByZero, "Division by zero"); }

void RaiseControlError(std::uint32_t hresult, const std::string& description) {
    throw BasicError(static_cast<std::int32_t>(hresult), description);
}

}  // namespace zinna::basic
