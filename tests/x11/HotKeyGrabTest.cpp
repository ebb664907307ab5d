// The running program's hot keys on a real X server: this process is the program (Qt's own
// connection, the real platform, the real window), and XClient is everybody else.
#include "XClient.h"

#include "app/frm1.h"
#include "hotkeys/cRegHotKey.h"
#include "platform/Error.h"
#include "platform/LastResort.h"
#include "platform/LinuxPlatform.h"
#include "player/FakePlayer.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QProcess>
#include <QWidget>

#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <vector>

namespace {

using namespace std::chrono_literals;
using xtest::WaitUntil;
using xtest::XClient;
using xtest::XKeySym;

struct HotKey {
    QString name;
    std::int32_t modifiers = 0;
    std::int32_t key = 0;
    bool operator==(const HotKey&) const = default;
};

void PrintTo(const HotKey& k, std::ostream* os)
{
    *os << "(\"" << k.name.toStdString() << "\", " << k.modifiers << ", " << k.key << ')';
}

const HotKey Spielen{QStringLiteral("spielen"), 0, 114};
const HotKey Stop{QStringLiteral("stop"), 0, 113};
const HotKey Zurueck{QStringLiteral("zurueck"), 0, 112};

struct KeyCase {
    const char* label;
    XKeySym keysym;
    HotKey expected;
};
const KeyCase AllKeys[] = {{"F3", XK_F3, Spielen}, {"F2", XK_F2, Stop}, {"F1", XK_F1, Zurueck}};

// Sees every event on Qt's connection before the platform does: the presses that reach the
// root window through a grab, and the fence that says everything before it has been handled.
class RootWatch final : public QAbstractNativeEventFilter {
public:
    explicit RootWatch(unsigned long fenceAtom) : m_fenceAtom(fenceAtom) {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != QByteArrayView("xcb_generic_event_t"))
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        switch (event->response_type & 0x7F) {
        case XCB_KEY_PRESS: {
            const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
            if (key->event == key->root)
                ++m_rootPresses[key->detail];
            break;
        }
        case XCB_PROPERTY_NOTIFY:
            if (reinterpret_cast<const xcb_property_notify_event_t*>(event)->atom == m_fenceAtom)
                ++m_fences;
            break;
        default:
            break;
        }
        return false;
    }

    int RootPresses(unsigned keycode) const
    {
        const auto found = m_rootPresses.find(keycode);
        return found == m_rootPresses.end() ? 0 : found->second;
    }
    int Fences() const { return m_fences; }

private:
    unsigned long m_fenceAtom;
    std::map<unsigned, int> m_rootPresses;
    int m_fences = 0;
};

// Another client (the editor) and a watch on Qt's connection.
class X11Test : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(editor.IsUsable()) << "no X display with XTest at DISPLAY=" << qgetenv("DISPLAY").constData();
        QCoreApplication::instance()->installNativeEventFilter(&watch);
    }
    void TearDown() override { QCoreApplication::instance()->removeNativeEventFilter(&watch); }

    // Returns once this process has handled every event the server generated so far.
    bool Settle()
    {
        const int target = watch.Fences() + 1;
        editor.Fence();
        return WaitUntil([&] { return watch.Fences() >= target; });
    }

    void Record(hotkeys::cRegHotKey& registry)
    {
        registry.HotKeyPress.connect([this](const QString& name, std::int32_t modifiers, std::int32_t key) {
            presses.push_back(HotKey{name, modifiers, key});
        });
    }

    XClient editor;
    RootWatch watch{editor.IsUsable() ? editor.FenceAtom() : 0};
    std::vector<HotKey> presses;
};

// The program's window after Form_Load, as main() makes it. The watch is installed after the
// platform's filter and so runs before it.
class RunningWindowTest : public X11Test {
protected:
    RunningWindowTest() : desktop(lastResort), window(desktop, lastResort, std::make_unique<player::FakePlayer>()) {}

    void SetUp() override
    {
        X11Test::SetUp();
        ASSERT_TRUE(desktop.HasX11()) << "the platform found no X11 connection";
        ASSERT_NO_THROW(window.Form_Load());
        Record(*window.HotKeys());
    }

    platform::LastResort lastResort;
    platform::LinuxPlatform desktop;
    app::frm1 window;
};

struct LockCase {
    const char* label;
    std::vector<XKeySym> locks;
};

void PrintTo(const LockCase& c, std::ostream* os)
{
    *os << c.label;
}

class HotKeyPressTest : public RunningWindowTest, public testing::WithParamInterface<LockCase> {
protected:
    void TearDown() override
    {
        // The lock state belongs to the server, which other tests in this process share.
        for (XKeySym lock : GetParam().locks)
            editor.ToggleLock(lock);
        RunningWindowTest::TearDown();
    }
};

