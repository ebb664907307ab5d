#pragma once

#include "Peaks.h"
#include "SoundFile.h"

#include "platform/Error.h"

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace waveform {

// Reads the peaks of a recording's sound on threads of its own, at the lowest priority once the
// first peaks are there, so that playback and the window never wait for it, and a busy machine
// still shows the beginning at once. The bins are split into as many ranges as there are
// cores, each decoded on its own; the result is that of decoding from the start, value for value.
//
// Made and used on the GUI thread; its signals come there, in order: started, then read as the
// peaks are decoded (the first within some tens of milliseconds), then finished; or failed alone.
// Nothing of a reading is signalled after cancel() or another start(), which return at once: the
// reading's threads end at their next packet, which at their priority may come only after some
// tens of milliseconds on a busy machine. Destroying the reader waits for them.
class PeakReader final : public QObject {
    Q_OBJECT
public:
    // ranges: how many a recording is split into; 0 for one per core.
    explicit PeakReader(int ranges = 0, QObject* parent = nullptr);
    ~PeakReader() override;

    void start(const QString& path);
    void cancel();

signals:
    // bins: the length the file says, 0 when it says none; the peaks may run on past it.
    void started(qint64 bins, bool hasSound);
    void read(qint64 firstBin, const std::vector<waveform::Peak>& values);
    // complete: every peak was decoded, and bins is then the sound's real length; otherwise the
    // file is damaged or cut short, and the peaks not read stay unknown.
    void finished(bool complete, qint64 bins);
    void failed(const platform::Error& error);

private:
    struct Run;
    struct Range {
        std::int64_t first;
        std::int64_t end; // negative: the end of the sound
    };
    // On the pool's threads.
    void readFirst(const std::shared_ptr<Run>& run);
    void readRange(const std::shared_ptr<Run>& run, std::size_t index, Range range, std::unique_ptr<SoundFile> file,
                   bool firstPeaksFirst);
    // On the GUI thread.
    void rangeRead(Run& run, std::size_t index, RangeRead result);
    void post(const std::shared_ptr<Run>& run, std::function<void()> call);

    int m_ranges;
    // Threads of the reading's own: each lowers its priority for good, which only a privileged
    // thread could raise again for the next reading's first peaks.
    std::unique_ptr<QThreadPool> m_pool;
    // The pools of cancelled readings whose threads may not have ended yet.
    std::vector<std::unique_ptr<QThreadPool>> m_stopping;
    std::shared_ptr<Run> m_run;
};

} // namespace waveform
