#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

namespace platform {

// The desktop portal's bus name and object path.
extern const QString PortalService;
extern const QString PortalPath;

// A call of one of the portal's interfaces.
QDBusMessage PortalCall(const QString& interface, const QString& method);
// Closes a portal session; waits at most timeoutMs with QDBus::Block.
void ClosePortalSession(const QDBusConnection& bus, const QString& session, QDBus::CallMode mode, int timeoutMs);
// A session handle as a portal answers it: Debian 12's as a string, later ones as an object path.
QString PathFrom(const QVariant& value);

// One request to the desktop portal: the call, then the Response signal of its request object,
// whose path the portal derives from the caller's bus name and the call's handle_token. A call the
// portal refuses outright answers as a refusal (response 2) does. The answer reaches `answered`
// once, on the GUI thread, unless the object has gone first; it deletes itself after answering.
class PortalRequest final : public QObject {
    Q_OBJECT
public:
    static constexpr uint Success = 0;
    static constexpr uint Other = 2;
    using Answered = std::function<void(uint response, const QVariantMap& results)>;

    // token: the handle_token the call carries in its options. The request belongs to parent.
    static void Send(QDBusConnection bus, const QDBusMessage& call, const QString& token, QObject* parent,
                     Answered answered);

private slots:
    void Responded(const QDBusMessage& response);

private:
    PortalRequest(QDBusConnection bus, QObject* parent, Answered answered);
    void Await(const QString& path);
    void Answer(uint response, const QVariantMap& results);

    QDBusConnection m_bus;
    Answered m_answered;
    QString m_path;
};

} // namespace platform
