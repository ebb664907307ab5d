#pragma once

#include "Shortcuts.h"

#include "platform/HotKeyBackend.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class QDBusMessage;
class QDBusPendingCallWatcher;

namespace platform {

// System-wide hot keys through the desktop portal's global shortcuts (KDE Plasma, GNOME 48 and
// later, Hyprland: the way keys reach a program on Wayland). The keys registered together are
// bound together in one session: the key's name is the shortcut id, its combination the
// preferred trigger. Binding is asynchronous, and the desktop may ask the user first: Grab
// succeeds at once, and what the desktop made of the keys reaches `bound` once it answers and
// again whenever the user changes them. One activation is one press. The session is closed when
// the last key goes and when the object ends. Lives on the GUI thread.
class PortalHotKeys final : public QObject, public HotKeyBackend {
    Q_OBJECT
public:
    // The trigger the desktop gave a key, as the desktop writes it; empty when it left the key
    // unbound.
    struct Binding {
        HotKey key;
        QString trigger;
    };
    using Bound = std::function<void(const std::vector<Binding>& bindings)>;

    // Whether the portal on this bus offers global shortcuts; waits at most timeoutMs for it.
    static bool IsOffered(const QDBusConnection& bus, int timeoutMs);

    // appId: registered with the portal first where it can (the desktop then files the keys
    // under the program's .desktop file); x11Handles: window handles are X window ids, which
    // lets the desktop place its dialog over the window.
    PortalHotKeys(QDBusConnection bus, QString appId, bool x11Handles, Pressed pressed, Bound bound);
    ~PortalHotKeys() override;
    PortalHotKeys(const PortalHotKeys&) = delete;
    PortalHotKeys& operator=(const PortalHotKeys&) = delete;

    bool Grab(const HotKey& key) override;
    void Release(const HotKey& key) override;

    // The activation token the desktop sent with the last press, once; empty when there was none.
    QString TakeActivationToken();

private slots:
    void Responded(const QDBusMessage& response);
    void Activated(const QDBusMessage& activation);
    void ShortcutsChanged(const QDBusMessage& change);

private:
    enum class Stage { Closed, Registering, Creating, Binding, Bound };

    void Sync();
    void RegisterApplication();
    void CreateSession();
    void BindShortcuts();
    void CloseSession(QDBus::CallMode mode);
    // Sends a portal request and waits for its Response signal; a call the portal refuses
    // outright ends the attempt as a refusal does.
    void Request(QDBusMessage call, const QString& token);
    void AwaitResponse(const QString& requestPath);
    void Refused();
    void Report(const PortalShortcuts& given);
    QString NextToken();
    // Whether a signal, whose first argument is its session, is about this program's session.
    bool OfOwnSession(const QList<QVariant>& arguments) const;

    QDBusConnection m_bus;
    QString m_appId;
    bool m_x11Handles;
    Pressed m_pressed;
    Bound m_bound;

    Stage m_stage = Stage::Closed;
    std::vector<HotKey> m_keys;  // registered now
    std::vector<HotKey> m_sent;  // as last sent to the desktop
    QString m_session;
    QString m_request;           // the request whose Response is awaited
    QString m_activationToken;
    int m_tokens = 0;
    // Keys registered one after another are bound in one request.
    QTimer m_changed;
};

} // namespace platform
