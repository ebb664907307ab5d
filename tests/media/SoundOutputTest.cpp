// Without a sound server or device the player still opens, plays in real time, seeks and tells
// positions, and its mute button says that nothing can be heard. When a sound server comes back,
// or appears for the first time, sound comes back by itself.

#include "PlayerFixture.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <iostream>
#include <optional>

using player::MediaPlayer;

namespace {

const QString NoSound = QStringLiteral("Keine Tonausgabe");

QAbstractButton& MuteButton(const player::MpvPlayer& player)
{
    return *player.findChild<QAbstractButton*>(QStringLiteral("playerMute"));
}

class MpvPlayerWithoutSound : public PlayerTest, public ::testing::WithParamInterface<media::Format> {
protected:
    // The sound server's socket does not exist, as when none runs.
    ScopedEnvironment audioOutput{"HORCHPULT_AO", "pulse"};
    ScopedEnvironment server{"PULSE_SERVER", "unix:/nonexistent/pulse/native"};
    ScopedEnvironment noAutostart{"PULSE_CLIENTCONFIG", "/dev/null"};

    QAbstractButton& mute() const { return MuteButton(*player); }
};

TEST_P(MpvPlayerWithoutSound, PlaysInRealTimeAndSaysItCannotBeHeard)
{
    open(GetParam());
    EXPECT_EQ(player->playState(), MediaPlayer::Ready);
    expectPlaysOnFrom(0, 800, "silent playback");
    EXPECT_EQ(player->playState(), MediaPlayer::Playing);

    player->pause();
    player->setCurrentPosition(20);
    EXPECT_NEAR(player->currentPosition(), 20, GetParam().frameSeconds);
    expectPlaysOnFrom(20, 500, "silent playback after a seek");

    EXPECT_EQ(mute().accessibleName(), NoSound);
    EXPECT_FALSE(mute().isEnabled());
    EXPECT_FALSE(player->findChild<QAbstractSlider*>(QStringLiteral("playerVolume"))->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Formats, MpvPlayerWithoutSound, ::testing::ValuesIn(media::Formats()),
                         [](const auto& test) { return std::string(test.param.name); });

// With an output that works, the button mutes and unmutes.
class MpvPlayerWithSound : public PlayerTest {
protected:
    QTemporaryDir folder;
    ScopedEnvironment audioOutput{"HORCHPULT_AO", "pcm"};
    ScopedEnvironment audioFile{"HORCHPULT_AO_PCM_FILE", folder.filePath(QStringLiteral("out.wav")).toLocal8Bit()};
};

TEST_F(MpvPlayerWithSound, TheMuteButtonMutesAndSaysSo)
{
    open(media::Wav(), true);
    ASSERT_TRUE(media::WaitUntil([&] { return player->currentPosition() > 0.2; }, 3000));
    auto* mute = player->findChild<QAbstractButton*>(QStringLiteral("playerMute"));
    EXPECT_TRUE(mute->isEnabled());
    EXPECT_EQ(mute->accessibleName(), QStringLiteral("Ton aus"));
    mute->click();
    EXPECT_EQ(mute->accessibleName(), QStringLiteral("Ton an"));
}

// A PulseAudio server of the test's own in a folder of its own, with one null sink. The player
// reaches it through the socket "native", the test's tools through "control": dropping the
// player's connections leaves the test's. A recording of the sink's monitor tells what is heard.
class SoundServer {
public:
    explicit SoundServer(const QString& folder) : m_folder(folder) {}
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
                             script.write("load-module module-null-sink sink_name=sink rate=48000 norewinds=1\n"
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
        m_monitor.start(QStringLiteral("parec"), split("--device=sink.monitor --raw --format=s16le --rate=48000 "
                                                       "--channels=1 --latency-msec=20")
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
        constexpr int Rate = 48000;
        constexpr int Block = Rate / 10;
        constexpr double Crossings = 2 * media::Tone * Block / Rate;
        m_recorded += m_monitor.readAllStandardOutput();
        bool heard = false;
        for (; m_recorded.size() >= Block * 2; m_recorded.remove(0, Block * 2)) {
            const auto* samples = reinterpret_cast<const qint16*>(m_recorded.constData());
            int crossings = 0;
            int peak = 0;
            for (int i = 1; i < Block; ++i) {
                peak = std::max(peak, std::abs(int(samples[i])));
                crossings += (samples[i - 1] < 0) != (samples[i] < 0);
            }
            heard = heard || (peak > 64 && std::abs(crossings - Crossings) < Crossings / 10);
        }
        return heard;
    }

private:
    static QStringList split(const char* arguments)
    {
        return QString::fromLatin1(arguments).split(u' ', Qt::SkipEmptyParts);
    }
    QString path(const char* name) const { return m_folder + u'/' + QLatin1String(name); }
    QString controlAddress() const { return QStringLiteral("unix:") + path("control"); }

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
    QProcess m_server;
    QProcess m_monitor;
    QByteArray m_recorded;
    QString m_playerModule;
};

// The largest step of the player's position off playback in real time while the test waits.
class PositionTrace {
public:
    explicit PositionTrace(const MediaPlayer& player) : m_player(player) { m_clock.start(); }

    bool waitUntil(const std::function<bool()>& done, int timeoutMs)
    {
        return media::WaitUntil(
            [&] {
                const double position = m_player.currentPosition();
                const double seconds = static_cast<double>(m_clock.restart()) / 1000;
                largestJump = std::max({largestJump, m_position - position, position - m_position - seconds});
                m_position = position;
                return done();
            },
            timeoutMs);
    }

    double largestJump = 0;

private:
    const MediaPlayer& m_player;
    QElapsedTimer m_clock;
    double m_position = m_player.currentPosition();
};

// A recording plays while the sound server goes away and comes back, or appears late.
class MpvPlayerWithSoundServer : public PlayerTest {
protected:
    // Within this of the server's return the recording is heard again.
    static constexpr int ReturnMs = 3000;
    // A position step off real time above this is a jump a listener would hear.
    static constexpr double AudibleJump = 0.15;

    QTemporaryDir folder;
    SoundServer server{folder.path()};
    ScopedEnvironment audioOutput{"HORCHPULT_AO", "pulse"};
    ScopedEnvironment address{"PULSE_SERVER", server.playerAddress()};
    ScopedEnvironment noAutostart{"PULSE_CLIENTCONFIG", "/dev/null"};
    ScopedEnvironment cookie{"PULSE_COOKIE", QFile::encodeName(folder.filePath(QStringLiteral("cookie")))};

    QAbstractButton& mute() const { return MuteButton(*player); }
    std::function<bool()> saysNoSound()
    {
        return [this] { return mute().accessibleName() == NoSound; };
    }

    // From the server's return: the tone reaches the sink within ReturnMs on a stream that
    // plays, and the mute button is back to normal.
    void expectSoundBack(const QElapsedTimer& sinceReturn, PositionTrace& trace)
    {
        EXPECT_TRUE(trace.waitUntil([&] { return server.toneArrived(); }, ReturnMs))
            << "no sound " << ReturnMs << " ms after the server's return";
        std::cout << "sound back " << sinceReturn.elapsed() << " ms after the server's return" << std::endl;
        EXPECT_TRUE(server.hasPlayingStream());
        EXPECT_EQ(mute().accessibleName(), QStringLiteral("Ton aus"));
        EXPECT_TRUE(mute().isEnabled());
        EXPECT_EQ(player->playState(), MediaPlayer::Playing);
    }
};

TEST_F(MpvPlayerWithSoundServer, SoundComesBackWhenTheServerDropsItsClients)
{
    ASSERT_TRUE(server.start()) << server.log().toStdString();
    open(media::Wav(), true);
    ASSERT_TRUE(media::WaitUntil([&] { return server.toneArrived(); }, ReturnMs)) << "the tone never reached it";

    ASSERT_TRUE(server.dropClients());
    EXPECT_TRUE(media::WaitUntil(saysNoSound(), 2000)) << "the button never said so";
    media::Pump(2000);
    server.toneArrived();
    const double before = player->currentPosition();
    ASSERT_TRUE(server.restore());
    QElapsedTimer sinceReturn;
    sinceReturn.start();
    PositionTrace trace(*player);

    expectSoundBack(sinceReturn, trace);
    trace.waitUntil([] { return false; }, 500);
    EXPECT_GT(player->currentPosition(), before) << "playback did not go on";
    EXPECT_LT(trace.largestJump, AudibleJump) << "the position jumped";
}

TEST_F(MpvPlayerWithSoundServer, SoundComesWhenAServerAppearsAfterOpening)
{
    open(media::Wav(), true);
    PositionTrace trace(*player);
    ASSERT_TRUE(trace.waitUntil(saysNoSound(), 2000)) << "the button never said so";
    // Long enough for the tries to have slowed down.
    trace.waitUntil([] { return false; }, 4000);
    ASSERT_TRUE(server.start()) << server.log().toStdString();
    QElapsedTimer sinceReturn;
    sinceReturn.start();

    expectSoundBack(sinceReturn, trace);
    EXPECT_LT(trace.largestJump, AudibleJump) << "the position jumped";
}

TEST_F(MpvPlayerWithSoundServer, WaitingForTheServerTakesNoProcessorTime)
{
    open(media::Wav());
    ASSERT_TRUE(media::WaitUntil(saysNoSound(), 2000)) << "the button never said so";
    // Only the program's own events, without the test's polling.
    QEventLoop idle;
    QTimer::singleShot(4000, &idle, &QEventLoop::quit);
    const std::clock_t before = std::clock();
    idle.exec();
    // Paused and waiting, the program wakes a few times a second at most; a loop that tries
    // without pause would take a whole core.
    EXPECT_LT(static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC, 0.1);
}

} // namespace
