#pragma once

#include "platform/Error.h"

#include <QString>

#include <cstdint>

namespace player {

// The errors a player raises when it refuses a call. Their source is the executable's base
// name followed by ".MediaPlayer".
namespace PlayerError {
// An operation that needs a medium was called with none open.
inline constexpr std::int32_t NoMedium = platform::ObjectErrorNumber(2001);
// A position that is negative, infinite or not a number.
inline constexpr std::int32_t InvalidPosition = platform::ObjectErrorNumber(2002);
// A rate outside 0.01 to 100 (the engine's limits), infinite or not a number.
inline constexpr std::int32_t InvalidRate = platform::ObjectErrorNumber(2003);
// A file that cannot be opened: missing, a folder, unreadable, not media, without sound or
// moving pictures, not local, or not open within the time allowed.
inline constexpr std::int32_t CannotOpen = platform::ObjectErrorNumber(2004);
// The media engine could not be started or failed a request.
inline constexpr std::int32_t EngineFailure = platform::ObjectErrorNumber(2005);
} // namespace PlayerError

platform::Error MakePlayerError(std::int32_t number, const QString& description);

} // namespace player
