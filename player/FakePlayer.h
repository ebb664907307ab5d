#pragma once

#include "MediaPlayer.h"

#include <QMenu>
#include <QPointer>
#include <QStringList>
#include <QWidget>

namespace player {

// A scriptable stand-in for the window's logic tests: records every call in order ("pause",
// "rate 1.3", "play", "position 8.4", "url /a.mp3", "repeat 5", "endRepeat"), holds a settable
// play state, position, length and repeat, and fails a chosen operation with an error, from now on or at its next call only.
// play and pause raise PlayStateChange like a real player does. It owns its widget unless a
// parent has deleted it first.
class FakePlayer final : public MediaPlayer {
public:
    FakePlayer();
    ~FakePlayer() override;

    QWidget& widget() override { return *m_widget; }
    bool autoStart() const override { return m_autoStart; }
    void setAutoStart(bool autoStart) override;
    double rate() const override { return m_rate; }
    void setRate(double rate) override;
    QString URL() const override { return m_url; }
    void setURL(const QString& url) override;
    std::int32_t playState() const override;
    void play() override;
    void pause() override;
    double currentPosition() const override;
    void setCurrentPosition(double seconds) override;
    double duration() const override { return length; }
    // The passage starts `seconds` before the position; a position set outside it ends it.
    void repeatLast(double seconds) override;
    std::optional<Passage> repeat() const override { return passage; }
    void endRepeat() override;
    void showPedal(const QString& models) override { pedal = models; }
    QMenu& contextMenu() override { return m_menu; }

    // Script and record.
    QStringList calls;
    std::int32_t state = Undefined;
    double position = 0;
    double length = 0;
    std::optional<Passage> passage;
    // The pedals shown.
    QString pedal;
    // The operation ("play", "pause", "rate", "url", "position", "getPosition", "playState",
    // "autoStart") that fails from now on; empty: none.
    QString failing;
    // The operation that fails at its next call only, then no more; empty: none.
    QString failingOnce;

private:
    void Record(const QString& call, const QString& operation);
    void ChangeState(std::int32_t newState);

    QPointer<QWidget> m_widget;
    bool m_autoStart = true;
    double m_rate = 1.0;
    QString m_url;
    QMenu m_menu;
};

} // namespace player
