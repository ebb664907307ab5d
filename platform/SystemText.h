#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

// The system text of a last-error code as the platform writes it, ending in CR LF; empty for
// codes the platform does not know.
std::string_view SystemText(std::uint32_t code);

} // namespace platform

namespace platform {

// FormatMessageA for system texts: writes the text of messageId, NUL terminated, into buffer
// and returns its length; 0 (and the thread's last error) when there is none or it does not fit.
std::uint32_t FormatSystemMessage(std::uint32_t flags, std::uint32_t messageId, char* buffer,
                                  std::uint32_t size);

} // namespace platform
