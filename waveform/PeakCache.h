#pragma once

#include "Peaks.h"

#include <QString>

#include <optional>

namespace waveform {

// A recording as the waveform knows it again: by its full path, its size and when it was last
// changed; the same path with another size or time is another recording.
struct RecordingKey {
    QString path;
    qint64 size = 0;
    qint64 modified = 0; // milliseconds since the epoch
    bool operator==(const RecordingKey&) const = default;
};
RecordingKey RecordingKeyOf(const QString& path);

// Complete waveforms kept on disk between runs, one file each in a folder of their own, the
// least recently used removed beyond MaxBytes. A file that is damaged, cut short, of another
// version or another recording's is simply not there; a folder that cannot be written to keeps
// nothing. With no folder, nothing is read or written. Each file is written under another name
// and then renamed, so that a kill never leaves half a file under a name that is read.
class PeakCache {
public:
    static constexpr qint64 MaxBytes = qint64{200} * 1024 * 1024;

    explicit PeakCache(QString folder = {}) : m_folder(std::move(folder)) {}

    const QString& folder() const { return m_folder; }
    void setFolder(const QString& folder) { m_folder = folder; }

    // Marks the file as used just now.
    std::optional<Peaks> read(const RecordingKey& key) const;
    void write(const RecordingKey& key, const Peaks& peaks) const;
    // Removes the folder with everything in it.
    void remove() const;

private:
    QString pathOf(const RecordingKey& key) const;
    void trim() const;

    QString m_folder;
};

} // namespace waveform
