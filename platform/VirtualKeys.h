#pragma once

#include <QString>

#include <cstdint>

namespace platform {

// The X keysym of a virtual-key code: F1 to F24, letters, digits, the keypad, the usual named
// keys, print screen and the media keys. 0 for a code without one.
std::uint32_t KeysymOfVirtualKey(std::uint32_t vk);

// The combination as desktops write shortcut triggers: the modifiers CTRL, ALT, SHIFT and LOGO,
// then the keysym's name, joined by "+" ("CTRL+F3"). Empty for a code without a keysym.
QString TriggerOf(std::uint32_t fsModifiers, std::uint32_t vk);

// The combination as the program names it to the user: "F4", "Shift+F1".
QString KeyText(std::uint32_t fsModifiers, std::uint32_t vk);

} // namespace platform
