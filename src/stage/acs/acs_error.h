// The one error a character file can raise: what is wrong and where in the file.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zinna::acs {

class AcsError : public std::runtime_error {
public:
    // what: a description of the fault, e.g. "animation list: count 4000000 needs more bytes
    // than the list has"; offset: the absolute file offset where it was found.
    AcsError(const std::string& what, std::uint64_t offset);

    std::uint64_t Offset() const { return offset_; }

private:
    std::uint64_t offset_;
};

}  // namespace zinna::acs
