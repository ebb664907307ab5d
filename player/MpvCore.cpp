#include "MpvCore.h"

#include "MpvLibrary.h"
#include "MpvProperties.h"
#include "PlayerErrors.h"

#include <QFile>
#include <QMetaObject>

#include <clocale>
#include <utility>

namespace player {

namespace {

constexpr const char* AudioOutputVariable = "HORCHPULT_AO";
constexpr const char* PcmFileVariable = "HORCHPULT_AO_PCM_FILE";

[[noreturn]] void raiseEngineFailure(const QString& what, int mpvError)
{
    throw MakePlayerError(PlayerError::EngineFailure,
                          QStringLiteral("%1: %2").arg(what, QString::fromUtf8(Mpv().error_string(mpvError))));
}

void check(int result, const char* what, const char* name)
{
    if (result < 0)
        raiseEngineFailure(QStringLiteral("%1 %2").arg(QLatin1String(what), QLatin1String(name)), result);
}

// Frees a node that libmpv filled in, however the scope is left.
class NodeContents {
public:
    ~NodeContents() { Mpv().free_node_contents(&node); }
    mpv_node node{};
};

MpvEvent ValueOf(const mpv_event& event)
{
    MpvEvent value;
    value.id = event.event_id;
    switch (event.event_id) {
    case MPV_EVENT_START_FILE:
        value.entry = static_cast<const mpv_event_start_file*>(event.data)->playlist_entry_id;
        break;
    case MPV_EVENT_END_FILE: {
        const auto& end = *static_cast<const mpv_event_end_file*>(event.data);
        value.entry = end.playlist_entry_id;
        value.endReason = end.reason;
        value.endError = end.error;
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto& change = *static_cast<const mpv_event_property*>(event.data);
        value.property = change.name;
        if (change.format == MPV_FORMAT_FLAG)
            value.flag = *static_cast<const int*>(change.data) != 0;
        else if (change.format == MPV_FORMAT_STRING)
            value.text = QString::fromUtf8(*static_cast<char* const*>(change.data));
        break;
    }
    default:
        break;
    }
    return value;
}

} // namespace

MpvCore::MpvCore()
{
    std::setlocale(LC_NUMERIC, "C");
    m_handle = Mpv().create();
    if (m_handle == nullptr)
        raiseEngineFailure(QStringLiteral("mpv_create"), MPV_ERROR_NOMEM);

    namespace o = mpv::option;
    namespace v = mpv::value;
    const std::pair<const char*, const char*> options[] = {
        {o::Config, v::No},
        {o::LoadScripts, v::No},
        {o::Ytdl, v::No},
        {o::LoadStatsOverlay, v::No},
        {o::LoadOsdConsole, v::No},
        {o::LoadAutoProfiles, v::No},
        {o::Osc, v::No},
        {o::ResumePlayback, v::No},
        {o::SavePositionOnQuit, v::No},
        {o::InputDefaultBindings, v::No},
        {o::InputVoKeyboard, v::No},
        {o::AccessReferences, v::No},
        {o::DemuxerLavfOptions, v::OnlyFiles},
        {o::StreamLavfOptions, v::OnlyFiles},
        {o::SubAuto, v::No},
        {o::AudioFileAuto, v::No},
        {o::CoverArtAuto, v::No},
        {o::Vo, v::VoLibmpv},
        {o::OsdLevel, "0"},
        {o::GpuHwdecInterop, v::No},
        {o::AudioFallbackToNull, v::Yes},
        {o::AudioFilter, v::PitchKeepingSpeed},
        {o::KeepOpen, v::Yes},
        {o::Terminal, v::No},
        {o::MsgLevel, v::Silent},
    };
    try {
        for (const auto& [name, value] : options)
            check(Mpv().set_option_string(m_handle, name, value), "option", name);
        QByteArray ao = qgetenv(AudioOutputVariable);
        if (ao.isEmpty())
            ao = v::SoundOutputs;
        check(Mpv().set_option_string(m_handle, o::Ao, ao.constData()), "option", o::Ao);
        m_silentByChoice = ao == mpv::value::SilentOutput;
        const QByteArray pcmFile = qgetenv(PcmFileVariable);
        if (!pcmFile.isEmpty())
            check(Mpv().set_option_string(m_handle, o::AoPcmFile, pcmFile.constData()), "option", o::AoPcmFile);
        check(Mpv().initialize(m_handle), "initialize", "mpv");
    } catch (...) {
        Mpv().terminate_destroy(m_handle);
        throw;
    }
    Mpv().set_wakeup_callback(m_handle, &MpvCore::onWakeup, this);
}

MpvCore::~MpvCore()
{
    // Returns only once no callback runs any more, so none can reach a destroyed object.
    Mpv().set_wakeup_callback(m_handle, nullptr, nullptr);
    Mpv().terminate_destroy(m_handle);
    m_handle = nullptr;
}

void MpvCore::setEventHandler(EventHandler handler)
{
    m_handler = std::move(handler);
}

void MpvCore::onWakeup(void* core) noexcept
{
    auto* self = static_cast<MpvCore*>(core);
    // One queued drain is enough however often mpv wakes us before it runs.
    if (!self->m_drainQueued.exchange(true))
        QMetaObject::invokeMethod(self, [self] { self->drainEvents(); }, Qt::QueuedConnection);
}

void MpvCore::drainEvents() noexcept
{
    m_drainQueued = false;
    while (dispatchNextEvent(0)) {
    }
}

bool MpvCore::dispatchNextEvent(double seconds)
{
    const mpv_event* event = Mpv().wait_event(m_handle, seconds);
    if (event->event_id == MPV_EVENT_NONE)
        return false;
    const MpvEvent value = ValueOf(*event);
    if (m_handler)
        m_handler(value);
    return true;
}

void MpvCore::setFlag(const char* name, bool value)
{
    int flag = value ? 1 : 0;
    check(Mpv().set_property(m_handle, name, MPV_FORMAT_FLAG, &flag), "set", name);
}

void MpvCore::setDouble(const char* name, double value)
{
    check(Mpv().set_property(m_handle, name, MPV_FORMAT_DOUBLE, &value), "set", name);
}

void MpvCore::setString(const char* name, const QByteArray& value)
{
    const char* text = value.constData();
    check(Mpv().set_property(m_handle, name, MPV_FORMAT_STRING, &text), "set", name);
}

void MpvCore::observeFlag(const char* name)
{
    check(Mpv().observe_property(m_handle, 0, name, MPV_FORMAT_FLAG), "observe", name);
}

void MpvCore::observeString(const char* name)
{
    check(Mpv().observe_property(m_handle, 0, name, MPV_FORMAT_STRING), "observe", name);
}

std::optional<double> MpvCore::getDouble(const char* name) const
{
    double value = 0;
    if (Mpv().get_property(m_handle, name, MPV_FORMAT_DOUBLE, &value) < 0)
        return std::nullopt;
    return value;
}

std::optional<bool> MpvCore::getFlag(const char* name) const
{
    int flag = 0;
    if (Mpv().get_property(m_handle, name, MPV_FORMAT_FLAG, &flag) < 0)
        return std::nullopt;
    return flag != 0;
}

std::optional<std::int64_t> MpvCore::getInt(const char* name) const
{
    std::int64_t value = 0;
    if (Mpv().get_property(m_handle, name, MPV_FORMAT_INT64, &value) < 0)
        return std::nullopt;
    return value;
}

QString MpvCore::getString(const char* name) const
{
    char* text = Mpv().get_property_string(m_handle, name);
    if (text == nullptr)
        return {};
    QString result = QString::fromUtf8(text);
    Mpv().free(text);
    return result;
}

std::int64_t MpvCore::loadFile(const QString& localPath)
{
    const QByteArray path = QFile::encodeName(localPath);
    const char* args[] = {mpv::command::LoadFile, path.constData(), nullptr};
    NodeContents result;
    check(Mpv().command_ret(m_handle, args, &result.node), "command", mpv::command::LoadFile);
    if (result.node.format == MPV_FORMAT_NODE_MAP) {
        const mpv_node_list* map = result.node.u.list;
        for (int i = 0; i < map->num; ++i) {
            if (qstrcmp(map->keys[i], mpv::reply::PlaylistEntryId) == 0 && map->values[i].format == MPV_FORMAT_INT64)
                return map->values[i].u.int64;
        }
    }
    raiseEngineFailure(QStringLiteral("loadfile gave no playlist entry"), MPV_ERROR_GENERIC);
}

void MpvCore::seekExact(double seconds)
{
    mpv_node args[3];
    args[0].format = MPV_FORMAT_STRING;
    args[0].u.string = const_cast<char*>(mpv::command::Seek);
    // A number, not text: no decimal separator can go wrong.
    args[1].format = MPV_FORMAT_DOUBLE;
    args[1].u.double_ = seconds;
    args[2].format = MPV_FORMAT_STRING;
    args[2].u.string = const_cast<char*>(mpv::command::SeekExact);
    mpv_node_list list{3, args, nullptr};
    mpv_node command;
    command.format = MPV_FORMAT_NODE_ARRAY;
    command.u.list = &list;
    int result = Mpv().command_node_async(m_handle, 0, &command);
    // Each request holds a place in the event queue for its reply. A storm of keys handled
    // before the queue is next drained can use them all up; the seek then waits for the core.
    if (result == MPV_ERROR_EVENT_QUEUE_FULL)
        result = Mpv().command_node(m_handle, &command, nullptr);
    check(result, "command", mpv::command::Seek);
}

void MpvCore::stop()
{
    const char* args[] = {mpv::command::Stop, nullptr};
    check(Mpv().command(m_handle, args), "command", mpv::command::Stop);
}

void MpvCore::reloadSoundOutput()
{
    const char* args[] = {mpv::command::ReloadAudioOutput, nullptr};
    check(Mpv().command(m_handle, args), "command", mpv::command::ReloadAudioOutput);
}

} // namespace player
