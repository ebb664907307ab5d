#!/usr/bin/env bash
# Makes the Debian package from the build with CPack and checks it as Debian would: lintian
# finds no error and no warning, it depends on the runtime packages the program uses, its files unpack to where
# a desktop looks for them, the unpacked program finds every library it needs, and apt can
# satisfy its dependencies.
# Usage: debian-package.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/horchpult-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

if ! (cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    echo "FAIL: cpack could not make the package" >&2
    exit 1
fi
deb=$work/out/horchpult_${version}_amd64.deb
[ -f "$deb" ] || { echo "FAIL: no $deb; made: $(ls "$work/out")" >&2; exit 1; }

[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
depends_on() { [[ ", $depends," == *", $1 "* || ", $depends," == *", $1,"* ]]; }
# Each library the program links, by the name of the package that holds it on this release
# (Debian 13 renamed some, e.g. libqt6core6t64), and libmpv, which it opens at run time.
program=$build/app/horchpult
linked=$(objdump -p "$program" | awk '$1 == "NEEDED" { print $2 }')
[ -n "$linked" ] || fail "objdump finds no library that $program links"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for library in $linked; do
    package=$(dpkg -S "*/$multiarch/$library" 2>/dev/null | head -n 1 | cut -d: -f1)
    [ -n "$package" ] || { fail "no installed package holds $library"; continue; }
    depends_on "$package" || fail "the package does not depend on $package for $library: $depends"
done
depends_on libmpv2 || fail "the package does not depend on libmpv2: $depends"

lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 \
    || fail "lintian: $(grep -v 'root privileges' "$work/lintian.log")"
grep -v 'root privileges' "$work/lintian.log" || true

root=$work/root
dpkg-deb -x "$deb" "$root"
for file in usr/bin/horchpult usr/share/applications/org.horchpult.horchpult.desktop \
            usr/share/icons/hicolor/scalable/apps/horchpult.svg usr/share/doc/horchpult/copyright \
            usr/share/man/man1/horchpult.1.gz usr/lib/udev/rules.d/70-horchpult-pedals.rules; do
    [ -f "$root/$file" ] || fail "the package has no /$file"
done
for size in 16 32 48 128 256; do
    [ -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/horchpult.png" ] || fail "no icon of $size pixels"
done
ls "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null 2>&1 || fail "the package has no metainfo"
missing=$(ldd "$root/usr/bin/horchpult" | grep "not found" || true)
[ -z "$missing" ] || fail "the packaged program lacks libraries: $missing"
[ "$(file -b "$root/usr/bin/horchpult" | grep -c 'not stripped')" -eq 0 ] || fail "the program is not stripped"

# Against the packages apt knows, installed or in Debian's archive; no download happens.
apt-get install --simulate --no-install-recommends "$deb" >"$work/apt.log" 2>&1 \
    || fail "apt cannot install the package: $(tail -5 "$work/apt.log")"
grep -q '^Inst horchpult ' "$work/apt.log" || fail "apt would not install horchpult: $(tail -5 "$work/apt.log")"

if [ "$failures" -ne 0 ]; then
    echo "$failures failures" >&2
    exit 1
fi
echo "package $(basename "$deb"): lintian without errors or warnings, dependencies and files correct"
