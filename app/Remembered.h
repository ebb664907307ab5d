#pragma once

#include "Timestamp.h"

#include <QString>

#include <cstdint>

namespace app {

// The choices the program can keep between runs: the repeat's length and the timestamps' format.
struct Choices {
    int repeatSeconds = 5;
    TimestampFormat timestampFormat = TimestampFormat::Hashes;
};

// The lengths a repeat can have, in seconds.
inline constexpr int RepeatLengths[] = {3, 5, 8, 12};

// What the program keeps between runs, only once the user has asked for it: one settings file in
// a folder of the program's own under the user's configuration folder. The file being there means
// remembering is on; while it is off nothing is written. Interview recordings are often
// confidential, so turning it off removes the folder with all it holds at once. A value that is
// missing, unreadable or out of range in the file is ignored on its own: its default stands.
// Qt keeps settings of its own (the file dialog's last folders): they go to the same folder while
// remembering is on, and nowhere while it is off. Errors are raised as platform::Error with the
// numbers below.
class Remembered {
public:
    static constexpr std::int32_t ErrWrite = 1101;
    static constexpr std::int32_t ErrRemove = 1102;

    // configFolder: the user's configuration folder ($XDG_CONFIG_HOME or ~/.config).
    explicit Remembered(const QString& configFolder);

    bool on() const { return m_on; }
    QString folder() const { return m_folder; }
    // The choices as the file holds them, the defaults where it holds none it may; the defaults
    // while remembering is off.
    Choices read() const;
    // Turns remembering on by writing the choices; if they cannot be written, it stays off.
    void turnOn(const Choices& choices);
    void turnOff();
    // Writes the changed choices at once while remembering is on.
    void keep(const Choices& choices);

private:
    QString path() const;
    void write(const Choices& choices);
    // Where Qt's own settings go now.
    void placeQtSettings() const;

    QString m_folder;
    bool m_on = false;
};

} // namespace app
