#pragma once

#include "Timestamp.h"

#include "waveform/PeakCache.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <future>
#include <optional>
#include <vector>

namespace app {

// The choices the program can keep between runs: the repeat's length, the timestamps' format and
// whether the waveform shows.
struct Choices {
    int repeatSeconds = 5;
    TimestampFormat timestampFormat = TimestampFormat::Hashes;
    bool waveformShown = false;
};

// A recording as the program knows it again, as its waveform is known: by its full path, its size
// and when it was last changed.
using Recording = waveform::RecordingKey;

// The lengths a repeat can have, in seconds.
inline constexpr int RepeatLengths[] = {3, 5, 8, 12};

// What the program keeps between runs, only once the user has asked for it: one settings file in
// a folder of the program's own under the user's configuration folder. The file being there means
// remembering is on; while it is off nothing is written. Interview recordings are often
// confidential, so turning it off removes the folder with all it holds at once. A value that is
// missing, unreadable or out of range in the file is ignored on its own: its default stands.
// Qt keeps settings of its own (the file dialog's last folders): they go to the same folder while
// remembering is on, and nowhere while it is off. The file also keeps where each of the last
// recordings was left; positions change while playing, so they are written on a thread of their
// own, whole file at a time and never two at once, so that no key waits for the disk. Errors are
// raised as platform::Error with the numbers below.
class Remembered {
public:
    static constexpr std::int32_t ErrWrite = 1101;
    static constexpr std::int32_t ErrRemove = 1102;

    // configFolder: the user's configuration folder ($XDG_CONFIG_HOME or ~/.config).
    explicit Remembered(const QString& configFolder);
    // Writes the positions not yet written, waiting for a write under way first.
    ~Remembered();
    Remembered(const Remembered&) = delete;
    Remembered& operator=(const Remembered&) = delete;

    // How many recordings' positions are kept; the one left longest ago goes first.
    static constexpr std::size_t KeptRecordings = 200;

    bool on() const { return m_on; }
    QString folder() const { return m_folder; }
    // The choices as the file holds them, the defaults where it holds none it may; the defaults
    // while remembering is off.
    Choices read() const { return m_choices; }
    // Turns remembering on by writing the choices; if they cannot be written, it stays off.
    void turnOn(const Choices& choices);
    void turnOff();
    // Writes the changed choices at once while remembering is on.
    void keep(const Choices& choices);

    // Where the recording was left last, while remembering is on.
    std::optional<double> positionOf(const Recording& recording) const;
    // Keeps where the recording is left now, for a later write; nothing while remembering is off.
    void keepPosition(const Recording& recording, double seconds);
    // Starts writing the positions kept since the last write, unless a write is under way, or
    // while playing, unless one began less than WhilePlayingEvery ago; returns at once. A kill
    // loses no more than what changed since.
    static constexpr std::chrono::seconds WhilePlayingEvery{3};
    void writePositions(bool whilePlaying);

private:
    struct Position {
        Recording recording;
        double seconds;
    };
    QString path() const;
    Choices readChoices() const;
    std::vector<Position> readPositions() const;
    void write(const Choices& choices);
    // The whole file as it is to be; false when it cannot be written.
    static bool WriteFile(const QString& folder, const QString& path, const Choices& choices,
                          const std::vector<Position>& positions);
    // Where Qt's own settings go now.
    void placeQtSettings() const;

    QString m_folder;
    bool m_on = false;
    Choices m_choices;
    std::vector<Position> m_positions; // the last left first
    bool m_positionsChanged = false;
    // Each write waits for the one before it to have ended: the file is written by one at a time.
    std::future<void> m_writing;
    std::chrono::steady_clock::time_point m_lastWrite;
};

} // namespace app
