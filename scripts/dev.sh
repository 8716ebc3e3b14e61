#!/usr/bin/env bash
# Installs what is missing, builds, then starts Pagegrab (run) or runs every
# test (test). Works on a fresh Debian 12 as root or through sudo.
set -euo pipefail

mode=${1:-}
case "$mode" in
    run|test) ;;
    *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"

# The fonts documents are laid out with are part of the product: the same
# list goes into the package's Depends.
mapfile -t fonts < "$top/packaging/fonts.txt"
packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-webengine-dev libgl-dev qt6-translations-l10n
    libreoffice-writer libreoffice-draw libreoffice-dev libfontconfig-dev
    "${fonts[@]}"
)
# The desktop test drives the window under Xvfb and openbox.
[ "$mode" = test ] && packages+=(locales desktop-file-utils poppler-utils zlib1g-dev clang-format lintian
    xvfb openbox wmctrl xdotool x11-utils)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# PAGEGRAB_WERROR=ON (as CI sets it) makes every warning an error.
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGEGRAB_WERROR="${PAGEGRAB_WERROR:-OFF}" >/dev/null
cmake --build "$build"

if [ "$mode" = run ]; then
    exec "$build/bin/pagegrab"
fi
cd "$build"
ctest --output-on-failure
