#pragma once

#include "TestMedia.h"

#include "player/MpvPlayer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <optional>
#include <vector>

// A PulseAudio server of the test's own in a folder of its own, with one null sink. The player
// reaches it through the socket "native", the test's tools through "control": dropping the
// player's connections leaves the test's. A stereo recording of the sink's monitor tells what is
// heard; the recording's latency sets the sink's blocks (20 ms unless given).
class SoundServer {
public:
    static constexpr int Rate = 48000;
    static constexpr int Channels = 2;

    explicit SoundServer(const QString& folder, int blockMs = 20) : m_folder(folder), m_blockMs(blockMs) {}
    ~SoundServer()
    {
        for (QProcess* process : {&m_monitor, &m_server}) {
            process->terminate();
            process->waitForFinished(5000);
        }
    }

    QByteArray playerAddress() const { return "unix:" + QFile::encodeName(path("native")); }
    QString log() { return QString::fromLocal8Bit(m_server.readAllStandardError()); }

    // Starts the server, opens the player's socket and starts recording the monitor.
    bool start()
    {
        QFile script(path("server.pa"));
        // Rendering ahead and rewinding, a null sink hands new sound to its monitor only a second
        // or more later; a sound card is heard at once.
        const bool written = script.open(QIODevice::WriteOnly) &&
                             script.write("load-module module-null-sink sink_name=sink rate=48000 channels=2 norewinds=1\n"
                                          "load-module module-native-protocol-unix auth-anonymous=1 socket=" +
                                          QFile::encodeName(path("control")) + '\n') > 0;
        script.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_folder);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_folder);
        m_server.setProcessEnvironment(environment);
        m_server.start(QStringLiteral("pulseaudio"), split("-n --daemonize=no --exit-idle-time=-1 --use-pid-file=no "
                                                           "--realtime=no --high-priority=no --log-target=stderr -F") +
                                                         QStringList{path("server.pa")});
        const auto answers = [&] { return control(split("info")).has_value(); };
        if (!written || !m_server.waitForStarted() || !media::WaitUntil(answers, 5000))
            return false;
        m_monitor.start(QStringLiteral("parec"), split("--device=sink.monitor --raw --format=s16le --rate=48000 --channels=2")
                                                     << QStringLiteral("--latency-msec=%1").arg(m_blockMs)
                                                     << QStringLiteral("--server=") + controlAddress());
        return m_monitor.waitForStarted() && restore();
    }

    // Every connection of the player ends, and the socket is gone until restore().
    bool dropClients() { return control(split("unload-module") << m_playerModule).has_value(); }
    bool restore()
    {
        const auto index = control(split("load-module module-native-protocol-unix auth-anonymous=1")
                                   << QStringLiteral("socket=") + path("native"));
        m_playerModule = QString::fromLatin1(index.value_or(QByteArray()).trimmed());
        return !m_playerModule.isEmpty();
    }

    bool hasPlayingStream() const
    {
        const auto listed = control(split("--format=json list sink-inputs"));
        const QJsonArray streams = QJsonDocument::fromJson(listed.value_or(QByteArray())).array();
        return std::any_of(streams.begin(), streams.end(),
                           [](const QJsonValue& stream) { return !stream[QStringLiteral("corked")].toBool(true); });
    }

    // True if a tenth of a second of the recording's 440 Hz tone reached the sink since the last call.
    bool toneArrived()
    {
        constexpr int Block = Rate / 10;
        constexpr double Crossings = 2 * media::Tone * Block / Rate;
        read();
        bool heard = false;
        for (; m_recorded.size() >= Block * Channels; m_recorded.erase(m_recorded.begin(), m_recorded.begin() + Block * Channels)) {
            int crossings = 0;
            int peak = 0;
            for (int i = 1; i < Block; ++i) {
                peak = std::max(peak, std::abs(int(m_recorded[i * Channels])));
                crossings += (m_recorded[(i - 1) * Channels] < 0) != (m_recorded[i * Channels] < 0);
            }
            heard = heard || (peak > 64 && std::abs(crossings - Crossings) < Crossings / 10);
        }
        return heard;
    }

    // What reaches the sink in the next `milliseconds`, as interleaved stereo samples.
    std::vector<qint16> record(int milliseconds)
    {
        forget();
        media::Pump(milliseconds);
        return take();
    }
    // What reached the sink since the last forget() or take().
    void forget()
    {
        read();
        m_recorded.clear();
    }
    std::vector<qint16> take()
    {
        read();
        return std::exchange(m_recorded, {});
    }

