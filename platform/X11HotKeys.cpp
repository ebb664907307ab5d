#include "X11HotKeys.h"

#include "LastError.h"
#include "VirtualKeys.h"

#include <X11/keysym.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <memory>

namespace platform {

namespace {

constexpr std::uint16_t ComparedModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
constexpr std::uint32_t KnownModifierFlags = MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN;
constexpr std::uint8_t BadAccess = 10;

std::uint16_t MaskOf(std::uint32_t fsModifiers)
{
    std::uint16_t mask = 0;
    if (fsModifiers & MOD_ALT)
        mask |= XCB_MOD_MASK_1;
    if (fsModifiers & MOD_CONTROL)
        mask |= XCB_MOD_MASK_CONTROL;
    if (fsModifiers & MOD_SHIFT)
        mask |= XCB_MOD_MASK_SHIFT;
    if (fsModifiers & MOD_WIN)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

using KeySymbols = std::unique_ptr<xcb_key_symbols_t, decltype(&xcb_key_symbols_free)>;

std::vector<xcb_keycode_t> KeycodesOf(xcb_key_symbols_t* symbols, xcb_keysym_t keysym)
{
    std::vector<xcb_keycode_t> keycodes;
    std::unique_ptr<xcb_keycode_t, decltype(&free)> list(xcb_key_symbols_get_keycode(symbols, keysym), &free);
    for (const xcb_keycode_t* k = list.get(); k != nullptr && *k != XCB_NO_SYMBOL; ++k)
        keycodes.push_back(*k);
    return keycodes;
}

} // namespace

X11HotKeys::X11HotKeys(xcb_connection_t* connection, xcb_window_t root, Pressed pressed)
    : m_connection(connection), m_root(root), m_pressed(std::move(pressed))
{
}

X11HotKeys::~X11HotKeys()
{
    for (const Grab& grab : m_grabs)
        Ungrab(grab);
    xcb_flush(m_connection);
}

std::vector<std::uint16_t> X11HotKeys::LockVariants() const
{
    // NumLock's modifier bit depends on the keyboard mapping; CapsLock is always Lock.
    std::uint16_t numLock = 0;
    const KeySymbols symbols(xcb_key_symbols_alloc(m_connection), &xcb_key_symbols_free);
    const std::vector<xcb_keycode_t> numLockKeys = KeycodesOf(symbols.get(), XK_Num_Lock);
    std::unique_ptr<xcb_get_modifier_mapping_reply_t, decltype(&free)> mapping(
        xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr),
        &free);
    if (mapping) {
        const xcb_keycode_t* keys = xcb_get_modifier_mapping_keycodes(mapping.get());
        const int perModifier = mapping->keycodes_per_modifier;
        for (int modifier = 0; modifier < 8 && numLock == 0; ++modifier) {
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t key = keys[modifier * perModifier + i];
                if (key != 0 && std::find(numLockKeys.begin(), numLockKeys.end(), key) != numLockKeys.end())
                    numLock = static_cast<std::uint16_t>(1u << modifier);
            }
        }
    }
    std::vector<std::uint16_t> variants{0, XCB_MOD_MASK_LOCK};
    if (numLock != 0 && numLock != XCB_MOD_MASK_LOCK) {
        variants.push_back(numLock);
        variants.push_back(static_cast<std::uint16_t>(numLock | XCB_MOD_MASK_LOCK));
    }
    return variants;
}

bool X11HotKeys::Register(HWND hwnd, std::int32_t id, std::uint32_t fsModifiers, std::uint32_t vk)
{
    const std::uint32_t keysym = KeysymOfVirtualKey(vk);
    if ((fsModifiers & ~KnownModifierFlags) != 0 || keysym == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const bool taken = std::any_of(m_grabs.begin(), m_grabs.end(), [&](const Grab& g) {
        return (g.hwnd == hwnd && g.id == id) || (g.fsModifiers == fsModifiers && g.vk == vk);
    });
    if (taken) {
        SetLastError(ERROR_HOTKEY_ALREADY_REGISTERED);
        return false;
    }

    const KeySymbols symbols(xcb_key_symbols_alloc(m_connection), &xcb_key_symbols_free);
    Grab grab{hwnd, id, fsModifiers, vk, MaskOf(fsModifiers), KeycodesOf(symbols.get(), keysym),
              LockVariants()};
    if (grab.keycodes.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }

    // All requests first, then their checks: one round trip for the whole combination.
    std::vector<xcb_void_cookie_t> cookies;
    for (xcb_keycode_t keycode : grab.keycodes) {
        for (std::uint16_t variant : grab.lockVariants) {
            cookies.push_back(xcb_grab_key_checked(m_connection, 0, m_root,
                                                   static_cast<std::uint16_t>(grab.mask | variant),
                                                   keycode, XCB_GRAB_MODE_ASYNC,
                                                   XCB_GRAB_MODE_ASYNC));
        }
    }
    std::uint32_t failure = 0;
    for (xcb_void_cookie_t cookie : cookies) {
        std::unique_ptr<xcb_generic_error_t, decltype(&free)> error(
            xcb_request_check(m_connection, cookie), &free);
        if (error && failure == 0)
            failure = error->error_code == BadAccess ? ERROR_HOTKEY_ALREADY_REGISTERED
                                                     : ERROR_INVALID_PARAMETER;
    }
    if (failure != 0) {
        // Ungrabbing a combination that another client holds leaves that client's grab alone.
        Ungrab(grab);
        xcb_flush(m_connection);
        SetLastError(failure);
        return false;
    }
    m_grabs.push_back(std::move(grab));
    return true;
}

bool X11HotKeys::Unregister(HWND hwnd, std::int32_t id)
{
    const auto found = std::find_if(m_grabs.begin(), m_grabs.end(),
                                    [&](const Grab& g) { return g.hwnd == hwnd && g.id == id; });
    if (found == m_grabs.end()) {
        SetLastError(ERROR_HOTKEY_NOT_REGISTERED);
        return false;
    }
    Ungrab(*found);
    xcb_flush(m_connection);
    m_grabs.erase(found);
    return true;
}

void X11HotKeys::UnregisterWindow(HWND hwnd)
{
    for (const Grab& grab : m_grabs) {
        if (grab.hwnd == hwnd)
            Ungrab(grab);
    }
    std::erase_if(m_grabs, [&](const Grab& g) { return g.hwnd == hwnd; });
    xcb_flush(m_connection);
}

void X11HotKeys::Ungrab(const Grab& grab)
{
    for (xcb_keycode_t keycode : grab.keycodes) {
        for (std::uint16_t variant : grab.lockVariants)
            xcb_ungrab_key(m_connection, keycode, m_root, static_cast<std::uint16_t>(grab.mask | variant));
    }
}

bool X11HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != QByteArrayView("xcb_generic_event_t"))
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t type = event->response_type & 0x7F;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (key->event != m_root)
        return false;

    const std::uint16_t state = key->state & ComparedModifiers;
    for (const Grab& grab : m_grabs) {
        const bool matches = grab.mask == state
                             && std::find(grab.keycodes.begin(), grab.keycodes.end(), key->detail)
                                    != grab.keycodes.end();
        if (!matches)
            continue;
        if (type == XCB_KEY_PRESS) {
            // Copies: the receiver may unregister this very key.
            const HWND hwnd = grab.hwnd;
            const std::int32_t id = grab.id;
            const std::uint32_t fsModifiers = grab.fsModifiers;
            const std::uint32_t vk = grab.vk;
            m_pressed(hwnd, id, fsModifiers, vk);
        }
        return true;
    }
    return false;
}

} // namespace platform
