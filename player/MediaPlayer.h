#pragma once

#include "platform/Event.h"

#include <QRectF>
#include <QString>

#include <cstdint>
#include <optional>

class QMenu;
class QWidget;

namespace player {

// The media player the window hosts, as the window uses it. Every call either succeeds or
// raises platform::Error; the window never looks at anything else. PlayStateChange is raised
// on the GUI thread after every change of the play state, whoever caused it (the window's
// commands or the player's own buttons). Geometry is in twips of the parent's client area and
// is kept exactly as set; the widget follows it through the one twips conversion.
class MediaPlayer {
public:
    // playState values
    static constexpr std::int32_t Undefined = 0;
    static constexpr std::int32_t Stopped = 1;
    static constexpr std::int32_t Paused = 2;
    static constexpr std::int32_t Playing = 3;
    static constexpr std::int32_t MediaEnded = 8;
    static constexpr std::int32_t Transitioning = 9;
    static constexpr std::int32_t Ready = 10;

    virtual ~MediaPlayer() = default;

    // The widget that shows the picture and the player's own controls.
    virtual QWidget& widget() = 0;

    // settings.autoStart, settings.rate
    virtual bool autoStart() const = 0;
    virtual void setAutoStart(bool autoStart) = 0;
    virtual double rate() const = 0;
    virtual void setRate(double rate) = 0;

    // URL: assigning opens the file and returns once it is open, or raises when it is refused.
    virtual QString URL() const = 0;
    virtual void setURL(const QString& url) = 0;

    virtual std::int32_t playState() const = 0;

    // controls.play, controls.pause, controls.currentPosition (seconds from the start)
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual double currentPosition() const = 0;
    virtual void setCurrentPosition(double seconds) = 0;
    // The open medium's length in seconds; 0 without a medium or while the length is unknown.
    virtual double duration() const = 0;

    // A passage played over and over: from its start to its end, then from its start again.
    struct Passage {
        double from = 0;
        double to = 0;
        // Played to its end at least once.
        bool heardWhole = false;
    };
    // Plays the `seconds` before the last sound heard (where a pause left the position; while
    // playing, the sound heard now) over and over at the rate set, fewer where the medium begins
    // sooner. Raises NoMedium without a medium.
    virtual void repeatLast(double seconds) = 0;
    // The repeat playing, or paused inside; none when there is none.
    virtual std::optional<Passage> repeat() const = 0;
    // Ends the repeat where playback is, playing or paused as it was.
    virtual void endRepeat() = 0;

    // Shows in the player's controls that foot pedals are plugged in, naming their models;
    // empty: none, and nothing shows.
    virtual void showPedal(const QString& models) = 0;

    // The player's own menu: a right click on the picture or the control strip, the Menu key or
    // Shift+F10 while the player has the focus. The window may add entries of its own at its end.
    virtual QMenu& contextMenu() = 0;

    float Left() const { return m_left; }
    float Top() const { return m_top; }
    float Width() const { return m_width; }
    float Height() const { return m_height; }
    void setLeft(float twips);
    void setTop(float twips);
    void setWidth(float twips);
    void setHeight(float twips);

    // PlayStateChange(NewState)
    platform::Event<std::int32_t> PlayStateChange;
    // A repeat began or ended, whoever ended it: a position set outside it, the player's own
    // seek bar or stop button, another file.
    platform::Event<> RepeatChange;

protected:
    // Places the widget after a change of the twips geometry.
    void placeWidget();

private:
    float m_left = 0;
    float m_top = 0;
    float m_width = 0;
    float m_height = 0;
};

} // namespace player
