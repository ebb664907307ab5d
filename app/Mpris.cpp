#include "Mpris.h"

#include "Speed.h"
#include "frm1.h"

#include "platform/LastResort.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <cmath>

namespace app {

namespace {

const QString PlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString NoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
const QString TrackPrefix = QStringLiteral("/org/horchpult/Track/");
constexpr double MicrosecondsPerSecond = 1e6;

qlonglong Microseconds(double seconds)
{
    return std::llround(seconds * MicrosecondsPerSecond);
}

QStringList OpenedTypes()
{
    return QString::fromLatin1(HORCHPULT_MIME_TYPES).split(u',', Qt::SkipEmptyParts);
}

} // namespace

template <class T, class F>
T MprisService::Read(F read) const
{
    T value{};
    m_lastResort.Run([&] { value = read(); });
    return value;
}

class MprisRoot final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    explicit MprisRoot(MprisService& service) : QDBusAbstractAdaptor(&service), m_service(service) {}

    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Horchpult"); }
    QString DesktopEntry() const { return QStringLiteral("org.horchpult.horchpult"); }
    QStringList SupportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList SupportedMimeTypes() const { return OpenedTypes(); }

public slots:
    void Raise()
    {
        m_service.Command([this] {
            frm1& window = m_service.m_window;
            window.HotKeys()->RestoreAndActivate(window.Handle());
            window.raise();
            window.activateWindow();
        }, MprisService::Playback::GoesOn);
    }
    void Quit()
    {
        m_service.Command([this] { m_service.m_window.close(); }, MprisService::Playback::GoesOn);
    }

private:
    MprisService& m_service;
};

class MprisPlayer final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate)
    Q_PROPERTY(double MinimumRate READ MinimumRate)
    Q_PROPERTY(double MaximumRate READ MaximumRate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    explicit MprisPlayer(MprisService& service) : QDBusAbstractAdaptor(&service), m_service(service) {}

    QString PlaybackStatus() const
    {
        return m_service.Read<QString>([this] { return m_service.PlaybackStatus(); });
    }
    double Rate() const
    {
        return m_service.Read<double>([this] { return m_service.m_window.PlaybackRate(); });
    }
    double MinimumRate() const { return RateOfStep(SlowestStep); }
    double MaximumRate() const { return RateOfStep(FastestStep); }
    QVariantMap Metadata() const
    {
        return m_service.Read<QVariantMap>([this] { return m_service.Metadata(); });
    }
    qlonglong Position() const
    {
        return m_service.Read<qlonglong>([this] { return m_service.Position(); });
    }
    // One medium at a time: there is no list to go through.
    bool CanGoNext() const { return false; }
    bool CanGoPrevious() const { return false; }
    bool CanPlay() const { return Loaded(); }
    bool CanPause() const { return Loaded(); }
    bool CanSeek() const { return Loaded(); }
    bool CanControl() const { return true; }

public slots:
    void Next() {}
    void Previous() {}
    void Play()
    {
        m_service.Command([this] { m_service.m_window.PlayCommand(); }, MprisService::Playback::GoesOn);
    }
    void Pause()
    {
        m_service.Command([this] { m_service.m_window.PauseCommand(); });
    }
    void PlayPause()
    {
        const bool playing = m_service.Read<bool>(
            [this] { return m_service.m_window.Player().playState() == player::MediaPlayer::Playing; });
        m_service.Command([this, playing] {
            if (playing)
                m_service.m_window.PauseCommand();
            else
                m_service.m_window.PlayCommand();
        }, playing ? MprisService::Playback::MayJump : MprisService::Playback::GoesOn);
    }
    void Stop()
    {
        m_service.Command([this] {
            if (!m_service.Loaded())
                return;
            m_service.m_window.PauseCommand();
            m_service.m_window.SeekToCommand(0);
            m_service.m_stopped = true;
        });
    }
    void Seek(qlonglong Offset)
    {
        m_service.Command([this, Offset] { m_service.m_window.SeekByCommand(Offset / MicrosecondsPerSecond); });
    }
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position)
    {
        m_service.Command([this, TrackId, Position] {
            if (!m_service.Loaded() || TrackId.path() != m_service.TrackId() || Position < 0)
                return;
            const double length = m_service.m_window.Player().duration();
            if (length > 0 && Position > Microseconds(length))
                return;
            m_service.m_window.SeekToCommand(Position / MicrosecondsPerSecond);
        });
    }

signals:
    void Seeked(qlonglong Position);

