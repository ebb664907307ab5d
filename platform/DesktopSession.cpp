#include "DesktopSession.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace platform {

bool IsWaylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

QString HotKeySettingsPlace()
{
    const QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'));
    if (desktops.contains(QLatin1String("KDE"), Qt::CaseInsensitive))
        return QStringLiteral("System Settings \u203A Shortcuts");
    if (desktops.contains(QLatin1String("GNOME"), Qt::CaseInsensitive))
        return QStringLiteral("Settings \u203A Apps \u203A Horchpult");
    return QStringLiteral("the desktop's keyboard settings");
}

void PreferXWayland()
{
    if (IsWaylandSession() && !qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");
}

} // namespace platform
