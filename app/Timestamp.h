#pragma once

#include <QString>

#include <optional>

namespace app {

// How a timestamp is written: `#00:01:23-4#` (the common rule for interview transcripts, and the
// start value of every run), `[00:01:23]` or `00:01:23.4`.
enum class TimestampFormat { Hashes, Brackets, Decimal };
inline constexpr TimestampFormat TimestampFormats[] = {TimestampFormat::Hashes, TimestampFormat::Brackets,
                                                       TimestampFormat::Decimal};

// The position as a timestamp: hours in two digits (three from 100 hours on), minutes, seconds
// and, where the format has them, tenths cut rather than rounded. Positions below 0 or not a
// number count as 0.
QString TimestampText(double seconds, TimestampFormat format);

// The format's pattern as the player's menu shows it.
QString TimestampExample(TimestampFormat format);

// The format's name where the program keeps it ("hashes", "brackets", "decimal"), and back;
// none for a name of no format.
QString TimestampFormatName(TimestampFormat format);
std::optional<TimestampFormat> TimestampFormatNamed(const QString& name);

} // namespace app
