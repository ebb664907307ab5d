// The player's costs: resident memory with no medium and with a 60 s medium, the time to open a
// 3-hour MP3 and WAV, the time of an exact seek in each (until the engine has the new position
// ready), what drawing a full-HD video in software costs the GUI thread, the processor time of
// the sound choices while speech plays, and, heard at a PulseAudio null sink of its own, how long
// the sound goes on after F2, how far from its place F3 resumes after F2 with auto-rewind, and the
// seams of repeats. Needs an X display: run it under
// tests/with-xvfb.sh. The long files are made with FFmpeg on the first run and kept beside the
// test media.
//
// bench_player [seconds [cycles]]: each processor-time figure over `seconds` (10; also
// HORCHPULT_BENCH_SECONDS), the pause and the resume over `cycles` F2/F3 cycles and as many
// repeats (20).

#include "LongRecordings.h"
#include "ProcessMemory.h"
#include "media/SoundServer.h"
#include "media/TestMedia.h"

#include "platform/LastResort.h"
#include "player/MpvPlayer.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int Opens = 5;
constexpr int Seeks = 20;

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

// Processor time of the whole program while stereo speech plays at 1.0x for `seconds`, with
// none of the sound choices and then with all four.
void measureSoundChoices(player::MpvPlayer& player, const QString& speech, int seconds)
{
    // Both measurements must fit into the speech.
    seconds = std::min(seconds, 25);
    const char* const choices[] = {"soundEvenOutLoudness", "soundCutHum", "soundReduceNoise", "soundChannelsLeft"};
    player.setURL(speech);
    player.play();
    for (const bool on : {false, true}) {
        for (const char* name : choices) {
            QAction* action = player.contextMenu().findChild<QAction*>(QLatin1String(name));
            if (action->isChecked() != on)
                action->trigger();
        }
        media::Pump(1000);
        const double before = cpuSeconds();
        media::Pump(seconds * 1000);
        std::printf("speech at 1.0x, %-26s CPU %4.1f %% of one core (target < 8)\n",
                    on ? "all four sound choices:" : "no sound choice:", (cpuSeconds() - before) / seconds * 100);
    }
    player.pause();
}

// `count` repeats of 3 s begun while playing, each heard through two seams: the silence at each
// seam, and how far the passage's end lies from the last sound heard before the key.
bool measureRepeats(player::MpvPlayer& player, SoundServer& server, const QString& noise, int count)
{
    constexpr double Length = 3;
    std::vector<double> silences, endErrors;
    for (int i = 0; i < count; ++i) {
        const double at = 10 + i % 40;
        player.endRepeat();
        player.setCurrentPosition(at);
        player.play();
        media::Pump(1000);
        server.forget();
        media::Pump(300);
        player.repeatLast(Length);
        media::Pump(static_cast<int>(2 * Length * 1000) + 500);
        const std::vector<RunHeard> runs = Passes(RunsHeard(server.take(), noise, at + 1 - Length - 0.5, at + 1.8));
        // The first run is what played before the key, the rest are passes.
        for (std::size_t run = 1; run + 1 < runs.size() && run <= 2; ++run) {
            silences.push_back(static_cast<double>(runs[run + 1].heardFrom - runs[run].heardTo) * 1000 / SoundServer::Rate);
            endErrors.push_back((runs[run].to - runs.front().to) * 1000);
        }
    }
    player.endRepeat();
    if (silences.empty()) {
        std::fprintf(stderr, "no repeat was heard at the sink\n");
        return false;
    }
    std::sort(silences.begin(), silences.end());
    std::sort(endErrors.begin(), endErrors.end());
    std::printf("repeat seams over %d repeats of %g s begun while playing: silence median %4.1f ms, worst %4.1f ms of %zu; "
                "end off the last sound before the key by median %+5.1f ms, %+5.1f to %+5.1f ms (target: silence under 30, "
                "end within 20)\n",
                count, Length, silences[silences.size() / 2], silences.back(), silences.size(), endErrors[endErrors.size() / 2],
                endErrors.front(), endErrors.back());
    return true;
}

