#pragma once

#include "AtomTable.h"
#include "Desktop.h"
#include "HotKeyBackend.h"
#include "MessageHook.h"

#include <QAbstractNativeEventFilter>
#include <QDBusConnection>
#include <QHash>
#include <QPointer>

#include <memory>
#include <optional>
#include <vector>

namespace platform {

class LastResort;
class PortalHotKeys;

// The desktop services on Linux. Hot keys go through the desktop portal's global shortcuts in a
// Wayland session whose desktop offers them, and otherwise are key grabs on Qt's own X11
// connection (in a Wayland session that is XWayland, which sees keys only while an X11 program
// has the focus). A Wayland session with neither takes the keys without ever delivering them,
// so the window still starts; elsewhere without an X11 connection (Qt's offscreen platform)
// registering a hot key fails with last error 1400. Text is typed into other programs through
// XTest on X11 and through the portal's remote desktop in a Wayland session; other programs'
// selections are read through the compositor's data control where it offers it, else through X11
// (XWayland in a Wayland session). Window handles are
// the top-level widgets' X window ids on X11, numbers the platform gives out elsewhere. Messages
// that reach a window from outside (hot-key presses, destruction) and the desktop's answers are delivered
// inside the last resort, so no failure escapes into Qt. Needs a QGuiApplication; one per
// program, living longer than every window it knows.
class LinuxPlatform final : public Desktop {
public:
    // bus: where the desktop portal is asked for global shortcuts and typing in a Wayland session
    // (by default a session-bus connection of the platform's own, made only there); the
    // program's application id (QGuiApplication::desktopFileName) is registered on it first.
    explicit LinuxPlatform(LastResort& lastResort, std::optional<QDBusConnection> bus = std::nullopt);
    ~LinuxPlatform() override;
    LinuxPlatform(const LinuxPlatform&) = delete;
    LinuxPlatform& operator=(const LinuxPlatform&) = delete;

    // How hot keys are registered: X11 grabs, or the portal.
    bool HasX11() const { return m_x11Filter != nullptr; }
    bool UsesPortal() const { return m_portal != nullptr; }

    HWND RegisterWindow(QWidget& window) override;
    void WindowDestroyed(HWND hwnd) override;
    void MessageBox(QWidget* owner, const QString& text) override;
    QString ChooseFile(QWidget* owner, std::uint32_t flags) override;
    void DescribeHotKey(const QString& name, const QString& description) override;
    HotKeyReach HotKeysReach() const override { return m_reach; }
    HotKeyChoice HotKeysChoice() const override;
    void ChooseHotKeys() override;
    void TypeText(const QString& text, Typing::Done done) override;
    void ReadSelection(std::size_t limit, SelectionReading::Done done) override;

    ATOM GlobalAddAtomA(const QByteArray& name) override;
    ATOM GlobalDeleteAtom(ATOM atom) override;
    bool RegisterHotKey(HWND hwnd, std::int32_t id, std::uint32_t fsModifiers, std::uint32_t vk) override;
    bool UnregisterHotKey(HWND hwnd, std::int32_t id) override;
    std::uint32_t FormatMessageA(std::uint32_t flags, std::uint32_t messageId, std::uint32_t languageId,
                                 char* buffer, std::uint32_t size) override;
    std::uint32_t GetTickCount() override;
    std::uint32_t GetLastError() override;
    bool IsIconic(HWND hwnd) override;
    std::int32_t SendMessageA(HWND hwnd, std::int32_t msg, std::int32_t wParam, std::int32_t lParam) override;
    void HookMessage(ISubclass& receiver, HWND hwnd, std::int32_t msg) override;
    void UnhookMessage(ISubclass& receiver, HWND hwnd, std::int32_t msg) override;
    QString ExecutableBaseName() override;

private:
    std::int32_t Deliver(HWND hwnd, std::int32_t msg, std::int32_t wParam, std::int32_t lParam);
    std::int32_t OwnProcessing(HWND hwnd, std::int32_t msg, std::int32_t wParam, std::int32_t lParam);
    bool IsWindow(HWND hwnd) const;
    void Pressed(const HotKey& key);
    // The name the key was registered under: its atom's text without the "_<program>_<ticks>"
    // that makes the atom unique.
    QString KeyNameOf(std::int32_t id) const;

    LastResort& m_lastResort;
    AtomTable m_atoms;
    MessageHook m_hooks;
    QHash<HWND, QPointer<QWidget>> m_windows;
    HWND m_lastHandle = 0;
    QHash<QString, QString> m_descriptions;
    std::vector<HotKey> m_registered;
    std::unique_ptr<HotKeyBackend> m_keys;
    QAbstractNativeEventFilter* m_x11Filter = nullptr;
    PortalHotKeys* m_portal = nullptr;
    HotKeyReach m_reach = HotKeyReach::Nowhere;
    // Goes before the key backend, which tells it when grabbed keys are released.
    std::unique_ptr<Typing> m_typing;
    std::unique_ptr<SelectionReading> m_selection;
};

} // namespace platform
