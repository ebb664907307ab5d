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
#include <string>
#include <utility>

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

// A key code that no layout level uses, 0 when there is none.
xcb_keycode_t SpareKeycode(xcb_connection_t* connection, std::uint8_t& keysymsPerKeycode)
{
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    Reply<xcb_get_keyboard_mapping_reply_t> mapping(
        xcb_get_keyboard_mapping_reply(connection,
                                       xcb_get_keyboard_mapping(connection, setup->min_keycode, count), nullptr),
        &free);
    if (!mapping)
        return 0;
    keysymsPerKeycode = mapping->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    for (int i = count - 1; i >= 0; --i) {
        const xcb_keysym_t* row = syms + i * keysymsPerKeycode;
        if (std::all_of(row, row + keysymsPerKeycode, [](xcb_keysym_t s) { return s == XCB_NO_SYMBOL; }))
            return static_cast<xcb_keycode_t>(setup->min_keycode + i);
    }
    return 0;
}

} // namespace

struct X11Typing::Typed {
    std::u32string characters;
    std::size_t next = 0;
    Done done;
    Keymap keymap{nullptr, &xkb_keymap_unref};
    State now{nullptr, &xkb_state_unref};
    ModifierKeys modifiers;
    xkb_mod_mask_t pressable = 0;
    xcb_window_t focus = XCB_NONE;
    std::vector<xcb_keycode_t> held;
};

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
        EmptySpareKey();
        if (!TypeOn())
            return;
        Finish();
        TypeWaiting();
    });
}

X11Typing::~X11Typing()
{
    EmptySpareKey();
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
    while (!m_typed && !m_waiting.empty() && !m_keyboardHeld()) {
        auto [text, done] = std::move(m_waiting.front());
        m_waiting.pop_front();
        auto typed = std::make_unique<Typed>();
        typed->characters = text.toStdU32String();
        typed->done = std::move(done);

        const Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS), &xkb_context_unref);
        if (context)
            typed->keymap.reset(xkb_x11_keymap_new_from_device(context.get(), m_connection, m_device,
                                                               XKB_KEYMAP_COMPILE_NO_FLAGS));
        if (typed->keymap)
            typed->now.reset(xkb_x11_state_new_from_device(typed->keymap.get(), m_connection, m_device));
        if (!typed->now) {
            typed->done(false);
            continue;
        }
        typed->modifiers = ModifierKeysOf(m_connection);
        for (int modifier = 0; modifier < ModifierCount; ++modifier) {
            if (modifier != LockIndex && !typed->modifiers[modifier].empty())
                typed->pressable |= 1u << modifier;
        }
        typed->focus = FocusWindow();
        typed->held = HeldModifierKeys(m_connection, typed->modifiers);
        for (const xcb_keycode_t key : typed->held)
            Fake(XCB_KEY_RELEASE, key);
        m_typed = std::move(typed);
        if (!TypeOn())
            return;
        Finish();
    }
}

bool X11Typing::TypeOn()
{
    Typed& typed = *m_typed;
    while (typed.next < typed.characters.size()) {
        if (FocusWindow() != typed.focus)
            return true; // the rest is dropped
        const xkb_keysym_t keysym = xkb_utf32_to_keysym(typed.characters[typed.next++]);
        xcb_keycode_t key = 0;
        std::vector<xcb_keycode_t> modifiers;
        if (const auto found = Find(typed.keymap.get(), typed.now.get(), keysym, typed.pressable)) {
            key = found->first;
            for (int modifier = 0; modifier < ModifierCount; ++modifier) {
                if ((found->second & (1u << modifier)) != 0)
                    modifiers.push_back(typed.modifiers[modifier].front());
            }
        } else if (keysym != XKB_KEY_NoSymbol && (key = SpareKeycode(m_connection, m_keysymsPerKeycode)) != 0) {
            // Every level the same, so no modifier changes it.
            const std::vector<xcb_keysym_t> row(m_keysymsPerKeycode, keysym);
            xcb_change_keyboard_mapping(m_connection, 1, key, m_keysymsPerKeycode, row.data());
            m_spareInUse = key;
        } else {
            continue;
        }
        for (const xcb_keycode_t modifier : modifiers)
            Fake(XCB_KEY_PRESS, modifier);
        Fake(XCB_KEY_PRESS, key);
        Fake(XCB_KEY_RELEASE, key);
        for (auto modifier = modifiers.rbegin(); modifier != modifiers.rend(); ++modifier)
            Fake(XCB_KEY_RELEASE, *modifier);
        if (m_spareInUse != 0) {
            xcb_flush(m_connection);
            m_restore.start();
            return false;
        }
    }
    return true;
}

void X11Typing::Finish()
{
    const std::unique_ptr<Typed> typed = std::move(m_typed);
    for (const xcb_keycode_t key : typed->held)
        Fake(XCB_KEY_PRESS, key);
    xcb_flush(m_connection);
    typed->done(true);
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

void X11Typing::EmptySpareKey()
{
    if (m_spareInUse == 0)
        return;
    const std::vector<xcb_keysym_t> empty(m_keysymsPerKeycode, XCB_NO_SYMBOL);
    xcb_change_keyboard_mapping(m_connection, 1, std::exchange(m_spareInUse, 0), m_keysymsPerKeycode, empty.data());
    xcb_flush(m_connection);
}

} // namespace platform
