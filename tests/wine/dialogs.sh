#!/bin/bash
# The two dialogs of a start by a person, YRNUpdate.exe under Wine on a
# virtual X display, driven by keyboard with xdotool:
#   a) the parameters dialog on stored settings: change the type and an
#      option, Enter; the settings written back, the update run;
#   b) Escape, or closing the frame: nothing written, nothing run;
#   c) "Откат" and the backup dialog: Enter restores every file of the
#      newest backup set;
#   d) a stored installation type out of range: Enter does not close;
#   e) a file's mark cleared by keyboard keeps it from the rollback;
#   f) another backup set chosen by keyboard;
#   g) the backup dialog's frame closed: no rollback.
# Screenshots in BUILD/artifacts: params.png, backup.png, rollback.png.
#   dialogs.sh BUILD_DIR WINEPREFIX
set -euo pipefail
export LC_ALL=C.UTF-8
build=$(cd "$1" && pwd)
export WINEPREFIX=$(realpath -m "$2") WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
here=$(cd "$(dirname "$0")" && pwd)
artifacts=$build/artifacts
mkdir -p "$artifacts"
passed=0
fail() { echo "dialogs: FAIL: $*" >&2; exit 1; }
pass() { passed=$((passed + 1)); echo "dialogs: ok: $*"; }
to1251() { iconv -f UTF-8 -t CP1251; }
crlf() { sed 's/$/\r/'; }

. "$here/display.sh"
start_display 141 190

key='HKLM\Software\Quenbrit\YRN\Update'
registry() { wine reg query "$key" | tr -d '\r'; }
compare() {  # what, expected file, actual file
    cmp -s "$2" "$3" && return 0
    echo "--- expected $1"; od -c "$2" | head -40; echo "--- actual $1"; od -c "$3" | head -40
    fail "$1 differs"
}

c=$WINEPREFIX/drive_c
cwd=$c/dlg/cwd
log=$cwd/YRNUpdate.log
rm -rf "$c/TOVR" "$c/dlg"
mkdir -p "$c/dlg/pkg" "$cwd" "$c/dlg/inst/sub"

