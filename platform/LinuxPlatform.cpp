#include "LinuxPlatform.h"

#include "DesktopSession.h"
#include "Error.h"
#include "LastError.h"
#include "LastResort.h"
#include "MessageBox.h"
#include "SystemText.h"
#include "TickCount.h"
#include "UnreachableHotKeys.h"
#include "VirtualKeys.h"
#include "portal/PortalHotKeys.h"
#include "portal/PortalTyping.h"
#include "wayland/DataControlSelection.h"
#include "x11/X11HotKeys.h"
#include "x11/X11Selection.h"
#include "x11/X11Typing.h"

#include <QDBusConnection>
#include <QFileDialog>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QWidget>

#include <algorithm>

namespace platform {

namespace {
constexpr std::int32_t SystemCommandMask = 0xFFF0;
constexpr std::uint32_t KnownModifierFlags = MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN | MOD_NOREPEAT;
// A desktop whose portal does not answer by then is treated as one without global shortcuts.
constexpr int PortalProbeTimeoutMs = 2000;
// Handles given out where windows have no X window id; far from X's resource ids.
constexpr HWND FirstOwnHandle = 0x7F000001;

xcb_connection_t* QtX11Connection()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}
// A session-bus connection of the platform's own for the desktop portal: the portal ties a
// connection to the application id of its first call, and Qt's Wayland decorations ask the
// portal for settings on the shared connection as soon as a window appears.
QDBusConnection OwnPortalConnection()
{
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("horchpult-portal"));
}
} // namespace

LinuxPlatform::LinuxPlatform(LastResort& lastResort, std::optional<QDBusConnection> portalBus)
    : m_lastResort(lastResort)
{
    const auto pressed = [this](const HotKey& key) { Pressed(key); };
    xcb_connection_t* connection = QtX11Connection();
    const bool wayland = IsWaylandSession();
    // Only a Wayland session asks the portal; elsewhere the bus stays unconnected.
    const QDBusConnection bus = !wayland ? QDBusConnection(QString()) : portalBus ? *portalBus : OwnPortalConnection();
    if (wayland)
        PortalHotKeys::RegisterApplication(bus, QGuiApplication::desktopFileName(), PortalProbeTimeoutMs);
    const uint portalVersion = wayland ? PortalHotKeys::OfferedVersion(bus, PortalProbeTimeoutMs) : 0;
    if (portalVersion > 0) {
        auto portal = std::make_unique<PortalHotKeys>(
            bus, portalVersion, connection != nullptr, pressed,
            [this](const std::vector<PortalHotKeys::Binding>& bindings) {
                std::vector<HotKeyTrigger> triggers;
                for (const auto& [key, trigger] : bindings)
                    triggers.push_back({key.hwnd, key.fsModifiers, key.vk, trigger});
                m_lastResort.Run([&] { HotKeysBound.raise(triggers); });
            });
        m_portal = portal.get();
        m_keys = std::move(portal);
        m_reach = HotKeyReach::Everywhere;
    } else if (connection != nullptr) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        auto grabs = std::make_unique<X11HotKeys>(connection, root, pressed);
        if (!wayland) {
            auto typing = std::make_unique<X11Typing>(connection, [keys = grabs.get()] { return keys->Holding(); });
            grabs->OnAllReleased([to = typing.get()] { to->KeyboardReleased(); });
            m_typing = std::move(typing);
        }
        m_x11Filter = grabs.get();
        qGuiApp->installNativeEventFilter(m_x11Filter);
        m_keys = std::move(grabs);
        m_reach = wayland ? HotKeyReach::WhileX11HasFocus : HotKeyReach::Everywhere;
    } else if (wayland) {
        m_keys = std::make_unique<UnreachableHotKeys>();
    }
    // XWayland's keys reach X11 programs only: on Wayland the desktop types for the program.
    if (wayland && bus.isConnected())
        m_typing = std::make_unique<PortalTyping>(bus);
    else if (!m_typing)
        m_typing = std::make_unique<NoTyping>();
    // A compositor with data control hands the selection to any client of its own; the others may
    // still hand it to XWayland's.
    if (wayland)
        m_selection = DataControlSelection::Open();
    if (!m_selection && !qEnvironmentVariableIsEmpty("DISPLAY"))
        m_selection = std::make_unique<X11Selection>();
    if (!m_selection)
        m_selection = std::make_unique<NoSelectionReading>();
}

