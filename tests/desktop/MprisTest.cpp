// The media-control service on a bus of the test's own, called the way a desktop calls it, with
// the window on a fake platform and a fake player behind it.
#include "PrivateBus.h"

#include "tests/window/WindowFixture.h"

#include "app/Messages.h"
#include "app/Mpris.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QTimer>

#include <memory>

namespace {

using testing_support::Calls;
using testing_support::Transport;

const QString Service = QStringLiteral("org.mpris.MediaPlayer2.horchpult");
const QString Path = QStringLiteral("/org/mpris/MediaPlayer2");
const QString Root = QStringLiteral("org.mpris.MediaPlayer2");
const QString Player = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString Properties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString NoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

// What the service announced, in order.
class Announcements : public QObject {
    Q_OBJECT
public:
    QList<QVariantMap> changes;
    QList<qlonglong> seeks;

    // The last value announced for a property of the player; invalid if none was.
    QVariant Last(const QString& property) const
    {
        for (auto change = changes.crbegin(); change != changes.crend(); ++change) {
            if (change->contains(property))
                return change->value(property);
        }
        return {};
    }
    void Clear()
    {
        changes.clear();
        seeks.clear();
    }

public slots:
    void PropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&)
    {
        if (interface == Player)
            changes.append(changed);
    }
    void Seeked(qlonglong position) { seeks.append(position); }
};

bool TouchedTheWindow(const std::vector<std::string>& log)
{
    return std::any_of(log.begin(), log.end(), [](const std::string& line) {
        return line.rfind("IsIconic", 0) == 0 || line.rfind("SendMessageA", 0) == 0;
    });
}

QVariantMap AsMap(const QVariant& value)
{
    return value.canConvert<QDBusArgument>() ? qdbus_cast<QVariantMap>(value.value<QDBusArgument>())
                                              : value.toMap();
}

class Mpris : public testing_support::WindowTest {
protected:
    Mpris()
    {
        service = std::make_unique<app::MprisService>(*window, lastResort, bus.Connect(QStringLiteral("service")));
        client.connect(Service, Path, Properties, QStringLiteral("PropertiesChanged"), &announced,
                       SLOT(PropertiesChanged(QString, QVariantMap, QStringList)));
        client.connect(Service, Path, Player, QStringLiteral("Seeked"), &announced, SLOT(Seeked(qlonglong)));
    }

    // Calls a method as a desktop does and returns the answer; the service runs meanwhile.
    QDBusMessage Call(const QString& interface, const QString& method, const QVariantList& arguments = {})
    {
        QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, interface, method);
        call.setArguments(arguments);
        // Not QDBus::BlockWithGui: Qt 6.4 misses an answer that arrives just as its loop starts, and
        // then waits for good.
        QDBusPendingCallWatcher answer(client.asyncCall(call, 5000));
        QEventLoop loop;
        QObject::connect(&answer, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        if (!answer.isFinished())
            loop.exec();
        // Whatever the service sent after its answer arrives before the answer to this, which
        // libdbus gives without this thread.
        client.call(QDBusMessage::createMethodCall(Service, Path, QStringLiteral("org.freedesktop.DBus.Peer"),
                                                   QStringLiteral("Ping")),
                    QDBus::Block, 5000);
        QCoreApplication::processEvents();
        return answer.reply();
    }
    void Command(const char* method, const QVariantList& arguments = {})
    {
        const QDBusMessage answer = Call(Player, QString::fromLatin1(method), arguments);
        EXPECT_EQ(answer.type(), QDBusMessage::ReplyMessage) << method << ": " << answer.errorMessage().toStdString();
    }
    QVariant Get(const QString& interface, const char* property)
    {
        const QDBusMessage answer = Call(Properties, QStringLiteral("Get"), {interface, QString::fromLatin1(property)});
        if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty()) {
            ADD_FAILURE() << "Get " << property << ": " << answer.errorMessage().toStdString();
            return {};
        }
        return answer.arguments().constFirst().value<QDBusVariant>().variant();
    }
    QString Status() { return Get(Player, "PlaybackStatus").toString(); }
    QVariantMap Metadata() { return AsMap(Get(Player, "Metadata")); }
    QString TrackId() { return Metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(); }

    testing_support::PrivateBus bus;
    QDBusConnection client = bus.Connect(QStringLiteral("client"));
    Announcements announced;
    std::unique_ptr<app::MprisService> service;
};

