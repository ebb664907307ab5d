#!/usr/bin/env bash
# Installs from Debian's packages what building needs, with --test what testing needs too and
# with --fuzz what the fuzz targets need (clang, its libFuzzer and the symbolizer of their
# reports). Quick when everything is there already: apt runs only for packages that are missing.
set -euo pipefail

packages=(build-essential cmake pkg-config qt6-base-dev qt6-qpa-plugins
          libmpv-dev libxcb-keysyms1-dev libx11-dev fonts-dejavu-core
          fonts-liberation2)
for option in "$@"; do
    case "$option" in
        --test) packages+=(libgtest-dev libxtst-dev xvfb xauth xdotool x11-utils openbox ffmpeg
                           sox espeak-ng dbus desktop-file-utils appstream shared-mime-info
                           librsvg2-bin lintian file playerctl at-spi2-core gir1.2-atspi-2.0
                           python3-gi) ;;
        --fuzz) packages+=(clang libclang-rt-14-dev llvm) ;;
        *) echo "install-deps: unknown option $option" >&2; exit 2 ;;
    esac
done

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
        || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
