#pragma once

#include <QString>

#include <functional>

namespace platform {

// Typing text into the program that has the keyboard focus, as the user's own key presses would:
// X11 key presses through XTest, or the desktop portal's remote desktop on Wayland. Texts are
// typed whole, one after the other in the order given; the characters of two texts never
// interleave. `done` runs on the GUI thread once the text has been typed (true), or at once with
// false when this desktop does not let the program type (nothing of the text arrived then). When
// the focus goes to another window while a text is typed, the rest of it is dropped (true). Owned
// by the platform; `done` is never called after the object has gone.
class Typing {
public:
    using Done = std::function<void(bool typed)>;

    virtual ~Typing() = default;
    virtual void Type(const QString& text, Done done) = 0;
};

// Where no way of typing into other programs is known.
class NoTyping final : public Typing {
public:
    void Type(const QString&, Done done) override { done(false); }
};

} // namespace platform
