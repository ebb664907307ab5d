// F1, F2 and F3 through the desktop portal's global shortcuts, as on KDE Plasma or GNOME on
// Wayland: Debian's real front-end, the test's backend in the desktop's place, the real window.
#include "PortalWindow.h"
#include "RemoteDesktopBackend.h"

#include "../x11/XClient.h"

#include "player/MediaPlayer.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <X11/keysym.h>

#include <csignal>
#include <map>

namespace {

using testing_support::PortalDesktop;
using testing_support::PortalWindow;
using testing_support::ShortcutsBackend;

using PortalKeys = PortalWindow;

TEST_F(PortalKeys, EveryKeyIsBoundInOneSessionUnderItsNameWithItsKey)
{
    EXPECT_TRUE(platform->UsesPortal());
    const auto* session = BoundSession();
    ASSERT_NE(session, nullptr) << "the desktop was never asked to bind the keys";
    EXPECT_EQ(Backend().Sessions().size(), 1u) << "each registration made a session of its own";

    std::map<QString, QString> triggers;
    QStringList descriptions;
    for (const platform::PortalShortcut& shortcut : session->bound) {
        triggers[shortcut.id] = shortcut.properties.value(QStringLiteral("preferred_trigger")).toString();
        descriptions << shortcut.properties.value(QStringLiteral("description")).toString();
    }
    const std::map<QString, QString> expected{
        {QStringLiteral("spielen"), QStringLiteral("F3")},
        {QStringLiteral("stop"), QStringLiteral("F2")},
        {QStringLiteral("zurueck"), QStringLiteral("F1")},
        {QStringLiteral("zeitmarke"), QStringLiteral("F4")},
        {QStringLiteral("wiederholen"), QStringLiteral("SHIFT+F1")},
        {QStringLiteral("zeitsprung"), QStringLiteral("SHIFT+F4")}};
    EXPECT_EQ(triggers, expected);
    descriptions.removeDuplicates();
    EXPECT_EQ(descriptions.size(), static_cast<int>(testing_support::KeyCount)) << "the desktop cannot tell the user what each key does";

    media::Pump(300);
    EXPECT_EQ(ToolTip("Label3"), QStringLiteral("use function key F3 to play"));
    EXPECT_TRUE(Notice().isEmpty()) << Notice().toStdString();
}

TEST_F(PortalKeys, EachActivationRunsItsKeysCommandOnAnOpenedFile)
{
    const auto* session = BoundSession();
    ASSERT_NE(session, nullptr);
    const QString path = session->path;
    Open(media::Path(media::Wav()));

    Backend().Activate(path, QStringLiteral("spielen"));
    ASSERT_TRUE(media::WaitUntil([&] { return State() == player::MediaPlayer::Playing; }, 3000))
        << "F3 through the portal did not play";
    media::Pump(1500);

    Backend().Activate(path, QStringLiteral("stop"));
    ASSERT_TRUE(media::WaitUntil([&] { return State() == player::MediaPlayer::Paused; }, 3000))
        << "F2 through the portal did not pause";
    // A key's release is no second press.
    Backend().Deactivate(path, QStringLiteral("stop"));
    const double paused = window->Player().currentPosition();

    Backend().Activate(path, QStringLiteral("zurueck"));
    ASSERT_TRUE(media::WaitUntil([&] { return presses.size() == 3; }, 3000));
    media::Pump(200);
    EXPECT_NEAR(window->Player().currentPosition(), paused - 1.0, 0.05) << "F1 did not step back one second";
    EXPECT_EQ(presses, QStringList({QStringLiteral("spielen"), QStringLiteral("stop"), QStringLiteral("zurueck")}));
}

TEST_F(PortalKeys, AnotherProgramsSessionDoesNotReachTheWindow)
{
    ASSERT_NE(BoundSession(), nullptr);
    Backend().Activate(QStringLiteral("/org/freedesktop/portal/desktop/session/1_99/other"), QStringLiteral("spielen"));
    media::Pump(300);
    EXPECT_TRUE(presses.isEmpty());
}

// F4 through the global shortcuts, typed through the desktop's remote desktop.
class PortalTyping : public PortalWindow {
protected:
    void SetUp() override
    {
        remote = new testing_support::RemoteDesktopBackend(Backend());
        PortalWindow::SetUp();
    }

    // Opens the recording, paused at 23.47 s, once the desktop has bound the keys.
    QString OpenAt2347()
    {
        const auto* session = BoundSession();
        if (session == nullptr)
            return {};
        Open(media::Path(media::Wav()));
        window->Player().setCurrentPosition(23.47);
        return session->path;
    }

