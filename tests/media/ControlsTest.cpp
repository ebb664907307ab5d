#include "PlayerFixture.h"

#include "platform/Twips.h"
#include "player/PlayerErrors.h"
#include "player/SoundChain.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>

using player::MediaPlayer;

using MpvPlayerControls = PlayerTest;

namespace {

const char* const ControlNames[] = {"playerPlayPause", "playerStop", "playerSeekBar",
                                    "playerTime",      "playerMute", "playerVolume"};

// The share of the lower right quarter of the picture as painted that is not black.
double LitShareOfLowerRight(QWidget& picture)
{
    const QImage image = picture.grab().toImage();
    const QRect quarter(image.width() / 2, image.height() / 2, image.width() / 2, image.height() / 2);
    int lit = 0;
    for (int y = quarter.top(); y <= quarter.bottom(); ++y)
        for (int x = quarter.left(); x <= quarter.right(); ++x)
            lit += qGray(image.pixel(x, y)) > 16 ? 1 : 0;
    return quarter.isEmpty() ? 0 : static_cast<double>(lit) / (quarter.width() * quarter.height());
}

QAction& Entry(const QMenu& menu, const char* name)
{
    auto* action = menu.findChild<QAction*>(QLatin1String(name));
    EXPECT_NE(action, nullptr) << name;
    return action != nullptr ? *action : *menu.menuAction();
}

} // namespace

TEST_F(MpvPlayerControls, TheMenuOpensFromAClickOrTheKeysAndDoesWhatTheButtonsDo)
{
    QMenu& menu = player->contextMenu();
    EXPECT_EQ(menu.accessibleName(), QStringLiteral("Player"));
    for (const char* name : {"playerMenuPlay", "playerMenuPause", "playerMenuStop", "playerMenuMute", "soundEvenOutLoudness",
                             "soundCutHum", "soundReduceNoise", "soundChannelsBoth", "soundChannelsLeft", "soundChannelsRight"})
        EXPECT_FALSE(Entry(menu, name).text().isEmpty()) << name;
    open(media::Wav());

    auto* picture = player->findChild<QWidget*>(QStringLiteral("playerPicture"));
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), picture->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(picture, &click);
    EXPECT_TRUE(menu.isVisible()) << "a right click on the picture";
    EXPECT_TRUE(Entry(menu, "playerMenuPlay").isEnabled());
    EXPECT_FALSE(Entry(menu, "playerMenuPause").isEnabled());
    menu.hide();

    auto* volume = player->findChild<QWidget*>(QStringLiteral("playerVolume"));
    for (const auto& [key, modifiers] : {std::pair{Qt::Key_Menu, Qt::NoModifier}, std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(volume, &press);
        EXPECT_TRUE(menu.isVisible()) << "key " << key;
        menu.hide();
    }

    Entry(menu, "playerMenuPlay").trigger();
    EXPECT_EQ(player->playState(), MediaPlayer::Playing);
    Entry(menu, "playerMenuPause").trigger();
    EXPECT_EQ(player->playState(), MediaPlayer::Paused);
    Entry(menu, "playerMenuStop").trigger();
    EXPECT_EQ(player->playState(), MediaPlayer::Stopped);
    Entry(menu, "playerMenuMute").trigger();
    EXPECT_TRUE(player->findChild<QAbstractButton*>(QStringLiteral("playerMute"))->isChecked());
}

TEST_F(MpvPlayerControls, ChannelsAreGreyedOutForARecordingWithOneChannelOnly)
{
    QAction& channels = *player->findChild<QMenu*>(QStringLiteral("soundChannelsMenu"))->menuAction();
    Entry(player->contextMenu(), "soundChannelsLeft").trigger();
    open(media::Wav());
    EXPECT_FALSE(channels.isEnabled());
    EXPECT_FALSE(channels.toolTip().isEmpty());
    const QString stereo = media::Made("stereo.wav", QStringLiteral("-f lavfi -i sine=sample_rate=48000:duration=5 -ac 2 -c:a pcm_s16le"));
    ASSERT_NO_THROW(player->setURL(stereo));
    EXPECT_TRUE(channels.isEnabled());
    EXPECT_TRUE(Entry(player->contextMenu(), "soundChannelsLeft").isChecked()) << "the choice did not stay";
}

// Against an FFmpeg without a denoiser, as the player's engine would refuse it.
TEST(SoundChain, GreysOutAChoiceTheEngineRefusesAndKeepsTheOthers)
{
    QMenu menu;
    player::SoundChain chain(menu);
    QByteArray given;
    chain.attach([&](const QByteArray& filters) {
        if (filters.contains("afftdn"))
            throw player::MakePlayerError(player::PlayerError::EngineFailure, QStringLiteral("no such filter"));
        given = filters;
    });
    QAction& denoise = Entry(menu, "soundReduceNoise");
    EXPECT_FALSE(denoise.isEnabled());
    EXPECT_TRUE(denoise.toolTip().contains(QStringLiteral("afftdn")));
    Entry(menu, "soundEvenOutLoudness").trigger();
    Entry(menu, "soundCutHum").trigger();
    chain.setRate(0.5);
    // Hum out before the gain follows the voices, and the speed last.
    EXPECT_TRUE(given.indexOf("highpass") >= 0 && given.indexOf("highpass") < given.indexOf("dynaudnorm") &&
                given.endsWith("scaletempo2=min-speed=0"))
        << given.constData();
}

