#include "Waveform.h"

#include <algorithm>

namespace waveform {

Waveform::Waveform(int ranges, QObject* parent) : QObject(parent), m_reader(ranges)
{
    connectReader();
}

Waveform::~Waveform()
{
    waitForWriting();
}

void Waveform::waitForWriting()
{
    if (m_writing.valid())
        m_writing.wait();
}

void Waveform::connectReader()
{
    connect(&m_reader, &PeakReader::started, this, [this](qint64 bins, bool hasSound) {
        m_peaks.hasSound = hasSound;
        m_peaks.values.assign(static_cast<std::size_t>(bins), Peak{});
        emit changed(0, bins);
    });
    connect(&m_reader, &PeakReader::read, this, [this](qint64 first, const std::vector<Peak>& values) {
        const auto end = static_cast<std::size_t>(first) + values.size();
        if (end > m_peaks.values.size())
            m_peaks.values.resize(end);
        std::copy(values.begin(), values.end(), m_peaks.values.begin() + first);
        emit changed(first, static_cast<qint64>(end));
    });
    connect(&m_reader, &PeakReader::finished, this, [this](bool complete, qint64 bins) {
        if (!complete) {
            end(Reading::Incomplete);
            return;
        }
        const auto before = static_cast<qint64>(m_peaks.values.size());
        m_peaks.values.resize(static_cast<std::size_t>(bins));
        if (bins != before)
            emit changed(std::min(bins, before), bins);
        keep(m_peaks);
        if (!m_cache.folder().isEmpty()) {
            waitForWriting();
            m_writing = std::async(std::launch::async, [cache = m_cache, key = m_key, peaks = m_peaks] { cache.write(key, peaks); });
        }
        end(Reading::Complete);
    });
    connect(&m_reader, &PeakReader::failed, this, [this](const platform::Error& error) {
        m_error = error;
        end(Reading::Failed);
    });
}

void Waveform::open(const QString& path)
{
    close();
    m_key = RecordingKeyOf(path);
    m_reading = Reading::UnderWay;
    std::optional<Peaks> known;
    const auto kept = std::find_if(m_kept.begin(), m_kept.end(), [&](const auto& entry) { return entry.first == m_key; });
    if (kept != m_kept.end())
        known = kept->second;
    else
        known = m_cache.read(m_key);
    if (known) {
        keep(*known);
        show(std::move(*known));
        return;
    }
    m_reader.start(path);
}

void Waveform::close()
{
    m_reader.cancel();
    m_key = {};
    m_peaks = {};
    m_reading = Reading::None;
    m_error.reset();
    emit reset();
}

void Waveform::setCacheFolder(const QString& folder)
{
    waitForWriting();
    m_cache.setFolder(folder);
}

void Waveform::removeCache()
{
    waitForWriting();
    m_cache.remove();
}

void Waveform::show(Peaks peaks)
{
    m_peaks = std::move(peaks);
    emit changed(0, static_cast<qint64>(m_peaks.values.size()));
    end(Reading::Complete);
}

void Waveform::keep(const Peaks& peaks)
{
    std::erase_if(m_kept, [&](const auto& known) { return known.first == m_key; });
    m_kept.emplace_front(m_key, peaks);
    if (m_kept.size() > KeptInMemory)
        m_kept.pop_back();
}

void Waveform::end(Reading reading)
{
    m_reading = reading;
    emit readingEnded();
}

} // namespace waveform
