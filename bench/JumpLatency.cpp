// Jump latency: the time from Shift+F4 leaving another X client to the player standing at the
// timestamp selected in an xterm, over the real key grab, the real selection transfer from the
// xterm and the real player.
//
// Run it under an X server of its own, from the build folder:
//   ../tests/with-xvfb.sh bench/bench_jump_latency [presses]
// (default 200 presses; needs xterm and FFmpeg). It prints the median, 99th percentile, minimum
// and maximum in milliseconds; the target is a median under 20 ms.
//
// The xterm shows `said #00:00:42-5# then`; the line is selected once, with three clicks, as a
// user selects it. Before each press the window is put back at 10 s on its GUI thread; the GUI
// thread then waits in its event loop, and a timer on it looks at the position every millisecond,
// so a figure may be up to a millisecond late.
#include "tests/media/TestMedia.h"
#include "tests/x11/XClient.h"

#include "app/frm1.h"
#include "platform/LastResort.h"
#include "platform/LinuxPlatform.h"
#include "player/MpvPlayer.h"

#include "Statistics.h"
#include "StartWindow.h"

#include <QApplication>
#include <QProcess>
#include <QTimer>

#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr double Target = 42.5;
constexpr double Start = 10.0;
// Long enough for the GUI thread to fall asleep in the event loop before the next press.
constexpr auto IdleGap = 5ms;

double Milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// When the GUI thread last saw the player arrive at the target.
struct Arrival {
    std::atomic<bool> waiting = false;
    std::atomic<Clock::rep> at = 0;
};

// The editor's part; returns an empty text or what went wrong.
std::string PressAll(app::frm1& window, int presses, Arrival& arrival, std::vector<double>& latencies)
{
    xtest::XClient editor;
    if (!editor.IsUsable())
        return "no X display with XTest";
    xtest::XWindow xterm = 0;
    if (!xtest::WaitUntil([&] { return (xterm = editor.FindWindow("bench-xterm")) != 0; }, 10s)
        || !xtest::WaitUntil([&] { return editor.Focus(xterm); }, 5s))
        return "the xterm did not show or take the focus";
    const xtest::XClient::Rect at = editor.GeometryOf(xterm);
    for (int click = 0; click < 3; ++click) {
        editor.Click(at.x + 20, at.y + 8);
        std::this_thread::sleep_for(40ms);
    }
    for (int i = 0; i < presses; ++i) {
        QMetaObject::invokeMethod(&window, [&] { window.Player().setCurrentPosition(Start); },
                                  Qt::BlockingQueuedConnection);
        std::this_thread::sleep_for(IdleGap);
        arrival.at = 0;
        arrival.waiting = true;
        Clock::time_point sent;
        editor.Press(XK_Shift_L);
        editor.Press(XK_F4, [&] { sent = Clock::now(); });
        editor.Release(XK_F4);
        editor.Release(XK_Shift_L);
        if (!xtest::WaitUntil([&] { return arrival.at.load() != 0; }, 2s))
            return "press " + std::to_string(i + 1) + ": the player did not go to " + std::to_string(Target) + " s";
        latencies.push_back(Milliseconds(Clock::time_point(Clock::duration(arrival.at.load())) - sent));
    }
    return {};
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    const int presses = argc > 1 ? std::atoi(argv[1]) : 200;
    if (presses < 1) {
        std::fprintf(stderr, "usage: %s [presses]\n", argv[0]);
        return 2;
    }

    platform::LastResort lastResort;
    platform::LinuxPlatform desktop(lastResort);
    app::frm1 window(desktop, lastResort, std::make_unique<player::MpvPlayer>(lastResort));
    if (!StartWindow(window))
        return 1;
    window.OpenGivenFile(media::Path(media::Wav()));
    if (window.Geladen() != app::frm1::True) {
        std::fprintf(stderr, "the recording did not open\n");
        return 1;
    }

    Arrival arrival;
    QTimer look;
    look.setTimerType(Qt::PreciseTimer);
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (arrival.waiting && std::abs(window.Player().currentPosition() - Target) < 0.05) {
            arrival.at = Clock::now().time_since_epoch().count();
            arrival.waiting = false;
        }
    });
    look.start(1);

    QProcess xterm;
    xterm.start(QStringLiteral("xterm"), {QStringLiteral("-geometry"), QStringLiteral("40x4"), QStringLiteral("-T"),
                                          QStringLiteral("bench-xterm"), QStringLiteral("-e"), QStringLiteral("sh"),
                                          QStringLiteral("-c"),
                                          QStringLiteral("printf 'said #00:00:42-5# then'; exec sleep 3600")});

    std::vector<double> latencies;
    std::string failure;
    std::thread editor([&] {
        failure = PressAll(window, presses, arrival, latencies);
        QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QApplication::exec();
    editor.join();
    xterm.kill();
    xterm.waitForFinished();
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        return 1;
    }

    std::sort(latencies.begin(), latencies.end());
    const double median = Percentile(latencies, 50.0);
    std::printf("Shift+F4 to the selected timestamp over %d presses (ms): median %.3f, p99 %.3f, min %.3f, max %.3f\n",
                presses, median, Percentile(latencies, 99.0), latencies.front(), latencies.back());
    std::printf("target median < 20 ms: %s\n", median < 20.0 ? "met" : "missed");
    return 0;
}
