#include "FakePlayer.h"

#include "platform/Error.h"

#include <algorithm>

namespace player {

FakePlayer::FakePlayer() : m_widget(new QWidget) {}

FakePlayer::~FakePlayer()
{
    // Null if the window took the widget as its child and has deleted it already.
    delete m_widget.data();
}

void FakePlayer::Record(const QString& call, const QString& operation)
{
    calls.append(call);
    const bool once = !failingOnce.isEmpty() && failingOnce == operation;
    if (once)
        failingOnce.clear();
    if (once || (!failing.isEmpty() && failing == operation))
        throw platform::Error(platform::ObjectErrorNumber(0x500), QStringLiteral("FakePlayer"),
                              QStringLiteral("%1 refused").arg(operation));
}

void FakePlayer::setAutoStart(bool autoStart)
{
    Record(QStringLiteral("autoStart %1").arg(autoStart), QStringLiteral("autoStart"));
    m_autoStart = autoStart;
}

void FakePlayer::setRate(double rate)
{
    Record(QStringLiteral("rate %1").arg(rate, 0, 'g', 17), QStringLiteral("rate"));
    m_rate = rate;
}

void FakePlayer::setURL(const QString& url)
{
    Record(QStringLiteral("url %1").arg(url), QStringLiteral("url"));
    m_url = url;
    position = 0;
    ChangeState(m_autoStart ? Playing : Ready);
}

std::int32_t FakePlayer::playState() const
{
    if (failing == QStringLiteral("playState") || failingOnce == QStringLiteral("playState"))
        const_cast<FakePlayer*>(this)->Record(QStringLiteral("playState"), QStringLiteral("playState"));
    return state;
}

void FakePlayer::play()
{
    Record(QStringLiteral("play"), QStringLiteral("play"));
    ChangeState(Playing);
}

void FakePlayer::pause()
{
    Record(QStringLiteral("pause"), QStringLiteral("pause"));
    if (state == Playing)
        ChangeState(Paused);
}

double FakePlayer::currentPosition() const
{
    if (failing == QStringLiteral("getPosition") || failingOnce == QStringLiteral("getPosition"))
        const_cast<FakePlayer*>(this)->Record(QStringLiteral("getPosition"), QStringLiteral("getPosition"));
    return position;
}

void FakePlayer::setCurrentPosition(double seconds)
{
    Record(QStringLiteral("position %1").arg(seconds, 0, 'g', 17), QStringLiteral("position"));
    if (passage && (seconds < passage->from || seconds > passage->to))
        endRepeat();
    position = seconds;
}

void FakePlayer::repeatLast(double seconds)
{
    Record(QStringLiteral("repeat %1").arg(seconds), QStringLiteral("repeat"));
    passage = Passage{std::max(0.0, position - seconds), position, false};
    position = passage->from;
    ChangeState(Playing);
    RepeatChange.raise();
}

void FakePlayer::endRepeat()
{
    if (!passage)
        return;
    calls.append(QStringLiteral("endRepeat"));
    passage.reset();
    RepeatChange.raise();
}

void FakePlayer::ChangeState(std::int32_t newState)
{
    if (state == newState)
        return;
    state = newState;
    PlayStateChange.raise(newState);
}

} // namespace player
