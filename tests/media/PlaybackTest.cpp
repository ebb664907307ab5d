#include "PlayerFixture.h"

#include "player/MpvCore.h"
#include "player/PlayerErrors.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <limits>
#include <utility>

using player::MediaPlayer;
namespace PlayerError = player::PlayerError;
using States = std::vector<std::int32_t>;

using MpvPlayerPlayState = PlayerTest;

TEST_F(MpvPlayerPlayState, IsPlayingOnlyWhilePlaying)
{
    open(media::Wav());
    const double atOpen = player->currentPosition();
    media::Pump(300);
    EXPECT_EQ(player->currentPosition(), atOpen) << "ready, yet moving";

    player->play();
    EXPECT_EQ(player->playState(), MediaPlayer::Playing);
    media::Pump(300);
    player->pause();
    EXPECT_EQ(player->playState(), MediaPlayer::Paused);
    const double paused = player->currentPosition();
    EXPECT_GT(paused, 0.1);
    media::Pump(300);
    EXPECT_EQ(player->currentPosition(), paused) << "paused, yet moving";
    EXPECT_NO_THROW(player->pause());
    EXPECT_EQ(raised, (States{MediaPlayer::Ready, MediaPlayer::Playing, MediaPlayer::Paused}));
}

TEST_F(MpvPlayerPlayState, ChangesAreRaisedForTheOwnButtonsAndTheEnd)
{
    open(media::Wav());
    auto* playPause = player->findChild<QAbstractButton*>(QStringLiteral("playerPlayPause"));
    auto* stop = player->findChild<QAbstractButton*>(QStringLiteral("playerStop"));
    auto* seekBar = player->findChild<QAbstractSlider*>(QStringLiteral("playerSeekBar"));
    ASSERT_TRUE(playPause && stop && seekBar);

    playPause->click();
    EXPECT_EQ(player->playState(), MediaPlayer::Playing);
    media::Pump(200);
    playPause->click();
    EXPECT_EQ(player->playState(), MediaPlayer::Paused);
    stop->click();
    EXPECT_EQ(player->playState(), MediaPlayer::Stopped);
    EXPECT_EQ(player->currentPosition(), 0.0);
    playPause->click();
    EXPECT_EQ(player->playState(), MediaPlayer::Playing);
    seekBar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_TRUE(media::WaitUntil([&] { return player->playState() == MediaPlayer::MediaEnded; }, 3000))
        << "state " << player->playState() << " at " << player->currentPosition();
    EXPECT_EQ(raised, (States{MediaPlayer::Ready, MediaPlayer::Playing, MediaPlayer::Paused, MediaPlayer::Stopped,
                              MediaPlayer::Playing, MediaPlayer::MediaEnded}));
}

TEST_F(MpvPlayerPlayState, StopsAtTheEndWhetherSetPastItOrPlayedTo)
{
    open(media::Wav());
    EXPECT_NO_THROW(player->setCurrentPosition(1000));
    EXPECT_EQ(player->playState(), MediaPlayer::MediaEnded);
    EXPECT_NEAR(player->currentPosition(), media::Length, 0.05);
    EXPECT_NO_THROW(player->play());
    EXPECT_EQ(player->playState(), MediaPlayer::MediaEnded) << "play at the end";

    player->setCurrentPosition(10);
    EXPECT_EQ(player->playState(), MediaPlayer::Paused);
    EXPECT_EQ(player->currentPosition(), 10.0);
    expectPlaysOnFrom(10, 300);

    player->setCurrentPosition(media::Length - 0.3);
    EXPECT_TRUE(media::WaitUntil([&] { return player->playState() == MediaPlayer::MediaEnded; }, 2000));
    EXPECT_NEAR(player->currentPosition(), media::Length, 0.1);
    EXPECT_EQ(raised, (States{MediaPlayer::Ready, MediaPlayer::MediaEnded, MediaPlayer::Paused, MediaPlayer::Playing,
                              MediaPlayer::MediaEnded}));
}

class MpvPlayerPosition : public PlayerTest, public ::testing::WithParamInterface<media::Format> {};

// Read back exactly while paused, also once the medium has played, though libmpv then reports
// the position early by its output latency; and playback really goes on from there.
TEST_P(MpvPlayerPosition, SetWhilePausedIsKeptAndPlayedFrom)
{
    const media::Format& format = GetParam();
    const double frame = format.frameSeconds + 1e-9;
    open(format);

    player->setCurrentPosition(12.3);
    EXPECT_NEAR(player->currentPosition(), 12.3, frame);
    media::Pump(300);
    EXPECT_NEAR(player->currentPosition(), 12.3, frame);
    EXPECT_EQ(player->playState(), MediaPlayer::Ready);
    expectPlaysOnFrom(12.3, 400, format.name);

    player->pause();
    player->setCurrentPosition(20.7);
    EXPECT_NEAR(player->currentPosition(), 20.7, frame);
    media::Pump(300);
    EXPECT_NEAR(player->currentPosition(), 20.7, frame);
    EXPECT_EQ(player->playState(), MediaPlayer::Paused);
    expectPlaysOnFrom(20.7, 300, format.name);

    player->pause();
    const double start = player->currentPosition();
    for (int step = 0; step < 5; ++step)
        player->setCurrentPosition(player->currentPosition() - 1);
    EXPECT_NEAR(player->currentPosition(), start - 5, frame) << "five steps of one second back";
    expectPlaysOnFrom(start - 5, 300, format.name);
}

