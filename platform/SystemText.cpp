#include "SystemText.h"

#include "Messages.h"

namespace platform {

std::string_view SystemText(std::uint32_t code)
{
    switch (code) {
    case ERROR_INVALID_HANDLE:
        return "The handle is invalid.\r\n";
    case ERROR_NOT_ENOUGH_MEMORY:
        return "Not enough memory resources are available to process this command.\r\n";
    case ERROR_INVALID_PARAMETER:
        return "The parameter is incorrect.\r\n";
    case ERROR_INVALID_WINDOW_HANDLE:
        return "Invalid window handle.\r\n";
    case ERROR_HOTKEY_ALREADY_REGISTERED:
        return "Hot key is already registered.\r\n";
    case ERROR_HOTKEY_NOT_REGISTERED:
        return "Hot key is not registered.\r\n";
    default:
        return {};
    }
}

} // namespace platform

#include "LastError.h"

#include <cstring>

namespace platform {

namespace {
constexpr std::uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
constexpr std::uint32_t ERROR_MR_MID_NOT_FOUND = 317;
}

std::uint32_t FormatSystemMessage(std::uint32_t flags, std::uint32_t messageId, char* buffer,
                                  std::uint32_t size)
{
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string_view text = SystemText(messageId);
    if (text.empty()) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    if (text.size() >= size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return static_cast<std::uint32_t>(text.size());
}

} // namespace platform
