#include "PedalReader.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace pedal {

namespace {
// Longer than any pedal's report, so that a longer one is seen as too long, not cut to size.
constexpr std::size_t ReadSize = 256;
// Reports taken at one wake-up; a device that floods is read on at the next turn of the loop,
// so the window never stalls behind it.
constexpr int ReportsPerWakeup = 64;
} // namespace

PedalReader::PedalReader(int fd, Decoder decode) : m_fd(fd), m_decode(decode)
{
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { readReports(); });
}

PedalReader::~PedalReader()
{
    // Quietly: whoever listened may be gone already.
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

void PedalReader::readReports()
{
    std::array<std::uint8_t, ReadSize> report{};
    for (int i = 0; i < ReportsPerWakeup && m_fd >= 0; ++i) {
        const ssize_t length = ::read(m_fd, report.data(), report.size());
        if (length > 0) {
            if (const std::optional<Pedals> now = m_decode({report.data(), static_cast<std::size_t>(length)}))
                apply(*now);
        } else if (length < 0 && errno == EINTR) {
            continue;
        } else if (length < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        } else {
            end();
        }
    }
}

void PedalReader::end()
{
    if (m_fd < 0)
        return;
    // Disabled, not deleted: this may run inside the notifier's own signal.
    m_notifier->setEnabled(false);
    ::close(m_fd);
    m_fd = -1;
    apply(0);
    Ended.raise();
}

void PedalReader::apply(Pedals now)
{
    // A handler may run an event loop (a message box) in which later reports, or the end, are
    // taken: then those count, and what is left of this one is dropped.
    const unsigned report = ++m_reports;
    const Pedals released = m_held & ~now;
    const Pedals pressed = now & ~m_held;
    for (const Pedal pedal : AllPedals) {
        if ((released & pedal) != 0 && m_reports == report) {
            m_held &= ~pedal;
            Released.raise(pedal);
        }
    }
    for (const Pedal pedal : AllPedals) {
        if ((pressed & pedal) != 0 && m_reports == report) {
            m_held |= pedal;
            Pressed.raise(pedal);
        }
    }
}

} // namespace pedal
