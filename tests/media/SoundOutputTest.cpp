// Without a sound server or device the player still opens, plays in real time, seeks and tells
// positions, and its mute button says that nothing can be heard. When a sound server comes back,
// or appears for the first time, sound comes back by itself.

#include "PlayerFixture.h"
#include "SoundServer.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <optional>
#include <vector>

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
    // Starts the server and plays the noise recording from its start; empty if either failed.
    QString playNoise()
    {
        const QString noise = Noise();
        if (noise.isEmpty() || !server.start())
            return {};
        player->setURL(noise);
        return noise;
    }
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

// The sound outputs the player tries: the one the test names, or the player's own list while
// SDL's silent driver is there to be found.
struct Outputs {
    const char* name;
    const char* ao;
    const char* sdlDriver;
};

class SoundComesBack : public MpvPlayerWithSoundServer, public ::testing::WithParamInterface<Outputs> {
protected:
    ScopedEnvironment outputs{"HORCHPULT_AO", GetParam().ao};
    ScopedEnvironment sdl{"SDL_AUDIODRIVER", GetParam().sdlDriver};
};

TEST_P(SoundComesBack, WhenTheServerDropsItsClients)
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

INSTANTIATE_TEST_SUITE_P(Outputs, SoundComesBack,
                         ::testing::Values(Outputs{"PulseAudio", "pulse", ""}, Outputs{"OwnListWithSdlDummy", "", "dummy"}),
                         [](const auto& test) { return std::string(test.param.name); });

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

// F3 after F2 with auto-rewind resumes the rewind's length before the last sound heard. The null
// sink plays out what it has mixed, up to one block (20 ms) beyond the clock mpv reports; the
// sound stops with the sink's next block, not later. A block counted wrongly is 20 ms off; on a
// busy machine mpv's own clock is off by up to some 10 ms in one pause of a hundred or two.
TEST_F(MpvPlayerWithSoundServer, ResumesTheRewindBeforeTheLastSoundHeard)
{
    constexpr double WithinMs = 5;
    constexpr double NoBlockOffMs = 10;
    constexpr double BlockMs = 20;
    constexpr int Cycles = 12;
    const QString noise = playNoise();
    ASSERT_FALSE(noise.isEmpty()) << server.log().toStdString();
    ASSERT_TRUE(media::WaitUntil([&] { return player->currentPosition() > 3; }, 5000));
    std::vector<double> soundAfterKey;
    int within = 0;
    for (int cycle = 0; cycle < Cycles; ++cycle) {
        const std::optional<PauseHeard> heard = PauseAndResume(*player, server, noise, 2);
        ASSERT_TRUE(heard.has_value()) << "no pause heard in cycle " << cycle;
        std::cout << "sound went on " << heard->soundAfterKeyMs << " ms after the key, resumed " << heard->resumeErrorMs
                  << " ms from where it should" << std::endl;
        EXPECT_NEAR(heard->resumeErrorMs, 0, NoBlockOffMs) << "cycle " << cycle;
        within += std::abs(heard->resumeErrorMs) <= WithinMs ? 1 : 0;
        soundAfterKey.push_back(heard->soundAfterKeyMs);
    }
    EXPECT_GE(within, Cycles - 1) << "resumed more than " << WithinMs << " ms off in " << Cycles - within << " cycles";
    std::nth_element(soundAfterKey.begin(), soundAfterKey.begin() + Cycles / 2, soundAfterKey.end());
    EXPECT_LT(soundAfterKey[Cycles / 2], BlockMs) << "the pause waits for the sound server";
}