private:
    static QStringList split(const char* arguments)
    {
        return QString::fromLatin1(arguments).split(u' ', Qt::SkipEmptyParts);
    }
    QString path(const char* name) const { return m_folder + u'/' + QLatin1String(name); }
    QString controlAddress() const { return QStringLiteral("unix:") + path("control"); }

    void read()
    {
        m_bytes += m_monitor.readAllStandardOutput();
        const qsizetype whole = m_bytes.size() / (2 * Channels) * (2 * Channels);
        const auto* samples = reinterpret_cast<const qint16*>(m_bytes.constData());
        m_recorded.insert(m_recorded.end(), samples, samples + whole / 2);
        m_bytes.remove(0, whole);
    }

    // pactl's output, or nothing if it failed.
    std::optional<QByteArray> control(QStringList arguments) const
    {
        QProcess pactl;
        pactl.start(QStringLiteral("pactl"), QStringList{QStringLiteral("--server=") + controlAddress()} + arguments);
        if (!pactl.waitForFinished(5000) || pactl.exitStatus() != QProcess::NormalExit || pactl.exitCode() != 0)
            return std::nullopt;
        return pactl.readAllStandardOutput();
    }

    QString m_folder;
    int m_blockMs;
    QProcess m_server;
    QProcess m_monitor;
    QByteArray m_bytes;
    std::vector<qint16> m_recorded;
    QString m_playerModule;
};

// Levels in dB of full scale of one channel of a stereo recording.
namespace level {

inline double Db(double amplitude)
{
    return 20 * std::log10(std::max(amplitude, 1e-9));
}

// The amplitude of the sine of this frequency in it (Goertzel over whole periods), in dB of
// full scale.
inline double Tone(const std::vector<qint16>& recording, int channel, double frequency)
{
    const auto frames = static_cast<qsizetype>(recording.size() / SoundServer::Channels);
    const auto n = static_cast<qsizetype>(std::floor(frames * frequency / SoundServer::Rate) * SoundServer::Rate / frequency);
    const double w = 2 * std::numbers::pi * frequency / SoundServer::Rate;
    double s1 = 0, s2 = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const double s = recording[i * SoundServer::Channels + channel] / 32768.0 + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double power = s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
    return Db(2 * std::sqrt(power) / std::max<double>(n, 1));
}

// RMS in dBFS (a full-scale square wave reads 0 dB).
inline double Rms(const std::vector<qint16>& recording, int channel)
{
    double sum = 0;
    const std::size_t frames = recording.size() / SoundServer::Channels;
    for (std::size_t i = 0; i < frames; ++i)
        sum += std::pow(recording[i * SoundServer::Channels + channel] / 32768.0, 2);
    return Db(std::sqrt(sum / std::max<double>(frames, 1)));
}

inline double Peak(const std::vector<qint16>& recording)
{
    int peak = 0;
    for (const qint16 sample : recording)
        peak = std::max(peak, std::abs(int(sample)));
    return Db(peak / 32768.0);
}

} // namespace level

// A minute of white noise, mono, 16-bit at 48 kHz: every stretch of it is found at one place
// only. Empty if FFmpeg could not make it.
inline QString Noise()
{
    return media::Made("noise.wav", QStringLiteral("-f lavfi -i anoisesrc=color=white:sample_rate=48000:"
                                                   "amplitude=0.25:seed=19:duration=60 -c:a pcm_s16le"));
}

