#pragma once

#include "Pedals.h"

#include <QTimer>

#include <functional>

namespace pedal {

// What the pedals ask of the player: the middle pedal plays while it is held and pauses at its
// release; the left steps back and the right forward at the press, then every RepeatMs while
// held; the top pedal inserts a timestamp at its press. A pedal held on several foot controls at once counts as released when the last lets go.
// GUI thread only; the commands must not raise errors, since repeats run from the event loop.
class PedalCommands {
public:
    static constexpr int RepeatMs = 500;

    struct Commands {
        std::function<void()> play;
        std::function<void()> pause;
        std::function<void()> back;
        std::function<void()> forward;
        std::function<void()> timestamp;
    };

    explicit PedalCommands(Commands commands);

    void press(Pedal pedal);
    void release(Pedal pedal);
    // How many foot controls hold the pedal down.
    int holds(Pedal pedal) const;

private:
    static int indexOf(Pedal pedal);
    QTimer* repeatOf(Pedal pedal);

    Commands m_commands;
    int m_holds[4] = {0, 0, 0, 0};
    QTimer m_backRepeat;
    QTimer m_forwardRepeat;
};

} // namespace pedal
