#pragma once

#include "Event.h"

#include <QObject>
#include <QTimer>

namespace platform {

// A timer as the window's handlers use it: Interval in milliseconds, 0 meaning stopped;
// setting a non-zero interval (re)starts it. Ticks run between handlers, on the GUI thread.
class Timer final : public QObject {
    Q_OBJECT
public:
    explicit Timer(QObject* parent = nullptr);

    int Interval() const { return m_interval; }
    void setInterval(int milliseconds);

    // Timer()
    Event<> Tick;

private:
    QTimer m_timer;
    int m_interval = 0;
};

} // namespace platform
