#!/bin/bash
# A package that carries YRNUpdate.exe for the directory the tool runs from,
# under Wine on a virtual X display: the running file is replaced (the old
# bytes saved and moved aside), a rollback started from the new file brings
# the old bytes back the same way, and each start removes what an earlier
# run moved aside.
#   self-update.sh BUILD_DIR WINEPREFIX
set -euo pipefail
export LC_ALL=C.UTF-8
build=$(cd "$1" && pwd)
export WINEPREFIX=$(realpath -m "$2") WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "self-update: FAIL: $*" >&2; exit 1; }
to1251() { iconv -f UTF-8 -t CP1251; }

. "$here/display.sh"
start_display 191 240
c=$WINEPREFIX/drive_c
rm -rf "$c/TOVR" "$c/self"
mkdir -p "$c/self/tool" "$c/self/pkg" "$c/self/cwd"
log=$c/self/cwd/YRNUpdate.log
cp "$build/YRNUpdate.exe" "$c/self/tool/YRNUpdate.exe"
# The new release: the same program with other bytes (data after the image).
{ cat "$build/YRNUpdate.exe"; printf 'new release'; } >"$c/self/pkg/YRNUpdate.exe"
cp "$c/self/tool/YRNUpdate.exe" "$c/self/old.exe"
printf '[ExeFiles]\r\nVersion=2\r\n[FILES]\r\nYRNUpdate.exe=\r\n[YRNUpdate.exe]\r\nSDir=C:\\self\\tool\r\nVersion=2\r\n' \
    >"$c/self/pkg/YRNUpdate.ini"

window_named() {  # caption: waits for the program's visible window with it
    local w=
    for _ in $(seq 300); do
        w=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)
        [ -n "$w" ] && { echo "$w"; return; }
        sleep 0.1
    done
    fail "no window [$1]"
}
click_and_key() {  # window, x, y, keys... (no window manager: a click activates)
    xdotool mousemove --window "$1" "$2" "$3" click 1
    sleep 0.5
    shift 3
    xdotool key "$@"
}
run() {  # end line, window caption, args...
    local end=$1 caption=$2 line
    shift 2
    (cd "$c/self/cwd" && exec wine 'C:\self\tool\YRNUpdate.exe' "$@" </dev/null >/dev/null 2>&1) &
    app=$!
    if [ $# = 0 ]; then  # a person: "Откат" in the parameters dialog, Enter in the backup dialog
        click_and_key "$(window_named 'Обновление ЮКСВЕЛ')" 20 130 shift+Tab space
        click_and_key "$(window_named 'Откат обновления')" 12 30 Return
    fi
    line=$(printf '%s' "$end" | to1251)
    for _ in $(seq 300); do grep -qF "$line" "$log" 2>/dev/null && break; sleep 0.1; done
    grep -qF "$line" "$log" || fail "no line [$end]"
    click_and_key "$(window_named "$caption")" 130 150 Return
    for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    wait "$app" || fail "YRNUpdate.exe exited with status $?"
    app=
}
replaced() {  # from (the file that replaced it)
    printf 'Файл C:\\self\\tool\\YRNUpdate.exe (версия 1.0.0.0)  заменен на %s (версия 1.0.0.0) \r' "$1" | to1251
}
asides() { (cd "$c/self/tool" && ls -A | grep -v '^YRNUpdate\.exe$' || true); }

run 'Обновление исполняемых файлов завершено.' 'Обновление ЮКСВЕЛ' 0 'C:\self\pkg' 0
set_name=$(ls "$c/TOVR/UPDATE/OldFiles")
cmp -s "$c/self/pkg/YRNUpdate.exe" "$c/self/tool/YRNUpdate.exe" || fail "the new bytes are not in place"
cmp -s "$c/self/old.exe" "$c/TOVR/UPDATE/OldFiles/$set_name/YRNUpdate.exe" || fail "the saved copy is not the old file"
grep -qF "$(replaced 'C:\self\pkg\YRNUpdate.exe')" "$log" || fail "no replacement line in the log"
grep -qF "$(printf 'Сбой' | to1251)" "$log" && fail "a failure in the log"
wine reg query 'HKLM\Software\Quenbrit\YRN\Update' /v UpdateVersion | tr -d '\r' | grep -q 'REG_DWORD    0x2' ||
    fail "UpdateVersion not recorded"
[ "$(asides)" = "YRNUpdate.exe.1.~old" ] || fail "moved aside: [$(asides)]"
cmp -s "$c/self/old.exe" "$c/self/tool/YRNUpdate.exe.1.~old" || fail "the file moved aside is not the old one"

# Started again, from the new file: the old one moved aside is removed at
# once; the rollback then moves the running new file aside in its turn.
run 'Замена исполняемых файлов завершена.' 'Откат обновления ЮКСВЕЛ'
cmp -s "$c/self/old.exe" "$c/self/tool/YRNUpdate.exe" || fail "the rollback did not bring the old bytes back"
grep -qF "$(replaced "C:\\TOVR\\UPDATE\\OldFiles\\$set_name\\YRNUpdate.exe")" "$log" || fail "no restore line in the log"
[ "$(asides)" = "YRNUpdate.exe.1.~old" ] || fail "moved aside after the rollback: [$(asides)]"
cmp -s "$c/self/pkg/YRNUpdate.exe" "$c/self/tool/YRNUpdate.exe.1.~old" || fail "the old file moved aside was not removed"
echo "self-update: 2 passed, 0 failed"
