#!/usr/bin/env bash
# Installs every Debian 12 package needed to build, run and test Ovelta. Runs apt-get as root, through sudo
# when started by another user.
set -euo pipefail

packages=(
    # build
    g++ cmake ninja-build pkg-config ccache clang-format
    # toolkit, its Chinese translations and a CJK font
    qt6-base-dev qt6-base-dev-tools libqt6svg6-dev qt6-qpa-plugins qt6-translations-l10n libgl-dev
    # the statistics window's charts
    qt6-charts-dev libqt6opengl6-dev
    fonts-wqy-microhei
    # encrypted database engine and its shell
    libsqlcipher-dev sqlcipher
    # tests: a real X server driven from outside, and PDF text extraction
    xvfb xdotool poppler-utils
)

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    "${as_root[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
