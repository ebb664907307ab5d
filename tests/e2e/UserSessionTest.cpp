// The window as a user meets it: a real window manager, the real player and a 60 s recording,
// driven only through the X server (keys pressed while another client has the focus, clicks on
// the controls, typing into the boxes and the file dialog) from a thread of its own, while the
// GUI thread runs the program's event loop, modal dialogs included.

#include "UserSession.h"

#include "../media/TestMedia.h"

#include "app/Messages.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>

#include <X11/X.h>
#include <X11/keysym.h>

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

namespace {

using namespace std::chrono_literals;
using player::MediaPlayer;

using e2e::OnGui;
using e2e::Eventually;
using e2e::UserSession;

TEST_F(UserSession, TranscribingARecordingWithHotKeysButtonsAndTypedPositions)
{
    const QString recording = media::Path(media::Wav());
    ASSERT_FALSE(recording.isEmpty()) << "FFmpeg could not make the recording";

    Drive([&](xtest::XClient& x) {
        OpenThroughDialog(x, recording);
        ASSERT_TRUE(Eventually([this] { return window->Geladen() == -1; })) << "the file was not opened";
        EXPECT_EQ(State(), MediaPlayer::Ready) << "opening does not start playback";
        ASSERT_TRUE(x.TakeFocus());

        x.Tap(XK_F3);
        ASSERT_TRUE(Eventually([this] { return Player().playState() == MediaPlayer::Playing; })) << "F3 does not play";
        EXPECT_TRUE(Eventually([this] { return !TextNow("time").isEmpty(); })) << "time does not follow playback";

        for (int i = 0; i < 3; ++i)
            ClickOn(x, "plus");
        EXPECT_TRUE(Eventually([this] { return TextNow("speed") == QStringLiteral("3"); }));
        EXPECT_EQ(OnGui([this] { return Player().rate(); }), 3 * 0.1 + 1.0);

        ASSERT_TRUE(x.TakeFocus());
        x.Tap(XK_F2);
        ASSERT_TRUE(Eventually([this] { return Player().playState() != MediaPlayer::Playing; })) << "F2 does not pause";
        OnGui([this] { return Player().setRate(1.0), 0; });
        ClickOn(x, "playerPlayPause");
        ASSERT_TRUE(Eventually([this] { return Player().playState() == MediaPlayer::Playing; }))
            << "the player's own play button does not play";
        const double before = Position();
        std::this_thread::sleep_for(1500ms);
        const double speed = (Position() - before) / 1.5;
        EXPECT_NEAR(speed, 1.3, 0.15) << "playback started with the player's button runs at the step's rate";

        TypeInto(x, "time_goto", "30");
        ClickOn(x, "but_goto");
        EXPECT_TRUE(Eventually([this] { return std::abs(Player().currentPosition() - 30) < 0.5; }))
            << "the typed position is reached while playing; the box holds '" << Text("time_goto").toStdString() << "'";
        EXPECT_TRUE(Eventually([this] { return Player().playState() == MediaPlayer::Playing; }));

        ClickOn(x, "Check1");
        ASSERT_TRUE(Eventually([this] { return window->findChild<QCheckBox*>(QStringLiteral("Check1"))->isChecked(); }));
        ASSERT_TRUE(x.TakeFocus());
        const double reached = Position();
        x.Tap(XK_F2);
        ASSERT_TRUE(Eventually([this] { return Player().playState() != MediaPlayer::Playing; }));
        EXPECT_NEAR(Position(), reached - 2, 0.3) << "F2 with auto-rewind pauses 2 s before the point reached";

        const double paused = Position();
        for (int i = 0; i < 5; ++i)
            x.Tap(XK_F1);
        EXPECT_TRUE(Eventually([&] { return std::abs(Player().currentPosition() - (paused - 5)) < 0.001; }))
            << "five F1 presses on a paused medium land at " << Position() << ", not " << paused - 5;
        EXPECT_NE(State(), MediaPlayer::Playing);

        x.Tap(XK_F3);
        ASSERT_TRUE(Eventually([this] { return Player().playState() == MediaPlayer::Playing; }));
        std::this_thread::sleep_for(300ms);
        const double playing = Position();
        x.Tap(XK_F1);
        EXPECT_TRUE(Eventually([&] { return Player().currentPosition() < playing - 0.5; })) << "F1 while playing";
        EXPECT_TRUE(Eventually([this] { return Player().playState() == MediaPlayer::Playing; }));
        x.Tap(XK_F2);
        ASSERT_TRUE(Eventually([this] { return Player().playState() != MediaPlayer::Playing; }));

        const double start = Position();
        ClickOn(x, "ffw");
        EXPECT_TRUE(Eventually([&] { return std::abs(Player().currentPosition() - (start + 2)) < 0.001; })) << ">>";
        ClickOn(x, "fffw");
        EXPECT_TRUE(Eventually([&] { return std::abs(Player().currentPosition() - (start + 12)) < 0.001; })) << ">>>";
        TypeInto(x, "time_goto", "42.5");
        ClickOn(x, "but_goto");
        EXPECT_TRUE(Eventually([this] { return std::abs(Player().currentPosition() - 42.5) < 0.001; }))
            << "the typed position is reached exactly while paused; the box holds '"
            << Text("time_goto").toStdString() << "'";

        ASSERT_TRUE(x.TakeFocus());
        const auto shiftF1 = [&] {
            x.Press(XK_Shift_L);
            x.Tap(XK_F1);
            x.Release(XK_Shift_L);
        };
        shiftF1();
        EXPECT_TRUE(Eventually([this] {
            const auto passage = Player().repeat();
            return passage && std::abs(passage->from - 37.5) < 0.001 && Player().playState() == MediaPlayer::Playing;
        })) << "Shift+F1 does not repeat the 5 s before 42.5 s";
        shiftF1();
        EXPECT_TRUE(Eventually([this] { return !Player().repeat().has_value(); })) << "a second Shift+F1";
        x.Tap(XK_F2);
        ASSERT_TRUE(Eventually([this] { return Player().playState() != MediaPlayer::Playing; }));

        OnGui([this] { return window->showMinimized(), 0; });
        ASSERT_TRUE(Eventually([this] { return window->isMinimized(); }));
        ASSERT_TRUE(x.TakeFocus());
        x.Tap(XK_F1);
        EXPECT_TRUE(Eventually([this] { return !window->isMinimized(); })) << "F1 does not bring the window back";
    });
}

// Another program took Shift+F1 before the window started.
class ShiftF1HeldElsewhere : public UserSession {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(other.Grab(XK_F1, ShiftMask));
        UserSession::SetUp();
    }
    xtest::XClient other;
};

