#include "MpvPlayer.h"

#include "MpvCore.h"
#include "MpvLibrary.h"
#include "MpvProperties.h"
#include "MpvVideo.h"
#include "PedalSymbol.h"
#include "PlayerErrors.h"
#include "SoundChain.h"
#include "SoundOutput.h"

#include "platform/LastResort.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLabel>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>

namespace player {

namespace {

namespace property = mpv::property;

constexpr double InitialVolume = 50;
constexpr int MaximumVolume = 100;
// mpv's own limits for the speed.
constexpr double MinimumRate = 0.01;
constexpr double MaximumRate = 100;
// Local files open in milliseconds and most refusals are known as fast, but some broken files
// keep mpv busy for seconds (a WAV followed by gigabytes of zeros is scanned to its end), and the
// window waits for the outcome: it gives up before the user would think it hung.
constexpr int OpenTimeoutMs = 1800;
constexpr int RefreshIntervalMs = 200;
// The seek bar counts milliseconds; keys and clicks beside the handle move it by these.
constexpr int SeekStepMs = 1000;
constexpr int SeekPageMs = 10000;

// Geometry of the control bar, in device-independent pixels.
constexpr int BarHeight = 28;
constexpr int SeekBarMinimumWidth = 40;
constexpr int VolumeWidth = 70;
constexpr int TimeMargin = 6;

int milliseconds(double seconds)
{
    return static_cast<int>(std::lround(std::clamp(seconds, 0.0, 1e6) * 1000));
}

QString clockText(double seconds, bool withHours)
{
    const long total = std::lround(std::floor(std::max(seconds, 0.0)));
    const QChar zero(u'0');
    if (withHours)
        return QStringLiteral("%1:%2:%3").arg(total / 3600).arg(total / 60 % 60, 2, 10, zero).arg(total % 60, 2, 10, zero);
    return QStringLiteral("%1:%2").arg(total / 60).arg(total % 60, 2, 10, zero);
}

QString endReason(const MpvEvent& end)
{
    switch (end.endReason) {
    case MPV_END_FILE_REASON_ERROR:
        return QString::fromUtf8(Mpv().error_string(end.endError));
    case MPV_END_FILE_REASON_REDIRECT:
        return QStringLiteral("it refers to other files");
    default:
        return QStringLiteral("it was closed while opening");
    }
}

} // namespace

MpvPlayer::MpvPlayer(platform::LastResort& lastResort, QWidget* parent)
    : QWidget(parent), m_lastResort(lastResort),
      m_soundOutput(new SoundOutput(lastResort, [this] { reopenSoundOutput(); }, this))
{
    buildControls();
    buildMenu();
    connectControls();
    refreshControls();
}

MpvPlayer::~MpvPlayer()
{
    if (m_core)
        m_core->setEventHandler({});
}

MpvCore& MpvPlayer::engine()
{
    if (!m_core) {
        auto core = std::make_shared<MpvCore>();
        core->setDouble(property::Volume, m_volume->value());
        core->setFlag(property::Mute, m_mute->isChecked());
        core->setDouble(property::Speed, m_rate);
        core->observeFlag(property::EofReached);
        core->observeString(property::CurrentAo);
        core->setEventHandler([this](const MpvEvent& event) { m_lastResort.Run([&] { onEvent(event); }); });
        m_video->attach(core);
        m_core = std::move(core);
        m_sound->attach([this](const QByteArray& filters) { m_core->setString(property::AudioFilters, filters); });
    }
    return *m_core;
}

void MpvPlayer::paintEvent(QPaintEvent*)
{
    // Loading libmpv takes a few hundred milliseconds: it is done once the window is on the
    // screen, before the user can ask for a file.
    if (m_core || m_engineRequested)
        return;
    m_engineRequested = true;
    QTimer::singleShot(0, this, m_lastResort.Guard([this] { engine(); }));
}

void MpvPlayer::buildControls()
{
    m_video = new MpvVideo(this);
    m_video->setObjectName(QStringLiteral("playerPicture"));

    const auto button = [this](const QString& name, const QString& text, QStyle::StandardPixmap icon) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        showAs(*b, icon, text);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::TabFocus);
        return b;
    };
    const auto slider = [this](const QString& name, const QString& text) {
        auto* s = new QSlider(Qt::Horizontal, this);
        s->setObjectName(name);
        s->setAccessibleName(text);
        s->setToolTip(text);
        s->setFocusPolicy(Qt::TabFocus);
        return s;
    };
    m_playPause = button(QStringLiteral("playerPlayPause"), QStringLiteral("Wiedergabe"), QStyle::SP_MediaPlay);
    m_stop = button(QStringLiteral("playerStop"), QStringLiteral("Stopp"), QStyle::SP_MediaStop);
    m_seekBar = slider(QStringLiteral("playerSeekBar"), QStringLiteral("Position"));
    m_seekBar->setSingleStep(SeekStepMs);
    m_seekBar->setPageStep(SeekPageMs);
    m_time = new QLabel(this);
    m_time->setObjectName(QStringLiteral("playerTime"));
    m_time->setAccessibleName(QStringLiteral("Zeit"));
    m_time->setAlignment(Qt::AlignCenter);
    m_mute = button(QStringLiteral("playerMute"), QStringLiteral("Ton aus"), QStyle::SP_MediaVolume);
    m_mute->setCheckable(true);
    m_volume = slider(QStringLiteral("playerVolume"), QStringLiteral("Lautstärke"));
    m_volume->setRange(0, MaximumVolume);
    m_volume->setValue(static_cast<int>(InitialVolume));
    m_pedal = new QLabel(this);
    m_pedal->setObjectName(QStringLiteral("playerPedal"));
    m_pedal->setAccessibleName(QStringLiteral("Fußpedal"));
    m_pedal->setAlignment(Qt::AlignCenter);
    m_pedal->hide();
    m_refresh = new QTimer(this);
    m_refresh->setInterval(RefreshIntervalMs);
}

