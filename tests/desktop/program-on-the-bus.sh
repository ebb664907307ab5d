#!/usr/bin/env bash
# The real program seen by a desktop's media controls, playerctl and dbus-send, on a session bus
# of the test's own: it takes its name, says who it is, reads as stopped without a medium, and
# Play without a medium changes nothing. Without any session bus it starts as before and says
# nothing about it. Started with a recording, on its command line or by "Open with" through its
# launcher (gio launch), it opens it ready to play, and F3 plays it. Run under tests/with-xvfb.sh.
# Usage: program-on-the-bus.sh PROGRAM LAUNCHER
set -uo pipefail
program=$1
launcher=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/horchpult-mpris.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# Waits up to 20 seconds for a command to succeed.
wait_for() {
    for _ in $(seq 200); do "$@" && return 0; sleep 0.1; done
    return 1
}
get() {
    dbus-send --session --print-reply=literal --dest=org.mpris.MediaPlayer2.horchpult \
        /org/mpris/MediaPlayer2 org.freedesktop.DBus.Properties.Get "string:$1" "string:$2" 2>&1
}
window_shown() { xwininfo -root -tree | grep -q '"horchpult": ("horchpult"'; }
export HORCHPULT_AO=null

# Without a session bus.
DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" "$program" 2>"$work/alone.err" &
alone=$!
pids+=("$alone")
wait_for window_shown || fail "without a session bus the program showed no window"
kill -TERM "$alone"
wait "$alone"
status=$?
[ "$status" -eq 0 ] || fail "without a session bus the program ended with $status"
if grep -iq 'dbus\|d-bus\|mpris' "$work/alone.err"; then
    fail "without a session bus the program complained: $(cat "$work/alone.err")"
fi

dbus-daemon --session --nofork --print-address=3 3>"$work/address" 2>/dev/null &
pids+=($!)
wait_for test -s "$work/address" || { echo "FAIL: dbus-daemon did not start" >&2; exit 1; }
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/address")
export DBUS_SESSION_BUS_ADDRESS

"$program" 2>"$work/program.err" &
horchpult=$!
pids+=("$horchpult")
wait_for sh -c 'playerctl -l 2>/dev/null | grep -qx horchpult' \
    || fail "playerctl does not list horchpult: $(playerctl -l 2>&1); the program said: $(cat "$work/program.err")"

[ "$(get org.mpris.MediaPlayer2 Identity)" = "   variant       Horchpult" ] \
    || fail "Identity: $(get org.mpris.MediaPlayer2 Identity)"
[ "$(get org.mpris.MediaPlayer2 DesktopEntry)" = "   variant       org.horchpult.horchpult" ] \
    || fail "DesktopEntry: $(get org.mpris.MediaPlayer2 DesktopEntry)"
[ "$(playerctl -p horchpult status 2>&1)" = Stopped ] || fail "status without a medium: $(playerctl -p horchpult status 2>&1)"
[ "$(playerctl -p horchpult position 2>&1)" = 0.000000 ] || fail "position without a medium: $(playerctl -p horchpult position 2>&1)"
get org.mpris.MediaPlayer2.Player Metadata | grep -q /org/mpris/MediaPlayer2/TrackList/NoTrack \
    || fail "metadata without a medium: $(get org.mpris.MediaPlayer2.Player Metadata)"
[ "$(get org.mpris.MediaPlayer2.Player CanPlay)" = "   variant       boolean false" ] \
    || fail "CanPlay without a medium: $(get org.mpris.MediaPlayer2.Player CanPlay)"

# playerctl itself declines while CanPlay is false; a desktop that does not ask calls anyway.
playerctl -p horchpult play >/dev/null 2>&1
dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.horchpult /org/mpris/MediaPlayer2 \
    org.mpris.MediaPlayer2.Player.Play >"$work/play.log" 2>&1 || fail "Play was refused: $(cat "$work/play.log")"
[ "$(playerctl -p horchpult status 2>&1)" = Stopped ] || fail "Play without a medium changed the status"
[ "$(playerctl -p horchpult position 2>&1)" = 0.000000 ] || fail "Play without a medium moved the position"
window_shown || fail "Play without a medium closed the window"

kill -TERM "$horchpult"
wait "$horchpult"
status=$?
[ "$status" -eq 0 ] || fail "the program ended with $status: $(cat "$work/program.err")"
playerctl -l 2>/dev/null | grep -qx horchpult && fail "the name outlived the program"

# "Open with": the recording is opened, not started; F3 plays it; Quit ends the program.
recording=$work/interview.wav
sox -n -r 44100 -c 1 "$recording" synth 20 sine 440 || fail "sox could not make $recording"
opened_by() {
    local way=$1
    wait_for sh -c 'playerctl -l 2>/dev/null | grep -qx horchpult' \
        || { fail "$way: playerctl does not list horchpult"; return; }
    wait_for sh -c '[ "$(playerctl -p horchpult metadata xesam:title 2>/dev/null)" = interview.wav ]' \
        || fail "$way: the title is '$(playerctl -p horchpult metadata xesam:title 2>&1)'"
    [ "$(playerctl -p horchpult status 2>&1)" = Paused ] || fail "$way: opened as $(playerctl -p horchpult status 2>&1)"
    [ "$(playerctl -p horchpult position 2>&1)" = 0.000000 ] || fail "$way: opened at $(playerctl -p horchpult position 2>&1)"
    xdotool key F3
    wait_for sh -c '[ "$(playerctl -p horchpult status 2>/dev/null)" = Playing ]' \
        || fail "$way: F3 left it $(playerctl -p horchpult status 2>&1)"
    dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.horchpult /org/mpris/MediaPlayer2 \
        org.mpris.MediaPlayer2.Quit >/dev/null
    wait_for sh -c '! playerctl -l 2>/dev/null | grep -qx horchpult' || fail "$way: Quit did not end the program"
}

"$program" "$recording" 2>"$work/command-line.err" &
pids+=($!)
opened_by "the command line"
wait "${pids[-1]}" || fail "started with a file, the program ended with $?: $(cat "$work/command-line.err")"

# gio runs the launcher's Exec line, which finds the program on the PATH.
PATH=$(dirname "$program"):$PATH gio launch "$launcher" "$recording" 2>"$work/launch.err" \
    || fail "gio launch failed: $(cat "$work/launch.err")"
opened_by "gio launch $(basename "$launcher")"

if [ "$failures" -ne 0 ]; then
    echo "$failures failures" >&2
    exit 1
fi
echo "program on the bus: name, identity, status, position and metadata without a medium correct; opened ready to play from the command line and through its launcher"