TEST_P(HotKeyPressTest, EachKeyRaisesItsEventOnceWhileAnotherClientKeepsTheFocus)
{
    for (XKeySym lock : GetParam().locks) {
        editor.ToggleLock(lock);
        const unsigned mask = lock == XK_Num_Lock ? editor.NumLockMask() : XClient::CapsLockMask;
        ASSERT_NE(mask, 0u) << "NumLock has no modifier bit on this server";
        ASSERT_EQ(editor.ModifierState() & mask, mask) << "the lock did not turn on";
    }
    window.show();
    ASSERT_TRUE(WaitUntil([&] { return editor.MapStateOf(window.winId()) == XClient::MapState::Viewable; }));
    ASSERT_TRUE(editor.TakeFocus()) << "the editor could not take the input focus";
    editor.SawKey();

    for (const KeyCase& k : AllKeys)
        editor.Tap(k.keysym);
    editor.Tap(XK_F3);
    ASSERT_TRUE(Settle());

    EXPECT_EQ(presses, (std::vector<HotKey>{Spielen, Stop, Zurueck, Spielen}))
        << "every press of F3, F2, F1, F3 must raise exactly its own event";
    EXPECT_EQ(editor.FocusOwner(), editor.FocusWindow()) << "a hot key took the focus from the editor";
    EXPECT_FALSE(editor.SawKey()) << "a grabbed key also reached the client with the focus";
}

INSTANTIATE_TEST_SUITE_P(Locks, HotKeyPressTest,
                         testing::Values(LockCase{"NoLock", {}}, LockCase{"NumLock", {XK_Num_Lock}},
                                         LockCase{"CapsLock", {XK_Caps_Lock}},
                                         LockCase{"NumLockAndCapsLock", {XK_Num_Lock, XK_Caps_Lock}}),
                         [](const testing::TestParamInfo<LockCase>& p) { return std::string(p.param.label); });

TEST_F(RunningWindowTest, HeldKeyRaisesOneEventPerAutorepeatPress)
{
    ASSERT_TRUE(editor.TakeFocus());
    editor.SawKey();
    // Xvfb repeats a held key after 660 ms, 25 times a second.
    constexpr auto RepeatDelay = 660ms;
    constexpr auto RepeatInterval = 40ms;
    const auto start = std::chrono::steady_clock::now();
    editor.Hold(XK_F3, 1200ms);
    const auto held = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_TRUE(Settle());

    const int serverPresses = watch.RootPresses(editor.KeycodeOf(XK_F3));
    const int atMost = 3 + static_cast<int>((held - RepeatDelay) / RepeatInterval);
    EXPECT_GT(serverPresses, 5) << "the server did not repeat the held key";
    EXPECT_LE(serverPresses, atMost) << "more presses than " << held.count() << " ms of autorepeat can give";
    EXPECT_EQ(static_cast<int>(presses.size()), serverPresses) << "each autorepeat press must raise one event";
    EXPECT_EQ(std::count(presses.begin(), presses.end(), Spielen), static_cast<std::ptrdiff_t>(presses.size()))
        << "a held F3 raised an event other than spielen";
    EXPECT_EQ(editor.FocusOwner(), editor.FocusWindow());
    EXPECT_FALSE(editor.SawKey()) << "the held key reached the client with the focus";
}

struct KeymapCase {
    const char* label;
    std::vector<std::string> xmodmap;
    bool numLockOn;
};

void PrintTo(const KeymapCase& c, std::ostream* os)
{
    *os << c.label;
}

class KeymapChangeTest : public RunningWindowTest, public testing::WithParamInterface<KeymapCase> {};

TEST_P(KeymapChangeTest, KeysStillArriveAfterTheKeyboardMappingChanged)
{
    QStringList arguments;
    for (const std::string& expression : GetParam().xmodmap)
        arguments << QStringLiteral("-e") << QString::fromStdString(expression);
    ASSERT_EQ(QProcess::execute(QStringLiteral("xmodmap"), arguments), 0) << "xmodmap failed";
    ASSERT_TRUE(Settle());
    // The keys are grabbed again once the burst of mapping events is handled.
    WaitUntil([] { return false; }, 200ms);

    // A client connected now knows only the new mapping.
    XClient typist;
    ASSERT_TRUE(typist.IsUsable());
    if (GetParam().numLockOn) {
        typist.ToggleLock(XK_Num_Lock);
        ASSERT_NE(typist.ModifierState() & typist.NumLockMask(), 0u) << "NumLock did not turn on";
    }
    ASSERT_TRUE(editor.TakeFocus());
    typist.Tap(XK_F3);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(presses, std::vector<HotKey>{Spielen}) << "F3 was lost with the keyboard mapping";
}

