#pragma once

#include "Messages.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace platform {

// System-wide hot keys as passive key grabs on the root window of one X connection (Qt's own).
// Every combination is grabbed as given and with CapsLock and NumLock added, each grab checked
// at once; a refused grab undoes the grabs already made. A grabbed press is handed to
// `pressed` on the GUI thread, once per press, autorepeat included. Failures set the thread's
// last error. Installed as a native event filter by its owner.
class X11HotKeys final : public QAbstractNativeEventFilter {
public:
    using Pressed = std::function<void(HWND hwnd, std::int32_t id, std::uint32_t fsModifiers,
                                       std::uint32_t vk)>;

    X11HotKeys(xcb_connection_t* connection, xcb_window_t root, Pressed pressed);
    ~X11HotKeys() override;
    X11HotKeys(const X11HotKeys&) = delete;
    X11HotKeys& operator=(const X11HotKeys&) = delete;

    bool Register(HWND hwnd, std::int32_t id, std::uint32_t fsModifiers, std::uint32_t vk);
    bool Unregister(HWND hwnd, std::int32_t id);
    void UnregisterWindow(HWND hwnd);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Grab {
        HWND hwnd;
        std::int32_t id;
        std::uint32_t fsModifiers;
        std::uint32_t vk;
        std::uint16_t mask;
        std::vector<xcb_keycode_t> keycodes;
        std::vector<std::uint16_t> lockVariants;
    };

    std::vector<std::uint16_t> LockVariants() const;
    void Ungrab(const Grab& grab);

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    Pressed m_pressed;
    std::vector<Grab> m_grabs;
};

} // namespace platform
