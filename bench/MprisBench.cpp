// Media-control latency: a play/pause round trip through MPRIS, as a desktop's media keys make
// it, over a real message bus.
//
// Run it from the build folder (it needs no display):
//   bench/bench_mpris [rounds]
// (default 500). One round is Play, PlaybackStatus read back as "Playing", Pause, and
// PlaybackStatus read back as "Paused", so both commands have run in the window when it ends.
// It prints the median, 99th percentile, minimum and maximum in milliseconds; the target is a
// median under 5 ms.
//
// This process plays both parts. The program: the window on Qt's offscreen platform with a fake
// platform and a fake player (the player's own time is not MPRIS's), its service on a bus daemon
// of its own, the GUI thread in the event loop between calls. The desktop: a thread with a
// second bus connection that makes blocking calls.
#include "tests/desktop/PrivateBus.h"
#include "tests/window/FakeDesktop.h"

#include "app/Mpris.h"
#include "app/frm1.h"
#include "platform/LastResort.h"
#include "player/FakePlayer.h"

#include "Statistics.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const QString Service = QStringLiteral("org.mpris.MediaPlayer2.horchpult");
const QString Path = QStringLiteral("/org/mpris/MediaPlayer2");
const QString Player = QStringLiteral("org.mpris.MediaPlayer2.Player");

bool Call(QDBusConnection& bus, const QString& method)
{
    const QDBusMessage answer = bus.call(QDBusMessage::createMethodCall(Service, Path, Player, method));
    return answer.type() == QDBusMessage::ReplyMessage;
}

QString Status(QDBusConnection& bus)
{
    QDBusMessage get = QDBusMessage::createMethodCall(Service, Path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << Player << QStringLiteral("PlaybackStatus");
    const QDBusMessage answer = bus.call(get);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty())
        return {};
    return answer.arguments().constFirst().value<QDBusVariant>().variant().toString();
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;

    testing_support::PrivateBus bus;
    if (bus.Address().isEmpty()) {
        std::fputs("bench_mpris: dbus-daemon did not start\n", stderr);
        return 1;
    }
    testing_support::FakeDesktop desktop;
    platform::LastResort lastResort([](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); });
    app::frm1 window(desktop, lastResort, std::make_unique<player::FakePlayer>());
    window.Form_Load();
    desktop.files.push_back(QStringLiteral("/media/interview.mp3"));
    window.findChild<QAction*>(QStringLiteral("neu"))->trigger();
    app::MprisService service(window, lastResort, bus.Connect(QStringLiteral("program")));

    std::vector<double> times;
    bool failed = false;
    QThread* desktopThread = QThread::create([&] {
        QDBusConnection client = QDBusConnection::connectToBus(bus.Address(), QStringLiteral("desktop"));
        for (int round = 0; round < rounds && !failed; ++round) {
            const Clock::time_point start = Clock::now();
            failed = !Call(client, QStringLiteral("Play")) || Status(client) != QStringLiteral("Playing")
                     || !Call(client, QStringLiteral("Pause")) || Status(client) != QStringLiteral("Paused");
            times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });
    desktopThread->start();
    QApplication::exec();
    desktopThread->wait();
    delete desktopThread;
    QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));

    if (failed || lastResort.Failed()) {
        std::fprintf(stderr, "bench_mpris: a round did not play and pause (round %zu)\n", times.size());
        return 1;
    }
    std::sort(times.begin(), times.end());
    std::printf("MPRIS play/pause round trip over %d rounds: median %.3f ms, p99 %.3f ms, min %.3f ms, max %.3f ms\n",
                rounds, Percentile(times, 50), Percentile(times, 99), times.front(), times.back());
    return 0;
}
