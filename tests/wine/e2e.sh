#!/bin/bash
# End to end: YRNUpdate.exe under Wine on a virtual X display, started as the
# suite starts it (process id, quoted package directory, installation type). The
# progress window must appear and finish the run; a screenshot is kept in
# BUILD/artifacts/progress.png; Enter closes the window; then the queued
# program must start. Log, backup set, local copy and registry are compared
# byte for byte.
#   e2e.sh BUILD_DIR WINEPREFIX
set -euo pipefail
export LC_ALL=C.UTF-8
build=$(cd "$1" && pwd)
export WINEPREFIX=$(realpath -m "$2") WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
here=$(cd "$(dirname "$0")" && pwd)
artifacts=$build/artifacts
mkdir -p "$artifacts"
fail() { echo "e2e: FAIL: $*" >&2; exit 1; }
to1251() { iconv -f UTF-8 -t CP1251; }
crlf() { sed 's/$/\r/'; }

. "$here/display.sh"
start_display 91 140
wine reg add 'HKLM\Software\Quenbrit\YRN\Update' /v UpdateVersion /t REG_DWORD /d 11 /f >/dev/null
wine reg add 'HKLM\Software\Quenbrit\YRN\Update' /v Marker.exe /t REG_DWORD /d 4 /f >/dev/null
wine reg add 'HKLM\Software\Quenbrit\YRN\Update' /v Old.exe /t REG_DWORD /d 2 /f >/dev/null

