#!/bin/bash
# Builds the Windows product (32-bit, MinGW-w64) and runs its tests under
# Wine: the unit tests and the end-to-end run on a virtual display.
# Installs what is missing when run as root. Usage: scripts/test-win32.sh
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(mingw-w64)
command -v wine >/dev/null || need+=(wine)
dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32:i386)
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xdotool >/dev/null || need+=(xdotool)
command -v import >/dev/null || need+=(imagemagick)
command -v xprop >/dev/null && command -v xdpyinfo >/dev/null || need+=(x11-utils)
command -v localedef >/dev/null && [ -d /usr/share/i18n/locales ] || need+=(locales)
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
if [ ${#need[@]} -gt 0 ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "test-win32: missing packages (run as root to install): ${need[*]}" >&2
        exit 1
    fi
    echo "test-win32: installing ${need[*]}"
    dpkg --add-architecture i386
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi

# Wine takes the ANSI code page from the Unix locale: the tests run on a
# Russian Windows (1251).
if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
    if [ "$(id -u)" = 0 ]; then localedef -i ru_RU -f UTF-8 ru_RU.UTF-8; else
        echo "test-win32: locale ru_RU.UTF-8 missing (run as root to make it)" >&2; exit 1; fi
fi

# The build tree's own Wine prefix, made without any prompt. The product is
# a 32-bit program: Wine needs a kernel that runs 32-bit executables.
unset DISPLAY
if ! tests/wine/wine-run.sh build-win32/wineprefix cmd /c exit 0 >/dev/null; then
    echo "test-win32: Wine cannot start a 32-bit program here (does this kernel run 32-bit executables?)" >&2
    exit 1
fi

cmake --preset win32
cmake --build --preset win32
ctest --preset win32
echo "test-win32: screenshot in build-win32/artifacts/progress.png"
