#!/usr/bin/env bash
# Installs the build into a scratch root as `cmake --install` does and checks what a desktop
# reads there: the launcher and the AppStream metainfo pass their validators, every icon of the
# hicolor theme has the size of its folder, and the names that tie them together agree.
# Usage: installed-files.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
root=$(mktemp -d "${TMPDIR:-/tmp}/horchpult-install.XXXXXX")
trap 'rm -rf "$root"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
share=$root/usr/share
launcher=$share/applications/horchpult.desktop
metainfo=$(ls "$share"/metainfo/*.metainfo.xml)

[ -x "$root/usr/bin/horchpult" ] || fail "no executable horchpult in /usr/bin"

# The validator prints hints and warnings without failing; the launcher must have none.
report=$(desktop-file-validate "$launcher" 2>&1) || fail "desktop-file-validate: $report"
[ -z "$report" ] || fail "desktop-file-validate: $report"
appstreamcli validate --no-net --explain "$metainfo" >"$root/appstream.log" 2>&1 \
    || fail "appstreamcli validate: $(cat "$root/appstream.log")"

value() { sed -n "s/^$1=//p" "$launcher"; }
[ "$(value Exec)" = horchpult ] || fail "the launcher starts '$(value Exec)'"
[ "$(value Icon)" = horchpult ] || fail "the launcher shows the icon '$(value Icon)'"
[ -n "$(value 'Comment\[de\]')" ] || fail "the launcher has no German comment"
[ "$(value Categories)" = "AudioVideo;Audio;Player;" ] || fail "categories: $(value Categories)"
# Every type is one the system's MIME database knows by that name, not an alias or a typo.
IFS=';' read -r -a types <<<"$(value MimeType)"
[ ${#types[@]} -gt 0 ] || fail "the launcher names no MIME types"
for type in "${types[@]}"; do
    [ -f "/usr/share/mime/$type.xml" ] || fail "MIME type $type is not known as such"
done

grep -q "<launchable type=\"desktop-id\">horchpult.desktop</launchable>" "$metainfo" \
    || fail "the metainfo does not launch horchpult.desktop"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
grep -q "<screenshot type=\"default\">" "$metainfo" || fail "the metainfo has no screenshot"
grep -q "<binary>horchpult</binary>" "$metainfo" || fail "the metainfo does not provide the binary"

for size in 16 32 48 128 256; do
    png=$share/icons/hicolor/${size}x${size}/apps/horchpult.png
    if [ ! -f "$png" ]; then
        fail "no icon of $size pixels"
        continue
    fi
    # The PNG signature, then the width and height of the header chunk, big-endian.
    [ "$(od -An -tx1 -N8 "$png" | tr -d ' ')" = 89504e470d0a1a0a ] || fail "$png is no PNG"
    read -r -a dims <<<"$(od -An -tu1 -j16 -N8 "$png")"
    width=$(((dims[0] << 24) | (dims[1] << 16) | (dims[2] << 8) | dims[3]))
    height=$(((dims[4] << 24) | (dims[5] << 16) | (dims[6] << 8) | dims[7]))
    [ "$width.$height" = "$size.$size" ] || fail "the icon in ${size}x${size} is ${width}x${height}"
done
svg=$share/icons/hicolor/scalable/apps/horchpult.svg
rsvg-convert -w 64 -h 64 -o "$root/svg.png" "$svg" || fail "the scalable icon does not render"

zcat "$share/man/man1/horchpult.1.gz" | grep -q '^\.TH HORCHPULT 1' || fail "no manual page"

if [ "$failures" -ne 0 ]; then
    echo "$failures failures" >&2
    exit 1
fi
echo "installed files: launcher, metainfo, 5 icons and the scalable one, manual page: all correct"