TEST_F(MpvPlayerControls, ThePausedPictureIsDrawnAnewAtEachSize)
{
    open(media::Mp4());
    auto* picture = player->findChild<QWidget*>(QStringLiteral("playerPicture"));
    ASSERT_NE(picture, nullptr);
    player->play();
    ASSERT_TRUE(media::WaitUntil([&] { return LitShareOfLowerRight(*picture) > 0.5; }, 3000)) << "no picture while playing";
    player->pause();
    media::Pump(200);
    for (const QSize size : {QSize(300, 200), QSize(640, 480), QSize(960, 720)}) {
        window.resize(size);
        player->setGeometry(QRect(QPoint(0, 0), size));
        EXPECT_TRUE(media::WaitUntil([&] { return LitShareOfLowerRight(*picture) > 0.5; }, 3000))
            << "the paused picture was not drawn at " << size.width() << "x" << size.height();
    }
}

TEST_F(MpvPlayerControls, EachControlIsNamedAndTheSettingsStartAsStored)
{
    for (const char* name : ControlNames) {
        const auto* control = player->findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(control, nullptr) << name;
        EXPECT_FALSE(control->accessibleName().isEmpty()) << name;
    }
    EXPECT_EQ(player->findChild<QAbstractSlider*>(QStringLiteral("playerVolume"))->value(), 50);
    EXPECT_FALSE(player->findChild<QAbstractButton*>(QStringLiteral("playerMute"))->isChecked());
    EXPECT_EQ(player->rate(), 1.0);
    EXPECT_TRUE(player->autoStart());
    EXPECT_TRUE(player->URL().isEmpty());
    EXPECT_EQ(player->playState(), MediaPlayer::Undefined);
}

TEST_F(MpvPlayerControls, StayUsableFromOneHundredTwipsToTheWholeWindow)
{
    open(media::Mp4());
    window.resize(1280, 1000);
    const int hundredTwips = platform::Twips::ToPixels(100, player.get());
    auto* playPause = player->findChild<QAbstractButton*>(QStringLiteral("playerPlayPause"));
    for (const QSize size : {QSize(hundredTwips, hundredTwips), QSize(hundredTwips, 300), QSize(480, hundredTwips),
                             QSize(60, 30), QSize(241, 73), QSize(1280, 1000)}) {
        player->setGeometry(QRect(QPoint(0, 0), size));
        media::Pump(30);
        std::vector<const QWidget*> shown;
        for (const char* name : ControlNames) {
            const auto* control = player->findChild<QWidget*>(QString::fromLatin1(name));
            if (control->isVisible())
                shown.push_back(control);
        }
        for (std::size_t i = 0; i < shown.size(); ++i) {
            EXPECT_TRUE(player->rect().contains(shown[i]->geometry()))
                << shown[i]->objectName().toStdString() << " outside at " << size.width() << "x" << size.height();
            for (std::size_t j = i + 1; j < shown.size(); ++j)
                EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
                    << shown[i]->objectName().toStdString() << " overlaps " << shown[j]->objectName().toStdString()
                    << " at " << size.width() << "x" << size.height();
        }
        ASSERT_TRUE(playPause->isVisible() && !playPause->geometry().isEmpty()) << size.width() << "x" << size.height();
        playPause->click();
        EXPECT_EQ(player->playState(), MediaPlayer::Playing) << size.width() << "x" << size.height();
        media::Pump(30);
        playPause->click();
        EXPECT_EQ(player->playState(), MediaPlayer::Paused) << size.width() << "x" << size.height();
    }
}

TEST_F(MpvPlayerControls, FollowsItsGeometryInTwips)
{
    player->setLeft(3000);
    player->setTop(2400);
    player->setWidth(3615);
    player->setHeight(1095);
    EXPECT_EQ(player->geometry(), platform::Twips::ToPixels(QRectF(3000, 2400, 3615, 1095), player.get()));
    EXPECT_EQ(player->Left(), 3000.0f);
    EXPECT_EQ(player->Height(), 1095.0f);
}

TEST_F(MpvPlayerControls, GoesAwayCleanlyWhileAVideoPlays)
{
    open(media::Mp4(), true);
    // A second player that its window takes along, as the program's window does.
    auto* host = new QWidget;
    auto* second = new player::MpvPlayer(lastResort, host);
    second->setGeometry(0, 0, 320, 240);
    host->show();
    second->setURL(media::Path(media::Mp4()));
    media::Pump(500);
    EXPECT_GT(player->currentPosition(), 0.2);
    EXPECT_EQ(second->playState(), MediaPlayer::Playing);
    delete host;
    player.reset();
}
