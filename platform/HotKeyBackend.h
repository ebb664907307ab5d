#pragma once

#include "Messages.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace platform {

// One registered combination as the platform hands it to a backend. The name is what the
// registering code called the key (the text its atom was made from); the description says what
// the key does, for desktops that show it to the user.
struct HotKey {
    HWND hwnd = 0;
    std::int32_t id = 0;
    std::uint32_t fsModifiers = 0;
    std::uint32_t vk = 0;
    QString name;
    QString description;
};

// A way of making key combinations reach the program whichever program has the keyboard focus:
// key grabs on an X server, or the desktop portal's global shortcuts. The platform checks keys,
// flags and duplicates before it asks; a backend only says whether the desktop took the key.
// Presses reach `Pressed` on the GUI thread, one call per press. Owned by the platform.
class HotKeyBackend {
public:
    using Pressed = std::function<void(const HotKey& key)>;

    virtual ~HotKeyBackend() = default;

    // False, with the thread's last error set, when the desktop refuses the key at once.
    virtual bool Grab(const HotKey& key) = 0;
    virtual void Release(const HotKey& key) = 0;
};

} // namespace platform
