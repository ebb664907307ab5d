#include "TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {
// The only state a signal handler may touch: the writing end of the socket pair.
int s_fds[2] = {-1, -1};
constexpr std::array<int, 3> Signals{SIGTERM, SIGINT, SIGHUP};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(s_fds[0], &byte, 1);
}
} // namespace

TerminationSignals::TerminationSignals(std::function<void()> requested) : m_requested(std::move(requested))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_fds) != 0)
        return;
    m_notifier = new QSocketNotifier(s_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(s_fds[1], &byte, 1);
        m_requested();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : Signals)
        ::sigaction(signal, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    for (int signal : Signals)
        std::signal(signal, SIG_DFL);
    if (s_fds[0] >= 0) {
        ::close(s_fds[0]);
        ::close(s_fds[1]);
        s_fds[0] = s_fds[1] = -1;
    }
}

} // namespace platform
