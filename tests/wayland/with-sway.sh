#!/usr/bin/env bash
# Runs one command as a client of a compositor of its own whose data-control protocol lets any
# client read and set the selections: a headless sway, with no X server and no input devices.
set -u
# Listing the cases needs no compositor.
for argument in "$@"; do
    [ "$argument" = --gtest_list_tests ] && exec "$@"
done
runtime=$(mktemp -d "${TMPDIR:-/tmp}/horchpult-sway.XXXXXX")
# Ends a child, forcibly once two seconds have gone by, so that no wait can hang.
stop() {
    kill "$1" 2>/dev/null || return 0
    (sleep 2 && kill -KILL "$1" 2>/dev/null) &
    local killer=$!
    wait "$1" 2>/dev/null
    kill "$killer" 2>/dev/null
    wait "$killer" 2>/dev/null
}
cleanup() {
    [ -n "${client:-}" ] && stop "$client"
    [ -n "${server:-}" ] && stop "$server"
    rm -rf "$runtime"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP
printf 'xwayland disable\n' >"$runtime/config"
# sway refuses to run as root; there it runs as nobody, whose runtime directory root still reaches.
as=()
if [ "$(id -u)" -eq 0 ]; then
    as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    chown -R nobody:nogroup "$runtime"
fi
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"
WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    "${as[@]}" sway -c "$runtime/config" >"$runtime/sway.log" 2>&1 &
server=$!
socket=""
for _ in $(seq 200); do
    socket=$(find "$runtime" -maxdepth 1 -type s -name 'wayland-*' -printf '%f\n' | head -n 1)
    [ -n "$socket" ] && break
    sleep 0.05
done
if [ -z "$socket" ]; then
    echo "with-sway: the compositor did not start" >&2
    cat "$runtime/sway.log" >&2
    exit 1
fi
export WAYLAND_DISPLAY="$socket"
unset DISPLAY WAYLAND_SOCKET
# The socket comes before sway serves it; a first client's answer says it does.
timeout 30 wl-paste --list-types >/dev/null 2>&1
# In the background, so that a signal to this script ends the command and sway too.
"$@" &
client=$!
wait "$client"
status=$?
client=""
exit "$status"
