#pragma once

#include "MediaPlayer.h"

#include <QStyle>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class QSlider;
class QTimer;
class QToolButton;

namespace platform {
class LastResort;
}

namespace player {

class MpvCore;
class MpvVideo;
class SoundChain;
class SoundOutput;
struct MpvEvent;

// The media player on libmpv: the picture above the player's own controls (play/pause, stop,
// a seek bar, the time, mute and volume), all in this one widget, which the window places.
// Local files only; the user's mpv configuration is never read. Starts with volume 50, not
// muted, rate 1.0 and autoStart on. Its own menu (contextMenu) repeats the transport and mute
// and holds the sound choices (SoundChain), which stay for the run, also for the next file.
//
// Threads and ownership: GUI thread only. libmpv is loaded and its core made on first use, at the
// latest right after the player is first painted. The widget owns the core through a shared
// owner with the picture, so the render context always goes before the core. Everything Qt or mpv calls
// into (the player's own buttons, end of file, engine events) runs inside the given last resort,
// so no error reaches the event loop; PlayStateChange handlers that fail there end up in it.
//
// Play states: Undefined with no medium, Ready after opening without starting, Playing only
// while it plays, Paused, Stopped (the player's stop button: paused at 0), MediaEnded at the
// end (it stays open there). play and pause without a medium succeed and do nothing; so does
// pause while not playing, and play at the end.
//
// Without a working sound output (no sound server, no device) media play in silence and in
// real time, and the mute button says so. Meanwhile the real output is tried again
// (SoundOutput); once it opens, sound goes on from the position shown.
//
// Errors (PlayerErrors.h): setURL raises CannotOpen for a file it cannot play (known within
// milliseconds as a rule, within two seconds at the latest) and then has no medium;
// setCurrentPosition raises InvalidPosition for a negative, infinite or NaN position and
// NoMedium without a medium; setRate raises InvalidRate; a failed engine request raises
// EngineFailure.
class MpvPlayer final : public QWidget, public MediaPlayer {
    Q_OBJECT
public:
    // Raises EngineFailure if libmpv cannot be started.
    explicit MpvPlayer(platform::LastResort& lastResort, QWidget* parent = nullptr);
    ~MpvPlayer() override;

    QWidget& widget() override { return *this; }

    bool autoStart() const override { return m_autoStart; }
    void setAutoStart(bool autoStart) override { m_autoStart = autoStart; }
    double rate() const override { return m_rate; }
    void setRate(double rate) override;

    // Opens a local file (a path or a file: URL); returns once it is open.
    QString URL() const override { return m_url; }
    void setURL(const QString& url) override;

    std::int32_t playState() const override { return m_playState; }

    void play() override;
    void pause() override;
    // A position set, or reached by pausing, is reported exactly until playback runs again.
    // One at or past the end goes to the end.
    double currentPosition() const override;
    void setCurrentPosition(double seconds) override;
    // While playing, the position of the sound heard now, as mpv's clock tells it: the reported
    // position lags it by some tens of milliseconds. Otherwise currentPosition().
    double heardPosition() const;
    double duration() const override;
    // A repeat lasts while the position stays inside it; a position set elsewhere ends it.
    void repeatLast(double seconds) override;
    std::optional<Passage> repeat() const override { return m_passage; }
    void endRepeat() override;
    void showPedal(const QString& models) override;
    QMenu& contextMenu() override { return *m_menu; }

    // True from a change of position until the engine has the new position ready to play.
    bool seekPending() const { return m_seek != Seek::None; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum class Seek { None, Requested, Running };

    MpvCore& engine();
    void buildControls();
    void buildMenu();
    void refreshMenu();
    void connectControls();
    void layoutControls();
    void refreshControls();
    void showSound();
    void reopenSoundOutput();
    // Each name stands for one icon.
    void showAs(QToolButton& button, QStyle::StandardPixmap icon, const QString& name);

    void onEvent(const MpvEvent& event);
    void onEndReached();
    // reason by value: it may live in the opening state that this clears.
    void refuse(const QString& path, QString reason);
    bool hasTrack(const char* kind) const;
    // Of the sound track played; 0 without one.
    int soundChannels() const;
    void seekTo(double seconds);
    // Pauses mpv, keeping the position of the last sound heard; the play state stays.
    void stopSound();
    void stop();
    void togglePlay();
    void setState(std::int32_t state);

    platform::LastResort& m_lastResort;
    std::shared_ptr<MpvCore> m_core;
    bool m_engineRequested = false;
    MpvVideo* m_video = nullptr;
    QToolButton* m_playPause = nullptr;
    QToolButton* m_stop = nullptr;
    QSlider* m_seekBar = nullptr;
    QLabel* m_time = nullptr;
    QToolButton* m_mute = nullptr;
    QSlider* m_volume = nullptr;
    QLabel* m_pedal = nullptr;
    QTimer* m_refresh = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_menuPlay = nullptr;
    QAction* m_menuPause = nullptr;
    QAction* m_menuStop = nullptr;
    QAction* m_menuMute = nullptr;
    SoundChain* m_sound = nullptr;
    int m_timeWidth = 0;

    bool m_autoStart = true;
    double m_rate = 1.0;
    QString m_url;
    std::int32_t m_playState = Undefined;

    // The playlist entry of the open file, or of the file being opened; 0 for none.
    std::int64_t m_entry = 0;
    // The entry mpv started last.
    std::int64_t m_started = 0;
    double m_duration = 0;
    SoundOutput* m_soundOutput = nullptr;
    // While a file is being opened: the outcome.
    struct Opening {
        bool loaded = false;
        std::optional<QString> failure;
    };
    std::optional<Opening> m_opening;

    Seek m_seek = Seek::None;
    // The position last set, reported until playback runs from it (see currentPosition).
    std::optional<double> m_heldPosition;
    std::optional<Passage> m_passage;
};

} // namespace player
