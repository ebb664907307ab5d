#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;

namespace player {

// The player's "Sound" menu and the audio filters it puts into mpv's chain, ahead of the
// pitch-keeping speed: four fixes for recordings that are hard to hear, each one or more of
// FFmpeg's filters. A choice applies at once, while playing or paused, stays for the rest of the
// run (also for the next file) and starts off.
//
// A choice whose filter the installed FFmpeg lacks is greyed out with a tooltip that says so; so
// is one the engine refuses later, which then goes back off. Nothing of this reaches the user
// as an error. GUI thread only; the entries belong to the menu given.
class SoundChain final : public QObject {
public:
    // Gives mpv the audio filter list; raises platform::Error when the engine refuses it.
    using Engine = std::function<void(const QByteArray& filters)>;

    explicit SoundChain(QMenu& menu);

    // Tries each choice's filters on the engine (no file may be open), greys out those it
    // refuses and from now on gives it the chosen filters.
    void attach(Engine engine);
    // The open file's number of sound channels; 0 while none is open or while one opens (no
    // channel is picked then, as a channel the file lacks would break its sound). With one,
    // "Channels" has no effect and is greyed out; the choice made stays for the next file.
    void setChannelCount(int channels);

    // The playback rate. Away from 1.0 the chain ends in the pitch-keeping speed; at 1.0 that has
    // nothing to do, and libmpv 0.35's scaletempo2 miscounts its delay there, which starts the
    // sound after an exact seek some 10 ms before the position sought.
    void setRate(double rate);

    // mpv's audio filter list for what is chosen and has an effect on the open file.
    QByteArray filters() const;

private:
    struct Fix {
        QAction* action;
        QByteArray filters;
    };

    QByteArray filtersWith(const std::vector<const Fix*>& fixes) const;
    std::vector<const Fix*> chosen() const;
    // Hands the engine the chain after `changed` was chosen or cleared, if that changed it; if
    // the engine refuses, `changed` goes back and is greyed out.
    void apply(QAction* changed);
    void give(QAction* changed);
    const Fix* fixOf(const QAction* action) const;
    void refuse(const Fix& fix);
    void showChannels();

    Engine m_engine;
    std::vector<Fix> m_fixes;
    std::vector<Fix> m_channels;
    QMenu* m_channelsMenu = nullptr;
    QActionGroup* m_channelGroup = nullptr;
    QAction* m_lastChannel = nullptr;
    int m_channelCount = 0;
    double m_rate = 1.0;
    QByteArray m_applied;
};

} // namespace player
