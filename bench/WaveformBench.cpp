// The waveform's costs with a recording of three hours (the MP3 bench_player makes): the time to
// its full overview against FFmpeg decoding the file on one thread, the first picture after
// opening, a second opening from the disk cache, the resident memory the overview adds, F2 at
// the real window while the overview is read against F2 with it complete, and the processor
// time of drawing the strip while playing at 1.0x.
//
// Run it under an X server of its own, from the source folder after a build:
//   tests/with-xvfb.sh build/bench/bench_waveform [seconds [presses]]
// (default 10 s of playback with the strip shown and as many with it hidden, 100 presses of F2
// in each state). The targets, on two cores: the overview in at most 0.6 of FFmpeg's time, the
// first picture under 300 ms, the opening from the cache under 100 ms, under 20 MiB more
// resident memory, F2's median and 99th percentile no more than 1 ms slower while the overview
// is read, drawing under 2 % of a core.
//
// The first picture is the view's first paint whose picture differs from the one of the same
// length with every peak unknown; it is looked at once the event loop has gone round after each
// paint, so the figure includes the flush to the X server. The window remembers between runs,
// in configuration and cache folders of the benchmark's own, so that the end of its overview
// shows as the overview's file appearing in the cache. Each round of F2 while the overview is
// read opens a new copy of the recording, which nothing knows yet, and a press counts when the
// file was not there once the player plays again. F2 is timed as CommandWatch.h says; drawing
// is the GUI thread's processor time with the strip shown less that with it hidden.
#include "ProcessMemory.h"
#include "e2e/WindowUser.h"
#include "media/TestMedia.h"
#include "x11/XClient.h"

#include "app/frm1.h"
#include "platform/LastResort.h"
#include "platform/LinuxPlatform.h"
#include "player/MpvPlayer.h"
#include "waveform/Waveform.h"
#include "waveform/WaveformView.h"

#include "CommandWatch.h"
#include "LongRecordings.h"
#include "Statistics.h"
#include "StartWindow.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <X11/keysym.h>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using waveform::Waveform;

constexpr double TargetShareOfFfmpeg = 0.6;
constexpr double TargetFirstPictureMs = 300;
constexpr double TargetFromCacheMs = 100;
constexpr double TargetGrowthMiB = 20;
constexpr double TargetSlowerMs = 1;
constexpr double TargetDrawingPercent = 2;
// Far longer than reading the three hours takes, even on a busy machine.
constexpr int ReadingTimeoutMs = 120000;
// Lets the window and the player settle after a change before processor time is counted.
constexpr int SettleMs = 1000;