    testing_support::RemoteDesktopBackend* remote = nullptr; // owned by the backend
    const QString stamp = QStringLiteral("#00:00:23-4#");
};

TEST_F(PortalTyping, F4AsksForTheKeyboardOnceAndSendsEachTimestampsKeysymsInOrder)
{
    const QString path = OpenAt2347();
    ASSERT_FALSE(path.isEmpty()) << "the desktop was never asked to bind the keys";
    Backend().Activate(path, QStringLiteral("zeitmarke"));
    Backend().Activate(path, QStringLiteral("zeitmarke"));
    ASSERT_TRUE(media::WaitUntil([&] { return remote->keysyms.size() == 4 * static_cast<std::size_t>(stamp.size()); }, 5000))
        << "typed '" << remote->Typed().toStdString() << "'";
    EXPECT_EQ(remote->Typed(), stamp + stamp);
    EXPECT_EQ(remote->selectedDevices, std::vector<uint>{testing_support::RemoteDesktopBackend::Keyboard})
        << "the program asked for more than the keyboard, or asked more than once";
    EXPECT_EQ(remote->starts, 1);
    for (std::size_t i = 0; i < remote->keysyms.size(); i += 2) {
        EXPECT_EQ(remote->keysyms[i].second, 1u) << "key " << i;
        EXPECT_EQ(remote->keysyms[i + 1], std::make_pair(remote->keysyms[i].first, 0u)) << "key " << i << " not released";
    }
    EXPECT_EQ(remote->keysyms.front().first, XK_numbersign);
    EXPECT_EQ(remote->keysyms[6].first, XK_colon);
    EXPECT_TRUE(Notice().isEmpty()) << Notice().toStdString();
}

TEST_F(PortalTyping, ADeclinedStartPutsTheTimestampOnTheClipboardAndSaysSo)
{
    remote->decline = true;
    const QString path = OpenAt2347();
    ASSERT_FALSE(path.isEmpty());
    Backend().Activate(path, QStringLiteral("zeitmarke"));
    ASSERT_TRUE(media::WaitUntil([&] { return Notice().contains(stamp); }, 5000)) << Notice().toStdString();
    EXPECT_TRUE(Notice().contains(QStringLiteral("Ctrl+V"))) << Notice().toStdString();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), stamp);
    EXPECT_TRUE(remote->keysyms.empty());

    window->Player().setCurrentPosition(42.0);
    Backend().Activate(path, QStringLiteral("zeitmarke"));
    ASSERT_TRUE(media::WaitUntil([&] { return QGuiApplication::clipboard()->text() == QStringLiteral("#00:00:42-0#"); }, 5000));
    EXPECT_EQ(remote->starts, 1) << "the user who said no is asked again at every F4";
}

class RegisteredProgram : public PortalWindow {
protected:
    void SetUp() override
    {
        QGuiApplication::setDesktopFileName(QString::fromLatin1(PortalDesktop::ApplicationId));
        PortalWindow::SetUp();
    }
};

TEST_F(RegisteredProgram, TheDesktopFilesTheKeysUnderTheProgramsOwnName)
{
    if (!portal.OffersRegistry())
        GTEST_SKIP() << "this xdg-desktop-portal has no host registry (it came with 1.19)";
    const auto* session = BoundSession();
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->appId, QString::fromLatin1(PortalDesktop::ApplicationId));
}

class RefusingDesktop : public PortalWindow {
protected:
    void SetUp() override
    {
        Backend().refuse = {QStringLiteral("stop"), QStringLiteral("zeitmarke")};
        Backend().rebind = {{QStringLiteral("zurueck"), QStringLiteral("Ctrl+Alt+B")}};
        PortalWindow::SetUp();
    }
};

TEST_F(RefusingDesktop, TheUserIsToldWhichKeyIsUnboundAndWhichMoved)
{
    ASSERT_NE(BoundSession(), nullptr);
    ASSERT_TRUE(media::WaitUntil([&] { return !Notice().isEmpty(); }, 3000)) << "nobody told the user F2 is unbound";
    EXPECT_TRUE(Notice().contains(QStringLiteral("F2, F4"))) << Notice().toStdString();
    EXPECT_FALSE(Notice().contains(QStringLiteral("F1"))) << Notice().toStdString();
    EXPECT_FALSE(Notice().contains(QStringLiteral("F3"))) << Notice().toStdString();

    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("Label4"))->text(), QStringLiteral("pause: F2"));
    EXPECT_TRUE(ToolTip("Label4").contains(QStringLiteral("unbound"))) << ToolTip("Label4").toStdString();
    EXPECT_TRUE(ToolTip("Label2").contains(QStringLiteral("Ctrl+Alt+B"))) << ToolTip("Label2").toStdString();
    EXPECT_EQ(ToolTip("Label3"), QStringLiteral("use function key F3 to play"));
}

