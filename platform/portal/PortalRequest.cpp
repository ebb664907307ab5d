#include "PortalRequest.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace platform {

namespace {
const QString Portal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString RequestInterface = QStringLiteral("org.freedesktop.portal.Request");
} // namespace

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
    request->Await(QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token));
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
        m_bus.disconnect(Portal, m_path, RequestInterface, QStringLiteral("Response"), this,
                         SLOT(Responded(QDBusMessage)));
    m_path = path;
    m_bus.connect(Portal, m_path, RequestInterface, QStringLiteral("Response"), this, SLOT(Responded(QDBusMessage)));
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
    m_bus.disconnect(Portal, m_path, RequestInterface, QStringLiteral("Response"), this, SLOT(Responded(QDBusMessage)));
    const Answered answered = std::exchange(m_answered, {});
    deleteLater();
    answered(response, results);
}

} // namespace platform
