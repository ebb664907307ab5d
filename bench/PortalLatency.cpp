// Hot-key latency through the desktop portal, as on KDE Plasma or GNOME on Wayland: from the
// desktop's Activated signal to the registry's HotKeyPress, and to the real player paused by F2.
//
// Run it from the build folder under an X server (the window runs as through XWayland):
//   ../tests/with-xvfb.sh bench/bench_portal_latency [presses]
// (default 300). Debian's real xdg-desktop-portal front-end relays each activation from the
// test backend, which stands where the desktop's own is, on a bus of the benchmark's own. It
// prints median, 99th percentile and maximum in milliseconds; the targets are medians under
// 2 ms to HotKeyPress and under 3 ms to the player paused.
#include "tests/portal/OpenThroughFileMenu.h"
#include "tests/portal/PortalDesktop.h"
#include "tests/media/TestMedia.h"

#include "app/frm1.h"
#include "platform/LastResort.h"
#include "platform/LinuxPlatform.h"
#include "player/MpvPlayer.h"

#include "StartWindow.h"
#include "Statistics.h"

#include <QApplication>
#include <QStringList>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void Print(const char* what, std::vector<double> milliseconds)
{
    std::sort(milliseconds.begin(), milliseconds.end());
    std::printf("%-34s n=%zu  median %.3f ms  p99 %.3f ms  max %.3f ms\n", what, milliseconds.size(),
                Percentile(milliseconds, 50), Percentile(milliseconds, 99), milliseconds.back());
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("HORCHPULT_AO", "null");
    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const int presses = argc > 1 ? std::atoi(argv[1]) : 300;
    if (presses < 1) {
        std::fprintf(stderr, "usage: %s [presses]\n", argv[0]);
        return 2;
    }
    const QString recording = media::Path(media::Wav());
    if (recording.isEmpty()) {
        std::fprintf(stderr, "FFmpeg could not make the recording\n");
        return 1;
    }

    testing_support::PortalDesktop portal;
    if (!portal.Failure().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(portal.Failure()));
        return 1;
    }
    portal.BecomeTheSession();
    platform::LastResort lastResort([](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); });
    platform::LinuxPlatform desktop(lastResort, portal.Connect(QStringLiteral("program")));
    app::frm1 window(desktop, lastResort, std::make_unique<player::MpvPlayer>(lastResort));
    if (!StartWindow(window))
        return 1;
    auto& backend = portal.Backend();
    if (!media::WaitUntil([&] { return backend.Latest() != nullptr && !backend.Latest()->bound.isEmpty(); }, 10000)) {
        std::fprintf(stderr, "the keys were never bound\n");
        return 1;
    }
    const QString session = backend.Latest()->path;

    QStringList messages;
    testing_support::OpenThroughFileMenu(window, recording, messages);
    if (window.Geladen() != app::frm1::True) {
        std::fprintf(stderr, "the window did not open %s: %s\n", qPrintable(recording), qPrintable(messages.join(u' ')));
        return 1;
    }

    Clock::time_point sent;
    Clock::time_point pressed;
    Clock::time_point paused;
    window.HotKeys()->HotKeyPress.connect([&](const QString&, std::int32_t, std::int32_t) { pressed = Clock::now(); });
    window.Player().PlayStateChange.connect([&](std::int32_t state) {
        if (state == player::MediaPlayer::Paused)
            paused = Clock::now();
    });
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };

    std::vector<double> toPress;
    std::vector<double> toPaused;
    for (int i = 0; i < presses; ++i) {
        backend.Activate(session, QStringLiteral("spielen"));
        if (!media::WaitUntil([&] { return window.Player().playState() == player::MediaPlayer::Playing; }, 3000)) {
            std::fprintf(stderr, "F3 did not play\n");
            return 1;
        }
        media::Pump(10);
        pressed = paused = {};
        sent = Clock::now();
        backend.Activate(session, QStringLiteral("stop"));
        if (!media::WaitUntil([&] { return paused != Clock::time_point{}; }, 3000)) {
            std::fprintf(stderr, "F2 did not pause\n");
            return 1;
        }
        toPress.push_back(ms(pressed - sent));
        toPaused.push_back(ms(paused - sent));
    }
    Print("Activated -> HotKeyPress", toPress);
    Print("Activated -> player paused (F2)", toPaused);
    return lastResort.Failed() ? 1 : 0;
}