void MpvPlayer::showPedal(const QString& models)
{
    const QString description = models.isEmpty() ? QString() : QStringLiteral("Fußpedal: %1").arg(models);
    m_pedal->setToolTip(description);
    m_pedal->setAccessibleDescription(description);
    layoutControls();
}

void MpvPlayer::connectControls()
{
    const auto guarded = [this](auto work) { return m_lastResort.Guard(std::move(work)); };
    connect(m_playPause, &QToolButton::clicked, this, guarded([this] { togglePlay(); }));
    connect(m_stop, &QToolButton::clicked, this, guarded([this] { stop(); }));
    // Clicks, keys, the wheel and dragging all come as actions; the refresh's setValue does not.
    connect(m_seekBar, &QSlider::actionTriggered, this,
            guarded([this] {
                endRepeat();
                setCurrentPosition(m_seekBar->sliderPosition() / 1000.0);
            }));
    connect(m_volume, &QSlider::valueChanged, this,
            guarded([this] { engine().setDouble(property::Volume, m_volume->value()); }));
    connect(m_mute, &QToolButton::toggled, this, guarded([this] {
                engine().setFlag(property::Mute, m_mute->isChecked());
                showSound();
            }));
    connect(m_refresh, &QTimer::timeout, this, guarded([this] { refreshControls(); }));
}

void MpvPlayer::resizeEvent(QResizeEvent*)
{
    layoutControls();
}

void MpvPlayer::layoutControls()
{
    const int w = width();
    const int bar = std::min(height(), BarHeight);
    const int top = height() - bar;
    m_video->setGeometry(0, 0, w, std::max(top, 0));

    struct Slot {
        QWidget* widget;
        int width;
        bool shown = false;
    };
    const bool timeReadable = bar >= m_time->fontMetrics().height();
    // In the order they give way when the bar gets short: the last first.
    Slot items[] = {
        {m_playPause, bar}, {m_seekBar, SeekBarMinimumWidth}, {m_stop, bar},
        {m_mute, bar},      {m_time, m_timeWidth},            {m_volume, VolumeWidth},
        {m_pedal, bar},
    };
    const bool pedalPlugged = !m_pedal->toolTip().isEmpty();
    int used = 0;
    for (Slot& slot : items) {
        slot.shown = used + slot.width <= w && (slot.widget != m_time || timeReadable)
                     && (slot.widget != m_pedal || pedalPlugged);
        if (slot.shown)
            used += slot.width;
    }
    Slot& play = items[0];
    if (!play.shown) {
        play.shown = true;
        play.width = w;
    }
    Slot& seek = items[1];
    if (seek.shown)
        seek.width += w - used;

    const int icon = std::max(1, bar - std::min(8, bar / 3));
    for (QToolButton* b : {m_playPause, m_stop, m_mute})
        b->setIconSize(QSize(icon, icon));
    m_pedal->setPixmap(PedalSymbol(icon, devicePixelRatioF(), palette().color(QPalette::WindowText)));

    int x = 0;
    for (const int index : {0, 2, 1, 4, 3, 5, 6}) {
        const Slot& slot = items[index];
        slot.widget->setVisible(slot.shown);
        if (!slot.shown)
            continue;
        slot.widget->setGeometry(x, top, slot.width, bar);
        x += slot.width;
    }
}

