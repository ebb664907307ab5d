// Timestamp latency: the time from F4 leaving another X client to the last character of
// `#00:01:23-4#` arriving at the program that an xterm runs, over the real key grab and XTest.
//
// Run it under an X server of its own, from the build folder:
//   ../tests/with-xvfb.sh bench/bench_timestamp_latency [presses]
// (default 200 presses; needs xterm). It prints the median, 99th percentile, minimum and maximum
// in milliseconds; the target is a median under 30 ms.
//
// The program: Qt's connection, the real platform and window with a file open, paused at
// 83.47 s, its GUI thread in the event loop between presses as in real use. The editor: an xterm
// whose shell hands every byte typed into it to a FIFO this process reads on a thread of its
// own, and a thread with a second Xlib connection that gives the xterm the focus and taps F4
// through XTest as a keyboard does (press, then release).
#include "tests/x11/XClient.h"

#include "app/frm1.h"
#include "platform/LastResort.h"
#include "platform/LinuxPlatform.h"
#include "player/FakePlayer.h"

#include "Statistics.h"
#include "StartWindow.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr char Stamp[] = "#00:01:23-4#";
constexpr std::size_t StampLength = sizeof Stamp - 1;
// Long enough for the GUI thread to fall asleep in the event loop before the next press.
constexpr auto IdleGap = std::chrono::milliseconds(5);

double Milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// What the xterm's program has received, as the FIFO's reader counts it.
struct Received {
    std::mutex mutex;
    std::condition_variable changed;
    std::string text;
    Clock::time_point last;
};

void Read(const std::string& fifo, Received& received)
{
    const int fd = ::open(fifo.c_str(), O_RDONLY);
    char buffer[256];
    for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
        const Clock::time_point now = Clock::now();
        {
            const std::lock_guard lock(received.mutex);
            received.text.append(buffer, static_cast<std::size_t>(n));
            received.last = now;
        }
        received.changed.notify_one();
    }
    if (fd >= 0)
        ::close(fd);
}

// The editor's part; returns an empty text or what went wrong.
std::string PressAll(int presses, Received& received, std::vector<double>& latencies)
{
    xtest::XClient editor;
    if (!editor.IsUsable())
        return "no X display with XTest";
    xtest::XWindow xterm = 0;
    if (!xtest::WaitUntil([&] { return (xterm = editor.FindWindow("bench-xterm")) != 0; }, std::chrono::seconds(10))
        || !xtest::WaitUntil([&] { return editor.Focus(xterm); }, std::chrono::seconds(5)))
        return "the xterm did not show or take the focus";
    for (int i = 0; i < presses; ++i) {
        std::this_thread::sleep_for(IdleGap);
        Clock::time_point sent;
        editor.Press(XK_F4, [&] { sent = Clock::now(); });
        editor.Release(XK_F4);
        const std::size_t expected = StampLength * static_cast<std::size_t>(i + 1);
        std::unique_lock lock(received.mutex);
        const bool arrived =
            received.changed.wait_for(lock, std::chrono::seconds(2), [&] { return received.text.size() >= expected; });
        if (!arrived || received.text.size() != expected || received.text.compare(expected - StampLength, StampLength, Stamp) != 0)
            return "press " + std::to_string(i + 1) + ": the xterm received '" + received.text.substr(expected - std::min(expected, StampLength)) + "'";
        latencies.push_back(Milliseconds(received.last - sent));
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

    QTemporaryDir dir;
    const QString recording = dir.filePath(QStringLiteral("interview.mp3"));
    const std::string fifo = dir.filePath(QStringLiteral("typed")).toStdString();
    if (!QFile(recording).open(QIODevice::WriteOnly) || ::mkfifo(fifo.c_str(), 0600) != 0) {
        std::fprintf(stderr, "could not make the files in %s\n", qPrintable(dir.path()));
        return 1;
    }

    platform::LastResort lastResort;
    platform::LinuxPlatform desktop(lastResort);
    // The position is all a timestamp asks of the player.
    auto player = std::make_unique<player::FakePlayer>();
    player::FakePlayer& fake = *player;
    app::frm1 window(desktop, lastResort, std::move(player));
    if (!StartWindow(window))
        return 1;
    window.OpenGivenFile(recording);
    fake.position = 83.47;

    Received received;
    std::thread reader([&] { Read(fifo, received); });
    QProcess xterm;
    xterm.start(QStringLiteral("xterm"), {QStringLiteral("-T"), QStringLiteral("bench-xterm"), QStringLiteral("-e"),
                                          QStringLiteral("sh"), QStringLiteral("-c"),
                                          QStringLiteral("stty raw -echo; exec cat > '%1'").arg(QString::fromStdString(fifo))});

    std::vector<double> latencies;
    std::string failure;
    std::thread editor([&] {
        failure = PressAll(presses, received, latencies);
        QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QApplication::exec();
    editor.join();
    xterm.kill();
    xterm.waitForFinished();
    // Ends the reader also where the xterm never opened the FIFO.
    if (const int end = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK); end >= 0)
        ::close(end);
    reader.join();
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        return 1;
    }

    std::sort(latencies.begin(), latencies.end());
    const double median = Percentile(latencies, 50.0);
    std::printf("F4 to the last character of %s in an xterm over %d presses (ms): median %.3f, p99 %.3f, min %.3f, "
                "max %.3f\n",
                Stamp, presses, median, Percentile(latencies, 99.0), latencies.front(), latencies.back());
    std::printf("target median < 30 ms: %s\n", median < 30.0 ? "met" : "missed");
    return 0;
}
