#!/usr/bin/env bash
# Installs the build into a scratch root as `cmake --install` does and checks what a desktop
# reads there: the launcher and the AppStream metainfo pass their validators, every icon of the
# hicolor theme has the size of its folder, the names that tie them together agree, and the foot
# pedals' udev rule is valid and matches the metainfo's modaliases.
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
launcher=$share/applications/org.horchpult.horchpult.desktop
metainfo=$(ls "$share"/metainfo/*.metainfo.xml)

[ -x "$root/usr/bin/horchpult" ] || fail "no executable horchpult in /usr/bin"

# The validator prints hints and warnings without failing; the launcher must have none.
report=$(desktop-file-validate "$launcher" 2>&1) || fail "desktop-file-validate: $report"
[ -z "$report" ] || fail "desktop-file-validate: $report"
appstreamcli validate --no-net --explain "$metainfo" >"$root/appstream.log" 2>&1 \
    || fail "appstreamcli validate: $(cat "$root/appstream.log")"

value() { sed -n "s/^$1=//p" "$launcher"; }
# "Open with" hands over one file.
[ "$(value Exec)" = "horchpult %f" ] || fail "the launcher starts '$(value Exec)'"
[ "$(value Icon)" = horchpult ] || fail "the launcher shows the icon '$(value Icon)'"
[ -n "$(value 'Comment\[de\]')" ] || fail "the launcher has no German comment"
[ "$(value Categories)" = "AudioVideo;Audio;Player;" ] || fail "categories: $(value Categories)"
# Every type is one the system's MIME database knows, as a type or as an alias (Debian 12 and 13
# name some types differently and know the other release's name as an alias), and no typo.
IFS=';' read -r -a types <<<"$(value MimeType)"
[ ${#types[@]} -gt 0 ] || fail "the launcher names no MIME types"
for type in "${types[@]}"; do
    [ -f "/usr/share/mime/$type.xml" ] || awk -v alias="$type" '$1 == alias { found = 1 } END { exit !found }' \
        /usr/share/mime/aliases || fail "MIME type $type is not known"
done

grep -q "<launchable type=\"desktop-id\">$(basename "$launcher")</launchable>" "$metainfo" \
    || fail "the metainfo does not launch $(basename "$launcher")"
[ "$(basename "$metainfo" .metainfo.xml)" = "$(basename "$launcher" .desktop)" ] \
    || fail "the metainfo $(basename "$metainfo") and the launcher $(basename "$launcher") differ in name"
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

# The foot pedals' udev rule: where udev reads rules, named to sort before the seat rules that act
# on its uaccess tag, and valid: `udevadm verify` where this udev has it, else parsed here line by
# line (match keys compared with ==, the tag added with +=, no world-readable mode).
rules=("$root"/usr/lib/udev/rules.d/*.rules)
[ -f "${rules[0]}" ] || { echo "FAIL: no udev rule in /usr/lib/udev/rules.d" >&2; exit 1; }
[ ${#rules[@]} -eq 1 ] || fail "more than one rule installed: ${rules[*]}"
rule=${rules[0]}
name=$(basename "$rule")
[[ "$name" < "73-seat-late.rules" ]] || fail "$name sorts after 73-seat-late.rules, which applies uaccess"

if command -v udevadm >/dev/null && udevadm verify --help >/dev/null 2>&1; then
    udevadm verify --resolve-names=never "$rule" || fail "udevadm verify refuses $name"
    checked="udevadm verify"
else
    checked="the parse of this test"
    key='([A-Z_]+)(\{[A-Za-z0-9_]+\})?'
    number=0
    while IFS= read -r line || [ -n "$line" ]; do
        number=$((number + 1))
        [[ -z "$line" || "$line" == \#* ]] && continue
        IFS=',' read -r -a items <<<"$line"
        for item in "${items[@]}"; do
            item=${item# }
            [[ "$item" =~ ^${key}(==|!=|\+=|-=|:=|=)\"([^\"]*)\"$ ]] || { fail "line $number: '$item' is no udev key"; continue; }
            k=${BASH_REMATCH[1]} op=${BASH_REMATCH[3]}
            case "$k" in
                SUBSYSTEM | SUBSYSTEMS | KERNEL | KERNELS | ATTRS | ATTR | DRIVERS | ACTION)
                    [[ "$op" == "==" || "$op" == "!=" ]] || fail "line $number: $k is a match key, used with $op" ;;
                TAG) [ "$op" = "+=" ] || fail "line $number: TAG set with $op drops the other tags" ;;
                MODE | GROUP | OWNER) fail "line $number: $k instead of uaccess" ;;
                *) fail "line $number: unknown key $k" ;;
            esac
        done
        [[ "$line" == *'SUBSYSTEM=="hidraw"'* ]] || fail "line $number does not match hidraw nodes only"
        [[ "$line" == *'TAG+="uaccess"'* ]] || fail "line $number gives no access to the user at the seat"
    done <"$rule"
fi
# Software centres offer the program for a device by the metainfo's modaliases.
for ids in 05f3:00ff 0911:1844 0911:091a; do
    grep -q "ATTRS{idVendor}==\"${ids%:*}\", ATTRS{idProduct}==\"${ids#*:}\"" "$rule" || fail "no rule for $ids"
    vendor=${ids%:*} product=${ids#*:}
    grep -q "<modalias>usb:v${vendor^^}p${product^^}d\*</modalias>" "$metainfo" || fail "the metainfo names no modalias for $ids"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures failures" >&2
    exit 1
fi
echo "installed files: launcher, metainfo, 5 icons and the scalable one, manual page, udev rule $name (valid by $checked): all correct"
