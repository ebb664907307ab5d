#pragma once

#include "PulseStream.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace platform {
class LastResort;
}

namespace player {

class MpvCore;

// The player as a client of the desktop's sound server: the output mpv plays on, the tries of
// the real output while mpv plays on its silent one, and where the sound heard ended at a pause.
//
// Without a working output mpv plays in silence; the real one is tried again while a sound
// server's socket is there, a few times a second at first and then every 2 s. GUI thread only.
class SoundOutput final : public QObject {
public:
    // reopen: opens mpv's sound output again, without skipping what was shown; it runs inside
    // the last resort.
    SoundOutput(platform::LastResort& lastResort, std::function<void()> reopen, QObject* parent);
    ~SoundOutput() override;

    // mpv named the output it plays on; empty while it has none open.
    void setName(const QString& name);
    bool silent() const;
    // Nothing is heard for now: on the silent output, or on none while the real one is tried.
    bool unheard() const;
    // Tries the real output again while a medium is open and mpv plays in silence not by the
    // user's choice; stops once the sound is heard or the medium closed.
    void follow(bool open, const MpvCore& core);

    // Pauses mpv, stopping its output before anything else, and tells the position of the last
    // sound heard; none where neither the server nor mpv's clock tells it.
    std::optional<double> pause(MpvCore& core, double rate);

    // mpv's clock (audio-pts) and when it was read, in seconds of the steady clock.
    struct ClockReading {
        std::optional<double> position;
        double at = 0;
    };
    static ClockReading ReadClock(const MpvCore& core);

private:
    void retry();

    std::function<void()> m_reopen;
    QString m_name;
    std::unique_ptr<PulseStream> m_pulse;
    QTimer* m_retry = nullptr;
    // Tries of the real output since sound was last heard.
    int m_tries = 0;
};

} // namespace player
