// Foot pedal reports, written into a socket pair as a foot control's hidraw node delivers them,
// read by the real reader and carried out by the real window on the real player.

#include "PlayerFixture.h"
#include "TestMedia.h"

#include "../pedal/Wire.h"
#include "../window/FakeDesktop.h"

#include "app/frm1.h"
#include "pedal/PedalCommands.h"
#include "pedal/PedalService.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace {

using player::MediaPlayer;
using testing_support::Wire;

constexpr std::uint8_t Left = pedal::Left;
constexpr std::uint8_t Middle = pedal::Middle;
constexpr std::uint8_t Right = pedal::Right;
constexpr int PedalCommandsRepeat = 2 * pedal::PedalCommands::RepeatMs;

class FootPedal : public WindowOnPlayerTest {
protected:
    void SetUp() override
    {
        WindowOnPlayerTest::SetUp();
        window->AttachPedals(pedals);
        window->show();
        desktop.files.push_back(media::Path(media::Wav()));
        window->findChild<QAction*>(QStringLiteral("neu"))->trigger();
        ASSERT_EQ(window->Geladen(), app::frm1::True) << desktop.messages.join(u'|').toStdString();
        pedals.read(wire.device, *pedal::FindModel(0x05f3, 0x00ff));
    }

    void TearDown() override
    {
        WindowOnPlayerTest::TearDown();
        EXPECT_TRUE(desktop.messages.isEmpty()) << desktop.messages.join(u'|').toStdString();
    }

    void PausedAt(double seconds)
    {
        window->PauseCommand();
        window->SeekToCommand(seconds);
        ASSERT_TRUE(media::WaitUntil([&] { return !player->seekPending(); }, 3000));
    }
    bool Becomes(std::int32_t state)
    {
        return media::WaitUntil([&] { return player->playState() == state; }, 2000);
    }

    pedal::PedalService pedals;
    Wire wire;
};

TEST_F(FootPedal, ThePhilipsTopPedalTypesThePausedPositionAsATimestampOncePerPress)
{
    Wire philips;
    pedals.read(philips.device, *pedal::FindModel(0x0911, 0x091a));
    PausedAt(23.47);
    EXPECT_TRUE(philips.send({pedal::Top, 0, 0}));
    ASSERT_TRUE(media::WaitUntil([&] { return !desktop.typed.isEmpty(); }, 2000)) << "the top pedal typed nothing";
    media::Pump(PedalCommandsRepeat);
    EXPECT_TRUE(philips.send({0, 0, 0}));
    media::Pump(100);
    EXPECT_EQ(desktop.typed, QStringList{QStringLiteral("#00:00:23-4#")});
}

TEST_F(FootPedal, HeldThreeSecondsPlaysAndItsReleaseResumesTwoSecondsBeforeTheReleasePoint)
{
    window->findChild<QCheckBox*>(QStringLiteral("Check1"))->setChecked(true);
    window->findChild<QLineEdit*>(QStringLiteral("autorewind"))->setText(QStringLiteral("2"));
    PausedAt(5);
    EXPECT_TRUE(wire.send({Middle, 0}));
    ASSERT_TRUE(Becomes(MediaPlayer::Playing)) << "pressing the middle pedal does not play";
    media::Pump(3000);
    const double released = player->currentPosition();
    EXPECT_NEAR(released, 8, 0.5) << "three seconds held";
    EXPECT_TRUE(wire.send({0, 0}));
    ASSERT_TRUE(Becomes(MediaPlayer::Paused)) << "releasing the middle pedal does not pause";
    EXPECT_NEAR(player->currentPosition(), released - 2, 0.1);
}

TEST_F(FootPedal, LeftHeldForOnePointSixSecondsStepsBackFourTimes)
{
    PausedAt(30);
    EXPECT_TRUE(wire.send({Left, 0}));
    media::Pump(1600);
    EXPECT_TRUE(wire.send({0, 0}));
    media::Pump(600);
    EXPECT_NEAR(player->currentPosition(), 26, 0.01);
    EXPECT_NE(player->playState(), MediaPlayer::Playing);
}

TEST_F(FootPedal, RightStepsForwardAsTheButtonDoesAndBadReportsAreIgnored)
{
    PausedAt(10);
    EXPECT_TRUE(wire.send({0xff, 0x00}));
    EXPECT_TRUE(wire.send({Middle}));
    EXPECT_TRUE(wire.send({Middle, 0x00, 0x00}));
    EXPECT_TRUE(wire.send({0x08, 0x00}));
    media::Pump(300);
    EXPECT_NE(player->playState(), MediaPlayer::Playing) << "a bad report started playback";
    EXPECT_NEAR(player->currentPosition(), 10, 0.01);
    EXPECT_TRUE(wire.send({Right, 0}));
    EXPECT_TRUE(wire.send({0, 0}));
    media::Pump(300);
    EXPECT_NEAR(player->currentPosition(), 12, 0.01);
}

TEST_F(FootPedal, PulledOutWhileTheMiddleIsHeldPausesAndItsSymbolGoes)
{
    const auto* symbol = player->findChild<QLabel*>(QStringLiteral("playerPedal"));
    const QRect playerPlace = player->geometry();
    EXPECT_TRUE(symbol->isVisible()) << "no pedal symbol while a pedal is plugged in";
    EXPECT_TRUE(symbol->toolTip().contains(QStringLiteral("VEC Infinity"))) << symbol->toolTip().toStdString();
    EXPECT_TRUE(player->rect().contains(symbol->geometry()));
    PausedAt(5);
    EXPECT_TRUE(wire.send({Middle, 0}));
    ASSERT_TRUE(Becomes(MediaPlayer::Playing));
    wire.unplug();
    EXPECT_TRUE(Becomes(MediaPlayer::Paused)) << "playback runs on after the pedal was pulled out";
    EXPECT_TRUE(media::WaitUntil([&] { return !symbol->isVisible(); }, 1000)) << "the symbol stays";
    EXPECT_EQ(player->geometry(), playerPlace) << "the player moved";
}

} // namespace
