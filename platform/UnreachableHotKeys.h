#pragma once

#include "HotKeyBackend.h"

namespace platform {

// The keys of a Wayland session that offers programs no way to hear keys pressed elsewhere:
// neither the portal's global shortcuts nor XWayland. Keys are taken, so the program starts and
// its window, buttons and media controls work, but no press ever arrives; the window says so.
class UnreachableHotKeys final : public HotKeyBackend {
public:
    bool Grab(const HotKey&) override { return true; }
    void Release(const HotKey&) override {}
};

} // namespace platform
