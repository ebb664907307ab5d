#include "DataControlSelection.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

namespace platform {

namespace {

// The text types, the most telling first: what X11 programs offer through XWayland comes under
// X11's names.
const std::array<QByteArray, 5> TextTypes{"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "STRING",
                                          "TEXT"};
constexpr std::size_t ChunkBytes = 64 * 1024;

QByteArray TextType(const std::vector<QByteArray>& offered)
{
    for (const QByteArray& type : TextTypes) {
        const bool found = std::any_of(offered.begin(), offered.end(), [&type](const QByteArray& mimeType) {
            return mimeType.compare(type, Qt::CaseInsensitive) == 0;
        });
        if (found)
            return type;
    }
    return {};
}

} // namespace

std::unique_ptr<DataControlSelection> DataControlSelection::Open()
{
    std::unique_ptr<DataControlDevice> device = DataControlDevice::Connect(ConnectMs);
    if (!device)
        return nullptr;
    return std::unique_ptr<DataControlSelection>(new DataControlSelection(std::move(device)));
}

DataControlSelection::DataControlSelection(std::unique_ptr<DataControlDevice> device)
    : m_device(std::move(device)),
      m_events(m_device->Fd(), QSocketNotifier::Read),
      m_pipeReadable(QSocketNotifier::Read)
{
    QObject::connect(&m_events, &QSocketNotifier::activated, [this] {
        // A hung-up socket stays readable: left on, the notifier would fire without end.
        if (!m_device->Pump())
            m_events.setEnabled(false);
    });
    QObject::connect(&m_pipeReadable, &QSocketNotifier::activated, [this] { TakeIn(); });
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    m_deadline.setInterval(AnswerMs);
    QObject::connect(&m_deadline, &QTimer::timeout, [this] { Finish(SelectionText::Outcome::NoAnswer); });
}

DataControlSelection::~DataControlSelection()
{
    m_pipeReadable.setEnabled(false);
    if (m_pipe >= 0)
        close(m_pipe);
}

void DataControlSelection::Read(std::size_t limit, Done done)
{
    // A loop, not a test: the older reading's done may itself start another.
    while (m_pipe >= 0)
        Finish(SelectionText::Outcome::NoAnswer);

    // The selection may have changed just before the key that asks for it: what the compositor
    // said of it is read first.
    if (!m_device->Pump()) {
        m_events.setEnabled(false);
        done({SelectionText::Outcome::CannotRead, {}, {}});
        return;
    }
    auto selection = DataControlDevice::Selection::Primary;
    QByteArray type = TextType(m_device->MimeTypes(selection));
    if (type.isEmpty()) {
        selection = DataControlDevice::Selection::Clipboard;
        type = TextType(m_device->MimeTypes(selection));
    }
    if (type.isEmpty()) {
        done({SelectionText::Outcome::NothingThere, {}, {}});
        return;
    }

    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        done({SelectionText::Outcome::CannotRead, {}, {}});
        return;
    }
    const bool asked = m_device->Receive(selection, type, ends[1]);
    close(ends[1]);
    if (!asked) {
        close(ends[0]);
        m_events.setEnabled(false);
        done({SelectionText::Outcome::CannotRead, {}, {}});
        return;
    }
    m_pipe = ends[0];
    m_limit = limit;
    m_bytes.clear();
    m_source = selection == DataControlDevice::Selection::Primary ? QStringLiteral("selection")
                                                                  : QStringLiteral("clipboard");
    m_done = std::move(done);
    m_pipeReadable.setSocket(m_pipe);
    m_pipeReadable.setEnabled(true);
    m_deadline.start();
}

void DataControlSelection::TakeIn()
{
    while (static_cast<std::size_t>(m_bytes.size()) < m_limit) {
        const auto had = static_cast<std::size_t>(m_bytes.size());
        const std::size_t wanted = std::min(ChunkBytes, m_limit - had);
        m_bytes.resize(static_cast<qsizetype>(had + wanted));
        const ssize_t got = read(m_pipe, m_bytes.data() + had, wanted);
        m_bytes.resize(static_cast<qsizetype>(had + static_cast<std::size_t>(std::max<ssize_t>(got, 0))));
        if (got > 0 || (got < 0 && errno == EINTR))
            continue;
        if (got < 0 && errno == EAGAIN)
            return;
        break; // the end, or a pipe that fails: what came is all there is
    }
    Finish(SelectionText::Outcome::Read);
}

void DataControlSelection::Finish(SelectionText::Outcome outcome)
{
    m_deadline.stop();
    m_pipeReadable.setEnabled(false);
    // Closing the read end tells a sender that is still writing to stop (EPIPE on its side).
    close(std::exchange(m_pipe, -1));
    SelectionText text{outcome, {}, m_source};
    if (outcome == SelectionText::Outcome::Read)
        text.bytes = std::exchange(m_bytes, {});
    m_bytes.clear();
    std::exchange(m_done, {})(text);
}

} // namespace platform
