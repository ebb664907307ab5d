#pragma once

#include "platform/SelectionReading.h"

#include <QObject>
#include <QTimer>

#include <xcb/xcb.h>

#include <memory>

class QSocketNotifier;

namespace platform {

// Reading the primary selection, and where it is empty the clipboard, as any X client may at any
// time: the owner is asked to convert it to text (UTF8_STRING, else STRING) into a property of a
// window made for this one reading, and hands it over whole or, when it is large, in chunks (INCR).
// Runs on an X connection of its own, opened at the first reading, so that waiting for the owner
// never stops Qt's event handling: the connection's socket is watched by the event loop. Once
// `limit` bytes have come the rest is left; the window goes, and with it whatever the owner still
// sends. In a Wayland session this reads what the compositor lets XWayland's clients see.
class X11Selection final : public SelectionReading {
public:
    X11Selection();
    ~X11Selection() override;
    X11Selection(const X11Selection&) = delete;
    X11Selection& operator=(const X11Selection&) = delete;

    void Read(std::size_t limit, Done done) override;

private:
    struct Reading;

    bool Connect();
    // Asks the next owner on the list for its text; finishes when none is left.
    void AskNext();
    void HandleEvents();
    void Converted(const xcb_selection_notify_event_t& event);
    void ChunkArrived();
    // Appends what the property holds, up to the limit, and deletes it; false when it held nothing.
    bool TakeProperty();
    void Finish(SelectionText::Outcome outcome);

    xcb_connection_t* m_connection = nullptr;
    std::unique_ptr<QSocketNotifier> m_notifier;
    xcb_window_t m_root = 0;
    xcb_atom_t m_clipboard = 0;
    xcb_atom_t m_utf8 = 0;
    xcb_atom_t m_incr = 0;
    xcb_atom_t m_property = 0;
    std::unique_ptr<Reading> m_reading;
    QTimer m_deadline;
    // Answers go out through the event loop, never from inside a call, and never once this has gone.
    QObject m_answers;
};

} // namespace platform