# Started by a person: no arguments. Each start begins without a log.
start() {
    rm -f "$log"
    (cd "$cwd" && exec wine "$build/YRNUpdate.exe" </dev/null >/dev/null 2>&1) &
    app=$!
}
# The program's top-level window with this caption and outer size.
find_window() {  # caption, WIDTHxHEIGHT
    local w
    for w in $(xdotool search --onlyvisible --classname '^yrnupdate\.exe$' 2>/dev/null); do
        LC_ALL=C.UTF-8 xprop -id "$w" _NET_WM_NAME 2>/dev/null | grep -qxF "_NET_WM_NAME(UTF8_STRING) = \"$1\"" || continue
        [ "$(xdotool getwindowgeometry "$w" | sed -n 's/^ *Geometry: //p')" = "$2" ] && { echo "$w"; return; }
    done
}
wait_window() {  # caption, size, what
    local w=
    for _ in $(seq 300); do
        w=$(find_window "$1" "$2")
        [ -n "$w" ] && { echo "$w"; return; }
        sleep 0.1
    done
    fail "$3 did not appear"
}
wait_exit() {  # what
    for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$app" 2>/dev/null && fail "$1"
    wait "$app" || fail "YRNUpdate.exe exited with status $?"
    app=
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
# There is no window manager: a click on a place without a control makes
# the window the active one.
activate() {  # window, x, y (inside the frame)
    xdotool mousemove --window "$1" "$2" "$3" click 1
    sleep 0.5
}
# Client area plus Wine's frame (3 each side) and caption (19).
params_size=375x245
progress_size=277x366
backup_size=285x243
caption_params='Обновление ЮКСВЕЛ'

# The installation and the package: the files belong in place only for the
# manager (type 2), so an update that installs them shows the type chosen.
printf 'old A\r\n' >"$c/dlg/inst/A.dll"
printf 'old B' >"$c/dlg/inst/sub/B.txt"
printf 'new A\r\n' >"$c/dlg/pkg/A.dll"
printf 'new B' >"$c/dlg/pkg/B.txt"
to1251 <<'INI' | crlf >"$c/dlg/pkg/YRNUpdate.ini"
[ExeFiles]
Version=3
[FILES]
A.dll=
B.txt=
[A.dll]
SDir=<none>
CDir=<none>
MDir=C:\dlg\inst
Version=1
[B.txt]
SDir=<none>
CDir=<none>
MDir=C:\dlg\inst\sub
Version=2
INI

# a) Stored settings: the path without its final "\", the client type, no
# questions, no version checks.
wine reg add "$key" /v UpdatePath /t REG_SZ /d 'C:\dlg\pkg' /f >/dev/null
wine reg add "$key" /v swType /t REG_DWORD /d 1 /f >/dev/null
wine reg add "$key" /v IsMessage /t REG_DWORD /d 0 /f >/dev/null
wine reg add "$key" /v IsNoVersion /t REG_DWORD /d 1 /f >/dev/null

start
window=$(wait_window "$caption_params" $params_size "the parameters dialog")
activate "$window" 20 130
import -window root "$artifacts/params.png"
# The focus starts in the directory field: on to the type list, one type
# down ("Менеджер"), past "Запрос при обновлении файла", clear "Не проверять
# номер версии файла", and Enter for "Обновить".
xdotool key Tab Down Tab Tab space Return
progress=$(wait_window "$caption_params" $progress_size "the progress window of the update")
wait_log 'Обновление исполняемых файлов завершено.'
grep -qF "$(printf 'Обновление из каталога: C:\\dlg\\pkg\\' | to1251)" "$log" || fail "the run did not use C:\\dlg\\pkg\\"
[ "$(cat "$c/dlg/inst/A.dll")" = "$(cat "$c/dlg/pkg/A.dll")" ] || fail "A.dll not installed"
cmp -s "$c/dlg/pkg/B.txt" "$c/dlg/inst/sub/B.txt" || fail "B.txt not installed"
activate "$progress" 130 150
xdotool key Return
wait_exit "Enter did not close the progress window"
registry >"$artifacts/dialogs-registry.actual"
cat >"$artifacts/dialogs-registry.expected" <<'REG'

HKEY_LOCAL_MACHINE\Software\Quenbrit\YRN\Update
    A.dll    REG_DWORD    0x1
    B.txt    REG_DWORD    0x2
    IsMessage    REG_DWORD    0x0
    IsNoVersion    REG_DWORD    0x0
    swType    REG_DWORD    0x2
    UpdatePath    REG_SZ    C:\dlg\pkg\
    UpdateVersion    REG_DWORD    0x3

REG
compare "registry after Обновить" "$artifacts/dialogs-registry.expected" "$artifacts/dialogs-registry.actual"
pass "parameters dialog: settings written back, update run"

# b) Escape: no run, nothing written.
start
window=$(wait_window "$caption_params" $params_size "the parameters dialog")
activate "$window" 20 130
xdotool key Escape
wait_exit "Escape did not close the parameters dialog"
registry >"$artifacts/dialogs-registry.actual"
compare "registry after Escape" "$artifacts/dialogs-registry.expected" "$artifacts/dialogs-registry.actual"
[ -e "$log" ] && fail "a run after Escape"
pass "parameters dialog: Escape writes nothing"

# b2) Closing the frame (Alt+F4, the close box's command): the same as Отмена.
start
window=$(wait_window "$caption_params" $params_size "the parameters dialog")
activate "$window" 20 130
xdotool key alt+F4
wait_exit "closing the frame did not end the parameters dialog"
registry >"$artifacts/dialogs-registry.actual"
compare "registry after closing the frame" "$artifacts/dialogs-registry.expected" "$artifacts/dialogs-registry.actual"
[ -e "$log" ] && fail "a run after closing the frame"
pass "parameters dialog: closing the frame writes nothing"

# A start by a person, "Откат" (Shift+Tab from the first field), and the
# backup dialog made the active window.
open_backup_dialog() {
    start
    window=$(wait_window "$caption_params" $params_size "the parameters dialog")
    activate "$window" 20 130
    xdotool key shift+Tab space
    backup=$(wait_window 'Откат обновления' $backup_size "the backup dialog")
    activate "$backup" 12 30
}

# c) "Откат": the backup dialog lists the set of the update above and an
# older one; Enter restores every file of the newest.
root=$c/TOVR/UPDATE/OldFiles
newest=$(ls "$root")
[ "$(echo "$newest" | wc -l)" = 1 ] || fail "backup sets after the update: $newest"
mkdir -p "$root/20-01-01 10-00"
printf 'ancient A' >"$root/20-01-01 10-00/A.dll"
printf '[FILES]\r\nA.dll=C:\\dlg\\inst\\A.dll\r\n' >"$root/20-01-01 10-00/BackUp.ini"
start
window=$(wait_window "$caption_params" $params_size "the parameters dialog")
activate "$window" 20 130
# Tick "Не проверять номер версии файла" (not stored after "Откат"), then
# on past "Обновить" and "Отмена" to "Откат".
xdotool key Tab Tab Tab space Tab Tab Tab space
backup=$(wait_window 'Откат обновления' $backup_size "the backup dialog")
activate "$backup" 12 30
import -window root "$artifacts/backup.png"
xdotool key Return
progress=$(wait_window 'Откат обновления ЮКСВЕЛ' $progress_size "the progress window of the rollback")
wait_log 'Замена исполняемых файлов завершена.'
activate "$progress" 130 150
import -window root "$artifacts/rollback.png"
xdotool key Return
wait_exit "Enter did not close the rollback"
grep -qF "Восстановление из каталога: C:\\TOVR\\UPDATE\\OldFiles\\$newest\\" <(iconv -f CP1251 -t UTF-8 "$log") ||
    fail "the rollback did not take the newest set $newest"
[ "$(cat "$c/dlg/inst/A.dll")" = "$(printf 'old A\r\n')" ] || fail "A.dll not restored"
[ "$(cat "$c/dlg/inst/sub/B.txt")" = "old B" ] || fail "B.txt not restored"
cmp -s "$root/$newest/A.dll" "$c/dlg/inst/A.dll" || fail "A.dll differs from its saved copy"
registry >"$artifacts/dialogs-registry.actual"
compare "registry after the rollback" "$artifacts/dialogs-registry.expected" "$artifacts/dialogs-registry.actual"
wine reg query 'HKCU\Software\Quenbrit\YRN\Update\BackUpPlacement' | tr -d '\r' | grep -q 'Left    REG_DWORD    0x158' ||
    fail "the backup dialog's place not remembered"
pass "backup dialog: Enter rolls back every file of the newest set"

# e) Tab into the file list selects its first file; space clears its mark;
# Enter restores only the files still marked.
printf 'changed A' >"$c/dlg/inst/A.dll"
printf 'changed B' >"$c/dlg/inst/sub/B.txt"
open_backup_dialog
xdotool key Tab space Return
progress=$(wait_window 'Откат обновления ЮКСВЕЛ' $progress_size "the progress window of the rollback")
wait_log 'Замена исполняемых файлов завершена.'
activate "$progress" 130 150
xdotool key Return
wait_exit "Enter did not close the rollback"
[ "$(cat "$c/dlg/inst/A.dll")" = "changed A" ] || fail "A.dll restored though its mark was cleared"
[ "$(cat "$c/dlg/inst/sub/B.txt")" = "old B" ] || fail "B.txt not restored"
pass "backup dialog: a cleared mark keeps the file from the rollback"

# f) Up in the set list chooses the older set and shows its files.
open_backup_dialog
xdotool key Up Return
progress=$(wait_window 'Откат обновления ЮКСВЕЛ' $progress_size "the progress window of the rollback")
wait_log 'Замена исполняемых файлов завершена.'
activate "$progress" 130 150
xdotool key Return
wait_exit "Enter did not close the rollback"
[ "$(cat "$c/dlg/inst/A.dll")" = "ancient A" ] || fail "A.dll not restored from the older set"
[ "$(cat "$c/dlg/inst/sub/B.txt")" = "old B" ] || fail "B.txt touched by the older set"
grep -qF 'Восстановление из каталога: C:\TOVR\UPDATE\OldFiles\20-01-01 10-00\' <(iconv -f CP1251 -t UTF-8 "$log") ||
    fail "the rollback did not take the older set"
pass "backup dialog: another set chosen by keyboard"

# g) Closing the backup dialog's frame is Отмена: no rollback.
printf 'changed A' >"$c/dlg/inst/A.dll"
open_backup_dialog
xdotool key alt+F4
wait_exit "closing the frame did not end the backup dialog"
[ "$(cat "$c/dlg/inst/A.dll")" = "changed A" ] || fail "a rollback after closing the backup dialog"
[ -e "$log" ] && fail "a run after closing the backup dialog"
pass "backup dialog: closing the frame rolls nothing back"

# d) A stored type out of range: neither "Обновить" nor "Откат" closes the
# dialog until a type is chosen.
wine reg add "$key" /v swType /t REG_DWORD /d 7 /f >/dev/null
registry >"$artifacts/dialogs-registry.expected"
start
window=$(wait_window "$caption_params" $params_size "the parameters dialog")
activate "$window" 20 130
xdotool key Return
sleep 1
[ -n "$(find_window "$caption_params" $params_size)" ] || fail "Enter closed the dialog without a type"
import -window root "$artifacts/params-notype.png"
# The type list opened; Escape closes it, then on to "Откат".
xdotool key Escape
sleep 0.3
xdotool key Tab Tab Tab Tab Tab space
sleep 1
[ -n "$(find_window "$caption_params" $params_size)" ] || fail "Откат closed the dialog without a type"
xdotool key Escape
sleep 0.3
xdotool key Escape
wait_exit "Escape did not close the dialog"
registry >"$artifacts/dialogs-registry.actual"
compare "registry after a start without type" "$artifacts/dialogs-registry.expected" "$artifacts/dialogs-registry.actual"
[ -e "$log" ] && fail "a run without a type"
pass "parameters dialog: no type, no run"

echo "dialogs: $passed passed, 0 failed"
