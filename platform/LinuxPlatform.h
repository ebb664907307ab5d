#pragma once

#include "AtomTable.h"
#include "Desktop.h"
#include "MessageHook.h"

#include <QHash>
#include <QPointer>

#include <memory>

namespace platform {

class LastResort;
class X11HotKeys;

// The desktop services on Linux. Hot keys are X11 key grabs through Qt's own connection;
// without an X11 connection (Wayland without XWayland, Qt's offscreen platform) registering a
// hot key fails with last error 1400. Window handles are the top-level widgets' X window ids.
// Messages that reach a window from outside (hot-key presses, destruction) are delivered
// inside the last resort, so no failure escapes into Qt. Needs a QGuiApplication; one per
// program, living longer than every window it knows.
class LinuxPlatform final : public Desktop {
public:
    explicit LinuxPlatform(LastResort& lastResort);
    ~LinuxPlatform() override;
    LinuxPlatform(const LinuxPlatform&) = delete;
    LinuxPlatform& operator=(const LinuxPlatform&) = delete;

    bool HasX11() const { return m_keys != nullptr; }

    HWND RegisterWindow(QWidget& window) override;
    void WindowDestroyed(HWND hwnd) override;
    void MessageBox(QWidget* owner, const QString& text) override;
    QString ChooseFile(QWidget* owner, std::uint32_t flags) override;

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

    LastResort& m_lastResort;
    AtomTable m_atoms;
    MessageHook m_hooks;
    QHash<HWND, QPointer<QWidget>> m_windows;
    std::unique_ptr<X11HotKeys> m_keys;
};

} // namespace platform
