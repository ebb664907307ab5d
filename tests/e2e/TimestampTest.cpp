// F4 typing the playback position into the editor that has the focus, on the keyboard layouts
// users have: a real xterm and a Qt text edit each hold the focus in turn, the layout is switched
// with setxkbmap between presses, and keys are pressed through XTest as a keyboard presses them.

#include "UserSession.h"

#include "../media/TestMedia.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <X11/keysym.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace {

using namespace std::chrono_literals;
using e2e::Eventually;
using e2e::OnGui;
using e2e::UserSession;

struct Format {
    const char* action;
    const char* text; // at 83.47 s
};
constexpr Format Formats[] = {
    {"timestamp_hashes", "#00:01:23-4#"},
    {"timestamp_brackets", "[00:01:23]"},
    {"timestamp_decimal", "00:01:23.4"},
};
// US, German (AltGr for the brackets), French AZERTY (Shift for every digit, AltGr for # and the
// brackets).
constexpr const char* Layouts[] = {"us", "de", "fr"};

// A 90 s interview, opened as a file named outside the window.
void OpenInterview(app::frm1& window, const QTemporaryDir& dir)
{
    const QString recording = dir.filePath(QStringLiteral("interview.wav"));
    ASSERT_TRUE(media::Ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                               QStringLiteral("sine=frequency=440:duration=90"), recording}));
    window.OpenGivenFile(recording);
    ASSERT_EQ(window.Geladen(), -1) << "the recording did not open";
}

class Timestamps : public UserSession {
public:
    QString InXterm() const
    {
        QFile file(typed);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    QString InQtEditor() const { return editor.toPlainText(); }

protected:
    void SetUp() override
    {
        UserSession::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        OpenInterview(*window, dir);
        ASSERT_FALSE(HasFatalFailure());
        window->Player().setCurrentPosition(83.47);

        typed = dir.filePath(QStringLiteral("typed"));
        // Raw: every byte reaches the file as it is typed, none is echoed or edited by the tty.
        xterm.start(QStringLiteral("xterm"),
                    {QStringLiteral("-T"), QStringLiteral("editor-xterm"), QStringLiteral("-e"), QStringLiteral("sh"),
                     QStringLiteral("-c"), QStringLiteral("stty raw -echo; exec cat > '%1'").arg(typed)});
        ASSERT_TRUE(xterm.waitForStarted()) << "xterm did not start";
        editor.setWindowTitle(QStringLiteral("editor-qt"));
        editor.show();
    }

    void TearDown() override
    {
        Layout("us");
        xterm.kill();
        xterm.waitForFinished();
        UserSession::TearDown();
    }

    // Switches the layout as a user does, some while before the next key.
    static void Layout(const char* name)
    {
        QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QString::fromLatin1(name)});
        std::this_thread::sleep_for(500ms);
    }
    void Choose(const char* action)
    {
        OnGui([&] {
            window->Player().contextMenu().findChild<QAction*>(QString::fromLatin1(action))->trigger();
            return 0;
        });
    }
    // Gives the window of that title the focus.
    static void FocusOn(xtest::XClient& x, const char* title)
    {
        xtest::XWindow found = 0;
        ASSERT_TRUE(Eventually([&] { return (found = x.FindWindow(title)) != 0; }, 10s)) << title << " never showed";
        ASSERT_TRUE(Eventually([&] { return x.Focus(found); })) << title << " did not take the focus";
    }

    // Gives the xterm the focus once its shell reads keys raw.
    void FocusOnXterm(xtest::XClient& x)
    {
        ASSERT_TRUE(Eventually([&] { return QFile::exists(typed); }, 10s)) << "the xterm's shell did not start";
        FocusOn(x, "editor-xterm");
    }

    // F4 in every format on every layout; each press adds exactly its timestamp to the editor.
    void EveryFormatOnEveryLayout(xtest::XClient& x, QString (Timestamps::*read)() const)
    {
        QString expected;
        for (const char* layout : Layouts) {
            Layout(layout);
            for (const Format& format : Formats) {
                Choose(format.action);
                x.Tap(XK_F4);
                expected += QString::fromLatin1(format.text);
                EXPECT_TRUE(Eventually([&] { return (this->*read)() == expected; }))
                    << "layout " << layout << ": typed '" << OnGui([&] { return (this->*read)(); }).toStdString()
                    << "', expected '" << expected.toStdString() << "'";
            }
        }
    }

    QTemporaryDir dir;
    QPlainTextEdit editor;
    QProcess xterm;
    QString typed;
};

TEST_F(Timestamps, F4TypesExactlyThePositionIntoAnXtermOnUsGermanAndFrenchLayouts)
{
    Drive([&](xtest::XClient& x) {
        FocusOnXterm(x);
        EveryFormatOnEveryLayout(x, &Timestamps::InXterm);
    });
}

TEST_F(Timestamps, F4TypesExactlyThePositionIntoAQtEditorOnUsGermanAndFrenchLayouts)
{
    Drive([&](xtest::XClient& x) {
        FocusOnXterm(x); // the window manager gives a new window the focus: the xterm's comes first
        FocusOn(x, "editor-qt");
        EveryFormatOnEveryLayout(x, &Timestamps::InQtEditor);
    });
}

