#include "platform/core/registry_copy_out.h"

#include "boundary/win_constants.h"

#include <algorithm>

namespace zinna::platform {

std::int32_t CopyOutValue(std::uint32_t storedType, std::span<const std::uint8_t> stored, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* dataSize) {
    if (data != nullptr && dataSize == nullptr) return kErrorInvalidParameter;
    if (type != nullptr) *type = storedType;
    const auto size = static_cast<std::uint32_t>(stored.size());
    if (dataSize == nullptr) return ERROR_SUCCESS;
    const std::uint32_t offered = *dataSize;
    *dataSize = size;
    if (data == nullptr) return ERROR_SUCCESS;
    if (offered < size) return ERROR_MORE_DATA;
    std::copy(stored.begin(), stored.end(), data);
    return ERROR_SUCCESS;
}

}  // namespace zinna::platform
