#!/usr/bin/env bash
# Runs one command under an X server of its own, so tests never share key grabs or focus.
# The display number is chosen by the server itself (-displayfd), which is safe in parallel.
set -u
runtime=$(mktemp -d "${TMPDIR:-/tmp}/horchpult-x.XXXXXX")
cleanup() {
    [ -n "${server:-}" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$runtime"
}
trap cleanup EXIT
mkfifo "$runtime/displayfd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$runtime/displayfd" 2>"$runtime/xvfb.log" &
server=$!
if ! read -r -t 20 display <"$runtime/displayfd"; then
    echo "with-xvfb: the X server did not start" >&2
    cat "$runtime/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$display"
export XDG_RUNTIME_DIR="$runtime"
chmod 700 "$runtime"
# No session bus: a Qt program must not start one that outlives it.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/no-session-bus"
unset WAYLAND_DISPLAY XDG_CURRENT_DESKTOP
export XDG_SESSION_TYPE=x11
# A desktop portal that a test's own bus starts finds none of the backends this machine happens
# to have (a KDE user's GlobalShortcuts, say); tests that want one bring their own.
mkdir "$runtime/portals"
export XDG_DESKTOP_PORTAL_DIR="$runtime/portals"
"$@"
