#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <mpv/client.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

namespace player {

// One event of the core as its handler gets it: copied out of mpv's event buffer, which the next
// mpv_wait_event reuses, and a handler may run that wait itself (a message box's event loop does).
struct MpvEvent {
    mpv_event_id id = MPV_EVENT_NONE;
    // START_FILE and END_FILE: the playlist entry.
    std::int64_t entry = 0;
    // END_FILE: why the file ended, and mpv's error code when that was an error.
    int endReason = MPV_END_FILE_REASON_EOF;
    int endError = 0;
    // PROPERTY_CHANGE: the property's name and its new value, as a flag or a text as it is
    // observed; no flag and an empty text while the property is unavailable.
    QByteArray property;
    std::optional<bool> flag;
    QString text;
};

// The one owner of an mpv core, set up independent of the user's mpv configuration, for local
// files only, silent, with the pitch kept at every speed. Made, used and destroyed on the GUI
// thread. The audio output is the first of the desktop's (PulseAudio's protocol, also where
// PipeWire serves it, then PipeWire's own, JACK, ALSA) that opens, else the silent one, unless HORCHPULT_AO names one (tests use "null",
// or "pcm" with the file in HORCHPULT_AO_PCM_FILE).
//
// mpv's wakeup callback only queues a drain to the GUI thread; the drain hands every event to
// the handler, which must not throw and may call back into the core, drains included. A render context made on
// this core must be freed before it: whoever makes one holds a shared_ptr to the core.
//
// libmpv needs LC_NUMERIC to be "C"; the constructor sets it, since QApplication sets the
// user's locale. The program must not set it back: its decimal separators come from QLocale.
//
// Every failed request raises platform::Error (PlayerError::EngineFailure).
class MpvCore final : public QObject {
public:
    using EventHandler = std::function<void(const MpvEvent&)>;

    MpvCore();
    ~MpvCore() override;
    MpvCore(const MpvCore&) = delete;
    MpvCore& operator=(const MpvCore&) = delete;

    mpv_handle* handle() const { return m_handle; }

    void setEventHandler(EventHandler handler);
    // Waits at most `seconds` for one event and hands it to the handler; false if none came.
    bool dispatchNextEvent(double seconds);

    void setFlag(const char* name, bool value);
    void setDouble(const char* name, double value);
    void setString(const char* name, const QByteArray& value);
    void observeFlag(const char* name);
    void observeString(const char* name);
    // Empty while the property is unavailable (no file, not known yet).
    std::optional<double> getDouble(const char* name) const;
    std::optional<bool> getFlag(const char* name) const;
    std::optional<std::int64_t> getInt(const char* name) const;
    QString getString(const char* name) const;

    // Replaces the current file; returns the new playlist entry's id, which the START_FILE and
    // END_FILE events of that file carry.
    std::int64_t loadFile(const QString& localPath);
    // Returns at once as a rule: the core may be busy for a while. MPV_EVENT_SEEK and then
    // MPV_EVENT_PLAYBACK_RESTART follow.
    void seekExact(double seconds);
    void stop();
    // Closes the sound output and opens the chosen one again, or the silent one if it still
    // fails. mpv drops the sound it had buffered and goes on after it.
    void reloadSoundOutput();
    // True when the silent output was chosen (HORCHPULT_AO=null): no other is worth trying.
    bool silentByChoice() const { return m_silentByChoice; }

private:
    static void onWakeup(void* core) noexcept;
    void drainEvents() noexcept;

    mpv_handle* m_handle = nullptr;
    EventHandler m_handler;
    std::atomic<bool> m_drainQueued{false};
    bool m_silentByChoice = false;
};

} // namespace player
