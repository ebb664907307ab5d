#include "MpvLibrary.h"

#include "PlayerErrors.h"

#include <QString>

#include <dlfcn.h>

#include <variant>

namespace player {

namespace {

std::variant<MpvLibrary, QString> load()
{
    void* library = dlopen(HORCHPULT_MPV_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        return QStringLiteral("libmpv cannot be loaded: %1").arg(QString::fromLocal8Bit(dlerror()));

    MpvLibrary mpv;
    QString missing;
#define HORCHPULT_MPV_RESOLVE(name)                                                                \
    mpv.name = reinterpret_cast<decltype(mpv.name)>(dlsym(library, "mpv_" #name));                 \
    if (mpv.name == nullptr)                                                                       \
        missing += QStringLiteral(" mpv_" #name);
    HORCHPULT_MPV_FUNCTIONS(HORCHPULT_MPV_RESOLVE)
#undef HORCHPULT_MPV_RESOLVE
    if (!missing.isEmpty())
        return QStringLiteral("libmpv lacks%1").arg(missing);

    const unsigned long version = mpv.client_api_version();
    if (version >> 16 != MPV_CLIENT_API_VERSION >> 16 || version < MPV_CLIENT_API_VERSION)
        return QStringLiteral("libmpv's client API %1.%2 is not the %3.%4 the program was built for")
            .arg(version >> 16).arg(version & 0xffff)
            .arg(MPV_CLIENT_API_VERSION >> 16).arg(MPV_CLIENT_API_VERSION & 0xffff);
    return mpv;
}

} // namespace

const MpvLibrary& Mpv()
{
    static const std::variant<MpvLibrary, QString> loaded = load();
    if (const QString* failure = std::get_if<QString>(&loaded))
        throw MakePlayerError(PlayerError::EngineFailure, *failure);
    return std::get<MpvLibrary>(loaded);
}

} // namespace player
