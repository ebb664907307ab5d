#include "frm1.h"

#include "Messages.h"
#include "Speed.h"

#include "platform/Numbers.h"

#include <QCheckBox>
#include <QLineEdit>

#include <algorithm>

namespace app {

namespace {
constexpr double RewindStep = 1.0;
}

void frm1::m_cHotKey_HotKeyPress(const QString& sName, std::int32_t /*eModifiers*/, std::int32_t /*eKey*/)
{
    m_cHotKey->RestoreAndActivate(m_hWnd);
    if (geladen != True)
        return;
    if (const HotKeyRow* key = FindHotKey([&](const HotKeyRow& row) { return sName == QLatin1String(row.name); }))
        (this->*key->command)();
}

void frm1::PlayMedia()
{
    const double rate = RateOfStep(SpeedStep());
    Trap(PlaybackFailed, [&] {
        wm1->pause();
        wm1->setRate(rate);
        wm1->play();
        Timer1.setInterval(FollowPlayback);
    });
}

void frm1::PauseMedia()
{
    Trap(PlaybackFailed, [&] {
        wm1->pause();
        Timer1.setInterval(TimerStopped);
        if (Check1->checkState() != Qt::Checked)
            return;
        const double position = wm1->currentPosition();
        const std::int16_t seconds = platform::IntegerFromText(autorewind->text());
        wm1->setCurrentPosition(std::max(position - seconds, EarliestPosition()));
    });
}

void frm1::RewindMedia()
{
    Trap(PlaybackFailed, [&] {
        const bool wasPlaying = wm1->playState() == player::MediaPlayer::Playing;
        if (wasPlaying)
            wm1->pause();
        Timer1.setInterval(FollowPlayback);
        const double position = wm1->currentPosition();
        wm1->setCurrentPosition(std::max(position - RewindStep, EarliestPosition()));
        if (wasPlaying)
            wm1->play();
        else
            Timer1.setInterval(TimerStopped);
    });
}

} // namespace app
