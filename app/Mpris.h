#pragma once

#include "platform/Event.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <functional>

namespace platform {
class LastResort;
}

namespace app {

class frm1;
class MprisPlayer;

// The window as one of the desktop's media players (MPRIS 2): the name
// org.mpris.MediaPlayer2.horchpult on the given bus and the object /org/mpris/MediaPlayer2 with
// the interfaces org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player. Play and Pause run the
// commands of F3 and F2, Seek and SetPosition the window's seek sequence; the speed step stays
// the window's own, so Rate is read only. Each call is answered before its command runs, so a
// failure's message box never holds the caller; everything the bus calls runs inside the last
// resort. Without a connected bus it does nothing. It lives on the GUI thread and must go before
// the window.
class MprisService final : public QObject, public QDBusContext {
    Q_OBJECT
public:
    static constexpr const char* ServiceName = "org.mpris.MediaPlayer2.horchpult";
    static constexpr const char* ObjectPath = "/org/mpris/MediaPlayer2";

    MprisService(frm1& window, platform::LastResort& lastResort, QDBusConnection bus);
    ~MprisService() override;

    // Whether the service holds its name on the bus.
    bool Registered() const { return m_registered; }

private:
    friend class MprisRoot;
    friend class MprisPlayer;

    // Whether a command may move the position, which the desktop then hears of as a jump.
    enum class Playback { MayJump, GoesOn };

    // Answers the call now, then runs steps in the last resort and announces what they changed.
    void Command(const std::function<void()>& steps, Playback playback = Playback::MayJump);
    // Runs a read in the last resort; a failure there yields the default value.
    template <class T, class F>
    T Read(F read) const;

    bool Loaded() const;
    QString TrackId() const;
    QString PlaybackStatus() const;
    QVariantMap Metadata() const;
    qlonglong Position() const;
    QVariantMap Announced() const;

    void ScheduleRefresh();
    void Refresh();

    frm1& m_window;
    platform::LastResort& m_lastResort;
    QDBusConnection m_bus;
    MprisPlayer* m_player = nullptr;
    platform::Event<std::int32_t>::Connection m_playStateChange;
    bool m_registered = false;
    // Stop leaves the medium paused at the start; it reads as stopped until playback starts or
    // another medium is opened.
    bool m_stopped = false;
    bool m_refreshPending = false;
    // Each medium opened gets a track id of its own, so a SetPosition meant for the last one
    // does not move this one.
    mutable int m_track = 0;
    mutable QString m_trackMedia;
    QVariantMap m_announced;
};

} // namespace app