TEST_F(ShiftF1HeldElsewhere, TheWindowStartsWithTheOtherKeysAndItsNoticeNamesTheKey)
{
    EXPECT_EQ(window->HotKeys()->Keys().size(), 5u);
    const auto* notice = window->findChild<QLabel*>(QStringLiteral("notice"));
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->text().contains(QStringLiteral("Shift+F1"))) << notice->text().toStdString();
    EXPECT_FALSE(other.CanGrab(XK_F1)) << "the window lost F1 with Shift+F1";
}

TEST_F(UserSession, MenuShortcutsRunWhileTheGotoBoxHasTheFocus)
{
    Drive([&](xtest::XClient& x) {
        TypeInto(x, "time_goto", "12");
        x.Press(XK_Control_L);
        x.Tap(XK_n);
        x.Release(XK_Control_L);
        ASSERT_TRUE(Eventually([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr; }))
            << "Ctrl+N in the goto box shows no file dialog";
        OnGui([] { return QApplication::activeModalWidget()->close(); });
        ASSERT_TRUE(Eventually([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; }));
        OnGui([] { return QApplication::activeModalWidget()->close(); });
        ASSERT_TRUE(Eventually([] { return QApplication::activeModalWidget() == nullptr; }));

        TypeInto(x, "time_goto", "12");
        x.Press(XK_Control_L);
        x.Tap(XK_e);
        x.Release(XK_Control_L);
        EXPECT_TRUE(Eventually([this] { return !window->isVisible(); })) << "Ctrl+E in the goto box does not end the program";
    });
}

