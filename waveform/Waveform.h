#pragma once

#include "PeakCache.h"
#include "PeakReader.h"
#include "Peaks.h"

#include "platform/Error.h"

#include <QObject>
#include <QString>

#include <deque>
#include <future>
#include <optional>
#include <utility>

namespace waveform {

// The waveform of the recording open now, for the GUI thread: shown at once when this run or the
// disk cache knows it, else read in the background and filled in as the reading goes on.
class Waveform final : public QObject {
    Q_OBJECT
public:
    enum class Reading {
        None,       // no recording open
        UnderWay,
        Complete,   // every peak is known
        Incomplete, // the file is damaged or cut short: the peaks not read stay unknown
        Failed,     // see error()
    };

    // ranges: as PeakReader's.
    explicit Waveform(int ranges = 0, QObject* parent = nullptr);
    // Waits for a cache file being written.
    ~Waveform() override;

    // Stops a reading under way; reset() comes at once, changed() as peaks become known.
    void open(const QString& path);
    void close();
    // Where complete waveforms are kept between runs; empty for nowhere.
    void setCacheFolder(const QString& folder);
    // Removes the cache folder with everything in it; the waveforms of this run stay.
    void removeCache();

    const Peaks& peaks() const { return m_peaks; }
    Reading reading() const { return m_reading; }
    const std::optional<platform::Error>& error() const { return m_error; }

signals:
    // Another recording (or none): the peaks are empty.
    void reset();
    // The peaks of bins [firstBin, endBin) are new; the peaks may have grown or shrunk to endBin.
    void changed(qint64 firstBin, qint64 endBin);
    // The reading has ended, as reading() says.
    void readingEnded();

private:
    void connectReader();
    void show(Peaks peaks);
    void keep(const Peaks& peaks);
    void end(Reading reading);
    void waitForWriting();

    PeakReader m_reader;
    PeakCache m_cache;
    RecordingKey m_key;
    Peaks m_peaks;
    Reading m_reading = Reading::None;
    std::optional<platform::Error> m_error;
    // The waveforms read last in this run, the last first: going back and forth between a few
    // recordings is common, and each is about 2 MB for three hours.
    static constexpr std::size_t KeptInMemory = 4;
    std::deque<std::pair<RecordingKey, Peaks>> m_kept;
    // Writing a cache file takes some tens of milliseconds, which keys must not wait for; one
    // at a time, and none left running when the folder changes or goes.
    std::future<void> m_writing;
};

} // namespace waveform
