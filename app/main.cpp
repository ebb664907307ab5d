#include "app/CommandLine.h"
#include "app/Mpris.h"
#include "app/frm1.h"
#include "pedal/PedalService.h"
#include "platform/DesktopSession.h"
#include "platform/LastResort.h"
#include "platform/LinuxPlatform.h"
#include "platform/TerminationSignals.h"
#include "player/MpvPlayer.h"

#include <QApplication>
#include <QDBusConnection>

#include <clocale>
#include <memory>
#include <optional>

int main(int argc, char* argv[])
{
    const std::optional<app::CommandLine> commandLine = app::ReadCommandLine(argc, argv);
    if (!commandLine)
        return app::UsageExitCode;
    platform::PreferXWayland();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("horchpult"));
    QApplication::setApplicationVersion(QStringLiteral(HORCHPULT_VERSION_TEXT));
    QApplication::setDesktopFileName(QStringLiteral("org.horchpult.horchpult"));
    // libmpv needs the C numeric locale; the user's decimal separator comes from QLocale.
    std::setlocale(LC_NUMERIC, "C");

    platform::LastResort lastResort;
    platform::LinuxPlatform desktop(lastResort);
    // Leaves every event loop, a message box's included; the window then goes as on quit.
    platform::TerminationSignals termination([] { QCoreApplication::exit(0); });

    // Made before the window, so that it goes after it.
    pedal::PedalService pedals;
    std::unique_ptr<app::frm1> window;
    lastResort.Run([&] {
        window = std::make_unique<app::frm1>(desktop, lastResort, std::make_unique<player::MpvPlayer>(lastResort));
        window->Form_Load();
        window->AttachPedals(pedals);
        pedals.start();
    });
    if (lastResort.Failed())
        return platform::LastResort::FailureExitCode;
    window->show();
    // Without a session bus the desktop's media controls simply do not reach the window.
    app::MprisService mpris(*window, lastResort, QDBusConnection::sessionBus());
    app::OpenFromCommandLine(*commandLine, *window, lastResort);
    return QApplication::exec();
}
