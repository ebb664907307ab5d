#include "Timestamp.h"

#include <cmath>
#include <cstdint>

namespace app {

namespace {
constexpr std::int64_t MillisecondsPerTenth = 100;
constexpr std::int64_t TenthsPerSecond = 10;
constexpr double Example = 83.47;
} // namespace

QString TimestampText(double seconds, TimestampFormat format)
{
    // Whole milliseconds first: 2.3 s is 2.2999... as a double, and its tenths are 3.
    const std::int64_t milliseconds = std::isfinite(seconds) && seconds > 0 ? std::llround(seconds * 1000) : 0;
    const std::int64_t tenths = milliseconds / MillisecondsPerTenth;
    const std::int64_t wholeSeconds = tenths / TenthsPerSecond;
    const QString clock = QStringLiteral("%1:%2:%3")
                              .arg(wholeSeconds / 3600, 2, 10, QLatin1Char('0'))
                              .arg(wholeSeconds / 60 % 60, 2, 10, QLatin1Char('0'))
                              .arg(wholeSeconds % 60, 2, 10, QLatin1Char('0'));
    const std::int64_t tenth = tenths % TenthsPerSecond;
    switch (format) {
    case TimestampFormat::Hashes:
        return QStringLiteral("#%1-%2#").arg(clock).arg(tenth);
    case TimestampFormat::Brackets:
        return QStringLiteral("[%1]").arg(clock);
    case TimestampFormat::Decimal:
        return QStringLiteral("%1.%2").arg(clock).arg(tenth);
    }
    return clock;
}

QString TimestampExample(TimestampFormat format)
{
    return TimestampText(Example, format);
}

QString TimestampFormatName(TimestampFormat format)
{
    switch (format) {
    case TimestampFormat::Brackets:
        return QStringLiteral("brackets");
    case TimestampFormat::Decimal:
        return QStringLiteral("decimal");
    case TimestampFormat::Hashes:
        break;
    }
    return QStringLiteral("hashes");
}

std::optional<TimestampFormat> TimestampFormatNamed(const QString& name)
{
    for (const TimestampFormat format : TimestampFormats) {
        if (TimestampFormatName(format) == name)
            return format;
    }
    return std::nullopt;
}

} // namespace app
