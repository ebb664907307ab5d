#include "XClient.h"

#include <QCoreApplication>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace xtest {

namespace {

std::mutex s_errorsMutex;
// The first error code each of our connections received inside its current trap.
std::map<Display*, int> s_firstError;

int RecordError(Display* display, XErrorEvent* event)
{
    const std::lock_guard lock(s_errorsMutex);
    const auto found = s_firstError.find(display);
    if (found != s_firstError.end() && found->second == Success)
        found->second = event->error_code;
    return 0;
}

void SurviveBrokenConnection(Display*, void*)
{
    std::fputs("XClient: the connection to the X server broke\n", stderr);
}

void InstallErrorHandlerOnce()
{
    // Process-wide in Xlib; errors of connections other than ours are dropped, as Qt's own
    // handler would do.
    static std::once_flag once;
    std::call_once(once, [] { XSetErrorHandler(RecordError); });
}

template <class T>
using XPtr = std::unique_ptr<T, int (*)(void*)>;

template <class T>
XPtr<T> Owned(T* p)
{
    return XPtr<T>(p, &XFree);
}

} // namespace

// Errors of the requests made while it exists; Finish waits for the server's verdict. Traps
// nest: an inner one hands the outer one back its own state.
class XClient::ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : m_display(display)
    {
        XSync(m_display, False);
        const std::lock_guard lock(s_errorsMutex);
        const auto found = s_firstError.find(m_display);
        if (found != s_firstError.end())
            m_outer = found->second;
        s_firstError[m_display] = Success;
    }
    ~ErrorTrap()
    {
        const std::lock_guard lock(s_errorsMutex);
        if (m_outer >= 0)
            s_firstError[m_display] = m_outer;
        else
            s_firstError.erase(m_display);
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    int Finish()
    {
        XSync(m_display, False);
        const std::lock_guard lock(s_errorsMutex);
        return s_firstError[m_display];
    }

private:
    Display* m_display;
    int m_outer = -1;
};

XClient::XClient(const char* displayName)
{
    InstallErrorHandlerOnce();
    m_display = XOpenDisplay(displayName);
    if (m_display == nullptr)
        return;
    XSetIOErrorExitHandler(m_display, SurviveBrokenConnection, nullptr);
    int event = 0, error = 0, major = 0, minor = 0;
    m_hasXTest = XTestQueryExtension(m_display, &event, &error, &major, &minor) == True;
}

XClient::~XClient()
{
    if (m_display == nullptr)
        return;
    if (m_window != 0)
        XDestroyWindow(m_display, m_window);
    XCloseDisplay(m_display);
}

bool XClient::IsUsable() const
{
    return m_display != nullptr && m_hasXTest;
}

XWindow XClient::Root() const
{
    return DefaultRootWindow(m_display);
}

unsigned long XClient::InternAtom(const char* name)
{
    return XInternAtom(m_display, name, False);
}

void XClient::Sync()
{
    XSync(m_display, False);
}

bool XClient::TakeFocus()
{
    if (m_window == 0) {
        m_window = XCreateSimpleWindow(m_display, Root(), 20, 20, 320, 200, 0, 0,
                                       WhitePixel(m_display, DefaultScreen(m_display)));
        XStoreName(m_display, m_window, "editor");
        XSelectInput(m_display, m_window, KeyPressMask | KeyReleaseMask);
        XMapWindow(m_display, m_window);
        // A window manager maps it on its own time; focus needs a viewable window.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (MapStateOf(m_window) != MapState::Viewable) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    ErrorTrap trap(m_display);
    // With the focus None no key would reach any grab; PointerRoot first, then our window.
    XSetInputFocus(m_display, PointerRoot, RevertToPointerRoot, CurrentTime);
    XSetInputFocus(m_display, m_window, RevertToPointerRoot, CurrentTime);
    return trap.Finish() == Success && FocusOwner() == m_window;
}

XWindow XClient::FocusOwner()
{
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_display, &focus, &revert);
    return focus;
}

bool XClient::SawKey()
{
    XSync(m_display, False);
    bool saw = false;
    XEvent event;
    while (XCheckMaskEvent(m_display, KeyPressMask | KeyReleaseMask, &event))
        saw = true;
    return saw;
}

unsigned XClient::KeycodeOf(XKeySym keysym)
{
    return XKeysymToKeycode(m_display, keysym);
}

void XClient::Press(XKeySym keysym, const std::function<void()>& beforeFlush)
{
    XTestFakeKeyEvent(m_display, KeycodeOf(keysym), True, CurrentTime);
    if (beforeFlush)
        beforeFlush();
    XFlush(m_display);
}

void XClient::Release(XKeySym keysym)
{
    XTestFakeKeyEvent(m_display, KeycodeOf(keysym), False, CurrentTime);
    XFlush(m_display);
}

