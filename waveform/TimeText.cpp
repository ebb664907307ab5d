#include "TimeText.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace waveform {

namespace {

constexpr QChar Zero(u'0');
// Far beyond any recording, and still whole milliseconds in 64 bits.
constexpr double Longest = 1e15;

// Whole milliseconds first: 2.3 s is 2.2999... as a double, and its tenths are 3.
std::int64_t milliseconds(double seconds)
{
    return std::isfinite(seconds) && seconds > 0 ? std::llround(std::min(seconds, Longest) * 1000) : 0;
}

} // namespace

QString ClockText(double seconds, bool tenths)
{
    const std::int64_t ms = milliseconds(seconds);
    const std::int64_t whole = ms / 1000;
    QString text = QStringLiteral("%1:%2:%3")
                       .arg(whole / 3600, 2, 10, Zero)
                       .arg(whole / 60 % 60, 2, 10, Zero)
                       .arg(whole % 60, 2, 10, Zero);
    if (tenths)
        text += QStringLiteral(".%1").arg(ms / 100 % 10);
    return text;
}

QString RulerText(double seconds)
{
    const std::int64_t whole = (milliseconds(seconds) + 500) / 1000;
    if (whole < 3600)
        return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, Zero);
    return QStringLiteral("%1:%2:%3").arg(whole / 3600).arg(whole / 60 % 60, 2, 10, Zero).arg(whole % 60, 2, 10, Zero);
}

} // namespace waveform