TEST_F(RefusingDesktop, AKeyTheUserTakesAwayLaterIsNamedAgain)
{
    ASSERT_NE(BoundSession(), nullptr);
    ASSERT_TRUE(media::WaitUntil([&] { return Notice().contains(QStringLiteral("F2")); }, 3000));
    Backend().Remove(QStringLiteral("spielen"));
    EXPECT_TRUE(media::WaitUntil([&] { return Notice().contains(QStringLiteral("F3")); }, 3000))
        << "F3 was taken away in the desktop's settings, and the notice says nothing: " << Notice().toStdString();
    EXPECT_TRUE(ToolTip("Label3").contains(QStringLiteral("unbound"))) << ToolTip("Label3").toStdString();
}

// Each desktop as it really answers (see ShortcutsBackend): the fixture sets the mode before the
// program starts.
template <bool ShortcutsBackend::*... Modes>
class DesktopThat : public PortalWindow {
protected:
    void SetUp() override
    {
        ((Backend().*Modes = true), ...);
        PortalWindow::SetUp();
    }
};
using AnswersTwo = DesktopThat<&ShortcutsBackend::answersTwo>;
using AnswersTwoToACancel = DesktopThat<&ShortcutsBackend::answersTwo, &ShortcutsBackend::cancels>;
using BindsLater = DesktopThat<&ShortcutsBackend::bindsLater>;
using Remembers = DesktopThat<&ShortcutsBackend::remembers>;

TEST_F(AnswersTwo, TheKeysOfAnAddAnsweredWithCodeTwoWorkAndNoNoticeShows)
{
    const auto* session = BoundSession();
    ASSERT_NE(session, nullptr);
    media::Pump(300);
    EXPECT_FALSE(session->closed) << "the program gave up its session on the desktop's code";
    EXPECT_TRUE(Notice().isEmpty()) << Notice().toStdString();
    EXPECT_EQ(ToolTip("Label3"), QStringLiteral("use function key F3 to play")) << "\"Press F3\" is F3";
    Backend().Activate(session->path, QStringLiteral("spielen"));
    EXPECT_TRUE(media::WaitUntil([&] { return presses == QStringList{QStringLiteral("spielen")}; }, 3000));
}

TEST_F(AnswersTwoToACancel, TheNoticeOffersToAskAgainAndAskingAgainBinds)
{
    ASSERT_TRUE(media::WaitUntil([&] { return NoticeButton() != nullptr; }, 5000)) << "nothing offers to ask again";
    for (const char* key : {"F1", "F2", "F3"})
        EXPECT_TRUE(Notice().contains(QLatin1String(key))) << Notice().toStdString();
    EXPECT_EQ(NoticeButton()->text(), QStringLiteral("Ask again"));
    EXPECT_EQ(Backend().binds, 1);

    Backend().cancels = false;
    NoticeButton()->click();
    EXPECT_TRUE(media::WaitUntil([&] { return Notice().isEmpty() && NoticeButton() == nullptr; }, 5000))
        << "asking again did not bind: " << Notice().toStdString();
    EXPECT_EQ(Backend().binds, 2);
    Backend().Activate(Backend().Latest()->path, QStringLiteral("stop"));
    EXPECT_TRUE(media::WaitUntil([&] { return presses == QStringList{QStringLiteral("stop")}; }, 3000));
}

TEST_F(BindsLater, AKeyGivenLaterAndPressedIsNoLongerNamedUnbound)
{
    ASSERT_TRUE(media::WaitUntil([&] { return Notice().contains(QStringLiteral("F3")); }, 5000));
    Backend().Give(QStringLiteral("spielen"), QStringLiteral("F3"));
    Backend().Activate(Backend().Latest()->path, QStringLiteral("spielen"));
    EXPECT_TRUE(media::WaitUntil([&] { return !Notice().contains(QStringLiteral("F3")); }, 3000))
        << "F3 works and the notice still calls it unbound: " << Notice().toStdString();
    EXPECT_TRUE(Notice().contains(QStringLiteral("F2"))) << Notice().toStdString();
    EXPECT_EQ(presses, QStringList{QStringLiteral("spielen")});
}

