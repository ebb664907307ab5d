#include "ShortcutsBackend.h"

#include <QDBusMessage>

namespace testing_support {

namespace {
const QString ObjectPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString Interface = QStringLiteral("org.freedesktop.impl.portal.GlobalShortcuts");
}

ShortcutsBackend::ShortcutsBackend(QDBusConnection connection) : m_connection(std::move(connection))
{
    platform::RegisterPortalShortcutTypes();
    m_connection.registerObject(ObjectPath, this,
                                QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties
                                    | QDBusConnection::ExportAdaptors);
    m_connection.registerService(QString::fromLatin1(BusName));
}

ShortcutsBackend::~ShortcutsBackend()
{
    m_connection.unregisterService(QString::fromLatin1(BusName));
    m_connection.unregisterObject(ObjectPath);
    for (const Session& session : m_sessions)
        m_connection.unregisterObject(session.path);
}

uint ShortcutsBackend::CreateSession(const QDBusObjectPath&, const QDBusObjectPath& session, const QString& appId,
                                     const QVariantMap&, QVariantMap& results)
{
    m_sessions.push_back({session.path(), appId, {}, {}, false});
    if (remembers)
        m_sessions.back().given = m_kept.value(ProgramOf(m_sessions.back()));
    m_sessionObjects.push_back(std::make_unique<BackendSession>(*this, session.path()));
    m_connection.registerObject(session.path(), m_sessionObjects.back().get(), QDBusConnection::ExportAllSlots);
    // What a desktop remembers of the program's earlier sessions: nothing yet.
    results = {{QStringLiteral("shortcuts"), QVariant::fromValue(platform::PortalShortcuts{})}};
    return 0;
}

uint ShortcutsBackend::BindShortcuts(const QDBusObjectPath&, const QDBusObjectPath& session,
                                     const platform::PortalShortcuts& shortcuts, const QString&,
                                     const QVariantMap&, QVariantMap& results)
{
    Session* bound = Find(session.path());
    if (bound == nullptr)
        return 2;
    ++binds;
    bound->bound = shortcuts;
    if (cancels)
        return 2;
    for (const platform::PortalShortcut& asked : shortcuts) {
        if (bindsLater || refuse.contains(asked.id))
            continue;
        const QString trigger = rebind.value(asked.id, asked.properties.value(QStringLiteral("preferred_trigger")).toString());
        Hold(*bound, asked.id, answersTwo ? QStringLiteral("Press ") + trigger : trigger);
    }
    results = {{QStringLiteral("shortcuts"), QVariant::fromValue(bound->given)}};
    if (!answersTwo)
        return 0;
    EmitChanged(*bound);
    return 2;
}

uint ShortcutsBackend::ListShortcuts(const QDBusObjectPath&, const QDBusObjectPath& session, QVariantMap& results)
{
    const Session* listed = Find(session.path());
    results = {{QStringLiteral("shortcuts"), QVariant::fromValue(listed ? listed->given : platform::PortalShortcuts{})}};
    return 0;
}

void ShortcutsBackend::Give(const QString& id, const QString& trigger)
{
    for (Session& session : m_sessions) {
        if (!session.closed)
            Hold(session, id, trigger);
    }
}

void ShortcutsBackend::Remove(const QString& id)
{
    for (Session& session : m_sessions) {
        if (session.closed)
            continue;
        Hold(session, id, {});
        EmitChanged(session);
    }
}

void ShortcutsBackend::Hold(Session& session, const QString& id, const QString& trigger)
{
    const platform::PortalShortcut shortcut{id, {{QStringLiteral("trigger_description"), trigger}}};
    for (platform::PortalShortcuts* held : {&session.given, &m_kept[ProgramOf(session)]}) {
        held->removeIf([&](const platform::PortalShortcut& s) { return s.id == id; });
        held->append(shortcut);
    }
}

void ShortcutsBackend::EmitChanged(const Session& session)
{
    QDBusMessage message = QDBusMessage::createSignal(ObjectPath, Interface, QStringLiteral("ShortcutsChanged"));
    message << QVariant::fromValue(QDBusObjectPath(session.path)) << QVariant::fromValue(session.given);
    m_connection.send(message);
}

QString ShortcutsBackend::ProgramOf(const Session& session)
{
    return session.appId.isEmpty() ? session.path.section(QLatin1Char('/'), -1) : session.appId;
}

void ShortcutsBackend::Activate(const QString& sessionPath, const QString& id, const QVariantMap& options)
{
    Emit(QStringLiteral("Activated"), sessionPath, id, options);
}

void ShortcutsBackend::Deactivate(const QString& sessionPath, const QString& id)
{
    Emit(QStringLiteral("Deactivated"), sessionPath, id, {});
}

void ShortcutsBackend::Emit(const QString& signal, const QString& sessionPath, const QString& id,
                            const QVariantMap& options)
{
    QDBusMessage message = QDBusMessage::createSignal(ObjectPath, Interface, signal);
    message << QVariant::fromValue(QDBusObjectPath(sessionPath)) << id << QVariant::fromValue(++m_clock) << options;
    m_connection.send(message);
}

ShortcutsBackend::Session* ShortcutsBackend::Find(const QString& path)
{
    for (Session& session : m_sessions) {
        if (session.path == path)
            return &session;
    }
    return nullptr;
}

void BackendSession::Close()
{
    if (ShortcutsBackend::Session* session = m_backend.Find(m_path))
        session->closed = true;
}

} // namespace testing_support