TEST_F(Mpris, TakesItsNameAndTellsWhatItIsAndCanDoBeforeAMediumIsOpen)
{
    ASSERT_FALSE(bus.Address().isEmpty()) << "no dbus-daemon";
    ASSERT_TRUE(service->Registered());
    EXPECT_TRUE(client.interface()->isServiceRegistered(Service).value());

    EXPECT_EQ(Get(Root, "Identity").toString(), QStringLiteral("Horchpult"));
    EXPECT_EQ(Get(Root, "DesktopEntry").toString(), QStringLiteral("org.horchpult.horchpult"));
    EXPECT_TRUE(Get(Root, "CanQuit").toBool());
    EXPECT_TRUE(Get(Root, "CanRaise").toBool());
    EXPECT_FALSE(Get(Root, "HasTrackList").toBool());
    EXPECT_EQ(Get(Root, "SupportedUriSchemes").toStringList(), QStringList{QStringLiteral("file")});
    const QStringList types = Get(Root, "SupportedMimeTypes").toStringList();
    EXPECT_TRUE(types.contains(QStringLiteral("audio/mpeg")) && types.contains(QStringLiteral("video/mp4")))
        << types.join(u' ').toStdString();

    EXPECT_EQ(Status(), QStringLiteral("Stopped"));
    EXPECT_EQ(TrackId(), NoTrack);
    EXPECT_EQ(Get(Player, "Position").toLongLong(), 0);
    EXPECT_EQ(Get(Player, "Rate").toDouble(), 1.0);
    EXPECT_EQ(Get(Player, "MinimumRate").toDouble(), -9 * 0.1 + 1.0);
    EXPECT_EQ(Get(Player, "MaximumRate").toDouble(), 9 * 0.1 + 1.0);
    for (const char* never : {"CanGoNext", "CanGoPrevious", "CanPlay", "CanPause", "CanSeek"})
        EXPECT_FALSE(Get(Player, never).toBool()) << never;
    EXPECT_TRUE(Get(Player, "CanControl").toBool());

    const QDBusMessage setRate = Call(Properties, QStringLiteral("Set"),
                                      {Player, QStringLiteral("Rate"), QVariant::fromValue(QDBusVariant(1.5))});
    EXPECT_EQ(setRate.type(), QDBusMessage::ErrorMessage) << "the speed step is the window's own";
    EXPECT_EQ(Box("speed").text(), QStringLiteral("0"));

    app::MprisService second(*window, lastResort, bus.Connect(QStringLiteral("second")));
    EXPECT_FALSE(second.Registered()) << "a second service took the name";
    EXPECT_TRUE(service->Registered());
}

TEST_F(Mpris, CommandsDoNothingBeforeAMediumIsLoaded)
{
    Command("Play");
    Command("Pause");
    Command("PlayPause");
    Command("Stop");
    Command("Seek", {qlonglong{3'000'000}});
    Command("SetPosition", {QVariant::fromValue(QDBusObjectPath(NoTrack)), qlonglong{0}});
    Command("Next");
    Command("Previous");
    EXPECT_TRUE(wm1->calls.isEmpty()) << wm1->calls.join(u',').toStdString();
    EXPECT_TRUE(desktop.messages.isEmpty());
    EXPECT_EQ(Interval(), 0);
    EXPECT_EQ(Status(), QStringLiteral("Stopped"));
    EXPECT_TRUE(announced.seeks.isEmpty());
}

TEST_F(Mpris, PlayRunsTheStepsOfF3AndLeavesTheWindowWhereItIs)
{
    Open();
    for (int i = 0; i < 5; ++i)
        Click("plus");
    wm1->calls.clear();
    desktop.log.clear();
    desktop.iconic = true;

    Command("Play");
    const QStringList played = wm1->calls;
    EXPECT_EQ(played.mid(0, 3), Calls({"pause", "rate 1.5", "play"}));
    EXPECT_EQ(Interval(), 200);
    EXPECT_EQ(Status(), QStringLiteral("Playing"));
    EXPECT_EQ(Get(Player, "Rate").toDouble(), 1.5);
    EXPECT_FALSE(TouchedTheWindow(desktop.log)) << "the minimized window was touched";
    EXPECT_TRUE(announced.seeks.isEmpty()) << "playing on is no jump";

    wm1->state = player::MediaPlayer::Ready;
    wm1->calls.clear();
    Press(QStringLiteral("spielen"));
    EXPECT_EQ(played, wm1->calls) << "F3 and Play differ";
}

