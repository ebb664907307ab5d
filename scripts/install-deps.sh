#!/usr/bin/env bash
# Installs from Debian's packages what building needs, with --test what testing needs too and
# with --fuzz what the fuzz targets need (clang, its libFuzzer and the symbolizer of their
# reports). Quick when everything is there already: apt runs only for packages that are missing.
# Works on Debian 12 (bookworm) and Debian 13 (trixie).
set -euo pipefail

# Package names that differ between the releases are chosen here, and only here.
. /etc/os-release
case "${VERSION_CODENAME:-}" in
    bookworm) clang_runtime=libclang-rt-14-dev ;;
    trixie) clang_runtime=libclang-rt-19-dev ;;
    *) clang_runtime="" ;;
esac

# One package a line.
build=(
    build-essential
    cmake
    pkg-config
    qt6-base-dev
    qt6-qpa-plugins
    qt6-wayland
    libmpv-dev
    libavformat-dev
    libavcodec-dev
    libswresample-dev
    libavutil-dev
    libpulse-dev
    libxcb-keysyms1-dev
    libxkbcommon-dev
    libxkbcommon-x11-dev
    libxcb-xkb-dev
    libxcb-xtest0-dev
    libx11-dev
    libudev-dev
    libwayland-dev
    libwayland-bin
    fonts-dejavu-core
    fonts-liberation2
)
test=(
    libgtest-dev
    libxtst-dev
    xvfb
    xauth
    xdotool
    x11-utils
    openbox
    ffmpeg
    sox
    espeak-ng
    dbus
    desktop-file-utils
    appstream
    shared-mime-info
    librsvg2-bin
    libglib2.0-bin
    lintian
    file
    playerctl
    at-spi2-core
    gir1.2-atspi-2.0
    python3-gi
    debootstrap
    umockdev
    libumockdev-dev
    pulseaudio
    pulseaudio-utils
    xdg-desktop-portal
    weston
    sway
    wl-clipboard
    x11-xserver-utils
    xterm
    xclip
)
fuzz=(
    clang
    "$clang_runtime"
    llvm
)

packages=("${build[@]}")
for option in "$@"; do
    case "$option" in
        --test) packages+=("${test[@]}") ;;
        --fuzz)
            if [ -z "$clang_runtime" ]; then
                echo "install-deps: no clang runtime package is known for Debian ${VERSION_CODENAME:-?}" >&2
                exit 1
            fi
            packages+=("${fuzz[@]}") ;;
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
