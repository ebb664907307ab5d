#include "X11HotKeys.h"

#include "platform/LastError.h"
#include "platform/VirtualKeys.h"

#include <X11/keysym.h>
#include <xcb/xcb_keysyms.h>
// xcb's XKEYBOARD header names a field `explicit`.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <algorithm>
#include <cstring>
#include <memory>

namespace platform {

namespace {

constexpr std::uint16_t ComparedModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
constexpr std::uint8_t BadAccess = 10;
// The XKEYBOARD extension's events carry their kind in the second byte.
constexpr std::uint8_t XkbNewKeyboardNotify = 0;
constexpr std::uint8_t XkbMapNotify = 1;
constexpr xcb_timestamp_t LongestRepeatMs = 1000;

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

template <class T>
using Reply = std::unique_ptr<T, decltype(&free)>;
using KeySymbols = std::unique_ptr<xcb_key_symbols_t, decltype(&xcb_key_symbols_free)>;

std::vector<xcb_keycode_t> KeycodesOf(xcb_key_symbols_t* symbols, xcb_keysym_t keysym)
{
    std::vector<xcb_keycode_t> keycodes;
    Reply<xcb_keycode_t> list(xcb_key_symbols_get_keycode(symbols, keysym), &free);
    for (const xcb_keycode_t* k = list.get(); k != nullptr && *k != XCB_NO_SYMBOL; ++k)
        keycodes.push_back(*k);
    return keycodes;
}

std::uint8_t XkbFirstEvent(xcb_connection_t* connection)
{
    constexpr char name[] = "XKEYBOARD";
    Reply<xcb_query_extension_reply_t> reply(
        xcb_query_extension_reply(connection, xcb_query_extension(connection, std::strlen(name), name),
                                  nullptr),
        &free);
    return reply && reply->present ? reply->first_event : 0;
}

} // namespace

X11HotKeys::X11HotKeys(xcb_connection_t* connection, xcb_window_t root, Pressed pressed)
    : m_connection(connection), m_root(root), m_pressed(std::move(pressed)),
      m_xkbFirstEvent(XkbFirstEvent(connection))
{
    // A held key then repeats its press alone, with no release between: a repeat is a press of a
    // key that is down.
    constexpr std::uint32_t detectable = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    free(xcb_xkb_per_client_flags_reply(
        connection, xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD, detectable, detectable, 0, 0, 0),
        nullptr));
    m_keymapChanged.setSingleShot(true);
    m_keymapChanged.setInterval(0);
    QObject::connect(&m_keymapChanged, &QTimer::timeout, [this] { FollowKeymap(); });
}

X11HotKeys::~X11HotKeys()
{
    for (const KeyGrab& grab : m_grabs)
        Ungrab(grab);
    xcb_flush(m_connection);
}

