#include "WindowFixture.h"

#include "app/Messages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <vector>

namespace {

using player::MediaPlayer;
using testing_support::Calls;
using testing_support::Transport;
using testing_support::WindowTest;

using Commands = WindowTest;

TEST_F(Commands, HotKeysRunNothingBeforeAFileIsAcceptedButStillRestoreTheWindow)
{
    for (const char* key : {"spielen", "stop", "zurueck", "wiederholen"})
        Press(QString::fromLatin1(key));
    EXPECT_TRUE(wm1->calls.isEmpty()) << wm1->calls.join(u',').toStdString();
    EXPECT_EQ(Interval(), 0);

    desktop.iconic = true;
    wm1->failing = QStringLiteral("url");
    desktop.files.push_back(QStringLiteral("/media/refused.mp3"));
    Menu("neu");
    EXPECT_EQ(desktop.messages, QStringList{app::MediaRefused});
    EXPECT_EQ(window->Geladen(), 0);
    EXPECT_TRUE(window->Media().isEmpty()) << "a refused file is forgotten";
    EXPECT_EQ(Box("Fileinfo").text(), QStringLiteral("/media/refused.mp3")) << "the refused path stays shown";

    wm1->calls.clear();
    desktop.log.clear();
    Press(QStringLiteral("spielen"));
    EXPECT_TRUE(wm1->calls.isEmpty());
    EXPECT_NE(std::find(desktop.log.begin(), desktop.log.end(), "SendMessageA " + std::to_string(window->Handle())
                        + " 274 61728 0"), desktop.log.end()) << "the minimized window is restored";
}

TEST_F(Commands, PlayAppliesTheSpeedStepExactlyAndFollowsPlayback)
{
    Open();
    for (int i = 0; i < 9; ++i)
        Click("minus");
    EXPECT_EQ(Box("speed").text(), QStringLiteral("-9"));
    wm1->calls.clear();
    Press(QStringLiteral("spielen"));
    const double rate = -9 * 0.1 + 1.0;
    EXPECT_EQ(wm1->rate(), rate) << "step -9 is computed, not looked up";
    EXPECT_NE(wm1->rate(), 0.1);
    ASSERT_GE(wm1->calls.size(), 3);
    EXPECT_EQ(wm1->calls.mid(0, 3), Calls({"pause", "rate 0.099999999999999978", "play"}));
    EXPECT_EQ(Interval(), 200);
}

struct AutoRewindCase {
    const char* seconds;
    double from;
    double to;
};

TEST_F(Commands, PauseStepsBackTheRoundedAutoRewindSecondsNotBelowZero)
{
    const AutoRewindCase cases[] = {
        {"2", 10.4, 8.4}, {"2", 1.5, 0}, {"2", 2.0, 0}, {"2.5", 10, 8}, {"3.5", 10, 6},
        {"-3", 10, 13}, {"0", 10, 10},
    };
    Open();
    Control<QCheckBox>("Check1").setChecked(true);
    for (const AutoRewindCase& c : cases) {
        Box("autorewind").setText(QString::fromLatin1(c.seconds));
        wm1->position = c.from;
        wm1->state = MediaPlayer::Playing;
        window->PositionTimer().setInterval(200);
        Press(QStringLiteral("stop"));
        EXPECT_DOUBLE_EQ(wm1->position, c.to) << c.seconds << " s back from " << c.from;
        EXPECT_EQ(wm1->state, MediaPlayer::Paused);
        EXPECT_EQ(Interval(), 0);
    }

    Control<QCheckBox>("Check1").setChecked(false);
    wm1->position = 10;
    Press(QStringLiteral("stop"));
    EXPECT_EQ(wm1->position, 10) << "auto-rewind off only pauses";
    EXPECT_TRUE(desktop.messages.isEmpty());
}

TEST_F(Commands, AutoRewindThatDoesNotFitPausesStopsTheTimerThenShowsTheMessage)
{
    Open();
    Control<QCheckBox>("Check1").setChecked(true);
    Box("autorewind").setText(QStringLiteral("40000"));
    EXPECT_EQ(Box("autorewind").text(), QStringLiteral("40000")) << "the box accepts it";
    wm1->state = MediaPlayer::Playing;
    wm1->position = 30;
    window->PositionTimer().setInterval(200);
    Press(QStringLiteral("stop"));
    EXPECT_EQ(Transport(wm1->calls), Calls({"pause"}));
    EXPECT_EQ(Interval(), 0);
    EXPECT_EQ(wm1->position, 30);
    EXPECT_EQ(desktop.messages, QStringList{app::PlaybackFailed});
    EXPECT_TRUE(fatal.isEmpty());
}

TEST_F(Commands, AHeldKeyWhoseCommandFailsShowsOneBoxAtATime)
{
    Open();
    Control<QCheckBox>("Check1").setChecked(true);
    Box("autorewind").setText(QStringLiteral("40000"));
    int repeats = 0;
    bool rewound = false;
    desktop.whileMessageShown = [&] {
        // The key is still held while the box is open, and the X server repeats it.
        while (repeats < 25) {
            ++repeats;
            Press(QStringLiteral("stop"));
        }
        if (!rewound) {
            rewound = true;
            wm1->failingOnce = QStringLiteral("position");
            Press(QStringLiteral("zurueck"));
        }
    };
    Press(QStringLiteral("stop"));
    EXPECT_EQ(repeats, 25) << "the repeats did not run while the box was open";
    EXPECT_EQ(desktop.messages, QStringList{app::PlaybackFailed}) << "a box opened over a box with the same message";

    desktop.whileMessageShown = nullptr;
    Press(QStringLiteral("stop"));
    EXPECT_EQ(desktop.messages.size(), 2) << "once the box is closed, the next failure shows its box again";
    EXPECT_TRUE(fatal.isEmpty());
}

TEST_F(Commands, RewindStepsBackOneSecondKeepingThePlayState)
{
    Open();
    wm1->state = MediaPlayer::Playing;
    wm1->position = 5.25;
    Press(QStringLiteral("zurueck"));
    EXPECT_EQ(Transport(wm1->calls), Calls({"pause", "position 4.25", "play"}));
    EXPECT_EQ(Interval(), 200);

    for (double from : {0.6, 1.0}) {
        wm1->state = MediaPlayer::Paused;
        wm1->position = from;
        Box("time").setText(QStringLiteral("7"));
        Press(QStringLiteral("zurueck"));
        EXPECT_EQ(wm1->position, 0) << "from " << from;
        EXPECT_EQ(wm1->state, MediaPlayer::Paused);
        EXPECT_EQ(Interval(), 0);
        EXPECT_EQ(Box("time").text(), QStringLiteral("7")) << "the display keeps the last tick";
    }
}

TEST_F(Commands, RepeatKeepsF1AndF2InsideThePassageAndASecondPressPlaysOnFromItsEnd)
{
    Open();
    auto& entry = PlayerEntry("wiederholen");
    wm1->position = 12.0;
    Press(QStringLiteral("wiederholen"));
    EXPECT_EQ(Transport(wm1->calls), Calls({"repeat 5"}));
    EXPECT_EQ(Notice(), QStringLiteral("Repeating 00:00:07\u201300:00:12. Shift+F1 plays on."));
    EXPECT_TRUE(entry.isChecked());
    EXPECT_EQ(Interval(), 200);

    Control<QCheckBox>("Check1").setChecked(true);
    wm1->position = 8.0;
    Press(QStringLiteral("stop"));
    EXPECT_EQ(wm1->position, 7.0) << "auto-rewind left the passage";
    Press(QStringLiteral("zurueck"));
    EXPECT_EQ(wm1->position, 7.0) << "F1 left the passage";
    Press(QStringLiteral("spielen"));
    EXPECT_EQ(wm1->state, MediaPlayer::Playing);
    ASSERT_TRUE(wm1->passage.has_value()) << "F1, F2 or F3 ended the repeat";

    // Before the passage was heard whole the second press only ends the repeat.
    wm1->calls.clear();
    Press(QStringLiteral("wiederholen"));
    EXPECT_EQ(Transport(wm1->calls), Calls({"endRepeat"}));
    EXPECT_TRUE(Notice().isEmpty()) << Notice().toStdString();
    EXPECT_FALSE(entry.isChecked());

    wm1->position = 30.0;
    Press(QStringLiteral("wiederholen"));
    wm1->passage->heardWhole = true;
    wm1->state = MediaPlayer::Paused;
    wm1->calls.clear();
    entry.trigger();
    EXPECT_EQ(Transport(wm1->calls), Calls({"endRepeat", "position 30", "play"}));
    EXPECT_FALSE(entry.isChecked());
}

TEST_F(Commands, SeekingEndsTheRepeatAndTheChosenLengthIsTheNextOnes)
{
    Open();
    for (const char* seek : {"ffw", "fffw", "but_goto"}) {
        wm1->position = 40.0;
        Press(QStringLiteral("wiederholen"));
        Box("time_goto").setText(QStringLiteral("3"));
        Click(seek);
        EXPECT_FALSE(wm1->passage.has_value()) << seek;
        EXPECT_TRUE(Notice().isEmpty()) << seek << ": " << Notice().toStdString();
    }
    PlayerEntry("repeat_8").trigger();
    EXPECT_EQ(PlayerEntry("wiederholen").text(), QStringLiteral("Repeat the last 8 s (Shift+F1)"));
    wm1->position = 5.0;
    wm1->calls.clear();
    Press(QStringLiteral("wiederholen"));
    EXPECT_EQ(Transport(wm1->calls), Calls({"repeat 8"}));
    EXPECT_EQ(wm1->passage->from, 0.0);
    EXPECT_EQ(Notice(), QStringLiteral("Repeating 00:00:00\u201300:00:05. Shift+F1 plays on."));
}

TEST_F(Commands, FailedCommandsShowTheirMessageAndUndoNothing)
{
    Open();
    wm1->state = MediaPlayer::Playing;
    wm1->position = 20;
    window->PositionTimer().setInterval(200);
    wm1->failing = QStringLiteral("play");
    Press(QStringLiteral("zurueck"));
    EXPECT_EQ(Transport(wm1->calls), Calls({"pause", "position 19", "play"}));
    EXPECT_EQ(wm1->state, MediaPlayer::Paused) << "the pause stays";
    EXPECT_EQ(Interval(), 200);
    EXPECT_EQ(desktop.messages, QStringList{app::PlaybackFailed});

    desktop.messages.clear();
    wm1->calls.clear();
    wm1->failing = QStringLiteral("rate");
    Press(QStringLiteral("spielen"));
    EXPECT_EQ(wm1->calls.first(), QStringLiteral("pause"));
    EXPECT_FALSE(wm1->calls.contains(QStringLiteral("play")));
    EXPECT_EQ(desktop.messages, QStringList{app::PlaybackFailed});

    desktop.messages.clear();
    wm1->failing = QStringLiteral("position");
    Box("time_goto").setText(QStringLiteral("-5"));
    Click("but_goto");
    EXPECT_EQ(Box("time_goto").text(), QStringLiteral("-5"));
    EXPECT_EQ(wm1->calls.last(), QStringLiteral("position -5")) << "the target reaches the player unchanged";
    EXPECT_EQ(desktop.messages, QStringList{app::JumpFailed});
    EXPECT_EQ(Interval(), 200) << "the timer keeps the period it was given last";
    EXPECT_TRUE(fatal.isEmpty());
}

TEST_F(Commands, SeeksAreNeitherFlooredNorCappedAndRestorePlayback)
{
    Open();
    wm1->state = MediaPlayer::Playing;
    wm1->position = 61.3;
    Click("ffw");
    EXPECT_EQ(Transport(wm1->calls), Calls({"pause", "position 63.299999999999997", "play"}));
    EXPECT_EQ(Interval(), 200);

    wm1->calls.clear();
    wm1->state = MediaPlayer::Paused;
    wm1->position = 5;
    Box("time").setText(QStringLiteral("5"));
    Click("fffw");
    EXPECT_EQ(wm1->calls, Calls({"position 15"}));
    EXPECT_EQ(Interval(), 0);
    EXPECT_EQ(Box("time").text(), QStringLiteral("5"));

    wm1->position = 1e6;
    Click("ffw");
    EXPECT_EQ(wm1->position, 1e6 + 2) << "no upper limit";
}

TEST_F(Commands, GotoRewritesTheTypedPositionBeforeJumping)
{
    const std::pair<const char*, double> cases[] = {
        {"  90 sec", 90}, {"1.5E2", 150}, {"12,5", 12}, {"", 0}, {"sec", 0}, {"-5", -5}, {"2.25", 2.25},
    };
    Open();
    for (const auto& [typed, target] : cases) {
        Box("time_goto").setText(QString::fromLatin1(typed));
        Click("but_goto");
        EXPECT_EQ(Box("time_goto").text(), platform::WriteNumber(target)) << "typed '" << typed << "'";
        EXPECT_EQ(wm1->position, target) << "typed '" << typed << "'";
    }
}

TEST_F(Commands, SpeedStepsStopAtTheirLimitsAndReachThePlayerFirst)
{
    for (int i = 0; i < 5; ++i)
        Click("plus");
    EXPECT_EQ(Box("speed").text(), QStringLiteral("5"));
    EXPECT_EQ(wm1->rate(), 5 * 0.1 + 1.0) << "the rate is written without a medium too";
    for (int i = 0; i < 10; ++i)
        Click("plus");
    EXPECT_EQ(Box("speed").text(), QStringLiteral("9"));
    wm1->calls.clear();
    Click("plus");
    EXPECT_TRUE(wm1->calls.isEmpty()) << "no call at the limit";

    for (int i = 0; i < 18; ++i)
        Click("minus");
    EXPECT_EQ(Box("speed").text(), QStringLiteral("-9"));
    Click("plus");
    EXPECT_EQ(Box("speed").text(), QStringLiteral("-8"));
    EXPECT_EQ(wm1->rate(), -8 * 0.1 + 1.0);

    wm1->failing = QStringLiteral("rate");
    Click("plus");
    EXPECT_EQ(Box("speed").text(), QStringLiteral("-8")) << "a refused rate leaves the old step";
    EXPECT_EQ(fatal.size(), 1) << "a refused rate is not trapped";
}

TEST_F(Commands, PlayStateChangesReapplyTheSpeedStep)
{
    Open();
    for (int i = 0; i < 3; ++i)
        Click("plus");
    wm1->setRate(1.0);
    wm1->play();
    EXPECT_EQ(wm1->rate(), 3 * 0.1 + 1.0) << "playback started by the player's own button runs at the step";
}

TEST_F(Commands, OpeningShowsThePathAndLoadsWithoutStarting)
{
    const QString forty = QStringLiteral("/") + QString(39, u'a');
    const QString fortyOne = QStringLiteral("/b") + QString(39, u'a');
    Open(forty);
    EXPECT_EQ(Box("Fileinfo").text(), forty);
    EXPECT_EQ(window->Geladen(), -1);
    EXPECT_FALSE(wm1->autoStart());
    EXPECT_EQ(wm1->URL(), forty);

    Open(fortyOne);
    EXPECT_EQ(Box("Fileinfo").text(), QStringLiteral("...") + fortyOne.right(40));
    EXPECT_EQ(window->Media(), fortyOne);

    Menu("neu"); // cancelled: no name
    EXPECT_EQ(desktop.messages, QStringList{app::OpenFailed});
    EXPECT_EQ(window->Media(), fortyOne);
    EXPECT_EQ(window->Geladen(), -1);
    EXPECT_TRUE(wm1->calls.isEmpty()) << "a cancel does not touch the player";
}

// "Open with": a file named on the command line goes the way of a file chosen in the dialog.
TEST_F(Commands, AFileGivenFromOutsideOpensAsFromTheDialog)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString recording = folder.filePath(QStringLiteral("an-interview-recorded-for-its-transcript.mp3"));
    const QString refused = folder.filePath(QStringLiteral("refused.mp3"));
    for (const QString& path : {recording, refused}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QString relative = QDir::current().relativeFilePath(recording);

    window->OpenGivenFile(relative);
    EXPECT_TRUE(desktop.messages.isEmpty()) << desktop.messages.join(u',').toStdString();
    EXPECT_EQ(window->Media(), recording) << "the full path, as the dialog yields it";
    EXPECT_EQ(Box("Fileinfo").text(), QStringLiteral("...") + recording.right(40));
    EXPECT_EQ(window->Geladen(), -1);
    EXPECT_EQ(Transport(wm1->calls), Calls({"autoStart 0"}) << QStringLiteral("url ") + recording);

    wm1->calls.clear();
    window->OpenGivenFile(folder.filePath(QStringLiteral("missing.mp3")));
    window->OpenGivenFile(folder.path());
    EXPECT_EQ(desktop.messages, QStringList({app::OpenFailed, app::OpenFailed})) << "only an existing file, as in the dialog";
    EXPECT_EQ(window->Media(), recording);
    EXPECT_TRUE(wm1->calls.isEmpty()) << "nothing but a file reaches the player";

    desktop.messages.clear();
    wm1->failing = QStringLiteral("url");
    window->OpenGivenFile(refused);
    EXPECT_EQ(desktop.messages, QStringList{app::MediaRefused});
    EXPECT_EQ(window->Geladen(), 0);
    EXPECT_TRUE(window->Media().isEmpty());
    EXPECT_TRUE(fatal.isEmpty());
}

TEST_F(Commands, TimerShowsWholeSecondsRoundedDown)
{
    for (const auto& [position, shown] : {std::pair{75.8, "75"}, {0.4, "0"}, {59.999, "59"}}) {
        wm1->position = position;
        window->PositionTimer().Tick.raise();
        EXPECT_EQ(Box("time").text(), QString::fromLatin1(shown)) << position;
    }
}

TEST_F(Commands, AutoRewindBoxIsEditableOnlyWhileTicked)
{
    QLineEdit& box = Box("autorewind");
    QCheckBox& check = Control<QCheckBox>("Check1");
    const QColor buttonFace = QPalette().color(QPalette::Active, QPalette::Button);
    const QColor editable = QPalette().color(QPalette::Active, QPalette::Base);

    check.setChecked(true);
    EXPECT_TRUE(box.isEnabled());
    EXPECT_FALSE(box.isReadOnly());
    EXPECT_EQ(box.palette().color(QPalette::Base), editable);
    box.setText(QStringLiteral("7"));
    check.setChecked(false);
    EXPECT_FALSE(box.isEnabled());
    EXPECT_TRUE(box.isReadOnly());
    EXPECT_EQ(box.palette().color(QPalette::Base), buttonFace);
    EXPECT_EQ(box.text(), QStringLiteral("7")) << "the number is kept";
}

TEST_F(Commands, AutoRewindTextSettlesAsAPlainNumber)
{
    const std::pair<const char*, const char*> pasted[] = {
        {"1.5E1", "15"}, {" 3 sec", "3"}, {"", "0"}, {"x", "0"}, {"02", "2"}, {"-", "0"}, {"-3", "-3"},
        {"2.5", "2.5"}, {"2.", "2"},
    };
    Control<QCheckBox>("Check1").setChecked(true);
    for (const auto& [text, settled] : pasted) {
        Box("autorewind").setText(QString::fromLatin1(text));
        EXPECT_EQ(Box("autorewind").text(), QString::fromLatin1(settled)) << "pasted '" << text << "'";
    }
    QLocale::setDefault(QLocale(QLocale::German));
    Box("autorewind").setText(QStringLiteral("2.5"));
    EXPECT_EQ(Box("autorewind").text(), QStringLiteral("2")) << "the comma written first is cut off";
}

TEST_F(Commands, PlayerPlacementStopsAtItsBounds)
{
    for (int i = 0; i < 35; ++i)
        Click("m_left");
    EXPECT_EQ(wm1->Left(), 100.0f);
    wm1->setLeft(150);
    Click("m_left");
    Click("m_left");
    EXPECT_EQ(wm1->Left(), 50.0f);

    for (int i = 0; i < 15; ++i)
        Click("m_minus");
    EXPECT_EQ(wm1->Width(), 2615.0f);
    EXPECT_EQ(wm1->Height(), 95.0f);
    wm1->setWidth(100);
    wm1->setHeight(500);
    Click("m_minus");
    EXPECT_EQ(wm1->Height(), 500.0f) << "a width of exactly 100 blocks both";
    Click("m_plus");
    Click("m_minus");
    EXPECT_EQ(wm1->Width(), 100.0f);
    EXPECT_EQ(wm1->Height(), 500.0f);
    EXPECT_EQ(wm1->Top(), 2400.0f);
}

TEST_F(Commands, PanelsShowAndHideIndependently)
{
    QGroupBox& instructions = Control<QGroupBox>("Frame2");
    QGroupBox& info = Control<QGroupBox>("Frame1");
    Menu("tutor");
    Menu("tutor");
    Menu("about");
    EXPECT_TRUE(instructions.isVisibleTo(window.get()));
    EXPECT_TRUE(info.isVisibleTo(window.get()));
    const QWidgetList order = instructions.parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    EXPECT_GT(order.indexOf(&instructions), order.indexOf(&info)) << "the instructions cover the info";
    Click("Command2");
    EXPECT_FALSE(instructions.isVisibleTo(window.get()));
    EXPECT_TRUE(info.isVisibleTo(window.get()));
    Click("Command1");
    EXPECT_FALSE(info.isVisibleTo(window.get()));
    EXPECT_TRUE(wm1->calls.isEmpty());
}

} // namespace
