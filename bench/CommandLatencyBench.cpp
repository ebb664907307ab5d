// Command latency with the real player: the time from a hot key leaving another X client to the
// player having done the command, for a 60 s WAV and then a 60 s MP4 playing in the real window.
// F2: until the play state is no longer Playing. F1: until the position first reads at least
// 0.9 s before the one read just ahead of the press.
//
// Run it under an X server of its own, from the build folder:
//   ../tests/with-xvfb.sh bench/bench_command_latency [presses]
// (default 100 presses of each key per medium). It prints the median and 99th percentile in
// milliseconds; the targets are medians under 2 ms for audio and under 25 ms for video.
//
// The files are opened as a user does, Ctrl+N and the file dialog, so the window knows what it
// plays. The presses are timed as CommandWatch.h says.
#include "e2e/WindowUser.h"
#include "media/TestMedia.h"
#include "x11/XClient.h"

#include "app/frm1.h"
#include "platform/LastResort.h"
#include "platform/LinuxPlatform.h"
#include "player/MpvPlayer.h"

#include "CommandWatch.h"
#include "Statistics.h"
#include "StartWindow.h"

#include <QApplication>
#include <QPushButton>

#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using player::MediaPlayer;

using e2e::Eventually;
using e2e::OnGui;

struct Figures {
    std::vector<double> pause;
    std::vector<double> back;
};

class User {
public:
    User(app::frm1& window, Watch& watch, int presses) : m_window(window), m_watch(watch), m_presses(presses) {}

    // Returns an empty text or what went wrong.
    std::string Measure(const QString& path, Figures& figures)
    {
        if (!m_x.IsUsable())
            return "no X display with XTest";
        if (std::string failure = Open(path); !failure.empty())
            return failure;
        if (!m_x.TakeFocus())
            return "the user's window could not take the focus";
        m_x.Tap(XK_F3);
        if (!Eventually([this] { return Player().playState() == MediaPlayer::Playing; }))
            return "F3 does not play";

        for (int i = 0; i < m_presses; ++i) {
            double milliseconds = 0;
            if (std::string failure = PauseOnce(m_x, m_watch, Player(), milliseconds); !failure.empty())
                return "F2 press " + std::to_string(i + 1) + ": " + failure;
            figures.pause.push_back(milliseconds);
        }

        for (int i = 0; i < m_presses; ++i) {
            // Keeps a second to go back to, through the window's own >>> button.
            OnGui([this] {
                if (Player().currentPosition() < 2)
                    m_window.findChild<QPushButton*>(QStringLiteral("fffw"))->click();
                return 0;
            });
            std::this_thread::sleep_for(PlayingGap);
            OnGui([this] {
                m_watch.Arm(Watch::For::PositionAtMost, Player().currentPosition() - 0.9);
                return 0;
            });
            Clock::time_point sent, done;
            m_x.Press(XK_F1, [&] { sent = Clock::now(); });
            const bool seen = m_watch.Wait(done);
            m_x.Release(XK_F1);
            if (!seen) {
                OnGui([this] { return m_watch.Disarm(), 0; });
                return "F1 press " + std::to_string(i + 1) + " did not go back a second";
            }
            figures.back.push_back(Milliseconds(done - sent));
            if (OnGui([this] { return Player().playState(); }) != MediaPlayer::Playing)
                return "playback stopped during the F1 presses";
        }
        m_x.Tap(XK_F2);
        return {};
    }

private:
    MediaPlayer& Player() const { return m_window.Player(); }

    std::string Open(const QString& path)
    {
        if (std::string failure = e2e::OpenThroughDialog(m_x, m_window, path); !failure.empty())
            return failure;
        if (!Eventually([&] { return m_window.Geladen() == -1 && Player().URL().endsWith(QFileInfo(path).fileName()); }, 10s))
            return path.toStdString() + " was not opened";
        return {};
    }

    app::frm1& m_window;
    Watch& m_watch;
    const int m_presses;
    xtest::XClient m_x;
};

void Print(const char* command, const char* medium, std::vector<double> values, double target)
{
    std::sort(values.begin(), values.end());
    const double median = Percentile(values, 50.0);
    std::printf("%-8s %-6s over %zu presses (ms): median %7.3f, p99 %7.3f, max %7.3f (target median < %g): %s\n",
                command, medium, values.size(), median, Percentile(values, 99.0), values.back(), target,
                median < target ? "met" : "missed");
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("HORCHPULT_AO", "null");
    QApplication application(argc, argv);
    // libmpv needs the C numeric locale.
    std::setlocale(LC_NUMERIC, "C");
    const int presses = argc > 1 ? std::atoi(argv[1]) : 100;
    if (presses < 1) {
        std::fprintf(stderr, "usage: %s [presses]\n", argv[0]);
        return 2;
    }

    const QString audio = media::Path(media::Wav());
    const QString video = media::Path(media::Mp4());
    if (audio.isEmpty() || video.isEmpty()) {
        std::fprintf(stderr, "FFmpeg could not make the media\n");
        return 1;
    }

    platform::LastResort lastResort([](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); });
    platform::LinuxPlatform desktop(lastResort);
    app::frm1 window(desktop, lastResort, std::make_unique<player::MpvPlayer>(lastResort));
    if (!StartWindow(window))
        return 1;
    Watch watch(window.Player());

    Figures audioFigures, videoFigures;
    std::string failure;
    std::atomic<bool> finished = false;
    std::thread user([&] {
        User person(window, watch, presses);
        failure = person.Measure(audio, audioFigures);
        if (failure.empty())
            failure = person.Measure(video, videoFigures);
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

    Print("F2 pause", "audio", audioFigures.pause, 2);
    Print("F1 back", "audio", audioFigures.back, 2);
    Print("F2 pause", "video", videoFigures.pause, 25);
    Print("F1 back", "video", videoFigures.back, 25);
    return lastResort.Failed() ? 1 : 0;
}
