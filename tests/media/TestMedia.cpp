#include "TestMedia.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <QtEndian>

#include <cstring>

namespace media {

namespace {

constexpr const char* Sine = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=60";

} // namespace

const std::vector<Format>& Formats()
{
    static const std::vector<Format> formats = {
        {"WAV", "tone.wav", "-ac 1 -c:a pcm_s16le", 1.0 / 44100},
        {"MP3", "tone.mp3", "-ac 1 -c:a libmp3lame -b:a 64k", 1152.0 / 44100},
        {"Vorbis", "tone.ogg", "-ac 1 -c:a libvorbis -q:a 2", 2048.0 / 44100},
        {"MP4", "tone.mp4",
         "-f lavfi -i testsrc=size=160x120:rate=10:duration=60 -map 1:v -map 0:a -c:v libx264 "
         "-preset ultrafast -pix_fmt yuv420p -c:a aac -b:a 64k",
         1024.0 / 44100},
    };
    return formats;
}

const Format& Wav()
{
    return Formats()[0];
}

const Format& Mp4()
{
    return Formats()[3];
}

bool Ffmpeg(const QStringList& arguments)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                  QStringList{QStringLiteral("-nostdin"), QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                              QStringLiteral("error"), QStringLiteral("-y")} + arguments);
    return ffmpeg.waitForFinished(120000) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
}

QString Path(const Format& format)
{
    return Made(format.file, QLatin1String(Sine) + u' ' + QLatin1String(format.ffmpegArguments));
}

QString Made(const char* file, const QString& arguments, const QString& speech)
{
    const QDir folder(QStringLiteral(HORCHPULT_MEDIA_DIR));
    const QString path = folder.filePath(QString::fromLatin1(file));
    if (QFile::exists(path))
        return path;
    folder.mkpath(QStringLiteral("."));
    // Made under a name of this process's own, then renamed: another test may be making it too.
    const QString part = folder.filePath(QStringLiteral("part%1-").arg(QCoreApplication::applicationPid()) +
                                         QString::fromLatin1(file));
    const QString spoken = part + QStringLiteral(".speech.wav");
    QStringList ffmpeg = arguments.split(u' ', Qt::SkipEmptyParts);
    ffmpeg.replaceInStrings(QStringLiteral("speech.wav"), spoken);
    const bool read = speech.isEmpty() || QProcess::execute(QStringLiteral("espeak-ng"), {QStringLiteral("-w"), spoken, speech}) == 0;
    const bool made = read && Ffmpeg(ffmpeg + QStringList{part}) && QFile::rename(part, path);
    QFile::remove(spoken);
    if (!made) {
        QFile::remove(part);
        if (!QFile::exists(path))
            return {};
    }
    return path;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    // Keeps the event loop waking up even when nothing else happens.
    QTimer tick;
    tick.start(5);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void Pump(int milliseconds)
{
    WaitUntil([] { return false; }, milliseconds);
}

Recording Analyse(const QString& wavPath)
{
    QFile file(wavPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return {};

    int tag = 0, channels = 0, rate = 0, bits = 0;
    qsizetype data = -1;
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
        const QByteArray id = bytes.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        if (id == "fmt ") {
            tag = qFromLittleEndian<quint16>(bytes.constData() + at + 8);
            channels = qFromLittleEndian<quint16>(bytes.constData() + at + 10);
            rate = static_cast<int>(qFromLittleEndian<quint32>(bytes.constData() + at + 12));
            bits = qFromLittleEndian<quint16>(bytes.constData() + at + 22);
            if (tag == 0xFFFE) // extensible: the real tag opens the sub-format
                tag = qFromLittleEndian<quint16>(bytes.constData() + at + 32);
        } else if (id == "data") {
            // The writer may not have filled in the size; the data runs to the end.
            data = at + 8;
            break;
        }
        at += 8 + size + (size & 1);
    }
    // mpv's pcm output writes 32-bit floats.
    if (data < 0 || channels <= 0 || rate <= 0 || tag != 3 || bits != 32)
        return {};

    const int frameBytes = channels * bits / 8;
    const qsizetype frames = (bytes.size() - data) / frameBytes;
    const auto sample = [&](qsizetype i) -> double {
        float value;
        std::memcpy(&value, bytes.constData() + data + i * frameBytes, sizeof value);
        return value;
    };

    Recording result;
    result.seconds = static_cast<double>(frames) / rate;
    // Rising zero crossings, placed between samples by linear interpolation; the first and last
    // tenth of a second are left out.
    const qsizetype margin = rate / 10;
    double first = -1, last = -1;
    long crossings = 0;
    for (qsizetype i = margin + 1; i < frames - margin; ++i) {
        const double before = sample(i - 1), now = sample(i);
        if (before < 0 && now >= 0) {
            const double at = static_cast<double>(i - 1) + before / (before - now);
            if (first < 0)
                first = at;
            last = at;
            ++crossings;
        }
    }
    if (crossings > 1)
        result.frequency = static_cast<double>(crossings - 1) * rate / (last - first);
    return result;
}

} // namespace media
