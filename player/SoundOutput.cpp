#include "SoundOutput.h"

#include "MpvCore.h"
#include "MpvProperties.h"

#include "platform/LastResort.h"

#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace player {

namespace {

namespace property = mpv::property;

// Waits between tries of the real sound output while mpv plays on its silent one: a sound
// server that restarts is back within a second or two, one that is missing may take long.
constexpr int RetryDelaysMs[] = {250, 250, 250, 500, 500, 1000, 2000};

int retryDelay(int tries)
{
    const auto last = std::size(RetryDelaysMs) - 1;
    return RetryDelaysMs[std::min(static_cast<std::size_t>(tries), last)];
}

// A desktop sound server (PulseAudio, or PipeWire for its clients) listens on a socket in the
// user's runtime folder, or where PULSE_SERVER says. While that socket is missing no try of the
// sound output can succeed, and each try holds playback for a moment.
bool serverMissing()
{
    QString address = qEnvironmentVariable("PULSE_SERVER");
    if (address.isEmpty()) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        return !runtime.isEmpty() && !QFileInfo::exists(runtime + QStringLiteral("/pulse/native")) &&
               !QFileInfo::exists(runtime + QStringLiteral("/pipewire-0"));
    }
    if (address.startsWith(QStringLiteral("unix:")))
        address.remove(0, 5);
    return address.startsWith(u'/') && !QFileInfo::exists(address);
}

// When the output stopped, between `from` and `to`, as mpv's clock tells it: while paused mpv
// reports the clock as it stood when it began to stop the output.
PulseStream::Stop stopMoment(const SoundOutput::ClockReading& before, const SoundOutput::ClockReading& stopped,
                             double rate, double from, double to)
{
    PulseStream::Stop stop{from, from, to};
    if (stopped.position)
        stop.began = std::clamp(before.at + (*stopped.position - *before.position) / rate, from, to);
    return stop;
}

} // namespace

SoundOutput::SoundOutput(platform::LastResort& lastResort, std::function<void()> reopen, QObject* parent)
    : QObject(parent), m_reopen(std::move(reopen)), m_pulse(std::make_unique<PulseStream>()),
      m_retry(new QTimer(this))
{
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, lastResort.Guard([this] { retry(); }));
}

SoundOutput::~SoundOutput() = default;

void SoundOutput::setName(const QString& name)
{
    m_name = name;
    // Reached now, the server is asked at the next pause without delaying it.
    if (m_name == QLatin1String(mpv::value::PulseOutput))
        m_pulse->connect();
}

bool SoundOutput::silent() const
{
    return m_name == QLatin1String(mpv::value::SilentOutput);
}

bool SoundOutput::unheard() const
{
    return silent() || (m_name.isEmpty() && m_retry->isActive());
}

void SoundOutput::follow(bool open, const MpvCore& core)
{
    const bool heard = open && !silent() && !m_name.isEmpty();
    if (!open || heard) {
        m_retry->stop();
        m_tries = 0;
    } else if (silent() && !m_retry->isActive() && !core.silentByChoice()) {
        m_retry->start(retryDelay(m_tries));
    }
}

void SoundOutput::retry()
{
    m_retry->start(retryDelay(++m_tries));
    if (!serverMissing())
        m_reopen();
}

std::optional<double> SoundOutput::pause(MpvCore& core, double rate)
{
    // mpv's audio-pts is where the sink's clock stands; what the sink had mixed beyond it when
    // the output stopped may still be heard. The sound server is asked about it once the sound
    // has stopped, so the pause is heard at once.
    const ClockReading before = ReadClock(core);
    const bool ask = before.position && m_name == QLatin1String(mpv::value::PulseOutput);
    if (ask)
        m_pulse->ask();
    const double stopFrom = SteadySeconds();
    core.setFlag(property::Pause, true);
    const double stopTo = SteadySeconds();
    const ClockReading stopped = ReadClock(core);
    if (!ask)
        return stopped.position;
    if (const auto heardUntil = m_pulse->heardUntil(stopMoment(before, stopped, rate, stopFrom, stopTo)))
        return *before.position + rate * (*heardUntil - before.at);
    return stopped.position;
}

SoundOutput::ClockReading SoundOutput::ReadClock(const MpvCore& core)
{
    const double before = SteadySeconds();
    const auto position = core.getDouble(property::AudioPts);
    return {position, (before + SteadySeconds()) / 2};
}

} // namespace player