TEST_F(Mpris, PauseRunsTheStepsOfF2WithAutoRewindAndAnnouncesTheJump)
{
    Open();
    Control<QCheckBox>("Check1").setChecked(true);
    wm1->state = player::MediaPlayer::Playing;
    wm1->position = 10.4;
    wm1->calls.clear();
    announced.Clear();

    Command("Pause");
    const QStringList paused = wm1->calls;
    EXPECT_EQ(Transport(paused), Calls({"pause", "position 8.4000000000000004"}));
    EXPECT_EQ(Interval(), 0);
    EXPECT_EQ(Status(), QStringLiteral("Paused"));
    EXPECT_EQ(announced.Last(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Paused"));
    EXPECT_EQ(announced.seeks, QList<qlonglong>{8'400'000});
    EXPECT_EQ(Get(Player, "Position").toLongLong(), 8'400'000);

    wm1->state = player::MediaPlayer::Playing;
    wm1->position = 10.4;
    wm1->calls.clear();
    Press(QStringLiteral("stop"));
    EXPECT_EQ(paused, wm1->calls) << "F2 and Pause differ";
}

TEST_F(Mpris, PlayPauseTogglesAndStopWaitsAtTheStart)
{
    Open();
    Command("PlayPause");
    EXPECT_EQ(Status(), QStringLiteral("Playing"));
    wm1->position = 5;
    Command("PlayPause");
    EXPECT_EQ(Status(), QStringLiteral("Paused"));
    EXPECT_EQ(wm1->position, 5) << "auto-rewind is off";

    Command("PlayPause");
    wm1->calls.clear();
    announced.Clear();
    Command("Stop");
    EXPECT_EQ(Transport(wm1->calls), Calls({"pause", "position 0"}));
    EXPECT_EQ(Status(), QStringLiteral("Stopped"));
    EXPECT_EQ(announced.Last(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
    EXPECT_EQ(announced.seeks, QList<qlonglong>{0});
    EXPECT_EQ(Interval(), 0);

    Command("Play");
    EXPECT_EQ(Status(), QStringLiteral("Playing"));
    EXPECT_EQ(wm1->position, 0);
}

TEST_F(Mpris, SeekAndSetPositionRunTheWindowsSeekSequence)
{
    Open();
    wm1->length = 60;
    wm1->state = player::MediaPlayer::Playing;
    wm1->position = 5;
    wm1->calls.clear();

    Command("Seek", {qlonglong{3'000'000}});
    EXPECT_EQ(Transport(wm1->calls), Calls({"pause", "position 8", "play"}));
    EXPECT_EQ(Interval(), 200);
    Command("Seek", {qlonglong{-20'000'000}});
    EXPECT_EQ(wm1->position, 0) << "a seek before the start goes to the start";
    EXPECT_EQ(announced.seeks, (QList<qlonglong>{8'000'000, 0}));

    wm1->state = player::MediaPlayer::Paused;
    wm1->calls.clear();
    Command("Seek", {qlonglong{2'500'000}});
    EXPECT_EQ(Transport(wm1->calls), Calls({"position 2.5"})) << "a paused medium stays paused";
    EXPECT_EQ(Interval(), 0);

    const QString track = TrackId();
    wm1->calls.clear();
    Command("SetPosition", {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/horchpult/Track/999"))),
                            qlonglong{1'000'000}});
    Command("SetPosition", {QVariant::fromValue(QDBusObjectPath(track)), qlonglong{61'000'000}});
    Command("SetPosition", {QVariant::fromValue(QDBusObjectPath(track)), qlonglong{-1}});
    EXPECT_TRUE(wm1->calls.isEmpty()) << "another track, past the end, before the start: "
                                      << wm1->calls.join(u',').toStdString();
    Command("SetPosition", {QVariant::fromValue(QDBusObjectPath(track)), qlonglong{30'250'000}});
    EXPECT_EQ(Transport(wm1->calls), Calls({"position 30.25"}));

    wm1->failing = QStringLiteral("position");
    Command("Seek", {qlonglong{1'000'000}});
    Command("SetPosition", {QVariant::fromValue(QDBusObjectPath(track)), qlonglong{1'000'000}});
    EXPECT_EQ(desktop.messages, (QStringList{app::PlaybackFailed, app::JumpFailed}))
        << "Seek fails like >>, SetPosition like goto";
    EXPECT_TRUE(fatal.isEmpty());
}

TEST_F(Mpris, MetadataPositionAndRateFollowTheWindow)
{
    wm1->length = 754.5;
    Open(QStringLiteral("/media/Interview 3.mp3"));
    wm1->position = 12.25;
    QVariantMap metadata = Metadata();
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Interview 3.mp3"));
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:url")).toString(), QStringLiteral("file:///media/Interview%203.mp3"));
    EXPECT_EQ(metadata.value(QStringLiteral("mpris:length")).toLongLong(), 754'500'000);
    const QString first = TrackId();
    EXPECT_TRUE(first.startsWith(QStringLiteral("/org/horchpult/Track/"))) << first.toStdString();
    EXPECT_EQ(Get(Player, "Position").toLongLong(), 12'250'000);
    for (const char* can : {"CanPlay", "CanPause", "CanSeek"})
        EXPECT_TRUE(Get(Player, can).toBool()) << can;
    EXPECT_EQ(Status(), QStringLiteral("Paused")) << "an opened medium waits where it is";
    EXPECT_EQ(AsMap(announced.Last(QStringLiteral("Metadata"))).value(QStringLiteral("xesam:title")).toString(),
              QStringLiteral("Interview 3.mp3"));

    Click("minus");
    Call(Properties, QStringLiteral("Get"), {Player, QStringLiteral("Rate")});
    EXPECT_EQ(announced.Last(QStringLiteral("Rate")).toDouble(), -1 * 0.1 + 1.0) << "a new speed step is announced";

    wm1->length = 0;
    Open(QStringLiteral("/media/second.wav"));
    metadata = Metadata();
    EXPECT_NE(TrackId(), first) << "another medium, another track";
    EXPECT_FALSE(metadata.contains(QStringLiteral("mpris:length"))) << "an unknown length is left out";

    wm1->failing = QStringLiteral("url");
    desktop.files.push_back(QStringLiteral("/media/refused.mp3"));
    Menu("neu");
    EXPECT_EQ(TrackId(), NoTrack);
    EXPECT_FALSE(Get(Player, "CanPlay").toBool());
    EXPECT_EQ(announced.Last(QStringLiteral("CanPlay")), QVariant(false));
}

TEST_F(Mpris, ThePlayersOwnStateChangesAreAnnounced)
{
    Open();
    announced.Clear();
    Press(QStringLiteral("spielen"));
    Call(Properties, QStringLiteral("Get"), {Player, QStringLiteral("PlaybackStatus")});
    EXPECT_EQ(announced.Last(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Playing"));
    wm1->pause(); // the player's own button
    Call(Properties, QStringLiteral("Get"), {Player, QStringLiteral("PlaybackStatus")});
    EXPECT_EQ(announced.Last(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Paused"));
    EXPECT_EQ(announced.changes.size(), 2) << "only what changed is announced";
}

TEST_F(Mpris, AFailingCommandAnswersTheCallerAndShowsTheWindowsMessage)
{
    Open();
    wm1->failing = QStringLiteral("play");
    Command("Play");
    EXPECT_EQ(desktop.messages, QStringList{app::PlaybackFailed});
    EXPECT_TRUE(fatal.isEmpty());
    EXPECT_FALSE(lastResort.Failed());
}

TEST_F(Mpris, AFailureNoCommandTrapsEndsInTheLastResort)
{
    Open();
    wm1->failing = QStringLiteral("getPosition");
    // The last resort ends the event loop, so the answer may never be waited for.
    Call(Properties, QStringLiteral("Get"), {Player, QStringLiteral("Position")});
    ASSERT_EQ(fatal.size(), 1) << "the failure escaped or vanished";
    EXPECT_TRUE(fatal.constFirst().contains(QStringLiteral("getPosition refused"))) << fatal.constFirst().toStdString();
    EXPECT_TRUE(lastResort.Failed());

    // The last resort asked the event loop to end; the next test in this process needs one.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

TEST_F(Mpris, RaiseRestoresTheWindowAndQuitClosesIt)
{
    desktop.iconic = true;
    Call(Root, QStringLiteral("Raise"));
    const std::vector<std::string> effects = desktop.Effects();
    EXPECT_NE(std::find(effects.begin(), effects.end(),
                        "SendMessageA " + std::to_string(window->Handle()) + " 274 61728 0"),
              effects.end()) << "the minimized window was not restored";

    window->show();
    Call(Root, QStringLiteral("Quit"));
    EXPECT_FALSE(window->isVisible());
}

using NoBus = testing_support::WindowTest;

TEST_F(NoBus, WithoutABusNothingIsRegisteredAndTheWindowWorksAsBefore)
{
    app::MprisService service(*window, lastResort,
                              QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                            QStringLiteral("nowhere")));
    EXPECT_FALSE(service.Registered());
    Open();
    Press(QStringLiteral("spielen"));
    QCoreApplication::processEvents();
    EXPECT_EQ(wm1->state, player::MediaPlayer::Playing);
    EXPECT_TRUE(desktop.messages.isEmpty());
    EXPECT_TRUE(fatal.isEmpty());
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}

} // namespace

#include "MprisTest.moc"
