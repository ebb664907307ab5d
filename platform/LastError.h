#pragma once

#include <cstdint>

namespace platform {

// The calling thread's last-error value, set by the platform services that fail.
std::uint32_t LastError();
void SetLastError(std::uint32_t code);

} // namespace platform
