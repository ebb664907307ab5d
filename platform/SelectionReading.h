#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <functional>

namespace platform {

// What reading the selection of another program gave: its first bytes as the owner handed them
// over (text, in UTF-8 where the owner offers it, but any bytes may come), and where they came
// from; or why there is nothing.
struct SelectionText {
    enum class Outcome {
        Read,          // bytes holds what was read
        NothingThere,  // neither a selection nor a clipboard with text
        NoAnswer,      // a program holds one but did not hand it over in time
        CannotRead,    // this desktop lets the program read neither
    };
    Outcome outcome = Outcome::CannotRead;
    QByteArray bytes;
    // "selection" or "clipboard", for the log and the user.
    QString source;
};

// Reading the text the user has selected in whichever program has the focus: the primary
// selection, and where that is empty the clipboard. At most `limit` bytes are read, so a
// selection of any size costs no more than its first `limit`. `done` runs once on the GUI thread,
// at the latest AnswerMs after the call whatever the owner does; never after the object has gone.
// Owned by the platform. One reading at a time: a new Read while one runs ends the older one
// first with NoAnswer.
class SelectionReading {
public:
    using Done = std::function<void(const SelectionText&)>;
    // How long the owner of a selection has to hand it over: an editor converts the whole selection
    // before it hands over any of it, a Qt editor some 60 ms for five megabytes.
    static constexpr int AnswerMs = 500;

    virtual ~SelectionReading() = default;
    virtual void Read(std::size_t limit, Done done) = 0;
};

// Where no way of reading other programs' selections is known.
class NoSelectionReading final : public SelectionReading {
public:
    void Read(std::size_t, Done done) override { done({}); }
};

} // namespace platform
