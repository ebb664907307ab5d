#include "X11Typing.h"

#include <X11/keysym.h>
#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <memory>
#include <optional>

namespace platform {

namespace {

// How long a spare key code keeps its character: the focused program reads the new mapping when
// the mapping notice reaches it, which must be before the mapping is emptied again (xdotool
// waits its key delay, 12 ms, for the same reason).
constexpr int SpareKeyHoldMs = 50;
constexpr int ModifierCount = 8;
constexpr int LockIndex = 1;
constexpr int NumLockIndex = 4; // Mod2, where every layout puts NumLock
constexpr std::size_t MaxMasks = 16;

template <class T>
using Reply = std::unique_ptr<T, decltype(&free)>;
using Keymap = std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)>;
using State = std::unique_ptr<xkb_state, decltype(&xkb_state_unref)>;
using Context = std::unique_ptr<xkb_context, decltype(&xkb_context_unref)>;

// The keys on each of the eight modifiers, as the core modifier mapping lists them.
using ModifierKeys = std::array<std::vector<xcb_keycode_t>, ModifierCount>;

ModifierKeys ModifierKeysOf(xcb_connection_t* connection)
{
    ModifierKeys keys;
    Reply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr), &free);
    if (!mapping)
        return keys;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
    for (int modifier = 0; modifier < ModifierCount; ++modifier) {
        for (int i = 0; i < mapping->keycodes_per_modifier; ++i) {
            if (const xcb_keycode_t code = codes[modifier * mapping->keycodes_per_modifier + i]; code != 0)
                keys[modifier].push_back(code);
        }
    }
    return keys;
}

// The modifier keys held down now that change what a key types: not the locks.
std::vector<xcb_keycode_t> HeldModifierKeys(xcb_connection_t* connection, const ModifierKeys& modifiers)
{
    std::vector<xcb_keycode_t> held;
    Reply<xcb_query_keymap_reply_t> down(xcb_query_keymap_reply(connection, xcb_query_keymap(connection), nullptr),
                                         &free);
    if (!down)
        return held;
    for (int modifier = 0; modifier < ModifierCount; ++modifier) {
        if (modifier == LockIndex || modifier == NumLockIndex)
            continue;
        for (const xcb_keycode_t key : modifiers[modifier]) {
            if ((down->keys[key / 8] & (1u << (key % 8))) != 0 && std::find(held.begin(), held.end(), key) == held.end())
                held.push_back(key);
        }
    }
    return held;
}

// The key and modifiers that type keysym in the layout active now with the locks as they are,
// the fewest modifiers first; no key when the layout lacks the keysym.
std::optional<std::pair<xcb_keycode_t, xkb_mod_mask_t>> Find(xkb_keymap* keymap, xkb_state* now,
                                                             xkb_keysym_t keysym, xkb_mod_mask_t pressable)
{
    const xkb_layout_index_t layout = xkb_state_serialize_layout(now, XKB_STATE_LAYOUT_EFFECTIVE);
    const xkb_mod_mask_t locked = xkb_state_serialize_mods(now, XKB_STATE_MODS_LOCKED);
    const State trial(xkb_state_new(keymap), &xkb_state_unref);
    std::optional<std::pair<xcb_keycode_t, xkb_mod_mask_t>> best;
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap); ++key) {
        const xkb_layout_index_t keyLayout = xkb_state_key_get_layout(now, key);
        if (keyLayout == XKB_LAYOUT_INVALID)
            continue;
        for (xkb_level_index_t level = 0; level < xkb_keymap_num_levels_for_key(keymap, key, keyLayout); ++level) {
            const xkb_keysym_t* syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(keymap, key, keyLayout, level, &syms) != 1 || syms[0] != keysym)
                continue;
            std::array<xkb_mod_mask_t, MaxMasks> masks{};
            const std::size_t count = xkb_keymap_key_get_mods_for_level(keymap, key, keyLayout, level, masks.data(),
                                                                        masks.size());
            for (std::size_t i = 0; i < count; ++i) {
                const xkb_mod_mask_t mask = masks[i];
                if ((mask & ~pressable) != 0 || (best && std::popcount(mask) >= std::popcount(best->second)))
                    continue;
                // The locks take part in choosing the level: CapsLock may turn a level round.
                xkb_state_update_mask(trial.get(), mask, 0, locked, 0, 0, layout);
                if (xkb_state_key_get_one_sym(trial.get(), key) == keysym)
                    best = {{static_cast<xcb_keycode_t>(key), mask}};
            }
        }
    }
    return best;
}

// Key codes that no layout level uses.
std::vector<xcb_keycode_t> SpareKeycodes(xcb_connection_t* connection, std::uint8_t& keysymsPerKeycode)
{
    std::vector<xcb_keycode_t> spare;
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    Reply<xcb_get_keyboard_mapping_reply_t> mapping(
        xcb_get_keyboard_mapping_reply(connection,
                                       xcb_get_keyboard_mapping(connection, setup->min_keycode, count), nullptr),
        &free);
    if (!mapping)
        return spare;
    keysymsPerKeycode = mapping->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    for (int i = 0; i < count; ++i) {
        const xcb_keysym_t* row = syms + i * keysymsPerKeycode;
        if (std::all_of(row, row + keysymsPerKeycode, [](xcb_keysym_t s) { return s == XCB_NO_SYMBOL; }))
            spare.push_back(static_cast<xcb_keycode_t>(setup->min_keycode + i));
    }
    return spare;
}

} // namespace

