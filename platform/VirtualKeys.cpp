#include "VirtualKeys.h"

#include "Messages.h"

#include <QStringList>

#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

#include <array>
#include <utility>

namespace platform {

namespace {
constexpr std::uint32_t VK_F1 = 0x70, VK_F24 = 0x87;
constexpr std::uint32_t VK_0 = 0x30, VK_9 = 0x39, VK_A = 0x41, VK_Z = 0x5A;
constexpr std::uint32_t VK_NUMPAD0 = 0x60, VK_NUMPAD9 = 0x69;

constexpr std::array<std::pair<std::uint32_t, std::uint32_t>, 32> NamedKeys{{
    {0x08, XK_BackSpace},  {0x09, XK_Tab},       {0x0D, XK_Return},
    {0x13, XK_Pause},      {0x14, XK_Caps_Lock}, {0x1B, XK_Escape},
    {0x20, XK_space},      {0x21, XK_Prior},     {0x22, XK_Next},
    {0x23, XK_End},        {0x24, XK_Home},      {0x25, XK_Left},
    {0x26, XK_Up},         {0x27, XK_Right},     {0x28, XK_Down},
    {0x2C, XK_Print},      {0x2D, XK_Insert},    {0x2E, XK_Delete},
    {0x6A, XK_KP_Multiply}, {0x6B, XK_KP_Add},   {0x6D, XK_KP_Subtract},
    {0x6E, XK_KP_Decimal}, {0x6F, XK_KP_Divide}, {0x90, XK_Num_Lock},
    {0x91, XK_Scroll_Lock}, {0xAD, XF86XK_AudioMute}, {0xAE, XF86XK_AudioLowerVolume},
    {0xAF, XF86XK_AudioRaiseVolume}, {0xB0, XF86XK_AudioNext}, {0xB1, XF86XK_AudioPrev},
    {0xB2, XF86XK_AudioStop}, {0xB3, XF86XK_AudioPlay},
}};
} // namespace

std::uint32_t KeysymOfVirtualKey(std::uint32_t vk)
{
    if (vk >= VK_F1 && vk <= VK_F24)
        return XK_F1 + (vk - VK_F1);
    if (vk >= VK_A && vk <= VK_Z)
        return XK_a + (vk - VK_A);
    if (vk >= VK_0 && vk <= VK_9)
        return XK_0 + (vk - VK_0);
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9)
        return XK_KP_0 + (vk - VK_NUMPAD0);
    for (const auto& [code, keysym] : NamedKeys) {
        if (code == vk)
            return keysym;
    }
    return 0;
}

QString TriggerOf(std::uint32_t fsModifiers, std::uint32_t vk)
{
    const std::uint32_t keysym = KeysymOfVirtualKey(vk);
    char name[64];
    if (keysym == 0 || xkb_keysym_get_name(keysym, name, sizeof name) <= 0)
        return {};
    QStringList parts;
    if (fsModifiers & MOD_CONTROL)
        parts << QStringLiteral("CTRL");
    if (fsModifiers & MOD_ALT)
        parts << QStringLiteral("ALT");
    if (fsModifiers & MOD_SHIFT)
        parts << QStringLiteral("SHIFT");
    if (fsModifiers & MOD_WIN)
        parts << QStringLiteral("LOGO");
    parts << QString::fromLatin1(name);
    return parts.join(QLatin1Char('+'));
}

QString KeyText(std::uint32_t fsModifiers, std::uint32_t vk)
{
    QString text;
    if (fsModifiers & MOD_CONTROL)
        text += QStringLiteral("Ctrl+");
    if (fsModifiers & MOD_ALT)
        text += QStringLiteral("Alt+");
    if (fsModifiers & MOD_SHIFT)
        text += QStringLiteral("Shift+");
    if (fsModifiers & MOD_WIN)
        text += QStringLiteral("Super+");
    return text + TriggerOf(0, vk);
}

} // namespace platform