X11HotKeys::Placement X11HotKeys::PlacementOf(std::uint32_t vk) const
{
    const KeySymbols symbols(xcb_key_symbols_alloc(m_connection), &xcb_key_symbols_free);
    Placement at{KeycodesOf(symbols.get(), KeysymOfVirtualKey(vk)), {0, XCB_MOD_MASK_LOCK}};

    // NumLock's modifier bit depends on the keyboard mapping; CapsLock is always Lock.
    std::uint16_t numLock = 0;
    const std::vector<xcb_keycode_t> numLockKeys = KeycodesOf(symbols.get(), XK_Num_Lock);
    Reply<xcb_get_modifier_mapping_reply_t> mapping(
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
    if (numLock != 0 && numLock != XCB_MOD_MASK_LOCK) {
        at.lockVariants.push_back(numLock);
        at.lockVariants.push_back(static_cast<std::uint16_t>(numLock | XCB_MOD_MASK_LOCK));
    }
    return at;
}

bool X11HotKeys::Grab(const HotKey& key)
{
    KeyGrab grab{key, MaskOf(key.fsModifiers), PlacementOf(key.vk)};
    if (grab.at.keycodes.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (const std::uint32_t failure = GrabAll(grab); failure != 0) {
        SetLastError(failure);
        return false;
    }
    m_grabs.push_back(std::move(grab));
    return true;
}

std::uint32_t X11HotKeys::GrabAll(const KeyGrab& grab)
{
    // All requests first, then their checks: one round trip for the whole combination.
    std::vector<xcb_void_cookie_t> cookies;
    for (xcb_keycode_t keycode : grab.at.keycodes) {
        for (std::uint16_t variant : grab.at.lockVariants) {
            cookies.push_back(xcb_grab_key_checked(m_connection, 0, m_root,
                                                   static_cast<std::uint16_t>(grab.mask | variant),
                                                   keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    std::uint32_t failure = 0;
    for (xcb_void_cookie_t cookie : cookies) {
        Reply<xcb_generic_error_t> error(xcb_request_check(m_connection, cookie), &free);
        if (error && failure == 0)
            failure = error->error_code == BadAccess ? ERROR_HOTKEY_ALREADY_REGISTERED : ERROR_INVALID_PARAMETER;
    }
    if (failure != 0) {
        // Ungrabbing a combination that another client holds leaves that client's grab alone.
        Ungrab(grab);
        xcb_flush(m_connection);
    }
    return failure;
}

void X11HotKeys::Release(const HotKey& key)
{
    const auto found = std::find_if(m_grabs.begin(), m_grabs.end(), [&](const KeyGrab& g) {
        return g.key.hwnd == key.hwnd && g.key.id == key.id;
    });
    if (found == m_grabs.end())
        return;
    Ungrab(*found);
    xcb_flush(m_connection);
    m_grabs.erase(found);
}

void X11HotKeys::Ungrab(const KeyGrab& grab)
{
    for (xcb_keycode_t keycode : grab.at.keycodes) {
        for (std::uint16_t variant : grab.at.lockVariants)
            xcb_ungrab_key(m_connection, keycode, m_root, static_cast<std::uint16_t>(grab.mask | variant));
    }
}

void X11HotKeys::FollowKeymap()
{
    for (KeyGrab& grab : m_grabs) {
        Placement now = PlacementOf(grab.key.vk);
        if (now == grab.at)
            continue;
        Ungrab(grab);
        grab.at = std::move(now);
        // A key whose new place another client holds stays silent until the mapping changes again.
        if (grab.at.keycodes.empty() || GrabAll(grab) != 0)
            grab.at = {};
    }
    xcb_flush(m_connection);
}

bool X11HotKeys::IsKeymapChange(const xcb_generic_event_t& event) const
{
    const std::uint8_t type = event.response_type & 0x7F;
    if (type == XCB_MAPPING_NOTIFY)
        return reinterpret_cast<const xcb_mapping_notify_event_t&>(event).request != XCB_MAPPING_POINTER;
    if (m_xkbFirstEvent == 0 || type != m_xkbFirstEvent)
        return false;
    const std::uint8_t xkbType = event.pad0;
    return xkbType == XkbNewKeyboardNotify || xkbType == XkbMapNotify;
}

bool X11HotKeys::IsRepeat(const xcb_key_press_event_t& key)
{
    const auto held = std::find_if(m_down.begin(), m_down.end(), [&](const Down& down) { return down.key == key.detail; });
    if (held == m_down.end()) {
        m_down.push_back({key.detail, key.time});
        return false;
    }
    // A release another client's grab took leaves a key down here; no key repeats this slowly.
    const bool repeat = key.time - held->lastPress < LongestRepeatMs;
    held->lastPress = key.time;
    return repeat;
}

bool X11HotKeys::Holding()
{
    if (m_down.empty())
        return false;
    Reply<xcb_query_keymap_reply_t> keys(xcb_query_keymap_reply(m_connection, xcb_query_keymap(m_connection), nullptr),
                                         &free);
    if (keys)
        std::erase_if(m_down, [&](const Down& down) { return (keys->keys[down.key / 8] & (1u << (down.key % 8))) == 0; });
    return !m_down.empty();
}

void X11HotKeys::Released(const xcb_key_release_event_t& key)
{
    std::erase_if(m_down, [&](const Down& down) { return down.key == key.detail; });
    if (m_down.empty() && m_allReleased)
        m_allReleased();
}

bool X11HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != QByteArrayView("xcb_generic_event_t"))
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if (IsKeymapChange(*event)) {
        // Qt reads the new mapping from this very event: it goes on to Qt.
        m_keymapChanged.start();
        return false;
    }
    const std::uint8_t type = event->response_type & 0x7F;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (key->event != m_root)
        return false;
    if (type == XCB_KEY_RELEASE) {
        // Matched by its key alone: a modifier may have come or gone while the key was held.
        if (std::none_of(m_down.begin(), m_down.end(), [&](const Down& down) { return down.key == key->detail; }))
            return false;
        Released(*key);
        return true;
    }

    const std::uint16_t state = key->state & ComparedModifiers;
    for (const KeyGrab& grab : m_grabs) {
        const bool matches = grab.mask == state
                             && std::find(grab.at.keycodes.begin(), grab.at.keycodes.end(), key->detail)
                                    != grab.at.keycodes.end();
        if (!matches)
            continue;
        const bool repeat = IsRepeat(*key);
        if (!repeat || (grab.key.fsModifiers & MOD_NOREPEAT) == 0) {
            // A copy: the receiver may release this very key.
            const HotKey pressed = grab.key;
            m_pressed(pressed);
        }
        return true;
    }
    return false;
}

} // namespace platform