// A repeat of 5 s begun at 12.0 s is heard as 7.0 to 12.0 s over and over, each time back at
// 7.0 s after no more than 30 ms of silence and with no other sound between; ending it the way
// the window's key does plays on from 12.0 s.
TEST_F(MpvPlayerWithSoundServer, RepeatsThePassageBeforeThePauseWithShortExactSeams)
{
    constexpr double WithinS = 0.020;
    constexpr double SilenceS = 0.030;
    const QString noise = playNoise();
    ASSERT_FALSE(noise.isEmpty()) << server.log().toStdString();
    player->pause();
    player->setCurrentPosition(12.0);
    media::Pump(500);
    server.forget();
    player->repeatLast(5);
    media::Pump(16000);
    const std::vector<RunHeard> passes = Passes(RunsHeard(server.take(), noise, 6.5, 12.5));
    ASSERT_GE(passes.size(), 3u);
    for (std::size_t pass = 0; pass < 3; ++pass) {
        std::cout << std::fixed << std::setprecision(4) << "pass " << pass << ": " << passes[pass].from << " s to " << passes[pass].to << " s";
        if (pass > 0)
            std::cout << ", after " << (passes[pass].heardFrom - passes[pass - 1].heardTo) * 1000.0 / SoundServer::Rate
                      << " ms between";
        std::cout << std::defaultfloat << std::endl;
        EXPECT_NEAR(passes[pass].to, 12.0, WithinS) << "pass " << pass;
        if (pass == 0)
            continue;
        EXPECT_NEAR(passes[pass].from, 7.0, WithinS) << "pass " << pass;
        EXPECT_LE(passes[pass].heardFrom - passes[pass - 1].heardTo, SilenceS * SoundServer::Rate) << "pass " << pass;
    }
    ASSERT_TRUE(player->repeat().has_value());
    EXPECT_TRUE(player->repeat()->heardWhole);

    player->endRepeat();
    player->setCurrentPosition(12.0);
    EXPECT_FALSE(player->repeat().has_value());
    const std::vector<RunHeard> after = Passes(RunsHeard(server.record(1500), noise, 11.5, 14));
    const auto rollsOn = [&](const RunHeard& run) { return std::abs(run.from - 12.0) <= WithinS && run.to > 12.5; };
    EXPECT_TRUE(std::any_of(after.begin(), after.end(), rollsOn)) << "playing on did not go on from the passage's end";
}

// 440 Hz on the left, 660 Hz on the right.
QString LeftAndRight()
{
    return media::Made("left-right.wav", QStringLiteral("-f lavfi -i sine=frequency=440:sample_rate=48000:duration=60 "
                                                        "-f lavfi -i sine=frequency=660:sample_rate=48000:duration=60 "
                                                        "-filter_complex [0][1]amerge=inputs=2 -c:a pcm_s16le"));
}

// The player's sound choices heard at the sink, with the volume at full.
class SoundChoices : public MpvPlayerWithSoundServer {
protected:
    void SetUp() override
    {
        MpvPlayerWithSoundServer::SetUp();
        ASSERT_TRUE(server.start()) << server.log().toStdString();
        player->findChild<QAbstractSlider*>(QStringLiteral("playerVolume"))->setValue(100);
    }

    // Plays the file from its start until `seconds` in.
    void playFrom(const QString& path, double seconds = 1)
    {
        ASSERT_FALSE(path.isEmpty()) << "the test file could not be made";
        ASSERT_NO_THROW(player->setURL(path));
        ASSERT_TRUE(media::WaitUntil([&] { return player->currentPosition() >= seconds; }, 20000));
    }
    QAction& choice(const char* name)
    {
        auto* action = player->contextMenu().findChild<QAction*>(QLatin1String(name));
        EXPECT_NE(action, nullptr) << name;
        return action != nullptr ? *action : *player->contextMenu().menuAction();
    }
    // What the sink gets in the second after the choice has settled.
    std::vector<qint16> settledAfter(QAction& action)
    {
        action.trigger();
        media::Pump(1500);
        return server.record(1000);
    }
};

TEST_F(SoundChoices, LeftOnlyPlaysTheLeftChannelOnBothEars)
{
    playFrom(LeftAndRight());
    const std::vector<qint16> heard = settledAfter(choice("soundChannelsLeft"));
    for (const int channel : {0, 1}) {
        std::cout << "channel " << channel << ": 440 Hz at " << level::Tone(heard, channel, 440) << " dB, 660 Hz at "
                  << level::Tone(heard, channel, 660) << " dB" << std::endl;
        EXPECT_GT(level::Tone(heard, channel, 440), -30) << "channel " << channel;
        EXPECT_LE(level::Tone(heard, channel, 660), level::Tone(heard, channel, 440) - 40) << "channel " << channel;
    }
}

TEST_F(SoundChoices, CutHumLowersFiftyHertzAndKeepsTheVoiceBand)
{
    playFrom(media::Made("hum.wav", QStringLiteral("-f lavfi -i sine=frequency=50:sample_rate=48000:duration=60 "
                                                   "-f lavfi -i sine=frequency=1000:sample_rate=48000:duration=60 "
                                                   "-filter_complex [0][1]amix=inputs=2:normalize=0 -c:a pcm_s16le")));
    const std::vector<qint16> before = server.record(1000);
    const std::vector<qint16> after = settledAfter(choice("soundCutHum"));
    std::cout << "50 Hz " << level::Tone(before, 0, 50) << " -> " << level::Tone(after, 0, 50) << " dB, 1 kHz "
              << level::Tone(before, 0, 1000) << " -> " << level::Tone(after, 0, 1000) << " dB" << std::endl;
    EXPECT_LE(level::Tone(after, 0, 50), level::Tone(before, 0, 50) - 30);
    EXPECT_NEAR(level::Tone(after, 0, 1000), level::Tone(before, 0, 1000), 1);
}

