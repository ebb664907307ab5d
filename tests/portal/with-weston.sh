#!/usr/bin/env bash
# Runs one command as a client of a Wayland compositor of its own (headless weston), on Qt's
# Wayland platform and with no X server to fall back on.
set -u
runtime=$(mktemp -d "${TMPDIR:-/tmp}/horchpult-wl.XXXXXX")
chmod 700 "$runtime"
cleanup() {
    [ -n "${server:-}" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$runtime"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$runtime"
# Weston before 12 (Debian 12 has 10) names its backends by their modules, later ones by short names.
backend=headless
[ "$(weston --version | grep -oE '[0-9]+' | head -n 1)" -lt 12 ] && backend=headless-backend.so
weston --backend="$backend" --socket=wayland-horchpult --idle-time=0 --no-config \
    >"$runtime/weston.log" 2>&1 &
server=$!
for _ in $(seq 200); do
    [ -S "$runtime/wayland-horchpult" ] && break
    sleep 0.05
done
if [ ! -S "$runtime/wayland-horchpult" ]; then
    echo "with-weston: the compositor did not start" >&2
    cat "$runtime/weston.log" >&2
    exit 1
fi
export WAYLAND_DISPLAY=wayland-horchpult
export QT_QPA_PLATFORM=wayland
# Headless weston has no seat, and Qt 6.4's Wayland input method then reads a missing keyboard
# whenever a focused, empty line edit draws its cursor. Without a keyboard there is nothing to
# compose either.
export QT_IM_MODULE=none
export DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/no-session-bus"
unset DISPLAY
"$@"
