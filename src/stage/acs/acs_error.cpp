#include "stage/acs/acs_error.h"

#include <cstdio>

namespace zinna::acs {

namespace {

std::string WithOffset(const std::string& what, std::uint64_t offset) {
    char where[40];
    std::snprintf(where, sizeof where, " (at offset 0x%llX)", static_cast<unsigned long long>(offset));
    return what + where;
}

}  // namespace

AcsError::AcsError(const std::string& what, std::uint64_t offset)
    : std::runtime_error(WithOffset(what, offset)), offset_(offset) {}

}  // namespace zinna::acs