void XClient::Tap(XKeySym keysym)
{
    Press(keysym);
    Release(keysym);
    XSync(m_display, False);
}

void XClient::Hold(XKeySym keysym, std::chrono::milliseconds duration)
{
    Press(keysym);
    XSync(m_display, False);
    std::this_thread::sleep_for(duration);
    Release(keysym);
    XSync(m_display, False);
}

void XClient::ToggleLock(XKeySym lockKey)
{
    Tap(lockKey);
}

unsigned XClient::ModifierState()
{
    XkbStateRec state{};
    XkbGetState(m_display, XkbUseCoreKbd, &state);
    return state.mods;
}

unsigned XClient::NumLockMask()
{
    const KeyCode numLock = XKeysymToKeycode(m_display, XK_Num_Lock);
    std::unique_ptr<XModifierKeymap, int (*)(XModifierKeymap*)> map(XGetModifierMapping(m_display),
                                                                    &XFreeModifiermap);
    if (!map || numLock == 0)
        return 0;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < map->max_keypermod; ++i) {
            if (map->modifiermap[modifier * map->max_keypermod + i] == numLock)
                return 1u << modifier;
        }
    }
    return 0;
}

bool XClient::Grab(XKeySym keysym, unsigned modifiers)
{
    ErrorTrap trap(m_display);
    XGrabKey(m_display, KeycodeOf(keysym), modifiers, Root(), False, GrabModeAsync, GrabModeAsync);
    return trap.Finish() == Success;
}

void XClient::Ungrab(XKeySym keysym, unsigned modifiers)
{
    ErrorTrap trap(m_display);
    XUngrabKey(m_display, KeycodeOf(keysym), modifiers, Root());
    trap.Finish();
}

bool XClient::CanGrab(XKeySym keysym, unsigned modifiers)
{
    const bool grabbed = Grab(keysym, modifiers);
    if (grabbed)
        Ungrab(keysym, modifiers);
    return grabbed;
}

bool XClient::CanGrabAll(std::initializer_list<XKeySym> keysyms)
{
    const unsigned numLock = NumLockMask();
    const unsigned variants[] = {0, CapsLockMask, numLock, numLock | CapsLockMask};
    int error = Success;
    {
        ErrorTrap trap(m_display);
        for (XKeySym keysym : keysyms) {
            for (unsigned variant : variants)
                XGrabKey(m_display, KeycodeOf(keysym), variant, Root(), False, GrabModeAsync, GrabModeAsync);
        }
        error = trap.Finish();
    }
    // Ungrabbing what another client holds leaves that grab alone, so no bookkeeping is needed.
    ErrorTrap trap(m_display);
    for (XKeySym keysym : keysyms) {
        for (unsigned variant : variants)
            XUngrabKey(m_display, KeycodeOf(keysym), variant, Root());
    }
    trap.Finish();
    return error == Success;
}

XWindow XClient::FindWindow(const std::string& name)
{
    const unsigned long netWmName = InternAtom("_NET_WM_NAME");
    const unsigned long utf8 = InternAtom("UTF8_STRING");
    const auto nameOf = [&](Window window) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(m_display, window, netWmName, 0, 1024, False, utf8, &type, &format, &count,
                               &after, &data)
                == Success
            && data != nullptr) {
            const auto owned = Owned(data);
            if (type == utf8 && format == 8)
                return std::string(reinterpret_cast<const char*>(data), count);
        }
        char* wmName = nullptr;
        if (XFetchName(m_display, window, &wmName) != 0 && wmName != nullptr) {
            const auto owned = Owned(wmName);
            return std::string(wmName);
        }
        return std::string();
    };

    ErrorTrap trap(m_display);
    std::vector<Window> pending{Root()};
    while (!pending.empty()) {
        const Window window = pending.back();
        pending.pop_back();
        if (window != Root() && nameOf(window) == name && MapStateOf(window) == MapState::Viewable)
            return window;
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (XQueryTree(m_display, window, &root, &parent, &children, &count) != 0 && children != nullptr) {
            const auto owned = Owned(children);
            pending.insert(pending.end(), children, children + count);
        }
    }
    return 0;
}

XClient::MapState XClient::MapStateOf(XWindow window)
{
    ErrorTrap trap(m_display);
    XWindowAttributes attributes{};
    const Status ok = XGetWindowAttributes(m_display, window, &attributes);
    if (trap.Finish() != Success || ok == 0)
        return MapState::Gone;
    switch (attributes.map_state) {
    case IsViewable:
        return MapState::Viewable;
    case IsUnviewable:
        return MapState::Unviewable;
    default:
        return MapState::Unmapped;
    }
}

