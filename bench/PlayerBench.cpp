// The player's costs: resident memory with no medium and with a 60 s medium, the time to open a
// 3-hour MP3 and WAV, the time of an exact seek in each (until the engine has the new position
// ready), and what drawing a full-HD video in software costs the GUI thread. Needs an X display: run it under tests/with-xvfb.sh. The long files are made
// with FFmpeg on the first run and kept beside the test media.

#include "ProcessMemory.h"
#include "media/TestMedia.h"

#include "platform/LastResort.h"
#include "player/MpvPlayer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QWidget>

#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Opens = 5;
constexpr int Seeks = 20;
constexpr double ThreeHours = 3 * 3600;

void printResident(const char* label)
{
    using testing_support::StatusMiB;
    std::printf("resident memory, %-24s %6.1f MiB (private %5.1f, mapped files %5.1f)\n", label, StatusMiB("VmRSS"),
                StatusMiB("RssAnon"), StatusMiB("RssFile"));
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double milliseconds(const QElapsedTimer& clock)
{
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

QString madeFile(const char* name, const QString& arguments)
{
    const QString path = QDir(QStringLiteral(HORCHPULT_MEDIA_DIR)).filePath(QString::fromLatin1(name));
    if (QFile::exists(path))
        return path;
    std::printf("making %s ...\n", name);
    std::fflush(stdout);
    QDir().mkpath(QStringLiteral(HORCHPULT_MEDIA_DIR));
    const QString part = path + QStringLiteral(".part") + QFileInfo(path).suffix().prepend(u'.');
    if (!media::Ffmpeg(arguments.split(u' ') + QStringList{part}) || !QFile::rename(part, path))
        return {};
    return path;
}

QString longFile(const char* name, const char* encoding)
{
    return madeFile(name, QStringLiteral("-f lavfi -i sine=frequency=440:sample_rate=8000:duration=%1 %2")
                              .arg(ThreeHours).arg(QLatin1String(encoding)));
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Plays a full-HD video at the player's size for a few seconds, going back a second every 300 ms
// as F1 does, while a 5 ms timer measures how late the GUI thread gets to it.
void measurePicture(player::MpvPlayer& player, const QString& video, const QSize& size)
{
    player.resize(size);
    player.setURL(video);
    std::vector<double> lateness;
    QElapsedTimer clock;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        lateness.push_back(std::max(0.0, milliseconds(clock) - 5));
        clock.restart();
    });
    QTimer back;
    QObject::connect(&back, &QTimer::timeout, [&] { player.setCurrentPosition(std::max(0.0, player.currentPosition() - 1)); });
    const double cpuBefore = cpuSeconds();
    player.play();
    back.start(300);
    clock.start();
    tick.start(5);
    media::Pump(4000);
    tick.stop();
    back.stop();
    player.pause();
    std::sort(lateness.begin(), lateness.end());
    std::printf("1080p25 video drawn at %dx%d, F1 every 300 ms: CPU %3.0f %% of one core, GUI thread late by median %4.1f ms, "
                "99th percentile %5.1f ms\n",
                size.width(), size.height(), (cpuSeconds() - cpuBefore) / 4 * 100, lateness[lateness.size() / 2],
                lateness[lateness.size() * 99 / 100]);
}

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("HORCHPULT_AO"))
        qputenv("HORCHPULT_AO", "null");
    QApplication application(argc, argv);
    platform::LastResort lastResort([](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); });

    const QString minute = media::Path(media::Mp4());
    // LAME's fastest search makes a stream of the same bit rate in a third less time.
    const QString longMp3 = longFile("three-hours.mp3", "-ac 1 -c:a libmp3lame -b:a 8k -compression_level 9");
    const QString longWav = longFile("three-hours.wav", "-ac 1 -c:a pcm_s16le");
    // F1 keeps the picture test within the video's first seconds.
    const QString fullHd = madeFile("full-hd.mp4", QStringLiteral("-f lavfi -i testsrc2=size=1920x1080:rate=25:duration=6 "
                                                                   "-f lavfi -i sine=duration=6 -c:v libx264 -preset veryfast -c:a aac"));
    if (minute.isEmpty() || longMp3.isEmpty() || longWav.isEmpty() || fullHd.isEmpty()) {
        std::fprintf(stderr, "FFmpeg could not make the media\n");
        return 1;
    }

    printResident("Qt and libmpv loaded:");
    QWidget window;
    window.resize(480, 360);
    auto* player = new player::MpvPlayer(lastResort, &window);
    player->setGeometry(0, 0, 480, 360);
    player->setAutoStart(false);
    window.show();
    media::Pump(500);
    printResident("no medium (< 120):");

    player->setURL(minute);
    media::Pump(500);
    printResident("60 s video loaded:");
    player->play();
    media::Pump(1000);
    player->pause();
    printResident("after playing it 1 s:");

    QRandomGenerator random(2024);
    for (const auto& [label, path] : {std::pair{"3-hour MP3", longMp3}, std::pair{"3-hour WAV", longWav}}) {
        std::vector<double> opens;
        for (int i = 0; i < Opens; ++i) {
            player->setURL(minute);
            QElapsedTimer clock;
            clock.start();
            player->setURL(path);
            opens.push_back(milliseconds(clock));
        }
        std::vector<double> seeks;
        for (int i = 0; i < Seeks; ++i) {
            const double target = random.bounded(ThreeHours - 1);
            QElapsedTimer clock;
            clock.start();
            player->setCurrentPosition(target);
            if (!media::WaitUntil([&] { return !player->seekPending(); }, 5000)) {
                std::fprintf(stderr, "a seek in the %s did not finish\n", label);
                return 1;
            }
            seeks.push_back(milliseconds(clock));
        }
        std::printf("open %s:  median %6.1f ms, slowest %6.1f ms of %d (target < 100)\n", label, median(opens),
                    *std::max_element(opens.begin(), opens.end()), Opens);
        std::printf("seek %s:  median %6.1f ms, slowest %6.1f ms of %d (target < 30)\n", label, median(seeks),
                    *std::max_element(seeks.begin(), seeks.end()), Seeks);
    }
    // The window's picture at its first size and at its largest.
    for (const QSize size : {QSize(241, 101), QSize(597, 318)})
        measurePicture(*player, fullHd, size);
    delete player;
    return lastResort.Failed() ? 1 : 0;
}
