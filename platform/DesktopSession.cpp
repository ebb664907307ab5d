#include "DesktopSession.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace platform {

bool IsWaylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

void PreferXWayland()
{
    if (IsWaylandSession() && !qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");
}

} // namespace platform
