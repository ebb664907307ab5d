// Soak: the real window plays a 60 s recording over and over for a long time, its position
// display following playback five times a second (Timer1), while the resident memory is sampled.
// It prints the curve (seconds, VmRSS in MiB) and the growth from the end of the first minute,
// when everything playback needs has been made, to the end of the run.
//
// Run it under an X server of its own, from the build folder:
//   ../tests/with-xvfb.sh bench/bench_soak [seconds [sample-every-seconds [max-growth-MiB]]]
// Defaults: 3600 s (or HORCHPULT_SOAK_SECONDS), a sample every 1/60 of the run, at least one a
// second (or HORCHPULT_SOAK_SAMPLE), and a limit of 2 MiB of growth (or HORCHPULT_SOAK_MAX_GROWTH).
// It exits with 1 when the growth passes the limit, playback or the display stops, or anything
// fails. The sound goes to mpv's "null" output unless HORCHPULT_AO names another one.
//
// The limit: once the first minute has made what playback needs, nothing should accumulate; a
// run with Qt's pixmap cache held to 256 KiB, so that no cache could fill either, stayed within
// 0.01 MiB over five minutes. 2 MiB over the nine minutes of the test run is a growth of about
// 4 KB a second, more than 13 MiB over an hour of transcribing, far above that noise.
//
// The recording is opened as a user does, Ctrl+N and the file dialog, and played with F3 from
// another X client. Near the end of the recording the window's own seek command (the desktop's
// SetPosition) takes it back to the start, so playback never ends.
#include "e2e/WindowUser.h"
#include "ProcessMemory.h"
#include "media/TestMedia.h"
#include "x11/XClient.h"

#include "app/frm1.h"
#include "platform/LastResort.h"
#include "platform/LinuxPlatform.h"
#include "player/MpvPlayer.h"

#include "StartWindow.h"

#include <QApplication>
#include <QLineEdit>

#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using e2e::Eventually;
using e2e::OnGui;
using player::MediaPlayer;

// Where playback is taken back to the start, before the recording ends.
constexpr double LoopAt = media::Length - 5;
constexpr double FirstMinute = 60;

// The numeric argument at index, else the environment variable, else fallback.
double Setting(int argc, char* argv[], int index, const char* variable, double fallback)
{
    if (argc > index)
        return std::atof(argv[index]);
    if (const char* value = std::getenv(variable); value != nullptr && *value != '\0')
        return std::atof(value);
    return fallback;
}

struct Sample {
    double seconds;
    double mib;
};

class Soak {
public:
    Soak(app::frm1& window, double seconds, double every) : m_window(window), m_seconds(seconds), m_every(every)
    {
        m_window.PositionTimer().Tick.connect([this] { ++m_ticks; });
    }

    // On the user's thread; returns an empty text or what went wrong.
    std::string Run(const QString& path)
    {
        if (!m_x.IsUsable())
            return "no X display with XTest";
        if (std::string failure = e2e::OpenThroughDialog(m_x, m_window, path); !failure.empty())
            return failure;
        if (!Eventually([this] { return m_window.Geladen() == app::frm1::True; }, 10s))
            return "the recording was not opened";
        if (!m_x.TakeFocus())
            return "the user's window could not take the focus";
        m_x.Tap(XK_F3);
        if (!Eventually([this] { return Player().playState() == MediaPlayer::Playing; }))
            return "F3 does not play";

        const Clock::time_point start = Clock::now();
        const int startTicks = m_ticks.load();
        QString shown;
        int unchangedDisplay = 0;
        for (int n = 0;; ++n) {
            const Clock::time_point due = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(n * m_every));
            // Between samples, once a second: playback goes on and the display follows it.
            while (Clock::now() < due) {
                std::this_thread::sleep_for(std::min<Clock::duration>(1s, due - Clock::now()));
                const auto [state, position, display] = OnGui([this] {
                    return std::tuple(Player().playState(), Player().currentPosition(),
                                      m_window.findChild<QLineEdit*>(QStringLiteral("time"))->text());
                });
                if (state != MediaPlayer::Playing)
                    return "playback stopped at " + std::to_string(position) + " s (state " + std::to_string(state) + ")";
                if (OnGui([this] { return m_window.PositionTimer().Interval(); }) != app::frm1::FollowPlayback)
                    return "the position display no longer follows playback";
                unchangedDisplay = display == shown ? unchangedDisplay + 1 : 0;
                shown = display;
                if (unchangedDisplay > 3)
                    return "the position display stands still at " + display.toStdString();
                if (position >= LoopAt)
                    OnGui([this] { return m_window.SeekToCommand(0), 0; });
            }
            const double at = std::chrono::duration<double>(Clock::now() - start).count();
            m_samples.push_back({at, testing_support::ResidentMiB()});
            std::printf("%8.1f s  %7.2f MiB\n", at, m_samples.back().mib);
            std::fflush(stdout);
            if (at >= m_seconds)
                break;
        }
        m_x.Tap(XK_F2);
        m_ticksPerSecond = (m_ticks.load() - startTicks) / m_samples.back().seconds;
        return {};
    }

    const std::vector<Sample>& Samples() const { return m_samples; }
    double TicksPerSecond() const { return m_ticksPerSecond; }

