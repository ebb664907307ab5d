#pragma once

#include <QString>

namespace platform {

// Whether the user's session is a Wayland one (WAYLAND_DISPLAY set or XDG_SESSION_TYPE=wayland).
bool IsWaylandSession();

// Where the user's desktop lets the user give programs their global keys, in the desktop's own
// words (XDG_CURRENT_DESKTOP tells which desktop it is).
QString HotKeySettingsPlace();

// In a Wayland session with XWayland, asks Qt for its xcb platform unless the user chose one:
// there the window can be restored and raised as on X11. Where XWayland fails, Qt falls back to
// Wayland. Call before the application object exists.
void PreferXWayland();

} // namespace platform