TEST_F(Timestamps, QuickPressesTypeWholeTimestampsAHeldF4OneAndAHeldShiftChangesNone)
{
    const QString stamp = QStringLiteral("#00:01:23-4#");
    Drive([&](xtest::XClient& x) {
        FocusOnXterm(x);
        x.Tap(XK_F4);
        x.Tap(XK_F4);
        EXPECT_TRUE(Eventually([&] { return InXterm() == stamp + stamp; })) << InXterm().toStdString();

        x.Hold(XK_F4, 1500ms); // well past the delay before keys repeat
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(OnGui([&] { return InXterm(); }), stamp + stamp + stamp) << "a held F4 typed more than once";

        // Shift pressed for the next capital while the timestamp is still to be typed.
        x.Press(XK_F4);
        x.Press(XK_Shift_L);
        x.Release(XK_F4);
        EXPECT_TRUE(Eventually([&] { return InXterm().size() == 4 * stamp.size(); })) << InXterm().toStdString();
        x.Tap(XK_a);
        x.Release(XK_Shift_L);
        EXPECT_TRUE(Eventually([&] { return InXterm() == stamp + stamp + stamp + stamp + QStringLiteral("A"); }))
            << InXterm().toStdString();
    });
}

TEST_F(Timestamps, ACharacterTheLayoutLacksIsTypedOnASpareKeyThatIsEmptiedAgain)
{
    Layout("ru");
    const auto keymap = [] {
        QProcess xmodmap;
        xmodmap.start(QStringLiteral("xmodmap"), {QStringLiteral("-pke")});
        xmodmap.waitForFinished();
        return xmodmap.readAllStandardOutput();
    };
    const QByteArray before = keymap();
    Drive([&](xtest::XClient& x) {
        FocusOnXterm(x);
        x.Tap(XK_F4); // Russian has no # on any key
        EXPECT_TRUE(Eventually([&] { return InXterm() == QStringLiteral("#00:01:23-4#"); })) << InXterm().toStdString();
        Choose("timestamp_brackets");
        x.Tap(XK_F4); // nor brackets
        EXPECT_TRUE(Eventually([&] { return InXterm() == QStringLiteral("#00:01:23-4#[00:01:23]"); }))
            << InXterm().toStdString();
    });
    media::WaitUntil([] { return false; }, 300);
    EXPECT_EQ(keymap(), before) << "a spare key code kept its character";
}

} // namespace

namespace {

// Shift+F4 with the timestamp selected in an xterm, as a user selects a line: three clicks on it.
class Jumps : public UserSession {
protected:
    // One line a case, in the order of Lines' rows.
    static constexpr const char* Lines[] = {
        "said #00:01:23-4# then",
        "[00:00:42] and",
        "00:00:07.5",
        "at 1:05 or so",
        "0:01:10",
        "1:02.3",
        "no time here at all",
        "01:00:00",
    };
    static constexpr double RecordingSeconds = 90;

    void SetUp() override
    {
        UserSession::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        OpenInterview(*window, dir);
        ASSERT_FALSE(HasFatalFailure());
        QString shown;
        for (const char* line : Lines)
            shown += QString::fromLatin1(line) + QStringLiteral("\\n");
        xterm.start(QStringLiteral("xterm"),
                    {QStringLiteral("-geometry"), QStringLiteral("60x12"), QStringLiteral("-T"),
                     QStringLiteral("editor-xterm"), QStringLiteral("-e"), QStringLiteral("sh"), QStringLiteral("-c"),
                     QStringLiteral("printf '%1'; exec sleep 600").arg(shown)});
        ASSERT_TRUE(xterm.waitForStarted()) << "xterm did not start";
    }

    void TearDown() override
    {
        xterm.kill();
        xterm.waitForFinished();
        QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
        QGuiApplication::clipboard()->clear(QClipboard::Selection);
        UserSession::TearDown();
    }

    xtest::XWindow ShowXterm(xtest::XClient& x)
    {
        xtest::XWindow found = 0;
        EXPECT_TRUE(Eventually([&] { return (found = x.FindWindow("editor-xterm")) != 0; }, 10s));
        EXPECT_TRUE(Eventually([&] { return x.Focus(found); }));
        return found;
    }
    // Selects the line as a user does, then presses Shift+F4 with the xterm focused.
    static void SelectAndJump(xtest::XClient& x, xtest::XWindow xterm, std::size_t line)
    {
        const xtest::XClient::Rect at = x.GeometryOf(xterm);
        const int row = static_cast<int>(at.height) / 12;
        // Clicks closer than the xterm's multi-click time to the last ones would count on from them.
        std::this_thread::sleep_for(400ms);
        for (int click = 0; click < 3; ++click) {
            x.Click(at.x + 20, at.y + row * static_cast<int>(line) + row / 2);
            std::this_thread::sleep_for(40ms);
        }
        x.Press(XK_Shift_L);
        x.Tap(XK_F4);
        x.Release(XK_Shift_L);
    }
    // On the GUI thread, as the conditions of Eventually run.
    QString NoticeNow() const
    {
        const auto* line = window->findChild<QLabel*>(QStringLiteral("notice"));
        return line != nullptr && line->isVisible() ? line->text() : QString();
    }
    QString Notice() const { return OnGui([&] { return NoticeNow(); }); }
    bool Near(double seconds) const { return std::abs(Player().currentPosition() - seconds) < 0.05; }

