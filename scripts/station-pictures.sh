#!/usr/bin/env bash
# The pictures of the station guide (docs/station-guide/*.png): YRNUpdate.exe
# under Wine on a virtual display, started and driven as a station would,
# each window cut out on its own. Run again whenever a window changes.
#   scripts/station-pictures.sh [BUILD_DIR]   (default build-win32; the
#   directory must hold YRNUpdate.exe, as scripts/test-win32.sh or
#   scripts/release.sh --exe leave it)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=$(cd "${1:-build-win32}" && pwd)
exe=$build/YRNUpdate.exe
[ -f "$exe" ] || { echo "station-pictures: no $exe" >&2; exit 1; }
out=$repo/docs/station-guide
mkdir -p "$out"
export LC_ALL=C.UTF-8
export WINEPREFIX=$build/wineprefix-pictures WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
here=$repo/tests/wine
fail() { echo "station-pictures: FAIL: $*" >&2; exit 1; }
to1251() { iconv -f UTF-8 -t CP1251; }
crlf() { sed 's/$/\r/'; }

set -- "$build" "$WINEPREFIX"
. "$here/display.sh"

c=$WINEPREFIX/drive_c
cwd=$c/TOVR/Bin
log=$cwd/YRNUpdate.log
rm -rf "$c/TOVR" "$c/UPD"
mkdir -p "$cwd" "$c/TOVR/DB" "$c/UPD/Pkg"

start() {  # arguments of YRNUpdate.exe
    (cd "$cwd" && exec wine "$exe" "$@" </dev/null >/dev/null 2>&1) &
    app=$!
}
find_window() {  # caption
    local w
    for w in $(xdotool search --onlyvisible --classname '^yrnupdate\.exe$' 2>/dev/null); do
        xprop -id "$w" _NET_WM_NAME 2>/dev/null | grep -qxF "_NET_WM_NAME(UTF8_STRING) = \"$1\"" && { echo "$w"; return; }
    done
}
wait_window() {  # caption
    local w=
    for _ in $(seq 300); do
        w=$(find_window "$1")
        [ -n "$w" ] && { echo "$w"; return; }
        sleep 0.1
    done
    fail "no window \"$1\""
}
wait_log() {  # line
    local line
    line=$(printf '%s' "$1" | to1251)
    for _ in $(seq 300); do
        [ -f "$log" ] && grep -qF "$line" "$log" && return
        sleep 0.1
    done
    fail "the log has no line [$1]"
}
wait_exit() {
    for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$app" 2>/dev/null && fail "the program did not end"
    wait "$app" || true
    app=
}
# No window manager: a click on a place without a control activates a window.
activate() {  # window, x, y
    xdotool mousemove --window "$1" "$2" "$3" click 1
    sleep 0.7
}
# The window alone, without metadata, in few colours.
shoot() {  # window, name
    import -window "$1" "$build/$2.png"
    convert "$build/$2.png" -strip -define png:exclude-chunks=date,time,tIME "PNG8:$out/$2.png"
    echo "station-pictures: docs/station-guide/$2.png"
}

# An installation of the suite and an update package for a server.
for f in Shift.exe Prices.dll; do printf 'old %s\r\n' "$f" >"$c/TOVR/$f"; done
printf 'old report\r\n' >"$c/TOVR/DB/Report.dll"
for f in Shift.exe Prices.dll Report.dll Kassa.exe; do printf 'new %s\r\n' "$f" >"$c/UPD/Pkg/$f"; done
to1251 <<'INI' | crlf >"$c/UPD/Pkg/YRNUpdate.ini"
[ExeFiles]
Version=12
[FILES]
Shift.exe=
Prices.dll=
Report.dll=
Kassa.exe=
[Shift.exe]
SDir=<default>
Version=5
[Prices.dll]
SDir=<default>
Version=5
[Report.dll]
SDir=<БАЗА ДАННЫХ>
Version=5
[Kassa.exe]
SDir=C:\TOVR\Kassa
Version=5
INI

# 1. The unattended update, started by the suite; Kassa.exe has no directory
# to go to and fails.
start 0 'C:\UPD\Pkg' 0
window=$(wait_window 'Обновление ЮКСВЕЛ')
wait_log 'Обновление исполняемых файлов завершено.'
activate "$window" 130 150
shoot "$window" progress
xdotool key Return
wait_exit

# 2. The failure box of a start with a wrong command line.
start abc 'C:\UPD\Pkg' 0
box=$(wait_window 'YRN Update')
sleep 0.5
shoot "$box" failure-box
xdotool mousemove --window "$box" 10 40 click 1
sleep 0.3
xdotool key Return
wait_exit

# 3. The parameters dialog of a start by hand, as the update above left the
# settings (none stored: the dialog shows the start values).
rm -f "$log"
start
window=$(wait_window 'Обновление ЮКСВЕЛ')
activate "$window" 20 130
shoot "$window" params

# 4. "Откат": the backup dialog with the set of the update above.
xdotool key shift+Tab space
backup=$(wait_window 'Откат обновления')
activate "$backup" 12 30
shoot "$backup" backup

# 5. The rollback of the whole set.
xdotool key Return
window=$(wait_window 'Откат обновления ЮКСВЕЛ')
wait_log 'Замена исполняемых файлов завершена.'
activate "$window" 130 150
shoot "$window" rollback
xdotool key Return
wait_exit
echo "station-pictures: done"
