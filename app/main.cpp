#include "app/frm1.h"
#include "platform/LastResort.h"
#include "platform/LinuxPlatform.h"
#include "platform/TerminationSignals.h"
#include "player/FakePlayer.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("horchpult"));
    QApplication::setApplicationVersion(QStringLiteral(HORCHPULT_VERSION_TEXT));

    platform::LastResort lastResort;
    platform::LinuxPlatform desktop(lastResort);
    app::frm1 window(desktop, lastResort, std::make_unique<player::FakePlayer>());
    // Leaves every event loop, a message box's included; the window then goes as on quit.
    platform::TerminationSignals termination([] { QCoreApplication::exit(0); });

    lastResort.Run([&window] { window.Form_Load(); });
    if (lastResort.Failed())
        return platform::LastResort::FailureExitCode;
    window.show();
    return QApplication::exec();
}