INSTANTIATE_TEST_SUITE_P(Formats, MpvPlayerPosition, ::testing::ValuesIn(media::Formats()),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(MpvPlayerPlayState, InvalidPositionsAreRefused)
{
    open(media::Wav());
    player->setCurrentPosition(10);
    for (const double position : {-1.0, -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_EQ(ErrorNumberOf([&] { player->setCurrentPosition(position); }), PlayerError::InvalidPosition) << position;
        EXPECT_EQ(player->currentPosition(), 10.0);
        EXPECT_EQ(player->playState(), MediaPlayer::Ready);
    }
}

using MpvPlayerRate = PlayerTest;

TEST_F(MpvPlayerRate, ChangesTheSpeedAtOnceWhilePlaying)
{
    open(media::Wav());
    player->play();
    media::Pump(200);
    for (const double rate : {1.9, 0.5, 0.1, 1.0}) {
        player->setRate(rate);
        EXPECT_EQ(player->rate(), rate);
        const double from = player->currentPosition();
        QElapsedTimer clock;
        clock.start();
        media::Pump(800);
        const double wall = static_cast<double>(clock.elapsed()) / 1000;
        EXPECT_NEAR((player->currentPosition() - from) / wall, rate, 0.15) << "at rate " << rate;
    }
}

TEST_F(MpvPlayerRate, InvalidRatesAreRefused)
{
    player->setRate(1.3);
    for (const double rate : {0.0, -1.0, 1000.0, std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_EQ(ErrorNumberOf([&] { player->setRate(rate); }), PlayerError::InvalidRate) << rate;
        EXPECT_EQ(player->rate(), 1.3);
    }
}

// The output is recorded by mpv's pcm output, which runs faster than real time.
class MpvPlayerPitch : public PlayerTest, public ::testing::WithParamInterface<double> {
protected:
    QTemporaryDir folder;
    QString recording = folder.filePath(QStringLiteral("out.wav"));
    ScopedEnvironment audioOutput{"HORCHPULT_AO", "pcm"};
    ScopedEnvironment audioFile{"HORCHPULT_AO_PCM_FILE", recording.toLocal8Bit()};
};

// From five seconds before the end to the end: that span, and nothing else, is in the recording.
TEST_P(MpvPlayerPitch, KeepsTheToneAtEveryRate)
{
    const double rate = GetParam();
    constexpr double Span = 5;
    open(media::Wav());
    player->setRate(rate);
    player->setCurrentPosition(media::Length - Span);
    // The pcm output keeps whatever it has written; a real one drops it when the seek runs.
    ASSERT_TRUE(media::WaitUntil([&] { return !player->seekPending(); }, 2000));
    player->play();
    ASSERT_TRUE(media::WaitUntil([&] { return player->playState() == MediaPlayer::MediaEnded; }, 30000));
    // libmpv 0.40 reports the end while its audio thread is still writing the last tenths.
    for (qint64 before = -1, now = QFileInfo(recording).size(); now != before; now = QFileInfo(recording).size()) {
        before = now;
        media::Pump(300);
    }
    player.reset();

    const media::Recording heard = media::Analyse(recording);
    ASSERT_GT(heard.seconds, 0) << "nothing recorded";
    EXPECT_NEAR(heard.frequency, media::Tone, media::Tone * 0.02) << "at rate " << rate;
    EXPECT_NEAR(heard.seconds, Span / rate, Span / rate * 0.02) << "at rate " << rate;
}

INSTANTIATE_TEST_SUITE_P(Rates, MpvPlayerPitch, ::testing::Values(0.1, 0.5, 1.0, 1.9),
                         [](const auto& test) { return "Rate" + std::to_string(std::lround(test.param * 10)) + "Tenths"; });

// The picture is drawn while the window seeks: neither may wait for the other.
TEST_F(MpvPlayerPlayState, SeeksWhileAVideoPlaysReturnAtOnce)
{
    open(media::Mp4(), true);
    player->setCurrentPosition(30);
    double slowest = 0;
    for (int i = 0; i < 60; ++i) {
        media::Pump(50);
        QElapsedTimer clock;
        clock.start();
        player->setCurrentPosition(std::max(0.0, player->currentPosition() - 1));
        slowest = std::max(slowest, static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    EXPECT_LT(slowest, 100) << "a seek waited " << slowest << " ms";
    EXPECT_EQ(player->playState(), MediaPlayer::Playing);
}

// A handler may run the next drain of mpv's events itself, as a message box's event loop does;
// the event it was given must stay as it was.
TEST(MpvCoreEvents, AHandlerKeepsItsEventWhileTheNextOnesAreDrained)
{
    player::MpvCore core;
    core.observeFlag("pause");
    core.observeFlag("mute");
    std::vector<std::pair<QByteArray, QByteArray>> seen; // each property given, as seen at the end
    bool drained = false;
    core.setEventHandler([&](const player::MpvEvent& event) {
        if (event.id != MPV_EVENT_PROPERTY_CHANGE)
            return;
        const QByteArray given = event.property;
        if (!std::exchange(drained, true)) {
            while (core.dispatchNextEvent(0.2)) {
            }
        }
        seen.emplace_back(given, event.id == MPV_EVENT_PROPERTY_CHANGE ? event.property : "another event");
    });
    while (!drained && core.dispatchNextEvent(2)) {
    }
    ASSERT_EQ(seen.size(), 2u) << "the two properties were not reported";
    for (const auto& [given, atTheEnd] : seen)
        EXPECT_EQ(atTheEnd, given) << "the handler's event changed under it";
}
