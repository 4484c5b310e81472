#!/usr/bin/env bash
# Installs every Debian 12 package needed to build, run and test Ovelta. Runs apt-get as root, through sudo
# when started by another user.
set -euo pipefail

packages=(
    # build
    g++ cmake ninja-build pkg-config ccache clang-format
    # toolkit and its Chinese translations
    qt6-base-dev qt6-base-dev-tools libqt6svg6-dev qt6-qpa-plugins qt6-translations-l10n libgl-dev
    # the statistics window's charts
    qt6-charts-dev libqt6opengl6-dev
    # CJK faces: WenQuanYi Micro Hei draws the windows' text; Noto Sans/Serif CJK draw the rarer Han characters
    # of names that it lacks (Extension A, and those of the general standard table in Extensions B to E)
    fonts-wqy-microhei fonts-noto-cjk libfontconfig-dev
    # encrypted database engine, its shell, and the crypto library it is built on (key derivation)
    libsqlcipher-dev sqlcipher libssl-dev
    # names typed in pinyin (Han-Latin transliteration)
    libicu-dev
    # the export to Excel workbooks (.xlsx), and zlib, with which a finished workbook is checked and unpacked
    libxlsxwriter-dev zlib1g-dev
    # tests: a real X server driven from outside, and PDF text extraction
    xvfb xdotool poppler-utils
    # benchmark: the first paint of the program's windows, seen through the X DAMAGE extension, and a session bus
    # for the program as a desktop session has one
    libxdamage-dev dbus-daemon
    # spreadsheet import: .xlsx (zip archives) and .xls workbooks
    libminizip-dev libfreexl-dev
    # tests convert spreadsheets with it (headless office suite)
    libreoffice-calc-nogui
    # tests: the store over SQLCipher 4 (its amalgamation comes from the npm registry, built with OpenSSL)
    libssl-dev
    # install and package: icons rendered from SVG, the .deb's library dependencies, the checks of the
    # desktop entry and the AppStream metainfo
    librsvg2-bin dpkg-dev desktop-file-utils appstream
)

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# npm may come with a Node.js of another origin, which replaces Debian's package of that name.
command -v npm >/dev/null 2>&1 || missing+=(npm)
if [ "${#missing[@]}" -gt 0 ]; then
    "${as_root[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