void MpvPlayer::refreshControls()
{
    const bool open = m_entry != 0 && !m_opening;
    for (QWidget* control : {static_cast<QWidget*>(m_playPause), static_cast<QWidget*>(m_stop),
                             static_cast<QWidget*>(m_seekBar)})
        control->setEnabled(open);

    const bool playing = m_playState == Playing;
    showAs(*m_playPause, playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay,
           playing ? QStringLiteral("Pause") : QStringLiteral("Wiedergabe"));
    if (playing)
        m_refresh->start();
    else
        m_refresh->stop();
    showSound();
    refreshMenu();

    const double total = open ? duration() : 0;
    const double now = open ? currentPosition() : 0;
    m_seekBar->setRange(0, milliseconds(total));
    if (!m_seekBar->isSliderDown())
        m_seekBar->setValue(milliseconds(now));

    const bool hours = total >= 3600;
    m_time->setText(clockText(now, hours) + QStringLiteral(" / ") + clockText(total, hours));
    // Digits share one width in practice, so the label only grows when the format does.
    QString widest = m_time->text();
    std::replace_if(widest.begin(), widest.end(), [](QChar c) { return c.isDigit(); }, QChar(u'0'));
    const int timeWidth = m_time->fontMetrics().horizontalAdvance(widest) + 2 * TimeMargin;
    if (timeWidth != m_timeWidth) {
        m_timeWidth = timeWidth;
        layoutControls();
    }
}

void MpvPlayer::showAs(QToolButton& button, QStyle::StandardPixmap icon, const QString& name)
{
    // The refresh runs five times a second while playing; every new icon would leave another
    // scaled copy in Qt's pixmap cache.
    if (button.accessibleName() == name && !button.icon().isNull())
        return;
    button.setIcon(style()->standardIcon(icon));
    button.setAccessibleName(name);
    button.setToolTip(name);
}

void MpvPlayer::setRate(double rate)
{
    if (!std::isfinite(rate) || rate < MinimumRate || rate > MaximumRate)
        throw MakePlayerError(PlayerError::InvalidRate, QStringLiteral("Invalid rate: %1").arg(rate));
    if (rate == m_rate)
        return;
    const bool open = m_entry != 0 && !m_opening;
    const double at = open ? currentPosition() : 0;
    // The pitch-keeping speed joins the chain before the speed leaves 1.0, and leaves it once the
    // speed is back: mpv would put in its own, which goes silent below 0.25.
    if (rate != 1.0)
        m_sound->setRate(rate);
    if (m_core)
        m_core->setDouble(property::Speed, rate);
    m_sound->setRate(rate);
    m_rate = rate;
    if (open && m_playState != MediaEnded) {
        // mpv first plays out the few tenths of a second of sound it has made at the old speed
        // (and reports the position off by as much); going back to the position just heard
        // makes the new speed start at once.
        seekTo(at);
        refreshControls();
    }
}

void MpvPlayer::setURL(const QString& url)
{
    const QDeadlineTimer deadline(OpenTimeoutMs);
    const QUrl asUrl(url);
    QString path = url;
    if (asUrl.isLocalFile())
        path = asUrl.toLocalFile();
    else if (!asUrl.scheme().isEmpty() && url.contains(QStringLiteral("://")))
        refuse(url, QStringLiteral("only local files can be played"));

    const QFileInfo file(path);
    if (path.isEmpty() || !file.exists())
        refuse(url, QStringLiteral("the file does not exist"));
    if (file.isDir())
        refuse(url, QStringLiteral("it is a folder"));
    if (!file.isFile())
        refuse(url, QStringLiteral("it is not a file"));
    if (!file.isReadable())
        refuse(url, QStringLiteral("it cannot be read"));

    endRepeat();
    engine().setFlag(property::Pause, !m_autoStart);
    m_sound->setChannelCount(0);
    m_heldPosition.reset();
    m_seek = Seek::None;
    // Not emplace(): clang 14 finds Opening not default-constructible while MpvPlayer is open.
    m_opening = Opening{};
    try {
        m_entry = m_core->loadFile(file.absoluteFilePath());
    } catch (...) {
        m_opening.reset();
        throw;
    }
    refreshControls();

    while (!m_opening->loaded && !m_opening->failure) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            refuse(url, QStringLiteral("it did not open in %1 seconds").arg(OpenTimeoutMs / 1000.0));
        m_core->dispatchNextEvent(static_cast<double>(left) / 1000.0);
    }
    if (m_opening->failure)
        refuse(url, *m_opening->failure);
    if (!hasTrack(mpv::track::Audio) && !hasTrack(mpv::track::Video))
        refuse(url, QStringLiteral("it has neither sound nor moving pictures"));

    m_opening.reset();
    m_url = url;
    m_sound->setChannelCount(soundChannels());
    // A local file's length does not change; asking mpv each time would wait for its core.
    m_duration = m_core->getDouble(property::Duration).value_or(0);
    // mpv reports a few milliseconds in before anything was played.
    if (!m_autoStart)
        m_heldPosition = 0.0;
    setState(m_autoStart ? Playing : Ready);
}