// Pictures of the window for the README and for a look by eye: at start, with a video playing,
// and with the waveform of speech shown, which grows the window below the controls.
TEST_F(UserSession, ScreenshotsAtStartAndWithAVideoPlayingAndTheWaveform)
{
    const QString video = media::Path(media::Mp4());
    ASSERT_FALSE(video.isEmpty()) << "FFmpeg could not make the video";
    const QString speech = media::Made("questions.wav", QStringLiteral("-i speech.wav -af apad=pad_dur=2"),
                                       QStringLiteral("Where did you grow up? In a village near the river. My father kept "
                                                      "bees, and my mother sold eggs at the market, every Saturday."));
    ASSERT_FALSE(speech.isEmpty()) << "espeak-ng and FFmpeg could not make the speech";
    QDir().mkpath(QStringLiteral(HORCHPULT_SCREENSHOT_DIR));
    const auto shoot = [this](const char* file) {
        return OnGui([&] {
            return window->screen()->grabWindow(window->winId()).save(QStringLiteral(HORCHPULT_SCREENSHOT_DIR "/") + QString::fromLatin1(file));
        });
    };
    Drive([&](xtest::XClient& x) {
        ASSERT_TRUE(Eventually([this] { return window->isVisible(); }));
        std::this_thread::sleep_for(300ms);
        EXPECT_TRUE(shoot("window-start.png"));
        OpenThroughDialog(x, video);
        ASSERT_TRUE(Eventually([this] { return window->Geladen() == -1; })) << "the video was not opened";
        ASSERT_TRUE(x.TakeFocus());
        x.Tap(XK_F3);
        ASSERT_TRUE(Eventually([this] { return Player().currentPosition() > 1.5; }));
        EXPECT_TRUE(shoot("window-playing.png"));

        const auto placeOf = [this] {
            const auto* box = window->findChild<QWidget*>(QStringLiteral("Fileinfo"));
            return std::pair(box->mapToGlobal(QPoint()), window->frameGeometry().size());
        };
        const auto before = OnGui(placeOf);
        OnGui([this, &speech] {
            window->OpenGivenFile(speech);
            window->Player().contextMenu().findChild<QAction*>(QStringLiteral("wellenform"))->trigger();
            return true;
        });
        const auto* strip = OnGui([this] { return window->findChild<QWidget*>(QStringLiteral("waveform")); });
        ASSERT_NE(strip, nullptr);
        ASSERT_TRUE(Eventually([&] { return strip->isVisible() && placeOf().second != before.second; }))
            << "the window did not grow for the waveform";
        const auto after = OnGui(placeOf);
        EXPECT_EQ(after.first, before.first) << "a control moved";
        EXPECT_EQ(after.second.width(), before.second.width());
        EXPECT_EQ(after.second.height(), before.second.height() + OnGui([&] { return strip->parentWidget()->height(); }));
        ASSERT_TRUE(x.TakeFocus());
        x.Tap(XK_F3);
        ASSERT_TRUE(Eventually([this] { return Player().currentPosition() > 2.5; }));
        x.Tap(XK_F2);
        EXPECT_TRUE(shoot("window-waveform.png"));
        OnGui([this] {
            window->Player().contextMenu().findChild<QAction*>(QStringLiteral("wellenform"))->trigger();
            return true;
        });
        EXPECT_TRUE(Eventually([&] { return placeOf() == before; })) << "hiding the waveform left the window grown";
    });
}

TEST_F(UserSession, ARefusedFileShowsItsMessageClosesTheOpenMediumAndLeavesTheHotKeysInactive)
{
    const QString recording = media::Path(media::Wav());
    ASSERT_FALSE(recording.isEmpty()) << "FFmpeg could not make the recording";
    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/horchpult-refused-XXXXXX"));
    const QString notMedia = folder.filePath(QStringLiteral("notes.mp3"));
    QFile file(notMedia);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Interview mit Frau K., 3. Mai: keine Aufnahme, nur Notizen.\n");
    file.close();

    Drive([&](xtest::XClient& x) {
        OpenThroughDialog(x, recording);
        ASSERT_TRUE(Eventually([this] { return window->Geladen() == -1; })) << "the recording was not opened";
        OpenThroughDialog(x, notMedia);
        ASSERT_TRUE(Eventually([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; }, 10s))
            << "no message for a refused file";
        EXPECT_EQ(OnGui([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget())->text(); }),
                  app::MediaRefused);
        const auto box = static_cast<xtest::XWindow>(OnGui([] { return QApplication::activeModalWidget()->winId(); }));
        ASSERT_TRUE(Eventually([&] { return x.Focus(box); }));
        x.Tap(XK_Return);
        ASSERT_TRUE(Eventually([] { return QApplication::activeModalWidget() == nullptr; }));
        EXPECT_EQ(Text("Fileinfo"), notMedia.size() <= 40 ? notMedia : QStringLiteral("...") + notMedia.right(40));
        EXPECT_EQ(State(), MediaPlayer::Undefined) << "the recording opened before is still open";
        EXPECT_TRUE(OnGui([this] { return Player().URL(); }).isEmpty());

        ASSERT_TRUE(x.TakeFocus());
        x.Tap(XK_F3);
        std::this_thread::sleep_for(300ms);
        EXPECT_NE(State(), MediaPlayer::Playing) << "F3 plays although the file was refused";
        EXPECT_EQ(OnGui([this] { return window->Geladen(); }), 0);
    });
}

} // namespace
