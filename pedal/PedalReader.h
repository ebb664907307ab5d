#pragma once

#include "Decoders.h"
#include "Pedals.h"

#include "platform/Event.h"

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace pedal {

// Reads one foot control through a file descriptor without ever blocking: a hidraw node, or any
// descriptor each of whose reads returns one report (a SOCK_SEQPACKET socket pair in the tests).
// Reports the decoder refuses are ignored. The end of the stream or a failed read (the device
// was unplugged) releases every pedal still held, then raises Ended; so does end().
//
// GUI thread only. The reader owns the descriptor and closes it when it ends or goes. Handlers
// must not raise errors: they run from the event loop. Pressed and Released come in the order
// the pedals' bits changed; within one report releases come first, each in the order left,
// middle, right.
class PedalReader final : public QObject {
public:
    // fd: open for reading; made non-blocking here.
    PedalReader(int fd, Decoder decode);
    ~PedalReader() override;

    Pedals held() const { return m_held; }
    bool reading() const { return m_fd >= 0; }
    // Stops reading as an unplug does: held pedals are released, the descriptor closed.
    void end();

    platform::Event<Pedal> Pressed;
    platform::Event<Pedal> Released;
    platform::Event<> Ended;

private:
    void readReports();
    void apply(Pedals now);

    int m_fd;
    Decoder m_decode;
    Pedals m_held = 0;
    // Reports applied so far, the end included.
    unsigned m_reports = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace pedal
