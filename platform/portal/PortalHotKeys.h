#pragma once

#include "Shortcuts.h"

#include "platform/HotKeyBackend.h"

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <vector>

class QDBusMessage;

namespace platform {

// System-wide hot keys through the desktop portal's global shortcuts (KDE Plasma, GNOME 48 and
// later, Hyprland: the way keys reach a program on Wayland). The keys registered together go to
// one session with a stable token, so that the desktop files them under the same name in every
// run: the key's name is the shortcut id, its combination the preferred trigger. The session
// first lists what the desktop kept of an earlier run and asks for a binding only when a key is
// missing there, so a desktop that asks the user does so once. What the desktop says of the keys
// (the binding's answer whatever its response code, ShortcutsChanged, a listing made whenever the
// program becomes active, a press of a key thought unbound) reaches `bound` when it changes. One
// activation is one press. The session stays open until the last key goes or the object ends.
// Lives on the GUI thread.
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

    // Tells the portal the program's application id, so that the desktop files the keys under
    // the program's .desktop file (GNOME binds none without it). The portal ties a connection to
    // the id of its first call, so this must be the connection's first; older portals lack the
    // registry, and a desktop without the .desktop file refuses the id. Waits at most timeoutMs.
    static void RegisterApplication(const QDBusConnection& bus, const QString& appId, int timeoutMs);
    // The version of the portal's global shortcuts on this bus, 0 when it offers none; waits at
    // most timeoutMs for it.
    static uint OfferedVersion(const QDBusConnection& bus, int timeoutMs);

    // version: as OfferedVersion said; x11Handles: window handles are X window ids, which lets
    // the desktop place its dialog over the window.
    PortalHotKeys(QDBusConnection bus, uint version, bool x11Handles, Pressed pressed, Bound bound);
    ~PortalHotKeys() override;
    PortalHotKeys(const PortalHotKeys&) = delete;
    PortalHotKeys& operator=(const PortalHotKeys&) = delete;

    bool Grab(const HotKey& key) override;
    void Release(const HotKey& key) override;

    // Whether the desktop has a page of its own where the user gives the program's keys.
    bool HasOwnPage() const;
    // The user wants to give the keys again: the desktop's own page where it has one, elsewhere a
    // new session asked to bind every key (a desktop that asks the user asks again).
    void Choose();

    // The activation token the desktop sent with the last press, once; empty when there was none.
    QString TakeActivationToken();

private slots:
    void Activated(const QDBusMessage& activation);
    void ShortcutsChanged(const QDBusMessage& change);

private:
    enum class Stage { Closed, Creating, Listing, Binding, Open };
    using Answer = std::function<void(uint code, const QVariantMap& results)>;

    void Sync();
    void CreateSession();
    void ListShortcuts();
    void BindShortcuts();
    void CloseSession(QDBus::CallMode mode);
    void Created(uint code, const QVariantMap& results);
    void Listed(uint code, const QVariantMap& results);
    void Answered(const QVariantMap& results);
    // Sends a portal request of the open session made with the handle token `token`; its answer
    // reaches `answer` unless the session has closed by then.
    void Request(const QDBusMessage& call, const QString& token, Answer answer);
    // Takes what the desktop says it has now, whole.
    void Take(const PortalShortcuts& given);
    // Tells `bound` what the desktop has now, when that is news.
    void Report();
    PortalShortcuts Wanted() const;
    QString ParentWindow() const;
    QString NextHandleToken();
    // Whether a signal, whose first argument is its session, is about this program's session.
    bool OfOwnSession(const QList<QVariant>& arguments) const;

    QDBusConnection m_bus;
    uint m_version;
    bool m_x11Handles;
    Pressed m_pressed;
    Bound m_bound;

    Stage m_stage = Stage::Closed;
    std::vector<HotKey> m_keys;  // registered now
    std::vector<HotKey> m_sent;  // as the session was made for
    QString m_session;
    // Trigger by shortcut id, as the desktop last said; an id it did not name is not there.
    QHash<QString, QString> m_given;
    QStringList m_reported;
    bool m_bindAnyway = false;   // the user asked again: bind even what the desktop lists
    bool m_refreshing = false;   // a listing of the open session is under way
    QObject* m_requests = nullptr;  // owns the open session's requests
    QString m_activationToken;
    int m_handleTokens = 0;
    // Keys registered one after another are bound in one request.
    QTimer m_changed;
};

} // namespace platform