private:
    bool Loaded() const
    {
        return m_service.Read<bool>([this] { return m_service.Loaded(); });
    }

    MprisService& m_service;
};

MprisService::MprisService(frm1& window, platform::LastResort& lastResort, QDBusConnection bus)
    : m_window(window), m_lastResort(lastResort), m_bus(std::move(bus))
{
    new MprisRoot(*this);
    m_player = new MprisPlayer(*this);
    m_announced = Announced();

    m_playStateChange = m_window.Player().PlayStateChange.connect([this](std::int32_t NewState) {
        if (NewState != player::MediaPlayer::Paused && NewState != player::MediaPlayer::Ready)
            m_stopped = false;
        ScheduleRefresh();
    });
    connect(&m_window, &frm1::StatusChanged, this, &MprisService::ScheduleRefresh);

    if (!m_bus.isConnected())
        return;
    m_registered = m_bus.registerObject(QString::fromLatin1(ObjectPath), this)
                   && m_bus.registerService(QString::fromLatin1(ServiceName));
    if (!m_registered)
        m_bus.unregisterObject(QString::fromLatin1(ObjectPath));
}

MprisService::~MprisService()
{
    m_playStateChange.disconnect();
    if (!m_registered)
        return;
    m_bus.unregisterService(QString::fromLatin1(ServiceName));
    m_bus.unregisterObject(QString::fromLatin1(ObjectPath));
}

void MprisService::Command(const std::function<void()>& steps, Playback playback)
{
    if (calledFromDBus()) {
        setDelayedReply(true);
        connection().send(message().createReply());
    }
    m_lastResort.Run([&] {
        const qlonglong before = Position();
        steps();
        const qlonglong after = Position();
        if (playback == Playback::MayJump && after != before)
            emit m_player->Seeked(after);
        Refresh();
    });
}

bool MprisService::Loaded() const
{
    return m_window.Geladen() == frm1::True;
}

QString MprisService::TrackId() const
{
    if (m_window.Media() != m_trackMedia) {
        m_trackMedia = m_window.Media();
        ++m_track;
    }
    return TrackPrefix + QString::number(m_track);
}

QString MprisService::PlaybackStatus() const
{
    if (!Loaded())
        return QStringLiteral("Stopped");
    switch (m_window.Player().playState()) {
    case player::MediaPlayer::Playing:
        return QStringLiteral("Playing");
    // A medium opened and not yet started plays from where it waits, as a paused one does.
    case player::MediaPlayer::Paused:
    case player::MediaPlayer::Ready:
        return m_stopped ? QStringLiteral("Stopped") : QStringLiteral("Paused");
    default:
        return QStringLiteral("Stopped");
    }
}

QVariantMap MprisService::Metadata() const
{
    if (!Loaded())
        return {{QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(NoTrack))}};
    const QString& media = m_window.Media();
    QVariantMap metadata{
        {QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(TrackId()))},
        {QStringLiteral("xesam:title"), QFileInfo(media).fileName()},
        {QStringLiteral("xesam:url"), QUrl::fromLocalFile(media).toString(QUrl::FullyEncoded)},
    };
    const double length = m_window.Player().duration();
    if (length > 0)
        metadata.insert(QStringLiteral("mpris:length"), Microseconds(length));
    return metadata;
}

qlonglong MprisService::Position() const
{
    return Loaded() ? Microseconds(m_window.Player().currentPosition()) : 0;
}

QVariantMap MprisService::Announced() const
{
    const bool loaded = Loaded();
    return {
        {QStringLiteral("PlaybackStatus"), PlaybackStatus()},
        {QStringLiteral("Rate"), m_window.PlaybackRate()},
        {QStringLiteral("Metadata"), Metadata()},
        {QStringLiteral("CanPlay"), loaded},
        {QStringLiteral("CanPause"), loaded},
        {QStringLiteral("CanSeek"), loaded},
    };
}

void MprisService::ScheduleRefresh()
{
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QMetaObject::invokeMethod(this, [this] {
        m_refreshPending = false;
        m_lastResort.Run([this] { Refresh(); });
    }, Qt::QueuedConnection);
}

void MprisService::Refresh()
{
    const QVariantMap now = Announced();
    QVariantMap changed;
    for (auto value = now.cbegin(); value != now.cend(); ++value) {
        if (m_announced.value(value.key()) != value.value())
            changed.insert(value.key(), value.value());
    }
    m_announced = now;
    if (changed.isEmpty() || !m_registered)
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(ObjectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << PlayerInterface << changed << QStringList();
    m_bus.send(signal);
}

} // namespace app

#include "Mpris.moc"