INSTANTIATE_TEST_SUITE_P(
    Mappings, KeymapChangeTest,
    testing::Values(KeymapCase{"F3OnAnotherKeycode", {"keysym F3 = NoSymbol", "keycode 200 = F3"}, false},
                    KeymapCase{"NumLockOnAnotherModifier", {"clear mod2", "add mod3 = Num_Lock"}, true}),
    [](const testing::TestParamInfo<KeymapCase>& p) { return std::string(p.param.label); });

TEST_F(X11Test, CombinationHeldByAnotherClientIsRefusedAndLeavesNoGrab)
{
    XClient holder;
    XClient third;
    ASSERT_TRUE(holder.IsUsable() && third.IsUsable());
    ASSERT_TRUE(holder.Grab(XK_F2, 0)) << "the other client could not take F2";

    platform::LastResort lastResort;
    platform::LinuxPlatform platform(lastResort);
    QWidget window;
    hotkeys::cRegHotKey registry(platform);
    registry.Attach(platform.RegisterWindow(window));
    Record(registry);

    ASSERT_NO_THROW(registry.RegisterKey(QStringLiteral("spielen"), 114, 0));
    try {
        registry.RegisterKey(QStringLiteral("stop"), 113, 0);
        ADD_FAILURE() << "registering F2 succeeded although another client holds it";
    } catch (const platform::Error& e) {
        EXPECT_EQ(e.number(), -2147220453);
        EXPECT_EQ(e.description(), QStringLiteral("Failed to Register Hot Key [Hot key is already registered.\r\n]"));
        EXPECT_TRUE(e.source().endsWith(QStringLiteral(".cRegHotKey"))) << e.source().toStdString();
    }
    ASSERT_NO_THROW(registry.RegisterKey(QStringLiteral("zurueck"), 112, 0));
    ASSERT_EQ(registry.Keys().size(), 2u);
    EXPECT_EQ(registry.Keys()[0].sName, QStringLiteral("spielen"));
    EXPECT_EQ(registry.Keys()[1].sName, QStringLiteral("zurueck"));

    // The refused attempt had grabbed the CapsLock and NumLock variants before the plain one
    // failed; each of them must be free again while the holder still has the plain key.
    const unsigned numLock = third.NumLockMask();
    ASSERT_NE(numLock, 0u);
    EXPECT_TRUE(third.CanGrab(XK_F2, XClient::CapsLockMask)) << "F2+CapsLock is still grabbed";
    EXPECT_TRUE(third.CanGrab(XK_F2, numLock)) << "F2+NumLock is still grabbed";
    EXPECT_TRUE(third.CanGrab(XK_F2, numLock | XClient::CapsLockMask)) << "F2+NumLock+CapsLock is still grabbed";
    holder.Ungrab(XK_F2, 0);
    EXPECT_TRUE(third.CanGrabAll({XK_F2})) << "F2 is not free after the other client let it go";

    EXPECT_FALSE(third.CanGrab(XK_F3)) << "the registration of F3 was lost";
    EXPECT_FALSE(third.CanGrab(XK_F1)) << "the registration of F1 was lost";
    ASSERT_TRUE(editor.TakeFocus());
    editor.Tap(XK_F3);
    editor.Tap(XK_F1);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(presses, (std::vector<HotKey>{Spielen, Zurueck}));
}

// The window under a real window manager, which iconifies, restores and maximizes it.
class WindowManagerTest : public RunningWindowTest {
protected:
    void SetUp() override
    {
        RunningWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        wm.setProgram(QStringLiteral("openbox"));
        wm.setArguments({QStringLiteral("--sm-disable")});
        wm.setStandardOutputFile(QProcess::nullDevice());
        wm.setStandardErrorFile(QProcess::nullDevice());
        wm.start();
        ASSERT_TRUE(wm.waitForStarted(5000)) << "openbox could not be started";
        ASSERT_TRUE(editor.WaitForWindowManager(10s)) << "openbox did not take over the display";
        id = window.winId();
    }
    void TearDown() override
    {
        if (wm.state() != QProcess::NotRunning) {
            wm.terminate();
            if (!wm.waitForFinished(5000))
                wm.kill();
            wm.waitForFinished(5000);
        }
        RunningWindowTest::TearDown();
    }

    struct Snapshot {
        long wmState = -1;
        XClient::MapState mapState = XClient::MapState::Gone;
        bool maximizedVert = false;
        bool maximizedHorz = false;
        XClient::Rect geometry;
        Qt::WindowStates qtState;
        QRect qtGeometry;
        bool operator==(const Snapshot&) const = default;
        friend void PrintTo(const Snapshot& s, std::ostream* os)
        {
            *os << "WM_STATE " << s.wmState << ", map state " << static_cast<int>(s.mapState) << ", maximized "
                << s.maximizedVert << '/' << s.maximizedHorz << ", X geometry " << s.geometry.x << ',' << s.geometry.y
                << ' ' << s.geometry.width << 'x' << s.geometry.height << ", Qt state " << s.qtState.toInt()
                << ", Qt geometry " << s.qtGeometry.x() << ',' << s.qtGeometry.y() << ' ' << s.qtGeometry.width()
                << 'x' << s.qtGeometry.height();
        }
    };