// A stretch of a stereo recording of the sink that plays one stretch of a mono 16-bit WAV of
// noise sample for sample (at rate 1, scaled by the volume): recording frames [heardFrom,
// heardTo), source seconds [from, to).
struct RunHeard {
    qsizetype heardFrom;
    qsizetype heardTo;
    double from;
    double to;
};
// The stretches of `heard` that play the source, in order; each is looked for between nearFrom
// and nearTo seconds of the source. Silence and sound that is no stretch of it lie between them.
inline std::vector<RunHeard> RunsHeard(const std::vector<qint16>& heard, const QString& noise, double nearFrom, double nearTo)
{
    QFile file(noise);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray wav = file.readAll();
    const qsizetype data = wav.indexOf("data") + 8;
    const auto* source = reinterpret_cast<const qint16*>(wav.constData() + data);
    const qsizetype length = (wav.size() - data) / 2;
    const auto frames = static_cast<qsizetype>(heard.size() / SoundServer::Channels);
    const auto at = [&](qsizetype frame) { return static_cast<double>(heard[frame * SoundServer::Channels]); };
    constexpr qsizetype Stretch = SoundServer::Rate / 100;
    constexpr int Mismatches = 8;

    std::vector<RunHeard> runs;
    qsizetype i = 0;
    while (i + Stretch < frames) {
        if (std::abs(at(i)) <= 1) {
            ++i;
            continue;
        }
        double best = 0, gain = 0;
        qsizetype found = -1;
        for (auto offset = static_cast<qsizetype>(nearFrom * SoundServer::Rate);
             offset < std::min(length - Stretch, static_cast<qsizetype>(nearTo * SoundServer::Rate)); ++offset) {
            double product = 0, energy = 0, heardEnergy = 0;
            for (qsizetype k = 0; k < Stretch; ++k) {
                product += at(i + k) * source[offset + k];
                energy += double(source[offset + k]) * source[offset + k];
                heardEnergy += at(i + k) * at(i + k);
            }
            const double match = product / std::sqrt(std::max(energy * heardEnergy, 1.0));
            if (match > best) {
                best = match;
                found = offset;
                gain = product / std::max(energy, 1.0);
            }
        }
        if (best < 0.95) {
            i += Stretch;
            continue;
        }
        qsizetype last = 0;
        for (qsizetype k = 0, missed = 0; i + k < frames && found + k < length && missed < Mismatches; ++k) {
            const double expected = gain * source[found + k];
            if (std::abs(at(i + k) - expected) <= 2 + std::abs(expected) / 50) {
                last = k;
                missed = 0;
            } else {
                ++missed;
            }
        }
        runs.push_back({i, i + last + 1, double(found) / SoundServer::Rate, double(found + last + 1) / SoundServer::Rate});
        i += last + 1;
    }
    return runs;
}

// The passes of a repeat in runs heard: a run that goes on where the one before it stopped, or
// a little after, was cut by what a busy machine's sound server does to a stream it starves (a
// gap, some sound lost), and joins it; only a step back begins a new pass.
inline std::vector<RunHeard> Passes(const std::vector<RunHeard>& runs)
{
    constexpr double Starved = 0.3;
    std::vector<RunHeard> passes;
    for (const RunHeard& run : runs) {
        const double step = passes.empty() ? -1 : run.from - passes.back().to;
        if (step > -0.001 && step < Starved) {
            passes.back().heardTo = run.heardTo;
            passes.back().to = run.to;
        } else {
            passes.push_back(run);
        }
    }
    return passes;
}

// F2 with auto-rewind and then F3, as the window does them, while `noise` plays (a mono WAV of
// 16-bit white noise at 48 kHz, so every stretch of it is found at one place only), heard at the
// sink: how long the sound went on after F2 (from the position heard at the key), and
// how far the first sound heard after F3 lies from the last one heard before F2 minus the rewind
// (negative: earlier), both in milliseconds of the recording. Nothing if the sink's recording
// shows no pause.
struct PauseHeard {
    double soundAfterKeyMs;
    double resumeErrorMs;
};
inline std::optional<PauseHeard> PauseAndResume(player::MpvPlayer& player, SoundServer& server, const QString& noise, double rewind)
{
    // Steady playback well after the start, so the rewind never reaches it.
    player.setCurrentPosition(rewind + 3);
    media::Pump(1000);
    server.forget();
    media::Pump(400);
    const double pausedNear = player.heardPosition();
    player.pause();
    player.setCurrentPosition(std::max(0.0, player.currentPosition() - rewind));
    media::Pump(400);
    player.pause();
    player.play();
    media::Pump(400);
    const std::vector<RunHeard> runs = Passes(RunsHeard(server.take(), noise, pausedNear - rewind - 0.5, pausedNear + 0.5));
    // The pause: sound before it, at least 20 ms without, and the sound after it.
    if (runs.size() < 2 || runs[1].heardFrom - runs[0].heardTo < SoundServer::Rate / 50)
        return std::nullopt;
    const double lastHeard = runs[0].to;
    return PauseHeard{(lastHeard - pausedNear) * 1000, (runs[1].from - (lastHeard - rewind)) * 1000};
}