X11Typing::X11Typing(xcb_connection_t* connection, std::function<bool()> keyboardHeld)
    : m_connection(connection), m_keyboardHeld(std::move(keyboardHeld))
{
    Reply<xcb_test_get_version_reply_t> xtest(
        xcb_test_get_version_reply(connection, xcb_test_get_version(connection, 2, 2), nullptr), &free);
    const bool xkb = xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                                 XKB_X11_MIN_MINOR_XKB_VERSION, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS,
                                                 nullptr, nullptr, nullptr, nullptr)
                     == 1;
    m_device = xkb ? xkb_x11_get_core_keyboard_device_id(connection) : -1;
    m_usable = xtest != nullptr && m_device >= 0;
    m_restore.setSingleShot(true);
    m_restore.setInterval(SpareKeyHoldMs);
    QObject::connect(&m_restore, &QTimer::timeout, [this] {
        RestoreSpareKeys();
        TypeWaiting();
    });
}

X11Typing::~X11Typing()
{
    RestoreSpareKeys();
}

void X11Typing::Type(const QString& text, Done done)
{
    if (!m_usable) {
        done(false);
        return;
    }
    m_waiting.emplace_back(text, std::move(done));
    TypeWaiting();
}

void X11Typing::KeyboardReleased()
{
    TypeWaiting();
}

void X11Typing::TypeWaiting()
{
    while (!m_waiting.empty() && !m_restore.isActive() && !m_keyboardHeld()) {
        auto [text, done] = std::move(m_waiting.front());
        m_waiting.pop_front();
        done(TypeNow(text));
    }
}

bool X11Typing::TypeNow(const QString& text)
{
    const Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS), &xkb_context_unref);
    const Keymap keymap(context ? xkb_x11_keymap_new_from_device(context.get(), m_connection, m_device,
                                                                 XKB_KEYMAP_COMPILE_NO_FLAGS)
                                : nullptr,
                        &xkb_keymap_unref);
    const State now(keymap ? xkb_x11_state_new_from_device(keymap.get(), m_connection, m_device) : nullptr,
                    &xkb_state_unref);
    if (!now)
        return false;
    const ModifierKeys modifiers = ModifierKeysOf(m_connection);
    xkb_mod_mask_t pressable = 0;
    for (int modifier = 0; modifier < ModifierCount; ++modifier) {
        if (modifier != LockIndex && !modifiers[modifier].empty())
            pressable |= 1u << modifier;
    }
    std::vector<xcb_keycode_t> spare;
    std::vector<std::pair<xcb_keysym_t, xcb_keycode_t>> given;

    const xcb_window_t focus = FocusWindow();
    const std::vector<xcb_keycode_t> held = HeldModifierKeys(m_connection, modifiers);
    for (const xcb_keycode_t key : held)
        Fake(XCB_KEY_RELEASE, key);
    for (const char32_t character : text.toUcs4()) {
        if (FocusWindow() != focus)
            break;
        const xkb_keysym_t keysym = xkb_utf32_to_keysym(character);
        Stroke stroke;
        if (const auto found = Find(keymap.get(), now.get(), keysym, pressable)) {
            stroke.key = found->first;
            for (int modifier = 0; modifier < ModifierCount; ++modifier) {
                if ((found->second & (1u << modifier)) != 0)
                    stroke.modifiers.push_back(modifiers[modifier].front());
            }
        } else if (const auto same = std::find_if(given.begin(), given.end(), [&](const auto& g) { return g.first == keysym; });
                   same != given.end()) {
            stroke.key = same->second;
        } else {
            if (spare.empty() && given.empty())
                spare = SpareKeycodes(m_connection, m_keysymsPerKeycode);
            if (spare.empty() || keysym == XKB_KEY_NoSymbol)
                continue;
            stroke.key = spare.back();
            spare.pop_back();
            // Every level the same, so no modifier changes it.
            const std::vector<xcb_keysym_t> row(m_keysymsPerKeycode, keysym);
            xcb_change_keyboard_mapping(m_connection, 1, stroke.key, m_keysymsPerKeycode, row.data());
            given.emplace_back(keysym, stroke.key);
            m_spareInUse.push_back(stroke.key);
        }
        for (const xcb_keycode_t modifier : stroke.modifiers)
            Fake(XCB_KEY_PRESS, modifier);
        Fake(XCB_KEY_PRESS, stroke.key);
        Fake(XCB_KEY_RELEASE, stroke.key);
        for (auto modifier = stroke.modifiers.rbegin(); modifier != stroke.modifiers.rend(); ++modifier)
            Fake(XCB_KEY_RELEASE, *modifier);
    }
    for (const xcb_keycode_t key : held)
        Fake(XCB_KEY_PRESS, key);
    xcb_flush(m_connection);
    if (!m_spareInUse.empty())
        m_restore.start();
    return true;
}

xcb_window_t X11Typing::FocusWindow()
{
    Reply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr), &free);
    return focus ? focus->focus : XCB_NONE;
}

void X11Typing::Fake(std::uint8_t type, xcb_keycode_t key)
{
    xcb_test_fake_input(m_connection, type, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

void X11Typing::RestoreSpareKeys()
{
    const std::vector<xcb_keysym_t> empty(m_keysymsPerKeycode, XCB_NO_SYMBOL);
    for (const xcb_keycode_t key : m_spareInUse)
        xcb_change_keyboard_mapping(m_connection, 1, key, m_keysymsPerKeycode, empty.data());
    m_spareInUse.clear();
    xcb_flush(m_connection);
}

} // namespace platform