    Snapshot Take()
    {
        return Snapshot{editor.WmStateOf(id),
                        editor.MapStateOf(id),
                        editor.HasNetWmState(id, "_NET_WM_STATE_MAXIMIZED_VERT"),
                        editor.HasNetWmState(id, "_NET_WM_STATE_MAXIMIZED_HORZ"),
                        editor.GeometryOf(id),
                        window.windowState(),
                        window.geometry()};
    }

    // The window's state once nothing about it has changed for a while: the absence of a change
    // can only be seen by waiting.
    Snapshot Settled()
    {
        Snapshot last = Take();
        auto since = std::chrono::steady_clock::now();
        WaitUntil(
            [&] {
                const Snapshot now = Take();
                if (!(now == last)) {
                    last = now;
                    since = std::chrono::steady_clock::now();
                }
                return std::chrono::steady_clock::now() - since >= 300ms;
            },
            10s);
        return last;
    }

    QProcess wm;
    xtest::XWindow id = 0;
};

TEST_F(WindowManagerTest, MinimizedWindowIsRestoredByEachKey)
{
    window.show();
    ASSERT_TRUE(WaitUntil([&] { return editor.WmStateOf(id) == XClient::WmNormal; }))
        << "openbox did not map the window: " << testing::PrintToString(Take());
    for (const KeyCase& k : AllKeys) {
        SCOPED_TRACE(k.label);
        window.showMinimized();
        ASSERT_TRUE(WaitUntil([&] { return editor.WmStateOf(id) == XClient::WmIconic && window.isMinimized(); }))
            << "openbox did not iconify the window: " << testing::PrintToString(Take());
        ASSERT_TRUE(editor.TakeFocus());
        presses.clear();

        editor.Tap(k.keysym);

        EXPECT_TRUE(WaitUntil([&] {
            return editor.WmStateOf(id) == XClient::WmNormal
                   && editor.MapStateOf(id) == XClient::MapState::Viewable && !window.isMinimized();
        })) << "the press did not restore the minimized window: " << testing::PrintToString(Take());
        EXPECT_EQ(presses, std::vector<HotKey>{k.expected});
    }
}

TEST_F(WindowManagerTest, MaximizedWindowComesBackMaximized)
{
    window.showMaximized();
    ASSERT_TRUE(WaitUntil([&] {
        return editor.HasNetWmState(id, "_NET_WM_STATE_MAXIMIZED_VERT") && window.isMaximized();
    })) << "openbox did not maximize the window: " << testing::PrintToString(Take());
    // As the user minimizes it: through the window manager.
    ASSERT_TRUE(editor.Iconify(id));
    ASSERT_TRUE(WaitUntil([&] { return editor.WmStateOf(id) == XClient::WmIconic && window.isMinimized(); }))
        << "openbox did not iconify the window: " << testing::PrintToString(Take());
    ASSERT_TRUE(editor.TakeFocus());

    editor.Tap(XK_F3);

    EXPECT_TRUE(WaitUntil([&] {
        return editor.WmStateOf(id) == XClient::WmNormal && !window.isMinimized() && window.isMaximized()
               && editor.HasNetWmState(id, "_NET_WM_STATE_MAXIMIZED_VERT");
    })) << "the window did not come back maximized: " << testing::PrintToString(Take());
}

TEST_F(WindowManagerTest, WindowThatIsNotMinimizedIsLeftAsItIs)
{
    struct ShownCase {
        const char* label;
        void (QWidget::*show)();
        bool maximized;
    };
    const ShownCase cases[] = {{"normal", &QWidget::showNormal, false},
                               {"maximized", &QWidget::showMaximized, true}};
    for (const ShownCase& c : cases) {
        SCOPED_TRACE(c.label);
        (window.*c.show)();
        ASSERT_TRUE(WaitUntil([&] {
            return editor.WmStateOf(id) == XClient::WmNormal
                   && editor.HasNetWmState(id, "_NET_WM_STATE_MAXIMIZED_VERT") == c.maximized
                   && window.isMaximized() == c.maximized;
        })) << "openbox did not show the window as asked: " << testing::PrintToString(Take());
        const Snapshot before = Settled();
        presses.clear();

        for (const KeyCase& k : AllKeys)
            editor.Tap(k.keysym);
        ASSERT_TRUE(Settle());
        ASSERT_EQ(presses, (std::vector<HotKey>{Spielen, Stop, Zurueck}));

        EXPECT_EQ(Settled(), before) << "a hot key changed a window that was not minimized";
    }
}

} // namespace
