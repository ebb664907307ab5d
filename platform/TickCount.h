#pragma once

#include <cstdint>

namespace platform {

// Milliseconds since the system started, kept to 32 bits (wraps after 49.7 days).
std::uint32_t TickCount();

} // namespace platform