long XClient::WmStateOf(XWindow window)
{
    const unsigned long wmState = InternAtom("WM_STATE");
    ErrorTrap trap(m_display);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(m_display, window, wmState, 0, 2, False, wmState, &type, &format,
                                          &count, &after, &data);
    const auto owned = Owned(data);
    if (trap.Finish() != Success || status != Success || data == nullptr || count < 1 || format != 32)
        return -1;
    return reinterpret_cast<const long*>(data)[0];
}

bool XClient::HasNetWmState(XWindow window, const char* stateAtom)
{
    const unsigned long netWmState = InternAtom("_NET_WM_STATE");
    const unsigned long wanted = InternAtom(stateAtom);
    ErrorTrap trap(m_display);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(m_display, window, netWmState, 0, 64, False, XA_ATOM, &type, &format,
                                          &count, &after, &data);
    const auto owned = Owned(data);
    if (trap.Finish() != Success || status != Success || data == nullptr || format != 32)
        return false;
    const auto* atoms = reinterpret_cast<const unsigned long*>(data);
    return std::find(atoms, atoms + count, wanted) != atoms + count;
}

XClient::Rect XClient::GeometryOf(XWindow window)
{
    ErrorTrap trap(m_display);
    Window root = 0, child = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    XGetGeometry(m_display, window, &root, &x, &y, &width, &height, &border, &depth);
    int rootX = 0, rootY = 0;
    XTranslateCoordinates(m_display, window, root, 0, 0, &rootX, &rootY, &child);
    if (trap.Finish() != Success)
        return {};
    return Rect{rootX, rootY, width, height};
}

bool XClient::WaitForWindowManager(std::chrono::milliseconds timeout)
{
    const Window probe = XCreateSimpleWindow(m_display, Root(), 0, 0, 16, 16, 0, 0, 0);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto nextMap = std::chrono::steady_clock::now();
    bool managed = false;
    while (!managed && std::chrono::steady_clock::now() < deadline) {
        if (std::chrono::steady_clock::now() >= nextMap && MapStateOf(probe) == MapState::Unmapped) {
            XMapWindow(m_display, probe);
            nextMap = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
        }
        managed = WmStateOf(probe) == WmNormal;
        if (!managed)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    XDestroyWindow(m_display, probe);
    XSync(m_display, False);
    return managed;
}

bool XClient::Focus(XWindow window)
{
    ErrorTrap trap(m_display);
    XSetInputFocus(m_display, window, RevertToPointerRoot, CurrentTime);
    return trap.Finish() == Success && FocusOwner() == window;
}

bool XClient::TypeInto(XWindow window, std::initializer_list<XKeySym> combination)
{
    if (!Focus(window))
        return false;
    for (XKeySym keysym : combination)
        Press(keysym);
    for (auto it = std::rbegin(combination); it != std::rend(combination); ++it)
        Release(*it);
    XSync(m_display, False);
    return true;
}

bool XClient::Close(XWindow window)
{
    return SendMessage(window, "WM_PROTOCOLS", {static_cast<long>(InternAtom("WM_DELETE_WINDOW")), CurrentTime},
                       window, NoEventMask);
}

bool XClient::Iconify(XWindow window)
{
    return SendMessage(window, "WM_CHANGE_STATE", {WmIconic}, Root(), SubstructureRedirectMask | SubstructureNotifyMask);
}

bool XClient::SendMessage(XWindow window, const char* type, std::initializer_list<long> data, XWindow destination,
                          long mask)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = InternAtom(type);
    event.xclient.format = 32;
    std::copy(data.begin(), data.end(), event.xclient.data.l);
    ErrorTrap trap(m_display);
    XSendEvent(m_display, destination, False, mask, &event);
    return trap.Finish() == Success;
}

bool XClient::SelectionOwned(const char* selection)
{
    return XGetSelectionOwner(m_display, InternAtom(selection)) != 0;
}

unsigned long XClient::FenceAtom()
{
    return InternAtom("_HORCHPULT_TEST_FENCE");
}

void XClient::Fence()
{
    const long value = ++m_fenceCount;
    XChangeProperty(m_display, Root(), FenceAtom(), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&value), 1);
    XFlush(m_display);
}

void XClient::Click(int x, int y)
{
    XTestFakeMotionEvent(m_display, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(m_display, Button1, True, CurrentTime);
    XTestFakeButtonEvent(m_display, Button1, False, CurrentTime);
    XSync(m_display, False);
}

void XClient::Type(const std::string& text)
{
    for (const char c : text) {
        const auto keysym = static_cast<XKeySym>(static_cast<unsigned char>(c));
        const auto keycode = static_cast<KeyCode>(KeycodeOf(keysym));
        const bool shifted = XkbKeycodeToKeysym(m_display, keycode, 0, 0) != keysym;
        if (shifted)
            Press(XK_Shift_L);
        Tap(keysym);
        if (shifted)
            Release(XK_Shift_L);
    }
    XSync(m_display, False);
}

} // namespace xtest
