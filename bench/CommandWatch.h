#pragma once

// Key presses at the real window measured until the player has done their command: the user is a
// thread with a second Xlib connection that holds the focus and presses the keys through XTest;
// it reads the steady clock just before flushing a press, the GUI thread reads it when it sees
// the command done. Shared by the benchmarks that press F2 and F1 at the playing window.
#include "e2e/WindowUser.h"
#include "x11/XClient.h"

#include "player/MediaPlayer.h"

#include <QObject>
#include <QTimer>

#include <X11/keysym.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

using Clock = std::chrono::steady_clock;

// Lets playback run on between commands, as it does while someone types.
inline constexpr auto PlayingGap = std::chrono::milliseconds(30);

inline double Milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// What the GUI thread watches for after a press, and when it saw it.
class Watch {
public:
    enum class For { Nothing, NotPlaying, PositionAtMost };

    explicit Watch(player::MediaPlayer& player) : m_player(player)
    {
        // Without a position event, only polling in every turn of the event loop sees the
        // first moment the position reads back.
        m_poll.setInterval(0);
        QObject::connect(&m_poll, &QTimer::timeout, [this] { Check(); });
        m_player.PlayStateChange.connect([this](std::int32_t) { Check(); });
    }

    // On the GUI thread.
    void Arm(For what, double threshold = 0)
    {
        const std::lock_guard lock(m_mutex);
        m_for = what;
        m_threshold = threshold;
        m_seen = false;
        m_poll.start();
    }

    // On the user's thread; false when it was not seen in time.
    bool Wait(Clock::time_point& at)
    {
        using namespace std::chrono_literals;
        std::unique_lock lock(m_mutex);
        const bool seen = m_changed.wait_for(lock, 3s, [this] { return m_seen; });
        at = m_at;
        return seen;
    }

    void Disarm()
    {
        const std::lock_guard lock(m_mutex);
        m_for = For::Nothing;
        m_poll.stop();
    }

private:
    void Check()
    {
        const Clock::time_point now = Clock::now();
        std::unique_lock lock(m_mutex);
        if (m_seen || m_for == For::Nothing)
            return;
        const bool done = m_for == For::NotPlaying ? m_player.playState() != player::MediaPlayer::Playing
                                                   : m_player.currentPosition() <= m_threshold;
        if (!done)
            return;
        m_seen = true;
        m_at = now;
        m_for = For::Nothing;
        m_poll.stop();
        lock.unlock();
        m_changed.notify_one();
    }

    player::MediaPlayer& m_player;
    QTimer m_poll;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    For m_for = For::Nothing;
    double m_threshold = 0;
    bool m_seen = false;
    Clock::time_point m_at;
};

// On the user's thread, while the player plays: lets it play on a moment, presses F2 and, once
// the player has paused, F3 again. Returns an empty text and the milliseconds from the press
// leaving the client to the player not playing, or what went wrong.
inline std::string PauseOnce(xtest::XClient& x, Watch& watch, const player::MediaPlayer& wm1, double& milliseconds)
{
    std::this_thread::sleep_for(PlayingGap);
    e2e::OnGui([&] { return watch.Arm(Watch::For::NotPlaying), 0; });
    Clock::time_point sent, done;
    x.Press(XK_F2, [&] { sent = Clock::now(); });
    const bool seen = watch.Wait(done);
    x.Release(XK_F2);
    if (!seen)
        return "did not pause";
    milliseconds = Milliseconds(done - sent);
    x.Tap(XK_F3);
    if (!e2e::Eventually([&] { return wm1.playState() == player::MediaPlayer::Playing; }))
        return "F3 does not play again";
    return {};
}
