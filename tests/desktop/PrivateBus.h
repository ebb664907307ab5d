#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace testing_support {

// A message bus daemon of the test's own, so that a test meets neither the user's session nor
// another test. Connections made through it are closed with it. It runs with the session bus's
// configuration unless a configuration file is given.
class PrivateBus {
public:
    explicit PrivateBus(const QString& configFile = {})
    {
        m_daemon.setProgram(QStringLiteral("dbus-daemon"));
        m_daemon.setArguments({configFile.isEmpty() ? QStringLiteral("--session") : QStringLiteral("--config-file=") + configFile,
                               QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        m_daemon.setStandardErrorFile(QProcess::nullDevice());
        m_daemon.start();
        if (m_daemon.waitForReadyRead(10000))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (const QString& name : m_names)
            QDBusConnection::disconnectFromBus(name);
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Empty if the daemon did not start.
    const QString& Address() const { return m_address; }

    QDBusConnection Connect(const QString& name)
    {
        m_names.append(name);
        return QDBusConnection::connectToBus(m_address, name);
    }

private:
    QProcess m_daemon;
    QString m_address;
    QStringList m_names;
};

} // namespace testing_support
