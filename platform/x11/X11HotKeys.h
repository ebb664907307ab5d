#pragma once

#include "platform/HotKeyBackend.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace platform {

// System-wide hot keys as passive key grabs on the root window of one X connection (Qt's own).
// Every combination is grabbed as given and with CapsLock and NumLock added, each grab checked
// at once; a refused grab undoes the grabs already made. When the keyboard mapping changes
// (xmodmap, setxkbmap, a new keyboard) the keys are grabbed again on their new keycodes and with
// the new NumLock modifier. A grabbed press is handed to `pressed` on the GUI thread, once per
// press, autorepeat included unless the key was registered with MOD_NOREPEAT. Installed as a
// native event filter by its owner.
class X11HotKeys final : public HotKeyBackend, public QAbstractNativeEventFilter {
public:
    X11HotKeys(xcb_connection_t* connection, xcb_window_t root, Pressed pressed);
    ~X11HotKeys() override;
    X11HotKeys(const X11HotKeys&) = delete;
    X11HotKeys& operator=(const X11HotKeys&) = delete;

    bool Grab(const HotKey& key) override;
    void Release(const HotKey& key) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // Whether a grabbed key is held down: the X server then sends every key to this connection.
    bool Holding();
    // Called when the last grabbed key held down is released.
    void OnAllReleased(std::function<void()> released) { m_allReleased = std::move(released); }

private:
    // Where a combination sits on the keyboard as it is mapped now.
    struct Placement {
        std::vector<xcb_keycode_t> keycodes;
        std::vector<std::uint16_t> lockVariants;
        bool operator==(const Placement&) const = default;
    };
    struct KeyGrab {
        HotKey key;
        std::uint16_t mask;
        Placement at;
    };

    Placement PlacementOf(std::uint32_t vk) const;
    // Grabs every variant; on failure undoes them and returns the last-error code, else 0.
    std::uint32_t GrabAll(const KeyGrab& grab);
    void Ungrab(const KeyGrab& grab);
    bool IsKeymapChange(const xcb_generic_event_t& event) const;
    // Whether a grabbed key's press is a repeat of a key held down.
    bool IsRepeat(const xcb_key_press_event_t& key);
    void Released(const xcb_key_release_event_t& key);
    void FollowKeymap();

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    Pressed m_pressed;
    std::uint8_t m_xkbFirstEvent = 0;
    std::vector<KeyGrab> m_grabs;
    struct Down {
        xcb_keycode_t key;
        xcb_timestamp_t lastPress;
    };
    std::vector<Down> m_down; // grabbed keys pressed and not yet released
    std::function<void()> m_allReleased;
    // Mapping changes come in bursts; the keys are grabbed again once the burst is handled.
    QTimer m_keymapChanged;
};

} // namespace platform
