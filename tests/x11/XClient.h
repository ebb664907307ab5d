#pragma once

#include "../WaitUntil.h"

#include <chrono>
#include <functional>
#include <initializer_list>
#include <string>

// Kept free of Xlib's headers: their macros (True, False, None, KeyPress ...) break Qt and the
// program's own names. Keysyms come from <X11/keysym.h>, which defines nothing else.
struct _XDisplay;

namespace xtest {

using XWindow = unsigned long;
using XKeySym = unsigned long;

// Another X client, on an Xlib connection of its own: the editor that keeps the keyboard focus
// while the hot keys are pressed, the competitor for key grabs, and the user's hand on keys and
// close boxes. X errors never end the process: a request that fails is reported by the call
// that made it. One thread per object.
class XClient {
public:
    static constexpr unsigned CapsLockMask = 1u << 1;
    static constexpr long WmWithdrawn = 0;
    static constexpr long WmNormal = 1;
    static constexpr long WmIconic = 3;
    enum class MapState { Unmapped, Unviewable, Viewable, Gone };
    struct Rect {
        int x = 0, y = 0;
        unsigned width = 0, height = 0;
        bool operator==(const Rect&) const = default;
    };

    // On $DISPLAY unless another display is named.
    explicit XClient(const char* displayName = nullptr);
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    // False when $DISPLAY cannot be opened or lacks XTest.
    bool IsUsable() const;
    _XDisplay* display() const { return m_display; }

    // Maps a window of this client (once) and gives it the input focus; true when it has it.
    bool TakeFocus();
    XWindow FocusWindow() const { return m_window; }
    XWindow FocusOwner();
    // Whether the focus window received any key event since the last call.
    bool SawKey();

    unsigned KeycodeOf(XKeySym keysym);
    // beforeFlush runs after the press is queued and just before it is sent.
    void Press(XKeySym keysym, const std::function<void()>& beforeFlush = {});
    void Release(XKeySym keysym);
    void Tap(XKeySym keysym);
    void Hold(XKeySym keysym, std::chrono::milliseconds duration);
    // Presses Num_Lock or Caps_Lock once; ModifierState tells whether the lock is now on.
    void ToggleLock(XKeySym lockKey);
    unsigned ModifierState();
    unsigned NumLockMask();

    // Passive grabs on the root window, as a program with global hot keys makes them.
    bool Grab(XKeySym keysym, unsigned modifiers);
    void Ungrab(XKeySym keysym, unsigned modifiers);
    bool CanGrab(XKeySym keysym, unsigned modifiers = 0);
    // Every key, bare and with CapsLock, NumLock and both, at once; released again at once.
    bool CanGrabAll(std::initializer_list<XKeySym> keysyms);

    // The first viewable window whose _NET_WM_NAME or WM_NAME is exactly name, searched through
    // the whole tree as window managers reparent; 0 when there is none.
    XWindow FindWindow(const std::string& name);
    MapState MapStateOf(XWindow window);
    // The ICCCM WM_STATE a window manager keeps on a client window; -1 when absent.
    long WmStateOf(XWindow window);
    bool HasNetWmState(XWindow window, const char* stateAtom);
    Rect GeometryOf(XWindow window);
    // Waits until a window manager manages new windows: one that has only just announced
    // itself may still drop the map requests it gets (openbox does).
    bool WaitForWindowManager(std::chrono::milliseconds timeout);

    bool Focus(XWindow window);
    // Focuses window, presses the keys in order and releases them in reverse.
    bool TypeInto(XWindow window, std::initializer_list<XKeySym> combination);
    // What a window manager's close box sends.
    bool Close(XWindow window);
    // What a window manager's minimize button or a taskbar asks for: iconic state, through the
    // window manager, as ICCCM has clients and pagers ask.
    bool Iconify(XWindow window);

    // The user's hand on the mouse and the keyboard: a left click at root coordinates, and
    // typing printable ASCII into whatever has the focus (Shift where the character needs it).
    void Click(int x, int y);
    void Type(const std::string& text);

    // Whether a client holds the selection (PRIMARY, CLIPBOARD) now.
    bool SelectionOwned(const char* selection);

    // Changes a property on the root window; a client that watches the root sees the change
    // after every event the server generated before it.
    void Fence();
    unsigned long FenceAtom();

    void Sync();

private:
    class ErrorTrap;
    unsigned long InternAtom(const char* name);
    XWindow Root() const;
    // A client message of 32-bit data about window, sent to destination with this event mask.
    bool SendMessage(XWindow window, const char* type, std::initializer_list<long> data, XWindow destination,
                     long mask);

    _XDisplay* m_display = nullptr;
    bool m_hasXTest = false;
    XWindow m_window = 0;
    long m_fenceCount = 0;
};

using testing_support::WaitUntil;

} // namespace xtest
