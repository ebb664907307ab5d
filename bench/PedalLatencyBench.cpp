// Foot pedal latency: the time from a report written to the pedal's descriptor to the player
// paused, with a 60 s WAV playing in the real window on the real player. A thread of its own
// plays the foot control: it presses the middle pedal, lets playback run, reads the steady
// clock and writes the release into a socket pair; the GUI thread, idle in its event loop as
// the program is, reads the clock when the player reports Paused.
//
// Run it under an X server of its own, from the build folder:
//   ../tests/with-xvfb.sh bench/bench_pedal_latency [releases]
// (default 100). It prints the median and 99th percentile in milliseconds and fails when the
// median is 2 ms or more.
#include "media/TestMedia.h"
#include "pedal/Wire.h"
#include "window/FakeDesktop.h"

#include "app/frm1.h"
#include "pedal/PedalService.h"
#include "platform/LastResort.h"
#include "player/MpvPlayer.h"

#include "Statistics.h"

#include <QAction>
#include <QApplication>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using player::MediaPlayer;

constexpr double TargetMs = 2.0;

template <class Condition>
bool Await(Condition condition)
{
    const auto deadline = Clock::now() + 5s;
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const int releases = argc > 1 ? std::atoi(argv[1]) : 100;
    if (!qEnvironmentVariableIsSet("HORCHPULT_AO"))
        qputenv("HORCHPULT_AO", "null");

    platform::LastResort lastResort;
    testing_support::FakeDesktop desktop;
    pedal::PedalService pedals;
    testing_support::Wire wire;
    auto mpv = std::make_unique<player::MpvPlayer>(lastResort);
    player::MpvPlayer* player = mpv.get();
    app::frm1 window(desktop, lastResort, std::move(mpv));
    window.Form_Load();
    window.AttachPedals(pedals);
    window.show();
    desktop.files.push_back(media::Path(media::Wav()));
    window.findChild<QAction*>(QStringLiteral("neu"))->trigger();
    if (window.Geladen() != app::frm1::True) {
        std::fprintf(stderr, "the window did not open the WAV file\n");
        return 1;
    }
    pedals.read(wire.device, *pedal::FindModel(0x05f3, 0x00ff));

    std::atomic<std::int32_t> state = player->playState();
    std::atomic<Clock::rep> pausedAt = 0;
    player->PlayStateChange.connect([&](std::int32_t now) {
        if (now == MediaPlayer::Paused)
            pausedAt = Clock::now().time_since_epoch().count();
        state = now;
    });

    std::vector<double> latencies;
    bool failed = false;
    std::thread foot([&] {
        for (int i = 0; i < releases && !failed; ++i) {
            failed = !wire.send({pedal::Middle, 0}) || !Await([&] { return state == MediaPlayer::Playing; });
            std::this_thread::sleep_for(30ms);
            pausedAt = 0;
            const Clock::time_point written = Clock::now();
            failed = failed || !wire.send({0, 0}) || !Await([&] { return pausedAt != 0; });
            latencies.push_back(std::chrono::duration<double, std::milli>(
                                    Clock::duration(pausedAt.load()) - written.time_since_epoch())
                                    .count());
        }
        QMetaObject::invokeMethod(&application, &QApplication::quit, Qt::QueuedConnection);
    });
    QApplication::exec();
    foot.join();
    if (failed || latencies.empty()) {
        std::fprintf(stderr, "the player did not follow the pedal\n");
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    const double median = Percentile(latencies, 50);
    std::printf("pedal release to paused, %zu releases: median %.3f ms, 99th percentile %.3f ms\n",
                latencies.size(), median, Percentile(latencies, 99));
    return median < TargetMs ? 0 : 1;
}
