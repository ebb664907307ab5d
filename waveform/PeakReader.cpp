#include "PeakReader.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <optional>
#include <utility>

#include <sys/resource.h>
#include <unistd.h>

namespace waveform {

namespace {

// Shorter ranges would cost more in opening and warming up than they save.
constexpr std::int64_t MinRangeBins = 10 * PeaksPerSecond;
// A sound ending this much short of the length its file says is cut short.
constexpr std::int64_t LengthTolerance = PeaksPerSecond;
// Nice 19: the player and the window get nearly all of a busy core, and the reading still moves
// on beside other programs, which the idle class would let it do only on a core nothing wants.
// Qt's thread priorities mean nothing to Linux's normal scheduling.
void LowerPriority()
{
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
}

} // namespace

struct PeakReader::Run {
    explicit Run(QString file) : path(std::move(file)) {}

    const QString path;
    std::atomic<bool> cancel{false};
    // The GUI thread's alone.
    std::vector<Range> ranges;
    std::vector<std::optional<RangeRead>> reads;
    std::int64_t said = 0;
    bool estimated = false;
};

PeakReader::PeakReader(int ranges, QObject* parent)
    : QObject(parent), m_ranges(ranges > 0 ? ranges : QThread::idealThreadCount())
{
}

PeakReader::~PeakReader()
{
    cancel();
    m_stopping.clear();
}

void PeakReader::start(const QString& path)
{
    cancel();
    std::erase_if(m_stopping, [](const auto& pool) { return pool->activeThreadCount() == 0; });
    m_run = std::make_shared<Run>(path);
    m_pool = std::make_unique<QThreadPool>();
    m_pool->setMaxThreadCount(QThread::idealThreadCount());
    m_pool->start([this, run = m_run] { readFirst(run); });
}

void PeakReader::cancel()
{
    if (!m_run)
        return;
    m_run->cancel = true;
    m_stopping.push_back(std::move(m_pool));
    m_run.reset();
}

void PeakReader::post(const std::shared_ptr<Run>& run, std::function<void()> call)
{
    QMetaObject::invokeMethod(
        this,
        [this, run, call = std::move(call)] {
            if (run == m_run)
                call();
        },
        Qt::QueuedConnection);
}

void PeakReader::readFirst(const std::shared_ptr<Run>& run)
{
    auto opened = SoundFile::Open(run->path, run->cancel);
    if (const auto* error = std::get_if<platform::Error>(&opened)) {
        post(run, [this, error = *error] { emit failed(error); });
        return;
    }
    auto& file = std::get<std::unique_ptr<SoundFile>>(opened);
    if (!file->hasSound()) {
        post(run, [this] { emit started(0, false); });
        post(run, [this] { emit finished(true, 0); });
        return;
    }

    const std::int64_t bins = file->bins();
    const std::int64_t count = bins == 0 ? 1 : std::clamp<std::int64_t>(bins / MinRangeBins, 1, m_ranges);
    std::vector<Range> ranges;
    for (std::int64_t i = 0; i < count; ++i)
        ranges.push_back({bins * i / count, i + 1 == count ? -1 : bins * (i + 1) / count});
    post(run, [this, run, ranges, bins, estimated = file->lengthEstimated()] {
        run->ranges = ranges;
        run->reads.assign(ranges.size(), std::nullopt);
        run->said = bins;
        run->estimated = estimated;
        emit started(bins, true);
    });
    for (std::size_t i = 1; i < ranges.size(); ++i)
        m_pool->start([this, run, i, range = ranges[i]] { readRange(run, i, range, nullptr, false); });
    readRange(run, 0, ranges[0], std::move(file), true);
}

void PeakReader::readRange(const std::shared_ptr<Run>& run, std::size_t index, Range range,
                           std::unique_ptr<SoundFile> file, bool firstPeaksFirst)
{
    if (!firstPeaksFirst)
        LowerPriority();
    RangeRead result{RangeRead::Damaged, range.first};
    if (!file) {
        auto opened = SoundFile::Open(run->path, run->cancel);
        if (auto* opening = std::get_if<std::unique_ptr<SoundFile>>(&opened))
            file = std::move(*opening);
    }
    if (file && file->hasSound()) {
        try {
            result = file->read(range.first, range.end, [&](std::int64_t first, std::vector<Peak> values) {
                post(run, [this, first, values = std::move(values)] { emit read(first, values); });
                if (std::exchange(firstPeaksFirst, false))
                    LowerPriority();
            });
        } catch (const std::bad_alloc&) {
            // Memory ran out: what was read stays, the rest is unknown.
        }
    }
    post(run, [this, run, index, result] { rangeRead(*run, index, result); });
}

void PeakReader::rangeRead(Run& run, std::size_t index, RangeRead result)
{
    run.reads[index] = result;
    if (std::any_of(run.reads.begin(), run.reads.end(), [](const auto& read) { return !read; }))
        return;
    // Complete when the ranges join up to where the sound ends, with nothing after it, and it ends
    // about where the file says.
    bool complete = true;
    bool soundEnded = false;
    std::int64_t end = 0;
    for (std::size_t i = 0; i < run.reads.size(); ++i) {
        const RangeRead& read = *run.reads[i];
        complete = complete && (read.ending == RangeRead::Reached || read.ending == RangeRead::EndOfSound);
        if (soundEnded) {
            complete = complete && read.endBin == run.ranges[i].first;
            continue;
        }
        end = read.endBin;
        soundEnded = read.ending == RangeRead::EndOfSound;
    }
    complete = complete && (run.estimated || end + LengthTolerance >= run.said);
    emit finished(complete, end);
}

} // namespace waveform
