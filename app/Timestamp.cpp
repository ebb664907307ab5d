#include "Timestamp.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace app {

namespace {
constexpr std::int64_t MillisecondsPerTenth = 100;
constexpr std::int64_t TenthsPerSecond = 10;
constexpr double Example = 83.47;
// Far beyond any recording, and still whole milliseconds in 64 bits.
constexpr double LongestWritten = 1e15;
} // namespace

QString TimestampText(double seconds, TimestampFormat format)
{
    // Whole milliseconds first: 2.3 s is 2.2999... as a double, and its tenths are 3.
    const std::int64_t milliseconds = std::isfinite(seconds) && seconds > 0 ? std::llround(std::min(seconds, LongestWritten) * 1000) : 0;
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

QString ClockText(double seconds)
{
    return TimestampText(seconds, TimestampFormat::Brackets).mid(1).chopped(1);
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

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The timestamp that begins at `at`, a digit with none before it; `end` is set past it.
std::optional<double> TimestampAt(std::string_view text, std::size_t at, std::size_t& end)
{
    // Beyond any recording; a longer field would leave the numbers a double holds exactly.
    constexpr double Largest = 1e15;
    double groups[3] = {};
    int count = 0;
    std::size_t i = at;
    while (true) {
        const std::size_t first = i;
        double value = 0;
        for (; i < text.size() && IsDigit(text[i]); ++i)
            value = std::min(value * 10 + (text[i] - '0'), Largest);
        end = i;
        // Only the first group may be longer or shorter than two digits; a later one is below 60.
        if (count > 0 && (i - first != 2 || value >= 60))
            return std::nullopt;
        groups[count++] = value;
        if (count == 3 || i + 1 >= text.size() || text[i] != ':' || !IsDigit(text[i + 1]))
            break;
        ++i;
    }
    if (count < 2)
        return std::nullopt;
    double seconds = count == 3 ? groups[0] * 3600 + groups[1] * 60 + groups[2] : groups[0] * 60 + groups[1];
    if (i + 1 < text.size() && (text[i] == '.' || text[i] == '-') && IsDigit(text[i + 1])) {
        double scale = 0.1;
        for (++i; i < text.size() && IsDigit(text[i]); ++i, scale /= 10)
            seconds += (text[i] - '0') * scale;
        end = i;
    }
    return seconds;
}

} // namespace

std::optional<double> FirstTimestamp(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsDigit(text[i]) || (i > 0 && IsDigit(text[i - 1])))
            continue;
        std::size_t end = i;
        if (const std::optional<double> seconds = TimestampAt(text, i, end))
            return seconds;
        i = end;
    }
    return std::nullopt;
}

} // namespace app
