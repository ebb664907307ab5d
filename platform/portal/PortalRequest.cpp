#include "PortalRequest.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace platform {

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

namespace {
const QString RequestInterface = QStringLiteral("org.freedesktop.portal.Request");
} // namespace

QDBusMessage PortalCall(const QString& interface, const QString& method)
{
    return QDBusMessage::createMethodCall(PortalService, PortalPath, interface, method);
}

void ClosePortalSession(const QDBusConnection& bus, const QString& session, QDBus::CallMode mode, int timeoutMs)
{
    const QDBusMessage close = QDBusMessage::createMethodCall(PortalService, session,
                                                              QStringLiteral("org.freedesktop.portal.Session"),
                                                              QStringLiteral("Close"));
    if (mode == QDBus::Block)
        bus.call(close, QDBus::Block, timeoutMs);
    else
        bus.asyncCall(close);
}

QString PathFrom(const QVariant& value)
{
    return value.canConvert<QDBusObjectPath>() ? value.value<QDBusObjectPath>().path() : value.toString();
}

PortalRequest::PortalRequest(QDBusConnection bus, QObject* parent, Answered answered)
    : QObject(parent), m_bus(std::move(bus)), m_answered(std::move(answered))
{
}

void PortalRequest::Send(QDBusConnection bus, const QDBusMessage& call, const QString& token, QObject* parent,
                         Answered answered)
{
    auto* request = new PortalRequest(bus, parent, std::move(answered));
    // The Response may follow the reply at once, so its match is in place before the call.
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    request->Await(QStringLiteral("%1/request/%2/%3").arg(PortalPath, sender, token));
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), request);
    connect(watcher, &QDBusPendingCallWatcher::finished, request, [request](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *done;
        if (reply.isError())
            request->Answer(Other, {});
        else if (reply.value().path() != request->m_path)
            request->Await(reply.value().path()); // portals older than the handle_token convention
    });
}

void PortalRequest::Await(const QString& path)
{
    if (!m_path.isEmpty())
        m_bus.disconnect(PortalService, m_path, RequestInterface, QStringLiteral("Response"), this,
                         SLOT(Responded(QDBusMessage)));
    m_path = path;
    m_bus.connect(PortalService, m_path, RequestInterface, QStringLiteral("Response"), this, SLOT(Responded(QDBusMessage)));
}

void PortalRequest::Responded(const QDBusMessage& response)
{
    const QList<QVariant> arguments = response.arguments();
    if (response.path() != m_path || arguments.size() < 2)
        return;
    Answer(arguments.at(0).toUInt(), qdbus_cast<QVariantMap>(arguments.at(1)));
}

void PortalRequest::Answer(uint response, const QVariantMap& results)
{
    if (!m_answered)
        return;
    m_bus.disconnect(PortalService, m_path, RequestInterface, QStringLiteral("Response"), this, SLOT(Responded(QDBusMessage)));
    const Answered answered = std::exchange(m_answered, {});
    deleteLater();
    answered(response, results);
}

} // namespace platform