    QTemporaryDir dir;
    QProcess xterm;
};

TEST_F(Jumps, ShiftF4GoesToTheSelectedTimestampInEveryFormKeepingThePlayState)
{
    constexpr double Targets[] = {83.4, 42, 7.5, 65, 70, 62.3};
    Drive([&](xtest::XClient& x) {
        const xtest::XWindow editor = ShowXterm(x);
        for (std::size_t line = 0; line < std::size(Targets); ++line) {
            SelectAndJump(x, editor, line);
            EXPECT_TRUE(Eventually([&] { return Near(Targets[line]); }))
                << Lines[line] << ": at " << Position() << " s " << Notice().toStdString();
            EXPECT_NE(State(), player::MediaPlayer::Playing) << Lines[line];
        }
        EXPECT_EQ(Notice(), QStringLiteral("Went to 00:01:02.3"));

        OnGui([&] { return window->PlayCommand(), 0; });
        SelectAndJump(x, editor, 1);
        EXPECT_TRUE(Eventually([&] {
            const double now = Player().currentPosition();
            return now > 42 && now < 43;
        })) << Position();
        EXPECT_EQ(State(), player::MediaPlayer::Playing);
        OnGui([&] { return window->PauseCommand(), 0; });

        SelectAndJump(x, editor, 6);
        EXPECT_TRUE(Eventually([&] { return NoticeNow() == QStringLiteral("No timestamp in \"no time here at all\""); }))
            << Notice().toStdString();
        SelectAndJump(x, editor, 7);
        EXPECT_TRUE(Eventually([&] { return Near(RecordingSeconds); })) << Position();
        EXPECT_TRUE(Eventually([&] { return NoticeNow().startsWith(QStringLiteral("01:00:00.0 is past the end")); }))
            << Notice().toStdString();
    });
}

TEST_F(Jumps, ShiftF4ReadsTheClipboardWhenNothingIsSelectedAndAnswersAHugeSelectionQuickly)
{
    Drive([&](xtest::XClient& x) {
        ShowXterm(x);
        x.Press(XK_Shift_L);
        x.Tap(XK_F4);
        x.Release(XK_Shift_L);
        EXPECT_TRUE(Eventually([&] { return NoticeNow().startsWith(QStringLiteral("Nothing is selected")); }))
            << Notice().toStdString();

        OnGui([] { return QGuiApplication::clipboard()->setText(QStringLiteral("see [00:00:30]")), 0; });
        x.Press(XK_Shift_L);
        x.Tap(XK_F4);
        x.Release(XK_Shift_L);
        EXPECT_TRUE(Eventually([&] { return Near(30); })) << Position();

        // Five megabytes of random bytes, with no colon that could make a timestamp, held by another
        // program, which hands them over in chunks.
        QByteArray noise(5 << 20, '\0');
        for (char& byte : noise)
            byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
        noise.replace(':', 'x');
        QFile held(dir.filePath(QStringLiteral("noise")));
        ASSERT_TRUE(held.open(QIODevice::WriteOnly) && held.write(noise) == noise.size());
        held.close();
        // Told to talk, xclip stays in front; it says it waits just before it takes the selection.
        QProcess xclip;
        xclip.setProcessChannelMode(QProcess::MergedChannels);
        xclip.start(QStringLiteral("xclip"), {QStringLiteral("-verbose"), QStringLiteral("-selection"),
                                              QStringLiteral("primary"), QStringLiteral("-i"), held.fileName()});
        QByteArray said;
        while (!said.contains("Waiting for") && xclip.waitForReadyRead(5000))
            said += xclip.readAll();
        ASSERT_TRUE(said.contains("Waiting for")) << said.toStdString();
        ASSERT_TRUE(xtest::WaitUntil([&] { return x.SelectionOwned("PRIMARY"); }, 5s)) << "xclip never took the selection";
        const auto pressed = std::chrono::steady_clock::now();
        x.Press(XK_Shift_L);
        x.Tap(XK_F4);
        x.Release(XK_Shift_L);
        EXPECT_TRUE(Eventually([&] { return NoticeNow().startsWith(QStringLiteral("No timestamp in")); }))
            << Notice().toStdString();
        const auto took = std::chrono::steady_clock::now() - pressed;
        EXPECT_LT(took, 150ms) << "the answer took " << std::chrono::duration<double, std::milli>(took).count() << " ms";
        EXPECT_TRUE(OnGui([&] { return Near(30); })) << Position();
        xclip.kill();
        xclip.waitForFinished();
    });
}

} // namespace
