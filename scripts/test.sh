#!/usr/bin/env bash
# The whole test suite: the Linux build and its tests, the same under ASan +
# UBSan, short fuzz runs, and the 32-bit Windows build tested under Wine. Run as root it installs what is
# missing from Debian's archive first.
#   YRN_SKIP_WIN32=1   leave out the Windows build
#   YRN_SKIP_FUZZ=1    leave out the fuzz runs
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
for pkg in cmake ninja-build g++ clang libssl-dev libgtest-dev libgmock-dev libbenchmark-dev libclang-rt-14-dev python3; do
    dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ "${#need[@]}" -gt 0 ]; then
    if [ "$(id -u)" = 0 ]; then
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
    else
        echo "missing packages: ${need[*]} (run as root to install them)" >&2
        exit 1
    fi
fi

echo "== Linux build and tests"
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default -j 2

echo "== Release build, as a packager makes it (GCC -O3, warnings as errors)"
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DYRN_BUILD_TESTS=OFF -DYRN_WERROR=ON >/dev/null
cmake --build build-release

echo "== ASan + UBSan"
bash scripts/sanitize.sh

if [ "${YRN_SKIP_FUZZ:-0}" != 1 ]; then
    echo "== Fuzzing (${FUZZ_SECONDS:-60} s a target)"
    bash scripts/fuzz.sh
fi

if [ "${YRN_SKIP_WIN32:-0}" != 1 ]; then
    echo "== Windows build under Wine"
    bash scripts/test-win32.sh
fi
echo "== all tests passed"
