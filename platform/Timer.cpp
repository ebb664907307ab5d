#include "Timer.h"

namespace platform {

Timer::Timer(QObject* parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { Tick.raise(); });
}

void Timer::setInterval(int milliseconds)
{
    m_interval = milliseconds;
    if (milliseconds == 0)
        m_timer.stop();
    else
        m_timer.start(milliseconds);
}

} // namespace platform
