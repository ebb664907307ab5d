#!/usr/bin/env bash
# Runs one command as a client of a compositor of its own whose data-control protocol lets any
# client read and set the selections: a headless sway, with no X server and no input devices.
set -u
runtime=$(mktemp -d "${TMPDIR:-/tmp}/horchpult-sway.XXXXXX")
cleanup() {
    [ -n "${client:-}" ] && kill "$client" 2>/dev/null && wait "$client" 2>/dev/null
    [ -n "${server:-}" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
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
# In the background, so that a signal to this script ends the command and sway too.
"$@" &
client=$!
wait "$client"
status=$?
client=""
exit "$status"