void MpvPlayer::showSound()
{
    const bool open = m_entry != 0 && !m_opening;
    if (m_core)
        m_soundOutput->follow(open, *m_core);
    // Known once a medium has sound to play: mpv then names the output it plays it on. While
    // the real output is being tried again mpv names none for a moment.
    const bool unheard = open && m_soundOutput->unheard();
    m_mute->setEnabled(!unheard);
    m_volume->setEnabled(!unheard);
    const bool muted = unheard || m_mute->isChecked();
    showAs(*m_mute, muted ? QStyle::SP_MediaVolumeMuted : QStyle::SP_MediaVolume,
           unheard ? QStringLiteral("Keine Tonausgabe")
           : muted ? QStringLiteral("Ton an")
                   : QStringLiteral("Ton aus"));
}

void MpvPlayer::reopenSoundOutput()
{
    // mpv drops the sound buffered for the old output and goes on after it; going back to the
    // position shown skips nothing, whether the real output opens or the silent one again.
    const double at = currentPosition();
    m_core->reloadSoundOutput();
    if (m_playState != MediaEnded)
        seekTo(at);
}

void MpvPlayer::refuse(const QString& path, QString reason)
{
    m_opening.reset();
    m_url.clear();
    m_heldPosition.reset();
    m_seek = Seek::None;
    if (m_entry != 0) {
        m_entry = 0;
        m_core->stop();
    }
    setState(Undefined);
    throw MakePlayerError(PlayerError::CannotOpen, QStringLiteral("Cannot open %1: %2").arg(path, reason));
}

bool MpvPlayer::hasTrack(const char* kind) const
{
    const std::int64_t count = m_core->getInt(property::TrackCount).value_or(0);
    for (std::int64_t i = 0; i < count; ++i) {
        const QString type = m_core->getString(QString::fromLatin1(property::TrackType).arg(i).toUtf8().constData());
        // A picture (PNG, JPEG ...) is a video track of a single image: nothing to play.
        const QByteArray image = QString::fromLatin1(property::TrackIsImage).arg(i).toUtf8();
        if (type == QLatin1String(kind) && !m_core->getFlag(image.constData()).value_or(false))
            return true;
    }
    return false;
}

int MpvPlayer::soundChannels() const
{
    const std::int64_t count = m_core->getInt(property::TrackCount).value_or(0);
    for (std::int64_t i = 0; i < count; ++i) {
        const auto item = [i](const char* name) { return QString::fromLatin1(name).arg(i).toUtf8(); };
        if (m_core->getString(item(property::TrackType).constData()) == QLatin1String(mpv::track::Audio) &&
            m_core->getFlag(item(property::TrackIsSelected).constData()).value_or(false))
            return static_cast<int>(m_core->getInt(item(property::TrackChannelCount).constData()).value_or(0));
    }
    return 0;
}

void MpvPlayer::onEvent(const MpvEvent& event)
{
    switch (event.id) {
    case MPV_EVENT_START_FILE:
        m_started = event.entry;
        break;
    case MPV_EVENT_FILE_LOADED:
        if (m_opening && m_started == m_entry)
            m_opening->loaded = true;
        break;
    case MPV_EVENT_END_FILE:
        // A file opened earlier may report its end after the next one was asked for.
        if (event.entry != m_entry)
            break;
        if (m_opening) {
            m_opening->failure = endReason(event);
            break;
        }
        // The open file failed while it played.
        endRepeat();
        m_entry = 0;
        m_url.clear();
        m_heldPosition.reset();
        m_seek = Seek::None;
        setState(Undefined);
        break;
    case MPV_EVENT_SEEK:
        if (m_seek == Seek::Requested)
            m_seek = Seek::Running;
        else if (m_passage)
            m_passage->heardWhole = true; // mpv went back to the passage's start by itself
        break;
    case MPV_EVENT_PLAYBACK_RESTART:
        if (m_seek == Seek::Running) {
            m_seek = Seek::None;
            if (m_playState == Playing)
                m_heldPosition.reset();
            refreshControls();
        }
        break;
    case MPV_EVENT_PROPERTY_CHANGE:
        if (event.property == property::CurrentAo) {
            m_soundOutput->setName(event.text);
            showSound();
        }
        if (event.property == property::EofReached && event.flag.value_or(false))
            onEndReached();
        break;
    default:
        break;
    }
}

