#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace platform {

// Turns SIGTERM, SIGINT and SIGHUP into a call of `requested` on the GUI thread, so the
// program can close its window and give its hot keys back. One object per program; the
// signals' default handling returns when it ends.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(std::function<void()> requested);
    ~TerminationSignals() override;

private:
    std::function<void()> m_requested;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace platform