TEST_F(BindsLater, KeysGivenInTheSettingsAreSeenWhenTheUserComesBackToTheWindow)
{
    ASSERT_TRUE(media::WaitUntil([&] { return !Notice().isEmpty(); }, 5000));
    xtest::XClient settings;
    ASSERT_TRUE(settings.IsUsable());
    ASSERT_TRUE(settings.TakeFocus());
    media::Pump(200);
    const std::pair<const char*, const char*> given[] = {
        {"spielen", "F3"}, {"stop", "F2"}, {"zurueck", "F1"}, {"zeitmarke", "F4"}, {"wiederholen", "Shift+F1"},
        {"zeitsprung", "Shift+F4"}};
    for (const auto& [id, key] : given)
        Backend().Give(QLatin1String(id), QLatin1String(key));
    ASSERT_TRUE(settings.Focus(static_cast<unsigned long>(window->winId())));
    EXPECT_TRUE(media::WaitUntil([&] { return Notice().isEmpty(); }, 5000))
        << "the window still says: " << Notice().toStdString();
    EXPECT_EQ(Backend().binds, 1) << "coming back to the window asked the user again";
}

TEST_F(Remembers, ASecondStartWithTheKeysSettledAsksNothingAndShowsNoNotice)
{
    ASSERT_NE(BoundSession(), nullptr);
    media::Pump(300);
    ASSERT_EQ(Backend().binds, 1);
    Restart();
    ASSERT_TRUE(media::WaitUntil([&] { return Backend().Sessions().size() == 2; }, 5000));
    media::Pump(500);
    EXPECT_EQ(Backend().binds, 1) << "the second start asked the user again";
    EXPECT_TRUE(Notice().isEmpty()) << Notice().toStdString();
    Backend().Activate(Backend().Latest()->path, QStringLiteral("zurueck"));
    EXPECT_TRUE(media::WaitUntil([&] { return presses == QStringList{QStringLiteral("zurueck")}; }, 3000))
        << "a key listed from the earlier start does not reach the window";

    Open(media::Path(media::Wav()));
    window->Player().setCurrentPosition(9.0);
    Backend().Activate(Backend().Latest()->path, QStringLiteral("wiederholen"));
    ASSERT_TRUE(media::WaitUntil([&] { return window->Player().repeat().has_value(); }, 3000))
        << "Shift+F1 through the portal did not start a repeat";
    EXPECT_NEAR(window->Player().repeat()->to, 9.0, 0.05);
    Backend().Activate(Backend().Latest()->path, QStringLiteral("wiederholen"));
    EXPECT_TRUE(media::WaitUntil([&] { return !window->Player().repeat().has_value(); }, 3000))
        << "a second Shift+F1 did not end it";
}

class DesktopWithoutPortal : public PortalWindow {
protected:
    DesktopWithoutPortal() : PortalWindow(PortalDesktop::FrontEnd::Absent) {}
};

TEST_F(DesktopWithoutPortal, KeysAreGrabbedOnX11AndTheWindowSaysHowFarTheyReach)
{
    EXPECT_FALSE(platform->UsesPortal());
    ASSERT_TRUE(platform->HasX11());
    EXPECT_TRUE(Notice().contains(QStringLiteral("playerctl -p horchpult play"))) << Notice().toStdString();
    EXPECT_TRUE(Notice().contains(QStringLiteral("position 1-"))) << Notice().toStdString();

    xtest::XClient x;
    ASSERT_TRUE(x.IsUsable());
    ASSERT_TRUE(x.TakeFocus());
    x.Tap(XK_F3);
    EXPECT_TRUE(media::WaitUntil([&] { return presses == QStringList{QStringLiteral("spielen")}; }, 3000))
        << "F3 did not reach the window through its X11 grab";
}

TEST(PortalProgram, EndingTheProgramClosesItsSession)
{
    PortalDesktop portal;
    ASSERT_TRUE(portal.Failure().isEmpty()) << portal.Failure().toStdString();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), portal.Address());
    environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(qEnvironmentVariable("HORCHPULT_BINARY"), {});
    ASSERT_TRUE(program.waitForStarted(5000));

    auto& backend = portal.Backend();
    ASSERT_TRUE(media::WaitUntil([&] { return backend.Latest() != nullptr && backend.Latest()->bound.size() == testing_support::KeyCount; }, 15000))
        << "the program never bound its keys";
    EXPECT_FALSE(backend.Latest()->closed);
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(media::WaitUntil([&] { return program.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(media::WaitUntil([&] { return backend.Latest()->closed; }, 5000))
        << "the desktop still holds the program's keys after it ended";
}

} // namespace