double milliseconds(const QElapsedTimer& clock)
{
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

const char* verdict(bool met)
{
    return met ? "met" : "missed";
}

// The milliseconds FFmpeg takes to decode the whole file on one thread; -1 when it fails.
double ffmpegDecoding(const QString& path)
{
    QProcess ffmpeg;
    QElapsedTimer clock;
    clock.start();
    ffmpeg.start(QStringLiteral("ffmpeg"), {QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                                            QStringLiteral("-threads"), QStringLiteral("1"), QStringLiteral("-i"), path,
                                            QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    if (!ffmpeg.waitForFinished(ReadingTimeoutMs) || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0)
        return -1;
    return milliseconds(clock);
}

bool waitForReadingEnd(const Waveform& model)
{
    return media::WaitUntil([&] { return model.reading() != Waveform::Reading::UnderWay; }, ReadingTimeoutMs)
           && model.reading() == Waveform::Reading::Complete;
}

// The milliseconds from opening the recording to the end of its reading; -1 when the overview
// did not complete.
double timeToOverview(Waveform& model, const QString& path)
{
    QElapsedTimer clock;
    double ended = -1;
    // From memory or the cache, the reading ends within open().
    const QMetaObject::Connection connection =
        QObject::connect(&model, &Waveform::readingEnded, [&] { ended = milliseconds(clock); });
    clock.start();
    model.open(path);
    const bool complete = waitForReadingEnd(model);
    QObject::disconnect(connection);
    return complete ? ended : -1;
}

// Calls `look` after each paint of the widget, once the event loop has gone round; paints that
// `look` itself causes, grabbing the widget, are left out.
class AfterPaint final : public QObject {
public:
    AfterPaint(QWidget& widget, std::function<void()> look) : m_look(std::move(look)) { widget.installEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_looking)
            QTimer::singleShot(0, this, [this] {
                m_looking = true;
                m_look();
                m_looking = false;
            });
        return false;
    }

private:
    std::function<void()> m_look;
    bool m_looking = false;
};

// The milliseconds from opening the recording to the view's first picture with known peaks; -1
// when there was none. The model's reading is waited for to its end.
double timeToFirstPicture(Waveform& model, const QString& path)
{
    waveform::WaveformView view;
    view.setPeaks(&model.peaks());
    view.setLength(ThreeHours);
    QObject::connect(&model, &Waveform::reset, &view, [&] { view.setPeaks(&model.peaks()); });
    QObject::connect(&model, &Waveform::changed, &view, &waveform::WaveformView::peaksChanged);
    view.resize(view.sizeHint());
    view.show();
    media::Pump(SettleMs);
    const QImage unknown = view.grab().toImage();

    QElapsedTimer clock;
    double shown = -1;
    const AfterPaint afterPaint(view, [&] {
        const std::vector<waveform::Peak>& values = model.peaks().values;
        if (shown < 0 && std::any_of(values.begin(), values.end(), [](waveform::Peak peak) { return peak.known(); })
            && view.grab().toImage() != unknown)
            shown = milliseconds(clock);
    });
    clock.start();
    model.open(path);
    media::WaitUntil([&] { return shown >= 0; }, ReadingTimeoutMs);
    return waitForReadingEnd(model) ? shown : -1;
}

struct Presses {
    std::vector<double> reading;
    std::vector<double> complete;
};

// The user's part: F2 while the window reads the overview of a new copy of the recording in each
// round, until `count` presses counted, then as many with the last round's overview complete.
// Returns an empty text or what went wrong.
std::string pressF2(app::frm1& window, Watch& watch, const QString& recording, const QDir& rounds, const QDir& cache,
                    int count, Presses& presses)
{
    xtest::XClient x;
    if (!x.IsUsable())
        return "no X display with XTest";
    if (!x.TakeFocus())
        return "the user's window could not take the focus";
    const player::MediaPlayer& wm1 = window.Player();
    const auto overviews = [&] { return cache.entryList({QStringLiteral("*.peaks")}, QDir::Files).size(); };
    const auto counted = [&] { return presses.reading.size() >= static_cast<std::size_t>(count); };
    qsizetype overviewsBefore = 0;
    for (int round = 1; !counted(); ++round) {
        const QString copy = rounds.filePath(QStringLiteral("round-%1.mp3").arg(round));
        if (!QFile::copy(recording, copy))
            return "the recording could not be copied to " + copy.toStdString();
        overviewsBefore = overviews();
        e2e::OnGui([&] { return window.OpenGivenFile(copy), 0; });
        if (e2e::OnGui([&] { return window.Geladen(); }) != app::frm1::True)
            return copy.toStdString() + " was not opened";
        x.Tap(XK_F3);
        if (!e2e::Eventually([&] { return wm1.playState() == player::MediaPlayer::Playing; }))
            return "F3 does not play";
        const std::size_t before = presses.reading.size();
        while (!counted() && overviews() == overviewsBefore) {
            double pause = 0;
            if (std::string failure = PauseOnce(x, watch, wm1, pause); !failure.empty())
                return "F2 while the overview is read: " + failure;
            if (overviews() == overviewsBefore)
                presses.reading.push_back(pause);
        }
        if (presses.reading.size() == before)
            return "the overview of round " + std::to_string(round) + " was complete before F2 was pressed";
    }
    if (!xtest::WaitUntil([&] { return overviews() > overviewsBefore; }, std::chrono::milliseconds(ReadingTimeoutMs)))
        return "the window's overview did not complete";
    for (int i = 0; i < count; ++i) {
        double pause = 0;
        if (std::string failure = PauseOnce(x, watch, wm1, pause); !failure.empty())
            return "F2 with the overview complete: " + failure;
        presses.complete.push_back(pause);
    }
    x.Tap(XK_F2);
    return {};
}

struct Spread {
    double median;
    double p99;
};

Spread printPresses(const char* state, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const Spread spread{Percentile(values, 50.0), Percentile(values, 99.0)};
    std::printf("F2 to paused over %zu presses, overview %-10s (ms): median %7.3f, p99 %7.3f, max %7.3f\n", values.size(),
                state, spread.median, spread.p99, values.back());
    return spread;
}

double threadCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The GUI thread's processor time over `seconds`, in percent of one core.
double guiThreadPercent(int seconds)
{
    media::Pump(SettleMs);
    const double before = threadCpuSeconds();
    media::Pump(seconds * 1000);
    return (threadCpuSeconds() - before) / seconds * 100;
}

QAction* contextAction(app::frm1& window, const char* name)
{
    return window.Player().contextMenu().findChild<QAction*>(QLatin1String(name));
}

} // namespace

int main(int argc, char* argv[])
{
    const QTemporaryDir folders;
    if (!folders.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QDir temporary(folders.path());
    for (const char* name : {"config", "cache", "peaks", "rounds"})
        temporary.mkdir(QLatin1String(name));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(temporary.filePath(QStringLiteral("config"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(temporary.filePath(QStringLiteral("cache"))));
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("HORCHPULT_AO", "null");
    QApplication application(argc, argv);
    // libmpv needs the C numeric locale.
    std::setlocale(LC_NUMERIC, "C");
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int count = argc > 2 ? std::atoi(argv[2]) : 100;
    if (seconds < 1 || count < 1) {
        std::fprintf(stderr, "usage: %s [seconds [presses]]\n", argv[0]);
        return 2;
    }
    const QString recording = ThreeHourMp3();
    if (recording.isEmpty()) {
        std::fprintf(stderr, "FFmpeg could not make the media\n");
        return 1;
    }

    const double ffmpeg = ffmpegDecoding(recording);
    const double residentBefore = testing_support::StatusMiB("VmRSS");
    double overview = -1;
    double residentAfter = -1;
    {
        Waveform model;
        overview = timeToOverview(model, recording);
        residentAfter = testing_support::StatusMiB("VmRSS");
    }
    const QString peaks = temporary.filePath(QStringLiteral("peaks"));
    double firstPicture = -1;
    {
        Waveform model;
        model.setCacheFolder(peaks);
        firstPicture = timeToFirstPicture(model, recording);
    }
    double fromCache = -1;
    {
        Waveform model;
        model.setCacheFolder(peaks);
        fromCache = timeToOverview(model, recording);
    }
    if (ffmpeg < 0 || overview < 0 || firstPicture < 0 || fromCache < 0) {
        std::fprintf(stderr, "%s\n", ffmpeg < 0 ? "FFmpeg could not decode the recording" : "the waveform did not complete");
        return 1;
    }
    const double share = overview / ffmpeg;
    std::printf("FFmpeg -threads 1 decoding the 3-hour MP3:  %8.1f ms\n", ffmpeg);
    std::printf("full overview of the 3-hour MP3, no cache:  %8.1f ms, %.2f of FFmpeg's time on %d cores "
                "(target at most %g on two): %s\n",
                overview, share, QThread::idealThreadCount(), TargetShareOfFfmpeg, verdict(share <= TargetShareOfFfmpeg));
    std::printf("first picture after opening:                %8.1f ms (target < %g): %s\n", firstPicture,
                TargetFirstPictureMs, verdict(firstPicture < TargetFirstPictureMs));
    std::printf("second opening from the cache:              %8.1f ms (target < %g): %s\n", fromCache, TargetFromCacheMs,
                verdict(fromCache < TargetFromCacheMs));
    const double growth = residentAfter - residentBefore;
    std::printf("VmRSS growth for the full overview:         %8.1f MiB, %.1f to %.1f (target < %g): %s\n", growth,
                residentBefore, residentAfter, TargetGrowthMiB, verdict(growth < TargetGrowthMiB));
    std::fflush(stdout);

    platform::LastResort lastResort([](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); });
    platform::LinuxPlatform desktop(lastResort);
    app::frm1 window(desktop, lastResort, std::make_unique<player::MpvPlayer>(lastResort));
    if (!StartWindow(window))
        return 1;
    QAction* const remember = contextAction(window, "remember");
    QAction* const strip = contextAction(window, "wellenform");
    if (!remember->isChecked())
        remember->trigger();
    if (!strip->isChecked())
        strip->trigger();
    Watch watch(window.Player());

    Presses presses;
    std::string failure;
    std::atomic<bool> finished = false;
    // A loop of its own: quitting the application's would close the window, which plays on.
    QEventLoop pressing;
    std::thread user([&] {
        failure = pressF2(window, watch, recording, QDir(temporary.filePath(QStringLiteral("rounds"))),
                          QDir(temporary.filePath(QStringLiteral("cache/horchpult/waveforms"))), count, presses);
        finished = true;
        QMetaObject::invokeMethod(&pressing, &QEventLoop::quit, Qt::QueuedConnection);
    });
    pressing.exec();
    // A failure may leave a dialog's loop running; the user's thread must still end first.
    while (!finished)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    user.join();
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        return 1;
    }
    const Spread reading = printPresses("being read", presses.reading);
    const Spread complete = printPresses("complete", presses.complete);
    const Spread slower{reading.median - complete.median, reading.p99 - complete.p99};
    std::printf("F2 to paused, overview being read against complete: median %+7.3f ms, p99 %+7.3f ms "
                "(target at most %g slower): %s\n",
                slower.median, slower.p99, TargetSlowerMs,
                verdict(slower.median <= TargetSlowerMs && slower.p99 <= TargetSlowerMs));

    window.PlayCommand();
    const double shown = guiThreadPercent(seconds);
    strip->trigger();
    const double hidden = guiThreadPercent(seconds);
    window.PauseCommand();
    const double drawing = shown - hidden;
    std::printf("drawing the strip while playing at %.1fx over %d s: GUI thread %4.1f %% of a core shown, %4.1f %% hidden, "
                "%4.1f %% for the strip (target < %g): %s\n",
                window.PlaybackRate(), seconds, shown, hidden, drawing, TargetDrawingPercent,
                verdict(drawing < TargetDrawingPercent));
    return lastResort.Failed() ? 1 : 0;
}