private:
    MediaPlayer& Player() const { return m_window.Player(); }

    app::frm1& m_window;
    const double m_seconds;
    const double m_every;
    xtest::XClient m_x;
    std::vector<Sample> m_samples;
    std::atomic<int> m_ticks = 0;
    double m_ticksPerSecond = 0;
};

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    if (!qEnvironmentVariableIsSet("HORCHPULT_AO"))
        qputenv("HORCHPULT_AO", "null");
    QApplication application(argc, argv);
    // libmpv needs the C numeric locale.
    std::setlocale(LC_NUMERIC, "C");
    const double seconds = Setting(argc, argv, 1, "HORCHPULT_SOAK_SECONDS", 3600);
    const double every = Setting(argc, argv, 2, "HORCHPULT_SOAK_SAMPLE", std::max(1.0, seconds / 60));
    const double limit = Setting(argc, argv, 3, "HORCHPULT_SOAK_MAX_GROWTH", 2);
    if (!(seconds > 0) || !(every > 0) || !(limit >= 0)) {
        std::fprintf(stderr, "usage: %s [seconds [sample-every-seconds [max-growth-MiB]]]\n", argv[0]);
        return 2;
    }

    const QString recording = media::Path(media::Wav());
    if (recording.isEmpty()) {
        std::fprintf(stderr, "FFmpeg could not make the recording\n");
        return 1;
    }

    platform::LastResort lastResort([](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); });
    platform::LinuxPlatform desktop(lastResort);
    app::frm1 window(desktop, lastResort, std::make_unique<player::MpvPlayer>(lastResort));
    if (!StartWindow(window))
        return 1;

    std::printf("playing for %.0f s, VmRSS every %.1f s:\n", seconds, every);
    std::fflush(stdout);
    Soak soak(window, seconds, every);
    std::string failure;
    std::atomic<bool> finished = false;
    std::thread user([&] {
        failure = soak.Run(recording);
        finished = true;
        QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QApplication::exec();
    // A failure may leave a dialog's loop running; the user's thread must still end first.
    while (!finished)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    user.join();
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        return 1;
    }

    const std::vector<Sample>& samples = soak.Samples();
    const auto firstMinute =
        std::find_if(samples.begin(), samples.end(), [](const Sample& s) { return s.seconds >= FirstMinute; });
    const Sample& from = firstMinute != samples.end() && firstMinute != samples.end() - 1 ? *firstMinute : samples.front();
    const Sample& to = samples.back();
    const double growth = to.mib - from.mib;
    std::printf("position display: %.2f updates a second (every %d ms: %.2f)\n", soak.TicksPerSecond(),
                app::frm1::FollowPlayback, 1000.0 / app::frm1::FollowPlayback);
    std::printf("VmRSS at %.0f s %.2f MiB, at %.0f s %.2f MiB: growth %+.2f MiB (%+.2f %%), limit %.1f MiB: %s\n",
                from.seconds, from.mib, to.seconds, to.mib, growth, growth / from.mib * 100, limit,
                growth <= limit ? "met" : "missed");
    // A timer that falls far behind its period counts as a stalled display.
    const bool displayFollowed = soak.TicksPerSecond() >= 0.9 * 1000.0 / app::frm1::FollowPlayback;
    if (!displayFollowed)
        std::fprintf(stderr, "the position display fell behind its period\n");
    return growth <= limit && displayFollowed && !lastResort.Failed() ? 0 : 1;
}
