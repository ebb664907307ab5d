#include "PlayerErrors.h"

namespace player {

platform::Error MakePlayerError(std::int32_t number, const QString& description)
{
    return platform::Error(number, platform::ExecutableBaseName() + QStringLiteral(".MediaPlayer"),
                           description);
}

} // namespace player