void MpvPlayer::onEndReached()
{
    // Only a position set before the end leaves it, so the flag going back is of no interest.
    if (m_entry == 0 || m_opening)
        return;
    // keep-open has paused the player at the end. mpv then reports the time of the last sound
    // it played, which libmpv 0.40 places a few tenths of a second before the end.
    if (duration() > 0)
        m_heldPosition = duration();
    setState(MediaEnded);
}

void MpvPlayer::play()
{
    if (m_entry == 0 || m_opening || m_playState == Playing || m_playState == MediaEnded)
        return;
    m_core->setFlag(property::Pause, false);
    if (m_seek == Seek::None)
        m_heldPosition.reset();
    setState(Playing);
}

void MpvPlayer::pause()
{
    if (m_playState != Playing)
        return;
    stopSound();
    setState(Paused);
}

void MpvPlayer::stopSound()
{
    const double playing = currentPosition();
    m_heldPosition = m_soundOutput->pause(*m_core, m_rate).value_or(playing);
}

void MpvPlayer::stop()
{
    if (m_entry == 0 || m_opening)
        return;
    endRepeat();
    m_core->setFlag(property::Pause, true);
    seekTo(0);
    setState(Stopped);
}

void MpvPlayer::togglePlay()
{
    if (m_playState == Playing)
        pause();
    else
        play();
}

double MpvPlayer::currentPosition() const
{
    if (m_entry == 0 || m_opening)
        return 0;
    // After a seek made while paused, libmpv 0.35 reports the position early by the audio
    // output's latency; and until a seek has run it reports the old one.
    if (m_heldPosition)
        return *m_heldPosition;
    return m_core->getDouble(property::TimePos).value_or(0);
}

double MpvPlayer::heardPosition() const
{
    if (m_playState != Playing || m_heldPosition)
        return currentPosition();
    return SoundOutput::ReadClock(*m_core).position.value_or(currentPosition());
}

void MpvPlayer::setCurrentPosition(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0)
        throw MakePlayerError(PlayerError::InvalidPosition, QStringLiteral("Invalid position: %1").arg(seconds));
    if (m_entry == 0 || m_opening)
        throw MakePlayerError(PlayerError::NoMedium, QStringLiteral("No medium is open"));
    if (m_passage && (seconds < m_passage->from || seconds > m_passage->to))
        endRepeat();
    const double end = duration();
    if (end > 0 && seconds >= end) {
        // While paused mpv never reports reaching the end, so the player goes there itself;
        // keep-open would pause it there anyway.
        m_core->setFlag(property::Pause, true);
        seekTo(end);
        setState(MediaEnded);
        return;
    }
    seekTo(seconds);
    if (m_playState == Stopped || m_playState == MediaEnded)
        setState(Paused);
    else
        refreshControls();
}

void MpvPlayer::repeatLast(double seconds)
{
    if (m_entry == 0 || m_opening)
        throw MakePlayerError(PlayerError::NoMedium, QStringLiteral("No medium is open"));
    // The passage ends where the sound stopped, as a pause keeps it.
    if (m_playState == Playing)
        stopSound();
    const double to = currentPosition();
    const double from = std::max(0.0, to - seconds);
    // mpv cuts the sound at the passage's end and goes on at its start without emptying the
    // output's buffer, so no gap is heard where the passage begins again.
    m_core->setDouble(property::AbLoopA, from);
    m_core->setDouble(property::AbLoopB, to);
    m_passage = Passage{from, to, false};
    seekTo(from);
    m_core->setFlag(property::Pause, false);
    setState(Playing);
    RepeatChange.raise();
}

void MpvPlayer::endRepeat()
{
    if (!m_passage)
        return;
    m_passage.reset();
    m_core->setString(property::AbLoopA, mpv::value::No);
    m_core->setString(property::AbLoopB, mpv::value::No);
    RepeatChange.raise();
}

void MpvPlayer::seekTo(double seconds)
{
    m_core->seekExact(seconds);
    m_seek = Seek::Requested;
    m_heldPosition = seconds;
}

double MpvPlayer::duration() const
{
    return m_entry != 0 && !m_opening ? m_duration : 0;
}

void MpvPlayer::setState(std::int32_t state)
{
    const bool changed = state != m_playState;
    m_playState = state;
    refreshControls();
    if (changed)
        PlayStateChange.raise(state);
}

} // namespace player
