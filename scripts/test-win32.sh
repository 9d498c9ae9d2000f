#!/bin/bash
# Builds the Windows product (32-bit, MinGW-w64) and runs its tests under
# Wine: the unit tests and the end-to-end run on a virtual display. Where the
# kernel cannot execute 32-bit programs (so 32-bit Wine cannot start), the
# 32-bit build is only compiled and the same sources are tested as a 64-bit
# build under 64-bit Wine. Installs what is missing when run as root.
# Usage: scripts/test-win32.sh
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null && command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(mingw-w64)
command -v wine >/dev/null || need+=(wine)
dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32:i386)
dpkg -s wine64 >/dev/null 2>&1 || need+=(wine64)
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
    # Another apt or dpkg at work: wait for its lock rather than fail.
    apt=(apt-get -o DPkg::Lock::Timeout=600)
    "${apt[@]}" update -qq
    DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y -qq "${need[@]}" >/dev/null
fi

# Wine takes the ANSI code page from the Unix locale: the tests run on a
# Russian Windows (1251).
if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
    if [ "$(id -u)" = 0 ]; then localedef -i ru_RU -f UTF-8 ru_RU.UTF-8; else
        echo "test-win32: locale ru_RU.UTF-8 missing (run as root to make it)" >&2; exit 1; fi
fi

# The product ships 32-bit: it always builds, warnings as errors.
cmake --preset win32
cmake --build --preset win32

# The build tree's own Wine prefix, made without any prompt; 32-bit Wine
# needs a kernel that runs 32-bit executables.
unset DISPLAY
preset=win32
if ! tests/wine/wine-run.sh build-win32/wineprefix cmd /c exit 0 >/dev/null 2>&1; then
    echo "test-win32: this kernel cannot run 32-bit programs: testing a 64-bit build of the same sources under 64-bit Wine"
    preset=win64
    cmake --preset win64
    cmake --build --preset win64
fi
ctest --preset $preset
echo "test-win32: screenshot in build-$preset/artifacts/progress.png"