LinuxPlatform::~LinuxPlatform()
{
    if (m_x11Filter != nullptr)
        qGuiApp->removeNativeEventFilter(m_x11Filter);
}

HWND LinuxPlatform::RegisterWindow(QWidget& window)
{
    HWND hwnd = 0;
    if (QtX11Connection() != nullptr)
        hwnd = static_cast<HWND>(window.winId());
    else
        hwnd = m_lastHandle = m_lastHandle == 0 ? FirstOwnHandle : m_lastHandle + 1;
    m_windows.insert(hwnd, &window);
    return hwnd;
}

void LinuxPlatform::WindowDestroyed(HWND hwnd)
{
    m_lastResort.Run([&] { Deliver(hwnd, WM_DESTROY, 0, 0); });
    m_hooks.UnhookWindow(hwnd);
    for (const HotKey& key : m_registered) {
        if (key.hwnd == hwnd)
            m_keys->Release(key);
    }
    std::erase_if(m_registered, [&](const HotKey& key) { return key.hwnd == hwnd; });
    m_windows.remove(hwnd);
}

void LinuxPlatform::DescribeHotKey(const QString& name, const QString& description)
{
    m_descriptions.insert(name, description);
}

HotKeyChoice LinuxPlatform::HotKeysChoice() const
{
    return {HotKeySettingsPlace(), m_portal != nullptr && m_portal->HasOwnPage()};
}

void LinuxPlatform::ChooseHotKeys()
{
    if (m_portal != nullptr)
        m_portal->Choose();
}

void LinuxPlatform::ReadSelection(std::size_t limit, SelectionReading::Done done)
{
    m_selection->Read(limit, std::move(done));
}

void LinuxPlatform::TypeText(const QString& text, Typing::Done done)
{
    m_typing->Type(text, std::move(done));
}

void LinuxPlatform::MessageBox(QWidget* owner, const QString& text)
{
    ShowMessageBox(owner, text);
}