# The installation and the package.
c=$WINEPREFIX/drive_c
rm -rf "$c/TOVR" "$c/e2e"
mkdir -p "$c/TOVR/Bin Dir" "$c/TOVR/DB" "$c/e2e/Pack Q" "$c/e2e/cwd"
cp "$build/YRNUpdate.exe" "$c/TOVR/Bin Dir/Marker.exe"   # the installed one, with the product's version
version=$(sed -n 's/^#define YRN_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/yrn_version.h")
[ -n "$version" ] || fail "no version in $build/generated/yrn_version.h"
cp "$build/yrn_marker.exe" "$c/e2e/Pack Q/Marker.exe"
printf 'new prices\r\n' >"$c/e2e/Pack Q/Prices.dll"
printf 'old' >"$c/e2e/Pack Q/Old.exe"
printf 'skip' >"$c/e2e/Pack Q/Skip.dll"
to1251 <<'INI' | crlf >"$c/e2e/Pack Q/YRNUpdate.ini"
[ExeFiles]
Version=12
[FILES]
Old.exe=
Marker.exe=
Skip.dll=
Prices.dll=
[Old.exe]
SDir=<default>
Version=2
[Marker.exe]
SDir=C:\TOVR\Bin Dir
CDir=<ОС>
Version=5
Execute=1
Params=/silent Пуск
Param=/p
[Skip.dll]
SDir=<НЕ НУЖНО>
Version=9
[Prices.dll]
SDir=<БАЗА ДАННЫХ>
Version=3
INI

# Started as the suite starts it, through CreateProcess with this command
# line verbatim: the quoted package directory ends in a backslash. Process 0
# is never waited for.
exe="Z:${build//\//\\}\\YRNUpdate.exe"
(cd "$c/e2e/cwd" && exec wine "$build/yrn_launch.exe" "\"$exe\" 0 \"C:\\e2e\\Pack Q\\\" 0" </dev/null >/dev/null 2>&1) &
app=$!

# The progress window: the program's top-level window with the update caption.
find_window() {
    local w
    for w in $(xdotool search --classname '^yrnupdate\.exe$' 2>/dev/null); do
        LC_ALL=C.UTF-8 xprop -id "$w" _NET_WM_NAME 2>/dev/null | grep -qxF '_NET_WM_NAME(UTF8_STRING) = "Обновление ЮКСВЕЛ"' &&
            { echo "$w"; return; }
    done
}
window=
for _ in $(seq 300); do
    window=$(find_window)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || fail "the progress window did not appear"
log=$c/e2e/cwd/YRNUpdate.log
done_line=$(printf 'Обновление исполняемых файлов завершено.' | to1251)
for _ in $(seq 300); do
    [ -f "$log" ] && grep -qF "$done_line" "$log" && break
    sleep 0.1
done
grep -qF "$done_line" "$log" || fail "the run did not finish"
# A click into the log list makes the window the active one (there is no
# window manager to do it).
xdotool mousemove --window "$window" 130 150 click 1
sleep 1
import -window root "$artifacts/progress.png"
# Client area 271 x 341, inside Wine's dialog frame (3) and caption (19).
geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/^ *Geometry: //p')
[ "$geometry" = "277x366" ] || fail "window size $geometry, expected 277x366"

# Enter in the log list presses OK.
xdotool key Return
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "Enter did not close the window"
wait "$app" || fail "YRNUpdate.exe exited with status $?"
app=

started="$c/TOVR/Bin Dir/started.txt"
for _ in $(seq 100); do [ -s "$started" ] && break; sleep 0.1; done
expect_started='"C:\TOVR\Bin Dir\Marker.exe" /silent Пуск'
[ "$(cat "$started" 2>/dev/null)" = "$expect_started" ] ||
    fail "queued program: expected [$expect_started], got [$(cat "$started" 2>/dev/null)]"

compare() {  # what, expected file, actual file
    cmp -s "$2" "$3" && return 0
    echo "--- expected $1"; od -c "$2" | head -40; echo "--- actual $1"; od -c "$3" | head -40
    fail "$1 differs"
}

# The log, its time stamps checked and cut off.
stamp='^[0-3][0-9]\.[01][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9] '
tail -n +2 "$log" | grep -qv "$stamp" && fail "a log line without a time stamp"
{ printf '\r\n'; tail -n +2 "$log" | sed "s/$stamp//"; } >"$artifacts/log.actual"
sed "s/@VERSION@/$version/" <<'LOG' | to1251 | crlf >"$artifacts/log.expected"
Старт программы обновления ЮКСВЕЛ.
Обновление из каталога: C:\e2e\Pack Q\
Версия обновления: 12
Версия последнего обновления: 11
Обновление файла: Marker.exe
Файл C:\TOVR\Bin Dir\Marker.exe (версия @VERSION@)  заменен на C:\e2e\Pack Q\Marker.exe (версия ) 
Обновление файла: Prices.dll
Файл C:\TOVR\DB\Prices.dll (версия )  заменен на C:\e2e\Pack Q\Prices.dll (версия ) 
Обновление исполняемых файлов завершено.
LOG
{ printf '\r\n'; cat "$artifacts/log.expected"; } >"$artifacts/log.expected.full"
compare "log" "$artifacts/log.expected.full" "$artifacts/log.actual"

# Installed files.
cmp -s "$build/yrn_marker.exe" "$c/TOVR/Bin Dir/Marker.exe" || fail "Marker.exe not replaced"
cmp -s "$c/e2e/Pack Q/Prices.dll" "$c/TOVR/DB/Prices.dll" || fail "Prices.dll not installed"
[ -e "$c/TOVR/Old.exe" ] && fail "Old.exe installed though not newer"
ls "$c/TOVR" | grep -q Skip && fail "Skip.dll installed"

# The backup set: only the file that was there before.
sets=$(ls "$c/TOVR/UPDATE/OldFiles")
[ "$(echo "$sets" | wc -l)" = 1 ] || fail "backup sets: $sets"
echo "$sets" | grep -Eq '^[0-9]{2}-[0-9]{2}-[0-9]{2} [0-9]{2}-[0-9]{2}$' || fail "backup set name [$sets]"
set_dir="$c/TOVR/UPDATE/OldFiles/$sets"
[ "$(ls "$set_dir" | tr '\n' ' ')" = "BackUp.ini Marker.exe " ] || fail "backup set holds: $(ls "$set_dir")"
cmp -s "$build/YRNUpdate.exe" "$set_dir/Marker.exe" || fail "backup copy differs"
printf '[FILES]\r\nMarker.exe=C:\\TOVR\\Bin Dir\\Marker.exe\r\n' >"$artifacts/backup.expected"
compare "BackUp.ini" "$artifacts/backup.expected" "$set_dir/BackUp.ini"

# The local copy: a package of its own.
copy_dir="$c/TOVR/UPDATE/NewFiles/$sets"
[ "$(ls "$copy_dir" | tr '\n' ' ')" = "Marker.exe Prices.dll YRNUpdate.ini " ] || fail "local copy holds: $(ls "$copy_dir")"
to1251 <<'INI' | crlf >"$artifacts/localcopy.expected"
[MAIN]
LocalCopy=1
[ExeFiles]
Version=12
[FILES]
Marker.exe=
Prices.dll=
[Marker.exe]
SDir=C:\TOVR\Bin Dir
CDir=<ОС>
MDir=<none>
Version=5
Execute=1
Param=/p
[Prices.dll]
SDir=<БАЗА ДАННЫХ>
CDir=<none>
MDir=<none>
Version=3
Execute=0
Param=
INI
compare "local copy manifest" "$artifacts/localcopy.expected" "$copy_dir/YRNUpdate.ini"

# The registry, as Wine's reg tool reads it back.
wine reg query 'HKLM\Software\Quenbrit\YRN\Update' | tr -d '\r' >"$artifacts/registry.actual"
cat >"$artifacts/registry.expected" <<'REG'

HKEY_LOCAL_MACHINE\Software\Quenbrit\YRN\Update
    Marker.exe    REG_DWORD    0x5
    Old.exe    REG_DWORD    0x2
    Prices.dll    REG_DWORD    0x3
    UpdateVersion    REG_DWORD    0xc

REG
compare "registry" "$artifacts/registry.expected" "$artifacts/registry.actual"

# The window's place is remembered for the next start.
wine reg query 'HKCU\Software\Quenbrit\YRN\Update\Placement' | tr -d '\r' | grep -q 'Left    REG_DWORD' ||
    fail "window placement not remembered"
# A start with a bad process id: the start-up failure box, no owner, and
# nothing run or started after it.
rm -f "$started"
(cd "$c/e2e/cwd" && exec wine "$build/YRNUpdate.exe" abc 'C:\e2e\Pack Q' 0 </dev/null >/dev/null 2>&1) &
app=$!
box=
for _ in $(seq 300); do
    for w in $(xdotool search --classname '^yrnupdate\.exe$' 2>/dev/null); do
        LC_ALL=C.UTF-8 xprop -id "$w" _NET_WM_NAME 2>/dev/null | grep -qxF '_NET_WM_NAME(UTF8_STRING) = "YRN Update"' && box=$w
    done
    [ -n "$box" ] && break
    sleep 0.1
done
[ -n "$box" ] || fail "the start-up failure box did not appear"
sleep 0.5
import -window root "$artifacts/startup-failure.png"
xdotool mousemove --window "$box" 10 40 click 1
sleep 0.3
xdotool key Return
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "Enter did not close the failure box"
wait "$app" || fail "YRNUpdate.exe exited with status $? after the failure box"
app=
[ "$(wc -l <"$log")" = "$(wc -l <"$artifacts/log.actual")" ] || fail "the failed start wrote to the log"
sleep 0.5
[ -e "$started" ] && fail "a program was started after the failure box"
echo "e2e: 2 passed, 0 failed"
