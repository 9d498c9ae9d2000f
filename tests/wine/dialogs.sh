#!/bin/bash
# The two dialogs of a start by a person (no arguments), YRNUpdate.exe under
# Wine on a virtual X display, driven by keyboard with xdotool.
#   dialogs.sh BUILD_DIR WINEPREFIX
. "$(dirname "$0")/display.sh"
fresh dlg
inst=$c/dlg/inst pkg=$c/dlg/pkg
mkdir -p "$inst/sub"
# The files belong in place only for the manager (type 2): an update that
# installs them shows the type chosen.
printf 'old A\r\n' >"$inst/A.dll"
printf 'old B' >"$inst/sub/B.txt"
package "$pkg" dialogs.ini 'A.dll=new A\r\n' 'B.txt=new B'
# Stored: the path without its final "\", the client type, no questions, no
# version checks.
reg add "$key" /v UpdatePath /d 'C:\dlg\pkg' /f >/dev/null
dwords swType=1 IsMessage=0 IsNoVersion=1

# The focus starts in the directory field: on to the type list, one type down
# ("Менеджер"), past "Запрос при обновлении файла", clear "Не проверять номер
# версии файла", and Enter for "Обновить": the settings written back.
open_params
xdotool key Tab Down Tab Tab space Return
updated
cmp -s "$pkg/A.dll" "$inst/A.dll" && cmp -s "$pkg/B.txt" "$inst/sub/B.txt" || fail
registry_is dialogs-registry.txt
pass "parameters dialog"

# "Откат": the backup dialog lists the set of the update above and an older
# one ("ancient A" only). ROLLBACK KEYS-IN-PARAMS KEYS-IN-BACKUP A.dll B.txt
# END: the step END ends it (rolled_back: the rollback run; wait_exit: the
# dialog closed without one); then the files as given.
ancient="$oldfiles/20-01-01 10-00"
mkdir -p "$ancient" && printf 'ancient A' >"$ancient/A.dll"
printf '[FILES]\r\nA.dll=C:\\dlg\\inst\\A.dll\r\n' >"$ancient/BackUp.ini"
rollback() {
    printf 'changed A' >"$inst/A.dll" && printf 'changed B' >"$inst/sub/B.txt"
    open_params
    xdotool key $1
    open_backup
    xdotool key $2
    $5
    [ "$(<"$inst/A.dll")" = "$(printf "$3")" ] && [ "$(<"$inst/sub/B.txt")" = "$4" ] || fail "[$2]"
    pass "backup dialog [$1] [$2]"
}
# Enter takes every file of the newest set; "Не проверять номер версии
# файла" ticked on the way to "Откат" is not stored.
rollback 'Tab Tab Tab space Tab Tab Tab space' Return 'old A\r\n' 'old B' rolled_back
registry_is dialogs-rollback.txt
# The backup dialog's place remembered.
registry "HKCU${key#HKLM}\\BackUpPlacement" | grep -q 'Left    REG_DWORD    0x158' || fail
# Tab into the file list selects its first file, space clears its mark; Up
# in the set list takes the older set; closing the frame is "Отмена".
rollback 'shift+Tab space' 'Tab space Return' 'changed A' 'old B' rolled_back
rollback 'shift+Tab space' 'Up Return' 'ancient A' 'changed B' rolled_back
rollback 'shift+Tab space' alt+F4 'changed A' 'changed B' wait_exit

# A stored type out of range: "Обновить" (as "Откат", the same step) does
# not close the dialog until a type is chosen (Enter opens the type list,
# Escape shuts it). Then Escape is "Отмена" (as is closing the frame: the
# same command, as the backup dialog shows above): no run, nothing stored.
dwords swType=7
open_params
xdotool key Return
sleep 1
[ -n "$(find_window "$params" 375x245)" ] || fail
xdotool key Escape sleep 0.3 key Escape
wait_exit
registry_is dialogs-notype.txt
[ -e "$log" ] && fail
pass "no type"
