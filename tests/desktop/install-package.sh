#!/usr/bin/env bash
# Installs the Debian package made from the build as a user does (apt install ./horchpult_...deb),
# runs the installed program through tests/desktop/program-on-the-bus.sh, its own launcher
# included, and removes the package again. Changes the system and needs root: CI runs it, on
# this machine and in the fresh chroot, outside the test suite.
# Usage: install-package.sh BUILD_DIR
set -euo pipefail
tests=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/horchpult-install-package.XXXXXX")
installed=""
cleanup() {
    [ -z "$installed" ] || DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq -o DPkg::Lock::Timeout=600 horchpult >/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -G DEB -B "$work") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; exit 1; }
deb=$(ls "$work"/horchpult_*.deb)
cd "$work"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=600 "./$(basename "$deb")" >"$work/apt.log" 2>&1 \
    || { cat "$work/apt.log" >&2; echo "FAIL: apt could not install $(basename "$deb")" >&2; exit 1; }
installed=yes
[ "$(command -v horchpult)" = /usr/bin/horchpult ] || { echo "FAIL: horchpult is not /usr/bin/horchpult" >&2; exit 1; }
"$tests/with-xvfb.sh" "$tests/desktop/program-on-the-bus.sh" /usr/bin/horchpult \
    /usr/share/applications/org.horchpult.horchpult.desktop
echo "installed with apt from $(basename "$deb"): the program starts and opens a recording through its launcher"
