#!/usr/bin/env bash
# Builds the whole tree with ASan + UBSan (preset "asan", clang++, into
# build-asan) and runs the whole test suite there. Any sanitizer report
# fails the run.
#   SANITIZE_JOBS  parallel test processes (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."

export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan -j "${SANITIZE_JOBS:-2}"
