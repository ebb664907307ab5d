// Without a sound server or device the player still opens, plays in real time, seeks and tells
// positions, and its mute button says that nothing can be heard.

#include "PlayerFixture.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QTemporaryDir>

using player::MediaPlayer;

namespace {

class MpvPlayerWithoutSound : public PlayerTest, public ::testing::WithParamInterface<media::Format> {
protected:
    // The sound server's socket does not exist, as when none runs.
    ScopedEnvironment audioOutput{"HORCHPULT_AO", "pulse"};
    ScopedEnvironment server{"PULSE_SERVER", "unix:/nonexistent/pulse/native"};
    ScopedEnvironment noAutostart{"PULSE_CLIENTCONFIG", "/dev/null"};

    QAbstractButton& mute() const { return *player->findChild<QAbstractButton*>(QStringLiteral("playerMute")); }
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

    EXPECT_EQ(mute().accessibleName(), QStringLiteral("Keine Tonausgabe"));
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

} // namespace
