// F4 typing the playback position into the editor that has the focus, on the keyboard layouts
// users have: a real xterm and a Qt text edit each hold the focus in turn, the layout is switched
// with setxkbmap between presses, and keys are pressed through XTest as a keyboard presses them.

#include "UserSession.h"

#include "../media/TestMedia.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>

#include <X11/keysym.h>

#include <gtest/gtest.h>

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
        const QString recording = dir.filePath(QStringLiteral("interview.wav"));
        ASSERT_TRUE(media::Ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                   QStringLiteral("sine=frequency=440:duration=90"), recording}));
        window->OpenGivenFile(recording);
        ASSERT_EQ(window->Geladen(), -1) << "the recording did not open";
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