QString LinuxPlatform::ChooseFile(QWidget* owner, std::uint32_t flags)
{
    QFileDialog dialog(owner);
    dialog.setObjectName(QStringLiteral("CmD1"));
    dialog.setFileMode((flags & OFN_FILEMUSTEXIST) != 0 ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

ATOM LinuxPlatform::GlobalAddAtomA(const QByteArray& name)
{
    return m_atoms.Add(name);
}

ATOM LinuxPlatform::GlobalDeleteAtom(ATOM atom)
{
    return m_atoms.Delete(atom);
}

bool LinuxPlatform::RegisterHotKey(HWND hwnd, std::int32_t id, std::uint32_t fsModifiers, std::uint32_t vk)
{
    if (!m_keys || (hwnd != 0 && !IsWindow(hwnd))) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    if ((fsModifiers & ~KnownModifierFlags) != 0 || KeysymOfVirtualKey(vk) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const bool taken = std::any_of(m_registered.begin(), m_registered.end(), [&](const HotKey& k) {
        return (k.hwnd == hwnd && k.id == id) || (k.fsModifiers == fsModifiers && k.vk == vk);
    });
    if (taken) {
        SetLastError(ERROR_HOTKEY_ALREADY_REGISTERED);
        return false;
    }
    const QString name = KeyNameOf(id);
    HotKey key{hwnd, id, fsModifiers, vk, name, m_descriptions.value(name)};
    if (!m_keys->Grab(key))
        return false;
    m_registered.push_back(std::move(key));
    return true;
}

bool LinuxPlatform::UnregisterHotKey(HWND hwnd, std::int32_t id)
{
    const auto found = std::find_if(m_registered.begin(), m_registered.end(),
                                    [&](const HotKey& k) { return k.hwnd == hwnd && k.id == id; });
    if (found == m_registered.end()) {
        SetLastError(ERROR_HOTKEY_NOT_REGISTERED);
        return false;
    }
    m_keys->Release(*found);
    m_registered.erase(found);
    return true;
}

std::uint32_t LinuxPlatform::FormatMessageA(std::uint32_t flags, std::uint32_t messageId,
                                            std::uint32_t /*languageId*/, char* buffer, std::uint32_t size)
{
    return FormatSystemMessage(flags, messageId, buffer, size);
}

std::uint32_t LinuxPlatform::GetTickCount()
{
    return TickCount();
}

std::uint32_t LinuxPlatform::GetLastError()
{
    return LastError();
}

bool LinuxPlatform::IsIconic(HWND hwnd)
{
    const QWidget* window = m_windows.value(hwnd);
    return window != nullptr && window->isMinimized();
}

std::int32_t LinuxPlatform::SendMessageA(HWND hwnd, std::int32_t msg, std::int32_t wParam, std::int32_t lParam)
{
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return Deliver(hwnd, msg, wParam, lParam);
}

void LinuxPlatform::HookMessage(ISubclass& receiver, HWND hwnd, std::int32_t msg)
{
    if (!IsWindow(hwnd)) {
        throw Error(ObjectErrorNumber(1), platform::ExecutableBaseName() + QStringLiteral(".MessageHook"),
                    QStringLiteral("Cannot hook messages of window %1: no such window").arg(hwnd));
    }
    m_hooks.Hook(receiver, hwnd, msg);
}

void LinuxPlatform::UnhookMessage(ISubclass& receiver, HWND hwnd, std::int32_t msg)
{
    m_hooks.Unhook(receiver, hwnd, msg);
}

QString LinuxPlatform::ExecutableBaseName()
{
    return platform::ExecutableBaseName();
}

std::int32_t LinuxPlatform::Deliver(HWND hwnd, std::int32_t msg, std::int32_t wParam, std::int32_t lParam)
{
    return m_hooks.Deliver(hwnd, msg, wParam, lParam,
                           [this](HWND h, std::int32_t m, std::int32_t w, std::int32_t l) {
                               return OwnProcessing(h, m, w, l);
                           });
}

std::int32_t LinuxPlatform::OwnProcessing(HWND hwnd, std::int32_t msg, std::int32_t wParam, std::int32_t)
{
    QWidget* window = m_windows.value(hwnd);
    if (window == nullptr || msg != WM_SYSCOMMAND || (wParam & SystemCommandMask) != SC_RESTORE)
        return 0;
    // A minimized window comes back in its earlier state, maximized too; any other is restored to
    // its normal size.
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    else
        window->showNormal();
    // On Wayland only a token from the desktop lets a window come back to the front; Qt takes it
    // from the environment when the window asks to be activated.
    const QString token = m_portal != nullptr ? m_portal->TakeActivationToken() : QString();
    if (!token.isEmpty() && QGuiApplication::platformName() == QLatin1String("wayland")) {
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
        window->activateWindow();
    }
    return 0;
}

void LinuxPlatform::Pressed(const HotKey& key)
{
    const auto lParam = static_cast<std::int32_t>((key.vk << 16) | (key.fsModifiers & 0xFFFF));
    m_lastResort.Run([&] { Deliver(key.hwnd, WM_HOTKEY, key.id, lParam); });
}

QString LinuxPlatform::KeyNameOf(std::int32_t id) const
{
    const QString atomName = QString::fromLocal8Bit(m_atoms.Name(static_cast<ATOM>(id)));
    const QRegularExpression unique(QStringLiteral("_") + QRegularExpression::escape(platform::ExecutableBaseName())
                                    + QStringLiteral("_-?\\d+$"));
    const qsizetype at = atomName.indexOf(unique);
    return at >= 0 ? atomName.left(at) : atomName;
}

bool LinuxPlatform::IsWindow(HWND hwnd) const
{
    return m_windows.value(hwnd) != nullptr;
}

} // namespace platform