TEST_F(SoundChoices, ReduceNoiseLowersTheHissAndKeepsTheTone)
{
    playFrom(media::Made("noisy-tone.wav", QStringLiteral("-f lavfi -i sine=frequency=1000:sample_rate=48000:duration=60 "
                                                          "-f lavfi -i anoisesrc=color=white:sample_rate=48000:amplitude=0.0547:"
                                                          "seed=7:duration=60 -filter_complex [0][1]amix=inputs=2:normalize=0 "
                                                          "-c:a pcm_s16le")));
    // The noise is what is left once the tone's share of the power is taken away.
    const auto noise = [](const std::vector<qint16>& heard) {
        const double total = std::pow(10, level::Rms(heard, 0) / 10);
        const double tone = std::pow(10, level::Tone(heard, 0, 1000) / 10) / 2;
        return 10 * std::log10(std::max(total - tone, 1e-12));
    };
    const std::vector<qint16> before = server.record(1000);
    const std::vector<qint16> after = settledAfter(choice("soundReduceNoise"));
    std::cout << "noise " << noise(before) << " -> " << noise(after) << " dB, tone " << level::Tone(before, 0, 1000)
              << " -> " << level::Tone(after, 0, 1000) << " dB" << std::endl;
    EXPECT_LE(noise(after), noise(before) - 10);
    EXPECT_NEAR(level::Tone(after, 0, 1000), level::Tone(before, 0, 1000), 3);
}

TEST_F(SoundChoices, EvenOutLoudnessRaisesAQuietVoiceWithoutClippingALoudOne)
{
    // espeak-ng reads this at some -20 dBFS RMS: it plays 10 s at -40 dBFS, then 10 s with peaks
    // near full scale.
    const QString path = media::Made(
        "quiet-loud-speech.wav",
        QStringLiteral("-i speech.wav -filter_complex [0]aresample=48000,asplit[a][b];[a]volume=-19.7dB[q];[b]volume=0.9dB[l];"
                       "[q][l]concat=n=2:v=0:a=1 -c:a pcm_s16le"),
        QStringLiteral("The interview began in the morning. We talked about the harvest, the weather, and the long "
                       "road to the market town, where my grandmother sold eggs and cheese every Saturday for forty years."));
    choice("soundEvenOutLoudness").trigger();
    playFrom(path, 2);
    const std::vector<qint16> quiet = server.record(7000);
    ASSERT_TRUE(media::WaitUntil([&] { return player->currentPosition() > 10.6; }, 5000));
    const std::vector<qint16> loud = server.record(9000);
    std::cout << "quiet voice at " << level::Rms(quiet, 0) << " dBFS RMS, loud one's peaks at " << level::Peak(loud)
              << " dBFS" << std::endl;
    EXPECT_GE(level::Rms(quiet, 0), -26);
    EXPECT_LE(level::Peak(loud), -0.5);
}

TEST_F(SoundChoices, SwitchingWhilePlayingNeitherStopsTheSoundNorMovesThePosition)
{
    playFrom(LeftAndRight());
    PositionTrace trace(*player);
    server.forget();
    for (const char* name : {"soundEvenOutLoudness", "soundCutHum", "soundReduceNoise", "soundChannelsLeft", "soundChannelsRight",
                             "soundChannelsBoth"}) {
        choice(name).trigger();
        trace.waitUntil([] { return false; }, 400);
        if (choice(name).actionGroup() == nullptr) {
            choice(name).trigger();
            trace.waitUntil([] { return false; }, 400);
        }
    }
    const std::vector<qint16> heard = server.take();
    std::size_t longest = 0;
    for (std::size_t i = 0, run = 0; i < heard.size(); i += SoundServer::Channels) {
        run = std::abs(heard[i]) <= 8 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    std::cout << "longest silence " << longest * 1000.0 / SoundServer::Rate << " ms, largest step "
              << trace.largestJump * 1000 << " ms" << std::endl;
    EXPECT_LT(longest, static_cast<std::size_t>(SoundServer::Rate / 10)) << "a silence of more than 100 ms";
    EXPECT_LT(trace.largestJump, 0.1) << "the position stepped";
    EXPECT_EQ(player->playState(), MediaPlayer::Playing);
}

} // namespace