// F2 with auto-rewind 2 s and then F3, `cycles` times, heard at a PulseAudio server of its own
// whose null sink mixes in blocks of 5 ms: how long the sound goes on after F2, and how far from
// its place F3 resumes.
bool measurePause(platform::LastResort& lastResort, int cycles)
{
    constexpr int BlockMs = 5;
    const QString noise = Noise();
    QTemporaryDir folder;
    SoundServer server(folder.path(), BlockMs);
    if (noise.isEmpty() || !server.start()) {
        std::fprintf(stderr, "no sound server for the pause: %s\n", qPrintable(server.log()));
        return false;
    }
    qputenv("HORCHPULT_AO", "pulse");
    qputenv("PULSE_SERVER", server.playerAddress());
    qputenv("PULSE_CLIENTCONFIG", "/dev/null");
    qputenv("PULSE_COOKIE", QFile::encodeName(folder.filePath(QStringLiteral("cookie"))));
    QWidget window;
    auto* player = new player::MpvPlayer(lastResort, &window);
    player->setGeometry(0, 0, 320, 200);
    window.show();
    player->setURL(noise);
    media::Pump(3000);
    std::vector<double> soundAfterKey, errors;
    for (int i = 0; i < cycles; ++i) {
        if (const auto heard = PauseAndResume(*player, server, noise, 2)) {
            soundAfterKey.push_back(heard->soundAfterKeyMs);
            errors.push_back(heard->resumeErrorMs);
        }
    }
    if (errors.empty()) {
        std::fprintf(stderr, "no pause was heard at the sink\n");
        return false;
    }
    std::sort(soundAfterKey.begin(), soundAfterKey.end());
    std::sort(errors.begin(), errors.end());
    const double worst = std::max(-errors.front(), errors.back());
    std::printf("F2 to silence at a sink of %d ms blocks: median %5.1f ms, p90 %5.1f ms of %zu (target: median under %d)\n",
                BlockMs, soundAfterKey[soundAfterKey.size() / 2], soundAfterKey[soundAfterKey.size() * 9 / 10], soundAfterKey.size(),
                BlockMs);
    std::printf("F3 after F2 with auto-rewind 2 s resumes off by median %+5.1f ms, worst %5.1f ms of %zu (target within 5)\n",
                errors[errors.size() / 2], worst, errors.size());
    return measureRepeats(*player, server, noise, cycles);
}

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("HORCHPULT_AO"))
        qputenv("HORCHPULT_AO", "null");
    QApplication application(argc, argv);
    const QByteArray secondsGiven = argc > 1 ? QByteArray(argv[1]) : qgetenv("HORCHPULT_BENCH_SECONDS");
    const int seconds = secondsGiven.isEmpty() ? 10 : std::max(1, secondsGiven.toInt());
    const int cycles = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    platform::LastResort lastResort([](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); });

    const QString minute = media::Path(media::Mp4());
    const QString longMp3 = ThreeHourMp3();
    const QString longWav = ThreeHourFile("three-hours.wav", "-ac 1 -c:a pcm_s16le");
    // Read eight times over: about a minute, longer than both measurements at 10 s.
    const QString speech = media::Made("speech-minute.wav", QStringLiteral("-stream_loop 7 -i speech.wav -af aresample=48000 -ac 2 -c:a pcm_s16le"),
                                       QStringLiteral("We talked about the harvest, the weather, and the long road to the "
                                                      "market town, where my grandmother sold eggs and cheese every Saturday."));
    // F1 keeps the picture test within the video's first seconds.
    const QString fullHd = media::Made("full-hd.mp4", QStringLiteral("-f lavfi -i testsrc2=size=1920x1080:rate=25:duration=6 "
                                                                      "-f lavfi -i sine=duration=6 -c:v libx264 -preset veryfast -c:a aac"));
    if (minute.isEmpty() || longMp3.isEmpty() || longWav.isEmpty() || fullHd.isEmpty() || speech.isEmpty()) {
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
    measureSoundChoices(*player, speech, seconds);
    delete player;
    const bool resumed = measurePause(lastResort, cycles);
    return lastResort.Failed() || !resumed ? 1 : 0;
}
