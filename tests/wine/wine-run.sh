#!/bin/bash
# Runs a Windows program under Wine in the given prefix, creating the prefix
# (WINEARCH: win32, the default, or win64; no Mono or Gecko prompts) on first
# use.
#   wine-run.sh PREFIX PROGRAM.exe [ARGS...]
set -euo pipefail
prefix=$(realpath -m "$1") && shift
export WINEPREFIX=$prefix
source "$(dirname "${BASH_SOURCE[0]}")/loader.sh"
mkdir -p "$(dirname "$prefix")"
(flock 9; [ -f "$prefix/system.reg" ] || { wine wineboot -i &>/dev/null </dev/null; wineserver -w; }) 9>"$prefix.lock"
# One server for a whole test run: without it every program start would
# start and stop a server of its own (seconds each).
wineserver -p30 </dev/null &>/dev/null || true
# A Russian Windows (ANSI code page 1251), as on the stations; Wine takes it
# from the Unix locale, which must exist (scripts/test-win32.sh makes it).
locale -a 2>/dev/null | grep -qix 'ru_RU.utf8' && export LC_ALL=ru_RU.UTF-8
# Wine's console output ends lines in CR LF; the callers (ctest, test
# discovery) read LF. Through a file, not a pipe: the helper processes the
# first program of a server starts keep its output handles open.
out=$(mktemp) status=0
trap 'rm -f "$out"' EXIT
wine "$@" </dev/null >"$out" 2>&1 || status=$?
tr -d '\r' <"$out"
exit $status
