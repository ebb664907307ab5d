#pragma once

#include "platform/portal/Shortcuts.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>
#include <vector>

namespace testing_support {

class BackendSession;

// The desktop's side of the global-shortcuts portal, as a desktop implements it behind Debian's
// real portal front-end: it records the sessions and bindings it gets, binds every shortcut to its
// preferred trigger unless told to refuse it or to bind it elsewhere, and emits Activated and
// Deactivated when the test asks. Its modes behave as the real desktops do: GNOME 48 answers the
// user's Add with code 2 after ShortcutsChanged, and a Cancel with code 2 and nothing; Plasma 5.27
// binds nothing when asked and takes the keys the user gives later without a word; Plasma 6 lists
// in a new session what an earlier one bound. Served on a connection of its own.
class ShortcutsBackend final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)
public:
    static constexpr const char* BusName = "org.freedesktop.impl.portal.desktop.horchpulttest";

    struct Session {
        QString path;
        QString appId;
        platform::PortalShortcuts bound;  // as the program asked
        platform::PortalShortcuts given;  // as the desktop holds them, with their trigger_description
        bool closed = false;
    };

    explicit ShortcutsBackend(QDBusConnection connection);
    ~ShortcutsBackend() override;

    uint version() const { return 1; }

    // Shortcut ids left out of the answer (the user declined them), and ids bound to another
    // trigger than the one asked for, with the text the desktop shows for it.
    QSet<QString> refuse;
    QMap<QString, QString> rebind;
    // GNOME 48: the user's Add comes as ShortcutsChanged, then the answer with code 2.
    bool answersTwo = false;
    // The user presses Cancel: code 2 and no shortcuts.
    bool cancels = false;
    // Plasma 5.27: a binding binds nothing; keys come later through Give, without a signal.
    bool bindsLater = false;
    // Plasma 6: a new session of the same program lists what an earlier one bound.
    bool remembers = false;
    // How often a program asked for a binding: each is a dialog or a settings page the user sees.
    int binds = 0;

    // The user gives a key in the desktop's settings: no signal tells it.
    void Give(const QString& id, const QString& trigger);
    // The user takes a key away in the desktop's settings: ShortcutsChanged tells it.
    void Remove(const QString& id);

    const std::vector<Session>& Sessions() const { return m_sessions; }
    const Session* Latest() const { return m_sessions.empty() ? nullptr : &m_sessions.back(); }
    void Activate(const QString& sessionPath, const QString& id, const QVariantMap& options = {});
    void Deactivate(const QString& sessionPath, const QString& id);

public slots:
    uint CreateSession(const QDBusObjectPath& handle, const QDBusObjectPath& session, const QString& appId,
                       const QVariantMap& options, QVariantMap& results);
    uint BindShortcuts(const QDBusObjectPath& handle, const QDBusObjectPath& session,
                       const platform::PortalShortcuts& shortcuts, const QString& parentWindow,
                       const QVariantMap& options, QVariantMap& results);
    uint ListShortcuts(const QDBusObjectPath& handle, const QDBusObjectPath& session, QVariantMap& results);

private:
    friend class BackendSession;
    Session* Find(const QString& path);
    // What the desktop keeps of a program between sessions: by application id, or by session token.
    static QString ProgramOf(const Session& session);
    void Hold(Session& session, const QString& id, const QString& trigger);
    void EmitChanged(const Session& session);
    void Emit(const QString& signal, const QString& sessionPath, const QString& id, const QVariantMap& options);

    QDBusConnection m_connection;
    std::vector<Session> m_sessions;
    std::vector<std::unique_ptr<BackendSession>> m_sessionObjects;
    QMap<QString, platform::PortalShortcuts> m_kept;
    quint64 m_clock = 0;
};

// The backend's session object, which the front-end closes when the program closes its session.
class BackendSession final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.Session")
public:
    BackendSession(ShortcutsBackend& backend, QString path) : m_backend(backend), m_path(std::move(path)) {}

public slots:
    void Close();

private:
    ShortcutsBackend& m_backend;
    QString m_path;
};

} // namespace testing_support
