#pragma once

#include "platform/Typing.h"

#include <QTimer>

#include <xcb/xcb.h>

#include <deque>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace platform {

// Typing through XTest on one X connection (Qt's own), for the window that has the input focus.
// The keyboard layout is read anew for every text, so each character is pressed where the
// current layout has it, with the modifiers its level needs (Shift, AltGr), whatever is locked
// (CapsLock, NumLock). Modifier keys the user holds are let go for the moment and pressed again
// afterwards. A character the layout lacks is typed on a spare key code that is given that
// character and, once the focused program has had time to read the new mapping, emptied again
// before the next character, as xdotool does.
// When the input focus moves to another window, the rest of the text is dropped.
//
// While a key that this connection grabbed is held, the X server sends every key to the grab
// instead of the focused window: typing then waits until `KeyboardReleased` is called.
class X11Typing final : public Typing {
public:
    // keyboardHeld: whether a key this connection grabbed is held down now.
    X11Typing(xcb_connection_t* connection, std::function<bool()> keyboardHeld);
    ~X11Typing() override;
    X11Typing(const X11Typing&) = delete;
    X11Typing& operator=(const X11Typing&) = delete;

    void Type(const QString& text, Done done) override;
    // The keys this connection grabbed are all up again.
    void KeyboardReleased();

private:
    // The text being typed and what its typing found at the start.
    struct Typed;

    void TypeWaiting();
    // Types from the next character on; false where it waits for a spare key code to be emptied.
    bool TypeOn();
    // Gives back the modifiers let go for the text and reports it typed.
    void Finish();
    xcb_window_t FocusWindow();
    void Fake(std::uint8_t type, xcb_keycode_t key);
    void EmptySpareKey();

    xcb_connection_t* m_connection;
    std::function<bool()> m_keyboardHeld;
    bool m_usable = false;
    std::int32_t m_device = -1;
    std::deque<std::pair<QString, Done>> m_waiting;
    std::unique_ptr<Typed> m_typed;
    // The spare key code that holds a character now, 0 when none does; emptied when m_restore
    // fires.
    xcb_keycode_t m_spareInUse = 0;
    std::uint8_t m_keysymsPerKeycode = 0;
    QTimer m_restore;
};

} // namespace platform
