#pragma once

#include <QString>

#include <optional>
#include <string_view>

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

// The whole seconds as a clock shows them: 00:01:23.
QString ClockText(double seconds);

// The format's pattern as the player's menu shows it.
QString TimestampExample(TimestampFormat format);

// The format's name where the program keeps it ("hashes", "brackets", "decimal"), and back;
// none for a name of no format.
QString TimestampFormatName(TimestampFormat format);
std::optional<TimestampFormat> TimestampFormatNamed(const QString& name);

// The position the first timestamp in `text` names, in seconds: any format the program writes
// (`#00:01:23-4#`, `[00:01:23]`, `00:01:23.4`) or one people type (`1:23:45`, `01:23`, `1:23.4`):
// two or three groups of digits joined by colons, the last two of them of two digits below 60,
// with tenths (or finer) after a point or a dash. Reads the bytes as they come, whatever their
// encoding, and stops at the first timestamp; none when there is none.
std::optional<double> FirstTimestamp(std::string_view text);

} // namespace app
