#include "PortalDesktop.h"

#include "../WaitUntil.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

#include <chrono>

namespace testing_support {

namespace {

using namespace std::chrono_literals;

constexpr char Desktop[] = "horchpulttest";
const QString FrontEndProgram = QStringLiteral("/usr/libexec/xdg-desktop-portal");

// A session bus that starts nothing on demand: the user's portal and its helpers stay away.
constexpr char BusConfig[] = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

// A call to the front-end that lets this process's events run meanwhile: the front-end may ask the
// backend, which lives on this thread, before it answers.
QDBusMessage Ask(const QDBusConnection& bus, const QString& interface, const QString& method,
                 const QVariantList& arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"),
                                                       QStringLiteral("/org/freedesktop/portal/desktop"), interface,
                                                       method);
    call.setArguments(arguments);
    QDBusPendingCall pending = bus.asyncCall(call);
    WaitUntil([&] { return pending.isFinished(); }, 10s);
    return pending.reply();
}

bool Write(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

PortalDesktop::PortalDesktop(FrontEnd frontEnd)
{
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    const QString portals = m_dir.filePath(QStringLiteral("portals"));
    const bool written =
        Write(config, BusConfig) && QDir().mkpath(portals)
        && Write(portals + QStringLiteral("/horchpulttest.portal"),
                 QByteArray("[portal]\nDBusName=") + ShortcutsBackend::BusName
                     + "\nInterfaces=org.freedesktop.impl.portal.GlobalShortcuts;org.freedesktop.impl.portal.RemoteDesktop;\nUseIn=" + Desktop + "\n")
        // Newer front-ends choose backends by this file rather than by UseIn.
        && Write(portals + QStringLiteral("/horchpulttest-portals.conf"),
                 QByteArray("[preferred]\ndefault=") + Desktop + "\n");
    const QString applications = m_dir.filePath(QStringLiteral("data/applications"));
    const bool launcher = QDir().mkpath(applications)
                          && Write(applications + QLatin1Char('/') + QString::fromLatin1(ApplicationId) + QStringLiteral(".desktop"),
                                   // GLib takes a launcher only when its program exists.
                                   "[Desktop Entry]\nType=Application\nName=Horchpult\nExec=true\n");
    m_bus = std::make_unique<PrivateBus>(config);
    if (!written || !launcher || m_bus->Address().isEmpty()) {
        m_failure = QStringLiteral("the private message bus did not start");
        return;
    }
    m_backend = std::make_unique<ShortcutsBackend>(m_bus->Connect(QStringLiteral("portal-backend")));
    if (frontEnd == FrontEnd::Absent)
        return;

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus->Address());
    environment.insert(QStringLiteral("XDG_DESKTOP_PORTAL_DIR"), portals);
    environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QString::fromLatin1(Desktop));
    environment.insert(QStringLiteral("XDG_DATA_DIRS"), m_dir.filePath(QStringLiteral("data")) + QStringLiteral(":/usr/share"));
    m_frontEnd.setProcessEnvironment(environment);
    m_frontEnd.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_frontEnd.setStandardOutputFile(QProcess::nullDevice());
    m_frontEnd.start(FrontEndProgram, {QStringLiteral("--replace")});
    QDBusConnection watcher = m_bus->Connect(QStringLiteral("portal-watcher"));
    const bool up = WaitUntil(
        [&] {
            return m_frontEnd.state() == QProcess::NotRunning
                   || watcher.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.portal.Desktop")).value();
        },
        20s);
    // The front-end takes its name before it has asked its backends what they offer. A desktop's
    // portal is long up when a program starts, so the program meets it ready here too.
    const auto offersShortcuts = [&] {
        return Ask(watcher, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                   {QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), QStringLiteral("version")})
                   .type()
               == QDBusMessage::ReplyMessage;
    };
    if (!up || m_frontEnd.state() == QProcess::NotRunning || !WaitUntil(offersShortcuts, 20s))
        m_failure = QStringLiteral("the portal front-end %1 did not come up").arg(FrontEndProgram);
}

PortalDesktop::~PortalDesktop()
{
    if (m_frontEnd.state() != QProcess::NotRunning) {
        m_frontEnd.terminate();
        if (!m_frontEnd.waitForFinished(5000))
            m_frontEnd.kill();
        m_frontEnd.waitForFinished(5000);
    }
    m_backend.reset();
}

bool PortalDesktop::OffersRegistry()
{
    const QDBusMessage introspection = Ask(m_bus->Connect(QStringLiteral("portal-introspection")),
                                           QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                           QStringLiteral("Introspect"));
    return introspection.arguments().value(0).toString().contains(QStringLiteral("org.freedesktop.host.portal.Registry"));
}

void PortalDesktop::BecomeTheSession() const
{
    qputenv("DBUS_SESSION_BUS_ADDRESS", Address().toUtf8());
    qputenv("XDG_SESSION_TYPE", "wayland");
}

} // namespace testing_support
