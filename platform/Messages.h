#pragma once

#include <cstdint>

namespace platform {

using HWND = std::int32_t;
using ATOM = std::uint16_t;

constexpr std::int32_t WM_DESTROY = 0x0002;
constexpr std::int32_t WM_SYSCOMMAND = 0x0112;
constexpr std::int32_t WM_HOTKEY = 0x0312;
constexpr std::int32_t SC_RESTORE = 0xF120;

constexpr std::int32_t IDHOT_SNAPWINDOW = -1;
constexpr std::int32_t IDHOT_SNAPDESKTOP = -2;
constexpr std::int32_t VK_SNAPSHOT = 0x2C;

constexpr std::uint32_t MOD_ALT = 0x1;
constexpr std::uint32_t MOD_CONTROL = 0x2;
constexpr std::uint32_t MOD_SHIFT = 0x4;
constexpr std::uint32_t MOD_WIN = 0x8;
// A held combination is one press: its key repeats raise no further WM_HOTKEY.
constexpr std::uint32_t MOD_NOREPEAT = 0x4000;

constexpr std::uint32_t OFN_FILEMUSTEXIST = 0x1000;

constexpr std::uint32_t FORMAT_MESSAGE_IGNORE_INSERTS = 0x200;
constexpr std::uint32_t FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;

// Last-error codes the platform sets.
constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;
constexpr std::uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
constexpr std::uint32_t ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr std::uint32_t ERROR_HOTKEY_ALREADY_REGISTERED = 1409;
constexpr std::uint32_t ERROR_HOTKEY_NOT_REGISTERED = 1419;

} // namespace platform
